#include "options.h"
#include "scoperequest.h"
#include "scratchdir.h"
#include "settingsstore.h"

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
    QTest::newRow("-h is --help") << QStringList { "-h" } << "" << "help" << "";
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
    QTest::addColumn<QString>("problem"); // empty: parsed; else how the message begins
    QTest::addColumn<int>("tbIndex");
    QTest::addColumn<int>("gain1");
    QTest::addColumn<int>("gain2");
    QTest::addColumn<int>("trigWord");
    QTest::addColumn<int>("trigLevel");

    QTest::newRow("defaults") << QStringList {} << "" << 7 << 0 << 0 << 0 << 0;
    QTest::newRow("slowest time base")
        << QStringList { "--timebase", "50ms/dz" } << "" << 14 << 0 << 0 << 0 << 0;
    QTest::newRow("fastest with one channel")
        << QStringList { "--timebase", "2us/dz" } << "" << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("fastest two-channel base")
        << QStringList { "--channels", "2", "--timebase", "20us/dz" } << "" << 4 << 0 << 0 << 0
        << 0;
    QTest::newRow("too fast for two channels")
        << QStringList { "--channels", "2", "--timebase", "10us/dz" }
        << "time base 10us/dz needs --channels 1" << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("unknown time base, the valid ones named")
        << QStringList { "--timebase", "200us" }
        << "unknown time base \"200us\"; valid: 50ms/dz 20ms/dz 10ms/dz" << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("one gain for both")
        << QStringList { "--gain", "25mV/dz" } << "" << 7 << 6 << 6 << 0 << 0;
    QTest::newRow("a gain each")
        << QStringList { "--gain", "1V/dz,100mV/dz" } << "" << 7 << 1 << 4 << 0 << 0;
    QTest::newRow("three gains") << QStringList { "--gain", "1V/dz,1V/dz,1V/dz" }
                                 << "unknown gain \"1V/dz,1V/dz,1V/dz\"; valid: 2.5V/dz 1V/dz"
                                 << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("channels 3") << QStringList { "--channels", "3" }
                                << "--channels takes 1 or 2, not \"3\"" << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("no frames") << QStringList { "--frames", "0" }
                               << "--frames takes a number from 1 up" << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("frames not a number") << QStringList { "--frames", "3x" }
                                         << "--frames takes a number from 1 up, not \"3x\"" << 0
                                         << 0 << 0 << 0 << 0;
    QTest::newRow("format") << QStringList { "--format", "xml" }
                            << "--format takes csv or json, not \"xml\"" << 0 << 0 << 0 << 0 << 0;
    // The trigger word is the trigger controls' own: mode + 4 x edge + 8 x detector.
    QTest::newRow("single, rising, HF")
        << QStringList { "--trigger", "Single", "--edge", "Ris", "--detector", "HF" } << "" << 7
        << 0 << 0 << 3 + 4 + 8 << 0;
    QTest::newRow("unknown trigger") << QStringList { "--trigger", "norm" }
                                     << "unknown trigger \"norm\"; valid: ---- Norm Auto Single"
                                     << 0 << 0 << 0 << 0 << 0;
    QTest::newRow("unknown edge") << QStringList { "--edge", "up" }
                                  << "unknown edge \"up\"; valid: Fall Ris" << 0 << 0 << 0 << 0 << 0;
    // The level in volts, as steps of channel 1's range in the volts the
    // tables write: 40 mV at 2.5V/dz, 33.3 mV at 250mV/dz; halves round away from 0.
    QTest::newRow("level 1V at 2.5V/dz")
        << QStringList { "--trigger", "Norm", "--level", "1V" } << "" << 7 << 0 << 0 << 1 << 25;
    QTest::newRow("level in millivolts, rounded to a step")
        << QStringList { "--level", "-250mV" } << "" << 7 << 0 << 0 << 0 << -6;
    QTest::newRow("level with a space before its unit")
        << QStringList { "--level", "0.5 V" } << "" << 7 << 0 << 0 << 0 << 13;
    QTest::newRow("level at a finer range")
        << QStringList { "--gain", "250mV/dz", "--level", "100mV" } << "" << 7 << 3 << 3 << 0
        << 3;
    QTest::newRow("bare zero level") << QStringList { "--level", "0" } << "" << 7 << 0 << 0 << 0
                                     << 0;
    QTest::newRow("level without its unit")
        << QStringList { "--level", "200" }
        << "--level takes -20.44V .. 20.44V at 2.5V/dz (channel 1), with its unit, not \"200\"" << 0
        << 0 << 0 << 0 << 0;
    QTest::newRow("level beyond what the range can reach")
        << QStringList { "--gain", "1V/dz", "--level", "12V" } << "--level takes -" << 0 << 0 << 0
        << 0 << 0;
    QTest::newRow("timeout not a number") << QStringList { "--timeout", "soon" }
                                          << "--timeout takes seconds above 0, not \"soon\"" << 0
                                          << 0 << 0 << 0 << 0;
}

void TestOptions::scopeRequest()
{
    QFETCH(QStringList, args);
    QFETCH(QString, problem);
    ScratchDir scratch;
    QVERIFY(scratch.isValid());
    Options o;
    QVERIFY2(o.parse(args, ScopeRequest::valued(), {}), qPrintable(o.error()));
    ScopeRequest request;
    QString error;
    QCOMPARE(request.parse(o, error), problem.isEmpty());
    QVERIFY2(problem.isEmpty() ? error.isEmpty() : error.startsWith(problem), qPrintable(error));
    if (!problem.isEmpty())
        return;
    QTEST(request.tbIndex, "tbIndex");
    QTEST(request.gain1, "gain1");
    QTEST(request.gain2, "gain2");
    QTEST(request.trigWord, "trigWord");
    QTEST(request.trigLevel, "trigLevel");
}

void TestOptions::portAndSpeedFromTheFolder_data()
{
    // The system's first port, as a new settings.txt names it: "/dev/ttyS0"
    // here, "COM1" in the Windows build.
    const QString port = QString::fromLatin1(settingsstore::kDefaultContent).section('#', 1, 1);
    QTest::addColumn<QByteArray>("file"); // empty: no settings.txt
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("port");
    QTest::addColumn<int>("speed");
    QTest::addColumn<QString>("problem");
    QTest::addColumn<QString>("described"); // the port as the messages name it

    QTest::newRow("no settings.txt: the window's defaults")
        << QByteArray() << QStringList {} << port << 115200 << ""
        << port + " (the default: there is no settings.txt in this folder)";
    QTest::newRow("from settings.txt")
        << QByteArray("#\\\\.\\COM12#921600#6#ZOR") << QStringList {} << "\\\\.\\COM12" << 921600
        << "" << "\\\\.\\COM12 (from settings.txt in this folder)";
    QTest::newRow("a CRLF line end as Notepad saves it")
        << QByteArray("#COM3#19200#0#ZOR\r\n") << QStringList {} << "COM3" << 19200 << ""
        << "COM3 (from settings.txt in this folder)";
    QTest::newRow("options before the file")
        << QByteArray("#COM3#19200#0#ZOR") << QStringList { "--port", "COM4", "--speed", "57600" }
        << "COM4" << 57600 << "" << "COM4";
    QTest::newRow("file without fields: defaults")
        << QByteArray("nothing here") << QStringList {} << port << 115200 << ""
        << port + " (the default: settings.txt in this folder names no port)";
    QTest::newRow("the slowest speed") << QByteArray() << QStringList { "--speed", "19200" }
                                       << port << 19200 << ""
                                       << port + " (the default: there is no settings.txt in this folder)";
    QTest::newRow("the fastest speed") << QByteArray() << QStringList { "--speed=2500000" }
                                       << port << 2500000 << ""
                                       << port + " (the default: there is no settings.txt in this folder)";
    // The port would run these at 115200 while every wait is sized for them.
    const QString valid = QStringLiteral("; valid: 19200 38400 57600 115200 230400 460800 921600 "
                                         "1152000 1500000 2500000 (bit/s)");
    QTest::newRow("not a number") << QByteArray() << QStringList { "--speed", "fast" } << "" << 0
                                  << "unknown speed \"fast\"" + valid << "";
    QTest::newRow("a speed the device lacks") << QByteArray() << QStringList { "--speed", "9600" }
                                              << "" << 0 << "unknown speed \"9600\"" + valid << "";
    QTest::newRow("one the port could take") << QByteArray("#COM3#19200#0#ZOR")
                                             << QStringList { "--speed", "1000000" } << "" << 0
                                             << "unknown speed \"1000000\"" + valid << "";
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
    LineChoice line;
    QString error;
    QCOMPARE(lineFromOptions(o, line, error), problem.isEmpty());
    QCOMPARE(error, problem);
    if (problem.isEmpty()) {
        QTEST(line.port, "port");
        QTEST(line.speed, "speed");
        QTEST(line.described(), "described");
    }
}

QTEST_MAIN(TestOptions)
#include "tst_options.moc"
