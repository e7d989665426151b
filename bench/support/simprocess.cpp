#include "simprocess.h"

#include <QRegularExpression>

SimProcess::SimProcess(const QStringList &o)
    : options(o)
{
}

SimProcess::~SimProcess()
{
    stop();
}

QString SimProcess::portPath() const
{
    return dir.filePath(QStringLiteral("zor"));
}

bool SimProcess::start()
{
    if (!dir.isValid())
        return false;
    process.start(QStringLiteral(ZOR_SIM_PATH),
        QStringList { QStringLiteral("--link"), portPath() } + options);
    // The simulator prints the port's path once the link is in place.
    return process.waitForStarted(5000) && process.waitForReadyRead(5000);
}

long SimProcess::stop()
{
    if (process.state() == QProcess::NotRunning)
        return -1;
    process.terminate();
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished();
        return -1;
    }
    static const QRegularExpression sent(QStringLiteral("([0-9]+) frames sent"));
    const auto match = sent.match(QString::fromLocal8Bit(process.readAllStandardError()));
    return match.hasMatch() ? match.captured(1).toLong() : -1;
}
