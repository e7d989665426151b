#include "circuit.h"

#include <QtTest>

#include <cmath>
#include <string>

Q_DECLARE_METATYPE(Circuit::Kind)

namespace {

constexpr double kPi = 3.14159265358979323846;

} // namespace

class TestCircuit : public QObject {
    Q_OBJECT

private slots:
    void goodTextIsTaken_data();
    void goodTextIsTaken();
    void badTextIsRefused_data();
    void badTextIsRefused();
    void nonPositiveValuesMakeNoCircuit();
    void responseIsTheTransferFunction_data();
    void responseIsTheTransferFunction();
};

void TestCircuit::goodTextIsTaken_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Circuit::Kind>("kind");
    QTest::addColumn<double>("hz");
    QTest::addColumn<double>("q");
    QTest::newRow("low pass, plain hertz")
        << "lowpass:1000" << Circuit::Kind::LowPass << 1000.0 << 1.0;
    QTest::newRow("low pass, k") << "lowpass:1k" << Circuit::Kind::LowPass << 1000.0 << 1.0;
    QTest::newRow("high pass, fractional k")
        << "highpass:2.5k" << Circuit::Kind::HighPass << 2500.0 << 1.0;
    QTest::newRow("high pass, M") << "highpass:1.2M" << Circuit::Kind::HighPass << 1.2e6 << 1.0;
    QTest::newRow("under a hertz") << "lowpass:0.5" << Circuit::Kind::LowPass << 0.5 << 1.0;
    QTest::newRow("leading point") << "lowpass:.5k" << Circuit::Kind::LowPass << 500.0 << 1.0;
    QTest::newRow("band pass") << "bandpass:1k:5" << Circuit::Kind::BandPass << 1000.0 << 5.0;
    QTest::newRow("band pass, Q under 1")
        << "bandpass:2.5k:0.707" << Circuit::Kind::BandPass << 2500.0 << 0.707;
    QTest::newRow("exponent") << "lowpass:1e3" << Circuit::Kind::LowPass << 1000.0 << 1.0;
}

void TestCircuit::goodTextIsTaken()
{
    QFETCH(QString, text);
    QFETCH(Circuit::Kind, kind);
    QFETCH(double, hz);
    QFETCH(double, q);
    const auto circuit = Circuit::parse(text.toStdString());
    QVERIFY(circuit);
    QCOMPARE(circuit->kind(), kind);
    QCOMPARE(circuit->hz(), hz);
    QCOMPARE(circuit->q(), q);
}

void TestCircuit::badTextIsRefused_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << "";
    QTest::newRow("no frequency") << "lowpass";
    QTest::newRow("empty frequency") << "lowpass:";
    QTest::newRow("unknown kind") << "notch:1k";
    QTest::newRow("kind in capitals") << "LOWPASS:1k";
    QTest::newRow("zero") << "lowpass:0";
    QTest::newRow("negative") << "highpass:-1k";
    QTest::newRow("explicit plus") << "highpass:+1k";
    QTest::newRow("unknown suffix") << "lowpass:1x";
    QTest::newRow("milli is not mega") << "lowpass:1m";
    QTest::newRow("suffix alone") << "lowpass:k";
    QTest::newRow("two suffixes") << "lowpass:1kk";
    QTest::newRow("comma for a point") << "lowpass:2,5k";
    QTest::newRow("blank before") << "lowpass: 1k";
    QTest::newRow("blank after") << "lowpass:1k ";
    QTest::newRow("infinite") << "lowpass:inf";
    QTest::newRow("overflow") << "lowpass:1e999";
    QTest::newRow("hex") << "lowpass:0x10";
    QTest::newRow("a Q for a low pass") << "lowpass:1k:5";
    QTest::newRow("trailing colon") << "highpass:1k:";
    QTest::newRow("band pass without Q") << "bandpass:1k";
    QTest::newRow("band pass, empty Q") << "bandpass:1k:";
    QTest::newRow("band pass, zero Q") << "bandpass:1k:0";
    QTest::newRow("band pass, Q with a suffix") << "bandpass:1k:5k";
    QTest::newRow("band pass, one field too many") << "bandpass:1k:5:1";
}

void TestCircuit::badTextIsRefused()
{
    QFETCH(QString, text);
    QVERIFY(!Circuit::parse(text.toStdString()));
}

void TestCircuit::nonPositiveValuesMakeNoCircuit()
{
    QVERIFY(Circuit::make(Circuit::Kind::LowPass, 1000.0));
    QVERIFY(!Circuit::make(Circuit::Kind::LowPass, 0.0));
    QVERIFY(!Circuit::make(Circuit::Kind::HighPass, -5.0));
    QVERIFY(!Circuit::make(Circuit::Kind::HighPass, std::nan("")));
    QVERIFY(!Circuit::make(Circuit::Kind::BandPass, 1000.0, 0.0));
    QVERIFY(!Circuit::make(Circuit::Kind::BandPass, 1000.0, HUGE_VAL));
}

void TestCircuit::responseIsTheTransferFunction_data()
{
    // Gain and phase worked out by hand from the three transfer functions.
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("hz");
    QTest::addColumn<double>("decibels");
    QTest::addColumn<double>("degrees");
    QTest::newRow("low pass, a decade under") << "lowpass:1k" << 100.0 << -0.04321 << -5.7106;
    QTest::newRow("low pass, at the corner") << "lowpass:1k" << 1000.0 << -3.01030 << -45.0;
    QTest::newRow("low pass, an octave over") << "lowpass:1k" << 2000.0 << -6.98970 << -63.4349;
    QTest::newRow("low pass, a decade over") << "lowpass:1k" << 10000.0 << -20.04321 << -84.2894;
    QTest::newRow("low pass at DC") << "lowpass:1k" << 0.0 << 0.0 << 0.0;
    QTest::newRow("high pass, a decade under") << "highpass:1k" << 100.0 << -20.04321 << 84.2894;
    QTest::newRow("high pass, at the corner") << "highpass:1k" << 1000.0 << -3.01030 << 45.0;
    QTest::newRow("high pass, an octave over") << "highpass:1k" << 2000.0 << -0.96910 << 26.5651;
    QTest::newRow("band pass, a decade under") << "bandpass:1k:5" << 100.0 << -33.89388 << 88.8427;
    QTest::newRow("band pass, an octave under") << "bandpass:1k:5" << 500.0 << -17.57775 << 82.4054;
    QTest::newRow("band pass, at the centre") << "bandpass:1k:5" << 1000.0 << 0.0 << 0.0;
    QTest::newRow("band pass, an octave over")
        << "bandpass:1k:5" << 2000.0 << -17.57775 << -82.4054;
    QTest::newRow("wide band pass, an octave under")
        << "bandpass:2.5k:0.5" << 1250.0 << -1.93820 << 36.8699;
    QTest::newRow("wide band pass, a decade over")
        << "bandpass:2.5k:0.5" << 25000.0 << -14.06583 << -78.5788;
}

void TestCircuit::responseIsTheTransferFunction()
{
    QFETCH(QString, text);
    QFETCH(double, hz);
    QFETCH(double, decibels);
    QFETCH(double, degrees);
    const auto h = Circuit::parse(text.toStdString())->response(hz);
    QVERIFY2(std::abs(20.0 * std::log10(std::abs(h)) - decibels) < 1e-4,
        qPrintable(QString::number(20.0 * std::log10(std::abs(h)))));
    QVERIFY2(std::abs(std::arg(h) * 180.0 / kPi - degrees) < 1e-3,
        qPrintable(QString::number(std::arg(h) * 180.0 / kPi)));
}

QTEST_MAIN(TestCircuit)
#include "tst_circuit.moc"
