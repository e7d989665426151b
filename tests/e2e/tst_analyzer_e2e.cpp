#include "mainwindow.h"
#include "simulatedbench.h"
#include "windowcontrols.h"
#include "shared.h"
#include "frameaverage.h"
#include "signalsource.h"
#include "spectrum.h"
#include "zorsimulator.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QtTest>

#include <algorithm>
#include <array>
#include <memory>

// The analyzer and logic analyzer tabs against the simulated ZOR: what the
// device receives, and the spectrum of what it sends back.
class TestAnalyzerE2e : public QObject {
    Q_OBJECT

private:
    static constexpr int kWaitMs = SimulatedBench::kWaitMs;

    std::unique_ptr<SimulatedBench> bench;
    ZorSimulator *sim = nullptr;

private slots:
    // The simulator's clean sine (the generator's power-up table, 1008 Hz,
    // 1250 mV, 1 mV of noise) at the analyzer's first span: THD+N across 100
    // frames, alone and with 16 spectra averaged. The spread is printed.
    void averagingSteadiesTheThdNOfTheSimulatorsSine()
    {
        SignalSource source(1, 1.0);
        spectrum::Workspace work;
        FrameAverage average(spectrum::kPoints);
        average.setDepth(16);
        std::vector<double> alone;
        std::vector<double> averaged;
        for (int n = 0; n < 100 + 16; ++n) {
            const SignalSource::Frame raw = source.acquire(false, 7, 0, 0);
            std::array<int, spectrum::kPoints> frame{};
            std::copy(raw.begin(), raw.end(), frame.begin());
            const double one = spectrum::analyse(frame.data(), work).thdnPercent;
            const double mean = spectrum::analyse(frame.data(), work, average).thdnPercent;
            if (n >= 16) {
                alone.push_back(one);
                averaged.push_back(mean);
            }
        }
        const auto spread = [](const std::vector<double> &v) {
            const auto [low, high] = std::minmax_element(v.begin(), v.end());
            return std::make_pair(*low, *high);
        };
        const auto [aloneLow, aloneHigh] = spread(alone);
        const auto [meanLow, meanHigh] = spread(averaged);
        qInfo("THD+N over 100 frames: %.3f .. %.3f %% alone, %.3f .. %.3f %% with 16 averaged",
            aloneLow, aloneHigh, meanLow, meanHigh);
        QVERIFY(meanHigh - meanLow < (aloneHigh - aloneLow) / 2);
    }

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

    void enteringAnalyzerSendsChannelTimeBaseAndGainInOrder()
    {
        MainWindow w;
        w.show();
        QVERIFY(SimulatedBench::open(w));
        QVERIFY(bench->framesPass(3));

        sim->clearReceived();
        controls::selectTab(w, 2);
        QTRY_VERIFY_WITH_TIMEOUT(bench->commands().contains(QStringLiteral("u00q")), kWaitMs);
        QVERIFY(bench->framesPass(1));
        // One-channel mode ("q", "a", each repeated until echoed), then the time
        // base 7, then gains 0 and 0, nothing else.
        const QRegularExpression order(QStringLiteral("^q+a+s7qu00q$"));
        QVERIFY2(order.match(bench->commands()).hasMatch(), qPrintable(bench->commands()));

        const DeviceState state = sim->state();
        QCOMPARE(state.mode, Mode::OneChannel);
        QCOMPARE(state.timeBase, 7);
        QCOMPARE(state.gain1, 0);
        QCOMPARE(state.gain2, 0);
    }

    // The power-up generator tone, about 1008 Hz on channel 1, sampled at
    // 80 kS/s (32 x 2500 Hz per division): 78.125 Hz per bin, so bin 13.
    void powerUpToneShowsItsPeakInTheRightBin()
    {
        MainWindow w;
        w.show();
        QVERIFY(SimulatedBench::open(w));
        QVERIFY(bench->framesPass(3));
        controls::selectTab(w, 2);
        QTRY_VERIFY_WITH_TIMEOUT(bench->commands().contains(QStringLiteral("u00q")), kWaitMs);
        QVERIFY(bench->framesPass(2));

        const Frame frame = buff.snapshot();
        std::array<double, spectrum::kSinTabLen> tab {};
        spectrum::fillSinTab(tab.data());
        std::array<double, spectrum::kPoints> re {};
        std::array<double, spectrum::kPoints> im {};
        for (int i = 0; i < spectrum::kPoints; ++i)
            re[i] = frame[i];
        spectrum::fft(re.data(), im.data(), spectrum::kOrder, tab.data(), spectrum::kPoints);
        int peak = 2;
        for (int k = 3; k < spectrum::kBins; ++k) {
            if (re[k] > re[peak])
                peak = k;
        }
        QCOMPARE(peak, 13);

        // On the plot bin 13 is lit at columns 36 and 37, and it is the highest point.
        const QImage image = w.grab().toImage();
        const QColor trace(20, 30, 240);
        QPoint top(-1, -1);
        for (int y = 30; y <= 542 && top.x() < 0; ++y) {
            for (int x = 10; x <= 778; ++x) {
                if (image.pixelColor(x, y) == trace) {
                    top = QPoint(x, y);
                    break;
                }
            }
        }
        QVERIFY2(top.x() == 36 || top.x() == 37, qPrintable(QString::number(top.x())));

        auto *power = w.findChild<QLabel *>("powerLabel");
        QVERIFY(power);
        QVERIFY2(power->text().startsWith(QStringLiteral("Power: "))
                && power->text().endsWith(QStringLiteral("daB"))
                && power->text() != QStringLiteral("Power: 0daB"),
            qPrintable(power->text()));
    }

    void analyzerChoicesReachTheDevice()
    {
        MainWindow w;
        w.show();
        controls::selectTab(w, 2);
        // Opened on this tab the analyzer starts: its span and range go out.
        QVERIFY(SimulatedBench::open(w));
        QVERIFY(bench->framesPass(3));
        QVERIFY2(bench->commands().contains(QStringLiteral("u00q"))
                && bench->commands().contains(QStringLiteral("s7q")),
            qPrintable(bench->commands()));

        QVERIFY(controls::choose(w, "vaBox", QStringLiteral("7.8mV")));
        QTRY_COMPARE_WITH_TIMEOUT(sim->state().gain1, 6, kWaitMs);
        QCOMPARE(sim->state().gain2, 0);
        QVERIFY(controls::choose(w, "taBox", QStringLiteral("62.5kHz/dz")));
        QTRY_COMPARE_WITH_TIMEOUT(sim->state().timeBase, 2, kWaitMs);
        // The slowest span last: its frames take over three seconds each.
        QVERIFY(controls::choose(w, "taBox", QStringLiteral("10Hz/dz")));
        QTRY_COMPARE_WITH_TIMEOUT(sim->state().timeBase, 14, kWaitMs);
    }

    void logicAnalyzerTabSendsNothing()
    {
        MainWindow w;
        w.show();
        QVERIFY(SimulatedBench::open(w));
        QVERIFY(bench->framesPass(3));
        QVERIFY(bench->framesPass(2));
        sim->clearReceived();
        controls::selectTab(w, 3);
        QVERIFY(controls::choose(w, "timeBox", QStringLiteral("10Hz/dz")));
        QVERIFY(bench->framesPass(3));
        QCOMPARE(bench->commands(), QString());
        QCOMPARE(w.findChild<QLabel *>("valueLabel")->text(), QStringLiteral("Value: 2"));
    }
};

QTEST_MAIN(TestAnalyzerE2e)
#include "tst_analyzer_e2e.moc"
