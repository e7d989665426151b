#pragma once

#include "frameaverage.h"
#include "setupfile.h"
#include "spectrum.h"

#include <QDateTime>
#include <QMainWindow>
#include <QPoint>

#include <array>
#include <optional>

class QComboBox;
class QLabel;
class QPushButton;
class QScrollBar;
class ZORCom;

// The spectrum analyzer tab: the live spectrum of the one-channel acquisition
// with span, range and scroll controls and the power and THD+N readouts. Its
// controls sit on the main window; this object only takes their signals and
// keeps the analyzer's settings, which it sends to the device on start().
class Analizator : public QMainWindow {
    Q_OBJECT
public:
    explicit Analizator(QWidget *window);

    void show();
    void hide();
    void enable();
    void start();
    // Paints the spectrum of `frame` (1024 samples) onto the main window.
    void drawGraph(const int *frame);
    // No good frame has come for longer than one can take: the readouts show
    // "--" instead of numbers for the old picture (or for no signal at all).
    void setNoData(bool none);
    // The reference cursor, a cross at a window point inside the plot; none
    // removes it.
    void setReference(std::optional<QPoint> point);
    std::optional<QPoint> reference() const { return referencePoint; }
    // Run/Stop has frozen the spectrum and its readouts.
    bool isStopped() const { return stopped; }
    // The controls as a set-up to keep, and a kept set-up put into the
    // controls without a word to the device: start() sends it.
    setupfile::Analyzer setup() const;
    void applySetup(const setupfile::Analyzer &setup);

    // The spectrum on screen: the settings and readouts of its paint; its bin
    // levels are levels() until the next paint. time is null before the first.
    struct Picture {
        int tbIndex = 7;
        int gainIndex = 0;
        int xPos = 0;
        spectrum::Readouts readouts;
        QDateTime time;
    };
    const Picture &picture() const { return shown; }
    const double *levels() const { return work.im.data(); }

    ZORCom *com = nullptr; // the latest link, set by the main window; not owned
    int tbIndex = 7; // time-base code of the chosen span, 2 .. 14
    int xPos = 0; // bin shift, -128 .. 0: the trace starts at bin -xPos

private slots:
    void taSlot();
    void vaSlot();
    void xPosSlot();
    void runSlot();
    void averageSlot();

private:
    bool noData = false;
    bool stopped = false;
    std::optional<QPoint> referencePoint;
    void showReadouts();
    static double fft(double *re, double *im, int m, const double *tab, int tabLen);
    static void adjustGraph(int *disp, const double *levels, int shift);

    QWidget *window;
    QComboBox *taBox;
    QComboBox *vaBox;
    QScrollBar *xPosBar;
    QLabel *powerLabel;
    QLabel *thdLabel;
    QPushButton *runButton;
    QComboBox *averageBox;
    QLabel *averageLabel;

    // The transform's working arrays live here so that a paint allocates nothing.
    spectrum::Workspace work;
    // The bin powers of the last frames, when averaging is chosen.
    FrameAverage average { spectrum::kPoints };
    Picture shown;
    std::array<int, spectrum::kPoints> lastFrame {};
    std::array<int, spectrum::kDispLen> bufDisp {};

    int gainIndex = 0; // gain code of the chosen range, 0 .. 6
};
