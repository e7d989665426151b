#pragma once

#include "gentable.h"
#include "setupfile.h"

#include <QMainWindow>

class QComboBox;
class QLabel;
class QMouseEvent;
class QSpinBox;
class ZORCom;

// The "&Generator" tab: frequency, waveform, amplitude, duty and DC offset of
// the ZOR's signal generator, a preview of the table it plays, and a wave the
// user draws with the mouse. The controls live on the main window; this
// object only owns their slots and the generator's settings.
class Generator : public QMainWindow {
    Q_OBJECT
public:
    Generator(QWidget *window, GenTable *table);

    void show();
    void hide();
    // The port has been opened: the controls become usable.
    void enable();
    // A port has just been opened, perhaps to a device that was reset or
    // swapped and has no table: the next start() sends it. Called by the main
    // window at every successful open, before any panel starts.
    void newDevice();
    // The tab is entered with the port open: the device gets every setting.
    void start();
    // Paints the preview: one and a half periods of the table.
    void drawGraph(int first, int offset);
    // A mouse move over the plot while a button is held.
    void drawArb(QMouseEvent *event);
    // Any button release: ends a stroke and sends the drawn table.
    void drawArbRelease();

    // Recomputes the table from the five settings and has it sent (and the
    // preview repainted) when they differ from the previous call's.
    void bufChange(int tab, int type, int gain, int duty, int dcShift);

    // What the generator plays: the table (entries 0..tab-1 one period) and
    // the settings it was computed from.
    struct Playing {
        Table table{};
        int tab = 0;
        int period = 0; // device clock ticks per entry
        int freq = 0;
        int type = 0;
        int amplitude = 0; // mV
        int duty = 0;
        int offset = 0; // mV
    };
    Playing playing() const;

    // The controls and the table as a set-up to keep, and a kept set-up put
    // into them without a word to the device: the next start() sends it all,
    // the table included.
    setupfile::Generator setup() const;
    void applySetup(const setupfile::Generator &setup);

    ZORCom *com = nullptr;
    int freq = 1000; // Hz, as last taken from the frequency box

private slots:
    void fMulSlot();
    void fSlot();
    void typeSlot();
    void gSlot();
    void dSlot();
    void oSlot();

private:
    void sendTable();
    void setControlsVisible(bool visible);

    QWidget *window;
    QSpinBox *freqBox;
    QSpinBox *freqMulBox;
    QSpinBox *gainBox;
    QComboBox *typeBox;
    QSpinBox *dutyBox;
    QSpinBox *offsetBox;
    QLabel *tabLabel;
    QLabel *periodLabel;
    QLabel *playedLabel;

    GenTable *table;
    int tab = 512;
    int type = 0;
    int duty = 50;
    int gain = 1250;
    int dcShift = 0;
    int lastX = -1; // column of the previous point of a stroke; -1 between strokes
    int lastY = 0;

    // The device on the current link has not been given the table yet: it
    // changed while no port was open, or a port was opened since.
    bool tableOwed = true;
};
