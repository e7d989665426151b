#include "figures.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

namespace bench {

QString format(const QString &name, double value, const QString &unit)
{
    const double size = std::fabs(value);
    const int decimals = size >= 100.0 ? 0 : size >= 10.0 ? 1 : size >= 1.0 ? 2 : 3;
    QString line = name + QStringLiteral(": ") + QString::number(value, 'f', decimals);
    if (!unit.isEmpty())
        line += QLatin1Char(' ') + unit;
    return line;
}

void print(const QString &name, double value, const QString &unit)
{
    std::printf("%s\n", qPrintable(format(name, value, unit)));
    std::fflush(stdout);
}

Figures parse(const QString &output)
{
    static const QRegularExpression line(
        QStringLiteral("^([A-Za-z0-9_.\\-]+): (-?[0-9]+(?:\\.[0-9]+)?)(?: (.*))?$"));
    Figures figures;
    for (const QString &text : output.split(QLatin1Char('\n'))) {
        const auto match = line.match(text.trimmed());
        if (match.hasMatch())
            figures[match.captured(1)] = Figure { match.captured(2).toDouble(), match.captured(3) };
    }
    return figures;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    if (values.size() % 2 == 1)
        return values[middle];
    return (values[middle - 1] + values[middle]) / 2.0;
}

double processCpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds
        = [](const timeval &t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double otherProcessCpuSeconds(long pid)
{
    QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return -1.0;
    const QString text = QString::fromLatin1(file.readAll());
    // The command name may hold spaces; the fields after it are plain.
    const int close = text.lastIndexOf(QLatin1Char(')'));
    if (close < 0)
        return -1.0;
    const QStringList fields = text.mid(close + 2).split(QLatin1Char(' '));
    // utime and stime are fields 14 and 15 of the whole line, 12 and 13 here.
    if (fields.size() < 13)
        return -1.0;
    const double ticks = fields[11].toDouble() + fields[12].toDouble();
    return ticks / double(sysconf(_SC_CLK_TCK));
}

double peakResidentMiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
}

std::int64_t monotonicNs()
{
    timespec t {};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return std::int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

Figures runChild(const QString &program, const QStringList &arguments, int timeoutMs)
{
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(program, arguments);
    if (!child.waitForFinished(timeoutMs) || child.exitStatus() != QProcess::NormalExit
        || child.exitCode() != 0) {
        child.kill();
        child.waitForFinished();
        std::fprintf(stderr, "%s failed\n", qPrintable(program));
        return {};
    }
    return parse(QString::fromLocal8Bit(child.readAllStandardOutput()));
}

} // namespace bench
