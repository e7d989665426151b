#include "oscyloskop.h"

#include "graph.h"
#include "measurements.h"
#include "plotgeometry.h"
#include "settingtexts.h"
#include "triggerstatus.h"
#include "zorcom.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSpinBox>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace {

constexpr int kTimeItems = 15;
constexpr int kTwoChannelTimeItems = 11; // the four fastest time bases need one channel
constexpr int kSlowestTwoChannelItem = 10; // "20us/dz"
constexpr int kCursorRange = 256; // vertical position range, pixels

const QColor kCursorColour(20, 80, 60);
const QColor kChannel1Colour(20, 30, 240);
const QColor kChannel2Colour(230, 30, 20);
const QColor kReferenceColour(230, 200, 40);

int timeBaseOf(int item)
{
    return kTimeItems - 1 - item;
}

template <typename W> W *make(QWidget *parent, const char *name, int x, int y, int w, int h)
{
    W *widget = new W(parent);
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(x, y, w, h);
    return widget;
}

template <typename Texts>
QComboBox *makeCombo(
    QWidget *parent, const char *name, int x, int y, int w, const Texts &texts, int current)
{
    auto *combo = make<QComboBox>(parent, name, x, y, w, 20);
    for (const char *text : texts)
        combo->addItem(QLatin1String(text));
    combo->setCurrentIndex(current);
    return combo;
}

void enableAll(std::initializer_list<QWidget *> widgets, bool on)
{
    for (QWidget *widget : widgets)
        widget->setEnabled(on);
}

QLabel *makeLabel(QWidget *parent, const char *name, const QString &text, int x, int y, int w)
{
    auto *label = make<QLabel>(parent, name, x, y, w, 20);
    label->setText(text);
    return label;
}

} // namespace

Oscyloskop::Oscyloskop(QWidget *w)
    : window(w)
{
    timeCombo
        = makeCombo(window, "timeCombo", 100, 580, 110, texts::kTimeBases, timeBaseOf(tbIndex));

    channel2Box = make<QCheckBox>(window, "channel2Box", 380, 580, 20, 20);
    channel2Box->setChecked(false);

    gain1Combo = makeCombo(window, "gain1Combo", 250, 580, 110, texts::kGains, 0);
    gain2Combo = makeCombo(window, "gain2Combo", 400, 580, 110, texts::kGains, 0);

    xPosBar = make<QScrollBar>(window, "xPosBar", 0, 552, 788, 20);
    xPosBar->setOrientation(Qt::Horizontal);
    xPosBar->setRange(-osc::kWindowCentre, osc::kWindowCentre);
    xPosBar->setValue(0);
    yPos1Bar = make<QScrollBar>(window, "yPos1Bar", 788, 23, 20, 529);
    yPos2Bar = make<QScrollBar>(window, "yPos2Bar", 808, 23, 20, 529);
    for (QScrollBar *bar : { yPos1Bar, yPos2Bar }) {
        bar->setOrientation(Qt::Vertical);
        bar->setRange(-kCursorRange, kCursorRange);
        bar->setValue(0);
    }

    fastTimeItems << QStringLiteral("10u") << QStringLiteral("8u") << QStringLiteral("5u")
                  << QStringLiteral("2u");

    trigModeCombo = makeCombo(window, "trigModeCombo", 550, 580, 65, texts::kTrigModes, 0);
    trigEdgeCombo = makeCombo(window, "trigEdgeCombo", 620, 580, 55, texts::kEdges, 0);
    trigBandCombo = makeCombo(window, "trigBandCombo", 680, 580, 50, texts::kDetectors, 0);

    trigLevelBox = make<QSpinBox>(window, "trigLevelBox", 740, 580, 90, 20);
    trigLevelBox->setRange(-2000, 2000);
    trigLevelBox->setSuffix(QStringLiteral("mV"));
    trigLevelBox->setValue(0);
    // Right of the level box: what the trigger is doing. Above it, right of
    // the position bar: Run/Stop, which also re-arms a held "Single".
    trigStateLabel = makeLabel(window, "trigStateLabel", QString(), 835, 580, 40);
    runButton = make<QPushButton>(window, "scopeRunButton", 792, 555, 80, 20);
    showTrigStatus();

    xPosLabel = makeLabel(window, "xPosLabel", tr("Xpos: 0"), 838, 30, 100);
    yPos1Label = makeLabel(window, "yPos1Label", tr("Ypos1: 0"), 838, 50, 100);
    yPos2Label = makeLabel(window, "yPos2Label", tr("Ypos2: 0"), 938, 50, 100);
    rms1Label = makeLabel(window, "rms1Label", QStringLiteral("CH1 RMS: 0V"), 838, 100, 200);
    rms2Label = makeLabel(window, "rms2Label", QStringLiteral("CH2 RMS: 0V"), 838, 120, 200);
    avg1Label = makeLabel(window, "avg1Label", QStringLiteral("CH1 Avg: 0V"), 838, 150, 200);
    avg2Label = makeLabel(window, "avg2Label", QStringLiteral("CH2 Avg: 0V"), 838, 170, 200);
    vpp1Label = makeLabel(window, "vpp1Label", QStringLiteral("CH1 Vpp = 0V"), 838, 200, 200);
    vpp2Label = makeLabel(window, "vpp2Label", QStringLiteral("CH2 Vpp = 0V"), 838, 220, 200);
    freq1Label = makeLabel(window, "freq1Label", QStringLiteral("CH1 Freq = 0Hz"), 838, 250, 200);
    freq2Label = makeLabel(window, "freq2Label", QStringLiteral("CH2 Freq = 0Hz"), 838, 270, 200);
    // Under the readouts: how many triggered frames are averaged, how full.
    averageBox = make<QComboBox>(window, "scopeAverageBox", 838, 300, 90, 20);
    for (const int depth : FrameAverage::kDepths)
        averageBox->addItem(FrameAverage::choiceText(depth));
    averageLabel = makeLabel(window, "scopeAverageLabel", QString(), 938, 300, 100);

    // Nothing is usable until a port has been opened; the position labels are
    // readouts only.
    for (QWidget *widget : instrumentWidgets())
        widget->setEnabled(false);

    connect(timeCombo, SIGNAL(activated(int)), this, SLOT(tSlot()));
    connect(gain1Combo, SIGNAL(activated(int)), this, SLOT(vSlot()));
    connect(gain2Combo, SIGNAL(activated(int)), this, SLOT(vSlot()));
    connect(xPosBar, SIGNAL(valueChanged(int)), this, SLOT(xPosSlot()));
    connect(yPos1Bar, SIGNAL(valueChanged(int)), this, SLOT(yPosSlot()));
    connect(yPos2Bar, SIGNAL(valueChanged(int)), this, SLOT(yPosSlot()));
    connect(channel2Box, SIGNAL(clicked()), this, SLOT(channel2Slot()));
    connect(trigModeCombo, SIGNAL(activated(int)), this, SLOT(trigSlot()));
    connect(trigEdgeCombo, SIGNAL(activated(int)), this, SLOT(trigSlot()));
    connect(trigBandCombo, SIGNAL(activated(int)), this, SLOT(trigSlot()));
    connect(trigLevelBox, SIGNAL(valueChanged(int)), this, SLOT(trigSlot()));
    connect(runButton, SIGNAL(clicked()), this, SLOT(runSlot()));
    connect(averageBox, SIGNAL(activated(int)), this, SLOT(averageSlot()));
}

// The controls shown with the tab, in the order they are shown.
QList<QWidget *> Oscyloskop::instrumentWidgets() const
{
    return { gain1Combo, gain2Combo, timeCombo, xPosBar, yPos1Bar, yPos2Bar, channel2Box,
        trigModeCombo, trigEdgeCombo, trigBandCombo, trigLevelBox, trigStateLabel, runButton,
        rms1Label, rms2Label, avg1Label, avg2Label, vpp1Label, vpp2Label, freq1Label, freq2Label,
        averageBox, averageLabel };
}

void Oscyloskop::show()
{
    for (QWidget *widget : instrumentWidgets())
        widget->show();
}

void Oscyloskop::hide()
{
    for (QWidget *widget : instrumentWidgets())
        widget->hide();
}

void Oscyloskop::enable()
{
    enableAll({ gain1Combo, timeCombo, xPosBar, yPos1Bar, channel2Box, trigModeCombo, trigEdgeCombo,
                  trigBandCombo, trigLevelBox, trigStateLabel, runButton, rms1Label, avg1Label,
                  vpp1Label, freq1Label, averageBox, averageLabel },
        true);
    // Channel 2 may have been turned on by a restored set-up.
    if (channel2Box->isChecked())
        enableChannel2Controls(true);
}

void Oscyloskop::enableChannel2Controls(bool on)
{
    enableAll({ gain2Combo, yPos2Bar, rms2Label, avg2Label, vpp2Label, freq2Label }, on);
}

void Oscyloskop::start()
{
    if (!com)
        return;
    if (channel2Box->isChecked())
        com->osc2chStart();
    else
        com->osc1chStart();
    com->setTimeBase(tbIndex);
    com->setGain(gain1Index, gain2Index);
    average.restart();
}

// Changes made while no port is open are only recorded here: the link ignores
// requests without a live worker, and start() sends them at the next open.
void Oscyloskop::tSlot()
{
    tbIndex = timeBaseOf(timeCombo->currentIndex());
    average.restart();
    if (com)
        com->setTimeBase(tbIndex);
}

void Oscyloskop::vSlot()
{
    gain1Index = gain1Combo->currentIndex();
    gain2Index = gain2Combo->currentIndex();
    average.restart();
    if (com)
        com->setGain(gain1Index, gain2Index);
}

void Oscyloskop::xPosSlot()
{
    xPos = xPosBar->value();
    average.restart();
    xPosLabel->setText(QStringLiteral("Xpos: ") + QString::number(xPos));
}

void Oscyloskop::yPosSlot()
{
    yPos1 = -yPos1Bar->value();
    yPos1Label->setText(QStringLiteral("Ypos1: ") + QString::number(yPos1));
    yPos2 = -yPos2Bar->value();
    yPos2Label->setText(QStringLiteral("Ypos2: ") + QString::number(yPos2));
}

void Oscyloskop::channel2Slot()
{
    const bool on = channel2Box->isChecked();
    average.restart();
    if (com) {
        if (on)
            com->enable2channel();
        else
            com->disable2channel();
    }
    enableChannel2Controls(on);

    if (!on) {
        timeCombo->setMaxCount(kTimeItems);
        timeCombo->addItems(fastTimeItems);
        return;
    }
    timeCombo->setMaxCount(kTwoChannelTimeItems);
    // With the four fastest time bases gone from the list, a device still
    // running one of them would disagree with what the list shows: move it to
    // the fastest time base left.
    if (tbIndex < timeBaseOf(kSlowestTwoChannelItem)) {
        timeCombo->setCurrentIndex(kSlowestTwoChannelItem);
        tbIndex = timeBaseOf(kSlowestTwoChannelItem);
        if (com)
            com->setTimeBase(tbIndex);
    }
}

void Oscyloskop::trigSlot()
{
    trigWord = trigModeCombo->currentIndex() + 4 * trigEdgeCombo->currentIndex()
        + 8 * trigBandCombo->currentIndex();
    trigLevel = trigLevelBox->value();
    average.restart();
    trigRearm = true;
    edgeFound = false;
    showTrigStatus();
}

void Oscyloskop::averageSlot()
{
    average.setDepth(FrameAverage::kDepths[std::size_t(averageBox->currentIndex())]);
    averageLabel->setText(average.fillText());
}

// The mean of the last triggered frames, for a repetitive signal: noise that
// is not locked to the trigger averages out, and the readouts are taken from
// the mean. Off, the traces are the frame's own.
void Oscyloskop::averageTraces(bool fresh)
{
    if (average.depth() <= 1)
        return;
    std::array<double, 2 * osc::kWindow> values {};
    std::copy(bufGraph.begin(), bufGraph.end(), values.begin());
    std::copy(bufGraph2.begin(), bufGraph2.end(), values.begin() + osc::kWindow);
    // After a restart the frame on screen starts the average, fresh or not.
    if (fresh || average.count() == 0)
        average.add(values.data());
    average.mean(values.data());
    const auto toUnits = [](double v) { return static_cast<int>(std::lround(v)); };
    std::transform(values.begin(), values.begin() + osc::kWindow, bufGraph.begin(), toUnits);
    std::transform(values.begin() + osc::kWindow, values.end(), bufGraph2.begin(), toUnits);
    averageLabel->setText(average.fillText());
}

// Stop freezes the picture and its readouts; the link goes on, frames keep
// coming and the next press shows them again. A held "Single" is re-armed
// instead, as a change of a trigger control would.
void Oscyloskop::runSlot()
{
    switch (osc::runAction(stopped, singleHeld())) {
    case osc::RunAction::Stop:
        stopped = true;
        break;
    case osc::RunAction::Run:
        stopped = false;
        // "no data" came while the readouts were frozen.
        if (noData)
            updateReadouts();
        break;
    case osc::RunAction::Rearm:
        trigRearm = true;
        break;
    }
    showTrigStatus();
    window->update();
}

bool Oscyloskop::singleHeld() const
{
    return osc::modeOf(trigWord) == osc::TrigMode::Single && triggered && !trigRearm;
}

void Oscyloskop::showTrigStatus()
{
    osc::TrigSituation situation;
    situation.mode = osc::modeOf(trigWord);
    situation.edgeFound = edgeFound;
    situation.held = singleHeld();
    situation.stopped = stopped;
    situation.ticksSinceEdge = trigTicks;
    const QString status = QLatin1String(osc::trigStatusText(osc::trigStatus(situation)));
    if (trigStateLabel->text() != status)
        trigStateLabel->setText(status);
    const QString action
        = QLatin1String(osc::runActionText(osc::runAction(stopped, situation.held)));
    if (runButton->text() != action)
        runButton->setText(action);
}

void Oscyloskop::setReference(std::optional<QPoint> point)
{
    referencePoint = point;
}

setupfile::Scope Oscyloskop::setup() const
{
    setupfile::Scope s;
    s.timeBase = timeCombo->currentIndex();
    s.range1 = gain1Combo->currentIndex();
    s.range2 = gain2Combo->currentIndex();
    s.channel2 = channel2Box->isChecked() ? 1 : 0;
    s.trigMode = trigModeCombo->currentIndex();
    s.trigEdge = trigEdgeCombo->currentIndex();
    s.trigDetector = trigBandCombo->currentIndex();
    s.trigLevel = trigLevelBox->value();
    s.xPos = xPosBar->value();
    s.yPos1 = -yPos1Bar->value();
    s.yPos2 = -yPos2Bar->value();
    s.average = averageBox->currentIndex();
    return s;
}

// The controls and the settings behind them as the user's own choices would
// leave them, but no request reaches the link.
void Oscyloskop::applySetup(const setupfile::Scope &s)
{
    const bool two = s.channel2 != 0;
    channel2Box->setChecked(two);
    enableChannel2Controls(two && channel2Box->isEnabled());
    if (two) {
        timeCombo->setMaxCount(kTwoChannelTimeItems);
    } else if (timeCombo->count() < kTimeItems) {
        timeCombo->setMaxCount(kTimeItems);
        timeCombo->addItems(fastTimeItems);
    }
    // With channel 2 on, a fast time base becomes the fastest one left.
    timeCombo->setCurrentIndex(std::clamp(s.timeBase, 0, timeCombo->count() - 1));
    tbIndex = timeBaseOf(timeCombo->currentIndex());
    gain1Combo->setCurrentIndex(s.range1);
    gain2Combo->setCurrentIndex(s.range2);
    gain1Index = gain1Combo->currentIndex();
    gain2Index = gain2Combo->currentIndex();
    trigModeCombo->setCurrentIndex(s.trigMode);
    trigEdgeCombo->setCurrentIndex(s.trigEdge);
    trigBandCombo->setCurrentIndex(s.trigDetector);
    {
        const QSignalBlocker level(trigLevelBox);
        const QSignalBlocker x(xPosBar);
        const QSignalBlocker y1(yPos1Bar);
        const QSignalBlocker y2(yPos2Bar);
        trigLevelBox->setValue(s.trigLevel);
        xPosBar->setValue(s.xPos);
        yPos1Bar->setValue(-s.yPos1);
        yPos2Bar->setValue(-s.yPos2);
    }
    averageBox->setCurrentIndex(s.average);
    // These only record the values and set the labels.
    trigSlot();
    xPosSlot();
    yPosSlot();
    averageSlot();
    window->update();
}

bool Oscyloskop::trigger(const int *raw, int *out1, int *out2, int level, int word, int xpos)
{
    osc::TriggerSettings settings;
    settings.level = level;
    settings.word = word;
    settings.xPos = xpos;
    settings.gain1 = gain1Index;
    settings.gain2 = gain2Index;
    settings.twoChannels = channel2Box->isChecked();
    osc::TriggerState state { trigTicks, triggered, trigRearm };
    const bool refreshed = osc::trigger(raw, out1, out2, settings, state);
    trigTicks = state.ticks;
    triggered = state.triggered;
    trigRearm = state.rearm;
    return refreshed;
}

void Oscyloskop::setNoData(bool none)
{
    if (noData == none)
        return;
    noData = none;
    // A stopped picture keeps its readouts; Run shows the news.
    if (!stopped)
        updateReadouts();
}

void Oscyloskop::updateReadouts()
{
    if (noData) {
        const bool two = channel2Box->isChecked();
        for (const auto &[label, text] :
            { std::pair { rms1Label, "CH1 RMS: --" }, std::pair { avg1Label, "CH1 Avg: --" },
                std::pair { vpp1Label, "CH1 Vpp: --" }, std::pair { freq1Label, "CH1 Freq: --" } })
            label->setText(QLatin1String(text));
        if (two) {
            for (const auto &[label, text] : { std::pair { rms2Label, "CH2 RMS: --" },
                     std::pair { avg2Label, "CH2 Avg: --" }, std::pair { vpp2Label, "CH2 Vpp: --" },
                     std::pair { freq2Label, "CH2 Freq: --" } })
                label->setText(QLatin1String(text));
        }
        return;
    }
    const int *ch1 = bufGraph.data();
    const int *ch2 = bufGraph2.data();
    const int n = osc::kWindow;
    if (channel2Box->isChecked()) {
        rms1Label->setText(QStringLiteral("CH1 RMS: ") + osc::calcRMS(ch1, n, gain1Index));
        rms2Label->setText(QStringLiteral("CH2 RMS: ") + osc::calcRMS(ch2, n, gain2Index));
        avg1Label->setText(QStringLiteral("CH1 Avg: ") + osc::calcAvg(ch1, n, gain1Index));
        avg2Label->setText(QStringLiteral("CH2 Avg: ") + osc::calcAvg(ch2, n, gain2Index));
        vpp1Label->setText(QStringLiteral("CH1 Vpp: ") + osc::calcVpp(ch1, n, gain1Index));
        vpp2Label->setText(QStringLiteral("CH2 Vpp: ") + osc::calcVpp(ch2, n, gain2Index));
        freq1Label->setText(QStringLiteral("CH1 Freq: ") + osc::calcFreq(ch1, n, tbIndex));
        freq2Label->setText(QStringLiteral("CH2 Freq: ") + osc::calcFreq(ch2, n, tbIndex));
        return;
    }
    rms1Label->setText(QStringLiteral("CH1 RMS: ") + osc::calcRMS(ch1, n, gain1Index));
    avg1Label->setText(QStringLiteral("CH1 Avg: ") + osc::calcAvg(ch1, n, gain1Index));
    vpp1Label->setText(QStringLiteral("CH1 Vpp: ") + osc::calcVpp(ch1, n, gain1Index));
    freq1Label->setText(QStringLiteral("CH1 Freq: ") + osc::calcFreq(ch1, n, tbIndex));
}

// The readouts have seen the samples; now move each trace to its channel's position.
void Oscyloskop::adjustGraph(bool channel2)
{
    for (int &v : bufGraph)
        v += 4 * yPos1;
    if (channel2)
        for (int &v : bufGraph2)
            v += 4 * yPos2;
}

void Oscyloskop::tick()
{
    if (trigTicks < std::numeric_limits<int>::max())
        ++trigTicks;
    showTrigStatus();
}

// The level line's window row: the level in display pixels above the zero
// line, both divisions truncating toward zero, moved with channel 1.
int Oscyloskop::levelRow() const
{
    const int levelOffset
        = (50000 / osc::gainTab[static_cast<std::size_t>(gain1Index)]) * trigLevel / 100;
    return plot::kCentreY - (levelOffset + yPos1);
}

QRegion Oscyloskop::levelLineRegion() const
{
    const auto line
        = [](int row) { return QRect(plot::kLeft, row, plot::kRight - plot::kLeft + 1, 1); };
    QRegion region(line(levelRow()));
    if (paintedLevelRow)
        region += line(*paintedLevelRow);
    return region;
}

void Oscyloskop::drawLevelLine()
{
    Graph graph(window);
    graph.cursorH(plot::kCentreY - levelRow(), kCursorColour);
}

void Oscyloskop::drawGraph(const int *frame)
{
    // Stopped, the frame is not looked at: the picture, its readouts and the
    // trigger's state stay as they were, channel 2 drawn as it was taken.
    const bool channel2 = stopped ? shown.twoChannels : channel2Box->isChecked();
    if (!stopped && trigger(frame, bufGraph.data(), bufGraph2.data(), trigLevel, trigWord, xPos)) {
        // A repaint of the same frame (a tab change, a control's paint) keeps
        // its time and is not averaged in again.
        const bool fresh
            = shown.time.isNull() || !std::equal(frame, frame + osc::kFrame, shown.frame.begin());
        if (fresh)
            shown.time = QDateTime::currentDateTime();
        averageTraces(fresh);
        std::copy(frame, frame + osc::kFrame, shown.frame.begin());
        shown.tbIndex = tbIndex;
        shown.gain1 = gain1Index;
        shown.gain2 = gain2Index;
        shown.twoChannels = channel2;
        shown.trigWord = trigWord;
        shown.trigLevel = trigLevel;
        updateReadouts();
        adjustGraph(channel2);
    }
    if (!stopped) {
        edgeFound = triggered;
        showTrigStatus();
    }

    Graph graph(window);
    graph.svWindow();
    const int row = levelRow();
    graph.cursorH(plot::kCentreY - row, kCursorColour);
    paintedLevelRow = row;
    graph.cursorV(2 * xPos + 2 * osc::kWindowCentre, kCursorColour);
    if (referencePoint) {
        graph.cursorH(plot::kCentreY - referencePoint->y(), kReferenceColour);
        graph.cursorV(referencePoint->x() - plot::kLeft, kReferenceColour);
    }
    graph.signal(bufGraph.data(), kChannel1Colour);
    if (channel2)
        graph.signal(bufGraph2.data(), kChannel2Colour);
}
