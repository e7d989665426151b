#include "sweepplot.h"

#include "sweeptable.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kDivisions = 8; // vertical divisions
constexpr double kDbPerDivision = 10;
constexpr double kDegreesPerDivision = 45;
const QColor kGainColour(255, 220, 0);
const QColor kPhaseColour(0, 200, 255);
const QColor kGridColour(70, 70, 70);

QString decadeText(int decade)
{
    return sweeptable::hertz(std::pow(10.0, decade)).replace(QStringLiteral(".000"), QString())
        .replace(QStringLiteral(".00"), QString()).replace(QStringLiteral(".0 "), QStringLiteral(" "));
}

} // namespace

SweepPlot::SweepPlot(QWidget *parent)
    : QWidget(parent)
{
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void SweepPlot::setSpan(double fromHz, double toHz)
{
    lowDecade = std::floor(std::log10(std::max(fromHz, 1.0)) + 1e-9);
    highDecade = std::max(lowDecade + 1, std::ceil(std::log10(std::max(toHz, 1.0)) - 1e-9));
    update();
}

void SweepPlot::setPoints(const std::vector<sweep::Point> &newPoints)
{
    points = newPoints;
    // The gain scale's top: 10 dB above the passband, on a whole 10 dB.
    const std::optional<double> passband = sweep::passbandDb(points);
    topDb = passband ? std::ceil((*passband + 5) / kDbPerDivision) * kDbPerDivision : 10;
    update();
}

void SweepPlot::mark(std::optional<double> hz)
{
    if (hz == markedHz)
        return;
    markedHz = hz;
    update();
}

double SweepPlot::xOf(double hz) const
{
    const double at = (std::log10(hz) - lowDecade) / (highDecade - lowDecade);
    return at * (width() - 1);
}

double SweepPlot::gainY(double db) const
{
    return (topDb - db) / (kDivisions * kDbPerDivision) * (height() - 1);
}

double SweepPlot::phaseY(double degrees) const
{
    return (180 - degrees) / (kDivisions * kDegreesPerDivision) * (height() - 1);
}

std::optional<sweep::Point> SweepPlot::nearest(int x) const
{
    std::optional<sweep::Point> best;
    double distance = 0;
    for (const sweep::Point &p : points) {
        const double d = std::abs(xOf(p.hz) - x);
        if (!best || d < distance) {
            best = p;
            distance = d;
        }
    }
    return best;
}

void SweepPlot::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    painter.setPen(kGridColour);
    // A line per decade, fainter ones at 2..9 times it.
    for (int decade = int(lowDecade); decade < int(highDecade); ++decade) {
        for (int k = 2; k < 10; ++k) {
            const int x = int(std::lround(xOf(k * std::pow(10.0, decade))));
            painter.setPen(QPen(kGridColour, 1, Qt::DotLine));
            painter.drawLine(x, 0, x, height());
        }
    }
    painter.setPen(kGridColour);
    for (int decade = int(lowDecade); decade <= int(highDecade); ++decade) {
        const int x = int(std::lround(xOf(std::pow(10.0, decade))));
        painter.drawLine(x, 0, x, height());
    }
    for (int d = 0; d <= kDivisions; ++d) {
        const int y = d * (height() - 1) / kDivisions;
        painter.drawLine(0, y, width(), y);
    }

    // The scales: dB at the left, degrees at the right, decades along the bottom.
    const QFontMetrics metrics(painter.font());
    for (int d = 0; d <= kDivisions; ++d) {
        const int y = std::clamp(d * (height() - 1) / kDivisions, metrics.ascent() + 1, height() - 3);
        painter.setPen(kGainColour);
        painter.drawText(3, y - 2, QStringLiteral("%1 dB").arg(topDb - d * kDbPerDivision));
        painter.setPen(kPhaseColour);
        const QString degrees = QStringLiteral("%1°").arg(180 - d * kDegreesPerDivision);
        painter.drawText(width() - metrics.horizontalAdvance(degrees) - 3, y - 2, degrees);
    }
    painter.setPen(Qt::white);
    for (int decade = int(lowDecade) + 1; decade < int(highDecade); ++decade) {
        const QString text = decadeText(decade);
        const int x = int(std::lround(xOf(std::pow(10.0, decade))));
        painter.drawText(x - metrics.horizontalAdvance(text) / 2, height() - 4 - metrics.height(), text);
    }
    painter.drawText(width() / 2 - 60, 14, QStringLiteral("gain dB"));
    painter.setPen(kPhaseColour);
    painter.drawText(width() / 2 + 10, 14, QStringLiteral("phase °"));

    // The traces: a gap at every step not measured.
    painter.setRenderHint(QPainter::Antialiasing);
    const auto trace = [&](const QColor &colour, bool wraps, auto yOf) {
        QPainterPath path;
        bool joined = false;
        double lastPhase = 0;
        for (const sweep::Point &p : points) {
            if (!p.measured()) {
                joined = false;
                continue;
            }
            const QPointF at(xOf(p.hz), yOf(p));
            // A phase wrapping past +-180 starts afresh instead of crossing the plot.
            const bool wrapped = wraps && joined && std::abs(p.phaseDeg() - lastPhase) > 180;
            if (joined && !wrapped)
                path.lineTo(at);
            else
                path.moveTo(at);
            joined = true;
            lastPhase = p.phaseDeg();
            painter.setPen(Qt::NoPen);
            painter.setBrush(colour);
            painter.drawEllipse(at, 2.5, 2.5);
        }
        painter.setBrush(Qt::NoBrush);
        painter.setPen(QPen(colour, 1.5));
        painter.drawPath(path);
    };
    trace(kGainColour, false, [&](const sweep::Point &p) { return gainY(p.gainDb()); });
    trace(kPhaseColour, true, [&](const sweep::Point &p) { return phaseY(p.phaseDeg()); });
    if (markedHz) {
        painter.setPen(QPen(Qt::white, 1, Qt::DashLine));
        const double x = xOf(*markedHz);
        painter.drawLine(QPointF(x, 0), QPointF(x, height()));
    }
    // Steps not measured: a red mark on the frequency axis.
    painter.setPen(QPen(Qt::red, 2));
    for (const sweep::Point &p : points)
        if (!p.measured()) {
            const double x = xOf(p.hz);
            painter.drawLine(QPointF(x, height() - 8), QPointF(x, height() - 1));
        }
}

void SweepPlot::mouseMoveEvent(QMouseEvent *event)
{
    emit hovered(event->position().toPoint().x());
}

void SweepPlot::leaveEvent(QEvent *)
{
    emit left();
}
