#include "driverlog.h"
#include "fakedevice.h"
#include "serialdevice.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QtTest>

#include <atomic>
#include <QSemaphore>
#include <thread>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr auto kReadWrite = QIODevice::ReadWrite | QIODevice::Unbuffered;

// Anything that logs a warning fails the test: for rows that must stay quiet.
void failOnAnyWarning()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
}

// Messages about failed comm-event waits, from any thread.
std::atomic<int> waitErrors { 0 };
QtMessageHandler previousHandler = nullptr;

void countWaitErrors(QtMsgType type, const QMessageLogContext &context, const QString &text)
{
    if (text.contains(QStringLiteral("WaitCommEvent")))
        waitErrors.fetch_add(1);
    previousHandler(type, context, text);
}

speed_t slaveSpeed(const QString &path)
{
    const int fd = ::open(path.toLatin1().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios t {};
    ::tcgetattr(fd, &t);
    ::close(fd);
    return ::cfgetospeed(&t);
}

} // namespace

class TestWinSerialDevice : public QObject {
    Q_OBJECT
private slots:
    void init();

    void baudRateCodeSetsRateAndStoresSubstitute_data();
    void baudRateCodeSetsRateAndStoresSubstitute();
    void baudRateSetWhileClosedReachesTheLineAtOpen();
    void sameBaudRateTwiceWritesTwiceAndWarnsTwice();
    void baudRateCodeAbove27KeepsRateButWritesConfiguration();
    void dataAndStopBitsRefuseInvalidPairs_data();
    void dataAndStopBitsRefuseInvalidPairs();
    void parityCodeSetsParityFields_data();
    void parityCodeSetsParityFields();
    void flowControlCodeSetsHandshakeFields_data();
    void flowControlCodeSetsHandshakeFields();
    void timeoutSetsCommTimeouts_data();
    void timeoutSetsCommTimeouts();
    void timeoutSetWhileClosedReachesTheLineAtOpen();

    void openTakesDriverStateAndMakesItRaw();
    void openOfAnOpenPortFailsAndChangesNothing();
    void closeOfClosedPortDoesNothing();
    void portNameReachesCreateFileUnchanged();
    void busyPortFailsToOpen();

    void readOnSilentLineReturnsNothingAfterTimeout();
    void shortReadReturnsWhatCame();
    void failedReadAndWriteSetLastError();
    void translateErrorTakesFirstMatch_data();
    void translateErrorTakesFirstMatch();
    void atEndOnlyWhenNothingWaits();
    void readLineStopsAfterLineFeed();
    void lineStatusMapsModemLines();

    void failedCommMaskReleasesThePort();
    void eventThreadReportsArrivalsAndDsr();
    void eventThreadSurvivesFailedWait();
    void eventDrivenWritesReleaseTheirEvents();

    void lineSettingsConstructorsApplySettersInOrder_data();
    void lineSettingsConstructorsApplySettersInOrder();
    void readEndsAsEachTimeoutFormSays_data();
    void readEndsAsEachTimeoutFormSays();
    void pendingReadWaitsForItsBytes();
    void pendingWriteIsSeenOutBeforeTheNext();
    void closeAbortsAWriteTheDeviceDoesNotTake();
    void closeRacingTheEventThreadsWaitEndsIt_data();
    void closeRacingTheEventThreadsWaitEndsIt();
    void failingWaitIsReportedOnceAndRetriedSlowly();
};

void TestWinSerialDevice::init()
{
    DriverLog::reset();
}

void TestWinSerialDevice::baudRateCodeSetsRateAndStoresSubstitute_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("stored");
    QTest::addColumn<quint32>("rate");
    QTest::addColumn<QString>("warning");

    const QString switching = QStringLiteral(
        "WinSerialDevice: Windows does not support %1 baud operation.  Switching to %2 baud.");
    const QString posix
        = QStringLiteral("WinSerialDevice Portability Warning: POSIX does not support %1 baud "
                         "operation.");
    QTest::newRow("50 -> 110") << 0 << 2 << 110u << switching.arg("50", "110");
    QTest::newRow("75 -> 110") << 1 << 2 << 110u << switching.arg("75", "110");
    QTest::newRow("110") << 2 << 2 << 110u << QString();
    QTest::newRow("134.5 -> 110") << 3 << 2 << 110u << switching.arg("134.5", "110");
    QTest::newRow("150 -> 110") << 4 << 2 << 110u << switching.arg("150", "110");
    QTest::newRow("200 -> 110") << 5 << 2 << 110u << switching.arg("200", "110");
    QTest::newRow("300") << 6 << 6 << 300u << QString();
    QTest::newRow("600") << 7 << 7 << 600u << QString();
    QTest::newRow("1200") << 8 << 8 << 1200u << QString();
    QTest::newRow("1800 -> 1200") << 9 << 8 << 1200u << switching.arg("1800", "1200");
    QTest::newRow("2400") << 10 << 10 << 2400u << QString();
    QTest::newRow("4800") << 11 << 11 << 4800u << QString();
    QTest::newRow("9600") << 12 << 12 << 9600u << QString();
    QTest::newRow("14400") << 13 << 13 << 14400u << posix.arg("14400");
    QTest::newRow("19200") << 14 << 14 << 19200u << QString();
    QTest::newRow("38400") << 15 << 15 << 38400u << QString();
    QTest::newRow("56000") << 16 << 16 << 56000u << posix.arg("56000");
    QTest::newRow("57600") << 17 << 17 << 57600u << QString();
    QTest::newRow("76800 -> 57600") << 18 << 17 << 57600u << switching.arg("76800", "57600");
    QTest::newRow("115200") << 19 << 19 << 115200u << QString();
    QTest::newRow("128000") << 20 << 20 << 128000u << posix.arg("128000");
    QTest::newRow("256000 before 230400") << 21 << 21 << 256000u << posix.arg("256000");
    QTest::newRow("230400") << 22 << 22 << 230400u << QString();
    QTest::newRow("460800") << 23 << 23 << 460800u << QString();
    QTest::newRow("921600") << 24 << 24 << 921600u << QString();
    QTest::newRow("1152000") << 25 << 25 << 1152000u << QString();
    QTest::newRow("1500000") << 26 << 26 << 1500000u << QString();
    QTest::newRow("2500000") << 27 << 27 << 2500000u << QString();
}

void TestWinSerialDevice::baudRateCodeSetsRateAndStoresSubstitute()
{
    QFETCH(int, code);
    QFETCH(int, stored);
    QFETCH(quint32, rate);
    QFETCH(QString, warning);
    FakeDevice device;
    SerialDevice port(device.slavePath(), SerialDevice::kPolling);
    QVERIFY(port.open(kReadWrite));
    const int before = DriverLog::record().configWrites;

    if (warning.isEmpty())
        failOnAnyWarning();
    else
        QTest::ignoreMessage(QtWarningMsg, warning.toLatin1().constData());
    port.setBaudRate(code);

    QCOMPARE(port.baudRate(), stored);
    const auto record = DriverLog::record();
    QCOMPARE(record.configWrites, before + 1);
    QCOMPARE(record.lastConfig.BaudRate, rate);
    QCOMPARE(record.configRefusals, 0); // also the rates without a Linux constant
}

void TestWinSerialDevice::baudRateSetWhileClosedReachesTheLineAtOpen()
{
    FakeDevice device;
    SerialDevice port(device.slavePath(), SerialDevice::kPolling);
    port.setBaudRate(22);
    QCOMPARE(port.baudRate(), 22);
    QCOMPARE(DriverLog::record().configWrites, 0);

    QVERIFY(port.open(kReadWrite));
    QCOMPARE(DriverLog::record().lastConfig.BaudRate, 230400u);
    QCOMPARE(slaveSpeed(device.slavePath()), speed_t(B230400));
}

void TestWinSerialDevice::sameBaudRateTwiceWritesTwiceAndWarnsTwice()
{
    FakeDevice device;
    SerialDevice port(device.slavePath(), SerialDevice::kPolling);
    QVERIFY(port.open(kReadWrite));
    const int before = DriverLog::record().configWrites;
    const char *warning = "WinSerialDevice: Windows does not support 76800 baud operation.  "
                          "Switching to 57600 baud.";
    QTest::ignoreMessage(QtWarningMsg, warning);
    QTest::ignoreMessage(QtWarningMsg, warning);
    port.setBaudRate(18);
    port.setBaudRate(18);
    QCOMPARE(DriverLog::record().configWrites, before + 2);
    QCOMPARE(port.baudRate(), 17);
}

void TestWinSerialDevice::baudRateCodeAbove27KeepsRateButWritesConfiguration()
{
    FakeDevice device;
    SerialDevice port(device.slavePath(), SerialDevice::kPolling);
    QVERIFY(port.open(kReadWrite));
    port.setBaudRate(24);
    const int before = DriverLog::record().configWrites;
    port.setBaudRate(28);
    const auto record = DriverLog::record();
    QCOMPARE(record.configWrites, before + 1);
    QCOMPARE(record.lastConfig.BaudRate, 921600u);
}

void TestWinSerialDevice::dataAndStopBitsRefuseInvalidPairs_data()
{
    QTest::addColumn<int>("data");
    QTest::addColumn<int>("stop");
    QTest::addColumn<bool>("setStop");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("storedData");
    QTest::addColumn<int>("storedStop");
    QTest::addColumn<QStringList>("warnings");
    QTest::addColumn<bool>("written");
    QTest::addColumn<int>("byteSize");
    QTest::addColumn<int>("stopField");

    const QString posix15 = QStringLiteral(
        "WinSerialDevice Portability Warning: 1.5 stop bit operation is not supported by POSIX.");
    QTest::newRow("2 stop bits with 5 data bits")
        << 0 << 0 << true << 2 << 0 << 0
        << QStringList { "WinSerialDevice: 2 stop bits cannot be used with 5 data bits" } << false
        << 5 << int(ONESTOPBIT);
    QTest::newRow("2 stop bits with 6 data bits")
        << 1 << 0 << true << 2 << 1 << 2 << QStringList {} << true << 6 << int(TWOSTOPBITS);
    QTest::newRow("1.5 stop bits with 8 data bits")
        << 3 << 0 << true << 1 << 3 << 0
        << QStringList { posix15,
               "WinSerialDevice: 1.5 stop bits can only be used with 5 data bits" }
        << false << 8 << int(ONESTOPBIT);
    QTest::newRow("1.5 stop bits with 5 data bits")
        << 0 << 0 << true << 1 << 0 << 1 << QStringList { posix15 } << true << 5
        << int(ONE5STOPBITS);
    QTest::newRow("5 data bits with 2 stop bits")
        << 3 << 2 << false << 0 << 3 << 2
        << QStringList { "WinSerialDevice: 5 Data bits cannot be used with 2 stop bits." } << false
        << 8 << int(TWOSTOPBITS);
    QTest::newRow("6 data bits with 1.5 stop bits")
        << 0 << 1 << false << 1 << 0 << 1
        << QStringList { "WinSerialDevice: 6 Data bits cannot be used with 1.5 stop bits." }
        << false << 5 << int(ONE5STOPBITS);
    QTest::newRow("8 data bits with 1.5 stop bits")
        << 0 << 1 << false << 3 << 0 << 1
        << QStringList { "WinSerialDevice: 8 Data bits cannot be used with 1.5 stop bits." }
        << false << 5 << int(ONE5STOPBITS);
    QTest::newRow("7 data bits with one stop bit")
        << 3 << 0 << false << 2 << 2 << 0 << QStringList {} << true << 7 << int(ONESTOPBIT);
    QTest::newRow("5 data bits with one stop bit")
        << 3 << 0 << false << 0 << 0 << 0 << QStringList {} << true << 5 << int(ONESTOPBIT);
}

void TestWinSerialDevice::dataAndStopBitsRefuseInvalidPairs()
{
    QFETCH(int, data);
    QFETCH(int, stop);
    QFETCH(bool, setStop);
    QFETCH(int, code);
    QFETCH(int, storedData);
    QFETCH(int, storedStop);
    QFETCH(QStringList, warnings);
    QFETCH(bool, written);
    QFETCH(int, byteSize);
    QFETCH(int, stopField);

    FakeDevice device;
    SerialDevice port(device.slavePath(), SerialDevice::kPolling);
    port.setDataBits(data);
    port.setStopBits(stop);
    QCOMPARE(port.dataBits(), data);
    QCOMPARE(port.stopBits(), stop);
    if (stop == 1)
        QTest::ignoreMessage(QtWarningMsg,
            "WinSerialDevice Portability Warning: 1.5 stop bit "
            "operation is not supported by POSIX.");
    QVERIFY(port.open(kReadWrite));
    const int before = DriverLog::record().configWrites;

    if (warnings.isEmpty())
        failOnAnyWarning();
    for (const QString &warning : warnings)
        QTest::ignoreMessage(QtWarningMsg, warning.toLatin1().constData());
    if (setStop)
        port.setStopBits(code);
    else
        port.setDataBits(code);

    QCOMPARE(port.dataBits(), storedData);
    QCOMPARE(port.stopBits(), storedStop);
    const auto record = DriverLog::record();
    QCOMPARE(record.configWrites, before + (written ? 1 : 0));
    QCOMPARE(int(record.lastConfig.ByteSize), byteSize);
    QCOMPARE(int(record.lastConfig.StopBits), stopField);
}

void TestWinSerialDevice::parityCodeSetsParityFields_data()
{
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("parityCheck");
    QTest::addColumn<QString>("warning");

    QTest::newRow("none") << 3 << 0 << false << QString();
    QTest::newRow("odd") << 3 << 1 << true << QString();
    QTest::newRow("even") << 3 << 2 << true << QString();
    QTest::newRow("mark, two blanks after the colon")
        << 3 << 3 << true
        << QStringLiteral(
               "WinSerialDevice Portability Warning:  Mark parity is not supported by POSIX "
               "systems");
    QTest::newRow("space with 8 data bits")
        << 3 << 4 << true
        << QStringLiteral("WinSerialDevice Portability Warning: Space parity with 8 data bits is "
                          "not supported by POSIX systems.");
    QTest::newRow("space with 7 data bits") << 2 << 4 << true << QString();
}

void TestWinSerialDevice::parityCodeSetsParityFields()
{
    QFETCH(int, dataBits);
    QFETCH(int, code);
    QFETCH(bool, parityCheck);
    QFETCH(QString, warning);
    FakeDevice device;
    SerialDevice port(device.slavePath(), SerialDevice::kPolling);
    port.setDataBits(dataBits);
    QVERIFY(port.open(kReadWrite));
    // Start from the opposite parity check, so the row must change it.
    if (!parityCheck)
        port.setParity(2);
    const int before = DriverLog::record().configWrites;

    if (warning.isEmpty())
        failOnAnyWarning();
    else
        QTest::ignoreMessage(QtWarningMsg, warning.toLatin1().constData());
    port.setParity(code);

    QCOMPARE(port.parity(), code);
    const auto record = DriverLog::record();
    QCOMPARE(record.configWrites, before + 1);
    QCOMPARE(int(record.lastConfig.Parity), code);
    QCOMPARE(bool(record.lastConfig.fParity), parityCheck);
}

void TestWinSerialDevice::flowControlCodeSetsHandshakeFields_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("written");
    QTest::addColumn<bool>("cts");
    QTest::addColumn<int>("rts");
    QTest::addColumn<bool>("xonXoff");

    QTest::newRow("off") << 0 << true << false << int(RTS_CONTROL_DISABLE) << false;
    QTest::newRow("hardware") << 1 << true << true << int(RTS_CONTROL_HANDSHAKE) << false;
    QTest::newRow("xon/xoff") << 2 << true << false << int(RTS_CONTROL_DISABLE) << true;
    QTest::newRow("unknown code leaves the line")
        << 3 << false << true << int(RTS_CONTROL_HANDSHAKE) << false;
}

void TestWinSerialDevice::flowControlCodeSetsHandshakeFields()
{
    QFETCH(int, code);
    QFETCH(bool, written);
    QFETCH(bool, cts);
    QFETCH(int, rts);
    QFETCH(bool, xonXoff);
    DCB defaults = DriverLog::driverDefaults();
    defaults.fDtrControl = DTR_CONTROL_HANDSHAKE;
    DriverLog::setDriverDefaults(defaults);
    FakeDevice device;
    SerialDevice port(device.slavePath(), SerialDevice::kPolling);
    QVERIFY(port.open(kReadWrite)); // opens with hardware flow control, the default
    const int before = DriverLog::record().configWrites;

    port.setFlowControl(code);

    QCOMPARE(port.flowControl(), code);
    const auto record = DriverLog::record();
    QCOMPARE(record.configWrites, before + (written ? 1 : 0));
    QCOMPARE(bool(record.lastConfig.fOutxCtsFlow), cts);
    QCOMPARE(int(record.lastConfig.fRtsControl), rts);
    QCOMPARE(bool(record.lastConfig.fOutX), xonXoff);
    QCOMPARE(bool(record.lastConfig.fInX), xonXoff);
    QCOMPARE(int(record.lastConfig.fDtrControl), int(DTR_CONTROL_HANDSHAKE));
}

void TestWinSerialDevice::timeoutSetsCommTimeouts_data()
{
    QTest::addColumn<int>("ms");
    QTest::addColumn<quint32>("interval");
    QTest::addColumn<quint32>("total");
    QTest::addColumn<quint32>("writePerByte");

    QTest::newRow("-1 returns at once") << -1 << MAXDWORD << 0u << MAXDWORD;
    QTest::newRow("500 ms") << 500 << 500u << 500u << 500u;
    QTest::newRow("0 ms") << 0 << 0u << 0u << 0u;
}

void TestWinSerialDevice::timeoutSetsCommTimeouts()
{
    QFETCH(int, ms);
    QFETCH(quint32, interval);
    QFETCH(quint32, total);
    QFETCH(quint32, writePerByte);
    FakeDevice device;
    SerialDevice port(device.slavePath(), SerialDevice::kPolling);
    QVERIFY(port.open(kReadWrite));
    const int before = DriverLog::record().timeoutWrites;

    port.setTimeout(ms);

    const auto record = DriverLog::record();
    QCOMPARE(record.timeoutWrites, before + 1);
    QCOMPARE(record.lastTimeouts.ReadIntervalTimeout, interval);
    QCOMPARE(record.lastTimeouts.ReadTotalTimeoutConstant, total);
    QCOMPARE(record.lastTimeouts.ReadTotalTimeoutMultiplier, 0u);
    QCOMPARE(record.lastTimeouts.WriteTotalTimeoutMultiplier, writePerByte);
    QCOMPARE(record.lastTimeouts.WriteTotalTimeoutConstant, 0u);
}

void TestWinSerialDevice::timeoutSetWhileClosedReachesTheLineAtOpen()
{
    FakeDevice device;
    SerialDevice port(device.slavePath(), SerialDevice::kPolling);
    port.setTimeout(250);
    QCOMPARE(DriverLog::record().timeoutWrites, 0); // no line yet
    QVERIFY(port.open(kReadWrite));
    QCOMPARE(DriverLog::record().lastTimeouts.ReadTotalTimeoutConstant, 250u);
}

void TestWinSerialDevice::openTakesDriverStateAndMakesItRaw()
{
    DCB defaults = DriverLog::driverDefaults();
    defaults.fBinary = 0;
    defaults.fInX = 1;
    defaults.fOutX = 1;
    defaults.fNull = 1;
    defaults.fAbortOnError = 1;
    defaults.fDtrControl = DTR_CONTROL_DISABLE;
    defaults.XonLim = 1234;
    DriverLog::setDriverDefaults(defaults);
    FakeDevice device;
    SerialDevice port(device.slavePath(), SerialDevice::kPolling);

    failOnAnyWarning();
    QVERIFY(port.open(kReadWrite));

    const auto record = DriverLog::record();
    QCOMPARE(record.configWrites, 1);
    const DCB &dcb = record.lastConfig;
    QCOMPARE(int(dcb.fBinary), 1);
    QCOMPARE(int(dcb.fInX), 0);
    QCOMPARE(int(dcb.fOutX), 0);
    QCOMPARE(int(dcb.fNull), 0);
    QCOMPARE(int(dcb.fAbortOnError), 0);
    QCOMPARE(int(dcb.fDtrControl), int(DTR_CONTROL_DISABLE)); // the driver's, kept
    QCOMPARE(int(dcb.XonLim), 1234);
    // The stored defaults: 115200 8N1 with hardware flow control.
    QCOMPARE(dcb.BaudRate, 115200u);
    QCOMPARE(int(dcb.ByteSize), 8);
    QCOMPARE(int(dcb.Parity), int(NOPARITY));
    QCOMPARE(int(dcb.StopBits), int(ONESTOPBIT));
    QCOMPARE(int(dcb.fOutxCtsFlow), 1);
    QCOMPARE(record.lastTimeouts.ReadTotalTimeoutConstant, 500u);
    QCOMPARE(port.openMode(), QIODevice::OpenMode(kReadWrite));
}

void TestWinSerialDevice::openOfAnOpenPortFailsAndChangesNothing()
{
    FakeDevice device;
    SerialDevice port(device.slavePath(), SerialDevice::kPolling);
    QVERIFY(port.open(kReadWrite));
    const int handles = DriverLog::liveHandles();
    QVERIFY(!port.open(QIODevice::ReadOnly));
    QVERIFY(port.isOpen());
    QCOMPARE(port.openMode(), QIODevice::OpenMode(kReadWrite));
    QCOMPARE(DriverLog::record().createdNames.size(), std::size_t(1));
    QCOMPARE(DriverLog::liveHandles(), handles);
    // A "not open" mode only tells whether the port is open.
    QVERIFY(port.open(QIODevice::NotOpen));
}

void TestWinSerialDevice::closeOfClosedPortDoesNothing()
{
    FakeDevice device;
    SerialDevice port(device.slavePath(), SerialDevice::kPolling);
    const int handles = DriverLog::liveHandles();
    port.close();
    QCOMPARE(DriverLog::liveHandles(), handles);
    QVERIFY(port.open(kReadWrite));
    port.close();
    port.close();
    QVERIFY(!port.isOpen());
    QCOMPARE(DriverLog::liveHandles(), handles);
    // Closed cleanly: the port can be opened again.
    QVERIFY(port.open(kReadWrite));
}

void TestWinSerialDevice::portNameReachesCreateFileUnchanged()
{
    SerialDevice port(QStringLiteral("COM12"), SerialDevice::kPolling);
    QVERIFY(!port.open(kReadWrite));
    QVERIFY(!port.isOpen());
    const auto names = DriverLog::record().createdNames;
    QCOMPARE(names.size(), std::size_t(1));
    QCOMPARE(QString::fromStdString(names.front()), QStringLiteral("COM12"));

    SerialDevice fallback;
    QCOMPARE(fallback.portName(), QStringLiteral("COM1"));
}

void TestWinSerialDevice::busyPortFailsToOpen()
{
    FakeDevice device;
    SerialDevice first(device.slavePath(), SerialDevice::kPolling);
    SerialDevice second(device.slavePath(), SerialDevice::kPolling);
    QVERIFY(first.open(kReadWrite));
    QVERIFY(!second.open(kReadWrite));
    first.close();
    QVERIFY(second.open(kReadWrite));
}

void TestWinSerialDevice::readOnSilentLineReturnsNothingAfterTimeout()
{
    FakeDevice device;
    SerialDevice port(device.slavePath(), SerialDevice::kPolling);
    QVERIFY(port.open(kReadWrite));
    port.setTimeout(500);
    char buffer[2050];
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(port.read(buffer, sizeof buffer), qint64(0));
    QVERIFY2(clock.elapsed() >= 450, qPrintable(QString::number(clock.elapsed())));
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
}

void TestWinSerialDevice::shortReadReturnsWhatCame()
{
    FakeDevice device;
    SerialDevice port(device.slavePath(), SerialDevice::kPolling);
    QVERIFY(port.open(kReadWrite));
    port.setTimeout(100);
    device.send("abc");
    char buffer[2050];
    QCOMPARE(port.read(buffer, sizeof buffer), qint64(3));
    QCOMPARE(QByteArray(buffer, 3), QByteArray("abc"));
    QCOMPARE(port.write("xyz", 3), qint64(3));
    QCOMPARE(device.read(3), QByteArray("xyz"));
}

void TestWinSerialDevice::failedReadAndWriteSetLastError()
{
    FakeDevice device;
    SerialDevice port(device.slavePath(), SerialDevice::kPolling);
    QVERIFY(port.open(kReadWrite));
    QCOMPARE(port.lastError(), SerialDevice::kNoError);
    char c = 0;
    DriverLog::failNext(DriverLog::Call::ReadFile, ERROR_BAD_COMMAND);
    QCOMPARE(port.read(&c, 1), qint64(-1));
    QCOMPARE(port.lastError(), SerialDevice::kReadFailed);
    DriverLog::failNext(DriverLog::Call::WriteFile, ERROR_BAD_COMMAND);
    QCOMPARE(port.write("w", 1), qint64(-1));
    QCOMPARE(port.lastError(), SerialDevice::kWriteFailed);
}

void TestWinSerialDevice::translateErrorTakesFirstMatch_data()
{
    QTest::addColumn<quint32>("flags");
    QTest::addColumn<int>("code");

    QTest::newRow("break before framing") << (CE_BREAK | CE_FRAME) << SerialDevice::kBreak;
    QTest::newRow("framing before i/o") << (CE_FRAME | CE_IOE) << SerialDevice::kFramingError;
    QTest::newRow("i/o before mode") << (CE_IOE | CE_MODE) << SerialDevice::kIoError;
    QTest::newRow("mode before overrun") << (CE_MODE | CE_OVERRUN) << SerialDevice::kModeError;
    QTest::newRow("overrun before parity") << (CE_OVERRUN | CE_RXPARITY) << SerialDevice::kOverrun;
    QTest::newRow("parity before overflow")
        << (CE_RXPARITY | CE_RXOVER) << SerialDevice::kParityError;
    QTest::newRow("overflow before full")
        << (CE_RXOVER | CE_TXFULL) << SerialDevice::kReceiveOverflow;
    QTest::newRow("transmit queue full") << CE_TXFULL << SerialDevice::kTransmitFull;
    QTest::newRow("nothing leaves the code") << 0u << SerialDevice::kReadFailed;
}

void TestWinSerialDevice::translateErrorTakesFirstMatch()
{
    QFETCH(quint32, flags);
    QFETCH(int, code);
    FakeDevice device;
    SerialDevice port(device.slavePath(), SerialDevice::kPolling);
    QVERIFY(port.open(kReadWrite));
    char c = 0;
    DriverLog::failNext(DriverLog::Call::ReadFile, ERROR_BAD_COMMAND);
    QCOMPARE(port.read(&c, 1), qint64(-1));

    port.translateError(flags);
    QCOMPARE(port.lastError(), code);
}

void TestWinSerialDevice::atEndOnlyWhenNothingWaits()
{
    FakeDevice device;
    SerialDevice port(device.slavePath(), SerialDevice::kPolling);
    QVERIFY(port.open(kReadWrite));
    QVERIFY(port.atEnd());
    device.send("x");
    QTRY_COMPARE(port.size(), qint64(1));
    QVERIFY(!port.atEnd());
    // The driver's error flags come back through bytesAvailable.
    DriverLog::injectCommErrors(CE_OVERRUN);
    QCOMPARE(port.bytesAvailable(), qint64(1));
    QCOMPARE(port.lastError(), SerialDevice::kOverrun);
    QCOMPARE(port.bytesAvailable(), qint64(1));
    QCOMPARE(port.lastError(), SerialDevice::kNoError);
}

void TestWinSerialDevice::readLineStopsAfterLineFeed()
{
    FakeDevice device;
    SerialDevice port(device.slavePath(), SerialDevice::kPolling);
    QVERIFY(port.open(kReadWrite));
    device.send("ab\ncd");
    QTRY_COMPARE(port.size(), qint64(5));
    char line[16];
    QCOMPARE(port.readLine(line, sizeof line), qint64(3));
    QCOMPARE(QByteArray(line), QByteArray("ab\n"));
    QCOMPARE(port.readLine(line, 2), qint64(1)); // room for one byte and the zero
    QCOMPARE(QByteArray(line), QByteArray("c"));
    QCOMPARE(port.readLine(line, 1), qint64(-1));
    QCOMPARE(port.readLine(line, sizeof line), qint64(1));
    QCOMPARE(QByteArray(line), QByteArray("d"));
}

void TestWinSerialDevice::lineStatusMapsModemLines()
{
    FakeDevice device;
    SerialDevice port(device.slavePath(), SerialDevice::kPolling);
    DriverLog::setModemStatus(MS_CTS_ON | MS_DSR_ON | MS_RING_ON | MS_RLSD_ON);
    QCOMPARE(port.lineStatus(), 0ul); // closed
    QVERIFY(port.open(kReadWrite));
    DriverLog::setModemStatus(MS_CTS_ON | MS_RLSD_ON);
    QCOMPARE(port.lineStatus(), SerialDevice::kLineCts | SerialDevice::kLineDcd);
    DriverLog::setModemStatus(MS_DSR_ON | MS_RING_ON);
    QCOMPARE(port.lineStatus(), SerialDevice::kLineDsr | SerialDevice::kLineRing);
    port.setDtr(true);
    port.setRts(false);
    const auto escapes = DriverLog::record().escapes;
    QCOMPARE(escapes, (std::vector<DWORD> { SETDTR, CLRRTS }));
}

void TestWinSerialDevice::failedCommMaskReleasesThePort()
{
    FakeDevice device;
    SerialDevice port(device.slavePath(), SerialDevice::kEventDriven);
    const int handles = DriverLog::liveHandles();
    DriverLog::failNext(DriverLog::Call::SetCommMask, ERROR_GEN_FAILURE);
    QTest::ignoreMessage(QtWarningMsg, "Failed to set Comm Mask. Error code: 31");
    QVERIFY(!port.open(kReadWrite));
    QVERIFY(!port.isOpen());
    QCOMPARE(DriverLog::liveHandles(), handles);
    QVERIFY(port.open(kReadWrite));
    QCOMPARE(DriverLog::record().commMasks.back(), DWORD(EV_RXCHAR | EV_TXEMPTY | EV_DSR));
}

void TestWinSerialDevice::eventThreadReportsArrivalsAndDsr()
{
    FakeDevice device;
    SerialDevice port(device.slavePath(), SerialDevice::kEventDriven);
    QObject receiver;
    int arrivals = 0;
    QList<bool> dsr;
    connect(
        &port, &QIODevice::readyRead, &receiver, [&] { ++arrivals; }, Qt::QueuedConnection);
    connect(
        &port, &SerialDeviceBase::dsrChanged, &receiver, [&](bool on) { dsr.append(on); },
        Qt::QueuedConnection);
    QVERIFY(port.open(kReadWrite));
    // Event-driven reads return at once with what has come.
    QCOMPARE(DriverLog::record().lastTimeouts.ReadIntervalTimeout, MAXDWORD);
    char buffer[16];
    QCOMPARE(port.read(buffer, sizeof buffer), qint64(0));

    device.send("hello");
    QTRY_VERIFY(arrivals >= 1);
    QCOMPARE(port.read(buffer, sizeof buffer), qint64(5));
    QCOMPARE(QByteArray(buffer, 5), QByteArray("hello"));

    QTest::qWait(20); // the thread notes the DSR line as it is
    DriverLog::setModemStatus(MS_DSR_ON);
    QTRY_COMPARE(dsr, QList<bool> { true });

    QElapsedTimer clock;
    clock.start();
    port.close();
    QVERIFY(!port.isOpen());
    QVERIFY2(clock.elapsed() < 2000, "close waits for the event thread, which must wake");
}

void TestWinSerialDevice::eventThreadSurvivesFailedWait()
{
    FakeDevice device;
    SerialDevice port(device.slavePath(), SerialDevice::kEventDriven);
    QObject receiver;
    int arrivals = 0;
    connect(
        &port, &QIODevice::readyRead, &receiver, [&] { ++arrivals; }, Qt::QueuedConnection);
    QTest::ignoreMessage(QtCriticalMsg, "WaitCommEvent error 31\n");
    DriverLog::failNext(DriverLog::Call::WaitCommEvent, ERROR_GEN_FAILURE);
    QVERIFY(port.open(kReadWrite));
    device.send("x");
    QTRY_VERIFY(arrivals >= 1);
    port.close();
    QVERIFY(!port.isOpen());
}

void TestWinSerialDevice::eventDrivenWritesReleaseTheirEvents()
{
    FakeDevice device;
    SerialDevice port(device.slavePath(), SerialDevice::kEventDriven);
    QObject receiver;
    qint64 reported = 0;
    connect(
        &port, &QIODevice::bytesWritten, &receiver, [&](qint64 n) { reported += n; },
        Qt::QueuedConnection);
    QVERIFY(port.open(kReadWrite));
    const int events = DriverLog::liveEvents();

    QCOMPARE(port.write("abc", 3), qint64(3));
    QCOMPARE(port.write("def", 3), qint64(3));
    QCOMPARE(port.write("ghi", 3), qint64(3));
    QCOMPARE(device.read(9), QByteArray("abcdefghi"));
    QTRY_COMPARE(reported, qint64(9));
    QTRY_COMPARE(DriverLog::liveEvents(), events);
    QCOMPARE(port.bytesToWrite(), qint64(0));

    QCOMPARE(port.write("jkl", 3), qint64(3));
    port.close();
    QCOMPARE(DriverLog::liveEvents(), events);
    QCOMPARE(port.bytesToWrite(), qint64(0));
}

void TestWinSerialDevice::lineSettingsConstructorsApplySettersInOrder_data()
{
    QTest::addColumn<bool>("named");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<int>("flow");
    QTest::addColumn<QVector<int>>("stored"); // baud, data, parity, stop, flow

    // Data bits go before stop bits: 5 bits then 2 stop bits refuses the
    // stop bits; 1.5 stop bits need the 5 data bits set first.
    QTest::newRow("5 bits, then 2 stop bits refused") << true << 18 << 0 << 0 << 2 << 2
                                                      << QVector<int> { 17, 0, 0, 0, 2 };
    QTest::newRow("5 bits, then 1.5 stop bits") << false << 9 << 0 << 3 << 1 << 0
                                                << QVector<int> { 8, 0, 3, 1, 0 };
    QTest::newRow("8 bits, 1.5 stop bits refused") << true << 27 << 3 << 2 << 1 << 1
                                                   << QVector<int> { 27, 3, 2, 0, 1 };
}

void TestWinSerialDevice::lineSettingsConstructorsApplySettersInOrder()
{
    QFETCH(bool, named);
    QFETCH(int, baud);
    QFETCH(int, dataBits);
    QFETCH(int, parity);
    QFETCH(int, stopBits);
    QFETCH(int, flow);
    QFETCH(QVector<int>, stored);
    const LineSettings wanted { baud, dataBits, parity, stopBits, flow, 250 };
    const auto port = named
        ? std::make_unique<SerialDevice>(QStringLiteral("COM12"), wanted, SerialDevice::kPolling)
        : std::make_unique<SerialDevice>(wanted, SerialDevice::kEventDriven);
    QCOMPARE(port->portName(), named ? QStringLiteral("COM12") : QStringLiteral("COM1"));
    QCOMPARE((QVector<int> { port->baudRate(), port->dataBits(), port->parity(), port->stopBits(),
                 port->flowControl() }),
        stored);
    QVERIFY(!port->isOpen());
}

void TestWinSerialDevice::readEndsAsEachTimeoutFormSays_data()
{
    QTest::addColumn<quint32>("interval");
    QTest::addColumn<quint32>("multiplier");
    QTest::addColumn<quint32>("constant");
    QTest::addColumn<QByteArray>("sent"); // "|" is a 500 ms pause of the device
    QTest::addColumn<QByteArray>("read");
    QTest::addColumn<int>("atLeastMs");
    QTest::addColumn<int>("belowMs");

    const quint32 max = MAXDWORD;
    QTest::newRow("total on a quiet line") << 0u << 0u << 200u << QByteArray() << QByteArray()
                                           << 150 << 1500;
    QTest::newRow("interval ends after a gap") << 100u << 0u << 3000u << QByteArray("ab|cd")
                                               << QByteArray("ab") << 0 << 450;
    QTest::newRow("MAXDWORD interval alone: at once") << max << 0u << 0u << QByteArray()
                                                      << QByteArray() << 0 << 100;
    QTest::newRow("MAXDWORD/MAXDWORD/constant: first byte")
        << max << max << 2000u << QByteArray("|x") << QByteArray("x") << 400 << 1500;
    QTest::newRow("MAXDWORD/MAXDWORD/constant: quiet")
        << max << max << 300u << QByteArray() << QByteArray() << 250 << 1500;
}

// The stand-in's reads, through the library, under each COMMTIMEOUTS form.
void TestWinSerialDevice::readEndsAsEachTimeoutFormSays()
{
    QFETCH(quint32, interval);
    QFETCH(quint32, multiplier);
    QFETCH(quint32, constant);
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, read);
    QFETCH(int, atLeastMs);
    QFETCH(int, belowMs);
    FakeDevice device;
    SerialDevice port(device.slavePath(), SerialDevice::kPolling);
    QVERIFY(port.open(kReadWrite));
    port.setCommTimeouts(COMMTIMEOUTS { interval, multiplier, constant, 0, 0 });
    std::thread play([&] {
        const QList<QByteArray> parts = sent.split('|');
        for (int i = 0; i < parts.size(); ++i) {
            if (i > 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(500));
            device.send(parts[i]);
        }
    });
    if (!sent.startsWith('|'))
        QTest::qWait(50); // what comes at once is there before the read
    char buffer[16] {};
    QElapsedTimer clock;
    clock.start();
    const qint64 got = port.read(buffer, sizeof buffer);
    const qint64 took = clock.elapsed();
    play.join();
    qDebug("read %lld bytes in %lld ms", got, took);
    QCOMPARE(QByteArray(buffer, int(got)), read);
    QVERIFY(took >= atLeastMs && took < belowMs);
}

void TestWinSerialDevice::pendingReadWaitsForItsBytes()
{
    FakeDevice device;
    SerialDevice port(device.slavePath(), SerialDevice::kEventDriven);
    QVERIFY(port.open(kReadWrite));
    // Reads that wait for all they ask: the driver leaves them pending.
    port.setCommTimeouts(COMMTIMEOUTS { 0, 0, 5000, 0, 0 });
    std::thread late([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        device.send("abc");
    });
    char buffer[3] {};
    const qint64 got = port.read(buffer, 3);
    late.join();
    QCOMPARE(got, qint64(3));
    QCOMPARE(QByteArray(buffer, 3), QByteArray("abc"));
    QCOMPARE(port.lastError(), int(SerialDevice::kNoError));
}

void TestWinSerialDevice::pendingWriteIsSeenOutBeforeTheNext()
{
    FakeDevice device;
    SerialDevice port(device.slavePath(), SerialDevice::kEventDriven);
    port.setBaudRate(14); // 19200: 1000 bytes take half a second on the line
    QVERIFY(port.open(kReadWrite));
    const int events = DriverLog::liveEvents();
    const QByteArray table(1000, 'T');
    QCOMPARE(port.write(table), qint64(1000)); // left pending
    QCOMPARE(port.write("end", 3), qint64(3)); // waits for the table first
    QCOMPARE(device.read(1003, 5000), table + "end");
    port.close();
    QCOMPARE(DriverLog::liveEvents(), events);
}

void TestWinSerialDevice::closeAbortsAWriteTheDeviceDoesNotTake()
{
    FakeDevice device;
    SerialDevice port(device.slavePath(), SerialDevice::kEventDriven);
    QVERIFY(port.open(kReadWrite));
    const int events = DriverLog::liveEvents();
    device.stopReading();
    QCOMPARE(port.write(QByteArray(1025, 'T')), qint64(1025)); // pending for ever
    QElapsedTimer clock;
    clock.start();
    port.close();
    qDebug("close took %lld ms", clock.elapsed());
    QVERIFY2(clock.elapsed() < 1000, "close waits 100 ms for the write, then aborts it");
    QVERIFY(!port.isOpen());
    QCOMPARE(DriverLog::liveEvents(), events);
}

void TestWinSerialDevice::closeRacingTheEventThreadsWaitEndsIt_data()
{
    QTest::addColumn<bool>("emptyMaskWaitPends");
    QTest::newRow("driver refuses a wait on an empty mask") << false;
    QTest::newRow("driver leaves it pending") << true;
}

// close() raises the stop flag and empties the mask just after the event
// thread looked at the flag and before it starts its wait.
void TestWinSerialDevice::closeRacingTheEventThreadsWaitEndsIt()
{
    QFETCH(bool, emptyMaskWaitPends);
    FakeDevice device;
    SerialDevice port(device.slavePath(), SerialDevice::kEventDriven);
    DriverLog::setEmptyMaskWaitPends(emptyMaskWaitPends);
    QSemaphore reached;
    QSemaphore proceed;
    DriverLog::beforeNextWaitCommEvent([&] {
        reached.release();
        proceed.acquire();
    });
    waitErrors.store(0);
    previousHandler = qInstallMessageHandler(countWaitErrors);
    const auto restore = qScopeGuard([] { qInstallMessageHandler(previousHandler); });
    QVERIFY(port.open(kReadWrite));
    reached.acquire();

    std::atomic<bool> closed { false };
    std::thread closer([&] {
        port.close();
        closed.store(true);
    });
    QTRY_COMPARE(DriverLog::record().commMasks.back(), DWORD(0));
    proceed.release();
    QTRY_VERIFY_WITH_TIMEOUT(closed.load(), 3000);
    closer.join();
    QVERIFY(!port.isOpen());
    QCOMPARE(waitErrors.load(), 0); // the stop, not a failure
}

void TestWinSerialDevice::failingWaitIsReportedOnceAndRetriedSlowly()
{
    FakeDevice device;
    SerialDevice port(device.slavePath(), SerialDevice::kEventDriven);
    constexpr int kFailures = 1000;
    DriverLog::failNext(DriverLog::Call::WaitCommEvent, ERROR_BAD_COMMAND, kFailures);
    QTest::ignoreMessage(QtCriticalMsg, "WaitCommEvent error 22\n");
    waitErrors.store(0);
    previousHandler = qInstallMessageHandler(countWaitErrors);
    const auto restore = qScopeGuard([] { qInstallMessageHandler(previousHandler); });
    QElapsedTimer clock;
    clock.start();
    QVERIFY(port.open(kReadWrite));
    QTest::qWait(1000);
    const int tries = kFailures - DriverLog::failuresLeft(DriverLog::Call::WaitCommEvent);
    const double perSecond = tries * 1000.0 / double(clock.elapsed());
    qDebug("%d waits in %lld ms", tries, clock.elapsed());
    QVERIFY(tries >= 1);
    QVERIFY(perSecond <= 5.0);
    clock.restart();
    port.close();
    QVERIFY2(clock.elapsed() < 1000, "a stop ends the back-off at once");
    QCOMPARE(waitErrors.load(), 1); // once for the whole streak
}

QTEST_MAIN(TestWinSerialDevice)
#include "tst_winserialdevice.moc"
