#include "simulatedbench.h"

#include "windowcontrols.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>

namespace {

ZorSimulator::Options optionsIn(const ScratchDir &scratch)
{
    ZorSimulator::Options options;
    options.linkPath = scratch.filePath(QStringLiteral("zor")).toStdString();
    return options;
}

} // namespace

SimulatedBench::SimulatedBench(int speed, int listIndex)
    : simulator(std::make_unique<ZorSimulator>(optionsIn(scratch)))
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
