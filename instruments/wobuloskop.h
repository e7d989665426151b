#pragma once

#include "sweep.h"
#include "sweepjob.h"

#include <QDateTime>
#include <QObject>

#include <optional>
#include <vector>

class FrameBuffer;
class GenTable;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QWidget;
class SweepPlot;
class ZORCom;

// The Wobuloskop tab: a circuit's frequency response. The generator drives
// the circuit and channel 2, the circuit's output goes to channel 1; Start
// sweeps the generator's sine in log steps and plots gain and phase as the
// steps come. The sweep runs on a thread of its own (SweepJob): nothing here
// waits on the device. Its controls sit on the main window.
class Wobuloskop : public QObject {
    Q_OBJECT
public:
    Wobuloskop(QWidget *window, FrameBuffer *frames, GenTable *table);
    ~Wobuloskop() override;

    void show();
    // Leaving the tab stops a sweep; the generator is put back meanwhile (busy()).
    void hide();
    void enable();
    // Entering the tab with the port open: nothing to send until Start.
    void start();
    // The link is about to close: the sweep ends now, without a word more.
    void abort();
    // The sweep's thread is still at work: sweeping, or putting the generator back.
    bool busy() const { return job.busy(); }
    // Looks at the sweep's progress; called on the window's timer.
    void tick();

    // Before each Start: what the generator plays, to put back afterwards.
    void setGenerator(const SweepJob::Generator &playing) { generator = playing; }

    // The last sweep, as the export takes it; time is null before any.
    struct Result {
        sweep::Plan plan;
        std::vector<sweep::Point> points;
        QDateTime time;
    };
    const Result &result() const { return shown; }

    ZORCom *com = nullptr; // the latest link, set by the main window; not owned
    int lineSpeed = 115200; // set by the main window with the link

private slots:
    void startSlot();
    void hoverSlot(int x);
    void leaveSlot();

private:
    std::optional<sweep::Plan> planFromControls();
    std::vector<QWidget *> widgets() const;
    void showReadouts();
    void setRunning(bool running);

    QWidget *window;
    FrameBuffer *frames;
    GenTable *table;
    SweepJob job;
    SweepJob::Generator generator;
    unsigned changesSeen = 0;
    bool running = false;

    SweepPlot *plot;
    QLineEdit *fromEdit;
    QLineEdit *toEdit;
    QSpinBox *perDecadeBox;
    QLineEdit *amplitudeEdit;
    QPushButton *startButton;
    std::vector<QWidget *> labels;
    QLabel *cornerLabel;
    QLabel *passbandLabel;
    QLabel *progressLabel;
    QLabel *hoverLabel;
    int planned = 0; // steps of the sweep under way or last run
    Result shown;
};
