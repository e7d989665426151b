#pragma once

#include "framebuffer.h"
#include "meterdriver.h"
#include "recorder.h"

#include <QObject>
#include <QString>

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QWidget;
class ZORCom;

// The "&Multimetr" tab: DC, AC RMS, frequency and peak to peak per channel
// in large digits, with the statistics since Reset, and the recorder. Thin:
// the readings, the range and the log are MeterDriver's and Recorder's. Its
// controls are children of the main window at fixed positions along the
// bottom row and the right strip, greyed until a port is open; the readings
// are painted in the plot, and while it records the trend under them.
class Multimetr : public QObject {
    Q_OBJECT
public:
    // Owned by the window, as a child of it.
    explicit Multimetr(QWidget *window);
    ~Multimetr() override;

    void show();
    // Leaving the tab ends a recording, its file complete.
    void hide();
    void enable();
    // The link of a new opening, its port and speed.
    void connectLink(ZORCom *link, const QString &port, int speed);
    // Sends the meter's settings to the device: a tab change, Open port, a
    // comeback. Frames from before are not read.
    void start();
    // One tick of the window's timer: every frame that came since the last
    // is read and recorded; the device is asked for a new range or time base
    // when the signal needs one. Never waits on the device.
    void poll(bool linkOpen);
    // The line went away: the recording says so and waits for the comeback.
    void lineLost();
    // Paints the readings in large digits with their statistics (and the
    // trend under them while recording) in the plot.
    void drawGraph();

    bool isRecording() const { return recorder.isRecording(); }
    // A new recording into path at the chosen interval; false with the reason
    // in the status when the file cannot be made.
    bool startRecording(const QString &path);
    // Ends the recording with the interval in progress; the status says where
    // the file is and how many lines it holds.
    void stopRecording();

    // What the digits show now for a channel (0 or 1): "1.235 V", "over range", "--".
    QString readingText(int channel, meter::Quantity quantity) const;
    QString statisticsText(int channel, meter::Quantity quantity) const;

signals:
    // Record… was pressed with no recording running: the window asks for a file.
    void recordAsked();

private slots:
    void settingsSlot();
    void holdSlot();
    void resetSlot();
    void recordSlot();

private:
    using Clock = Recorder::Clock;
    struct Shown {
        std::array<meter::Reading, MeterDriver::kChannels> reading {};
        std::array<int, MeterDriver::kChannels> gain {};
        std::array<std::array<RunningStats, meter::kQuantities>, MeterDriver::kChannels> stats {};
        int channels = 1;
        bool any = false;
    };
    struct TrendPoint {
        double seconds;
        std::array<double, MeterDriver::kChannels> dc;
        std::array<bool, MeterDriver::kChannels> over;
    };

    QList<QWidget *> widgets() const;
    void drawDigits(class QPainter &painter, const class QRect &area) const;
    void send();
    void keep();
    void fail(const QString &reason);
    void drawTrend(class QPainter &painter, const class QRect &area) const;

    QWidget *window;
    ZORCom *com = nullptr;
    QString portName;
    int lineSpeed = 115200;
    MeterDriver driver { lineSpeed, kStaleFrames };
    Recorder recorder;
    std::uint64_t seen = 0;
    Clock::time_point lastFrame = Clock::now();
    Clock::time_point recordStart = Clock::now();
    // A reading not painted yet, and when the digits were painted last.
    bool fresh = false;
    Clock::time_point lastPaint;
    static constexpr auto kRepaintEvery = std::chrono::milliseconds(200);
    bool held = false;
    Shown shown;
    std::deque<TrendPoint> trend;

    QComboBox *range1Combo;
    QCheckBox *channel2Box;
    QComboBox *range2Combo;
    QPushButton *holdButton;
    QPushButton *resetButton;
    QComboBox *intervalCombo;
    QPushButton *recordButton;
    QLabel *recordLabel;

    // The window sends new settings without waiting for the device to take
    // them: the frame it is sending and the one it may have begun are of the
    // old ones.
    static constexpr int kStaleFrames = 2;
};
