#include "mainwindow.h"
#include "shared.h"
#include "simulatedbench.h"
#include "windowcontrols.h"
#include "zorcom.h"
#include "zorsimulator.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QtTest>
#include <algorithm>

// The Windows build's link (serial library, worker rules) against the
// simulated ZOR, alone and under the main window.
class TestLabbenchWinEndToEnd : public QObject {
    Q_OBJECT
private slots:
    void framesFlowAndSettingsReachTheDevice();
    void generatorTableReachesTheDevice();
    void unplugAndReplugOnTheGenerator();
};

void TestLabbenchWinEndToEnd::framesFlowAndSettingsReachTheDevice()
{
    ZorSimulator sim;
    QVERIFY(sim.start());
    ZORCom link(&buff, &buff_gen);
    QVERIFY(link.Open(QString::fromStdString(sim.slavePath()), 115200));
    QVERIFY(link.Start());
    link.osc2chStart();
    link.setTimeBase(9);
    link.setGain(2, 4);

    QTRY_COMPARE_WITH_TIMEOUT(sim.state().mode, Mode::TwoChannels, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(sim.state().timeBase, 9, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(sim.state().gain2, 4, 10000);
    QCOMPARE(sim.state().gain1, 2);

    const long before = sim.state().framesSent;
    QElapsedTimer clock;
    clock.start();
    int repaints = 0;
    while (repaints < 4 && clock.elapsed() < 20000) {
        if (bufReady.exchange(false))
            ++repaints;
        QTest::qWait(10);
    }
    QCOMPARE(repaints, 4);
    qInfo("%ld frames in %lld ms", sim.state().framesSent - before, clock.elapsed());
    // Channel 2 carries the ±1 V calibrator square: both signs show up.
    const Frame frame = buff.snapshot();
    const auto [low, high] = std::minmax_element(frame.begin() + 512, frame.end());
    QVERIFY2(*low < -100 && *high > 100, "channel 2 should show the calibrator");
    QVERIFY(!link.lineLost());
    QVERIFY(link.Close());
    QCOMPARE(sts.get(), QStringLiteral("closed"));
}

void TestLabbenchWinEndToEnd::generatorTableReachesTheDevice()
{
    buff_gen.edit([](int *entries) {
        for (int i = 0; i < 512; ++i)
            entries[i] = (i % 64) * 64 - 2048;
    });
    ZorSimulator sim;
    QVERIFY(sim.start());
    ZORCom link(&buff, &buff_gen);
    QVERIFY(link.Open(QString::fromStdString(sim.slavePath()), 115200));
    QVERIFY(link.Start());
    link.genStart();
    link.setFreq(100, 64);
    QTRY_COMPARE_WITH_TIMEOUT(sim.state().period, 100, 10000);
    link.sendGenChannel();

    QTRY_COMPARE_WITH_TIMEOUT(sim.state().tablesReceived, 1L, 10000);
    QTRY_COMPARE(sts.get(), QStringLiteral("sent ch"));
    const DeviceState state = sim.state();
    QCOMPARE(state.mode, Mode::Generator);
    QCOMPARE(state.period, 100);
    QCOMPARE(state.length, 64);
    const Table table = buff_gen.snapshot();
    for (int i = 0; i < 512; ++i)
        QCOMPARE(state.table[static_cast<std::size_t>(i)], table[static_cast<std::size_t>(i)]);
    QVERIFY(link.Close());
}

// Nothing goes to the device while the generator plays, yet the window sees
// the cable pulled, waits for the port and sends the table again.
void TestLabbenchWinEndToEnd::unplugAndReplugOnTheGenerator()
{
    SimulatedBench bench;
    QVERIFY(bench.isReady());
    MainWindow w;
    w.show();
    controls::selectTab(w, 1);
    QVERIFY(SimulatedBench::open(w));
    QVERIFY(QTest::qWaitFor([&] { return bench.sim().state().tablesReceived > 0; },
                            SimulatedBench::kWaitMs));
    QTest::qWait(200);
    QElapsedTimer lost;
    lost.start();
    bench.sim().unplug();
    QVERIFY(SimulatedBench::statusShows(w, QStringLiteral("line lost")));
    qInfo("line lost shown %lld ms after the unplug", lost.elapsed());
    QVERIFY(lost.elapsed() < 5000);
    QCOMPARE(controls::portButton(w)->text(), QStringLiteral("Close port"));

    const long tables = bench.sim().state().tablesReceived;
    QVERIFY(bench.sim().comeBack());
    QVERIFY(QTest::qWaitFor([&] { return bench.sim().state().tablesReceived > tables; },
                            SimulatedBench::kWaitMs));
    QCOMPARE(bench.sim().state().mode, Mode::Generator);
    QVERIFY(SimulatedBench::close(w) >= 0);
}

QTEST_MAIN(TestLabbenchWinEndToEnd)
#include "tst_labbenchwin_e2e.moc"
