#include "measurements.h"
#include "spectrum.h"
#include "tracetable.h"

#include <QtTest>

#include <array>
#include <cmath>
#include <limits>

// The tables behind the export and labbench-cli: every line that is not a
// number row is a comment, the rows are the plot's, and the time column runs
// on the count the frequency readout uses.
class TestTraceTable : public QObject {
    Q_OBJECT

private:
    static QList<QByteArray> rows(const QByteArray &table)
    {
        QList<QByteArray> out;
        for (const QByteArray &line : table.split('\n'))
            if (!line.isEmpty() && !line.startsWith('#'))
                out << line;
        return out;
    }

private slots:
    void numbersReadBackExactly_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("volts at 10 mV a unit") << 0.01 * 42 << QByteArray("0.42");
        QTest::newRow("one sample at 200us/dz")
            << 200 * 0.0625 / 1024000.0 << QByteArray("1.220703125e-05");
        QTest::newRow("negative") << -2.5 << QByteArray("-2.5");
        QTest::newRow("silent bin")
            << -std::numeric_limits<double>::infinity() << QByteArray("-inf");
    }

    void numbersReadBackExactly()
    {
        QFETCH(double, value);
        QFETCH(QByteArray, text);
        QCOMPARE(tracetable::number(value), text);
    }

    // A sine of a whole number of samples per period: the readout's frequency
    // is one over the period in the table's time column.
    void timeColumnAgreesWithTheFrequencyReadout_data()
    {
        QTest::addColumn<int>("tbIndex");
        QTest::addColumn<int>("period");
        QTest::newRow("200us/dz") << 7 << 64;
        QTest::newRow("50ms/dz") << 14 << 40;
        QTest::newRow("2us/dz") << 0 << 32;
    }

    void timeColumnAgreesWithTheFrequencyReadout()
    {
        QFETCH(int, tbIndex);
        QFETCH(int, period);
        std::array<int, 384> w {};
        for (int i = 0; i < 384; ++i)
            w[std::size_t(i)] = int(std::lround(1000 * std::sin(2 * M_PI * i / period)));
        const auto hz = osc::frequencyHz(w.data(), 384, tbIndex);
        QVERIFY(hz);
        const double periodSeconds = osc::sampleTimeSeconds(period, tbIndex);
        QVERIFY(std::abs(*hz * periodSeconds - 1) < 1e-9);
        QCOMPARE(osc::sampleTimeSeconds(1, tbIndex), osc::samplePeriodSeconds(tbIndex));
    }

    void scopeTableHasCommentHeaderAndOneRowPerSample_data()
    {
        QTest::addColumn<bool>("two");
        QTest::addColumn<int>("frameNumber");
        QTest::addColumn<int>("rowCount");
        QTest::addColumn<QByteArray>("columns");
        QTest::newRow("one channel") << false << -1 << 1024 << QByteArray("# t_s,ch1_V");
        QTest::newRow("two channels") << true << -1 << 512 << QByteArray("# t_s,ch1_V,ch2_V");
        QTest::newRow("frame column") << true << 3 << 512 << QByteArray("# frame,t_s,ch1_V,ch2_V");
    }

    void scopeTableHasCommentHeaderAndOneRowPerSample()
    {
        QFETCH(bool, two);
        QFETCH(int, frameNumber);
        QFETCH(int, rowCount);
        QFETCH(QByteArray, columns);
        std::array<int, 1024> raw {};
        for (int i = 0; i < 1024; ++i)
            raw[std::size_t(i)] = i < 512 ? i : -i;
        const tracetable::ScopeFrame f { raw.data(), 7, 0, 1, two, QDateTime() };
        QByteArray table
            = tracetable::scopeHeader(f, QStringLiteral("/dev/ttyUSB0"), frameNumber >= 0);
        QVERIFY(table.contains("# port: /dev/ttyUSB0\n"));
        QVERIFY(table.contains("# frame_time: none\n"));
        QCOMPARE(table.contains("# ch2_gain: 1V/dz\n"), two);
        QVERIFY(table.endsWith(columns + '\n'));
        tracetable::appendScopeRows(table, f, frameNumber);
        const auto data = rows(table);
        QCOMPARE(data.size(), rowCount);
        const QList<QByteArray> last = data.last().split(',');
        QCOMPARE(last.size(), int(columns.count(',')) + 1);
        QCOMPARE(last.last().toDouble(),
            two ? -1023 * 0.005 : -10.23); // 5 mV a unit at 1V/dz, 10 at 2.5V/dz
        if (frameNumber >= 0)
            QCOMPARE(last.first(), QByteArray::number(frameNumber));
    }

    void spectrumTableStartsAtTheFirstBinShown_data()
    {
        QTest::addColumn<int>("xPos");
        QTest::addColumn<int>("firstBin");
        QTest::newRow("from DC") << 0 << 0;
        QTest::newRow("moved up") << -100 << 100;
        QTest::newRow("beyond the bar's reach") << -192 << 128;
    }

    void spectrumTableStartsAtTheFirstBinShown()
    {
        QFETCH(int, xPos);
        QFETCH(int, firstBin);
        std::array<double, 1024> levels {};
        for (int k = 0; k < 1024; ++k)
            levels[std::size_t(k)] = k;
        const tracetable::Spectrum s { levels.data(), 7, 0, xPos, 90.5, 1.25, QDateTime() };
        const QByteArray table = tracetable::spectrumTable(s, QString());
        QVERIFY(table.contains("# power_daB: 90.5\n# thdn_pct: 1.25\n"));
        const auto data = rows(table);
        QCOMPARE(data.size(), 512);
        // 2.5 kHz a division, 32 bins a division.
        QCOMPARE(data.first(),
            QByteArray::number(firstBin * 78.125) + ',' + QByteArray::number(firstBin));
        QCOMPARE(data.last().split(',').last().toInt(), firstBin + 511);
    }

    void generatorTableHoldsThePlayedEntriesInMillivolts()
    {
        std::array<int, 512> entries {};
        entries[0] = 2047;
        entries[3] = -16376;
        const tracetable::GeneratorTable g { entries.data(), 4, 250, 32000, 1, 1250, 50, 0 };
        const QByteArray table = tracetable::generatorTable(g, QString(), QDateTime());
        QVERIFY(table.contains("# waveform: square\n"));
        QVERIFY(table.contains("# played_Hz: 32000\n"));
        const auto data = rows(table);
        QCOMPARE(data.size(), 4);
        for (int i = 0; i < 4; ++i) {
            const QList<QByteArray> cells = data[i].split(',');
            QCOMPARE(cells[0].toInt(), i);
            QVERIFY(std::abs(cells[1].toDouble() * 1.6376 - entries[std::size_t(i)]) < 1e-9);
        }
    }
};

QTEST_MAIN(TestTraceTable)
#include "tst_tracetable.moc"
