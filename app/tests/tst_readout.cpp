#include "readout.h"

#include <QtTest>

namespace {

// The settings the readout examples are worked out for: oscilloscope at
// time-base code 6 (100 per division) and gain code 0 (500), generator at
// 1000 Hz, analyzer at span code 7 (2500 Hz per division) without shift.
readout::Scales exampleScales()
{
    readout::Scales s;
    s.oscTime = 100;
    s.oscGain = 500;
    s.genFreq = 1000;
    s.span = 2500;
    s.shift = 0;
    return s;
}

} // namespace

class TestReadout : public QObject {
    Q_OBJECT

private slots:
    void engineeringValue_data();
    void engineeringValue();
    void onlyStrictlyInsideThePlotFrame_data();
    void onlyStrictlyInsideThePlotFrame();
    void noReadoutOnTabsWithoutPlot_data();
    void noReadoutOnTabsWithoutPlot();
    void labelsKeepInsideTheWindow_data();
    void labelsKeepInsideTheWindow();
    void texts_data();
    void texts();
    void generatorWithoutFrequencyUsesOneKilohertz_data();
    void generatorWithoutFrequencyUsesOneKilohertz();
    void deltaTexts_data();
    void deltaTexts();
    void deltaPlaces_data();
    void deltaPlaces();
    void noDeltasOffThePlotOrOnOtherTabs_data();
    void noDeltasOffThePlotOrOnOtherTabs();
};

void TestReadout::engineeringValue_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<QString>("expected");
    QTest::newRow("a million has no suffix beyond k") << 1e6 << "1000.0k";
    QTest::newRow("30000, one decimal") << 30000.0 << "30.0k";
    QTest::newRow("29999 rounds up in the two-decimal row") << 29999.0 << "30.00k";
    QTest::newRow("3000") << 3000.0 << "3.00k";
    // Kilo divides by 1000: x * 0.001 lands just above these midpoints.
    QTest::newRow("3135 divided, not scaled by 0.001") << 3135.0 << "3.13k";
    QTest::newRow("-3135") << -3135.0 << "-3.13k";
    QTest::newRow("30150 in the one-decimal row") << 30150.0 << "30.1k";
    QTest::newRow("2999.9 rounds, no decimals") << 2999.9 << "3000";
    QTest::newRow("300") << 300.0 << "300";
    QTest::newRow("299.99") << 299.99 << "300.0";
    QTest::newRow("30") << 30.0 << "30.0";
    QTest::newRow("29.999") << 29.999 << "30.00";
    QTest::newRow("3") << 3.0 << "3.00";
    QTest::newRow("2.9999 goes to milli") << 2.9999 << "3000m";
    QTest::newRow("0.3") << 0.3 << "300m";
    QTest::newRow("0.29") << 0.29 << "290.0m";
    QTest::newRow("0.03") << 0.03 << "30.0m";
    QTest::newRow("0.003") << 0.003 << "3.00m";
    QTest::newRow("0.0003") << 0.0003 << "300u";
    QTest::newRow("0.00015") << 0.00015 << "150.0u";
    QTest::newRow("0.00003") << 0.00003 << "30.0u";
    QTest::newRow("0.0000299") << 0.0000299 << "29.90u";
    QTest::newRow("0.0000001") << 0.0000001 << "0.10u";
    QTest::newRow("zero") << 0.0 << "0.00u";
    QTest::newRow("-0.25 keeps an ASCII minus") << -0.25 << "-250.0m";
    QTest::newRow("-30000") << -30000.0 << "-30.0k";
    QTest::newRow("-3") << -3.0 << "-3.00";
    QTest::newRow("-299.99") << -299.99 << "-300.0";
    QTest::newRow("-0.0003") << -0.0003 << "-300u";
    QTest::newRow("-0.00001") << -0.00001 << "-10.00u";
}

void TestReadout::engineeringValue()
{
    QFETCH(double, x);
    QFETCH(QString, expected);
    QCOMPARE(readout::value(x), expected);
}

void TestReadout::onlyStrictlyInsideThePlotFrame_data()
{
    QTest::addColumn<int>("device");
    QTest::addColumn<QPoint>("pos");
    QTest::addColumn<bool>("shown");
    for (int device = 0; device <= 2; ++device) {
        const QByteArray tab = "tab " + QByteArray::number(device) + ": ";
        QTest::newRow(tab + "left frame") << device << QPoint(10, 200) << false;
        QTest::newRow(tab + "just inside left") << device << QPoint(11, 200) << true;
        QTest::newRow(tab + "just inside right") << device << QPoint(777, 200) << true;
        QTest::newRow(tab + "right frame") << device << QPoint(778, 200) << false;
        QTest::newRow(tab + "top frame") << device << QPoint(300, 30) << false;
        QTest::newRow(tab + "just inside top") << device << QPoint(300, 31) << true;
        QTest::newRow(tab + "just inside bottom") << device << QPoint(300, 541) << true;
        QTest::newRow(tab + "bottom frame") << device << QPoint(300, 542) << false;
        QTest::newRow(tab + "beside the plot") << device << QPoint(900, 100) << false;
        QTest::newRow(tab + "above the window") << device << QPoint(300, -5) << false;
    }
}

void TestReadout::onlyStrictlyInsideThePlotFrame()
{
    QFETCH(int, device);
    QFETCH(QPoint, pos);
    QFETCH(bool, shown);
    QCOMPARE(readout::labels(device, pos, exampleScales()).has_value(), shown);
}

void TestReadout::noReadoutOnTabsWithoutPlot_data()
{
    QTest::addColumn<int>("device");
    QTest::newRow("logic analyzer") << 3;
    QTest::newRow("Wobuloskop") << 4;
    QTest::newRow("Multimetr") << 5;
    QTest::newRow("settings") << 6;
    QTest::newRow("no tab") << -1;
}

void TestReadout::noReadoutOnTabsWithoutPlot()
{
    QFETCH(int, device);
    QVERIFY(!readout::labels(device, QPoint(394, 286), exampleScales()));
}

void TestReadout::labelsKeepInsideTheWindow_data()
{
    QTest::addColumn<QPoint>("pos");
    QTest::addColumn<QPoint>("posT");
    QTest::addColumn<QPoint>("posU");
    QTest::newRow("at the pointer") << QPoint(100, 100) << QPoint(100, 100) << QPoint(100, 120);
    QTest::newRow("last column on the right of the pointer")
        << QPoint(677, 100) << QPoint(677, 100) << QPoint(677, 120);
    QTest::newRow("first column on the left of the pointer")
        << QPoint(678, 100) << QPoint(578, 100) << QPoint(578, 120);
    QTest::newRow("near the right edge")
        << QPoint(700, 100) << QPoint(600, 100) << QPoint(600, 120);
    QTest::newRow("last row below the pointer")
        << QPoint(100, 506) << QPoint(100, 506) << QPoint(100, 526);
    QTest::newRow("first row above the pointer")
        << QPoint(100, 507) << QPoint(100, 477) << QPoint(100, 497);
    QTest::newRow("near the bottom edge")
        << QPoint(100, 520) << QPoint(100, 490) << QPoint(100, 510);
    QTest::newRow("bottom right corner")
        << QPoint(777, 541) << QPoint(677, 511) << QPoint(677, 531);
}

void TestReadout::labelsKeepInsideTheWindow()
{
    QFETCH(QPoint, pos);
    QFETCH(QPoint, posT);
    QFETCH(QPoint, posU);
    for (int device = 0; device <= 2; ++device) {
        const auto labels = readout::labels(device, pos, exampleScales());
        QVERIFY(labels);
        QCOMPARE(labels->posT, posT);
        QCOMPARE(labels->posU, posU);
    }
}

void TestReadout::texts_data()
{
    QTest::addColumn<int>("device");
    QTest::addColumn<int>("shift");
    QTest::addColumn<QPoint>("pos");
    QTest::addColumn<QString>("textT");
    QTest::addColumn<QString>("textU");
    QTest::newRow("oscilloscope") << 0 << 0 << QPoint(458, 222) << "  T: 98.5us"
                                  << "  U: 2462mV";
    QTest::newRow("oscilloscope left of and below the centre")
        << 0 << 0 << QPoint(330, 350) << "  T: -98.5us"
        << "  U: -2462mV";
    QTest::newRow("oscilloscope at the centre") << 0 << 0 << QPoint(394, 286) << "  T: 0.00us"
                                                << "  U: 0.00uV";
    QTest::newRow("generator") << 1 << 0 << QPoint(458, 222) << "  T: 125.0us"
                               << "  U: 312mV";
    QTest::newRow("generator left of and below the centre")
        << 1 << 0 << QPoint(330, 350) << "  T: -125.0us"
        << "  U: -312mV";
    QTest::newRow("analyzer, one division in") << 2 << 0 << QPoint(74, 222) << "  F: 2500Hz"
                                               << "  U/Uz: 10.00dB";
    QTest::newRow("analyzer shifted by 128 bins") << 2 << -128 << QPoint(74, 222) << "  F: 12.50kHz"
                                                  << "  U/Uz: 10.00dB";
    QTest::newRow("analyzer at the left frame's first pixel")
        << 2 << 0 << QPoint(11, 350) << "  F: 39.1Hz"
        << "  U/Uz: -10.00dB";
    QTest::newRow("analyzer at the centre") << 2 << 0 << QPoint(394, 286) << "  F: 15.00kHz"
                                            << "  U/Uz: 0.00udB";
}

void TestReadout::texts()
{
    QFETCH(int, device);
    QFETCH(int, shift);
    QFETCH(QPoint, pos);
    QFETCH(QString, textT);
    QFETCH(QString, textU);
    readout::Scales scales = exampleScales();
    scales.shift = shift;
    const auto labels = readout::labels(device, pos, scales);
    QVERIFY(labels);
    QCOMPARE(labels->textT, textT);
    QCOMPARE(labels->textU, textU);
}

void TestReadout::generatorWithoutFrequencyUsesOneKilohertz_data()
{
    QTest::addColumn<int>("freq");
    QTest::newRow("unset") << 0;
    QTest::newRow("negative") << -5;
}

// Until the generator has taken a frequency from its box the readout must not
// divide by an unset value.
void TestReadout::generatorWithoutFrequencyUsesOneKilohertz()
{
    QFETCH(int, freq);
    readout::Scales scales = exampleScales();
    scales.genFreq = freq;
    const auto labels = readout::labels(1, QPoint(458, 222), scales);
    QVERIFY(labels);
    QCOMPARE(labels->textT, QStringLiteral("  T: 125.0us"));
}

// The pointer against the reference cursor, at the true scales: on the
// oscilloscope 1/32 of a division's labelled time and 40 mV at "2.5V/dz" per
// pixel; on the analyzer half a bin and 1/6.5 dB per pixel.
void TestReadout::deltaTexts_data()
{
    QTest::addColumn<int>("device");
    QTest::addColumn<int>("oscTime");
    QTest::addColumn<int>("gainIndex");
    QTest::addColumn<int>("span");
    QTest::addColumn<int>("shift");
    QTest::addColumn<QPoint>("reference");
    QTest::addColumn<QPoint>("pos");
    QTest::addColumn<QStringList>("texts");
    const QString dT = QStringLiteral("  \u0394T: ");
    const QString dU = QStringLiteral("  \u0394U: ");
    const QString inverse = QStringLiteral("  1/\u0394T: ");
    const QString dF = QStringLiteral("  \u0394F: ");
    const QString dDb = QStringLiteral("  \u0394dB: ");
    QTest::newRow("one period of 1008 Hz at 200us/dz, 159 pixels")
        << 0 << 200 << 0 << 2500 << 0 << QPoint(200, 286) << QPoint(359, 286)
        << QStringList { dT + "994us", dU + "0.00uV", inverse + "1006Hz" };
    QTest::newRow("a division right and up at 200us/dz and 2.5V/dz")
        << 0 << 200 << 0 << 2500 << 0 << QPoint(394, 286) << QPoint(458, 222)
        << QStringList { dT + "400us", dU + "2560mV", inverse + "2500Hz" };
    QTest::newRow("pointer left of and below the reference: negative, 1/dT not")
        << 0 << 200 << 0 << 2500 << 0 << QPoint(458, 222) << QPoint(394, 286)
        << QStringList { dT + "-400us", dU + "-2560mV", inverse + "2500Hz" };
    QTest::newRow("same column: no 1/dT")
        << 0 << 200 << 0 << 2500 << 0 << QPoint(300, 100) << QPoint(300, 200)
        << QStringList { dT + "0.00us", dU + "-4.00V", inverse + "--" };
    QTest::newRow("25mV/dz") << 0 << 200 << 6 << 2500 << 0 << QPoint(394, 286) << QPoint(458, 222)
                             << QStringList { dT + "400us", dU + "25.60mV", inverse + "2500Hz" };
    QTest::newRow("one pixel at the fastest time base")
        << 0 << 8 << 0 << 2500 << 0 << QPoint(394, 286) << QPoint(395, 286)
        << QStringList { dT + "0.25us", dU + "0.00uV", inverse + "4000.0kHz" };
    QTest::newRow("across the plot at 50ms/dz")
        << 0 << 50000 << 0 << 2500 << 0 << QPoint(11, 286) << QPoint(777, 286)
        << QStringList { dT + "1197ms", dU + "0.00uV", inverse + "836mHz" };
    QTest::newRow("analyzer: a division right and up at 2.5kHz/dz")
        << 2 << 200 << 0 << 2500 << 0 << QPoint(74, 286) << QPoint(138, 222)
        << QStringList { dF + "2500Hz", dDb + "9.85dB" };
    QTest::newRow("analyzer: the shift moves both cursors alike")
        << 2 << 200 << 0 << 2500 << -128 << QPoint(74, 286) << QPoint(138, 222)
        << QStringList { dF + "2500Hz", dDb + "9.85dB" };
    QTest::newRow("analyzer: one pixel right, two dB down")
        << 2 << 200 << 0 << 2500 << 0 << QPoint(200, 300) << QPoint(201, 313)
        << QStringList { dF + "39.1Hz", dDb + "-2.00dB" };
    QTest::newRow("analyzer: across the plot at 62.5kHz/dz")
        << 2 << 200 << 0 << 62500 << 0 << QPoint(11, 286) << QPoint(777, 286)
        << QStringList { dF + "748.0kHz", dDb + "0.00dB" };
}

void TestReadout::deltaTexts()
{
    QFETCH(int, device);
    QFETCH(int, oscTime);
    QFETCH(int, gainIndex);
    QFETCH(int, span);
    QFETCH(int, shift);
    QFETCH(QPoint, reference);
    QFETCH(QPoint, pos);
    QFETCH(QStringList, texts);
    readout::Scales scales = exampleScales();
    scales.oscTime = oscTime;
    scales.oscGainIndex = gainIndex;
    scales.span = span;
    scales.shift = shift;
    const auto lines = readout::deltas(device, reference, pos, scales);
    QVERIFY(lines);
    QStringList got;
    for (const readout::DeltaLine &line : *lines)
        got << line.text;
    QCOMPARE(got, texts);
}

// Under the two labels while there is room, otherwise above them; 20 pixels
// apart, left of the pointer near the right edge.
void TestReadout::deltaPlaces_data()
{
    QTest::addColumn<int>("device");
    QTest::addColumn<QPoint>("pos");
    QTest::addColumn<QPoint>("first");
    QTest::addColumn<int>("count");
    QTest::newRow("under the labels") << 0 << QPoint(458, 222) << QPoint(458, 262) << 3;
    QTest::newRow("last column right of the pointer")
        << 0 << QPoint(657, 100) << QPoint(657, 140) << 3;
    QTest::newRow("first column left of the pointer")
        << 0 << QPoint(658, 100) << QPoint(538, 140) << 3;
    QTest::newRow("last row under the labels") << 0 << QPoint(100, 446) << QPoint(100, 486) << 3;
    QTest::newRow("first row above the labels") << 0 << QPoint(100, 447) << QPoint(100, 387) << 3;
    QTest::newRow("above labels that went up") << 0 << QPoint(100, 520) << QPoint(100, 430) << 3;
    QTest::newRow("analyzer, two lines above") << 2 << QPoint(100, 520) << QPoint(100, 450) << 2;
    QTest::newRow("analyzer, bottom right corner")
        << 2 << QPoint(777, 541) << QPoint(657, 471) << 2;
}

void TestReadout::deltaPlaces()
{
    QFETCH(int, device);
    QFETCH(QPoint, pos);
    QFETCH(QPoint, first);
    QFETCH(int, count);
    const auto lines = readout::deltas(device, QPoint(394, 286), pos, exampleScales());
    QVERIFY(lines);
    QCOMPARE(int(lines->size()), count);
    for (int i = 0; i < count; ++i)
        QCOMPARE((*lines)[std::size_t(i)].pos, first + QPoint(0, 20 * i));
    // Never over the two labels, never past the plot's edges.
    const auto labels = readout::labels(device, pos, exampleScales());
    QVERIFY(labels);
    const QRect labelT(labels->posT, QSize(readout::kLabelWidth, readout::kLabelHeight));
    const QRect labelU(labels->posU, QSize(readout::kLabelWidth, readout::kLabelHeight));
    for (const readout::DeltaLine &line : *lines) {
        const QRect r(line.pos, QSize(readout::kDeltaWidth, readout::kLabelHeight));
        QVERIFY(!r.intersects(labelT) && !r.intersects(labelU));
        QVERIFY(r.left() > 10 && r.right() < 778 && r.top() > 30 && r.bottom() < 542);
    }
}

void TestReadout::noDeltasOffThePlotOrOnOtherTabs_data()
{
    QTest::addColumn<int>("device");
    QTest::addColumn<QPoint>("pos");
    QTest::newRow("oscilloscope, on the frame") << 0 << QPoint(10, 200);
    QTest::newRow("analyzer, beside the plot") << 2 << QPoint(900, 100);
    QTest::newRow("generator") << 1 << QPoint(300, 200);
    QTest::newRow("logic analyzer") << 3 << QPoint(300, 200);
}

void TestReadout::noDeltasOffThePlotOrOnOtherTabs()
{
    QFETCH(int, device);
    QFETCH(QPoint, pos);
    QVERIFY(!readout::deltas(device, QPoint(394, 286), pos, exampleScales()));
}

QTEST_MAIN(TestReadout)
#include "tst_readout.moc"
