#include "frameaverage.h"
#include "spectrum.h"

#include <QTest>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <vector>

// The average of the last frames, and the analyzer's readouts from it.
class TestFrameAverage : public QObject {
    Q_OBJECT

private:
    // One frame of a sine on bin 40 and a half (off-bin, as a real signal is)
    // with uniform noise of the given amplitude, in raw units.
    static std::array<int, spectrum::kPoints> noisySine(std::mt19937 &random, double noise)
    {
        std::uniform_real_distribution<double> spread(-noise, noise);
        std::array<int, spectrum::kPoints> frame {};
        for (int i = 0; i < spectrum::kPoints; ++i)
            frame[std::size_t(i)] = int(std::lround(
                800.0 * std::sin(2 * M_PI * 40.5 * i / spectrum::kPoints) + spread(random)));
        return frame;
    }

    static double spread(const std::vector<double> &values)
    {
        const auto [low, high] = std::minmax_element(values.begin(), values.end());
        return *high - *low;
    }

private slots:
    // Fewer frames than the depth: the mean of those there are; more: the
    // oldest go.
    void meanOfTheLastFrames_data()
    {
        QTest::addColumn<int>("depth");
        QTest::addColumn<int>("added");
        QTest::addColumn<int>("count");
        QTest::addColumn<double>("mean");
        // Frame k holds the value k (k = 1, 2, ...).
        QTest::newRow("off: the last frame") << 1 << 5 << 1 << 5.0;
        QTest::newRow("2 of 4 so far") << 4 << 2 << 2 << 1.5;
        QTest::newRow("4 full") << 4 << 4 << 4 << 2.5;
        QTest::newRow("4, the first 6 gone") << 4 << 10 << 4 << 8.5;
        QTest::newRow("64 full") << 64 << 64 << 64 << 32.5;
        QTest::newRow("depth past 64 is 64") << 100 << 70 << 64 << 38.5;
        QTest::newRow("depth below 1 is off") << 0 << 3 << 1 << 3.0;
    }

    void meanOfTheLastFrames()
    {
        QFETCH(int, depth);
        QFETCH(int, added);
        FrameAverage average(3);
        average.setDepth(depth);
        for (int k = 1; k <= added; ++k) {
            const double values[] = { double(k), double(k), -double(k) };
            average.add(values);
        }
        QTEST(average.count(), "count");
        std::array<double, 3> out {};
        average.mean(out.data());
        QTEST(out[0], "mean");
        QCOMPARE(out[2], -out[0]);
    }

    // A setting that changes the picture restarts the average: the next mean
    // is the next frame alone.
    void aRestartForgetsTheOldFrames()
    {
        FrameAverage average(1);
        average.setDepth(8);
        for (const double v : { 100.0, 100.0, 100.0 })
            average.add(&v);
        average.restart();
        QCOMPARE(average.count(), 0);
        double out = -1;
        average.mean(&out);
        QCOMPARE(out, 0.0);
        const double fresh = 7;
        average.add(&fresh);
        average.mean(&out);
        QCOMPARE(out, 7.0);
        average.setDepth(16);
        QCOMPARE(average.count(), 0);
    }

    // Quiet bins keep their level under loud ones: no rounding carried over
    // from frames that left the average.
    void quietValuesSurviveLoudOnes()
    {
        FrameAverage average(2);
        average.setDepth(4);
        for (int k = 0; k < 1000; ++k) {
            const double values[] = { k % 2 ? 1e12 : 3e11, 1e-3 };
            average.add(values);
        }
        std::array<double, 2> out {};
        average.mean(out.data());
        QCOMPARE(out[1], 1e-3);
    }

    // Averaged power spectra: THD+N of a noisy sine steadies, and a steady
    // sine's power is what one frame gives.
    void averagingSteadiesThdN()
    {
        std::mt19937 random(7);
        spectrum::Workspace work;
        FrameAverage average(spectrum::kPoints);
        average.setDepth(16);
        std::vector<double> single;
        std::vector<double> averaged;
        for (int n = 0; n < 100; ++n) {
            const auto frame = noisySine(random, 60);
            single.push_back(spectrum::analyse(frame.data(), work).thdnPercent);
            const auto r = spectrum::analyse(frame.data(), work, average);
            if (n >= 16)
                averaged.push_back(r.thdnPercent);
        }
        qInfo("THD+N spread over the frames: %.3f %% alone, %.3f %% with 16 averaged",
            spread(single), spread(averaged));
        QVERIFY(spread(averaged) < spread(single) / 2);

        FrameAverage steady(spectrum::kPoints);
        steady.setDepth(8);
        std::mt19937 none(1);
        const auto clean = noisySine(none, 0);
        const double alone = spectrum::analyse(clean.data(), work).powerDb;
        double mean = 0;
        for (int n = 0; n < 8; ++n)
            mean = spectrum::analyse(clean.data(), work, steady).powerDb;
        QVERIFY(std::abs(mean - alone) < 1e-9);
    }
};

QTEST_MAIN(TestFrameAverage)
#include "tst_frameaverage.moc"
