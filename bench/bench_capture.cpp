// labbench-cli capture at the device's pace: zor-sim paced at 2,500,000
// bit/s, `labbench-cli capture` streaming CSV to this program for a while,
// then Ctrl+C. Printed: frames captured per second, frames the device sent
// per second over the same run, their ratio, and the command's CPU share of
// one core (all its threads), read from the kernel just before it is stopped.
//
//   bench-capture [--seconds S] [--channels 1|2]
#include "figures.h"
#include "simprocess.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <algorithm>
#include <csignal>

namespace {

constexpr int kSpeed = 2500000;
constexpr int kFrameSamples = 1024;

int intOption(const QStringList &args, const QString &name, int fallback)
{
    const int at = static_cast<int>(args.indexOf(name));
    return at >= 0 && at + 1 < args.size() ? args[at + 1].toInt() : fallback;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int seconds = std::max(1, intOption(args, QStringLiteral("--seconds"), 20));
    const int channels = intOption(args, QStringLiteral("--channels"), 1) == 2 ? 2 : 1;

    SimProcess sim;
    if (!sim.start()) {
        std::fprintf(stderr, "bench-capture: zor-sim did not start\n");
        return 1;
    }
    QProcess cli;
    cli.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer wall;
    wall.start();
    cli.start(QStringLiteral(LABBENCH_CLI),
        { QStringLiteral("capture"), QStringLiteral("--port"), sim.portPath(),
            QStringLiteral("--speed"), QString::number(kSpeed), QStringLiteral("--channels"),
            QString::number(channels), QStringLiteral("--frames"), QStringLiteral("1000000000") });
    if (!cli.waitForStarted()) {
        std::fprintf(stderr, "bench-capture: labbench-cli did not start\n");
        return 1;
    }
    // Counting rows as they come keeps the pipe empty, as a script reading it would.
    long rows = 0;
    while (wall.elapsed() < seconds * 1000) {
        cli.waitForReadyRead(100);
        const QByteArray chunk = cli.readAllStandardOutput();
        rows += chunk.count('\n');
    }
    const double cpu = bench::otherProcessCpuSeconds(static_cast<long>(cli.processId()));
    const double elapsed = wall.elapsed() / 1000.0;
    ::kill(static_cast<pid_t>(cli.processId()), SIGINT);
    cli.waitForFinished(10000);
    rows += cli.readAllStandardOutput().count('\n');
    const long sent = sim.stop();

    // Whole frames only: the few "#" lines at the top make less than one.
    const long perFrame = kFrameSamples / channels;
    const double captured = double(rows / perFrame);
    bench::print(
        QStringLiteral("capture.frames_captured"), captured / elapsed, QStringLiteral("frames/s"));
    bench::print(QStringLiteral("capture.frames_sent"), sent / elapsed, QStringLiteral("frames/s"));
    bench::print(QStringLiteral("capture.ratio"), sent > 0 ? captured / sent : 0.0, QString());
    bench::print(QStringLiteral("capture.cpu_share"), 100.0 * cpu / elapsed, QStringLiteral("%"));
    bench::print(QStringLiteral("capture.exit_code"), cli.exitCode(), QString());
    return 0;
}
