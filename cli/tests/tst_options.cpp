#include "options.h"
#include "scoperequest.h"
#include "scratchdir.h"

#include <QtTest>

// labbench-cli's arguments: how options are split, and what capture and
// measure make of them, without a device.
class TestOptions : public QObject {
    Q_OBJECT
private slots:
    void options_data();
    void options();
    void scopeRequest_data();
    void scopeRequest();
    void portAndSpeedFromTheFolder_data();
    void portAndSpeedFromTheFolder();
};

void TestOptions::options_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("problem"); // empty: parsed
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value");

    QTest::newRow("name and value") << QStringList { "--frames", "3" } << "" << "frames" << "3";
    QTest::newRow("name=value") << QStringList { "--frames=3" } << "" << "frames" << "3";
    QTest::newRow("empty value after =") << QStringList { "--port=" } << "" << "port" << "";
    QTest::newRow("= inside the value") << QStringList { "--port=a=b" } << "" << "port" << "a=b";
    QTest::newRow("-o is --output") << QStringList { "-o", "x.csv" } << "" << "output" << "x.csv";
    QTest::newRow("value that looks like an option")
        << QStringList { "--port", "--frames" } << "" << "port" << "--frames";
    QTest::newRow("device-namespace port")
        << QStringList { "--port", "\\\\.\\COM12" } << "" << "port" << "\\\\.\\COM12";
    QTest::newRow("flag") << QStringList { "--help" } << "" << "help" << "";
    QTest::newRow("last of two wins")
        << QStringList { "--frames", "2", "--frames=5" } << "" << "frames" << "5";
    QTest::newRow("flag given a value")
        << QStringList { "--help=yes" } << "unknown option --help" << "" << "";
    QTest::newRow("unknown option") << QStringList { "--frame", "3" } << "unknown option --frame"
                                    << "" << "";
    QTest::newRow("missing value") << QStringList { "--frames" } << "--frames needs a value" << ""
                                   << "";
    QTest::newRow("stray word") << QStringList { "3" } << "unexpected argument \"3\"" << "" << "";
    QTest::newRow("single dash") << QStringList { "-frames", "3" }
                                 << "unexpected argument \"-frames\"" << "" << "";
}

void TestOptions::options()
{
    QFETCH(QStringList, args);
    QFETCH(QString, problem);
    QFETCH(QString, name);
    QFETCH(QString, value);
    Options o;
    const bool parsed = o.parse(args, { "frames", "port", "output" }, { "help" });
    QCOMPARE(parsed, problem.isEmpty());
    QCOMPARE(o.error(), problem);
    if (parsed) {
        QVERIFY(o.has(name));
        QCOMPARE(o.value(name), value);
    }
}

void TestOptions::scopeRequest_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("measure");
    QTest::addColumn<QString>("problem");
    QTest::addColumn<int>("tbIndex");
    QTest::addColumn<int>("gain1");
    QTest::addColumn<int>("gain2");
    QTest::addColumn<int>("trigWord");

    QTest::newRow("defaults") << QStringList {} << true << "" << 7 << 0 << 0 << 0;
    QTest::newRow("slowest time base")
        << QStringList { "--timebase", "50ms/dz" } << false << "" << 14 << 0 << 0 << 0;
    QTest::newRow("fastest with one channel")
        << QStringList { "--timebase", "2us/dz" } << false << "" << 0 << 0 << 0 << 0;
    QTest::newRow("fastest two-channel base")
        << QStringList { "--channels", "2", "--timebase", "20us/dz" } << false << "" << 4 << 0
        << 0 << 0;
    QTest::newRow("too fast for two channels")
        << QStringList { "--channels", "2", "--timebase", "10us/dz" } << false
        << "time base 10us/dz needs --channels 1" << 0 << 0 << 0 << 0;
    QTest::newRow("unknown time base") << QStringList { "--timebase", "200us" } << false
                                       << "unknown time base \"200us\"" << 0 << 0 << 0 << 0;
    QTest::newRow("one gain for both")
        << QStringList { "--gain", "25mV/dz" } << false << "" << 7 << 6 << 6 << 0;
    QTest::newRow("a gain each")
        << QStringList { "--gain", "1V/dz,100mV/dz" } << false << "" << 7 << 1 << 4 << 0;
    QTest::newRow("three gains") << QStringList { "--gain", "1V/dz,1V/dz,1V/dz" } << false
                                 << "unknown gain \"1V/dz,1V/dz,1V/dz\"" << 0 << 0 << 0 << 0;
    QTest::newRow("channels 3") << QStringList { "--channels", "3" } << false
                                << "--channels takes 1 or 2" << 0 << 0 << 0 << 0;
    QTest::newRow("no frames") << QStringList { "--frames", "0" } << false
                               << "--frames takes a number from 1 up" << 0 << 0 << 0 << 0;
    QTest::newRow("frames not a number") << QStringList { "--frames", "3x" } << false
                                         << "--frames takes a number from 1 up" << 0 << 0 << 0 << 0;
    QTest::newRow("format") << QStringList { "--format", "xml" } << false
                            << "--format takes csv or json" << 0 << 0 << 0 << 0;
    // The trigger word is the trigger controls' own: mode + 4 x edge + 8 x detector.
    QTest::newRow("single, rising, HF")
        << QStringList { "--trigger", "Single", "--edge", "Ris", "--detector", "HF" } << true << ""
        << 7 << 0 << 0 << 3 + 4 + 8;
    QTest::newRow("unknown trigger") << QStringList { "--trigger", "norm" } << true
                                     << "unknown trigger setting" << 0 << 0 << 0 << 0;
    QTest::newRow("level at its limit")
        << QStringList { "--trigger", "Norm", "--level", "-2000mV" } << true << "" << 7 << 0 << 0
        << 1;
    QTest::newRow("level past its limit") << QStringList { "--level", "2001" } << true
                                          << "--level takes -2000mV .. 2000mV" << 0 << 0 << 0 << 0;
}

void TestOptions::scopeRequest()
{
    QFETCH(QStringList, args);
    QFETCH(bool, measure);
    QFETCH(QString, problem);
    ScratchDir scratch;
    QVERIFY(scratch.isValid());
    Options o;
    QVERIFY2(o.parse(args, ScopeRequest::valued(measure), {}), qPrintable(o.error()));
    ScopeRequest request;
    QString error;
    QCOMPARE(request.parse(o, measure, error), problem.isEmpty());
    QCOMPARE(error, problem);
    if (!problem.isEmpty())
        return;
    QTEST(request.tbIndex, "tbIndex");
    QTEST(request.gain1, "gain1");
    QTEST(request.gain2, "gain2");
    QTEST(request.trigWord, "trigWord");
}

void TestOptions::portAndSpeedFromTheFolder_data()
{
    QTest::addColumn<QByteArray>("file"); // empty: no settings.txt
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("speed");
    QTest::addColumn<QString>("problem");

    QTest::newRow("no settings.txt: the window's defaults")
        << QByteArray() << QStringList {} << "/dev/ttyS0" << 115200 << "";
    QTest::newRow("from settings.txt") << QByteArray("#\\\\.\\COM12#921600#6#ZOR") << QStringList {}
                                       << "\\\\.\\COM12" << 921600 << "";
    QTest::newRow("a CRLF line end as Notepad saves it")
        << QByteArray("#COM3#19200#0#ZOR\r\n") << QStringList {} << "COM3" << 19200 << "";
    QTest::newRow("options before the file")
        << QByteArray("#COM3#19200#0#ZOR") << QStringList { "--port", "COM4", "--speed", "57600" }
        << "COM4" << 57600 << "";
    QTest::newRow("file without fields: defaults")
        << QByteArray("nothing here") << QStringList {} << "/dev/ttyS0" << 115200 << "";
    QTest::newRow("bad speed") << QByteArray() << QStringList { "--speed", "fast" } << ""
                               << 0 << "--speed takes a number of bit/s";
}

void TestOptions::portAndSpeedFromTheFolder()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, args);
    QFETCH(QString, problem);
    ScratchDir scratch;
    QVERIFY(scratch.isValid());
    if (!file.isEmpty())
        QVERIFY(ScratchDir::writeSettingsFile(file));
    Options o;
    QVERIFY(o.parse(args, { "port", "speed" }, {}));
    QString port;
    int speed = 0;
    QString error;
    QCOMPARE(lineFromOptions(o, port, speed, error), problem.isEmpty());
    QCOMPARE(error, problem);
    if (problem.isEmpty()) {
        QTEST(port, "port");
        QTEST(speed, "speed");
    }
}

QTEST_MAIN(TestOptions)
#include "tst_options.moc"
