#include "settingsfile.h"

#include <QTest>

// The settings text without any file: fields out of arbitrary text, and the
// text the program writes read back unchanged.
class TestSettingsFile : public QObject {
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QString>("content");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("speed");
        QTest::addColumn<int>("index");
        QTest::newRow("default") << "#/dev/ttyS0#115200#3#ZOR"
                                 << "/dev/ttyS0" << 115200 << 3;
        QTest::newRow("text before the first mark") << "junk#COM3#921600#6#ZOR"
                                                    << "COM3" << 921600 << 6;
        QTest::newRow("speed not a number") << "#COM3#abc#3#ZOR"
                                            << "COM3" << 0 << 3;
        QTest::newRow("hexadecimal is not decimal") << "#COM3#0x10#0x3#ZOR"
                                                    << "COM3" << 0 << 0;
        QTest::newRow("empty name") << "##19200#0#ZOR"
                                    << "" << 19200 << 0;
        QTest::newRow("one mark only") << "#COM3"
                                       << "COM3" << 0 << 0;
        QTest::newRow("index out of the list") << "#COM3#19200#42#ZOR"
                                               << "COM3" << 19200 << 42;
        QTest::newRow("negative index") << "#COM3#19200#-1#ZOR"
                                        << "COM3" << 19200 << -1;
        QTest::newRow("speed past int") << "#COM3#2147483648#3#ZOR"
                                        << "COM3" << 0 << 3;
        QTest::newRow("largest int") << "#COM3#2147483647#3#ZOR"
                                     << "COM3" << 2147483647 << 3;
        QTest::newRow("line end after the word") << "#COM3#19200#0#ZOR\n"
                                                 << "COM3" << 19200 << 0;
        QTest::newRow("name with a space") << "#my port#115200#3#ZOR"
                                           << "my port" << 115200 << 3;
        QTest::newRow("zero character in the speed")
            << QString::fromUtf8("#COM3#115200\0junk#3#ZOR", 23) << "COM3" << 0 << 3;
        QTest::newRow("extra fields ignored") << "#a#1#2#ZOR#9#9"
                                              << "a" << 1 << 2;
    }

    void parse()
    {
        QFETCH(QString, content);
        QFETCH(QString, name);
        QFETCH(int, speed);
        QFETCH(int, index);
        const auto fields = settingsfile::parse(content);
        QVERIFY(fields);
        QCOMPARE(fields->portName, name);
        QCOMPARE(fields->speed, speed);
        QCOMPARE(fields->index, index);
    }

    void noMarkGivesNothing_data()
    {
        QTest::addColumn<QString>("content");
        QTest::newRow("empty") << "";
        QTest::newRow("a word") << "COM3";
        QTest::newRow("white space") << " \n\t";
    }

    void noMarkGivesNothing()
    {
        QFETCH(QString, content);
        QVERIFY(!settingsfile::parse(content));
    }

    void formatReadsBack_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("speed");
        QTest::addColumn<int>("index");
        QTest::newRow("default") << "/dev/ttyS0" << 115200 << 3;
        QTest::newRow("place markers in the name") << "%1%2 %3" << 19200 << 0;
        QTest::newRow("negative values") << "COM1" << -5 << -1;
        QTest::newRow("empty name") << "" << 2500000 << 9;
    }

    void formatReadsBack()
    {
        QFETCH(QString, name);
        QFETCH(int, speed);
        QFETCH(int, index);
        const QString text = settingsfile::format({ name, speed, index });
        QVERIFY(text.endsWith(QStringLiteral("#ZOR")));
        const auto fields = settingsfile::parse(text);
        QVERIFY(fields);
        QCOMPARE(fields->portName, name);
        QCOMPARE(fields->speed, speed);
        QCOMPARE(fields->index, index);
    }
};

QTEST_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
