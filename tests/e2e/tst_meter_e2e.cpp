#include "mainwindow.h"
#include "multimetr.h"
#include "simulatedbench.h"
#include "windowcontrols.h"
#include "zorsimulator.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <memory>

// The "&Multimetr" tab against the simulated ZOR: channel 1 is the
// generator's power-up table looped back, a 1008 Hz sine of 1.25 V peak.
class TestMeterE2e : public QObject {
    Q_OBJECT

private:
    static constexpr int kWaitMs = SimulatedBench::kWaitMs;
    std::unique_ptr<SimulatedBench> bench;

    // What the digits show as a number, "883.9 mV" -> 0.8839; NaN when they
    // show none.
    static double volts(QWidget &w, int channel, meter::Quantity quantity)
    {
        const QString text = w.findChild<Multimetr *>()->readingText(channel, quantity);
        const QRegularExpressionMatch m
            = QRegularExpression(QStringLiteral("^(-?[0-9.]+) (mV|V|Hz|kHz)$")).match(text);
        if (!m.hasMatch())
            return std::nan("");
        const double x = m.captured(1).toDouble();
        return m.captured(2) == QLatin1String("mV") ? x / 1000
            : m.captured(2) == QLatin1String("kHz") ? x * 1000
                                                    : x;
    }

    static QStringList lines(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    static QString shown(QWidget &w)
    {
        const Multimetr *meter = w.findChild<Multimetr *>();
        return meter->readingText(0, meter::Quantity::AcRms) + QLatin1Char(' ')
            + meter->readingText(0, meter::Quantity::Frequency);
    }

private slots:
    void init()
    {
        bench = std::make_unique<SimulatedBench>(2500000, 9);
        QVERIFY(bench->isReady());
    }

    void cleanup() { bench.reset(); }

    void controlsAreGreyedUntilAPortIsOpen()
    {
        MainWindow w;
        w.show();
        controls::selectTab(w, 5);
        QVERIFY(!controls::press(w, "meterRecordButton"));
        QVERIFY(SimulatedBench::open(w));
        QVERIFY(QTest::qWaitFor(
            [&] {
                return w.findChild<QPushButton *>(QStringLiteral("meterRecordButton"))->isEnabled();
            },
            kWaitMs));
    }

    // Within 0.5 % of the value plus one unit of the range in use (1.25 mV
    // once the range has settled on 1.25 V peak).
    void readsTheSimulatorsSine()
    {
        MainWindow w;
        w.show();
        QVERIFY(SimulatedBench::open(w));
        controls::selectTab(w, 5);
        const double rms = 1250.0 / std::sqrt(2.0) / 1000 * (2047 / (1250 * 1.6376));
        // The frequency counts time as the oscilloscope's readout does (1024
        // samples taken for 1000), where the simulator samples 1000: its
        // 1008.065 Hz reads 1032.3 Hz there and here alike.
        const double hz = 1008.065 * 1.024;
        // The range and time base settle after the first frames.
        const auto settled = [&] {
            return std::fabs(volts(w, 0, meter::Quantity::AcRms) - rms) <= 0.005 * rms + 0.00125
                && std::fabs(volts(w, 0, meter::Quantity::Frequency) - hz) <= 0.005 * hz;
        };
        QVERIFY2(QTest::qWaitFor(settled, kWaitMs), qPrintable(shown(w)));
        // and stay.
        for (int i = 0; i < 10; ++i) {
            QVERIFY(bench->framesPass(1));
            QTest::qWait(60);
            QVERIFY2(settled(), qPrintable(shown(w)));
        }
        QVERIFY(std::fabs(volts(w, 0, meter::Quantity::Dc)) <= 0.00125 + 0.002);
        const Multimetr *meter = w.findChild<Multimetr *>();
        QVERIFY(meter->statisticsText(0, meter::Quantity::AcRms).startsWith(QLatin1String("min ")));
        // Channel 2 is off: nothing for it.
        QCOMPARE(meter->readingText(1, meter::Quantity::Dc), QStringLiteral("--"));
    }

    // Record…, then Close port: the file is whole, one line per frame, and
    // the status says where it is and how many lines it holds.
    void recordingEveryFrameEndsWithClosePort()
    {
        MainWindow w;
        w.show();
        QVERIFY(SimulatedBench::open(w));
        controls::selectTab(w, 5);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("meter.csv"));
        QVERIFY(controls::answerFileDialog(w, "meterRecordButton", "recordDialog", path));
        QVERIFY(bench->framesPass(20));
        QVERIFY(SimulatedBench::close(w) >= 0);
        const QStringList all = lines(path);
        QVERIFY(all.size() > 10);
        QVERIFY(all.first().startsWith(QLatin1String("# labbench multimeter record")));
        const int columns = all.filter(QRegularExpression(QStringLiteral("^time,")))
                                .value(0)
                                .count(QLatin1Char(','));
        QVERIFY(columns > 0);
        for (const QString &line : all) {
            if (!line.startsWith(QLatin1Char('#')))
                QCOMPARE(line.count(QLatin1Char(',')), columns);
        }
        QVERIFY2(SimulatedBench::statusShows(
                     w, QStringLiteral("recorded %1 lines in %2").arg(all.size()).arg(path)),
            qPrintable(controls::statusLabel(w)->text()));
    }

    // The line pulled mid-recording: a gap line, and once the port is back
    // the lines go on in the same file.
    void unplugWritesAGapAndRecordingGoesOn()
    {
        MainWindow w;
        w.show();
        QVERIFY(SimulatedBench::open(w));
        controls::selectTab(w, 5);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("meter.csv"));
        QVERIFY(controls::answerFileDialog(w, "meterRecordButton", "recordDialog", path));
        QVERIFY(bench->framesPass(5));
        bench->sim().unplug();
        QVERIFY(QTest::qWaitFor(
            [&] { return lines(path).filter(QStringLiteral(",gap: ")).size() == 1; }, kWaitMs));
        QVERIFY(bench->sim().comeBack());
        const int before = lines(path).size();
        QVERIFY(QTest::qWaitFor([&] { return lines(path).size() > before + 5; }, kWaitMs));
        QVERIFY(SimulatedBench::close(w) >= 0);
        QCOMPARE(lines(path).filter(QStringLiteral(",gap: line lost")).size(), 1);
    }
};

QTEST_MAIN(TestMeterE2e)
#include "tst_meter_e2e.moc"
