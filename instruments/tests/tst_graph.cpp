#include "graph.h"

#include <QImage>
#include <QWidget>
#include <QtTest>

#include <array>
#include <functional>

namespace {

// A widget of the main window's size that lets the test paint one plot in its
// paint event, the way the panels do.
class Canvas : public QWidget {
public:
    explicit Canvas(std::function<void(Graph &)> draw) : draw(std::move(draw))
    {
        resize(1028, 612);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        Graph graph(this);
        graph.svWindow();
        draw(graph);
    }

private:
    std::function<void(Graph &)> draw;
};

QImage paint(std::function<void(Graph &)> draw)
{
    Canvas canvas(std::move(draw));
    QImage image(canvas.size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    canvas.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

const QColor kTrace(255, 255, 0);
const QColor kGrid(10, 110, 10);
const QColor kAxis(10, 240, 10);

bool isTrace(const QImage &image, int x, int y)
{
    return image.pixelColor(x, y) == kTrace;
}

int traceCountInColumn(const QImage &image, int x)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        count += isTrace(image, x, y) ? 1 : 0;
    return count;
}

int traceCount(const QImage &image)
{
    int count = 0;
    for (int x = 0; x < image.width(); ++x)
        count += traceCountInColumn(image, x);
    return count;
}

} // namespace

class TestGraph : public QObject {
    Q_OBJECT
private slots:
    void backgroundCoversExactlyThePlot();
    void gridAndAxesAtTheirLines();
    void signalValueToRow_data();
    void signalValueToRow();
    void signalNegativeValueToRow_data();
    void signalNegativeValueToRow();
    void signalAllAboveTopDrawsNothing();
    void signalAllBelowBottomDrawsNothing();
    void signalJumpAcrossPlotIsFullHeightStroke();
    void signalZeroSpansColumns11To776();
    void signal2xZeroSpansColumns11To777();
    void signal2xIgnoresSampleZero();
    void signalSampleLitAtTwoColumns();
    void cursorHOffsets_data();
    void cursorHOffsets();
    void cursorHOutsidePlotIsNotClipped();
    void cursorVOffsets_data();
    void cursorVOffsets();
};

void TestGraph::backgroundCoversExactlyThePlot()
{
    const QImage image = paint([](Graph &) {});
    // Inside the plot, away from grid lines, is black.
    QCOMPARE(image.pixelColor(11, 31), QColor(Qt::black));
    QCOMPARE(image.pixelColor(777, 541), QColor(Qt::black));
    QCOMPARE(image.pixelColor(700, 500), QColor(Qt::black));
    // Outside the plot the widget's own background stays.
    QCOMPARE(image.pixelColor(9, 200), QColor(Qt::white));
    QCOMPARE(image.pixelColor(779, 200), QColor(Qt::white));
    QCOMPARE(image.pixelColor(200, 29), QColor(Qt::white));
    QCOMPARE(image.pixelColor(200, 543), QColor(Qt::white));
}

void TestGraph::gridAndAxesAtTheirLines()
{
    const QImage image = paint([](Graph &) {});
    for (int k = 0; k <= 8; ++k) {
        const int y = 30 + 64 * k;
        if (y == 286)
            continue;
        QCOMPARE(image.pixelColor(40, y), kGrid);
        QCOMPARE(image.pixelColor(10, y), kGrid);
        QCOMPARE(image.pixelColor(778, y), kGrid);
    }
    for (int k = 0; k <= 12; ++k) {
        const int x = 10 + 64 * k;
        if (x == 394)
            continue;
        QCOMPARE(image.pixelColor(x, 50), kGrid);
        QCOMPARE(image.pixelColor(x, 542), kGrid);
    }
    // Between grid lines nothing but background.
    QCOMPARE(image.pixelColor(41, 31 + 64), QColor(Qt::black));
    QCOMPARE(image.pixelColor(394, 50), kAxis);
    QCOMPARE(image.pixelColor(394, 30), kAxis);
    QCOMPARE(image.pixelColor(394, 542), kAxis);
    QCOMPARE(image.pixelColor(40, 286), kAxis);
    QCOMPARE(image.pixelColor(10, 286), kAxis);
    QCOMPARE(image.pixelColor(778, 286), kAxis);
    QCOMPARE(image.pixelColor(393, 50), QColor(Qt::black));
    QCOMPARE(image.pixelColor(40, 287), QColor(Qt::black));
}

void TestGraph::signalValueToRow_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("row");
    QTest::newRow("zero on the zero line") << 0 << 286;
    QTest::newRow("3 truncates to 0") << 3 << 286;
    QTest::newRow("4 one pixel up") << 4 << 285;
    QTest::newRow("1024 top edge") << 1024 << 30;
    QTest::newRow("1027 still top edge") << 1027 << 30;
    QTest::newRow("-3 truncates toward zero") << -3 << 286;
    QTest::newRow("-4 one pixel down") << -4 << 287;
    QTest::newRow("-7 truncates toward zero") << -7 << 287;
    QTest::newRow("-1027 bottom edge") << -1027 << 542;
}

void TestGraph::signalValueToRow()
{
    QFETCH(int, value);
    QFETCH(int, row);
    std::array<int, 384> samples;
    samples.fill(value);
    const QImage image = paint([&](Graph &g) { g.signal(samples.data(), kTrace); });
    QVERIFY(isTrace(image, 100, row));
    QCOMPARE(traceCountInColumn(image, 100), 1);
}

void TestGraph::signalNegativeValueToRow_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("row");
    // Past the edges, a lone sample in an all-zero trace is pinned to the edge.
    QTest::newRow("1028 above top, pinned to 30") << 1028 << 30;
    QTest::newRow("-1028 below bottom, pinned to 542") << -1028 << 542;
    QTest::newRow("100000 pinned to 30") << 100000 << 30;
    QTest::newRow("-100000 pinned to 542") << -100000 << 542;
}

void TestGraph::signalNegativeValueToRow()
{
    QFETCH(int, value);
    QFETCH(int, row);
    std::array<int, 384> samples{};
    samples[100] = value;
    const QImage image = paint([&](Graph &g) { g.signal(samples.data(), kTrace); });
    // Sample 100 lies at columns 210 and 211, drawn by the segments arriving and leaving.
    QVERIFY(isTrace(image, 210, row));
    QVERIFY(isTrace(image, 211, row));
    QVERIFY(!isTrace(image, 210, row == 30 ? 29 : 543));
}

void TestGraph::signalAllAboveTopDrawsNothing()
{
    std::array<int, 384> samples;
    samples.fill(1028);
    const QImage image = paint([&](Graph &g) { g.signal(samples.data(), kTrace); });
    QCOMPARE(traceCount(image), 0);
}

void TestGraph::signalAllBelowBottomDrawsNothing()
{
    std::array<int, 768> samples;
    samples.fill(-1028);
    const QImage image = paint([&](Graph &g) { g.signal2x(samples.data(), kTrace); });
    QCOMPARE(traceCount(image), 0);
}

void TestGraph::signalJumpAcrossPlotIsFullHeightStroke()
{
    std::array<int, 384> samples;
    samples.fill(5000);
    for (std::size_t k = 200; k < samples.size(); ++k)
        samples[k] = -5000;
    const QImage image = paint([&](Graph &g) { g.signal(samples.data(), kTrace); });
    // Only segment 199 (columns 409 to 410) is drawn: from row 30 to row 542.
    QVERIFY(traceCount(image) > 0);
    int top = 1000;
    int bottom = -1;
    for (int x = 0; x < image.width(); ++x)
        for (int y = 0; y < image.height(); ++y)
            if (isTrace(image, x, y)) {
                QVERIFY(x == 409 || x == 410);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
    QCOMPARE(top, 30);
    QCOMPARE(bottom, 542);
}

void TestGraph::signalZeroSpansColumns11To776()
{
    std::array<int, 384> samples{};
    const QImage image = paint([&](Graph &g) { g.signal(samples.data(), kTrace); });
    QVERIFY(!isTrace(image, 10, 286));
    for (int x = 11; x <= 776; ++x)
        QVERIFY2(isTrace(image, x, 286), qPrintable(QString::number(x)));
    QVERIFY(!isTrace(image, 777, 286));
    QCOMPARE(traceCount(image), 776 - 11 + 1);
}

void TestGraph::signal2xZeroSpansColumns11To777()
{
    std::array<int, 768> samples{};
    const QImage image = paint([&](Graph &g) { g.signal2x(samples.data(), kTrace); });
    QVERIFY(!isTrace(image, 10, 286));
    for (int x = 11; x <= 777; ++x)
        QVERIFY2(isTrace(image, x, 286), qPrintable(QString::number(x)));
    QVERIFY(!isTrace(image, 778, 286));
    QCOMPARE(traceCount(image), 777 - 11 + 1);
}

void TestGraph::signal2xIgnoresSampleZero()
{
    std::array<int, 768> samples{};
    samples[0] = 800;
    const QImage image = paint([&](Graph &g) { g.signal2x(samples.data(), kTrace); });
    QCOMPARE(traceCount(image), 777 - 11 + 1);
    QCOMPARE(traceCountInColumn(image, 11), 1);
    QVERIFY(isTrace(image, 11, 286));

    // Sample 1 lies at column 11.
    samples[1] = 400;
    const QImage moved = paint([&](Graph &g) { g.signal2x(samples.data(), kTrace); });
    QVERIFY(isTrace(moved, 11, 186));
    QVERIFY(!isTrace(moved, 11, 286));
}

void TestGraph::signalSampleLitAtTwoColumns()
{
    std::array<int, 384> samples{};
    samples[5] = 400;
    const QImage image = paint([&](Graph &g) { g.signal(samples.data(), kTrace); });
    // Sample 5 at columns 20 and 21, 100 pixels above the zero line.
    QVERIFY(isTrace(image, 20, 186));
    QVERIFY(isTrace(image, 21, 186));
    QVERIFY(!isTrace(image, 22, 186));
    QVERIFY(!isTrace(image, 19, 186));
    QVERIFY(isTrace(image, 19, 286));
    QVERIFY(isTrace(image, 22, 286));
}

void TestGraph::cursorHOffsets_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("row");
    QTest::newRow("0 on the zero line") << 0 << 286;
    QTest::newRow("100 up") << 100 << 186;
    QTest::newRow("-256 bottom edge") << -256 << 542;
    QTest::newRow("256 top edge") << 256 << 30;
}

void TestGraph::cursorHOffsets()
{
    QFETCH(int, offset);
    QFETCH(int, row);
    const QImage image = paint([&](Graph &g) { g.cursorH(offset, kTrace); });
    QVERIFY(isTrace(image, 10, row));
    QVERIFY(isTrace(image, 500, row));
    QVERIFY(isTrace(image, 778, row));
    QVERIFY(!isTrace(image, 9, row));
    QVERIFY(!isTrace(image, 779, row));
    QCOMPARE(traceCount(image), 769);
}

void TestGraph::cursorHOutsidePlotIsNotClipped()
{
    // Offset -270 is row 556, below the plot: drawn there, not pinned to the edge.
    // Offset 300 is row -14, above the widget itself: nothing lands on row 30.
    const QImage image = paint([&](Graph &g) { g.cursorH(-270, kTrace); });
    QVERIFY(isTrace(image, 400, 556));
    const QImage above = paint([&](Graph &g) { g.cursorH(300, kTrace); });
    QCOMPARE(traceCount(above), 0);
}

void TestGraph::cursorVOffsets_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("column");
    QTest::newRow("0 left edge") << 0 << 10;
    QTest::newRow("384 centre line") << 384 << 394;
    QTest::newRow("512 at 522") << 512 << 522;
    QTest::newRow("800 outside to the right") << 800 << 810;
}

void TestGraph::cursorVOffsets()
{
    QFETCH(int, offset);
    QFETCH(int, column);
    const QImage image = paint([&](Graph &g) { g.cursorV(offset, kTrace); });
    QVERIFY(isTrace(image, column, 30));
    QVERIFY(isTrace(image, column, 300));
    QVERIFY(isTrace(image, column, 542));
    QVERIFY(!isTrace(image, column, 29));
    QVERIFY(!isTrace(image, column, 543));
    QCOMPARE(traceCount(image), 513);
}

QTEST_MAIN(TestGraph)
#include "tst_graph.moc"
