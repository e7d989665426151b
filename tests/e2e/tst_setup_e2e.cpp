#include "gentable.h"
#include "mainwindow.h"
#include "shared.h"
#include "simulatedbench.h"
#include "windowcontrols.h"
#include "zorsimulator.h"

#include <QCheckBox>
#include <QRegularExpression>
#include <QSpinBox>
#include <QtTest>

#include <algorithm>
#include <memory>

// A set-up made on the simulated ZOR, the program ended, and started again in
// the same folder: "Open port" gives the device the set-up of the last run.
// The device keeps its state between the two runs, so what counts is what
// the second run sends.
class TestSetupE2e : public QObject {
    Q_OBJECT

private:
    static constexpr int kWaitMs = SimulatedBench::kWaitMs;
    std::unique_ptr<SimulatedBench> bench;

    ZorSimulator &sim() { return bench->sim(); }

private slots:
    void init()
    {
        bench = std::make_unique<SimulatedBench>();
        QVERIFY(bench->isReady());
    }

    void cleanup() { bench.reset(); }

    void oscilloscopeSetupReachesTheDevice()
    {
        {
            MainWindow first;
            first.show();
            QVERIFY(SimulatedBench::open(first));
            first.findChild<QCheckBox *>(QStringLiteral("channel2Box"))->click();
            QVERIFY(controls::choose(first, "timeCombo", 3)); // "5ms/dz", code 11
            QVERIFY(controls::choose(first, "gain1Combo", 4));
            QVERIFY(controls::choose(first, "gain2Combo", 5));
            QTRY_COMPARE_WITH_TIMEOUT(sim().state().gain2, 5, kWaitMs);
            QCOMPARE(sim().state().mode, Mode::TwoChannels);
        }
        sim().clearReceived();

        MainWindow next;
        next.show();
        QVERIFY(SimulatedBench::open(next));
        QTRY_VERIFY_WITH_TIMEOUT(bench->commands().contains(QStringLiteral("u45q")), kWaitMs);
        // Channel 2, time base and both ranges, after whatever the first
        // run's last exchange left on the line.
        const QRegularExpression order(QStringLiteral("q+c+s;qu45q$"));
        QVERIFY2(order.match(bench->commands()).hasMatch(), qPrintable(bench->commands()));
        const DeviceState state = sim().state();
        QCOMPARE(state.mode, Mode::TwoChannels);
        QCOMPARE(state.timeBase, 11);
        QCOMPARE(state.gain1, 4);
        QVERIFY(bench->framesPass(2));
    }

    void analyzerSetupReachesTheDevice()
    {
        {
            MainWindow first;
            first.show();
            controls::selectTab(first, 2);
            QVERIFY(SimulatedBench::open(first));
            controls::selectTab(first, 0);
            controls::selectTab(first, 2);
            QVERIFY(controls::choose(first, "taBox", 10)); // "25kHz/dz", code 4
            QVERIFY(controls::choose(first, "vaBox", 6));
            QTRY_COMPARE_WITH_TIMEOUT(sim().state().timeBase, 4, kWaitMs);
            QTRY_COMPARE_WITH_TIMEOUT(sim().state().gain1, 6, kWaitMs);
        }
        sim().clearReceived();

        MainWindow next;
        next.show();
        QVERIFY(SimulatedBench::open(next));
        QTRY_VERIFY_WITH_TIMEOUT(bench->commands().contains(QStringLiteral("s7q")), kWaitMs);
        sim().clearReceived();
        controls::selectTab(next, 2);
        QTRY_VERIFY_WITH_TIMEOUT(bench->commands().contains(QStringLiteral("s4q")), kWaitMs);
        QVERIFY2(bench->commands().contains(QStringLiteral("u60q")), qPrintable(bench->commands()));
        QTRY_COMPARE_WITH_TIMEOUT(sim().state().timeBase, 4, kWaitMs);
        QCOMPARE(sim().state().gain1, 6);
    }

    void drawnTableReachesTheDevice()
    {
        Table drawn;
        {
            MainWindow first;
            first.show();
            controls::selectTab(first, 1);
            QVERIFY(SimulatedBench::open(first));
            QTRY_COMPARE_WITH_TIMEOUT(sim().state().tablesReceived, 1L, kWaitMs);
            first.findChild<QSpinBox *>(QStringLiteral("freqBox"))->setValue(2000);
            QVERIFY(controls::choose(first, "typeBox", 5));
            controls::mouse(first, QEvent::MouseButtonPress, QPoint(40, 286));
            controls::mouse(first, QEvent::MouseMove, QPoint(40, 286));
            controls::mouse(first, QEvent::MouseMove, QPoint(250, 60));
            controls::mouse(first, QEvent::MouseMove, QPoint(480, 500));
            controls::mouse(first, QEvent::MouseButtonRelease, QPoint(480, 500));
            drawn = buff_gen.snapshot();
            QTRY_COMPARE_WITH_TIMEOUT(sim().state().table, drawn, kWaitMs);
        }
        // A new program: its table starts empty.
        buff_gen.edit([](int *entries) { std::fill(entries, entries + gentable::kEntries, 0); });
        const long before = sim().state().tablesReceived;

        MainWindow next;
        next.show();
        controls::selectTab(next, 1);
        QVERIFY(SimulatedBench::open(next));
        QTRY_VERIFY_WITH_TIMEOUT(sim().state().tablesReceived > before, kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(sim().state().length, 498, kWaitMs);
        const DeviceState state = sim().state();
        QCOMPARE(state.table, drawn);
        QCOMPARE(state.period, 32);
        QCOMPARE(state.mode, Mode::Generator);
    }
};

QTEST_MAIN(TestSetupE2e)
#include "tst_setup_e2e.moc"
