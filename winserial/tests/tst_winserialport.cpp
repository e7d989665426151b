#include "deviceline.h"
#include "driverlog.h"
#include "fakedevice.h"
#include "serialdevice.h"
#include "serialport.h"

#include <QtTest>

class TestWinSerialPort : public QObject {
    Q_OBJECT
private slots:
    void init() { DriverLog::reset(); }
    void speedSelectsBaudCodeOrNoRateCall_data();
    void speedSelectsBaudCodeOrNoRateCall();
    void openOfMissingPortFails();
    void repeatedOpenAndCloseLeaveNothingOpen();
};

void TestWinSerialPort::speedSelectsBaudCodeOrNoRateCall_data()
{
    QTest::addColumn<int>("speed");
    QTest::addColumn<int>("code");
    QTest::addColumn<quint32>("rate");
    QTest::addColumn<int>("writes");

    // A rate call is one more configuration write beside flow, parity, data and stop bits.
    QTest::newRow("19200") << 19200 << 14 << 19200u << 5;
    QTest::newRow("38400") << 38400 << 15 << 38400u << 5;
    QTest::newRow("57600") << 57600 << 17 << 57600u << 5;
    QTest::newRow("115200") << 115200 << 19 << 115200u << 5;
    QTest::newRow("230400") << 230400 << 22 << 230400u << 5;
    QTest::newRow("460800") << 460800 << 23 << 460800u << 5;
    QTest::newRow("921600") << 921600 << 24 << 921600u << 5;
    QTest::newRow("1152000") << 1152000 << 25 << 1152000u << 5;
    QTest::newRow("1500000") << 1500000 << 26 << 1500000u << 5;
    QTest::newRow("2500000") << 2500000 << 27 << 2500000u << 5;
    QTest::newRow("2000000 keeps the rate") << 2000000 << 19 << 115200u << 4;
    QTest::newRow("1000000 keeps the rate") << 1000000 << 19 << 115200u << 4;
    QTest::newRow("0 keeps the rate") << 0 << 19 << 115200u << 4;
}

void TestWinSerialPort::speedSelectsBaudCodeOrNoRateCall()
{
    QFETCH(int, speed);
    QFETCH(int, code);
    QFETCH(quint32, rate);
    QFETCH(int, writes);
    FakeDevice device;
    SerialPort port;
    QVERIFY(port.Open(device.slavePath().toLatin1().constData()));
    QCOMPARE(port.port->openMode(), QIODevice::ReadWrite | QIODevice::Unbuffered);
    const auto before = DriverLog::record();

    port.Set(speed);

    QCOMPARE(port.speed, speed);
    QCOMPARE(port.port->baudRate(), code);
    QCOMPARE(port.port->flowControl(), 0);
    QCOMPARE(port.port->parity(), 0);
    QCOMPARE(port.port->dataBits(), 3);
    QCOMPARE(port.port->stopBits(), 0);
    const auto after = DriverLog::record();
    QCOMPARE(after.configWrites - before.configWrites, writes);
    const DCB &dcb = after.lastConfig;
    QCOMPARE(dcb.BaudRate, rate);
    QCOMPARE(int(dcb.fOutxCtsFlow), 0);
    QCOMPARE(int(dcb.fRtsControl), int(RTS_CONTROL_DISABLE));
    QCOMPARE(int(dcb.ByteSize), 8);
    QCOMPARE(int(dcb.Parity), int(NOPARITY));
    QCOMPARE(int(dcb.StopBits), int(ONESTOPBIT));
    // The library's 500 ms, then the waiting line's own: reads that end on
    // the first byte or after a short wait, writes that end within it.
    QCOMPARE(after.timeoutWrites - before.timeoutWrites, 2);
    QCOMPARE(after.lastTimeouts.ReadIntervalTimeout, MAXDWORD);
    QCOMPARE(after.lastTimeouts.ReadTotalTimeoutMultiplier, MAXDWORD);
    QCOMPARE(after.lastTimeouts.ReadTotalTimeoutConstant, DWORD(DeviceLine::kWaitMs));
    QCOMPARE(after.lastTimeouts.WriteTotalTimeoutMultiplier, 0u);
    QCOMPARE(after.lastTimeouts.WriteTotalTimeoutConstant, DWORD(DeviceLine::kWaitMs));
}

void TestWinSerialPort::openOfMissingPortFails()
{
    SerialPort port;
    QVERIFY(!port.Open("/dev/no-such-port"));
    QVERIFY(!port.port->isOpen());
    port.Close();
}

void TestWinSerialPort::repeatedOpenAndCloseLeaveNothingOpen()
{
    FakeDevice device;
    const int handles = DriverLog::liveHandles();
    {
        SerialPort port;
        for (int i = 0; i < 5; ++i) {
            QVERIFY(port.Open(device.slavePath().toLatin1().constData()));
            port.Set(115200);
            port.Close();
        }
        // One port object and its line's stop event live on between opens, no more.
        QCOMPARE(DriverLog::liveHandles(), handles + 2);
    }
    QCOMPARE(DriverLog::liveHandles(), handles);
}

QTEST_MAIN(TestWinSerialPort)
#include "tst_winserialport.moc"
