#include "setupfile.h"

#include <QTest>

#include <algorithm>

using setupfile::Setup;

namespace {

// The panels' own start values.
Setup startValues()
{
    Setup s;
    s.scope.timeBase = 7;
    s.generator.frequency = 1000;
    s.generator.amplitude = 1250;
    s.generator.duty = 50;
    s.analyzer.span = 7;
    return s;
}

// Every value other than its start value and inside its range.
Setup otherValues()
{
    Setup s;
    s.scope = { 12, 3, 6, 1, 2, 1, 1, -1500, 191, -256, 77, 4 };
    s.generator = { 123456, 3, 600, 5, 13, -700, {} };
    for (int i = 0; i < setupfile::kTableEntries; ++i)
        s.generator.table[static_cast<std::size_t>(i)] = (i * 37) % 4096 - 2048;
    s.analyzer = { 12, 6, -128, 6 };
    return s;
}

int valueOf(const Setup &setup, const QString &name)
{
    for (const setupfile::Key &key : setupfile::kKeys) {
        if (name == QLatin1String(key.name))
            return setupfile::valueOf(key, setup);
    }
    return -99999;
}

QString withLine(const QString &name, const QString &value)
{
    QString text = setupfile::format(startValues());
    const qsizetype at = text.indexOf(QLatin1Char('\n') + name + QLatin1Char('='));
    const qsizetype end = text.indexOf(QLatin1Char('\n'), at + 1);
    return text.replace(at + 1, end - at - 1, name + QLatin1Char('=') + value);
}

} // namespace

// setup.txt without any file: every key written and read back, and what
// damaged, cut or foreign text gives.
class TestSetupFile : public QObject {
    Q_OBJECT

private slots:
    void everyKeyRoundTrips_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("value");
        for (const setupfile::Key &key : setupfile::kKeys) {
            QTest::addRow("%s low", key.name) << QString::fromLatin1(key.name) << key.low;
            QTest::addRow("%s high", key.name) << QString::fromLatin1(key.name) << key.high;
            QTest::addRow("%s other", key.name)
                << QString::fromLatin1(key.name) << valueOf(otherValues(), QLatin1String(key.name));
        }
    }

    void everyKeyRoundTrips()
    {
        QFETCH(QString, key);
        QFETCH(int, value);
        Setup setup = startValues();
        for (const setupfile::Key &k : setupfile::kKeys) {
            if (key == QLatin1String(k.name))
                k.field(setup) = value;
        }
        const QString text = setupfile::format(setup);
        QVERIFY(text.contains(QLatin1Char('\n') + key + QLatin1Char('=') + QString::number(value)
            + QLatin1Char('\n')));
        // Read over other start values: what is found comes from the text.
        const setupfile::Reading reading = setupfile::parse(text, otherValues());
        QVERIFY2(reading.complete(), qPrintable(reading.unread.join(u' ')));
        QCOMPARE(valueOf(reading.setup, key), value);
        QCOMPARE(setupfile::format(reading.setup), text);
    }

    void tableRoundTrips()
    {
        const Setup setup = otherValues();
        const QString text = setupfile::format(setup);
        const auto line = text.split(QLatin1Char('\n')).filter(QStringLiteral("generator.table="));
        QCOMPARE(line.size(), 1);
        QCOMPARE(line[0].split(QLatin1Char(' ')).size(), setupfile::kTableEntries);
        const setupfile::Reading reading = setupfile::parse(text, startValues());
        QVERIFY(reading.complete());
        QCOMPARE(reading.setup.generator.table, setup.generator.table);
    }

    // Boxes and bars take the nearest value they can show; a list or switch
    // has no nearest entry, and its start value stays.
    void valuesOutOfRange_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("refused");
        QTest::newRow("time base past the list") << "scope.timebase"
                                                 << "15" << 7 << true;
        QTest::newRow("time base before the list") << "scope.timebase"
                                                   << "-1" << 7 << true;
        QTest::newRow("range past the list") << "scope.range2"
                                             << "7" << 0 << true;
        QTest::newRow("channel 2 neither on nor off") << "scope.channel2"
                                                      << "2" << 0 << true;
        QTest::newRow("trigger mode") << "scope.trigger"
                                      << "4" << 0 << true;
        QTest::newRow("waveform") << "generator.waveform"
                                  << "6" << 0 << true;
        QTest::newRow("span") << "analyzer.span"
                              << "13" << 7 << true;
        QTest::newRow("averaging past the list") << "analyzer.average"
                                                 << "7" << 0 << true;
        QTest::newRow("level below") << "scope.level"
                                     << "-2001" << -2000 << false;
        QTest::newRow("position past the bar") << "scope.xpos"
                                               << "500" << 192 << false;
        QTest::newRow("vertical position") << "scope.ypos2"
                                           << "-257" << -256 << false;
        QTest::newRow("frequency above") << "generator.frequency"
                                         << "600000" << 500000 << false;
        QTest::newRow("frequency zero") << "generator.frequency"
                                        << "0" << 1 << false;
        QTest::newRow("step") << "generator.step"
                              << "9" << 5 << false;
        QTest::newRow("amplitude") << "generator.amplitude"
                                   << "-5" << 0 << false;
        QTest::newRow("duty zero") << "generator.duty"
                                   << "0" << 1 << false;
        QTest::newRow("offset") << "generator.offset"
                                << "1201" << 1200 << false;
        QTest::newRow("shift to the right") << "analyzer.shift"
                                            << "100" << 0 << false;
        QTest::newRow("largest int") << "generator.frequency"
                                     << "2147483647" << 500000 << false;
        QTest::newRow("smallest int") << "scope.level"
                                      << "-2147483648" << -2000 << false;
        QTest::newRow("past int") << "generator.frequency"
                                  << "2147483648" << 1000 << true;
        QTest::newRow("many digits") << "scope.level"
                                     << "000000000001" << 0 << true;
        QTest::newRow("a plus sign") << "generator.duty"
                                     << "+20" << 20 << false;
        QTest::newRow("spaces around") << "generator.duty"
                                       << "  20 " << 20 << false;
        QTest::newRow("not a number") << "generator.duty"
                                      << "abc" << 50 << true;
        QTest::newRow("empty") << "generator.duty"
                               << "" << 50 << true;
        QTest::newRow("a fraction") << "generator.duty"
                                    << "20.5" << 50 << true;
        QTest::newRow("hexadecimal") << "scope.xpos"
                                     << "0x10" << 0 << true;
        QTest::newRow("a unit") << "generator.frequency"
                                << "2000Hz" << 1000 << true;
        QTest::newRow("a zero character")
            << "generator.duty" << QString::fromUtf8("20\0", 3) << 50 << true;
        QTest::newRow("Arabic-Indic digits")
            << "generator.duty" << QString::fromUtf8("\xd9\xa2\xd9\xa0") << 50 << true;
    }

    void valuesOutOfRange()
    {
        QFETCH(QString, key);
        QFETCH(QString, text);
        QFETCH(int, value);
        QFETCH(bool, refused);
        const setupfile::Reading reading = setupfile::parse(withLine(key, text), startValues());
        QCOMPARE(valueOf(reading.setup, key), value);
        QCOMPARE(reading.unread, refused ? QStringList { key } : QStringList {});
        QVERIFY(!reading.foreign);
        QCOMPARE(reading.strayLines, 0);
    }

    // What cannot be read keeps its start value and is named; the rest is taken.
    void damagedText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("unread");
        QTest::addColumn<int>("strayLines");
        const QString good = setupfile::format(otherValues());
        const auto cutAt = [&](const char *inside) {
            return good.left(good.indexOf(QLatin1String(inside)) + qsizetype(qstrlen(inside)));
        };
        QTest::newRow("whole") << good << QStringList {} << 0;
        QTest::newRow("Windows line ends")
            << QString(good).replace(QStringLiteral("\n"), QStringLiteral("\r\n")) << QStringList {}
            << 0;
        QTest::newRow("byte order mark") << QChar(0xfeff) + good << QStringList {} << 0;
        QTest::newRow("blank lines and comments") << QString(good).replace(
            QStringLiteral("\nscope."), QStringLiteral("\n\n# mine\n  scope."))
                                                  << QStringList {} << 0;
        QTest::newRow("spaces around the mark") << QString(good).replace(
            QStringLiteral("scope.level="), QStringLiteral("scope.level = "))
                                                << QStringList {} << 0;
        QTest::newRow("unknown keys pass")
            << good + QStringLiteral("scope.cursors=1\n") << QStringList {} << 0;
        QTest::newRow("a line without a mark") << QString(good).replace(
            QStringLiteral("\nscope.edge"), QStringLiteral("\nnonsense\nscope.edge"))
                                               << QStringList {} << 1;
        QTest::newRow("a key without a name")
            << good + QStringLiteral("=5\n") << QStringList {} << 1;
        QTest::newRow("a key missing") << QString(good).replace(
            QStringLiteral("analyzer.range="), QStringLiteral("analyzer.rang="))
                                       << QStringList { QStringLiteral("analyzer.range") } << 0;
        QTest::newRow("a bad value") << QString(good).replace(
            QStringLiteral("scope.ypos1=-256"), QStringLiteral("scope.ypos1=x"))
                                     << QStringList { QStringLiteral("scope.ypos1") } << 0;
        QTest::newRow("cut inside the table")
            << cutAt("generator.table=-2048 -2011")
            << QStringList { QStringLiteral("generator.table") } << 1;
        QTest::newRow("cut before the table")
            << cutAt("analyzer.average=6\n") << QStringList { QStringLiteral("generator.table") }
            << 0;
        // "-12" of "-128" would be a value in range: a line without its end is not taken.
        QTest::newRow("cut inside a value")
            << cutAt("analyzer.shift=-12")
            << QStringList { QStringLiteral("analyzer.shift"), QStringLiteral("analyzer.average"),
                   QStringLiteral("generator.table") }
            << 1;
        QTest::newRow("cut after the generator")
            << cutAt("generator.offset=-700\n")
            << QStringList { QStringLiteral("analyzer.span"), QStringLiteral("analyzer.range"),
                   QStringLiteral("analyzer.shift"), QStringLiteral("analyzer.average"),
                   QStringLiteral("generator.table") }
            << 0;
        QTest::newRow("a table number short")
            << QString(good).replace(
                   QStringLiteral("generator.table=-2048 "), QStringLiteral("generator.table="))
            << QStringList { QStringLiteral("generator.table") } << 0;
        QTest::newRow("a table number not a number")
            << QString(good).replace(
                   QStringLiteral("generator.table=-2048 "), QStringLiteral("generator.table=x "))
            << QStringList { QStringLiteral("generator.table") } << 0;
    }

    void damagedText()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, unread);
        QFETCH(int, strayLines);
        const setupfile::Reading reading = setupfile::parse(text, startValues());
        QVERIFY(!reading.foreign);
        QCOMPARE(reading.unread, unread);
        QCOMPARE(reading.strayLines, strayLines);
        QCOMPARE(reading.complete(), unread.isEmpty() && strayLines == 0);
        const Setup ours = startValues();
        const Setup theirs = otherValues();
        for (const setupfile::Key &key : setupfile::kKeys) {
            const Setup &expected = unread.contains(QLatin1String(key.name)) ? ours : theirs;
            QVERIFY2(setupfile::valueOf(key, reading.setup) == setupfile::valueOf(key, expected),
                key.name);
        }
        QCOMPARE(reading.setup.generator.table,
            unread.contains(QLatin1String(setupfile::kTableKey)) ? ours.generator.table
                                                                 : theirs.generator.table);
    }

    // Without "version=1" the text is no set-up of this program: nothing is taken.
    void foreignText_data()
    {
        QTest::addColumn<QString>("text");
        const QString good = setupfile::format(otherValues());
        QTest::newRow("empty") << QString();
        QTest::newRow("settings.txt") << QStringLiteral("#/dev/ttyS0#115200#3#ZOR");
        QTest::newRow("no version") << QString(good).remove(QStringLiteral("version=1\n"));
        QTest::newRow("a later version")
            << QString(good).replace(QStringLiteral("version=1"), QStringLiteral("version=2"));
        QTest::newRow("a version cut short") << QStringLiteral("version=1");
        QTest::newRow("binary") << QString::fromLatin1("\x01\xff=\x7f\n\n=\n", 8);
    }

    void foreignText()
    {
        QFETCH(QString, text);
        const setupfile::Reading reading = setupfile::parse(text, startValues());
        QVERIFY(reading.foreign);
        QVERIFY(!reading.complete());
        QCOMPARE(reading.unread.size(), int(setupfile::kKeys.size()) + 1);
        QCOMPARE(setupfile::format(reading.setup), setupfile::format(startValues()));
    }

    void lastOfTwoLinesCounts()
    {
        const QString text
            = setupfile::format(startValues()) + QStringLiteral("generator.duty=12\n");
        const setupfile::Reading reading = setupfile::parse(text, otherValues());
        QVERIFY(reading.complete());
        QCOMPARE(reading.setup.generator.duty, 12);
    }
};

QTEST_MAIN(TestSetupFile)
#include "tst_setupfile.moc"
