#include "wavedraw.h"

#include <QtTest>

#include <array>
#include <vector>

namespace {

constexpr int kUntouched = 9999;

std::vector<int> blankTable(int n)
{
    return std::vector<int>(static_cast<std::size_t>(n), kUntouched);
}

} // namespace

class TestWaveDraw : public QObject {
    Q_OBJECT

private slots:
    void windowPointsMapToColumnAndValue_data();
    void windowPointsMapToColumnAndValue();
    void pointsOnOrOutsideTheFrameAreIgnored_data();
    void pointsOnOrOutsideTheFrameAreIgnored();
    void columnsMapToEntries_data();
    void columnsMapToEntries();
    void lineDrivenByValue();
    void lineDrivenByColumnSkipsTheStartColumn();
    void lineBackwardsAndDownwards();
    void lineEndsExactlyOnTheEndPoint_data();
    void lineEndsExactlyOnTheEndPoint();
    void lineToTheSamePointWritesNothing();
    void lineOnShortTableSharesEntries();
    void lineAcrossThePeriodEndWraps();
    void previewShowsOneAndAHalfPeriods_data();
    void previewShowsOneAndAHalfPeriods();
    void previewHalvesTowardZero();
    void previewWithFirstColumnLeavesEarlierColumnsAndStaysInTable();
};

void TestWaveDraw::windowPointsMapToColumnAndValue_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("value");
    QTest::newRow("centre line") << 110 << 286 << 100 << 0;
    QTest::newRow("top row inside") << 110 << 31 << 100 << 2040;
    QTest::newRow("bottom row inside") << 110 << 541 << 100 << -2040;
    QTest::newRow("left column inside") << 11 << 200 << 1 << 688;
    QTest::newRow("right column inside") << 777 << 300 << 767 << -112;
}

void TestWaveDraw::windowPointsMapToColumnAndValue()
{
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(int, column);
    QFETCH(int, value);
    const auto p = wavedraw::arbPoint(x, y);
    QVERIFY(p.has_value());
    QCOMPARE(p->column, column);
    QCOMPARE(p->value, value);
}

void TestWaveDraw::pointsOnOrOutsideTheFrameAreIgnored_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::newRow("left frame") << 10 << 286;
    QTest::newRow("top frame") << 110 << 30;
    QTest::newRow("right frame") << 778 << 286;
    QTest::newRow("bottom frame") << 110 << 542;
    QTest::newRow("left of the plot") << -5 << 286;
    QTest::newRow("below the plot") << 110 << 600;
}

void TestWaveDraw::pointsOnOrOutsideTheFrameAreIgnored()
{
    QFETCH(int, x);
    QFETCH(int, y);
    QVERIFY(!wavedraw::arbPoint(x, y).has_value());
}

void TestWaveDraw::columnsMapToEntries_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("entry");
    QTest::newRow("full table, column 100") << 100 << 512 << 100;
    QTest::newRow("full table, last column of the period") << 511 << 512 << 511;
    QTest::newRow("full table, column 512 wraps") << 512 << 512 << 0;
    QTest::newRow("full table, column 600") << 600 << 512 << 88;
    QTest::newRow("full table, last column") << 767 << 512 << 255;
    QTest::newRow("8 entries, column 63") << 63 << 8 << 0;
    QTest::newRow("8 entries, column 64") << 64 << 8 << 1;
    QTest::newRow("8 entries, column 511") << 511 << 8 << 7;
    QTest::newRow("98 entries, column 511") << 511 << 98 << 97;
    QTest::newRow("2 entries, column 255") << 255 << 2 << 0;
    QTest::newRow("2 entries, column 256") << 256 << 2 << 1;
}

void TestWaveDraw::columnsMapToEntries()
{
    QFETCH(int, column);
    QFETCH(int, n);
    QFETCH(int, entry);
    QCOMPARE(wavedraw::arbEntry(column, n), entry);
}

void TestWaveDraw::lineDrivenByValue()
{
    auto t = blankTable(512);
    wavedraw::lineArb(t.data(), 512, 100, 0, 104, 16);
    QCOMPARE(t[99], kUntouched);
    QCOMPARE(t[100], 2);
    QCOMPARE(t[101], 6);
    QCOMPARE(t[102], 10);
    QCOMPARE(t[103], 14);
    QCOMPARE(t[104], 16);
    QCOMPARE(t[105], kUntouched);
}

void TestWaveDraw::lineDrivenByColumnSkipsTheStartColumn()
{
    auto t = blankTable(512);
    wavedraw::lineArb(t.data(), 512, 100, 0, 108, 4);
    QCOMPARE(t[100], kUntouched);
    const std::array<int, 8> expected { 0, 1, 1, 2, 2, 3, 3, 4 };
    for (int i = 0; i < 8; ++i)
        QCOMPARE(t[101 + i], expected[i]);
    QCOMPARE(t[109], kUntouched);
}

void TestWaveDraw::lineBackwardsAndDownwards()
{
    auto t = blankTable(512);
    wavedraw::lineArb(t.data(), 512, 108, 4, 100, 0);
    QCOMPARE(t[108], kUntouched);
    const std::array<int, 8> expected { 4, 3, 3, 2, 2, 1, 1, 0 }; // columns 107 down to 100
    for (int i = 0; i < 8; ++i)
        QCOMPARE(t[107 - i], expected[i]);
}

void TestWaveDraw::lineEndsExactlyOnTheEndPoint_data()
{
    QTest::addColumn<int>("x0");
    QTest::addColumn<int>("y0");
    QTest::addColumn<int>("x1");
    QTest::addColumn<int>("y1");
    QTest::newRow("steep up") << 10 << -2040 << 13 << 2040;
    QTest::newRow("steep down, leftwards") << 300 << 800 << 290 << -33;
    QTest::newRow("flat") << 1 << 5 << 767 << 5;
    QTest::newRow("diagonal") << 40 << 40 << 80 << 0;
    QTest::newRow("vertical") << 200 << 0 << 200 << -24;
}

void TestWaveDraw::lineEndsExactlyOnTheEndPoint()
{
    QFETCH(int, x0);
    QFETCH(int, y0);
    QFETCH(int, x1);
    QFETCH(int, y1);
    auto t = blankTable(512);
    wavedraw::lineArb(t.data(), 512, x0, y0, x1, y1);
    QCOMPARE(t[static_cast<std::size_t>(wavedraw::arbEntry(x1, 512))], y1);
}

void TestWaveDraw::lineToTheSamePointWritesNothing()
{
    auto t = blankTable(512);
    wavedraw::lineArb(t.data(), 512, 100, 40, 100, 40);
    for (const int v : t)
        QCOMPARE(v, kUntouched);
}

// 64 columns share each entry of an 8-entry table; the last write wins.
void TestWaveDraw::lineOnShortTableSharesEntries()
{
    auto t = blankTable(8);
    wavedraw::lineArb(t.data(), 8, 0, 0, 511, 511);
    for (int e = 0; e < 8; ++e)
        QCOMPARE(t[static_cast<std::size_t>(e)], 64 * e + 63);
}

void TestWaveDraw::lineAcrossThePeriodEndWraps()
{
    auto t = blankTable(512);
    wavedraw::lineArb(t.data(), 512, 510, 0, 514, 4);
    QCOMPARE(t[510], kUntouched);
    QCOMPARE(t[511], 1);
    QCOMPARE(t[0], 2);
    QCOMPARE(t[1], 3);
    QCOMPARE(t[2], 4);
}

void TestWaveDraw::previewShowsOneAndAHalfPeriods_data()
{
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("column");
    QTest::addColumn<int>("entry");
    QTest::newRow("512: first column") << 512 << 0 << 0;
    QTest::newRow("512: end of the period") << 512 << 511 << 511;
    QTest::newRow("512: repeat starts") << 512 << 512 << 0;
    QTest::newRow("512: last column") << 512 << 767 << 255;
    QTest::newRow("8: column 63") << 8 << 63 << 0;
    QTest::newRow("8: column 64") << 8 << 64 << 1;
    QTest::newRow("8: column 767") << 8 << 767 << 3;
    QTest::newRow("98: column 600") << 98 << 600 << 16;
}

void TestWaveDraw::previewShowsOneAndAHalfPeriods()
{
    QFETCH(int, n);
    QFETCH(int, column);
    QFETCH(int, entry);
    std::vector<int> table(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        table[static_cast<std::size_t>(i)] = 2 * (i + 1);
    std::array<int, wavedraw::kPreviewColumns> preview {};
    wavedraw::adjustGraph(table.data(), n, preview.data(), 0, 0, n);
    QCOMPARE(preview[static_cast<std::size_t>(column)], entry + 1);
}

void TestWaveDraw::previewHalvesTowardZero()
{
    const std::array<int, 4> table { -2047, 2047, -1, 1 };
    std::array<int, wavedraw::kPreviewColumns> preview {};
    wavedraw::adjustGraph(table.data(), 4, preview.data(), 0, 0, 4);
    QCOMPARE(preview[0], -1023);
    QCOMPARE(preview[128], 1023);
    QCOMPARE(preview[256], 0);
    QCOMPARE(preview[384], 0);
}

void TestWaveDraw::previewWithFirstColumnLeavesEarlierColumnsAndStaysInTable()
{
    const std::array<int, 4> table { 10, 20, 30, 40 };
    std::array<int, wavedraw::kPreviewColumns> preview;
    preview.fill(kUntouched);
    wavedraw::adjustGraph(table.data(), 4, preview.data(), 3, 100, 4);
    QCOMPARE(preview[2], kUntouched);
    QCOMPARE(preview[3], 100 + 20 / 2); // index (3*4)/512 - 3 = -3 wraps to entry 1
    QCOMPARE(preview[767], 100 + 30 / 2); // index (767*4)/512 - 3 = 2
}

QTEST_MAIN(TestWaveDraw)
#include "tst_wavedraw.moc"
