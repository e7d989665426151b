#pragma once

#include "frameaverage.h"
#include "setupfile.h"
#include "trigger.h"

#include <QDateTime>
#include <QMainWindow>
#include <QPoint>
#include <QRegion>
#include <QStringList>

#include <array>
#include <optional>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QScrollBar;
class QSpinBox;
class ZORCom;

// The "&Oscyloskop" tab: a two-channel oscilloscope. The panel itself is never
// shown; its controls are children of the main window at fixed positions and
// its plot is painted on the main window while the tab is current.
class Oscyloskop : public QMainWindow {
    Q_OBJECT
public:
    explicit Oscyloskop(QWidget *window);

    void show();
    void hide();
    // Makes the channel 1 and trigger controls usable once a port has been opened.
    void enable();
    // Sends the channel mode, time base and gains to the device.
    void start();
    // Aligns a fresh frame (1024 samples), updates the readouts and paints the plot.
    void drawGraph(const int *frame);
    // No good frame has come for longer than one can take: the readouts show
    // "--" instead of numbers for the old picture (or for no signal at all).
    void setNoData(bool none);
    // The trigger level line alone, for a repaint of window parts outside the
    // plot that the line crosses: it is drawn unclipped, wherever its row is.
    void drawLevelLine();
    // Where the level line lies now and where it was last painted; a repaint
    // of the plot must cover both to draw the one and erase the other.
    QRegion levelLineRegion() const;
    // One tick of the refresh timer; the count stops at its top instead of wrapping.
    void tick();
    // The reference cursor, a cross at a window point inside the plot; none
    // removes it.
    void setReference(std::optional<QPoint> point);
    std::optional<QPoint> reference() const { return referencePoint; }
    // Run/Stop has frozen the picture and its readouts.
    bool isStopped() const { return stopped; }
    // The controls as a set-up to keep, and a kept set-up put into the
    // controls without a word to the device: start() sends it.
    setupfile::Scope setup() const;
    void applySetup(const setupfile::Scope &setup);

    // The frame behind the picture on screen, whole, with the settings it was
    // shown with; time is null until a frame has been shown.
    struct Picture {
        std::array<int, osc::kFrame> frame {};
        int tbIndex = 7;
        int gain1 = 0;
        int gain2 = 0;
        bool twoChannels = false;
        int trigWord = 0; // the trigger controls it was taken with
        int trigLevel = 0;
        QDateTime time;
    };
    const Picture &picture() const { return shown; }

    ZORCom *com = nullptr;
    int trigTicks = 0; // refresh ticks since the last edge; the main window counts them
    int tbIndex = 7; // time-base code, 0 the fastest
    int gain1Index = 0;

private slots:
    void tSlot();
    void vSlot();
    void xPosSlot();
    void yPosSlot();
    void channel2Slot();
    void trigSlot();
    void runSlot();
    void averageSlot();

private:
    bool noData = false;
    bool stopped = false;
    // The latest frame the trigger looked at held an edge (since the trigger
    // controls last changed).
    bool edgeFound = false;
    std::optional<QPoint> referencePoint;
    bool singleHeld() const;
    void showTrigStatus();
    bool trigger(const int *raw, int *out1, int *out2, int level, int word, int xpos);
    void updateReadouts();
    void adjustGraph(bool channel2);
    int levelRow() const;
    QList<QWidget *> instrumentWidgets() const;
    void enableChannel2Controls(bool on);

    QWidget *window;
    QComboBox *timeCombo;
    QComboBox *gain1Combo;
    QComboBox *gain2Combo;
    QScrollBar *xPosBar;
    QScrollBar *yPos1Bar;
    QScrollBar *yPos2Bar;
    QCheckBox *channel2Box;
    QStringList fastTimeItems;
    QComboBox *trigModeCombo;
    QComboBox *trigEdgeCombo;
    QComboBox *trigBandCombo;
    QSpinBox *trigLevelBox;
    QLabel *trigStateLabel;
    QPushButton *runButton;
    QLabel *xPosLabel;
    QLabel *yPos1Label;
    QLabel *yPos2Label;
    QLabel *rms1Label;
    QLabel *rms2Label;
    QLabel *avg1Label;
    QLabel *avg2Label;
    QLabel *vpp1Label;
    QLabel *vpp2Label;
    QLabel *freq1Label;
    QLabel *freq2Label;
    QComboBox *averageBox;
    QLabel *averageLabel;
    // The aligned traces of the last triggered frames, both channels, when
    // averaging is chosen; in display units before the vertical offsets.
    FrameAverage average { 2 * osc::kWindow };
    // A fresh triggered frame joins the average; the traces become its mean.
    void averageTraces(bool fresh);

    int gain2Index = 0;
    Picture shown;
    int trigWord = 0;
    int trigLevel = 0;
    bool triggered = false;
    bool trigRearm = false;
    int xPos = 0;
    int yPos1 = 0; // pixels, positive up
    int yPos2 = 0;
    std::optional<int> paintedLevelRow; // window row of the level line last drawn

    // Display buffers in display units, vertical offsets included.
    std::array<int, osc::kWindow> bufGraph {};
    std::array<int, osc::kWindow> bufGraph2 {};
};
