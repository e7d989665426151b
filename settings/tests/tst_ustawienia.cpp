#include "scratchdir.h"
#include "settingspanel.h"
#include "ustawienia.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QTest>

#include <memory>

// The settings tab and settings.txt, each case in a fresh working directory.
class TestUstawienia : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ScratchDir> scratch;

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
        QCOMPARE(ScratchDir::readSettingsFile(), QByteArray("#/dev/ttyS0#115200#3#ZOR"));
        QCOMPARE(p.settings->getPortName(), QStringLiteral("/dev/ttyS0"));
        QCOMPARE(p.settings->getPortSpeed(), 115200);
        QCOMPARE(p.list()->currentText(), QStringLiteral("115200"));
        QCOMPARE(p.editor()->toPlainText(), QStringLiteral("/dev/ttyS0"));
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
            QCOMPARE(p.settings->getPortName(), QStringLiteral("/dev/ttyS0"));
        }
        const QByteArray once = content + "#/dev/ttyS0#115200#3#ZOR";
        QCOMPARE(ScratchDir::readSettingsFile(), once);
        SettingsPanel again;
        QCOMPARE(again.settings->getPortName(), QStringLiteral("/dev/ttyS0"));
        QCOMPARE(again.settings->getPortSpeed(), 115200);
        QCOMPARE(ScratchDir::readSettingsFile(), once);
    }

    void choosingASpeedWritesTheFile()
    {
        SettingsPanel p;
        p.list()->setCurrentIndex(9);
        emit p.list()->activated(9);
        QCOMPARE(p.settings->getPortSpeed(), 2500000);
        QCOMPARE(ScratchDir::readSettingsFile(), QByteArray("#/dev/ttyS0#2500000#9#ZOR"));
        // Choosing the same entry again writes again.
        QVERIFY(QFile::remove(QStringLiteral("settings.txt")));
        emit p.list()->activated(9);
        QCOMPARE(ScratchDir::readSettingsFile(), QByteArray("#/dev/ttyS0#2500000#9#ZOR"));
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
        QCOMPARE(p.settings->getPortName(), QStringLiteral("/dev/ttyS0"));
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

    void hugeFileIsLeftAlone()
    {
        QByteArray big(1 << 20, 'x');
        big.prepend("#COM9#19200#0#ZOR ");
        QVERIFY(ScratchDir::writeSettingsFile(big));
        SettingsPanel p;
        QCOMPARE(p.settings->getPortName(), QStringLiteral("/dev/ttyS0"));
        QCOMPARE(p.settings->getPortSpeed(), 115200);
        QCOMPARE(ScratchDir::readSettingsFile().size(), big.size());
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
