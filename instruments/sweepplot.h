#pragma once

#include "sweep.h"

#include <QWidget>

#include <optional>
#include <vector>

// The Wobuloskop's plot: gain (dB, left scale) and phase (degrees, right
// scale) against a log frequency axis with a line at every decade, the
// points drawn as they come and a step not measured left as a gap. It lies
// over the window's plot rectangle and follows the mouse: the nearest step
// under it is offered to whoever listens.
class SweepPlot : public QWidget {
    Q_OBJECT
public:
    explicit SweepPlot(QWidget *parent);

    // The frequency axis spans the plan's frequencies, out to whole decades.
    void setSpan(double fromHz, double toHz);
    void setPoints(const std::vector<sweep::Point> &points);

    // A cursor line at the step the readouts show; none removes it.
    void mark(std::optional<double> hz);

    // The step nearest to a point of this widget, along the frequency axis.
    std::optional<sweep::Point> nearest(int x) const;

signals:
    void hovered(int x);
    void left();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;

private:
    double xOf(double hz) const;
    double gainY(double db) const;
    double phaseY(double degrees) const;

    std::vector<sweep::Point> points;
    double lowDecade = 1; // log10 of the axis's ends
    double highDecade = 5;
    double topDb = 10; // the gain scale's top; 8 divisions of 10 dB below it
    std::optional<double> markedHz;
};
