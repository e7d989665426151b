#include "graph.h"

#include "plotgeometry.h"

#include <QLine>
#include <QPainter>
#include <QPen>
#include <QWidget>

#include <array>

namespace {

using plot::kBottom;
using plot::kCentreX;
using plot::kDivision;
using plot::kLeft;
using plot::kRight;
using plot::kTop;
using plot::kUnitsPerPixel;
constexpr int kZeroY = plot::kCentreY;
constexpr int kHalfHeight = (kBottom - kTop) / 2;

const QColor kGridColour(10, 110, 10);
const QColor kAxisColour(10, 240, 10);

// Where one end of a trace segment lies relative to the plot.
enum class Side { Above, Inside, Below };

struct End {
    Side side;
    int row;
};

// Display units to a pixel row; the division truncates toward zero, so 1027
// still lands on the top edge and 1028 is above it.
End endOf(int value)
{
    const int quotient = value / kUnitsPerPixel;
    if (quotient > kHalfHeight)
        return {Side::Above, kTop};
    if (quotient < -kHalfHeight)
        return {Side::Below, kBottom};
    return {Side::Inside, kZeroY - quotient};
}

// The line of one trace segment into `line`; false when both ends lie on the
// same side outside the plot and nothing is drawn. A trace goes to the painter
// as one batch of lines: one call per segment costs more than the drawing.
bool segment(int x1, int value1, int x2, int value2, QLine &line)
{
    const End a = endOf(value1);
    const End b = endOf(value2);
    if (a.side != Side::Inside && a.side == b.side)
        return false;
    line = QLine(x1, a.row, x2, b.row);
    return true;
}

} // namespace

Graph::Graph(QWidget *t) : target(t), painter(std::make_unique<QPainter>(t)) {}

// Destroying the painter ends the painting pass on the target.
Graph::~Graph() = default;

void Graph::svWindow()
{
    // Filled as a rectangle: a stroke this wide would be rasterised span by
    // span and handed to helper threads on every repaint.
    painter->fillRect(QRect(kLeft, kTop, kRight - kLeft, kBottom - kTop), Qt::black);

    painter->setPen(QPen(kGridColour, 0, Qt::SolidLine));
    for (int k = 0; k <= 8; ++k)
        painter->drawLine(kLeft, kTop + kDivision * k, kRight, kTop + kDivision * k);
    for (int k = 0; k <= 12; ++k)
        painter->drawLine(kLeft + kDivision * k, kTop, kLeft + kDivision * k, kBottom);

    painter->setPen(QPen(kAxisColour, 0, Qt::SolidLine));
    painter->drawLine(kCentreX, kTop, kCentreX, kBottom);
    painter->drawLine(kLeft, kZeroY, kRight, kZeroY);
}

void Graph::signal(const int *samples, const QColor &colour)
{
    std::array<QLine, 383> lines;
    int count = 0;
    for (int k = 0; k < 383; ++k)
        count += segment(11 + 2 * k, samples[k], 12 + 2 * k, samples[k + 1], lines[count]);
    painter->setPen(QPen(colour, 0));
    painter->drawLines(lines.data(), count);
}

void Graph::signal2x(const int *samples, const QColor &colour)
{
    std::array<QLine, 766> lines;
    int count = 0;
    for (int j = 0; j < 766; ++j)
        count += segment(11 + j, samples[j + 1], 12 + j, samples[j + 2], lines[count]);
    painter->setPen(QPen(colour, 0));
    painter->drawLines(lines.data(), count);
}

void Graph::cursorH(int offset, const QColor &colour)
{
    painter->setPen(QPen(colour, 0));
    painter->drawLine(kLeft, kZeroY - offset, kRight, kZeroY - offset);
}

void Graph::cursorV(int offset, const QColor &colour)
{
    painter->setPen(QPen(colour, 0));
    painter->drawLine(offset + kLeft, kBottom, offset + kLeft, kTop);
}
