#include "fakedevice.h"
#include "portholder.h"
#include "serialport.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <thread>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>

class TestSerialPort : public QObject {
    Q_OBJECT

private:
    // The line as Set leaves it, starting from the given settings.
    static termios settle(FakeDevice &device, int speed, const termios &before)
    {
        SerialPort port;
        termios result{};
        if (!port.Open(device.slavePath().toLatin1().constData()))
            return result;
        ::tcsetattr(port.fd, TCSANOW, &before);
        port.Set(speed);
        ::tcgetattr(port.fd, &result);
        return result;
    }

    static termios current(FakeDevice &device)
    {
        SerialPort port;
        termios t{};
        if (port.Open(device.slavePath().toLatin1().constData()))
            ::tcgetattr(port.fd, &t);
        return t;
    }

private slots:
    void speedTable_data()
    {
        QTest::addColumn<int>("speed");
        QTest::addColumn<int>("code");
        QTest::newRow("19200") << 19200 << int(B19200);
        QTest::newRow("38400") << 38400 << int(B38400);
        QTest::newRow("57600") << 57600 << int(B57600);
        QTest::newRow("115200") << 115200 << int(B115200);
        QTest::newRow("230400") << 230400 << int(B230400);
        QTest::newRow("460800") << 460800 << int(B460800);
        QTest::newRow("921600") << 921600 << int(B921600);
        QTest::newRow("1152000") << 1152000 << int(B1152000);
        QTest::newRow("1500000") << 1500000 << int(B1500000);
        QTest::newRow("2500000") << 2500000 << int(B2500000);
        QTest::newRow("2000000 is not offered") << 2000000 << int(B115200);
        QTest::newRow("1000000 is not offered") << 1000000 << int(B115200);
        QTest::newRow("zero from a broken settings file") << 0 << int(B115200);
        QTest::newRow("negative") << -9600 << int(B115200);
    }

    void speedTable()
    {
        QFETCH(int, speed);
        QFETCH(int, code);
        FakeDevice device;
        QVERIFY(device.ok());
        termios start = current(device);
        ::cfsetispeed(&start, B9600);
        ::cfsetospeed(&start, B9600);
        const termios t = settle(device, speed, start);
        QCOMPARE(int(::cfgetispeed(&t)), code);
        QCOMPARE(int(::cfgetospeed(&t)), code);
    }

    void rawEightBitsNoParityOneStop()
    {
        FakeDevice device;
        QVERIFY(device.ok());
        termios start = current(device);
        start.c_lflag |= ISIG | ICANON | ECHO | ECHOE | ECHOK | IEXTEN;
        start.c_oflag |= OPOST | ONLCR;
        start.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CREAD | CLOCAL);
        start.c_cflag |= CS7 | CSTOPB | PARENB | PARODD | HUPCL;
        const termios t = settle(device, 115200, start);

        QCOMPARE(t.c_lflag & (ISIG | ICANON | ECHO | ECHOE), tcflag_t(0));
        // Other local and output flags stay as the driver had them.
        QCOMPARE(t.c_lflag & (ECHOK | IEXTEN), tcflag_t(ECHOK | IEXTEN));
        QCOMPARE(t.c_oflag & OPOST, tcflag_t(0));
        QCOMPARE(t.c_oflag & ONLCR, tcflag_t(ONLCR));
        QCOMPARE(t.c_cflag & CSIZE, tcflag_t(CS8));
        QCOMPARE(t.c_cflag & (CSTOPB | PARENB), tcflag_t(0));
        QCOMPARE(t.c_cflag & (CREAD | CLOCAL), tcflag_t(CREAD | CLOCAL));
        QCOMPARE(t.c_cflag & (PARODD | HUPCL), tcflag_t(PARODD | HUPCL));
    }

    void readsReturnAfterThreeSecondsOfSilence()
    {
        FakeDevice device;
        QVERIFY(device.ok());
        const termios t = settle(device, 115200, current(device));
        QCOMPARE(int(t.c_cc[VMIN]), 0);
        QCOMPARE(int(t.c_cc[VTIME]), 30);
    }

    // A new adapter's ICRNL and IXON (and whatever an earlier program left)
    // would turn sample bytes 0x0D into 0x0A and swallow 0x11 and 0x13.
    void inputIsRawAndHardwareFlowControlOff()
    {
        FakeDevice device;
        QVERIFY(device.ok());
        QCOMPARE(current(device).c_iflag, tcflag_t(ICRNL | IXON));
        constexpr tcflag_t processing = IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL
            | IXON | IXOFF | IXANY | INPCK;
        termios start = current(device);
        start.c_iflag = processing | IMAXBEL;
        start.c_cflag |= CRTSCTS;
        const termios t = settle(device, 115200, start);
        QCOMPARE(t.c_iflag, tcflag_t(IMAXBEL)); // the rest stays as the driver had it
        QCOMPARE(t.c_cflag & CRTSCTS, tcflag_t(0));
    }

    void openKeepsTheDescriptorNonBlocking()
    {
        FakeDevice device;
        QVERIFY(device.ok());
        SerialPort port;
        QVERIFY(port.Open(device.slavePath().toLatin1().constData()));
        QVERIFY(port.fd >= 0);
        QCOMPARE(::fcntl(port.fd, F_GETFL) & O_NONBLOCK, O_NONBLOCK);
    }

    // The port is this program's alone: marked exclusive for other openers,
    // and locked, which also keeps out root and a second port in this process.
    void portIsHeldExclusivelyUntilClosed()
    {
        FakeDevice device;
        QVERIFY(device.ok());
        const QByteArray path = device.slavePath().toLatin1();
        SerialPort port;
        QVERIFY(port.Open(path.constData()));
        int exclusive = 0;
        QCOMPARE(::ioctl(port.fd, TIOCGEXCL, &exclusive), 0);
        QCOMPARE(exclusive, 1);
        SerialPort second;
        QVERIFY(!second.Open(path.constData()));
        QCOMPARE(second.fd, -1);
        port.Close();
        QVERIFY(second.Open(path.constData()));
    }

    void portLockedByAnotherProgramDoesNotOpen()
    {
        FakeDevice device;
        QVERIFY(device.ok());
        const QByteArray path = device.slavePath().toLatin1();
        {
            PortHolder other(device.slavePath());
            QVERIFY(other.holds());
            SerialPort port;
            QVERIFY(!port.Open(path.constData()));
            QCOMPARE(port.fd, -1);
        }
        SerialPort port;
        QVERIFY(port.Open(path.constData()));
    }

    void openRefusesWhatIsNotATerminal_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("missing") << QStringLiteral("/dev/no-such-port");
        QTest::newRow("null device") << QStringLiteral("/dev/null");
        QTest::newRow("empty name") << QString();
    }

    void openRefusesWhatIsNotATerminal()
    {
        QFETCH(QString, path);
        SerialPort port;
        QVERIFY(!port.Open(path.toLatin1().constData()));
        QCOMPARE(port.fd, -1);
    }

    void openRefusesFilesAndFolders()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString file = dir.filePath(QStringLiteral("port"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("S\x00\x00E");
        f.close();
        SerialPort port;
        QVERIFY(!port.Open(file.toLatin1().constData()));
        QCOMPARE(port.fd, -1);
        QVERIFY(!port.Open(dir.path().toLatin1().constData()));
        QCOMPARE(port.fd, -1);
    }

    // Output the device never took is dropped at Close instead of being
    // waited for: a USB modem's driver holds the last close() until it is
    // sent, for up to 30 s. A pseudo-terminal neither waits there nor keeps
    // an output queue (the bytes are already the master's), so the line
    // counts its drops.
    void closeDropsOutputTheDeviceNeverTook()
    {
        FakeDevice device;
        QVERIFY(device.ok());
        SerialPort port;
        QVERIFY(port.Open(device.slavePath().toLatin1().constData()));
        port.Set(115200);
        device.stopReading();
        QElapsedTimer timer;
        timer.start();
        port.Close();
        QVERIFY(timer.elapsed() < 1000);
        QCOMPARE(port.outputDrops, 1);
        port.Close(); // closed already: nothing to drop
        QCOMPARE(port.outputDrops, 1);
    }

    // "Close port" right after a table upload at 19200 bit/s: "S" and 1024
    // bytes are 534 ms on the line, and the device must get every one, or it
    // takes the next program's first bytes as the rest of its table. The
    // device reads at the line's pace; what it has not read yet stands for
    // the driver's output queue.
    void closeLetsAReadingDeviceTakeTheWholeUpload()
    {
        FakeDevice device(FakeDevice::Line::Raw);
        QVERIFY(device.ok());
        SerialPort port;
        QVERIFY(port.Open(device.slavePath().toLatin1().constData()));
        port.Set(19200);
        port.closeDrain.queued = [&] { return device.unread(); };
        port.closeDrain.drop = [&] { device.dropUnread(); };
        QByteArray table("S");
        for (int i = 0; i < 1024; ++i)
            table += char(i * 7);
        QCOMPARE(port.line().write(table.constData(), int(table.size())), ByteLine::Result::Data);
        QTRY_COMPARE(device.unread(), int(table.size()));
        QByteArray got;
        std::thread reader([&] { got = device.readPaced(int(table.size()), 19200, 500); });
        QElapsedTimer timer;
        timer.start();
        port.Close();
        qDebug("Close took %lld ms with the table queued", timer.elapsed());
        reader.join();
        QCOMPARE(got.size(), table.size());
        QCOMPARE(got, table);
        QCOMPARE(port.outputDrops, 1);
    }

    // A device that stops reading in the middle of the upload: Close drops
    // the rest once the queue stops shrinking, instead of waiting for it.
    void closeDropsTheRestWhenTheDeviceStopsReading()
    {
        FakeDevice device(FakeDevice::Line::Raw);
        QVERIFY(device.ok());
        SerialPort port;
        QVERIFY(port.Open(device.slavePath().toLatin1().constData()));
        port.Set(19200);
        port.closeDrain.queued = [&] { return device.unread(); };
        port.closeDrain.drop = [&] { device.dropUnread(); };
        port.closeDrain.stallSlack = std::chrono::milliseconds(20);
        port.closeDrain.stallBytes = 0;
        const QByteArray table(1025, 'x');
        QCOMPARE(port.line().write(table.constData(), int(table.size())), ByteLine::Result::Data);
        QTRY_COMPARE(device.unread(), int(table.size()));
        QByteArray got;
        std::thread reader([&] { got = device.readPaced(200, 19200); });
        QElapsedTimer timer;
        timer.start();
        port.Close();
        const qint64 tookMs = timer.elapsed();
        reader.join();
        qDebug("Close took %lld ms, the device took %lld bytes", tookMs, qlonglong(got.size()));
        QCOMPARE(port.outputDrops, 1);
        QCOMPARE(device.unread(), 0); // dropped
        QVERIFY(got.size() <= 200);
        // It gave up long before the table's 534 ms had passed twice.
        QVERIFY(tookMs < 1000);
    }

    void closeReleasesTheDescriptor()
    {
        FakeDevice device;
        QVERIFY(device.ok());
        SerialPort port;
        QVERIFY(port.Open(device.slavePath().toLatin1().constData()));
        const int fd = port.fd;
        port.Close();
        QCOMPARE(port.fd, -1);
        QCOMPARE(::fcntl(fd, F_GETFD), -1);
        port.Close();
        QCOMPARE(port.fd, -1);
    }
};

QTEST_GUILESS_MAIN(TestSerialPort)
#include "tst_serialport.moc"
