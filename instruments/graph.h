#pragma once

#include <QColor>

#include <memory>

class QPainter;
class QWidget;

// Paints one plot onto a panel's drawing widget: the fixed 768 x 512 pixel
// rectangle at (10, 30), 64-pixel divisions, traces in display units (4 per
// pixel, positive up). Made for one repaint, inside the widget's paint event.
class Graph {
public:
    explicit Graph(QWidget *target);
    ~Graph();
    Graph(const Graph &) = delete;
    Graph &operator=(const Graph &) = delete;

    // Black background, grid and centre axes.
    void svWindow();
    // 384 samples, two pixels per sample.
    void signal(const int *samples, const QColor &colour);
    // Samples 1 to 767, one pixel per sample; sample 0 is not drawn.
    void signal2x(const int *samples, const QColor &colour);
    // Horizontal line `offset` pixels above the zero line, not clipped.
    void cursorH(int offset, const QColor &colour);
    // Vertical line `offset` pixels right of the left edge, not clipped.
    void cursorV(int offset, const QColor &colour);

private:
    QWidget *target;
    std::unique_ptr<QPainter> painter;
};
