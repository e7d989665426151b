#include "generator.h"

#include "gentable.h"
#include "graph.h"
#include "settingtexts.h"
#include "synthesis.h"
#include "wavedraw.h"
#include "zorcom.h"

#include <QComboBox>
#include <QLabel>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QSpinBox>

#include <algorithm>
#include <array>

namespace {

constexpr std::array<int, 6> kStepForMultiplier { 1, 10, 100, 1000, 10000, 100000 };
constexpr int kPeriodEndColumn = 512;

const QColor kPeriodEndColour(20, 80, 60, 255);
const QColor kTraceColour(20, 30, 240, 255);

// What the device was last asked to play, for the whole run: re-entering the
// tab with unchanged settings does not upload the same table again.
synthesis::Shape previousShape;

QSpinBox *spinBox(
    QWidget *parent, const char *name, int low, int high, int value, const QRect &geometry)
{
    auto *box = new QSpinBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setRange(low, high);
    box->setValue(value);
    box->setGeometry(geometry);
    return box;
}

} // namespace

Generator::Generator(QWidget *w, GenTable *t)
    : window(w)
    , table(t)
{
    freqBox = spinBox(window, "freqBox", synthesis::kLowestHz, synthesis::kHighestHz, freq,
        QRect(100, 580, 110, 20));
    freqBox->setSuffix(QStringLiteral("Hz"));
    freqMulBox = spinBox(window, "freqMulBox", 0, 5, 0, QRect(215, 580, 85, 20));
    freqMulBox->setPrefix(QStringLiteral("x10^"));
    gainBox = spinBox(window, "gainBox", 0, 1250, gain, QRect(340, 580, 100, 20));
    gainBox->setSuffix(QStringLiteral("mV"));

    typeBox = new QComboBox(window);
    typeBox->setObjectName(QStringLiteral("typeBox"));
    for (const char *waveform : texts::kWaveforms)
        typeBox->addItem(QString::fromLatin1(waveform));
    typeBox->setCurrentIndex(type);
    typeBox->setGeometry(480, 580, 110, 20);

    dutyBox = spinBox(window, "dutyBox", 1, 99, duty, QRect(600, 580, 60, 20));
    dutyBox->setSuffix(QStringLiteral("%"));
    offsetBox = spinBox(window, "offsetBox", -1200, 1200, dcShift, QRect(700, 580, 100, 20));
    offsetBox->setSuffix(QStringLiteral("mV"));

    tabLabel = new QLabel(QStringLiteral("Freq: 0Hz"), window);
    tabLabel->setObjectName(QStringLiteral("tabLabel"));
    tabLabel->setGeometry(838, 100, 200, 20);
    periodLabel = new QLabel(QStringLiteral("Gain: 0V"), window);
    periodLabel->setObjectName(QStringLiteral("periodLabel"));
    periodLabel->setGeometry(838, 120, 200, 20);
    // Under them, the frequency the two make the device play; empty until
    // the first frequency is computed, like them.
    playedLabel = new QLabel(window);
    playedLabel->setObjectName(QStringLiteral("playedLabel"));
    playedLabel->setGeometry(838, 140, 200, 20);

    // Until a port is open nothing could reach the device; the step size is
    // only a property of the frequency box.
    for (QWidget *control : std::initializer_list<QWidget *> {
             freqBox, gainBox, typeBox, dutyBox, offsetBox, tabLabel, periodLabel, playedLabel })
        control->setEnabled(false);
    setControlsVisible(false);

    // Connected after the initial values are in place, so building the panel
    // calls no slot.
    connect(freqBox, SIGNAL(valueChanged(int)), this, SLOT(fSlot()));
    connect(freqMulBox, SIGNAL(valueChanged(int)), this, SLOT(fMulSlot()));
    connect(gainBox, SIGNAL(valueChanged(int)), this, SLOT(gSlot()));
    connect(typeBox, SIGNAL(activated(int)), this, SLOT(typeSlot()));
    connect(dutyBox, SIGNAL(valueChanged(int)), this, SLOT(dSlot()));
    connect(offsetBox, SIGNAL(valueChanged(int)), this, SLOT(oSlot()));
}

void Generator::setControlsVisible(bool visible)
{
    for (QWidget *control : std::initializer_list<QWidget *> { freqBox, freqMulBox, gainBox,
             typeBox, dutyBox, offsetBox, tabLabel, periodLabel, playedLabel })
        control->setVisible(visible);
}

void Generator::show()
{
    setControlsVisible(true);
}

void Generator::hide()
{
    setControlsVisible(false);
}

void Generator::enable()
{
    for (QWidget *control : std::initializer_list<QWidget *> {
             freqBox, gainBox, typeBox, dutyBox, offsetBox, tabLabel, periodLabel, playedLabel })
        control->setEnabled(true);
}

void Generator::newDevice()
{
    tableOwed = true;
}

void Generator::start()
{
    if (com)
        com->genStart();
    fSlot();
    typeSlot();
    gSlot();
    if (tableOwed)
        sendTable();
}

void Generator::sendTable()
{
    if (com && com->isOpen()) {
        com->sendGenChannel();
        tableOwed = false;
    } else {
        tableOwed = true;
    }
}

void Generator::bufChange(int tabArg, int typeArg, int gainArg, int dutyArg, int dcShiftArg)
{
    const synthesis::Shape shape
        = synthesis::shapeOf(tabArg, typeArg, gainArg, dutyArg, dcShiftArg);
    table->edit([&](int *entries) { synthesis::synthesize(entries, shape); });
    if (shape != previousShape) {
        sendTable();
        window->update();
    }
    previousShape = shape;
}

Generator::Playing Generator::playing() const
{
    Playing p;
    p.table = table->snapshot();
    p.tab = tab;
    p.period = synthesis::sampleClock(freq).period;
    p.freq = freq;
    p.type = type;
    p.amplitude = gain;
    p.duty = duty;
    p.offset = dcShift;
    return p;
}

static_assert(gentable::kEntries == setupfile::kTableEntries, "a set-up keeps the whole table");

setupfile::Generator Generator::setup() const
{
    setupfile::Generator s;
    s.frequency = freqBox->value();
    s.step = freqMulBox->value();
    s.amplitude = gainBox->value();
    s.waveform = typeBox->currentIndex();
    s.duty = dutyBox->value();
    s.offset = offsetBox->value();
    s.table = table->snapshot();
    return s;
}

void Generator::applySetup(const setupfile::Generator &s)
{
    {
        const QSignalBlocker f(freqBox);
        const QSignalBlocker m(freqMulBox);
        const QSignalBlocker g(gainBox);
        const QSignalBlocker d(dutyBox);
        const QSignalBlocker o(offsetBox);
        freqBox->setValue(s.frequency);
        freqMulBox->setValue(s.step);
        gainBox->setValue(s.amplitude);
        dutyBox->setValue(s.duty);
        offsetBox->setValue(s.offset);
    }
    typeBox->setCurrentIndex(s.waveform);
    fMulSlot();
    freq = freqBox->value();
    type = typeBox->currentIndex();
    gain = gainBox->value();
    duty = dutyBox->value();
    dcShift = offsetBox->value();
    const synthesis::SampleClock clock = synthesis::sampleClock(freq);
    tab = clock.tab;
    tabLabel->setText(QString::number(clock.tab));
    periodLabel->setText(QString::number(clock.period));
    // The kept table, recomputed where the waveform is computed: the
    // preview shows what start() will send.
    table->edit([&](int *entries) {
        std::copy(s.table.begin(), s.table.end(), entries);
        synthesis::synthesize(entries, synthesis::shapeOf(tab, type, gain, duty, dcShift));
    });
    // Even a table of the shape last sent may differ from the one the device plays.
    tableOwed = true;
    window->update();
}

void Generator::fMulSlot()
{
    const int m = freqMulBox->value();
    if (m >= 0 && m < static_cast<int>(kStepForMultiplier.size()))
        freqBox->setSingleStep(kStepForMultiplier[static_cast<std::size_t>(m)]);
}

void Generator::fSlot()
{
    freq = freqBox->value();
    const synthesis::SampleClock clock = synthesis::sampleClock(freq);
    tab = clock.tab;
    tabLabel->setText(QString::number(clock.tab));
    periodLabel->setText(QString::number(clock.period));
    if (const auto played = synthesis::playedHz(clock))
        playedLabel->setText(QString::number(*played, 'f', 3) + QStringLiteral(" Hz"));
    if (com)
        com->setFreq(clock.period, clock.tab);
    bufChange(tab, type, gain, duty, dcShift);
}

void Generator::typeSlot()
{
    type = typeBox->currentIndex();
    bufChange(tab, type, gain, duty, dcShift);
}

void Generator::gSlot()
{
    gain = gainBox->value();
    bufChange(tab, type, gain, duty, dcShift);
}

void Generator::dSlot()
{
    duty = dutyBox->value();
    bufChange(tab, type, gain, duty, dcShift);
}

void Generator::oSlot()
{
    dcShift = offsetBox->value();
    bufChange(tab, type, gain, duty, dcShift);
}

void Generator::drawGraph(int first, int offset)
{
    const Table entries = table->snapshot();
    std::array<int, wavedraw::kPreviewColumns> preview {};
    wavedraw::adjustGraph(entries.data(), tab, preview.data(), first, offset, tab);
    Graph graph(window);
    graph.svWindow();
    graph.cursorV(kPeriodEndColumn, kPeriodEndColour);
    graph.signal2x(preview.data(), kTraceColour);
}

void Generator::drawArb(QMouseEvent *event)
{
    if (type != static_cast<int>(synthesis::Waveform::Arbitrary))
        return;
    const QPoint at = event->position().toPoint();
    const auto point = wavedraw::arbPoint(at.x(), at.y());
    if (!point)
        return; // off the plot: the stroke goes on when the pointer comes back
    table->edit([&](int *entries) {
        entries[wavedraw::arbEntry(point->column, tab)] = point->value;
        if (lastX >= 0)
            wavedraw::lineArb(entries, tab, lastX, lastY, point->column, point->value);
    });
    window->update();
    lastX = point->column;
    lastY = point->value;
}

void Generator::drawArbRelease()
{
    if (lastX >= 0)
        sendTable();
    lastX = -1;
}
