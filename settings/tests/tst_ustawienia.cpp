#include "scratchdir.h"
#include "settingspanel.h"
#include "ustawienia.h"
#include "windowcontrols.h"

#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QTest>

#include <memory>

// What a new settings.txt holds: the system's first serial port by its own
// name, at 115200 bit/s.
#ifdef Q_OS_WIN
static const QString kFirstPort = QStringLiteral("COM1");
static const QByteArray kNewSettings = "#COM1#115200#3#ZOR";
#else
static const QString kFirstPort = QStringLiteral("/dev/ttyS0");
static const QByteArray kNewSettings = "#/dev/ttyS0#115200#3#ZOR";
#endif

// The settings tab and settings.txt, each case in a fresh working directory.
class TestUstawienia : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ScratchDir> scratch;

    static QByteArray settingsText(const QString &name)
    {
        return (QStringLiteral("#") + name + QStringLiteral("#115200#3#ZOR")).toUtf8();
    }

private slots:
    void init()
    {
        scratch = std::make_unique<ScratchDir>();
        QVERIFY(scratch->isValid());
    }

    void cleanup() { scratch.reset(); }

    void missingFileIsCreatedWithTheDefault()
    {
        SettingsPanel p;
        QCOMPARE(ScratchDir::readSettingsFile(), kNewSettings);
        QCOMPARE(p.settings->getPortName(), kFirstPort);
        QCOMPARE(p.settings->getPortSpeed(), 115200);
        QCOMPARE(p.list()->currentText(), QStringLiteral("115200"));
        QCOMPARE(p.editor()->toPlainText(), kFirstPort);
    }

    void fields_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("speed");
        QTest::addColumn<int>("index");
        QTest::newRow("all fields agree") << QByteArray("#COM3#921600#6#ZOR") << "COM3" << 921600 << 6;
        // The speed used and the entry shown are independent fields.
        QTest::newRow("list differs from speed") << QByteArray("#COM3#921600#2#ZOR") << "COM3" << 921600 << 2;
        QTest::newRow("speed not a number") << QByteArray("#COM3#abc#3#ZOR") << "COM3" << 0 << 3;
        QTest::newRow("text before the first mark is ignored")
            << QByteArray("junk#/dev/ttyUSB0#2500000#9#ZOR") << "/dev/ttyUSB0" << 2500000 << 9;
        QTest::newRow("name with a space survives")
            << QByteArray("#my port#115200#3#ZOR") << "my port" << 115200 << 3;
        QTest::newRow("line end after the word") << QByteArray("#COM4#57600#2#ZOR\r\n") << "COM4" << 57600 << 2;
        QTest::newRow("empty name taken as it is") << QByteArray("##19200#0#ZOR") << "" << 19200 << 0;
        // A "#" typed into the name shifts the fields at the next start.
        QTest::newRow("mark inside the name") << QByteArray("#a#b#115200#3#ZOR") << "a" << 0 << -1;
        QTest::newRow("marker missing") << QByteArray("#COM5#38400#1") << "COM5" << 38400 << 1;
    }

    void fields()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, name);
        QFETCH(int, speed);
        QFETCH(int, index);
        QVERIFY(ScratchDir::writeSettingsFile(content));
        SettingsPanel p;
        QCOMPARE(p.settings->getPortName(), name);
        QCOMPARE(p.settings->getPortSpeed(), speed);
        QCOMPARE(p.list()->currentIndex(), index);
        QCOMPARE(p.editor()->toPlainText(), name);
        // Filling the editor at start-up does not rewrite the file.
        QCOMPARE(ScratchDir::readSettingsFile(), content);
    }

    void wordWithoutMarkGetsTheDefaultOnce_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("plain word") << QByteArray("hello");
        QTest::newRow("word and line end") << QByteArray("hello \n");
        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("white space only") << QByteArray("  \n\t");
    }

    void wordWithoutMarkGetsTheDefaultOnce()
    {
        QFETCH(QByteArray, content);
        QVERIFY(ScratchDir::writeSettingsFile(content));
        {
            SettingsPanel p;
            QCOMPARE(p.settings->getPortName(), kFirstPort);
        }
        const QByteArray once = content + kNewSettings;
        QCOMPARE(ScratchDir::readSettingsFile(), once);
        SettingsPanel again;
        QCOMPARE(again.settings->getPortName(), kFirstPort);
        QCOMPARE(again.settings->getPortSpeed(), 115200);
        QCOMPARE(ScratchDir::readSettingsFile(), once);
    }

    void choosingASpeedWritesTheFile()
    {
        SettingsPanel p;
        p.list()->setCurrentIndex(9);
        emit p.list()->activated(9);
        QCOMPARE(p.settings->getPortSpeed(), 2500000);
        const QByteArray fast
            = (QStringLiteral("#") + kFirstPort + QStringLiteral("#2500000#9#ZOR")).toUtf8();
        QCOMPARE(ScratchDir::readSettingsFile(), fast);
        // Choosing the same entry again writes again.
        QVERIFY(QFile::remove(QStringLiteral("settings.txt")));
        emit p.list()->activated(9);
        QCOMPARE(ScratchDir::readSettingsFile(), fast);
    }

    void typingANameWritesTheFileOnEveryKeystroke()
    {
        SettingsPanel p;
        p.editor()->setPlainText(QStringLiteral("/dev/ttyUSB"));
        QCOMPARE(ScratchDir::readSettingsFile(), QByteArray("#/dev/ttyUSB#115200#3#ZOR"));
        p.editor()->moveCursor(QTextCursor::End);
        p.editor()->insertPlainText(QStringLiteral("0"));
        QCOMPARE(p.settings->getPortName(), QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(ScratchDir::readSettingsFile(), QByteArray("#/dev/ttyUSB0#115200#3#ZOR"));
    }

    void nameWithSpaceRoundTrips()
    {
        {
            SettingsPanel p;
            p.editor()->setPlainText(QStringLiteral("my port"));
        }
        QCOMPARE(ScratchDir::readSettingsFile(), QByteArray("#my port#115200#3#ZOR"));
        SettingsPanel again;
        QCOMPARE(again.settings->getPortName(), QStringLiteral("my port"));
        QCOMPARE(again.settings->getPortSpeed(), 115200);
    }

    void showAndHideTheTwoControls()
    {
        SettingsPanel p;
        p.window.show();
        p.settings->hide();
        QVERIFY(!p.list()->isVisible());
        QVERIFY(!p.editor()->isVisible());
        p.settings->show();
        QVERIFY(p.list()->isVisible());
        QVERIFY(p.editor()->isVisible());
        QCOMPARE(p.list()->geometry(), QRect(100, 100, 200, 20));
        QCOMPARE(p.editor()->geometry(), QRect(100, 130, 200, 30));
        QCOMPARE(p.list()->count(), 10);
        QCOMPARE(p.list()->itemText(0), QStringLiteral("19200"));
        QCOMPARE(p.list()->itemText(9), QStringLiteral("2500000"));
    }

    void directoryInTheWayKeepsDefaults()
    {
        QVERIFY(QDir().mkdir(QStringLiteral("settings.txt")));
        SettingsPanel p;
        QCOMPARE(p.settings->getPortName(), kFirstPort);
        QCOMPARE(p.settings->getPortSpeed(), 115200);
        emit p.list()->activated(3); // the write goes nowhere, without harm
        QVERIFY(QFileInfo(QStringLiteral("settings.txt")).isDir());
    }

    void binaryContentIsParsedWithoutHarm()
    {
        QByteArray junk("\x00\x01\xff#\x00port#\xfe\x80#7#ZOR", 18);
        QVERIFY(ScratchDir::writeSettingsFile(junk));
        SettingsPanel p;
        QCOMPARE(p.settings->getPortSpeed(), 0);
        QCOMPARE(ScratchDir::readSettingsFile(), junk);
    }

    // However long the file, the fields are read as far as they go; a large
    // file is never rewritten at start-up.
    void largeFileYieldsItsFields_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("speed");
        const QByteArray mega(1 << 20, 'x');
        QTest::newRow("a megabyte after the fields")
            << QByteArray("#COM9#19200#0#ZOR ") + mega << "COM9" << 19200;
        QTest::newRow("fields after half a megabyte of other text")
            << QByteArray(1 << 19, 'x') + "#COM9#19200#0#ZOR" << "COM9" << 19200;
        QTest::newRow("a long name") << "#" + QByteArray(100000, 'n') + "#19200#0#ZOR"
                                     << QString(100000, u'n') << 19200;
        // Past the reading limit nothing is taken, and the file is not extended.
        QTest::newRow("no mark in two megabytes") << mega + mega << kFirstPort << 115200;
        QTest::newRow("fields only past the limit")
            << mega + mega + "#COM9#19200#0#ZOR" << kFirstPort << 115200;
        QTest::newRow("a name cut by the limit")
            << "#" + mega + mega + "#19200#0#ZOR" << kFirstPort << 115200;
    }

    void largeFileYieldsItsFields()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, name);
        QFETCH(int, speed);
        QVERIFY(ScratchDir::writeSettingsFile(content));
        SettingsPanel p;
        QCOMPARE(p.settings->getPortName(), name);
        QCOMPARE(p.settings->getPortSpeed(), speed);
        QVERIFY(ScratchDir::readSettingsFile() == content);
    }

    // Enter confirms the name typed; it neither empties the editor nor
    // reaches settings.txt, with or without a modifier.
    void enterKeepsTheName_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::newRow("Return") << int(Qt::Key_Return) << int(Qt::NoModifier);
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier);
        QTest::newRow("Shift+Return") << int(Qt::Key_Return) << int(Qt::ShiftModifier);
    }

    void enterKeepsTheName()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        SettingsPanel p;
        p.editor()->selectAll();
        QTest::keyClicks(p.editor(), QStringLiteral("/dev/ttyUSB0"));
        QTest::keyClick(p.editor(), Qt::Key(key), Qt::KeyboardModifiers(modifiers));
        QCOMPARE(p.editor()->toPlainText(), QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(p.settings->getPortName(), QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(ScratchDir::readSettingsFile(), QByteArray("#/dev/ttyUSB0#115200#3#ZOR"));
        // Typing goes on after it.
        QTest::keyClick(p.editor(), Qt::Key_Backspace);
        QTest::keyClicks(p.editor(), QStringLiteral("1"));
        QCOMPARE(ScratchDir::readSettingsFile(), QByteArray("#/dev/ttyUSB1#115200#3#ZOR"));
    }

    // Pasted text loses its line breaks, whichever kind, and keeps the rest.
    void pastedLineBreaksAreLeftOut_data()
    {
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("name");
        QTest::newRow("line end") << "/dev/ttyACM0\n"
                                  << "/dev/ttyACM0";
        QTest::newRow("Windows line end") << "COM3\r\n"
                                          << "COM3";
        QTest::newRow("two lines") << "/dev/tty\nUSB0"
                                   << "/dev/ttyUSB0";
        QTest::newRow("paragraph separator") << QStringLiteral("/dev/ttyUSB0\u2029")
                                             << "/dev/ttyUSB0";
    }

    void pastedLineBreaksAreLeftOut()
    {
        QFETCH(QString, pasted);
        QFETCH(QString, name);
        SettingsPanel p;
        QGuiApplication::clipboard()->setText(pasted);
        p.editor()->selectAll();
        p.editor()->paste();
        QCOMPARE(p.editor()->toPlainText(), name);
        QCOMPARE(ScratchDir::readSettingsFile(), settingsText(name));
    }

    // The list of ports present: filled when the tab is shown, in the
    // lister's order, by-id names with their device; it writes nothing itself.
    void portListIsFilledWhenShownAndWritesNothing()
    {
        std::vector<OfferedPort> present { { QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_A1B2-if00-port0"),
                                             QStringLiteral("/dev/ttyUSB0") },
            { QStringLiteral("/dev/ttyUSB0"), {} }, { kFirstPort, {} } };
        SettingsPanel p([&present] { return present; });
        QCOMPARE(p.ports()->count(), 0); // not read at start-up
        QVERIFY(QFile::remove(QStringLiteral("settings.txt")));
        p.settings->show();
        QCOMPARE(p.ports()->count(), 3);
        QVERIFY(p.ports()->itemText(0).startsWith(present[0].path));
        QVERIFY(p.ports()->itemText(0).endsWith(QStringLiteral("/dev/ttyUSB0")));
        QCOMPARE(p.ports()->itemText(1), QStringLiteral("/dev/ttyUSB0"));
        // The port in the editor is shown as the current entry.
        QCOMPARE(p.ports()->currentText(), kFirstPort);
        // An adapter plugged in while the tab was away is there next time.
        p.settings->hide();
        QVERIFY(!p.ports()->isVisibleTo(&p.window));
        present.push_back({ QStringLiteral("/dev/ttyACM0"), {} });
        p.settings->show();
        QVERIFY(p.ports()->isVisibleTo(&p.window));
        QCOMPARE(p.ports()->count(), 4);
        QCOMPARE(p.ports()->itemText(3), QStringLiteral("/dev/ttyACM0"));
        QVERIFY(!QFile::exists(QStringLiteral("settings.txt")));
    }

    // A choice goes into the editor and from there into settings.txt; typing
    // a name of one's own still works afterwards.
    void choosingAPortFillsTheEditor()
    {
        const QString byId = QStringLiteral("/dev/serial/by-id/usb-Silicon_Labs_CP2102-if00-port0");
        SettingsPanel p([&byId] {
            return std::vector<OfferedPort> { { byId, QStringLiteral("/dev/ttyUSB1") },
                { QStringLiteral("/dev/ttyUSB1"), {} } };
        });
        p.settings->show();
        QVERIFY(controls::choosePort(p.window, byId));
        QCOMPARE(p.editor()->toPlainText(), byId);
        QCOMPARE(p.settings->getPortName(), byId);
        QCOMPARE(ScratchDir::readSettingsFile(), settingsText(byId));
        QVERIFY(controls::choosePort(p.window, QStringLiteral("/dev/ttyUSB1")));
        QCOMPARE(ScratchDir::readSettingsFile(), settingsText(QStringLiteral("/dev/ttyUSB1")));
        QCOMPARE(p.ports()->currentIndex(), 1);
        p.editor()->setPlainText(QStringLiteral("/tmp/zor"));
        QCOMPARE(ScratchDir::readSettingsFile(), settingsText(QStringLiteral("/tmp/zor")));
        QCOMPARE(p.ports()->currentIndex(), -1);
    }

    // The list sits where no other control of the window is.
    void portListOverlapsNothing()
    {
        SettingsPanel p;
        const QRect list = p.ports()->geometry();
        QVERIFY(!list.isEmpty());
        const QRect taken[] = { { 100, 100, 200, 20 }, { 100, 130, 200, 30 }, // speeds, name
            { 10, 580, 200, 20 }, { 880, 580, 100, 20 } }; // status line, port button
        for (const QRect &other : taken)
            QVERIFY2(!list.intersects(other), qPrintable(QStringLiteral("%1,%2").arg(other.x()).arg(other.y())));
        QVERIFY(QRect(0, 0, 1028, 612).contains(list));
    }

    void writeReplacesTheFileWhole()
    {
        QVERIFY(ScratchDir::writeSettingsFile("#COM3#921600#6#ZOR"));
        SettingsPanel p;
        // Someone replaces the file while the program runs; the next change
        // writes the program's own complete settings over it.
        QVERIFY(ScratchDir::writeSettingsFile("#elsewhere#19200#0#ZOR and more text than before"));
        emit p.list()->activated(6);
        QCOMPARE(ScratchDir::readSettingsFile(), QByteArray("#COM3#921600#6#ZOR"));
    }
};

QTEST_MAIN(TestUstawienia)
#include "tst_ustawienia.moc"
