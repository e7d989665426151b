#include "figures.h"

#include <QTest>

#include <unistd.h>

class TestFigures : public QObject {
    Q_OBJECT

private slots:
    void parsesFigureLines_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("isFigure");
        QTest::addColumn<QString>("name");
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("unit");
        QTest::newRow("plain") << "link.worker.frames_per_s: 296.4 frames/s" << true
                               << "link.worker.frames_per_s" << 296.4 << "frames/s";
        QTest::newRow("unit with spaces") << "live.osc.cpu_share: 1.25 % of a core" << true
                                          << "live.osc.cpu_share" << 1.25 << "% of a core";
        QTest::newRow("negative") << "x-y: -3.5 us" << true << "x-y" << -3.5 << "us";
        QTest::newRow("no unit") << "ratio: 12" << true << "ratio" << 12.0 << "";
        QTest::newRow("trailing blanks") << "a: 1 ms  " << true << "a" << 1.0 << "ms";
        QTest::newRow("text after the colon")
            << "zor-sim: 10 frames sent" << true << "zor-sim" << 10.0 << "frames sent";
        QTest::newRow("not a number") << "a: fast" << false << "" << 0.0 << "";
        QTest::newRow("no space after colon") << "a:1 ms" << false << "" << 0.0 << "";
        QTest::newRow("a sentence") << "bench-link failed" << false << "" << 0.0 << "";
        QTest::newRow("empty") << "" << false << "" << 0.0 << "";
    }

    void parsesFigureLines()
    {
        QFETCH(QString, line);
        QFETCH(bool, isFigure);
        QFETCH(QString, name);
        QFETCH(double, value);
        QFETCH(QString, unit);
        const bench::Figures figures = bench::parse(QStringLiteral("first: 1 x\n") + line);
        QCOMPARE(figures.count(QStringLiteral("first")), std::size_t(1));
        QCOMPARE(figures.size(), std::size_t(isFigure ? 2 : 1));
        if (isFigure) {
            QCOMPARE(figures.at(name).value, value);
            QCOMPARE(figures.at(name).unit, unit);
        }
    }

    void printedFiguresReadBackAsPrinted_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("large, no decimals") << 296.44 << "n: 296 u";
        QTest::newRow("tens, one") << 12.345 << "n: 12.3 u";
        QTest::newRow("units, two") << 4.567 << "n: 4.57 u";
        QTest::newRow("below one, three") << 0.01234 << "n: 0.012 u";
        QTest::newRow("negative") << -0.5 << "n: -0.500 u";
        QTest::newRow("just under ten") << 9.999 << "n: 10.00 u";
    }

    void printedFiguresReadBackAsPrinted()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        const QString line = bench::format(QStringLiteral("n"), value, QStringLiteral("u"));
        QCOMPARE(line, text);
        const bench::Figures back = bench::parse(line);
        QCOMPARE(back.size(), std::size_t(1));
        QCOMPARE(
            back.at(QStringLiteral("n")).value, text.section(QLatin1Char(' '), 1, 1).toDouble());
    }

    void medianOfOddEvenAndNone()
    {
        QCOMPARE(bench::median({ 5.0, 1.0, 3.0 }), 3.0);
        QCOMPARE(bench::median({ 4.0, 1.0, 3.0, 2.0 }), 2.5);
        QCOMPARE(bench::median({ 7.0 }), 7.0);
        QCOMPARE(bench::median({}), 0.0);
    }

    void cpuTimeOfAProcessGrowsWithWork()
    {
        const double before = bench::otherProcessCpuSeconds(long(getpid()));
        QVERIFY(before >= 0.0);
        const double ownBefore = bench::processCpuSeconds();
        volatile double x = 0;
        while (bench::processCpuSeconds() - ownBefore < 0.05)
            x = x + 1.0;
        // /proc counts in clock ticks (10 ms): 50 ms of work shows.
        QVERIFY(bench::otherProcessCpuSeconds(long(getpid())) > before);
    }

    void aProcessThatIsNotThereHasNoCpuTime() { QVERIFY(bench::otherProcessCpuSeconds(-1) < 0.0); }
};

QTEST_MAIN(TestFigures)
#include "tst_figures.moc"
