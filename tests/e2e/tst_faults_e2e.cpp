#include "mainwindow.h"
#include "simulatedbench.h"
#include "windowcontrols.h"
#include "shared.h"
#include "zorsimulator.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QtTest>

#include <memory>

#include <ctime>

// The whole program against a misbehaving simulated ZOR: garbage, broken
// frames, wrong echoes, silence, a hang-up, and a user who clicks fast. In
// every case the window keeps running, shows the last good frame, does not
// spin, and "Close port" comes back promptly.
class TestFaultsE2e : public QObject {
    Q_OBJECT

private:
    static constexpr int kWaitMs = SimulatedBench::kWaitMs;
    // Generous: a prompt close is a few milliseconds; a stuck one takes the
    // line's 3 s time-out or never ends.
    static constexpr qint64 kPromptCloseMs = 1500;

    std::unique_ptr<SimulatedBench> bench;
    ZorSimulator *sim = nullptr;

    static double cpuSeconds()
    {
        timespec t {};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
    }

    static int openDescriptors()
    {
        return static_cast<int>(QDir(QStringLiteral("/proc/self/fd")).count());
    }

    // A good frame on the screen, then `fault` on every frame for a few
    // frames: the screen keeps that frame; then good frames show again.
    void lastGoodFrameSurvives(Fault fault)
    {
        MainWindow w;
        w.show();
        QVERIFY(SimulatedBench::open(w));
        QVERIFY(bench->framesPass(3));
        sim->setFault(fault);
        QTest::qWait(300); // a frame already on its way may still land whole
        const Frame good = buff.snapshot();
        QVERIFY(good != Frame {});
        QVERIFY(bench->framesPass(4));
        QCOMPARE(buff.snapshot(), good);
        QVERIFY(w.isVisible());
        sim->setFault(Fault::None);
        QVERIFY(SimulatedBench::frameChangesFrom(good));
        const qint64 took = SimulatedBench::close(w);
        QVERIFY2(took >= 0 && took < kPromptCloseMs, qPrintable(QString::number(took)));
    }

private slots:
    void init()
    {
        bench = std::make_unique<SimulatedBench>(921600, 6);
        QVERIFY(bench->isReady());
        sim = &bench->sim();
    }

    void cleanup()
    {
        sim = nullptr;
        bench.reset();
    }

    void framesWithoutEndKeepTheLastGoodFrame() { lastGoodFrameSurvives(Fault::NoEnd); }

    void framesEndingEarlyKeepTheLastGoodFrame() { lastGoodFrameSurvives(Fault::EarlyEnd); }

    void garbageBetweenFramesIsSkipped()
    {
        MainWindow w;
        w.show();
        sim->setFault(Fault::Garbage);
        QVERIFY(SimulatedBench::open(w));
        QVERIFY(bench->framesPass(3));
        // Every frame comes after stray bytes, and every one still lands.
        for (int i = 0; i < 3; ++i) {
            const Frame before = buff.snapshot();
            QVERIFY(SimulatedBench::frameChangesFrom(before));
        }
        QCOMPARE(sim->state().watchdogFailures, 0);
        const qint64 took = SimulatedBench::close(w);
        QVERIFY2(took >= 0 && took < kPromptCloseMs, qPrintable(QString::number(took)));
    }

    // Echoes that never match: the exchange waits on, writing again after
    // each wrong answer, but the window stays responsive and closes at once.
    void wrongEchoesDoNotStopTheWindow()
    {
        MainWindow w;
        w.show();
        QVERIFY(SimulatedBench::open(w));
        QVERIFY(bench->framesPass(2));
        sim->setFault(Fault::WrongEcho);
        controls::selectTab(w, 2); // the analyzer's start-up exchanges meet the wrong echoes
        QElapsedTimer timer;
        timer.start();
        QTest::qWait(500);
        QVERIFY(timer.elapsed() < 5000); // the event loop ran all along
        const qint64 took = SimulatedBench::close(w);
        QVERIFY2(took >= 0 && took < kPromptCloseMs, qPrintable(QString::number(took)));

        // The next open after the device recovers works normally.
        sim->setFault(Fault::None);
        const Frame before = buff.snapshot();
        QVERIFY(SimulatedBench::open(w));
        QVERIFY(SimulatedBench::frameChangesFrom(before));
        QVERIFY(SimulatedBench::close(w) >= 0);
    }

    // Wrong echoes to a time base: the exchange gives up within its limit and
    // the status line says the device did not answer; once the device echoes
    // right again the setting, sent again, is taken and frames flow.
    void anUnansweredSettingIsSaidAndTakenLater()
    {
        const QString noAnswer = QStringLiteral("device did not answer");
        MainWindow w;
        w.show();
        QVERIFY(SimulatedBench::open(w));
        QVERIFY(bench->framesPass(2));
        sim->setFault(Fault::WrongEcho);
        QVERIFY(controls::choose(w, "timeCombo", QStringLiteral("1ms/dz")));
        QElapsedTimer timer;
        timer.start();
        QTRY_COMPARE_WITH_TIMEOUT(controls::statusLabel(w)->text(), noAnswer, kWaitMs);
        qInfo("\"%s\" after %lld ms", qPrintable(noAnswer), static_cast<long long>(timer.elapsed()));
        sim->setFault(Fault::None);
        timer.restart();
        QTRY_COMPARE_WITH_TIMEOUT(sim->state().timeBase, 9, kWaitMs);
        QVERIFY(bench->framesPass(2));
        QTRY_VERIFY_WITH_TIMEOUT(controls::statusLabel(w)->text() != noAnswer, kWaitMs);
        qInfo("taken and frames again %lld ms after the fault ended",
            static_cast<long long>(timer.elapsed()));
        const qint64 took = SimulatedBench::close(w);
        QVERIFY2(took >= 0 && took < kPromptCloseMs, qPrintable(QString::number(took)));
    }

    // A device that says nothing: the worker waits without burning the CPU,
    // the last frame stays, and closing does not wait for the line's time-out.
    void silentDeviceDoesNotSpin()
    {
        MainWindow w;
        w.show();
        QVERIFY(SimulatedBench::open(w));
        QVERIFY(bench->framesPass(2));
        sim->setFault(Fault::Silent);
        QTest::qWait(300);
        const Frame shown = buff.snapshot();
        const double cpuBefore = cpuSeconds();
        QElapsedTimer wall;
        wall.start();
        QTest::qWait(2000);
        const double cpu = cpuSeconds() - cpuBefore;
        const double seconds = static_cast<double>(wall.elapsed()) / 1000.0;
        // Spinning would use a whole core (close to 1 s per second).
        QVERIFY2(cpu < 0.25 * seconds,
            qPrintable(QStringLiteral("%1 s CPU in %2 s").arg(cpu).arg(seconds)));
        QCOMPARE(buff.snapshot(), shown);
        const qint64 took = SimulatedBench::close(w);
        QVERIFY2(took >= 0 && took < kPromptCloseMs, qPrintable(QString::number(took)));
    }

    // A device that goes silent, or sends bytes that never make a good frame
    // (as a line at the wrong speed does): once no good frame has come for longer than one can take, the
    // status line says so and the readouts stop showing numbers; the next
    // good frame brings both back.
    void noDataIsSaidAndGoesWithTheNextFrame_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("tab");
        QTest::newRow("silent, oscilloscope") << int(Fault::Silent) << 0;
        QTest::newRow("no good frame, oscilloscope") << int(Fault::NoEnd) << 0;
        QTest::newRow("silent, analyzer") << int(Fault::Silent) << 2;
    }

    void noDataIsSaidAndGoesWithTheNextFrame()
    {
        QFETCH(int, fault);
        QFETCH(int, tab);
        const QString noData = QStringLiteral("no data - check the device and the line speed");
        MainWindow w;
        w.show();
        controls::selectTab(w, tab);
        QVERIFY(SimulatedBench::open(w));
        QVERIFY(bench->framesPass(3));
        QTest::qWait(300);
        auto *readout = w.findChild<QLabel *>(
            tab == 0 ? QStringLiteral("rms1Label") : QStringLiteral("powerLabel"));
        QVERIFY(readout);
        QVERIFY(!readout->text().endsWith(QLatin1String("--")));
        QVERIFY(controls::statusLabel(w)->text() != noData);

        sim->setFault(static_cast<Fault>(fault));
        QElapsedTimer timer;
        timer.start();
        QTRY_COMPARE_WITH_TIMEOUT(controls::statusLabel(w)->text(), noData, kWaitMs);
        qInfo("\"no data\" after %lld ms", static_cast<long long>(timer.elapsed()));
        QVERIFY(timer.elapsed() >= 1900); // never below about 2 s
        QVERIFY2(readout->text().endsWith(QLatin1String(": --")), qPrintable(readout->text()));

        sim->setFault(Fault::None);
        timer.restart();
        QTRY_VERIFY_WITH_TIMEOUT(controls::statusLabel(w)->text() != noData, kWaitMs);
        qInfo("recovered %lld ms after the fault ended", static_cast<long long>(timer.elapsed()));
        QTRY_VERIFY_WITH_TIMEOUT(!readout->text().endsWith(QLatin1String("--")), kWaitMs);
        const qint64 took = SimulatedBench::close(w);
        QVERIFY2(took >= 0 && took < kPromptCloseMs, qPrintable(QString::number(took)));
        QVERIFY(controls::statusLabel(w)->text() != noData);
    }

    // The cable pulled in the middle of a frame: the worker ends with "line
    // lost", the half frame is not shown, and once the device is back "Close
    // port" and "Open port" bring the frames back.
    void hangUpMidFrameThenTheDeviceComesBack()
    {
        MainWindow w;
        w.show();
        QVERIFY(SimulatedBench::open(w));
        QVERIFY(bench->framesPass(2));
        sim->setFault(Fault::HangUp);
        QTRY_VERIFY_WITH_TIMEOUT(sim->hungUp(), kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(sts.get(), QStringLiteral("line lost"), kWaitMs);
        const Frame shown = buff.snapshot();
        QTest::qWait(200);
        QCOMPARE(buff.snapshot(), shown);

        const qint64 took = SimulatedBench::close(w);
        QVERIFY2(took >= 0 && took < kPromptCloseMs, qPrintable(QString::number(took)));
        sim->setFault(Fault::None);
        QVERIFY(sim->comeBack());
        QVERIFY(SimulatedBench::open(w));
        QVERIFY(SimulatedBench::frameChangesFrom(shown));
        QVERIFY(SimulatedBench::close(w) >= 0);
    }

    // A port name typed on "&Ustawienia" and confirmed with Enter stays in
    // the editor and settings.txt, and is the port "Open port" opens.
    void portNameTypedWithEnterOpens()
    {
        const QString port = QString::fromStdString(sim->slavePath());
        QVERIFY(ScratchDir::writeSettings(QStringLiteral("/dev/zor-not-here"), 921600, 6));
        MainWindow w;
        w.show();
        controls::selectTab(w, 6);
        QVERIFY(controls::typePortName(w, port));
        QCOMPARE(controls::portNameEditor(w)->toPlainText(), port);
        QCOMPARE(ScratchDir::readSettingsFile(), QStringLiteral("#%1#921600#6#ZOR").arg(port).toUtf8());
        controls::selectTab(w, 0);
        QVERIFY(SimulatedBench::open(w));
        QVERIFY(bench->framesPass(3));
        const qint64 took = SimulatedBench::close(w);
        QVERIFY2(took >= 0 && took < kPromptCloseMs, qPrintable(QString::number(took)));
    }

    // Choices made as fast as the user can click, while frames stream: every
    // request is served in turn and the device ends with the last choice.
    void requestsHammeredWhileStreaming()
    {
        MainWindow w;
        w.show();
        controls::selectTab(w, 2);
        QVERIFY(SimulatedBench::open(w));
        QVERIFY(bench->framesPass(2));
        auto *times = w.findChild<QComboBox *>("taBox");
        auto *gains = w.findChild<QComboBox *>("vaBox");
        QVERIFY(times && gains);
        for (int i = 0; i < 200; ++i) {
            QVERIFY(controls::choose(w, "taBox", i % times->count()));
            QVERIFY(controls::choose(w, "vaBox", (i * 3) % gains->count()));
            if (i % 20 == 0)
                QTest::qWait(1);
        }
        QVERIFY(controls::choose(w, "taBox", 2));
        QVERIFY(controls::choose(w, "vaBox", 1));
        // The analyzer sends time-base code 14 - index and the gain index.
        QTRY_COMPARE_WITH_TIMEOUT(sim->state().timeBase, 12, kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(sim->state().gain1, 1, kWaitMs);
        const Frame before = buff.snapshot();
        QVERIFY(SimulatedBench::frameChangesFrom(before));
        const qint64 took = SimulatedBench::close(w);
        QVERIFY2(took >= 0 && took < kPromptCloseMs, qPrintable(QString::number(took)));
    }

    // Tab changes in the middle of mode and table exchanges.
    void tabSwitchesDuringExchanges()
    {
        MainWindow w;
        w.show();
        QVERIFY(SimulatedBench::open(w));
        QVERIFY(bench->framesPass(1));
        for (int i = 0; i < 60; ++i) {
            controls::selectTab(w, i % 4);
            QTest::qWait(i % 3);
        }
        controls::selectTab(w, 0);
        QTRY_COMPARE_WITH_TIMEOUT(sim->state().mode, Mode::OneChannel, kWaitMs);
        const Frame before = buff.snapshot();
        QVERIFY(SimulatedBench::frameChangesFrom(before));
        const qint64 took = SimulatedBench::close(w);
        QVERIFY2(took >= 0 && took < kPromptCloseMs, qPrintable(QString::number(took)));
    }

    // 200 opens and closes while the device streams: each close is prompt,
    // no descriptor is left behind, and the last open still gets frames.
    void twoHundredOpenCloseCyclesWhileStreaming()
    {
        MainWindow w;
        w.show();
        QVERIFY(SimulatedBench::open(w));
        QVERIFY(bench->framesPass(1));
        QVERIFY(SimulatedBench::close(w) >= 0);
        const int descriptors = openDescriptors();
        qint64 slowest = 0;
        for (int i = 0; i < 200; ++i) {
            QVERIFY(SimulatedBench::open(w));
            if (i % 10 == 0)
                QTest::qWait(5);
            QCoreApplication::processEvents();
            const qint64 took = SimulatedBench::close(w);
            QVERIFY(took >= 0);
            slowest = std::max(slowest, took);
        }
        QVERIFY2(slowest < kPromptCloseMs, qPrintable(QString::number(slowest)));
        QCOMPARE(openDescriptors(), descriptors);
        const Frame before = buff.snapshot();
        QVERIFY(SimulatedBench::open(w));
        QVERIFY(SimulatedBench::frameChangesFrom(before));
        QVERIFY(SimulatedBench::close(w) >= 0);
    }
};

QTEST_MAIN(TestFaultsE2e)
#include "tst_faults_e2e.moc"
