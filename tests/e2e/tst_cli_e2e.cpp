#include "mainwindow.h"
#include "portlist.h"
#include "simulatedbench.h"
#include "zorsimulator.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

#include <cmath>
#include <csignal>
#include <memory>
#include <vector>

// labbench-cli against the simulated ZOR, run as a script runs it: its tables
// and numbers checked against what the device sent and the signals it plays.
class TestCliE2e : public QObject {
    Q_OBJECT

private:
    static constexpr int kWaitMs = SimulatedBench::kWaitMs;
    static constexpr double kVoltsPerUnitAtGain0 = 0.010; // the device's 10 mV per unit

    std::unique_ptr<SimulatedBench> bench;
    ZorSimulator *sim = nullptr;

    using Rows = std::vector<std::vector<double>>;

    // The data rows of a CSV table; every "#" line is a comment.
    static Rows csvRows(const QByteArray &text)
    {
        Rows rows;
        for (const QByteArray &line : text.split('\n')) {
            if (line.isEmpty() || line.startsWith('#'))
                continue;
            std::vector<double> row;
            for (const QByteArray &cell : line.split(','))
                row.push_back(cell.toDouble());
            rows.push_back(row);
        }
        return rows;
    }

    static std::vector<QJsonObject> jsonLines(const QByteArray &text)
    {
        std::vector<QJsonObject> objects;
        for (const QByteArray &line : text.split('\n')) {
            if (!line.isEmpty())
                objects.push_back(QJsonDocument::fromJson(line).object());
        }
        return objects;
    }

    static std::vector<int> ints(const QJsonArray &array)
    {
        std::vector<int> out;
        for (const QJsonValue &v : array)
            out.push_back(v.toInt());
        return out;
    }

private slots:
    void init()
    {
        bench = std::make_unique<SimulatedBench>();
        QVERIFY(bench->isReady());
        sim = &bench->sim();
    }

    void cleanup()
    {
        sim = nullptr;
        bench.reset();
    }

    // Port and speed from settings.txt; one channel, 1024 samples, each the
    // device's own sample in volts, on the time count of the frequency readout.
    void captureOneChannelCsvIsTheFrameTheDeviceSent()
    {
        const auto run = SimulatedBench::cli({ QStringLiteral("capture") });
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QVERIFY(run.out.contains("# time_base: 200us/dz\n"));
        QVERIFY(run.out.contains("# t_s,ch1_V\n"));
        const Rows rows = csvRows(run.out);
        QCOMPARE(rows.size(), std::size_t(1024));
        std::vector<int> raw;
        for (const auto &row : rows) {
            QCOMPARE(row.size(), std::size_t(2));
            raw.push_back(int(std::lround(row[1] / kVoltsPerUnitAtGain0)));
        }
        QVERIFY(bench->sent(raw));
        // 200 us a division over 16 samples, counted with 1024 as 1000.
        QCOMPARE(rows[1][0], 200e-6 / 16 / 1.024);
        QCOMPARE(rows[1023][0], 1023 * 200e-6 / 16 / 1.024);
        QCOMPARE(sim->state().mode, Mode::OneChannel);
    }

    void captureTwoChannelsJsonHoldsBothHalvesOfEachFrame()
    {
        const auto run
            = SimulatedBench::cli({ QStringLiteral("capture"), QStringLiteral("--channels"),
                QStringLiteral("2"), QStringLiteral("--gain"), QStringLiteral("1V/dz,2.5V/dz"),
                QStringLiteral("--frames"), QStringLiteral("3"), QStringLiteral("--format=json") });
        QVERIFY2(run.exitCode == 0, run.err.constData());
        const DeviceState state = sim->state();
        QCOMPARE(state.mode, Mode::TwoChannels);
        QCOMPARE(state.gain1, 1);
        QCOMPARE(state.gain2, 0);

        const auto frames = jsonLines(run.out);
        QCOMPARE(frames.size(), std::size_t(3));
        std::vector<int> previous;
        for (const QJsonObject &f : frames) {
            QCOMPARE(f.value(QStringLiteral("channels")).toInt(), 2);
            const QJsonObject ch1 = f.value(QStringLiteral("ch1")).toObject();
            const QJsonObject ch2 = f.value(QStringLiteral("ch2")).toObject();
            std::vector<int> frame = ints(ch1.value(QStringLiteral("raw")).toArray());
            const std::vector<int> second = ints(ch2.value(QStringLiteral("raw")).toArray());
            QCOMPARE(frame.size(), std::size_t(512));
            QCOMPARE(second.size(), std::size_t(512));
            frame.insert(frame.end(), second.begin(), second.end());
            QVERIFY(bench->sent(frame));
            QVERIFY(frame != previous);
            previous = frame;
            // Channel 2 is the +-1 V calibrator: 100 units at 2.5V/dz.
            const QJsonArray volts2 = ch2.value(QStringLiteral("volts")).toArray();
            for (int i = 0; i < 512; ++i) {
                QCOMPARE(volts2[i].toDouble(), second[std::size_t(i)] * kVoltsPerUnitAtGain0);
                QVERIFY(std::abs(std::abs(second[std::size_t(i)]) - 100) <= 1);
            }
            // Channel 1 at 1V/dz: 5 mV a unit.
            const QJsonArray volts1 = ch1.value(QStringLiteral("volts")).toArray();
            QCOMPARE(volts1[7].toDouble(), frame[7] * 0.005);
        }
    }

    // The power-up generator tone: 1250 mV cosine at 32 MHz / (512 x 62).
    void measureReadsTheKnownSignal()
    {
        const auto run = SimulatedBench::cli(
            { QStringLiteral("measure"), QStringLiteral("--frames"), QStringLiteral("3") });
        QVERIFY2(run.exitCode == 0, run.err.constData());
        const auto lines = jsonLines(run.out);
        QCOMPARE(lines.size(), std::size_t(3));
        const double toneHz = 32e6 / (512 * 62);
        for (const QJsonObject &line : lines) {
            const QJsonObject ch1 = line.value(QStringLiteral("ch1")).toObject();
            QVERIFY(std::abs(ch1.value(QStringLiteral("rms_V")).toDouble() - 1.25 / std::sqrt(2.0))
                < 0.02);
            QVERIFY(std::abs(ch1.value(QStringLiteral("avg_V")).toDouble()) < 0.02);
            QVERIFY(std::abs(ch1.value(QStringLiteral("vpp_V")).toDouble() - 2.5) < 0.05);
            // The readout counts 1024 for 1000: 2.4 % high.
            const double ratio = ch1.value(QStringLiteral("freq_Hz")).toDouble() / toneHz;
            QVERIFY2(ratio > 1.01 && ratio < 1.04, qPrintable(QString::number(ratio)));
            const double thdn = line.value(QStringLiteral("thdn_pct")).toDouble();
            QVERIFY2(thdn > 0 && thdn < 5, qPrintable(QString::number(thdn)));
            QVERIFY(line.value(QStringLiteral("power_daB")).toDouble() > 0);
        }
    }

    void generateLoopsBackIntoCapture()
    {
        const auto played = SimulatedBench::cli(
            { QStringLiteral("generate"), QStringLiteral("--wave"), QStringLiteral("square"),
                QStringLiteral("--freq"), QStringLiteral("2000"), QStringLiteral("--amplitude"),
                QStringLiteral("500"), QStringLiteral("--seconds"), QStringLiteral("0.2") });
        QVERIFY2(played.exitCode == 0, played.err.constData());
        const DeviceState state = sim->state();
        QCOMPARE(state.mode, Mode::Generator);
        QCOMPARE(state.tablesReceived, 1L);
        // The nearest the device's 32 MHz clock makes of 2000 Hz.
        QVERIFY(std::abs(32e6 / (state.length * state.period) - 2000) < 20);

        const auto run = SimulatedBench::cli(
            { QStringLiteral("capture"), QStringLiteral("--format"), QStringLiteral("json") });
        QVERIFY2(run.exitCode == 0, run.err.constData());
        const auto frames = jsonLines(run.out);
        QCOMPARE(frames.size(), std::size_t(1));
        const std::vector<int> raw = ints(frames[0]
                                              .value(QStringLiteral("ch1"))
                                              .toObject()
                                              .value(QStringLiteral("raw"))
                                              .toArray());
        // +-500 mV: 50 units at 2.5V/dz, the noise one unit at most.
        int high = 0;
        for (const int v : raw) {
            QVERIFY2(std::abs(std::abs(v) - 50) <= 1, qPrintable(QString::number(v)));
            high += v > 0;
        }
        QVERIFY(high > 400 && high < 624);
    }

    // Ctrl+C: the command ends at once with success, the line closed and the
    // device still playing, as after "Close port".
    void interruptedGenerateLeavesTheDevicePlaying()
    {
        QProcess process;
        process.start(SimulatedBench::cliPath(),
            { QStringLiteral("generate"), QStringLiteral("--wave"), QStringLiteral("triangle") });
        QByteArray err;
        QTRY_VERIFY2_WITH_TIMEOUT(
            (err += process.readAllStandardError()).contains("playing"), err.constData(), kWaitMs);
        QCOMPARE(sim->state().tablesReceived, 1L);
        ::kill(static_cast<pid_t>(process.processId()), SIGINT);
        QVERIFY(process.waitForFinished(kWaitMs));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QCOMPARE(sim->state().mode, Mode::Generator);
    }

    void badArgumentsExitWithTwoAndTheValidTexts_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("shown");
        QTest::newRow("no command") << QStringList {} << QStringLiteral("capture");
        QTest::newRow("unknown command")
            << QStringList { QStringLiteral("scope") } << QStringLiteral("measure");
        QTest::newRow("time base") << QStringList { QStringLiteral("capture"),
            QStringLiteral("--timebase"), QStringLiteral("3us/dz") }
                                   << QStringLiteral("200us/dz");
        QTest::newRow("fast time base, two channels") << QStringList { QStringLiteral("capture"),
            QStringLiteral("--channels"), QStringLiteral("2"), QStringLiteral("--timebase"),
            QStringLiteral("5us/dz") } << QStringLiteral("needs --channels 1");
        QTest::newRow("gain") << QStringList { QStringLiteral("measure"), QStringLiteral("--gain"),
            QStringLiteral("3V/dz") }
                              << QStringLiteral("25mV/dz");
        QTest::newRow("trigger") << QStringList { QStringLiteral("measure"),
            QStringLiteral("--trigger"), QStringLiteral("norm") }
                                 << QStringLiteral("Single");
        QTest::newRow("frames") << QStringList { QStringLiteral("capture"),
            QStringLiteral("--frames"), QStringLiteral("0") }
                                << QStringLiteral("--frames");
        QTest::newRow("wave") << QStringList { QStringLiteral("generate"), QStringLiteral("--wave"),
            QStringLiteral("white noise") }
                              << QStringLiteral("sine|square|triangle");
        QTest::newRow("value missing") << QStringList { QStringLiteral("capture"),
            QStringLiteral("--port") } << QStringLiteral("needs a value");
    }

    void badArgumentsExitWithTwoAndTheValidTexts()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, shown);
        const long framesBefore = sim->state().framesSent;
        const auto run = SimulatedBench::cli(args);
        QCOMPARE(run.exitCode, 2);
        QVERIFY(run.out.isEmpty());
        QVERIFY2(run.err.contains(shown.toUtf8()), run.err.constData());
        QCOMPARE(sim->state().framesSent, framesBefore); // the port was never opened
    }

    void helpOnEachCommand_data()
    {
        QTest::addColumn<QString>("command");
        for (const char *c : { "ports", "capture", "measure", "generate" })
            QTest::newRow(c) << QString::fromLatin1(c);
    }

    void helpOnEachCommand()
    {
        QFETCH(QString, command);
        const auto run = SimulatedBench::cli({ command, QStringLiteral("--help") });
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.out.startsWith("Usage: labbench-cli " + command.toUtf8()));
        QVERIFY(run.err.isEmpty());
    }

    // One line per port the system lists, by-id names with their targets.
    void portsListsThePortsPresent()
    {
        const auto run = SimulatedBench::cli({ QStringLiteral("ports") });
        QCOMPARE(run.exitCode, 0);
        QByteArray expected;
        for (const PortEntry &port : listPorts())
            expected
                += (port.target.isEmpty() ? port.path : port.path + '\t' + port.target).toUtf8()
                + '\n';
        QCOMPARE(run.out, expected);
    }

    void portThatCannotBeOpenedExitsWithThree()
    {
        const auto run = SimulatedBench::cli({ QStringLiteral("capture"), QStringLiteral("--port"),
            QStringLiteral("/dev/no-such-zor") });
        QCOMPARE(run.exitCode, 3);
        QVERIFY(run.out.isEmpty());
        QCOMPARE(run.err,
            QByteArray(
                "labbench-cli: Unable to open /dev/no-such-zor: No such file or directory\n"));
    }

    // The window has the port: a script is refused it, as a second window would be.
    void aPortTheWindowHoldsIsRefused()
    {
        MainWindow window;
        window.show();
        QVERIFY(SimulatedBench::open(window));
        QVERIFY(bench->framesPass(2));
        const auto run = SimulatedBench::cli({ QStringLiteral("capture") });
        QCOMPARE(run.exitCode, 3);
        QVERIFY(run.out.isEmpty());
        QVERIFY2(run.err.startsWith("labbench-cli: Unable to open "), run.err.constData());
        QVERIFY(bench->framesPass(2)); // the window's frames go on
    }

    // A device that answers nothing: exit 4, and an earlier file of the
    // output's name stays as it was instead of becoming an empty one.
    void captureWithoutFramesKeepsTheEarlierFile()
    {
        QVERIFY(ScratchDir::writeFile(QStringLiteral("trace.csv"), "earlier\n"));
        sim->setFault(Fault::Silent);
        const auto run = SimulatedBench::cli(
            { QStringLiteral("capture"), QStringLiteral("-o"), QStringLiteral("trace.csv") });
        QCOMPARE(run.exitCode, 4);
        QCOMPARE(ScratchDir::readFile(QStringLiteral("trace.csv")), QByteArray("earlier\n"));
    }

    // The cable pulled in the middle of a capture: exit 4, and the frames
    // taken before are all there, each whole.
    void lostLineExitsWithFourKeepingWholeFrames()
    {
        QProcess process;
        process.start(SimulatedBench::cliPath(),
            { QStringLiteral("capture"), QStringLiteral("--frames"), QStringLiteral("1000") });
        QByteArray out;
        QTRY_VERIFY_WITH_TIMEOUT(
            (out += process.readAllStandardOutput()).count('\n') > 3000, kWaitMs);
        sim->setFault(Fault::HangUp);
        QVERIFY(process.waitForFinished(kWaitMs));
        out += process.readAllStandardOutput();
        QCOMPARE(process.exitCode(), 4);
        QVERIFY(process.readAllStandardError().contains("line lost"));
        const Rows rows = csvRows(out);
        QVERIFY(rows.size() >= 3 * 1024);
        QCOMPARE(rows.size() % 1024, std::size_t(0));
        QCOMPARE(rows.back()[0], double(rows.size() / 1024 - 1)); // the frame column
    }
};

QTEST_MAIN(TestCliE2e)
#include "tst_cli_e2e.moc"
