#include "analizator.h"

#include "graph.h"
#include "plotgeometry.h"
#include "settingtexts.h"
#include "zorcom.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>

#include <algorithm>

namespace {

constexpr int kFastestCode = 14; // time-base code of span row 0
constexpr int kInitialSpanRow = 7; // "2.5kHz/dz", code 7
constexpr int kBarRange = 192;

const QColor kTraceColour(20, 30, 240, 255);
const QColor kReferenceColour(230, 200, 40);

} // namespace

Analizator::Analizator(QWidget *w)
    : window(w)
{
    taBox = new QComboBox(window);
    taBox->setObjectName(QStringLiteral("taBox"));
    taBox->setGeometry(100, 580, 110, 20);
    for (const texts::Span &span : texts::kSpans)
        taBox->addItem(QString::fromLatin1(span.text));
    taBox->setCurrentIndex(kInitialSpanRow);
    taBox->setEnabled(false);
    taBox->hide();
    connect(taBox, SIGNAL(activated(int)), this, SLOT(taSlot()));

    vaBox = new QComboBox(window);
    vaBox->setObjectName(QStringLiteral("vaBox"));
    vaBox->setGeometry(250, 580, 110, 20);
    for (const char *range : texts::kRanges)
        vaBox->addItem(QString::fromLatin1(range));
    vaBox->setCurrentIndex(0);
    vaBox->setEnabled(false);
    vaBox->hide();
    connect(vaBox, SIGNAL(activated(int)), this, SLOT(vaSlot()));

    xPosBar = new QScrollBar(Qt::Horizontal, window);
    xPosBar->setObjectName(QStringLiteral("xPosBar"));
    xPosBar->setGeometry(0, 552, 788, 20);
    xPosBar->setRange(-kBarRange, kBarRange);
    xPosBar->setValue(0);
    xPosBar->setEnabled(false);
    connect(xPosBar, SIGNAL(valueChanged(int)), this, SLOT(xPosSlot()));

    powerLabel = new QLabel(QStringLiteral("Power: 0daB"), window);
    powerLabel->setObjectName(QStringLiteral("powerLabel"));
    powerLabel->setGeometry(838, 100, 200, 20);
    powerLabel->setEnabled(false);
    powerLabel->hide();

    thdLabel = new QLabel(QStringLiteral("THD+N: 0daB"), window);
    thdLabel->setObjectName(QStringLiteral("thdLabel"));
    thdLabel->setGeometry(838, 120, 200, 20);
    thdLabel->setEnabled(false);
    thdLabel->hide();

    // Right of the scroll bar, above the bottom row, as on the oscilloscope.
    runButton = new QPushButton(QStringLiteral("Stop"), window);
    runButton->setObjectName(QStringLiteral("spectrumRunButton"));
    runButton->setGeometry(792, 555, 80, 20);
    runButton->setEnabled(false);
    runButton->hide();
    connect(runButton, SIGNAL(clicked()), this, SLOT(runSlot()));

    // Under the readouts: how many frames' spectra are averaged, and how full
    // the average is.
    averageBox = new QComboBox(window);
    averageBox->setObjectName(QStringLiteral("spectrumAverageBox"));
    averageBox->setGeometry(838, 150, 90, 20);
    for (const int depth : FrameAverage::kDepths)
        averageBox->addItem(FrameAverage::choiceText(depth));
    averageBox->setEnabled(false);
    averageBox->hide();
    connect(averageBox, SIGNAL(activated(int)), this, SLOT(averageSlot()));
    averageLabel = new QLabel(window);
    averageLabel->setObjectName(QStringLiteral("spectrumAverageLabel"));
    averageLabel->setGeometry(938, 150, 100, 20);
    averageLabel->setEnabled(false);
    averageLabel->hide();

    tbIndex = kFastestCode - kInitialSpanRow;
    gainIndex = 0;
    xPos = 0;
}

void Analizator::show()
{
    vaBox->show();
    taBox->show();
    xPosBar->show();
    powerLabel->show();
    thdLabel->show();
    runButton->show();
    averageBox->show();
    averageLabel->show();
}

void Analizator::hide()
{
    vaBox->hide();
    taBox->hide();
    xPosBar->hide();
    powerLabel->hide();
    thdLabel->hide();
    runButton->hide();
    averageBox->hide();
    averageLabel->hide();
}

void Analizator::enable()
{
    vaBox->setEnabled(true);
    taBox->setEnabled(true);
    xPosBar->setEnabled(true);
    powerLabel->setEnabled(true);
    thdLabel->setEnabled(true);
    runButton->setEnabled(true);
    averageBox->setEnabled(true);
    averageLabel->setEnabled(true);
}

// The analyzer shares the device's acquisition with the oscilloscope, so
// entering the tab sends its own range and span again.
void Analizator::start()
{
    if (!com)
        return;
    com->osc1chStart();
    com->setGain(gainIndex, 0);
    com->setTimeBase(tbIndex);
    average.restart();
}

void Analizator::drawGraph(const int *frame)
{
    Graph graph(window);
    graph.svWindow();

    // Stopped, the levels of the frame analysed last stay, and so do the
    // readouts; only the view may still scroll along them.
    if (!stopped) {
        // A repaint of the same frame keeps its time.
        const bool fresh = shown.time.isNull()
            || !std::equal(frame, frame + spectrum::kPoints, lastFrame.begin());
        if (fresh)
            shown.time = QDateTime::currentDateTime();
        std::copy(frame, frame + spectrum::kPoints, lastFrame.begin());
        shown.readouts = average.depth() > 1 ? spectrum::analyse(frame, work, average, fresh)
                                             : spectrum::analyse(frame, work);
        shown.tbIndex = tbIndex;
        shown.gainIndex = gainIndex;
    }
    shown.xPos = xPos;
    adjustGraph(bufDisp.data(), work.im.data(), xPos);
    if (referencePoint) {
        graph.cursorH(plot::kCentreY - referencePoint->y(), kReferenceColour);
        graph.cursorV(referencePoint->x() - plot::kLeft, kReferenceColour);
    }
    graph.signal(bufDisp.data(), kTraceColour);

    showReadouts();
}

void Analizator::setReference(std::optional<QPoint> point)
{
    referencePoint = point;
}

// Stop freezes the spectrum and its readouts while frames keep coming; the
// next press shows them again.
void Analizator::runSlot()
{
    stopped = !stopped;
    runButton->setText(stopped ? QStringLiteral("Run") : QStringLiteral("Stop"));
    window->update();
}

void Analizator::setNoData(bool none)
{
    if (noData == none)
        return;
    noData = none;
    showReadouts();
}

void Analizator::showReadouts()
{
    averageLabel->setText(average.fillText());
    // A stopped spectrum keeps the readouts of its frame.
    if (noData && !stopped) {
        powerLabel->setText(QStringLiteral("Power: --"));
        thdLabel->setText(QStringLiteral("THD+N: --"));
        return;
    }
    const spectrum::Readouts &readouts = shown.readouts;
    powerLabel->setText(QStringLiteral("Power: ") + QString::number(readouts.powerDb, 'f', 1)
        + QStringLiteral("daB"));
    thdLabel->setText(QStringLiteral("THD+N: ") + QString::number(readouts.thdnPercent, 'f', 2)
        + QStringLiteral("%"));
}

setupfile::Analyzer Analizator::setup() const
{
    return { taBox->currentIndex(), vaBox->currentIndex(), xPos, averageBox->currentIndex() };
}

void Analizator::applySetup(const setupfile::Analyzer &s)
{
    taBox->setCurrentIndex(s.span);
    tbIndex = kFastestCode - taBox->currentIndex();
    vaBox->setCurrentIndex(s.range);
    gainIndex = vaBox->currentIndex();
    {
        const QSignalBlocker blocker(xPosBar);
        xPosBar->setValue(s.shift);
    }
    xPosSlot();
    averageBox->setCurrentIndex(s.average);
    averageSlot();
    window->update();
}

void Analizator::taSlot()
{
    tbIndex = kFastestCode - taBox->currentIndex();
    average.restart();
    if (com)
        com->setTimeBase(tbIndex);
}

void Analizator::vaSlot()
{
    gainIndex = vaBox->currentIndex();
    average.restart();
    if (com)
        com->setGain(gainIndex, 0);
}

void Analizator::averageSlot()
{
    average.setDepth(FrameAverage::kDepths[std::size_t(averageBox->currentIndex())]);
    showReadouts();
}

void Analizator::xPosSlot()
{
    xPos = std::clamp(xPosBar->value(), -spectrum::kMaxShift, 0);
}

double Analizator::fft(double *re, double *im, int m, const double *tab, int tabLen)
{
    return spectrum::fft(re, im, m, tab, tabLen);
}

void Analizator::adjustGraph(int *disp, const double *levels, int shift)
{
    spectrum::adjustGraph(disp, levels, shift);
}
