#include "triggerstatus.h"

#include <QtTest>

using osc::RunAction;
using osc::TrigMode;

class TestTriggerStatus : public QObject {
    Q_OBJECT

private slots:
    void status_data();
    void status();
    void runButton_data();
    void runButton();
};

void TestTriggerStatus::status_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("edgeFound");
    QTest::addColumn<bool>("held");
    QTest::addColumn<bool>("stopped");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<QString>("expected");

    const int freeRun = int(TrigMode::FreeRun);
    const int norm = int(TrigMode::Norm);
    const int aut = int(TrigMode::Auto);
    const int single = int(TrigMode::Single);
    QTest::newRow("free run, nothing searched")
        << freeRun << false << false << false << 0 << "Auto";
    QTest::newRow("free run, long without an edge")
        << freeRun << false << false << false << 500 << "Auto";
    QTest::newRow("free run stopped") << freeRun << true << false << true << 0 << "Stop";
    QTest::newRow("Norm, no edge") << norm << false << false << false << 0 << "Wait";
    QTest::newRow("Norm, long without an edge: still waiting")
        << norm << false << false << false << 500 << "Wait";
    QTest::newRow("Norm, edge") << norm << true << false << false << 0 << "Trig";
    QTest::newRow("Norm, edge, stopped") << norm << true << false << true << 0 << "Stop";
    QTest::newRow("Auto, edge") << aut << true << false << false << 0 << "Trig";
    QTest::newRow("Auto, no edge within its wait")
        << aut << false << false << false << 30 << "Wait";
    QTest::newRow("Auto, no edge past its wait: untriggered frames")
        << aut << false << false << false << 31 << "Auto";
    QTest::newRow("Auto, an edge again past the wait")
        << aut << true << false << false << 51 << "Trig";
    QTest::newRow("Auto, stopped past its wait") << aut << false << false << true << 51 << "Stop";
    QTest::newRow("Single, armed") << single << false << false << false << 0 << "Wait";
    QTest::newRow("Single, armed long") << single << false << false << false << 500 << "Wait";
    QTest::newRow("Single, shot held") << single << true << true << false << 0 << "Stop";
    QTest::newRow("Single, shot held long") << single << false << true << false << 500 << "Stop";
    QTest::newRow("Single, armed and stopped") << single << false << false << true << 0 << "Stop";
}

void TestTriggerStatus::status()
{
    QFETCH(int, mode);
    QFETCH(bool, edgeFound);
    QFETCH(bool, held);
    QFETCH(bool, stopped);
    QFETCH(int, ticks);
    QFETCH(QString, expected);
    osc::TrigSituation situation;
    situation.mode = static_cast<TrigMode>(mode);
    situation.edgeFound = edgeFound;
    situation.held = held;
    situation.stopped = stopped;
    situation.ticksSinceEdge = ticks;
    QCOMPARE(QLatin1String(osc::trigStatusText(osc::trigStatus(situation))), expected);
}

void TestTriggerStatus::runButton_data()
{
    QTest::addColumn<bool>("stopped");
    QTest::addColumn<bool>("held");
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("text");
    QTest::newRow("running: press stops") << false << false << int(RunAction::Stop) << "Stop";
    QTest::newRow("stopped: press runs") << true << false << int(RunAction::Run) << "Run";
    QTest::newRow("Single held: press arms the next shot")
        << false << true << int(RunAction::Rearm) << "Single";
    QTest::newRow("stopped with a held shot: press runs first")
        << true << true << int(RunAction::Run) << "Run";
}

void TestTriggerStatus::runButton()
{
    QFETCH(bool, stopped);
    QFETCH(bool, held);
    QFETCH(int, action);
    QFETCH(QString, text);
    const RunAction got = osc::runAction(stopped, held);
    QCOMPARE(int(got), action);
    QCOMPARE(QLatin1String(osc::runActionText(got)), text);
}

QTEST_MAIN(TestTriggerStatus)
#include "tst_triggerstatus.moc"
