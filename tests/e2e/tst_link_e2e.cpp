#include "framebuffer.h"
#include "gentable.h"
#include "mainwindow.h"
#include "scratchdir.h"
#include "shared.h"
#include "windowcontrols.h"
#include "zorcom.h"
#include "zorsimulator.h"

#include <QElapsedTimer>
#include <QPushButton>
#include <QTest>

#include <ctime>
#include <memory>

// labbench's link against the simulated ZOR on a real pseudo-terminal.
class TestLinkE2e : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ScratchDir> scratch;
    FrameBuffer frame;
    GenTable table;

    // Opens the link on the simulator's port at 2.5 Mbit/s and starts its worker.
    static bool start(ZORCom &link, const ZorSimulator &sim)
    {
        return link.Open(QString::fromStdString(sim.slavePath()), 2500000) && link.Start();
    }

    static ZorSimulator::Options options(bool paced)
    {
        ZorSimulator::Options o;
        o.paced = paced;
        return o;
    }

    static double cpuMs() { return 1000.0 * double(std::clock()) / CLOCKS_PER_SEC; }

    // Waits until n fresh frames have been flagged.
    static bool frames(int n, int ms = 5000)
    {
        QElapsedTimer timer;
        timer.start();
        int seen = 0;
        while (seen < n && timer.elapsed() < ms) {
            if (bufReady.exchange(false))
                ++seen;
            QTest::qWait(2);
        }
        return seen >= n;
    }

private slots:
    void init()
    {
        scratch = std::make_unique<ScratchDir>();
        QVERIFY(scratch->isValid());
        frame.store(Frame{});
        bufReady.store(false);
    }

    void cleanup() { scratch.reset(); }

    void framesFlowAndPromptsAreAnswered()
    {
        ZorSimulator sim(options(false));
        QVERIFY(sim.start());
        ZORCom link(&frame, &table);
        QVERIFY(start(link, sim));
        QVERIFY(frames(20));
        QCOMPARE(sts.get(), QStringLiteral("read ch"));
        // The power-up sine is on channel 1: a frame is anything but flat.
        const Frame f = frame.snapshot();
        QVERIFY(*std::max_element(f.begin(), f.end()) - *std::min_element(f.begin(), f.end()) > 100);
        QTest::qWait(3300); // long enough for the device's keep-alive "w"
        QVERIFY(sim.received().find('w') != std::string::npos);
        QCOMPARE(sim.state().watchdogFailures, 0L);
        QVERIFY(link.Close());
    }

    void oscilloscopeTabOpensWithChannelTimeBaseAndGain()
    {
        ZorSimulator sim;
        QVERIFY(sim.start());
        QVERIFY(ScratchDir::writeSettings(QString::fromStdString(sim.slavePath()), 2500000, 9));

        MainWindow window;
        window.show();
        QPushButton *button = controls::portButton(window);
        QVERIFY(button);
        QTest::mouseClick(button, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(sim.received().find("u00qg") != std::string::npos, 5000);

        const std::string log = sim.received();
        const auto quit = log.find('q');
        const auto mode = log.find('a', quit);
        const auto time = log.find("s7qg", mode);
        const auto gain = log.find("u00qg", time);
        QVERIFY(quit != std::string::npos);
        QVERIFY(mode != std::string::npos);
        QVERIFY(time != std::string::npos);
        QVERIFY(gain != std::string::npos);
        QVERIFY(quit < mode && mode < time && time < gain);
        const DeviceState state = sim.state();
        QCOMPARE(state.mode, Mode::OneChannel);
        QCOMPARE(state.timeBase, 7);
        QCOMPARE(state.gain1, 0);
        QCOMPARE(state.gain2, 0);
        QVERIFY(frames(3));
    }

    void closeIsPromptOnASilentDevice()
    {
        ZorSimulator sim(options(false));
        QVERIFY(sim.start());
        ZORCom link(&frame, &table);
        QVERIFY(start(link, sim));
        QVERIFY(frames(3));
        sim.setFault(Fault::Silent);
        link.setTimeBase(3); // an exchange that will wait for an echo that never comes
        QTest::qWait(300);
        QElapsedTimer timer;
        timer.start();
        QVERIFY(link.Close());
        const qint64 ms = timer.elapsed();
        qInfo("Close on a silent device: %lld ms", static_cast<long long>(ms));
        QVERIFY(ms < 1000);
        QCOMPARE(sts.get(), QStringLiteral("closed"));
    }

    void closeIsPromptWhileStreaming()
    {
        ZorSimulator sim(options(false));
        QVERIFY(sim.start());
        ZORCom link(&frame, &table);
        QVERIFY(start(link, sim));
        QVERIFY(frames(10));
        QElapsedTimer timer;
        timer.start();
        QVERIFY(link.Close());
        qInfo("Close while streaming: %lld ms", static_cast<long long>(timer.elapsed()));
        QVERIFY(timer.elapsed() < 1000);
    }

    void hangUpGivesLineLostThenTheDeviceComesBack()
    {
        ZorSimulator sim(options(false));
        QVERIFY(sim.start());
        {
            ZORCom link(&frame, &table);
            QVERIFY(start(link, sim));
            QVERIFY(frames(3));
            sim.setFault(Fault::HangUp);
            QTRY_VERIFY_WITH_TIMEOUT(link.lineLost(), 5000);
            QCOMPARE(sts.get(), QStringLiteral("line lost"));
            const double before = cpuMs();
            QTest::qWait(500);
            const double spent = cpuMs() - before;
            qInfo("CPU time in 500 ms after the hang-up: %.1f ms", spent);
            QVERIFY2(spent < 200, "something kept running after the line went away");
            const Frame last = frame.snapshot();
            QVERIFY(link.Close());
            QVERIFY(frame.snapshot() == last);
        }
        sim.setFault(Fault::None);
        QVERIFY(sim.comeBack());
        ZORCom again(&frame, &table);
        QVERIFY(start(again, sim));
        QVERIFY(frames(3));
        QVERIFY(again.Close());
    }
};

QTEST_MAIN(TestLinkE2e)
#include "tst_link_e2e.moc"
