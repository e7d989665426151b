#include "circuit.h"
#include "framebuffer.h"
#include "gentable.h"
#include "mainwindow.h"
#include "shared.h"
#include "simulatedbench.h"
#include "sweepjob.h"
#include "sweeprun.h"
#include "windowcontrols.h"
#include "zorcom.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QTest>

#include <cmath>
#include <csignal>
#include <complex>

// Frequency-response sweeps against the simulated device with a circuit
// wired in (generator to the circuit and CH2, the circuit to CH1), whose
// exact response is known: the run over the link, the window's tab and
// labbench-cli.
class TestSweepE2e : public QObject {
    Q_OBJECT

private:
    static constexpr int kSpeed = 2500000;
    static constexpr int kSpeedRow = 9; // 2,500,000 in the settings tab's list
    static constexpr double kPi = 3.14159265358979323846;
    // A whole sweep in the window, on a machine busy with other tests.
    static constexpr int kSweepWaitMs = 60000;

    static ZorSimulator::Options wired(const char *circuit)
    {
        ZorSimulator::Options o;
        if (circuit)
            o.circuit = Circuit::parse(circuit);
        return o;
    }

    // A link of the program's own, opened on the bench's device.
    struct Link {
        FrameBuffer frames;
        GenTable table;
        ZORCom com { &frames, &table };
        bool open(SimulatedBench &bench)
        {
            return com.Open(QString::fromStdString(bench.sim().slavePath()), kSpeed) && com.Start();
        }
    };

    static void compareWithCircuit(const std::vector<sweep::Point> &points, const Circuit &c)
    {
        for (const sweep::Point &p : points) {
            QVERIFY2(p.measured(), qPrintable(sweep::reasonText(p.reason)));
            const std::complex<double> h = c.response(p.hz);
            QVERIFY2(std::abs(p.gainDb() - 20 * std::log10(std::abs(h))) < 0.2,
                qPrintable(QStringLiteral("%1 Hz: %2 dB").arg(p.hz).arg(p.gainDb())));
            double dp = p.phaseDeg() - std::arg(h) * 180 / kPi;
            dp -= 360 * std::round(dp / 360);
            QVERIFY2(std::abs(dp) < 2,
                qPrintable(QStringLiteral("%1 Hz: %2 deg").arg(p.hz).arg(p.phaseDeg())));
        }
    }

private slots:
    void sweepMeetsTheCircuit_data();
    void sweepMeetsTheCircuit();
    void stepsWithoutAReferenceAreKept();
    void stopKeepsStepsAndPutsTheGeneratorBack();
    void unplugEndsTheSweep();
    void windowSweepsAndExports();
    void leavingTheTabMidSweep();
    void cliSweep();
    void cliSweepInterrupted();
};

void TestSweepE2e::sweepMeetsTheCircuit_data()
{
    QTest::addColumn<QString>("circuit");
    QTest::addColumn<double>("from");
    QTest::addColumn<double>("to");
    // Each from a decade and more inside the passband, so that it is flat there.
    QTest::newRow("low-pass") << "lowpass:1k" << 20.0 << 20000.0;
    QTest::newRow("high-pass") << "highpass:2.2k" << 200.0 << 50000.0;
    QTest::newRow("band-pass") << "bandpass:5k:2" << 500.0 << 50000.0;
}

void TestSweepE2e::sweepMeetsTheCircuit()
{
    QFETCH(QString, circuit);
    QFETCH(double, from);
    QFETCH(double, to);
    SimulatedBench bench(kSpeed, kSpeedRow, wired(qPrintable(circuit)));
    QVERIFY(bench.isReady());
    Link link;
    QVERIFY(link.open(bench));
    std::vector<sweep::Point> points;
    SweepRun run(link.com, link.frames, link.table, kSpeed);
    const SweepRun::End end = run.run({ from, to, 5, 0, 1000 },
        [&](const sweep::Point &p, int index, int) {
            QCOMPARE(index, int(points.size()));
            points.push_back(p);
        },
        {});
    QCOMPARE(int(end), int(SweepRun::End::Done));
    QCOMPARE(points.size(), sweep::steps({ from, to, 5, 0, 1000 }).size());
    const Circuit c = *Circuit::parse(circuit.toStdString());
    compareWithCircuit(points, c);
    // The corners from the measured steps.
    const std::vector<double> corners = sweep::cornersHz(points);
    if (c.kind() != Circuit::Kind::BandPass) {
        QCOMPARE(corners.size(), std::size_t(1));
        QVERIFY2(std::abs(corners[0] / c.hz() - 1) < 0.01, qPrintable(QString::number(corners[0])));
    } else {
        QCOMPARE(corners.size(), std::size_t(2));
    }
    // The device was left acquiring both channels.
    QCOMPARE(bench.sim().state().mode, Mode::TwoChannels);
}

void TestSweepE2e::stepsWithoutAReferenceAreKept()
{
    // Nothing wired: channel 2 is the 1 kHz calibrator, not the generator.
    SimulatedBench bench(kSpeed, kSpeedRow);
    QVERIFY(bench.isReady());
    Link link;
    QVERIFY(link.open(bench));
    std::vector<sweep::Point> points;
    SweepRun run(link.com, link.frames, link.table, kSpeed);
    const SweepRun::End end = run.run({ 5000, 50000, 3, 0, 1000 },
        [&](const sweep::Point &p, int, int) { points.push_back(p); }, {});
    QCOMPARE(int(end), int(SweepRun::End::Done));
    QCOMPARE(points.size(), sweep::steps({ 5000, 50000, 3, 0, 1000 }).size());
    // The first step sees the calibrator's periods; the later ones too few
    // of them to make a sine of (a constant, at the top steps).
    QCOMPARE(int(points.front().reason), int(sweep::Reason::ReferenceNotPlayed));
    for (const sweep::Point &p : points)
        QVERIFY(p.reason == sweep::Reason::ReferenceNotPlayed
            || p.reason == sweep::Reason::ReferenceTooSmall);
    QVERIFY(sweep::cornersHz(points).empty());
}

void TestSweepE2e::stopKeepsStepsAndPutsTheGeneratorBack()
{
    SimulatedBench bench(kSpeed, kSpeedRow, wired("lowpass:1k"));
    QVERIFY(bench.isReady());
    Link link;
    QVERIFY(link.open(bench));
    // What the generator tab played: a table of its own at its own clock.
    SweepJob::Generator before;
    for (std::size_t i = 0; i < before.table.size(); ++i)
        before.table[i] = int(i) - 256;
    before.clock = { 512, 100 };
    link.table.edit([&](int *entries) { std::copy(before.table.begin(), before.table.end(), entries); });

    SweepJob job;
    job.start(link.com, link.frames, link.table, kSpeed, { 100, 100000, 10, 0, 1000 }, before);
    QTRY_VERIFY_WITH_TIMEOUT(job.progress().points.size() >= 3, kSweepWaitMs);
    job.stop();
    QTRY_VERIFY_WITH_TIMEOUT(!job.busy(), SimulatedBench::kWaitMs);
    const SweepJob::Progress progress = job.progress();
    QCOMPARE(int(progress.end.value_or(SweepRun::End::Done)), int(SweepRun::End::Stopped));
    QVERIFY(progress.points.size() >= 3);
    QVERIFY(int(progress.points.size()) < progress.count);
    compareWithCircuit(progress.points, *Circuit::parse("lowpass:1k"));
    // The table is back in memory and on the device, at its clock.
    QVERIFY(link.table.snapshot() == before.table);
    const DeviceState device = bench.sim().state();
    QCOMPARE(device.mode, Mode::Generator);
    QCOMPARE(device.length, 512);
    QCOMPARE(device.period, 100);
    QVERIFY(std::equal(before.table.begin(), before.table.end(), device.table.begin()));
}

void TestSweepE2e::unplugEndsTheSweep()
{
    ZorSimulator::Options o = wired("lowpass:1k");
    o.unplugAfterMs = 1500;
    o.comeBackMs = 0;
    SimulatedBench bench(kSpeed, kSpeedRow, o);
    QVERIFY(bench.isReady());
    Link link;
    QVERIFY(link.open(bench));
    SweepJob::Generator before;
    before.table = link.table.snapshot();
    SweepJob job;
    // Slow enough to be under way when the cable goes: ten steps a decade from 1 Hz.
    job.start(link.com, link.frames, link.table, kSpeed, { 1, 1000, 10, 0, 1000 }, before);
    QTRY_VERIFY_WITH_TIMEOUT(!job.busy(), SimulatedBench::kWaitMs);
    const SweepJob::Progress progress = job.progress();
    QCOMPARE(int(progress.end.value_or(SweepRun::End::Done)), int(SweepRun::End::Lost));
    QVERIFY(int(progress.points.size()) < progress.count);
    for (const sweep::Point &p : progress.points)
        QVERIFY(p.measured());
}

void TestSweepE2e::windowSweepsAndExports()
{
    SimulatedBench bench(kSpeed, kSpeedRow, wired("lowpass:3k"));
    QVERIFY(bench.isReady());
    MainWindow w;
    w.show();
    QVERIFY(SimulatedBench::open(w));
    controls::selectTab(w, 4);
    w.findChild<QLineEdit *>(QStringLiteral("sweepFromEdit"))->setText(QStringLiteral("200"));
    w.findChild<QLineEdit *>(QStringLiteral("sweepToEdit"))->setText(QStringLiteral("20k"));
    const int steps = int(sweep::steps({ 200, 20000, 10, 0, 1000 }).size());
    QVERIFY(controls::press(w, "sweepStartButton"));
    QTRY_COMPARE_WITH_TIMEOUT(controls::labelText(w, "sweepProgressLabel"),
        QStringLiteral("step %1 of %1").arg(steps), kSweepWaitMs);
    const QString corner = controls::labelText(w, "sweepCornerLabel");
    QVERIFY2(corner.startsWith(QStringLiteral("f -3 dB: ")) && corner.endsWith(QStringLiteral(" kHz")),
        qPrintable(corner));
    const double khz = corner.mid(9, corner.size() - 13).toDouble();
    QVERIFY2(std::abs(khz / 3.0 - 1) < 0.01, qPrintable(corner));

    // The step under the mouse: the middle of the plot is 3.16 kHz on its
    // 100 Hz .. 100 kHz axis, the step nearest it shown with its gain.
    auto *plot = w.findChild<QWidget *>(QStringLiteral("sweepPlot"));
    QVERIFY(plot);
    QTest::mouseMove(plot, QPoint(plot->width() / 2, plot->height() / 2));
    QTRY_VERIFY2(controls::labelText(w, "sweepHoverLabel").startsWith(QStringLiteral("f: 3.1")),
        qPrintable(controls::labelText(w, "sweepHoverLabel")));
    QVERIFY(controls::labelText(w, "sweepHoverLabel").contains(QStringLiteral("gain: -")));

    const QString csvPath = controls::exportWithEnter(w);
    QVERIFY(!csvPath.isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(csvPath), SimulatedBench::kWaitMs);
    QFile csv(csvPath);
    QVERIFY(csv.open(QIODevice::ReadOnly));
    int rows = 0;
    for (const QByteArray &line : csv.readAll().split('\n'))
        if (!line.isEmpty() && !line.startsWith('#'))
            ++rows;
    QCOMPARE(rows, steps);
    QVERIFY(QFile::exists(csvPath.left(csvPath.size() - 3) + QStringLiteral("png")));
}

void TestSweepE2e::leavingTheTabMidSweep()
{
    SimulatedBench bench(kSpeed, kSpeedRow, wired("lowpass:1k"));
    QVERIFY(bench.isReady());
    MainWindow w;
    w.show();
    QVERIFY(SimulatedBench::open(w));
    // The generator tab's table goes out first: the sweep must put it back.
    controls::selectTab(w, 1);
    QTRY_VERIFY_WITH_TIMEOUT(bench.sim().state().tablesReceived >= 1, SimulatedBench::kWaitMs);
    const DeviceState generator = bench.sim().state();
    controls::selectTab(w, 4);
    w.findChild<QLineEdit *>(QStringLiteral("sweepFromEdit"))->setText(QStringLiteral("1"));
    QVERIFY(controls::press(w, "sweepStartButton"));
    QTRY_VERIFY2_WITH_TIMEOUT(controls::labelText(w, "sweepProgressLabel").startsWith(QStringLiteral("step 2 ")),
        qPrintable(controls::labelText(w, "sweepProgressLabel")), kSweepWaitMs);
    // To the oscilloscope: the sweep ends, the generator plays its table again,
    // and the device then samples as the oscilloscope's tab says.
    controls::selectTab(w, 0);
    QTRY_COMPARE_WITH_TIMEOUT(bench.sim().state().mode, Mode::OneChannel, SimulatedBench::kWaitMs);
    const DeviceState after = bench.sim().state();
    QCOMPARE(after.period, generator.period);
    QCOMPARE(after.length, generator.length);
    QVERIFY(after.table == generator.table);
    QVERIFY(buff_gen.snapshot() == Table(generator.table));
    // The steps measured are kept.
    controls::selectTab(w, 4);
    QVERIFY(controls::labelText(w, "sweepProgressLabel").contains(QStringLiteral("stopped")));
}

void TestSweepE2e::cliSweep()
{
    SimulatedBench bench(kSpeed, kSpeedRow, wired("highpass:470"));
    QVERIFY(bench.isReady());
    const SimulatedBench::CliRun csv = SimulatedBench::cli({ QStringLiteral("sweep"),
        QStringLiteral("--from"), QStringLiteral("100"), QStringLiteral("--to"), QStringLiteral("20k"),
        QStringLiteral("--per-decade"), QStringLiteral("5"), QStringLiteral("--amplitude"),
        QStringLiteral("500mV") });
    QCOMPARE(csv.exitCode, 0);
    QVERIFY(csv.out.contains("# f_3dB_Hz: 4"));
    int rows = 0;
    for (const QByteArray &line : csv.out.split('\n')) {
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        ++rows;
        const QList<QByteArray> cells = line.split(',');
        QCOMPARE(cells.size(), 9);
        QVERIFY(!cells[1].isEmpty()); // every step measured
        QVERIFY(std::abs(cells[4].toDouble() - 0.5) < 0.01); // CH2 is the generator's 500 mV
    }
    QCOMPARE(rows, int(sweep::steps({ 100, 20000, 5, 0, 500 }).size()));
    const double corner = csv.out.mid(csv.out.indexOf("# f_3dB_Hz: ") + 12, 10).split('\n')[0].toDouble();
    QVERIFY2(std::abs(corner / 470 - 1) < 0.01, qPrintable(QString::number(corner)));

    const SimulatedBench::CliRun json = SimulatedBench::cli({ QStringLiteral("sweep"),
        QStringLiteral("--from"), QStringLiteral("1k"), QStringLiteral("--to"), QStringLiteral("2k"),
        QStringLiteral("--points"), QStringLiteral("3"), QStringLiteral("--format"), QStringLiteral("json") });
    QCOMPARE(json.exitCode, 0);
    QCOMPARE(json.out.trimmed().split('\n').size(), 3);
    QVERIFY(json.out.startsWith("{\"f_Hz\":"));

    const SimulatedBench::CliRun tooHigh = SimulatedBench::cli(
        { QStringLiteral("sweep"), QStringLiteral("--to"), QStringLiteral("1M") });
    QCOMPARE(tooHigh.exitCode, 2);
    QVERIFY(tooHigh.out.isEmpty());
}

// Ctrl+C mid-sweep: exit 130 at once, and the table of the steps measured
// so far, whole.
void TestSweepE2e::cliSweepInterrupted()
{
    SimulatedBench bench(kSpeed, kSpeedRow, wired("lowpass:1k"));
    QVERIFY(bench.isReady());
    QProcess process;
    process.start(SimulatedBench::cliPath(),
        { QStringLiteral("sweep"), QStringLiteral("--from"), QStringLiteral("1"), QStringLiteral("--to"),
            QStringLiteral("100") });
    QVERIFY(process.waitForStarted(SimulatedBench::kWaitMs));
    // The third table: two steps are done.
    QTRY_VERIFY_WITH_TIMEOUT(bench.sim().state().tablesReceived >= 3, kSweepWaitMs);
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    QVERIFY(process.waitForFinished(SimulatedBench::kWaitMs));
    QCOMPARE(process.exitCode(), 130);
    int rows = 0;
    for (const QByteArray &line : process.readAllStandardOutput().split('\n')) {
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        QCOMPARE(line.split(',').size(), 9);
        ++rows;
    }
    QVERIFY(rows >= 2);
    QVERIFY(rows < int(sweep::steps({ 1, 100, 10, 0, 1000 }).size()));
}

QTEST_MAIN(TestSweepE2e)
#include "tst_sweep_e2e.moc"
