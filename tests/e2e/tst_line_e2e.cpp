#include "mainwindow.h"
#include "portholder.h"
#include "shared.h"
#include "simulatedbench.h"
#include "windowcontrols.h"
#include "zorsimulator.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QtTest>

#include <memory>

#include <sys/resource.h>

// The whole program on a line as unkind as real hardware: a new adapter's
// flags, pauses inside frames, a port another program holds, a device that
// stops reading, and the cable pulled and plugged back in.
class TestLineE2e : public QObject {
    Q_OBJECT

private:
    static constexpr int kWaitMs = SimulatedBench::kWaitMs;
    std::unique_ptr<SimulatedBench> bench;

    bool makeBench(ZorSimulator::Options options = {})
    {
        bench = std::make_unique<SimulatedBench>(921600, 6, std::move(options));
        return bench->isReady();
    }

    QString port() { return QString::fromStdString(bench->sim().slavePath()); }

    static QString buttonText(QWidget &w) { return controls::portButton(w)->text(); }

    static double cpuSeconds()
    {
        rusage u{};
        ::getrusage(RUSAGE_SELF, &u);
        return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
            + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
    }

    // The window after an unplug: still "Close port", saying "line lost".
    bool unplugged(MainWindow &w)
    {
        bench->sim().unplug();
        return SimulatedBench::statusShows(w, QStringLiteral("line lost"))
            && buttonText(w) == QStringLiteral("Close port");
    }

private slots:
    void cleanup() { bench.reset(); }

    // Bytes 0x0D, 0x11 and 0x13 among the samples, on a line left at the
    // flags a new adapter has: frames arrive whole and keep coming.
    void adapterFlagsAndBytesAnAdapterWouldTranslate()
    {
        QVERIFY(makeBench());
        MainWindow w;
        w.show();
        QVERIFY(SimulatedBench::open(w));
        QVERIFY(controls::choose(w, "gain1Combo", 4)); // the cosine spans +-2000 units
        auto hasEveryByte = [] {
            const Frame f = buff.snapshot();
            bool cr = false, xon = false, xoff = false;
            for (const int v : f) {
                for (const int b : {v & 0xFF, (v >> 8) & 0xFF}) {
                    cr = cr || b == 0x0D;
                    xon = xon || b == 0x11;
                    xoff = xoff || b == 0x13;
                }
            }
            return cr && xon && xoff;
        };
        QVERIFY(QTest::qWaitFor(hasEveryByte, kWaitMs));
        for (int i = 0; i < 3; ++i)
            QVERIFY(SimulatedBench::frameChanges());
        QVERIFY(SimulatedBench::close(w) >= 0);
    }

    void pauseInEveryFrame()
    {
        ZorSimulator::Options options;
        options.framePauseMs = 200;
        QVERIFY(makeBench(options));
        MainWindow w;
        w.show();
        QVERIFY(SimulatedBench::open(w));
        for (int i = 0; i < 3; ++i)
            QVERIFY(SimulatedBench::frameChanges());
        QVERIFY(SimulatedBench::close(w) >= 0);
    }

    // A port name with letters beyond ASCII (a udev alias, a folder in the
    // user's language) comes from settings.txt whole and opens.
    void portNameBeyondAsciiOpens()
    {
        ZorSimulator::Options options;
        options.linkPath = "zasilacz-żółw-Ω";
        QVERIFY(makeBench(options));
        QVERIFY(port().endsWith(QStringLiteral("/zasilacz-żółw-Ω")));
        MainWindow w;
        w.show();
        QCOMPARE(controls::portNameEditor(w)->toPlainText(), port());
        QVERIFY(SimulatedBench::open(w));
        QVERIFY(SimulatedBench::frameChanges());
        QVERIFY(SimulatedBench::close(w) >= 0);
    }

    void portHeldByAnotherProgramDoesNotOpen()
    {
        QVERIFY(makeBench());
        MainWindow w;
        w.show();
        {
            PortHolder other(port());
            QVERIFY(other.holds());
            QVERIFY(!SimulatedBench::open(w));
            QVERIFY(SimulatedBench::statusShows(
                w, QStringLiteral("Unable to open: in use by another program")));
            QCOMPARE(buttonText(w), QStringLiteral("Open port"));
        }
        QVERIFY(SimulatedBench::open(w));
        QVERIFY(SimulatedBench::frameChanges());
        QVERIFY(SimulatedBench::close(w) >= 0);
    }

    void secondInstanceOnTheSamePortDoesNotOpen()
    {
        QVERIFY(makeBench());
        MainWindow first;
        MainWindow second;
        first.show();
        second.show();
        QVERIFY(SimulatedBench::open(first));
        QVERIFY(!SimulatedBench::open(second));
        QCOMPARE(buttonText(second), QStringLiteral("Open port"));
        QVERIFY(SimulatedBench::frameChanges()); // the first keeps the whole line
        QVERIFY(SimulatedBench::close(first) >= 0);
        QVERIFY(SimulatedBench::open(second));
        QVERIFY(SimulatedBench::close(second) >= 0);
    }

    void closeWhileTheDeviceStopsReadingInAnUpload()
    {
        ZorSimulator::Options options;
        options.stallAfter = 100;
        QVERIFY(makeBench(options));
        MainWindow w;
        w.show();
        controls::selectTab(w, 1);
        QVERIFY(SimulatedBench::open(w));
        QVERIFY(QTest::qWaitFor([&] { return bench->sim().stalled(); }, kWaitMs));
        QTest::qWait(200);
        const qint64 took = SimulatedBench::close(w);
        qInfo("Close with a stalled device: %lld ms", took);
        QVERIFY2(took >= 0 && took < 1000, qPrintable(QString::number(took)));
    }

    // Unplugged and plugged back in on the oscilloscope: the window waits
    // idle, then opens by itself and sends the tab's settings again.
    void unplugAndReplugOnTheOscilloscope()
    {
        QVERIFY(makeBench());
        MainWindow w;
        w.show();
        QVERIFY(SimulatedBench::open(w));
        QVERIFY(bench->framesPass(2));
        QVERIFY(unplugged(w));

        const double cpuBefore = cpuSeconds();
        QElapsedTimer idle;
        idle.start();
        QTest::qWait(2000);
        const double cpu = cpuSeconds() - cpuBefore;
        const double seconds = double(idle.elapsed()) / 1000.0;
        qInfo("CPU while waiting for the port: %.4f s in %.2f s (%.2f %%)", cpu, seconds,
              100.0 * cpu / seconds);
        QVERIFY2(cpu < 0.25 * seconds, qPrintable(QString::number(cpu)));
        QCOMPARE(buttonText(w), QStringLiteral("Close port"));

        bench->sim().clearReceived();
        const long sent = bench->sim().state().framesSent;
        QElapsedTimer back;
        back.start();
        QVERIFY(bench->sim().comeBack());
        QVERIFY(SimulatedBench::frameChanges());
        qInfo("frames again %lld ms after the device came back", back.elapsed());
        QVERIFY(back.elapsed() < 10000);
        QVERIFY(bench->sim().state().framesSent > sent);
        // The tab's settings, one per pass between frames, as "Open port" sends them.
        QTRY_VERIFY_WITH_TIMEOUT(bench->commands().contains(QStringLiteral("u00q")), kWaitMs);
        const QRegularExpression settings(QStringLiteral("^a?q+a+s7qu00q$"));
        QVERIFY2(settings.match(bench->commands()).hasMatch(), qPrintable(bench->commands()));
        QCOMPARE(buttonText(w), QStringLiteral("Close port"));
        QVERIFY(SimulatedBench::close(w) >= 0);
    }

    // On the generator tab the table and the clock go to the device again.
    void unplugAndReplugOnTheGenerator()
    {
        QVERIFY(makeBench());
        MainWindow w;
        w.show();
        controls::selectTab(w, 1);
        QVERIFY(SimulatedBench::open(w));
        QVERIFY(QTest::qWaitFor([&] { return bench->sim().state().tablesReceived > 0; }, kWaitMs));
        QTest::qWait(200);
        QElapsedTimer lost;
        lost.start();
        QVERIFY(unplugged(w));
        qInfo("line lost shown %lld ms after the unplug", lost.elapsed());
        QVERIFY(lost.elapsed() < 5000);

        const long tables = bench->sim().state().tablesReceived;
        bench->sim().clearReceived();
        QVERIFY(bench->sim().comeBack());
        QVERIFY(QTest::qWaitFor([&] { return bench->sim().state().tablesReceived > tables; },
                                kWaitMs));
        // The mode, the table and the clock, one per pass.
        const QRegularExpression clock(QStringLiteral("s+[0-9:;<=>?]{7}q"));
        QTRY_VERIFY_WITH_TIMEOUT(clock.match(bench->commands()).hasMatch(), kWaitMs);
        // An "a" may come first: the answer to the device's opening ">" prompt.
        const QRegularExpression mode(QStringLiteral("^a?q+e+S"));
        QVERIFY2(mode.match(bench->commands()).hasMatch(), qPrintable(bench->commands().left(20)));
        QCOMPARE(bench->sim().state().mode, Mode::Generator);
        QVERIFY(SimulatedBench::close(w) >= 0);
    }

    void closeWhileWaitingStopsWaiting()
    {
        QVERIFY(makeBench());
        MainWindow w;
        w.show();
        QVERIFY(SimulatedBench::open(w));
        QVERIFY(bench->framesPass(1));
        QVERIFY(unplugged(w));
        QVERIFY(SimulatedBench::close(w) >= 0);
        QVERIFY(bench->sim().comeBack());
        const long sent = bench->sim().state().framesSent;
        QTest::qWait(1000);
        QCOMPARE(buttonText(w), QStringLiteral("Open port"));
        QCOMPARE(bench->sim().state().framesSent, sent);
    }

    // The name is back but the port cannot be opened yet (here another
    // program has it for a moment): the window tries again until it can.
    void portBackButNotYetOpenableIsTriedAgain()
    {
        QVERIFY(makeBench());
        MainWindow w;
        w.show();
        QVERIFY(SimulatedBench::open(w));
        QVERIFY(bench->framesPass(1));
        QVERIFY(unplugged(w));
        {
            QVERIFY(bench->sim().comeBack());
            PortHolder other(port()); // before the window's next check can run
            QVERIFY(other.holds());
            QTest::qWait(1000);
            QCOMPARE(buttonText(w), QStringLiteral("Close port"));
            QCOMPARE(controls::statusLabel(w)->text(), QStringLiteral("line lost"));
        }
        QVERIFY(SimulatedBench::frameChanges());
        QVERIFY(SimulatedBench::close(w) >= 0);
    }
};

QTEST_MAIN(TestLineE2e)
#include "tst_line_e2e.moc"
