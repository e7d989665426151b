#include "fakedevice.h"
#include "scratchdir.h"
#include "windowcontrols.h"
#include "mainwindow.h"
#include "setupfile.h"
#include "shared.h"

#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

#include <memory>

// The window's shell: tabs, status line, port button and the link's life,
// offscreen, with settings.txt in a scratch working directory.
class TestMainWindow : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ScratchDir> scratch;

private slots:
    void init()
    {
        scratch = std::make_unique<ScratchDir>();
        QVERIFY(scratch->isValid());
        sts.set(QString());
        bufReady.store(false);
    }

    void cleanup() { scratch.reset(); }

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
        QVERIFY(controls::statusLabel(w));
        QCOMPARE(controls::statusLabel(w)->text(), QStringLiteral("Off"));
        QVERIFY(controls::portButton(w));
        QCOMPARE(controls::portButton(w)->text(), QStringLiteral("Open port"));
    }

    // Run/Stop, the trigger's state and the generator's played frequency sit
    // where nothing else on their tab does.
    void addedControlsHaveRoomOfTheirOwn_data()
    {
        QTest::addColumn<int>("tab");
        QTest::addColumn<QString>("control");
        QTest::newRow("oscilloscope Run/Stop") << 0 << "scopeRunButton";
        QTest::newRow("trigger state") << 0 << "trigStateLabel";
        QTest::newRow("generator played frequency") << 1 << "playedLabel";
        QTest::newRow("analyzer Run/Stop") << 2 << "spectrumRunButton";
    }

    void addedControlsHaveRoomOfTheirOwn()
    {
        QFETCH(int, tab);
        QFETCH(QString, control);
        MainWindow w;
        w.show();
        controls::selectTab(w, tab);
        auto *mine = w.findChild<QWidget *>(control);
        QVERIFY(mine && mine->isVisible());
        QCOMPARE(mine->parentWidget(), &w);
        for (QWidget *other : w.findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            if (other == mine || other == w.QMainWindow::centralWidget() || !other->isVisible())
                continue;
            QVERIFY2(!mine->geometry().intersects(other->geometry()),
                qPrintable(other->objectName() + QLatin1Char(' ') + QString::number(other->x())
                    + QLatin1Char(',') + QString::number(other->y())));
        }
    }

    void firstTickShowsTheStatusText()
    {
        MainWindow w;
        w.show();
        // The first tick comes when the event loop gets to it, which a loaded
        // machine may delay well past 50 ms.
        QTRY_COMPARE(controls::statusLabel(w)->text(), QString());
        bufReady.store(true);
        QTRY_VERIFY(!bufReady.load()); // taken by the timer, which repaints
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

    // The status line begins with "Unable to open" and says why, in the
    // words labbench-cli uses; the status label shows it whole.
    void unableToOpen_data()
    {
        QTest::addColumn<QString>("port"); // "file:" a plain file of that name in the folder
        QTest::addColumn<QString>("status");
        QTest::newRow("missing") << "/dev/no-such-port" << "Unable to open: no such port";
        QTest::newRow("empty name") << "" << "Unable to open: no port name given";
        QTest::newRow("a plain file") << "file:fake-port" << "Unable to open: not a serial port";
        QTest::newRow("a folder") << "/tmp" << "Unable to open: not a serial port";
    }

    void unableToOpen()
    {
        QFETCH(QString, port);
        QFETCH(QString, status);
        if (port.startsWith(QLatin1String("file:"))) {
            port = port.mid(5);
            QVERIFY(ScratchDir::writeFile(port, "S"));
            port = scratch->filePath(port);
        }
        QVERIFY(ScratchDir::writeSettings(port));
        MainWindow w;
        w.show();
        QTest::mouseClick(controls::portButton(w), Qt::LeftButton);
        QCOMPARE(sts.get(), status);
        QCOMPARE(controls::portButton(w)->text(), QStringLiteral("Open port"));
        QLabel *label = controls::statusLabel(w);
        QTRY_COMPARE(label->text(), status);
        QVERIFY(label->width() >= label->fontMetrics().horizontalAdvance(status));
        // The next press tries again.
        sts.set(QStringLiteral("unchanged"));
        QTest::mouseClick(controls::portButton(w), Qt::LeftButton);
        QCOMPARE(sts.get(), status);
    }

    void openAndClose()
    {
        FakeDevice device;
        QVERIFY(device.ok());
        QVERIFY(ScratchDir::writeSettings(device.slavePath()));
        MainWindow w;
        w.show();
        QTest::mouseClick(controls::portButton(w), Qt::LeftButton);
        QCOMPARE(controls::portButton(w)->text(), QStringLiteral("Close port"));
        const QString first = sts.get();
        QVERIFY2(first == "Open" || first == "read ch", qPrintable(first));
        device.send("w");
        QVERIFY(device.expect("w"));
        device.send(FakeDevice::frame(QVector<int>(1024, 0x0102)));
        QVERIFY(device.expect("g"));
        QTRY_COMPARE(buff.snapshot()[0], 0x0102);
        QTRY_VERIFY(!bufReady.load());

        QTest::mouseClick(controls::portButton(w), Qt::LeftButton);
        QCOMPARE(sts.get(), QStringLiteral("closed"));
        QCOMPARE(controls::portButton(w)->text(), QStringLiteral("Open port"));
        device.drain(100); // what the oscilloscope asked for before the close
        device.send("w");
        QVERIFY(device.drain(150).isEmpty());

        // And open again on the same line.
        QTest::mouseClick(controls::portButton(w), Qt::LeftButton);
        QCOMPARE(controls::portButton(w)->text(), QStringLiteral("Close port"));
        QVERIFY(device.expect("w")); // the "w" sent while closed is answered now
    }

    void lineLostKeepsTheButtonUntilClosed()
    {
        FakeDevice device;
        QVERIFY(device.ok());
        QVERIFY(ScratchDir::writeSettings(device.slavePath()));
        MainWindow w;
        w.show();
        QTest::mouseClick(controls::portButton(w), Qt::LeftButton);
        device.send("w");
        QVERIFY(device.expect("w"));
        device.hangUp();
        QTRY_COMPARE(sts.get(), QStringLiteral("line lost"));
        QTRY_COMPARE(controls::statusLabel(w)->text(), QStringLiteral("line lost"));
        QCOMPARE(controls::portButton(w)->text(), QStringLiteral("Close port"));
        QTest::mouseClick(controls::portButton(w), Qt::LeftButton);
        QCOMPARE(sts.get(), QStringLiteral("closed"));
        QCOMPARE(controls::portButton(w)->text(), QStringLiteral("Open port"));
    }

    void closingTheWindowWithThePortOpen()
    {
        FakeDevice device;
        QVERIFY(device.ok());
        QVERIFY(ScratchDir::writeSettings(device.slavePath()));
        {
            MainWindow w;
            w.show();
            QTest::mouseClick(controls::portButton(w), Qt::LeftButton);
            device.send("w");
            QVERIFY(device.expect("w"));
        }
        // The worker went with the window.
        device.drain(100);
        device.send("w");
        QVERIFY(device.drain(150).isEmpty());
    }

    // "Close port" keeps the set-up in setup.txt at once, not only at the end.
    void closePortWritesTheSetup()
    {
        FakeDevice device;
        QVERIFY(device.ok());
        QVERIFY(ScratchDir::writeSettings(device.slavePath()));
        MainWindow w;
        w.show();
        QTest::mouseClick(controls::portButton(w), Qt::LeftButton);
        QCOMPARE(controls::portButton(w)->text(), QStringLiteral("Close port"));
        w.findChild<QSpinBox *>(QStringLiteral("trigLevelBox"))->setValue(77);
        QVERIFY(!QFileInfo::exists(QLatin1String(setupfile::kFileName)));
        QTest::mouseClick(controls::portButton(w), Qt::LeftButton);
        const auto reading = setupfile::parse(
            QString::fromUtf8(ScratchDir::readFile(QLatin1String(setupfile::kFileName))), {});
        QVERIFY(reading.complete());
        QCOMPARE(reading.setup.scope.trigLevel, 77);
    }

    // A damaged setup.txt stays for the user to look at while the program
    // runs, whatever "Close port" is pressed; the end of the program replaces it.
    void closePortLeavesADamagedSetup()
    {
        FakeDevice device;
        QVERIFY(device.ok());
        QVERIFY(ScratchDir::writeSettings(device.slavePath()));
        const QByteArray damaged("version=1\nscope.level=12\nscope.xpos=");
        QVERIFY(ScratchDir::writeFile(QLatin1String(setupfile::kFileName), damaged));
        {
            MainWindow w;
            w.show();
            QCOMPARE(sts.get(), QStringLiteral("set-up partly unreadable: start values used"));
            QTest::mouseClick(controls::portButton(w), Qt::LeftButton);
            QCOMPARE(controls::portButton(w)->text(), QStringLiteral("Close port"));
            QTest::mouseClick(controls::portButton(w), Qt::LeftButton);
            QCOMPARE(controls::portButton(w)->text(), QStringLiteral("Open port"));
            QCOMPARE(ScratchDir::readFile(QLatin1String(setupfile::kFileName)), damaged);
        }
        const auto reading = setupfile::parse(
            QString::fromUtf8(ScratchDir::readFile(QLatin1String(setupfile::kFileName))), {});
        QVERIFY(reading.complete());
        QCOMPARE(reading.setup.scope.trigLevel, 12);
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
