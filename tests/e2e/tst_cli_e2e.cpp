#include "linetiming.h"
#include "mainwindow.h"
#include "scratchdir.h"
#include "simulatedbench.h"
#include "zorsimulator.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <algorithm>
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

    // Ctrl+C: the command ends at once with 130, as every command does, the
    // line closed and the device still playing, as after "Close port".
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
        QCOMPARE(process.exitCode(), 130);
        QCOMPARE(sim->state().mode, Mode::Generator);
    }

    // Ctrl+C while the program waits for a silent device to take its
    // settings (or its table): exit 130 at once, not 4 after the whole wait,
    // and an earlier output file as it was.
    void interruptEndsTheSettingsWait_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("capture") << QStringList { QStringLiteral("capture"), QStringLiteral("-o"),
            QStringLiteral("trace.csv") };
        QTest::newRow("measure") << QStringList { QStringLiteral("measure") };
        QTest::newRow("generate")
            << QStringList { QStringLiteral("generate"), QStringLiteral("--wave"), QStringLiteral("sine") };
    }

    void interruptEndsTheSettingsWait()
    {
        QFETCH(QStringList, args);
        QVERIFY(ScratchDir::writeFile(QStringLiteral("trace.csv"), "earlier\n"));
        sim->setFault(Fault::Silent);
        QProcess process;
        QElapsedTimer clock;
        clock.start();
        process.start(SimulatedBench::cliPath(), args);
        QVERIFY(process.waitForStarted(kWaitMs));
        QVERIFY(process.processId() > 0);
        QVERIFY(bench->portOpenedBy(process.processId()));
        ::kill(static_cast<pid_t>(process.processId()), SIGINT);
        QVERIFY(process.waitForFinished(kWaitMs));
        const qint64 tookMs = clock.elapsed();
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 130);
        QVERIFY(process.readAllStandardOutput().isEmpty());
        QCOMPARE(process.readAllStandardError(), QByteArray());
        // Sooner than the wait for the settings would have ended by itself.
        QVERIFY2(tookMs < linetiming::serveTimeoutMs(115200), qPrintable(QString::number(tookMs)));
        QCOMPARE(ScratchDir::readFile(QStringLiteral("trace.csv")), QByteArray("earlier\n"));
    }

    // A time no clock holds is no time at all: the wave plays until Ctrl+C
    // as without --seconds, instead of stopping at once with 0.
    void generateForAnUnreachableTimePlaysUntilInterrupted_data()
    {
        QTest::addColumn<QString>("seconds");
        QTest::newRow("1e10") << QStringLiteral("1e10");
        QTest::newRow("inf") << QStringLiteral("inf");
    }

    void generateForAnUnreachableTimePlaysUntilInterrupted()
    {
        QFETCH(QString, seconds);
        QProcess process;
        process.start(SimulatedBench::cliPath(),
            { QStringLiteral("generate"), QStringLiteral("--wave"), QStringLiteral("sine"),
                QStringLiteral("--seconds"), seconds });
        QByteArray err;
        QTRY_VERIFY2_WITH_TIMEOUT(
            (err += process.readAllStandardError()).contains("playing"), err.constData(), kWaitMs);
        process.waitForFinished(500);
        QCOMPARE(process.state(), QProcess::Running); // still playing
        QVERIFY(process.processId() > 0);
        ::kill(static_cast<pid_t>(process.processId()), SIGINT);
        QVERIFY(process.waitForFinished(kWaitMs));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 130);
    }

    void badArgumentsExitWithTwoAndTheValidTexts_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("shown");
        QTest::newRow("no command") << QStringList {} << QStringLiteral("capture");
        QTest::newRow("level without its unit") << QStringList { QStringLiteral("capture"),
            QStringLiteral("--level"), QStringLiteral("500") } << QStringLiteral("20.44V");
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
                              << QStringLiteral("valid: sine square triangle");
        QTest::newRow("value missing") << QStringList { QStringLiteral("capture"),
            QStringLiteral("--port") } << QStringLiteral("needs a value");
        // The port would run at 115200, every wait sized for the speed asked.
        QTest::newRow("speed the device lacks") << QStringList { QStringLiteral("capture"),
            QStringLiteral("--speed"), QStringLiteral("9600") }
                                                << QStringLiteral("valid: 19200 38400");
        QTest::newRow("speed in generate") << QStringList { QStringLiteral("generate"),
            QStringLiteral("--wave"), QStringLiteral("sine"), QStringLiteral("--speed"),
            QStringLiteral("1000000") } << QStringLiteral("1500000 2500000 (bit/s)");
        QTest::newRow("seconds not a number") << QStringList { QStringLiteral("generate"),
            QStringLiteral("--wave"), QStringLiteral("sine"), QStringLiteral("--seconds"),
            QStringLiteral("nan") } << QStringLiteral("--seconds takes a number above 0");
        QTest::newRow("negative seconds") << QStringList { QStringLiteral("generate"),
            QStringLiteral("--wave"), QStringLiteral("sine"), QStringLiteral("--seconds=-inf") }
                                          << QStringLiteral("--seconds takes a number above 0");
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
        // One line that points at the command's help, not the whole usage.
        QCOMPARE(run.err.count('\n'), 1);
        const QByteArray help = args.isEmpty() || args[0] == QLatin1String("scope")
            ? QByteArray("(see labbench-cli --help)\n")
            : "(see labbench-cli " + args[0].toUtf8() + " --help)\n";
        QVERIFY2(run.err.endsWith(help), run.err.constData());
        QCOMPARE(sim->state().framesSent, framesBefore); // the port was never opened
    }

    void helpOnEachCommand_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("flag");
        for (const char *c : { "ports", "capture", "measure", "generate" }) {
            QTest::newRow(c) << QString::fromLatin1(c) << QStringLiteral("--help");
            QTest::newRow((QByteArray(c) + " -h").constData())
                << QString::fromLatin1(c) << QStringLiteral("-h");
        }
    }

    // Each command's help, with the one exit-code table.
    void helpOnEachCommand()
    {
        QFETCH(QString, command);
        QFETCH(QString, flag);
        const auto run = SimulatedBench::cli({ command, flag });
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.out.startsWith("Usage: labbench-cli " + command.toUtf8()));
        QVERIFY(run.out.contains("  4    the device did not answer, the line was lost, or no trigger came\n"));
        QVERIFY(run.out.contains("  130  interrupted (Ctrl+C)\n"));
        QVERIFY(run.err.isEmpty());
    }

    void versionOnBothPrograms()
    {
        const auto cli = SimulatedBench::cli({ QStringLiteral("--version") });
        QCOMPARE(cli.exitCode, 0);
        QCOMPARE(cli.out, QByteArray("labbench-cli " LABBENCH_VERSION "\n"));
        // The window's program prints it before it needs a display or a
        // settings file, and writes none.
        QProcess window;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        window.setProcessEnvironment(env);
        QVERIFY(QFile::remove(QStringLiteral("settings.txt")));
        window.start(QFileInfo(SimulatedBench::cliPath()).absolutePath()
                + QStringLiteral("/../app/labbench"),
            { QStringLiteral("--version") });
        QVERIFY(window.waitForFinished(kWaitMs));
        QCOMPARE(window.exitCode(), 0);
        QCOMPARE(window.readAllStandardOutput(), QByteArray("labbench " LABBENCH_VERSION "\n"));
        QVERIFY(!QFile::exists(QStringLiteral("settings.txt")));
    }

    // What `ports` prints for a machine whose /dev and /sys the test makes,
    // in a mount namespace of its own: stable names with their targets
    // first, then the families, and only the ttyS ports with a UART.
    void portsListsTheMachinesPorts()
    {
        if (QProcess::execute(QStringLiteral("unshare"), { QStringLiteral("-m"), QStringLiteral("true") }) != 0)
            QSKIP("no mount namespace can be made here");
        QTemporaryDir tree;
        QVERIFY(tree.isValid());
        const QDir root(tree.path());
        for (const char *dir : { "dev/serial/by-id", "sys/class/tty/ttyS0", "sys/class/tty/ttyS1" })
            QVERIFY(root.mkpath(QLatin1String(dir)));
        for (const char *file : { "dev/ttyUSB0", "dev/ttyUSB1", "dev/ttyACM0", "dev/ttyS0", "dev/ttyS1" })
            QVERIFY(ScratchDir::writeFile(root.filePath(QLatin1String(file)), ""));
        QVERIFY(ScratchDir::writeFile(root.filePath(QStringLiteral("sys/class/tty/ttyS0/type")), "4"));
        QVERIFY(ScratchDir::writeFile(root.filePath(QStringLiteral("sys/class/tty/ttyS1/type")), "0"));
        QVERIFY(QFile::link(QStringLiteral("../../ttyUSB1"),
            root.filePath(QStringLiteral("dev/serial/by-id/usb-FTDI_FT232R_A9-if00-port0"))));
        QProcess run;
        run.start(QStringLiteral("unshare"),
            { QStringLiteral("-m"), QStringLiteral("--propagation"), QStringLiteral("private"),
                QStringLiteral("sh"), QStringLiteral("-c"),
                QStringLiteral("mount --bind \"$1/dev\" /dev && mount --bind \"$1/sys\" /sys "
                               "&& exec \"$2\" ports"),
                QStringLiteral("sh"), tree.path(), SimulatedBench::cliPath() });
        QVERIFY(run.waitForFinished(kWaitMs));
        QCOMPARE(run.readAllStandardError(), QByteArray());
        QCOMPARE(run.exitCode(), 0);
        QCOMPARE(run.readAllStandardOutput(),
            QByteArray("/dev/serial/by-id/usb-FTDI_FT232R_A9-if00-port0\t/dev/ttyUSB1\n"
                       "/dev/ttyUSB0\n/dev/ttyUSB1\n/dev/ttyACM0\n/dev/ttyS0\n"));
    }

    // The device keeps the last program's time base: a second run at the
    // slowest first waits out a frame of it, and must not give up.
    void slowTimeBaseTwice()
    {
        for (int run = 0; run < 2; ++run) {
            const auto r = SimulatedBench::cli({ QStringLiteral("capture"),
                QStringLiteral("--timebase"), QStringLiteral("50ms/dz") });
            QVERIFY2(r.exitCode == 0, r.err.constData());
            QCOMPARE(csvRows(r.out).size(), std::size_t(1024));
        }
    }

    // At 19200 bit/s a frame is more than a second on the line.
    void slowLineSpeed()
    {
        bench.reset();
        bench = std::make_unique<SimulatedBench>(19200, 0);
        QVERIFY(bench->isReady());
        sim = &bench->sim();
        const auto r = SimulatedBench::cli({ QStringLiteral("capture"), QStringLiteral("--timebase"),
            QStringLiteral("10ms/dz"), QStringLiteral("--frames"), QStringLiteral("2") });
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QCOMPARE(csvRows(r.out).size(), std::size_t(2048));
    }

    // A level the signal never reaches: exit 4 after --timeout, no output.
    void triggerThatNeverComesEndsWithFour()
    {
        const auto r = SimulatedBench::cli({ QStringLiteral("measure"), QStringLiteral("--trigger"),
            QStringLiteral("Norm"), QStringLiteral("--level"), QStringLiteral("19V"),
            QStringLiteral("--timeout"), QStringLiteral("1.5") });
        QCOMPARE(r.exitCode, 4);
        QVERIFY(r.out.isEmpty());
        QVERIFY2(r.err.endsWith(": no trigger within 1.5 s\n"), r.err.constData());
    }

    // A capture on a rising edge at a level in volts: each frame whole, its
    // t_s zero at the trigger sample, where the cosine crosses the level.
    void captureStartsOnAnEdgeInVolts()
    {
        const auto r = SimulatedBench::cli({ QStringLiteral("capture"), QStringLiteral("--trigger"),
            QStringLiteral("Norm"), QStringLiteral("--edge"), QStringLiteral("Ris"),
            QStringLiteral("--level"), QStringLiteral("500mV"), QStringLiteral("--frames"),
            QStringLiteral("3") });
        QVERIFY2(r.exitCode == 0, r.err.constData());
        QVERIFY(r.out.contains("# trigger: Norm\n# trigger_edge: Ris\n"));
        QVERIFY(r.out.contains("# trigger_level_V: 0.52\n")); // 13 steps of 40 mV
        const Rows rows = csvRows(r.out);
        QCOMPARE(rows.size(), std::size_t(3 * 1024));
        for (std::size_t f = 0; f < 3; ++f) {
            const auto zero = std::find_if(rows.begin() + long(f * 1024),
                rows.begin() + long((f + 1) * 1024), [](const auto &row) { return row[1] == 0.0; });
            QVERIFY(zero != rows.begin() + long((f + 1) * 1024));
            double before = 0, after = 0;
            for (int k = 0; k < 3; ++k) {
                before += (zero - k)->at(2);
                after += (zero + 1 + k)->at(2);
            }
            QVERIFY2(before / 3 <= 0.52 && after / 3 >= 0.52,
                qPrintable(QStringLiteral("%1 .. %2").arg(before / 3).arg(after / 3)));
        }
    }

    // A script that reads slowly (here: not at all for a while) still gets
    // every frame the device sent, in order, none twice and none skipped.
    void framesComeInOrderNoneSkipped()
    {
        QProcess process;
        process.start(SimulatedBench::cliPath(),
            { QStringLiteral("capture"), QStringLiteral("--frames"), QStringLiteral("24"),
                QStringLiteral("--format"), QStringLiteral("json") });
        QVERIFY(process.waitForStarted(kWaitMs));
        QVERIFY(process.waitForReadyRead(kWaitMs));
        // The pipe fills (about six frames) and the program waits to write;
        // frames go on coming, some fifteen of them at 115200 bit/s.
        QThread::msleep(4000);
        QVERIFY(process.waitForFinished(kWaitMs));
        QCOMPARE(process.exitCode(), 0);
        const QByteArray err = process.readAllStandardError();
        QVERIFY2(!err.contains("lost"), err.constData());
        const auto objects = jsonLines(process.readAllStandardOutput());
        QCOMPARE(objects.size(), std::size_t(24));
        const auto sent = sim->recentFrames();
        std::vector<std::vector<int>> frames;
        for (const auto &f : sent)
            frames.emplace_back(f.begin(), f.end());
        const auto first = std::find(frames.begin(), frames.end(),
            ints(objects[0].value(QStringLiteral("ch1")).toObject().value(QStringLiteral("raw")).toArray()));
        QVERIFY(first != frames.end());
        for (std::size_t i = 0; i < objects.size(); ++i) {
            QVERIFY(first + long(i) < frames.end());
            QVERIFY(!objects[i].contains(QStringLiteral("frames_lost_before")));
            QCOMPARE(ints(objects[i].value(QStringLiteral("ch1")).toObject().value(QStringLiteral("raw")).toArray()),
                *(first + long(i)));
        }
    }

    // -o - is standard output.
    void dashIsStandardOutput()
    {
        const auto r = SimulatedBench::cli(
            { QStringLiteral("capture"), QStringLiteral("-o"), QStringLiteral("-") });
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(csvRows(r.out).size(), std::size_t(1024));
        QVERIFY(!QFile::exists(QStringLiteral("-")));
    }

    void portThatCannotBeOpenedExitsWithThree()
    {
        const auto run = SimulatedBench::cli({ QStringLiteral("capture"), QStringLiteral("--port"),
            QStringLiteral("/dev/no-such-zor") });
        QCOMPARE(run.exitCode, 3);
        QVERIFY(run.out.isEmpty());
        QCOMPARE(run.err,
            QByteArray(
                "labbench-cli: Unable to open /dev/no-such-zor: no such port\n"));
        // Without --port the message says where the name came from.
        QVERIFY(QFile::remove(QStringLiteral("settings.txt")));
        const auto fallback = SimulatedBench::cli({ QStringLiteral("capture") });
        QVERIFY(fallback.exitCode == 3 || fallback.exitCode == 4); // a machine may have a ttyS0
        QVERIFY2(fallback.err.contains(
                     "/dev/ttyS0 (the default: there is no settings.txt in this folder)"),
            fallback.err.constData());
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
