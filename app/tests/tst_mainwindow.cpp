#include "fakedevice.h"
#include "mainwindow.h"
#include "shared.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

// The window's shell: tabs, status line, port button and the link's life,
// offscreen, with settings.txt in a scratch working directory.
class TestMainWindow : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir;
    QString home;

    static void writeSettings(const QString &port)
    {
        QFile f(QStringLiteral("settings.txt"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("#%1#115200#3#ZOR").arg(port).toLatin1());
    }

    static QLabel *statusLabel(MainWindow &w)
    {
        for (QLabel *label : w.findChildren<QLabel *>()) {
            if (label->geometry() == QRect(10, 580, 200, 20))
                return label;
        }
        return nullptr;
    }

    static QPushButton *portButton(MainWindow &w)
    {
        for (QPushButton *button : w.findChildren<QPushButton *>()) {
            if (button->geometry() == QRect(880, 580, 100, 20))
                return button;
        }
        return nullptr;
    }

    // Lets the 50 ms timer run a few times.
    static void ticks(int n = 3) { QTest::qWait(50 * n + 20); }

private slots:
    void init()
    {
        home = QDir::currentPath();
        dir = std::make_unique<QTemporaryDir>();
        QVERIFY(dir->isValid());
        QVERIFY(QDir::setCurrent(dir->path()));
        sts.set(QString());
        bufReady.store(false);
    }

    void cleanup()
    {
        QDir::setCurrent(home);
        dir.reset();
    }

    void windowLayout()
    {
        MainWindow w;
        QCOMPARE(w.minimumSize(), QSize(1028, 612));
        QCOMPARE(w.font().pointSize(), 9);
        auto *tabs = w.findChild<QTabWidget *>();
        QVERIFY(tabs);
        const QStringList labels{"&Oscyloskop", "&Generator", "&Analizator", "Analizator st. &log.",
                                 "&Wobuloskop", "&Multimetr", "&Ustawienia"};
        QCOMPARE(tabs->count(), labels.size());
        for (int i = 0; i < labels.size(); ++i)
            QCOMPARE(tabs->tabText(i), labels[i]);
        QCOMPARE(tabs->currentIndex(), 0);
        QVERIFY(statusLabel(w));
        QCOMPARE(statusLabel(w)->text(), QStringLiteral("Off"));
        QVERIFY(portButton(w));
        QCOMPARE(portButton(w)->text(), QStringLiteral("Open port"));
    }

    void firstTickShowsTheStatusText()
    {
        MainWindow w;
        w.show();
        ticks();
        QCOMPARE(statusLabel(w)->text(), QString());
        bufReady.store(true);
        ticks();
        QVERIFY(!bufReady.load()); // taken by the timer, which repaints
    }

    void statusTextOnTabSelection_data()
    {
        QTest::addColumn<int>("tab");
        QTest::addColumn<QString>("status");
        QTest::newRow("generator") << 1 << "Generator";
        QTest::newRow("analyzer") << 2 << "Analizator";
        QTest::newRow("logic analyzer") << 3 << "Analizator st. log.";
        QTest::newRow("sweep") << 4 << "Wobuloskop";
        QTest::newRow("multimeter keeps the text") << 5 << "unchanged";
        QTest::newRow("settings keep the text") << 6 << "unchanged";
    }

    void statusTextOnTabSelection()
    {
        QFETCH(int, tab);
        QFETCH(QString, status);
        MainWindow w;
        w.show();
        sts.set(QStringLiteral("unchanged"));
        w.findChild<QTabWidget *>()->setCurrentIndex(tab);
        QCOMPARE(sts.get(), status);
        w.findChild<QTabWidget *>()->setCurrentIndex(0);
        QCOMPARE(sts.get(), QStringLiteral("Oscyloskop"));
    }

    void unableToOpen()
    {
        writeSettings(QStringLiteral("/dev/no-such-port"));
        MainWindow w;
        w.show();
        QTest::mouseClick(portButton(w), Qt::LeftButton);
        QCOMPARE(sts.get(), QStringLiteral("Unable to open"));
        QCOMPARE(portButton(w)->text(), QStringLiteral("Open port"));
        ticks();
        QCOMPARE(statusLabel(w)->text(), QStringLiteral("Unable to open"));
        // The next press tries again.
        QTest::mouseClick(portButton(w), Qt::LeftButton);
        QCOMPARE(sts.get(), QStringLiteral("Unable to open"));
    }

    void aFileIsNotAPort()
    {
        QFile f(QStringLiteral("fake-port"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        writeSettings(QDir::current().filePath(QStringLiteral("fake-port")));
        MainWindow w;
        QTest::mouseClick(portButton(w), Qt::LeftButton);
        QCOMPARE(sts.get(), QStringLiteral("Unable to open"));
    }

    void openAndClose()
    {
        FakeDevice device;
        QVERIFY(device.ok());
        writeSettings(device.slavePath());
        MainWindow w;
        w.show();
        QTest::mouseClick(portButton(w), Qt::LeftButton);
        QCOMPARE(portButton(w)->text(), QStringLiteral("Close port"));
        const QString first = sts.get();
        QVERIFY2(first == "Open" || first == "read ch", qPrintable(first));
        device.send("w");
        QVERIFY(device.expect("w"));
        device.send(FakeDevice::frame(QVector<int>(1024, 0x0102)));
        QVERIFY(device.expect("g"));
        QTRY_COMPARE(buff.snapshot()[0], 0x0102);
        ticks();
        QVERIFY(!bufReady.load());

        QTest::mouseClick(portButton(w), Qt::LeftButton);
        QCOMPARE(sts.get(), QStringLiteral("closed"));
        QCOMPARE(portButton(w)->text(), QStringLiteral("Open port"));
        device.drain(100); // what the oscilloscope asked for before the close
        device.send("w");
        QVERIFY(device.drain(150).isEmpty());

        // And open again on the same line.
        QTest::mouseClick(portButton(w), Qt::LeftButton);
        QCOMPARE(portButton(w)->text(), QStringLiteral("Close port"));
        QVERIFY(device.expect("w")); // the "w" sent while closed is answered now
    }

    void lineLostKeepsTheButtonUntilClosed()
    {
        FakeDevice device;
        QVERIFY(device.ok());
        writeSettings(device.slavePath());
        MainWindow w;
        w.show();
        QTest::mouseClick(portButton(w), Qt::LeftButton);
        device.send("w");
        QVERIFY(device.expect("w"));
        device.hangUp();
        QTRY_COMPARE(sts.get(), QStringLiteral("line lost"));
        ticks();
        QCOMPARE(statusLabel(w)->text(), QStringLiteral("line lost"));
        QCOMPARE(portButton(w)->text(), QStringLiteral("Close port"));
        QTest::mouseClick(portButton(w), Qt::LeftButton);
        QCOMPARE(sts.get(), QStringLiteral("closed"));
        QCOMPARE(portButton(w)->text(), QStringLiteral("Open port"));
    }

    void closingTheWindowWithThePortOpen()
    {
        FakeDevice device;
        QVERIFY(device.ok());
        writeSettings(device.slavePath());
        {
            MainWindow w;
            w.show();
            QTest::mouseClick(portButton(w), Qt::LeftButton);
            device.send("w");
            QVERIFY(device.expect("w"));
        }
        // The worker went with the window.
        device.drain(100);
        device.send("w");
        QVERIFY(device.drain(150).isEmpty());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
