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

    // Where reading may stop: right after the "#" that closes field 3.
    void fieldsEnd_data()
    {
        QTest::addColumn<QByteArray>("raw");
        QTest::addColumn<int>("end");
        QTest::newRow("default") << QByteArray("#/dev/ttyS0#115200#3#ZOR") << 21;
        QTest::newRow("text before and after") << QByteArray("ab#c#1#2#ZOR tail") << 9;
        QTest::newRow("field 3 not closed") << QByteArray("#COM3#115200#3") << -1;
        QTest::newRow("no mark") << QByteArray("COM3") << -1;
        QTest::newRow("empty") << QByteArray() << -1;
        QTest::newRow("Latin-1 name") << QByteArray("#port\xe9#1#2#") << 11;
        // 0x23 inside UTF-16 characters is no mark: such a file is read whole.
        QTest::newRow("UTF-16 with its mark") << QByteArray("\xff\xfe#\0#\0#\0#\0", 10) << -1;
        QTest::newRow("UTF-32 with its mark") << QByteArray("\0\0\xfe\xff\0\0\0#####", 12) << -1;
    }

    void fieldsEnd()
    {
        QFETCH(QByteArray, raw);
        QFETCH(int, end);
        QCOMPARE(settingsfile::fieldsEnd(raw), qsizetype(end));
        if (end < 0)
            return;
        // The fields of those bytes are the fields of all of them.
        const auto head = settingsfile::parse(QString::fromLatin1(raw.left(end)));
        const auto whole = settingsfile::parse(QString::fromLatin1(raw));
        QVERIFY(head && whole);
        QCOMPARE(head->portName, whole->portName);
        QCOMPARE(head->speed, whole->speed);
        QCOMPARE(head->index, whole->index);
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
