#include "framebuffer.h"
#include "gentable.h"
#include "mainwindow.h"
#include "shared.h"
#include "simulatedbench.h"
#include "windowcontrols.h"
#include "zorcom.h"
#include "zorsimulator.h"

#include <QElapsedTimer>
#include <QTest>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>

Q_DECLARE_METATYPE(Mode)

// Open port on a ZOR that another program left in the middle of something.
// A device behind a plain serial adapter cannot see the port open and stays
// as it was left; one that can greets the program with ">" (and one whose
// check falls between a close and the next open misses it). Either way the
// program must get frames, or play its table, soon after Open.
class TestReopenE2e : public QObject {
    Q_OBJECT

private:
    // What the last program did before it went away.
    enum class LeftIn { Generator, WaitingForGo, MidSetting, MidUpload };

    // The last program: opens the port raw, talks, reads what comes back and
    // closes without tidying up.
    static bool leaveDevice(const std::string &path, LeftIn state)
    {
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
        if (fd < 0)
            return false;
        termios tio {};
        ::tcgetattr(fd, &tio);
        ::cfmakeraw(&tio);
        ::cfsetspeed(&tio, B115200);
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 5;
        ::tcsetattr(fd, TCSANOW, &tio);
        const auto say = [fd](const char *bytes) {
            return ::write(fd, bytes, std::strlen(bytes)) == ssize_t(std::strlen(bytes));
        };
        // Reads until the line has been quiet for half a second.
        const auto listen = [fd] {
            char buffer[4096];
            long total = 0;
            for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) > 0;)
                total += n;
            return total;
        };
        bool ok = true;
        switch (state) {
        case LeftIn::Generator:
            ok = say("qe") && listen() >= 2;
            break;
        case LeftIn::WaitingForGo: // took a frame, never asked for the next
            ok = say("qa") && listen() >= 2 + 2050;
            break;
        case LeftIn::MidSetting: // a time-base command without its digit
            ok = say("qa") && listen() > 0 && say("s") && listen() >= 0;
            break;
        case LeftIn::MidUpload: { // 300 of a table's 1024 bytes
            ok = say("qeg") && listen() >= 3 && say("S");
            const std::string part(300, '\x08');
            ok = ok && ::write(fd, part.data(), part.size()) == ssize_t(part.size());
            break;
        }
        }
        ::tcdrain(fd);
        ::close(fd);
        return ok;
    }

    static void states()
    {
        QTest::addColumn<int>("leftIn");
        QTest::addColumn<bool>("connectPrompt");
        const struct {
            const char *name;
            LeftIn state;
        } rows[] = { { "generator", LeftIn::Generator }, { "waiting for g", LeftIn::WaitingForGo },
            { "mid-setting", LeftIn::MidSetting }, { "mid-upload", LeftIn::MidUpload } };
        for (const auto &row : rows) {
            for (const bool prompt : { true, false }) {
                QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(QLatin1String(row.name),
                    prompt ? QStringLiteral("prompt") : QStringLiteral("no prompt"))))
                    << int(row.state) << prompt;
            }
        }
    }

    static ZorSimulator::Options options(bool connectPrompt)
    {
        ZorSimulator::Options o;
        o.connectPrompt = connectPrompt;
        return o;
    }

private slots:
    // The link at the speed a user keeps: the first frame, at the time base
    // and gain the tab asked for. The time it took is printed.
    void theLinkGetsFramesAfterAnyLeftOverState_data() { states(); }

    void theLinkGetsFramesAfterAnyLeftOverState()
    {
        QFETCH(int, leftIn);
        QFETCH(bool, connectPrompt);
        ZorSimulator sim(options(connectPrompt));
        QVERIFY(sim.start());
        QVERIFY(leaveDevice(sim.slavePath(), LeftIn(leftIn)));

        FrameBuffer frames;
        GenTable table;
        ZORCom link(&frames, &table);
        QElapsedTimer timer;
        timer.start();
        QVERIFY(link.Open(QString::fromStdString(sim.slavePath()), 115200));
        QVERIFY(link.Start());
        link.osc1chStart();
        link.setGain(3, 0);
        link.setTimeBase(9); // 1ms/dz: a frame in 67 ms
        // Frames taken before the settings arrived may come first: wait for
        // one the device sent at the new time base.
        QTRY_VERIFY_WITH_TIMEOUT(
            sim.state().timeBase == 9 && sim.state().gain1 == 3 && frames.stored() > 0,
            SimulatedBench::kWaitMs);
        const std::uint64_t before = frames.stored();
        QTRY_VERIFY_WITH_TIMEOUT(frames.stored() > before, SimulatedBench::kWaitMs);
        qInfo("first frame at the tab's settings %lld ms after Open",
            static_cast<long long>(timer.elapsed()));
        QCOMPARE(sim.state().mode, Mode::OneChannel);
    }

    // The generator after any left-over state: its table and clock arrive.
    void theGeneratorPlaysAfterAnyLeftOverState_data() { states(); }

    void theGeneratorPlaysAfterAnyLeftOverState()
    {
        QFETCH(int, leftIn);
        QFETCH(bool, connectPrompt);
        ZorSimulator sim(options(connectPrompt));
        QVERIFY(sim.start());
        QVERIFY(leaveDevice(sim.slavePath(), LeftIn(leftIn)));
        const long tablesBefore = sim.state().tablesReceived;

        FrameBuffer frames;
        GenTable table;
        table.edit([](int *t) { std::fill(t, t + 512, 1000); });
        ZORCom link(&frames, &table);
        QElapsedTimer timer;
        timer.start();
        QVERIFY(link.Open(QString::fromStdString(sim.slavePath()), 115200));
        QVERIFY(link.Start());
        link.genStart();
        link.setFreq(100, 512);
        link.sendGenChannel();
        QVERIFY(link.waitServed(SimulatedBench::kWaitMs));
        qInfo("table played %lld ms after Open", static_cast<long long>(timer.elapsed()));
        // The clock takes effect at its closing "q", which the link has
        // written but the device may still be reading.
        QTRY_COMPARE_WITH_TIMEOUT(sim.state().period, 100, SimulatedBench::kWaitMs);
        // An upload left unfinished was filled up first: the last table is ours.
        const DeviceState state = sim.state();
        QCOMPARE(state.mode, Mode::Generator);
        QVERIFY(state.tablesReceived > tablesBefore);
        QCOMPARE(state.table[0], 1000);
    }

    // The window: closed on the generator tab, opened on the analyzer with a
    // span and range of its own. The device samples at the analyzer's time
    // base and gain, and frames come.
    void theWindowOpensOnTheAnalyzerAfterTheGenerator_data()
    {
        QTest::addColumn<bool>("connectPrompt");
        QTest::newRow("prompt") << true;
        QTest::newRow("no prompt") << false;
    }

    void theWindowOpensOnTheAnalyzerAfterTheGenerator()
    {
        QFETCH(bool, connectPrompt);
        SimulatedBench bench(115200, 3, options(connectPrompt));
        QVERIFY(bench.isReady());
        MainWindow w;
        w.show();
        controls::selectTab(w, 1);
        QVERIFY(SimulatedBench::open(w));
        QTRY_VERIFY_WITH_TIMEOUT(bench.sim().state().tablesReceived >= 1, SimulatedBench::kWaitMs);
        QVERIFY(SimulatedBench::close(w) >= 0);

        controls::selectTab(w, 2);
        QVERIFY(controls::choose(w, "taBox", 4)); // code 10
        QVERIFY(controls::choose(w, "vaBox", 2));
        QElapsedTimer timer;
        timer.start();
        QVERIFY(SimulatedBench::open(w));
        QTRY_VERIFY_WITH_TIMEOUT(
            bench.sim().state().timeBase == 10 && bench.sim().state().gain1 == 2,
            SimulatedBench::kWaitMs);
        QVERIFY(bench.framesPass(2));
        qInfo("analyzer frames %lld ms after Open", static_cast<long long>(timer.elapsed()));
        QCOMPARE(bench.sim().state().mode, Mode::OneChannel);
    }

    // labbench-cli: a capture right after a generate, as a script runs them.
    void aCaptureAfterAGenerate_data()
    {
        QTest::addColumn<bool>("connectPrompt");
        QTest::newRow("prompt") << true;
        QTest::newRow("no prompt") << false;
    }

    void aCaptureAfterAGenerate()
    {
        QFETCH(bool, connectPrompt);
        SimulatedBench bench(115200, 3, options(connectPrompt));
        QVERIFY(bench.isReady());
        const auto played
            = SimulatedBench::cli({ QStringLiteral("generate"), QStringLiteral("--wave"),
                QStringLiteral("sine"), QStringLiteral("--seconds"), QStringLiteral("0.5") });
        QCOMPARE(played.exitCode, 0);
        QElapsedTimer timer;
        timer.start();
        const auto captured = SimulatedBench::cli({ QStringLiteral("capture") });
        QVERIFY2(captured.exitCode == 0, captured.err.constData());
        qInfo("capture after generate took %lld ms", static_cast<long long>(timer.elapsed()));
        QVERIFY(captured.out.count('\n') > 100);
    }
};

QTEST_MAIN(TestReopenE2e)
#include "tst_reopen_e2e.moc"
