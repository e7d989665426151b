#include "simulatedbench.h"

#include "shared.h"
#include "windowcontrols.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <algorithm>
#include <utility>

namespace {

// The device's link lives in the scratch directory, under the name the
// options give (a file name) or "zor".
ZorSimulator::Options optionsIn(const ScratchDir &scratch, ZorSimulator::Options options)
{
    const QString name = options.linkPath.empty() ? QStringLiteral("zor")
                                                  : QString::fromStdString(options.linkPath);
    options.linkPath = scratch.filePath(name).toStdString();
    return options;
}

} // namespace

SimulatedBench::SimulatedBench(int speed, int listIndex, ZorSimulator::Options options)
    : simulator(std::make_unique<ZorSimulator>(optionsIn(scratch, std::move(options))))
{
    ready = scratch.isValid() && simulator->start()
        && ScratchDir::writeSettings(QString::fromStdString(simulator->slavePath()), speed, listIndex);
}

// The device goes before the scratch directory that holds its link.
SimulatedBench::~SimulatedBench()
{
    simulator.reset();
}

bool SimulatedBench::framesPass(long count) const
{
    const long target = simulator->state().framesSent + count;
    QElapsedTimer timer;
    timer.start();
    while (simulator->state().framesSent < target) {
        if (timer.elapsed() > kWaitMs)
            return false;
        QTest::qWait(10);
    }
    return true;
}

bool SimulatedBench::sent(const std::vector<int> &frame) const
{
    for (const auto &recent : simulator->recentFrames()) {
        if (std::equal(recent.begin(), recent.end(), frame.begin(), frame.end()))
            return true;
    }
    return false;
}

QString SimulatedBench::commands() const
{
    QString out;
    for (const char c : simulator->received()) {
        if (c != 'g' && c != 'w')
            out += QLatin1Char(c);
    }
    return out;
}

bool SimulatedBench::open(QWidget &window)
{
    QPushButton *button = controls::portButton(window);
    if (!button || button->text() != QStringLiteral("Open port"))
        return false;
    button->click();
    return button->text() == QStringLiteral("Close port");
}

bool SimulatedBench::frameChanges()
{
    return frameChangesFrom(buff.snapshot());
}

bool SimulatedBench::frameChangesFrom(const Frame &old)
{
    return QTest::qWaitFor([&] { return buff.snapshot() != old; }, kWaitMs);
}

qint64 SimulatedBench::close(QWidget &window)
{
    QPushButton *button = controls::portButton(window);
    if (!button || button->text() != QStringLiteral("Close port"))
        return -1;
    QElapsedTimer timer;
    timer.start();
    button->click();
    const qint64 took = timer.elapsed();
    return button->text() == QStringLiteral("Open port") ? took : -1;
}

bool SimulatedBench::statusShows(QWidget &window, const QString &text)
{
    QLabel *status = controls::statusLabel(window);
    return status && QTest::qWaitFor([&] { return status->text() == text; }, kWaitMs);
}

QString SimulatedBench::cliPath()
{
    return QStringLiteral(LABBENCH_CLI);
}

SimulatedBench::CliRun SimulatedBench::cli(const QStringList &args)
{
    QProcess process;
    process.start(cliPath(), args);
    CliRun run;
    if (!process.waitForFinished(2 * kWaitMs)) {
        process.kill();
        process.waitForFinished();
    } else if (process.exitStatus() == QProcess::NormalExit) {
        run.exitCode = process.exitCode();
    }
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

bool SimulatedBench::portOpenedBy(qint64 pid) const
{
    const QString port = QFileInfo(QString::fromStdString(simulator->slavePath())).canonicalFilePath();
    const QDir descriptors(QStringLiteral("/proc/%1/fd").arg(pid));
    return QTest::qWaitFor(
        [&] {
            const QFileInfoList open = descriptors.entryInfoList(QDir::Files | QDir::System);
            return std::any_of(open.begin(), open.end(),
                [&](const QFileInfo &fd) { return fd.symLinkTarget() == port; });
        },
        kWaitMs);
}
