#include "portlist.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// The ports present, from /dev and /sys trees built in a scratch folder.
class TestPortList : public QObject {
    Q_OBJECT

private:
    // One line of a tree: "file <path>", "text <path> <content>" or
    // "link <path> <target>", paths relative to the tree's root.
    static bool build(const QString &root, const QString &line)
    {
        const QStringList part = line.split(u' ');
        const QString path = QDir(root).filePath(part.value(1));
        if (!QDir().mkpath(QFileInfo(path).path()))
            return false;
        if (part[0] == QLatin1String("link"))
            return QFile::link(part.value(2), path);
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(part.value(2).toLatin1()) >= 0;
    }

private slots:
    void layouts_data()
    {
        QTest::addColumn<QStringList>("tree");
        // Each port as "<path>" or "<path> -> <target>", relative to the root.
        QTest::addColumn<QStringList>("ports");

        QTest::newRow("nothing") << QStringList {} << QStringList {};
        QTest::newRow("stable names first, sorted, then by family")
            << QStringList { "file dev/ttyUSB0", "file dev/ttyACM0", "file dev/ttyUSB1",
                   "link dev/serial/by-id/usb-FTDI_FT232R_B2-if00-port0 ../../ttyUSB0",
                   "link dev/serial/by-id/usb-Arduino_Uno_A1-if00 ../../ttyACM0" }
            << QStringList { "dev/serial/by-id/usb-Arduino_Uno_A1-if00 -> dev/ttyACM0",
                   "dev/serial/by-id/usb-FTDI_FT232R_B2-if00-port0 -> dev/ttyUSB0", "dev/ttyUSB0",
                   "dev/ttyUSB1", "dev/ttyACM0" };
        QTest::newRow("numbers in order, not as text")
            << QStringList { "file dev/ttyUSB10", "file dev/ttyUSB2", "file dev/ttyUSB1" }
            << QStringList { "dev/ttyUSB1", "dev/ttyUSB2", "dev/ttyUSB10" };
        // ttyS ports exist whether or not a UART is there; sysfs says which have one.
        QTest::newRow("ttyS with a UART type only") << QStringList { "file dev/ttyS0",
            "file dev/ttyS1", "file dev/ttyS2", "file dev/ttyS3", "text sys/class/tty/ttyS0/type 4",
            "text sys/class/tty/ttyS1/type 0", "text sys/class/tty/ttyS3/type junk" }
                                                    << QStringList { "dev/ttyS0" };
        QTest::newRow("ttyS without a type: the placeholder device is none")
            << QStringList { "file dev/ttyS0", "file dev/ttyS1",
                   "file sys/devices/platform/serial8250/x", "file sys/devices/pnp0/00:04/x",
                   "link sys/class/tty/ttyS0/device ../../../devices/platform/serial8250",
                   "link sys/class/tty/ttyS1/device ../../../devices/pnp0/00:04" }
            << QStringList { "dev/ttyS1" };
        QTest::newRow("stable name of an adapter just unplugged") << QStringList {
            "link dev/serial/by-id/usb-gone-if00 ../../ttyUSB7", "file dev/ttyUSB0"
        } << QStringList { "dev/ttyUSB0" };
        QTest::newRow("other names") << QStringList { "file dev/ttyUSB", "file dev/ttyUSBx",
            "file dev/tty0", "file dev/ttyACM0.old", "file dev/console", "file dev/ttyS",
            "file dev/xttyUSB0", "file dev/ttyUSB0/x" }
                                     << QStringList {};
    }

    void layouts()
    {
        QFETCH(QStringList, tree);
        QFETCH(QStringList, ports);
        QTemporaryDir root;
        QVERIFY(root.isValid());
        for (const QString &line : tree)
            QVERIFY2(build(root.path(), line), qPrintable(line));

        QStringList found;
        const QString prefix = root.path() + u'/';
        for (const PortEntry &port : listPorts(root.path())) {
            QVERIFY2(port.path.startsWith(prefix), qPrintable(port.path));
            QString text = port.path.mid(prefix.size());
            if (!port.target.isEmpty()) {
                QVERIFY2(port.target.startsWith(prefix), qPrintable(port.target));
                text += QStringLiteral(" -> ") + port.target.mid(prefix.size());
            }
            found.append(text);
        }
        QCOMPARE(found, ports);
    }

    // On this machine: every entry names something that exists, and only
    // by-id entries carry a target.
    void thisMachine()
    {
        for (const PortEntry &port : listPorts()) {
            QVERIFY2(QFileInfo::exists(port.path), qPrintable(port.path));
            QCOMPARE(
                !port.target.isEmpty(), port.path.startsWith(QLatin1String("/dev/serial/by-id/")));
        }
    }
};

QTEST_MAIN(TestPortList)
#include "tst_portlist.moc"
