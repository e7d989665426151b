#include "simulatedbench.h"
#include "zorsimulator.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <csignal>
#include <memory>

// labbench-cli log against the simulated ZOR. Channel 1 is the generator's
// table looped back: `generate` with no amplitude leaves a DC level there
// for the log that follows.
class TestLogE2e : public QObject {
    Q_OBJECT

private:
    static constexpr int kWaitMs = SimulatedBench::kWaitMs;
    static constexpr double kCountsPerMillivolt = 1.6376;
    std::unique_ptr<SimulatedBench> bench;

    static QStringList lines(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    static QStringList dataLines(const QString &path)
    {
        QStringList all = lines(path);
        all.removeIf([](const QString &l) {
            return l.startsWith(QLatin1Char('#')) || l.startsWith(QLatin1String("time,"));
        });
        return all;
    }

    // Every line of a CSV log has the column line's fields and ends whole.
    static bool whole(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const QByteArray all = file.readAll();
        if (!all.endsWith('\n'))
            return false;
        int columns = -1;
        for (const QByteArray &line : all.split('\n')) {
            if (line.startsWith("time,"))
                columns = int(line.count(','));
            else if (!line.isEmpty() && !line.startsWith('#') && line.count(',') != columns)
                return false;
        }
        return columns > 0;
    }

    void restart(ZorSimulator::Options options = {})
    {
        bench.reset();
        bench = std::make_unique<SimulatedBench>(2500000, 9, options);
        QVERIFY(bench->isReady());
    }

private slots:
    void init() { restart(); }
    void cleanup() { bench.reset(); }

    // DC and AC RMS within 0.5 % of the value plus one unit of the range in
    // use, on an automatic range and on fixed ones. The figures are printed.
    void accuracyAcrossRanges_data()
    {
        QTest::addColumn<int>("amplitudeMv");
        QTest::addColumn<int>("offsetMv");
        QTest::addColumn<QString>("range");
        QTest::addColumn<int>("unitsPerVolt"); // the range's unit, 10 mV / 2^gain
        QTest::newRow("DC 1200 mV, auto") << 0 << 1200 << "auto" << 0;
        QTest::newRow("DC 500 mV, auto") << 0 << 500 << "auto" << 0;
        QTest::newRow("DC -200 mV, auto") << 0 << -200 << "auto" << 0;
        QTest::newRow("DC 40 mV, auto") << 0 << 40 << "auto" << 0;
        QTest::newRow("DC 1200 mV, 2.5V/dz") << 0 << 1200 << "2.5V/dz" << 100;
        QTest::newRow("DC 300 mV, 25mV/dz") << 0 << 300 << "25mV/dz" << 6400;
        QTest::newRow("sine 1000 mV, auto") << 1000 << 0 << "auto" << 0;
        QTest::newRow("sine 100 mV on 50 mV, auto") << 100 << 50 << "auto" << 0;
        QTest::newRow("sine 1000 mV, 1V/dz") << 1000 << 0 << "1V/dz" << 200;
    }

    void accuracyAcrossRanges()
    {
        QFETCH(int, amplitudeMv);
        QFETCH(int, offsetMv);
        QFETCH(QString, range);
        const SimulatedBench::CliRun play = SimulatedBench::cli({ QStringLiteral("generate"),
            QStringLiteral("--wave"), QStringLiteral("sine"), QStringLiteral("--amplitude"),
            QString::number(amplitudeMv), QStringLiteral("--offset"), QString::number(offsetMv),
            QStringLiteral("--seconds"), QStringLiteral("0.5") });
        QVERIFY2(play.exitCode == 0, play.err.constData());
        const SimulatedBench::CliRun run = SimulatedBench::cli(
            { QStringLiteral("log"), QStringLiteral("--every"), QStringLiteral("frame"),
                QStringLiteral("--duration"), QStringLiteral("4s"), QStringLiteral("--range"),
                range, QStringLiteral("--format"), QStringLiteral("json") });
        QVERIFY2(run.exitCode == 0, run.err.constData());
        const QList<QByteArray> out = run.out.trimmed().split('\n');
        // A DC level refreshes about three times a second at this speed.
        QVERIFY2(out.size() >= 5, run.out.constData());
        // The last frame: the range and time base have long settled.
        const QJsonObject last = QJsonDocument::fromJson(out.last()).object();
        const QJsonObject ch1 = last[QStringLiteral("ch1")].toObject();
        const double dc = ch1[QStringLiteral("dc_V")][QStringLiteral("mean")].toDouble();
        const double ac = ch1[QStringLiteral("ac_rms_V")][QStringLiteral("mean")].toDouble();
        // What the table holds, in volts: the converter counts the generator plays.
        const double offsetVolts
            = std::trunc(offsetMv * kCountsPerMillivolt) / kCountsPerMillivolt / 1000;
        const double peakVolts
            = std::trunc(amplitudeMv * kCountsPerMillivolt) / kCountsPerMillivolt / 1000;
        const double rms = std::sqrt(peakVolts * peakVolts / 2 + 1e-6 / 3); // and the noise: uniform, +-1 mV
        // The range in use: the fixed one, or the one the automatic range settles on.
        const double peak = std::fabs(offsetVolts) + peakVolts;
        QFETCH(int, unitsPerVolt);
        int gain = int(std::lround(std::log2(std::max(unitsPerVolt, 100) / 100.0)));
        if (range == QLatin1String("auto")) {
            while (gain < 6 && peak / (0.010 / (1 << (gain + 1))) <= 1500)
                ++gain;
        }
        const double unit = 0.010 / (1 << gain);
        qInfo("%s: DC %.5f V (table %.5f V), AC RMS %.5f V (table %.5f V), range unit %.4f mV",
            QTest::currentDataTag(), dc, offsetVolts, ac, rms, unit * 1000);
        QVERIFY(std::fabs(dc - offsetVolts) <= 0.005 * std::fabs(offsetVolts) + unit);
        QVERIFY(std::fabs(ac - rms) <= 0.005 * rms + unit);
    }

    // Every frame a line, flushed as it goes: the file is read while the
    // log runs, and it ends whole.
    void everyFrameToAFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("log.csv"));
        QProcess process;
        process.start(SimulatedBench::cliPath(),
            { QStringLiteral("log"), QStringLiteral("--every"), QStringLiteral("frame"),
                QStringLiteral("--duration"), QStringLiteral("4s"), QStringLiteral("-o"), path });
        QVERIFY(QTest::qWaitFor([&] { return dataLines(path).size() >= 5; }, kWaitMs));
        QVERIFY(process.waitForFinished(kWaitMs));
        QCOMPARE(process.exitCode(), 0);
        QVERIFY(whole(path));
        QVERIFY(dataLines(path).size() > 20);
        QVERIFY(lines(path).contains(QStringLiteral("# interval: every frame")));
    }

    // Ctrl+C ends the log with exit 130 and the file complete.
    void interruptedLogIsWhole()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("log.csv"));
        QProcess process;
        process.start(SimulatedBench::cliPath(),
            { QStringLiteral("log"), QStringLiteral("--every"), QStringLiteral("1s"),
                QStringLiteral("-o"), path });
        QVERIFY(QTest::qWaitFor([&] { return dataLines(path).size() >= 2; }, kWaitMs));
        ::kill(static_cast<pid_t>(process.processId()), SIGINT);
        QVERIFY(process.waitForFinished(kWaitMs));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 130);
        QVERIFY(whole(path));
    }

    // Pulled out and back: one gap line, and the log goes on in the same file.
    void unplugAndComeBack()
    {
        ZorSimulator::Options options;
        options.unplugAfterMs = 2000;
        options.comeBackMs = 1500;
        restart(options);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("log.csv"));
        const SimulatedBench::CliRun run = SimulatedBench::cli(
            { QStringLiteral("log"), QStringLiteral("--every"), QStringLiteral("1s"),
                QStringLiteral("--duration"), QStringLiteral("8s"), QStringLiteral("-o"), path });
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QVERIFY(whole(path));
        const QStringList data = dataLines(path);
        const QStringList gaps = data.filter(QStringLiteral(",gap: line lost"));
        QCOMPARE(gaps.size(), 1);
        const int at = data.indexOf(gaps.first());
        QVERIFY(at >= 1);
        QVERIFY2(data.size() - at - 1 >= 2, qPrintable(data.join(QLatin1Char('\n'))));
    }

    // A port that never comes back within --timeout ends the run: status 4,
    // what was written whole.
    void portThatNeverComesBack()
    {
        ZorSimulator::Options options;
        options.unplugAfterMs = 1500;
        restart(options);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("log.csv"));
        const SimulatedBench::CliRun run = SimulatedBench::cli(
            { QStringLiteral("log"), QStringLiteral("--every"), QStringLiteral("frame"),
                QStringLiteral("--timeout"), QStringLiteral("2"), QStringLiteral("-o"), path });
        QCOMPARE(run.exitCode, 4);
        QVERIFY(run.err.contains("not back within 2"));
        QVERIFY(whole(path));
        QCOMPARE(dataLines(path).filter(QStringLiteral(",gap: line lost")).size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestLogE2e)
#include "tst_log_e2e.moc"
