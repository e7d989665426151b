#include "mainwindow.h"

#include "analizator.h"
#include "analizatorlog.h"
#include "wobuloskop.h"
#include "exporter.h"
#include "generator.h"
#include "linetiming.h"
#include "measurements.h"
#include "multimetr.h"
#include "oscyloskop.h"
#include "portlist.h"
#include "readout.h"
#include "recorddialog.h"
#include "reconnection.h"
#include "settingtexts.h"
#include "setups.h"
#include "shared.h"
#include "spectrum.h"
#include "trigger.h"
#include "ustawienia.h"
#include "zorcom.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPalette>
#include <QPushButton>
#include <QShortcut>
#include <QTabWidget>

#include <algorithm>
#include <array>

namespace {

constexpr int kTickMs = 50;
// The status line's room left of the first control of the bottom row.
constexpr int kStatusRoom = 88;

// The plot and the strip around it, from the plot's top edge (the tab bar
// lies above) down to the horizontal bar, left of the vertical bars: all of a
// panel's paint that is not under a control. A fresh frame repaints only
// this, not every control of the window.
constexpr QRect kPlotStrip(0, 30, 788, 522);

} // namespace

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent)
{
    QFont windowFont = font();
    windowFont.setPointSize(9);
    windowFont.setWeight(QFont::Normal);
    setFont(windowFont);
    setMinimumSize(1028, 612);

    centralWidget = new QWidget(this);
    tabWidget = new QTabWidget(centralWidget);
    tabWidget->setMinimumSize(788, 0);
    for (const char *label : {"&Oscyloskop", "&Generator", "&Analizator", "Analizator st. &log.",
                              "&Wobuloskop", "&Multimetr", "&Ustawienia"})
        tabWidget->addTab(new QWidget(), tr(label));
    setCentralWidget(centralWidget);
    connect(tabWidget, SIGNAL(currentChanged(int)), this, SLOT(tabSlot()));

    device = 0;
    portOpen = false;

    statusLabel = new QLabel(tr("Off"), this);
    statusLabel->setObjectName(QStringLiteral("statusLabel"));
    statusLabel->setGeometry(10, 580, kStatusRoom, 20);

    oscyloskop = std::make_unique<Oscyloskop>(this);
    generator = std::make_unique<Generator>(this, &buff_gen);
    generator->hide();
    analizator = std::make_unique<Analizator>(this);
    analizator->hide();
    analizatorLog = std::make_unique<AnalizatorLog>(this);
    analizatorLog->hide();
    wobuloskop = std::make_unique<Wobuloskop>(this, &buff, &buff_gen);
    multimetr = new Multimetr(this);
    ustawienia = std::make_unique<Ustawienia>(this, [] {
        std::vector<OfferedPort> offered;
        for (const PortEntry &port : listPorts())
            offered.push_back({ port.path, port.target });
        return offered;
    });
    ustawienia->hide();

    QPalette green;
    green.setColor(QPalette::All, QPalette::WindowText, Qt::green);
    posLabelT = new QLabel(this);
    posLabelT->setPalette(green);
    posLabelT->hide();
    posLabelU = new QLabel(this);
    posLabelU->setPalette(green);
    posLabelU->hide();
    for (QLabel *&label : deltaLabels) {
        label = new QLabel(this);
        label->setPalette(green);
        label->hide();
    }
    // Escape removes the reference cursor of the tab shown.
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, [this] { setReference(std::nullopt); });

    portButton = new QPushButton(QStringLiteral("Open port"), this);
    portButton->setGeometry(880, 580, 100, 20);
    connect(portButton, SIGNAL(clicked()), this, SLOT(comSlot()));

    reconnection = new Reconnection(
        [this](const QString &name, int speed) { return openLink(name, speed); }, this);
    // Owned by the window: it holds its own shortcut and button.
    new Exporter(this, tabWidget, oscyloskop.get(), generator.get(), analizator.get(),
                 wobuloskop.get(), ustawienia.get());
    // Owned by the window too; the controls show the last run's set-up from the start.
    setups = new Setups(this, tabWidget, oscyloskop.get(), generator.get(), analizator.get());
    setups->restore();
    new RecordDialog(this, multimetr);

    startTimer(kTickMs);
}

// The link goes first: its worker stops and the line closes before the panels
// that hold its address are destroyed. The controls, children of the window,
// are still there to keep the set-up.
MainWindow::~MainWindow()
{
    wobuloskop->abort();
    multimetr->stopRecording();
    com.reset();
    setups->keepAtEnd();
}

void MainWindow::text(const QString &status)
{
    sts.set(status);
}

// What a fresh frame repaints. The oscilloscope's level line is drawn
// unclipped and may lie outside the strip (a low level at a coarse gain puts
// it between the position bar and the controls): its row now and the row it
// was last drawn on are repainted too, or it would never move there.
QRegion MainWindow::plotRegion() const
{
    QRegion region(kPlotStrip);
    if (device == 0)
        region += oscyloskop->levelLineRegion();
    return region;
}

void MainWindow::timerEvent(QTimerEvent *)
{
    // The meter repaints its digits itself, a few times a second.
    if (bufReady.exchange(false, std::memory_order_acq_rel) && device != 5)
        update(plotRegion());
    if (portOpen && !reconnection->waiting() && com && com->lineLost())
        watchLostLine();
    const bool none = noData();
    oscyloskop->setNoData(none && device == 0);
    analizator->setNoData(none && device == 2);
    // The worker's "device did not answer" says more than "no data".
    const QString status = sts.get();
    showStatus(none && status != QLatin1String("device did not answer")
            ? QStringLiteral("no data - check the device and the line speed")
            : status);
    oscyloskop->tick();
    wobuloskop->tick();
    if (startPending && !wobuloskop->busy()) {
        startPending = false;
        if (portOpen && com && com->isOpen())
            startCurrentInstrument();
    }
    if (device == 5)
        multimetr->poll(portOpen && com && com->isOpen());
}

// The time base the device samples at on the current tab.
int MainWindow::acquisitionTimeBase() const
{
    return device == 2 ? analizator->tbIndex : oscyloskop->tbIndex;
}

// Frames are due on the oscilloscope and the analyzer; once none has come
// for longer than the device can take over one (a silent device, a wrong
// speed, the wrong port), the window says so instead of showing an old or
// empty picture as if it were the signal.
bool MainWindow::noData()
{
    const std::uint64_t stored = buff.stored();
    const int tb = acquisitionTimeBase();
    if (stored != framesSeen) {
        framesSeen = stored;
        frameClock.start();
        lastFrameTimeBase = tb;
    }
    const bool acquiring = portOpen && (device == 0 || device == 2) && com && com->isOpen();
    if (!acquiring || !frameClock.isValid())
        return false;
    return frameClock.elapsed() > linetiming::noDataMs(lastFrameTimeBase, tb, linkSpeed);
}

// From now on a frame is due: after opening, or on entering an acquisition
// tab. The device may still be on any time base, the slowest at worst.
void MainWindow::expectFrames()
{
    frameClock.start();
    lastFrameTimeBase = texts::kSlowestTimeBase;
}

// The status line is as wide as its text. The worker's texts fit left of the
// first control; a longer one (only when something is wrong) is drawn over
// the controls beside it until the status changes.
void MainWindow::showStatus(const QString &status)
{
    if (statusLabel->text() == status)
        return;
    statusLabel->setText(status);
    const int width = statusLabel->fontMetrics().horizontalAdvance(status) + 8;
    statusLabel->resize(std::max(width, kStatusRoom), statusLabel->height());
    const bool over = width > kStatusRoom;
    statusLabel->setAutoFillBackground(over);
    if (over)
        statusLabel->raise();
    else
        statusLabel->lower();
}

void MainWindow::paintEvent(QPaintEvent *event)
{
    // A paint for a readout label or a control alone has no plot to show;
    // running the panel then would put a newer frame's readouts beside the
    // trace of the older one still on screen. Only a level line crossing it
    // outside the plot is drawn again.
    if (!event->region().intersects(kPlotStrip)) {
        if (device == 0 && event->region().intersects(oscyloskop->levelLineRegion()))
            oscyloskop->drawLevelLine();
        return;
    }
    switch (device) {
    case 0:
        oscyloskop->drawGraph(buff.snapshot().data());
        break;
    case 1:
        generator->drawGraph(0, 0);
        break;
    case 2:
        analizator->drawGraph(buff.snapshot().data());
        break;
    case 5:
        multimetr->drawGraph();
        break;
    default:
        break;
    }
}

void MainWindow::tabSlot()
{
    static const char *const statusTexts[] = {"Oscyloskop", "Generator", "Analizator",
                                              "Analizator st. log.", "Wobuloskop"};
    const int current = tabWidget->currentIndex();
    if (current >= 0 && current < 5)
        text(tr(statusTexts[current]));
    closeRecentDevice();
    device = current;
    openNewDevice();
    expectFrames();
    update();
}

void MainWindow::closeRecentDevice()
{
    switch (device) {
    case 0:
        oscyloskop->hide();
        break;
    case 1:
        generator->hide();
        break;
    case 2:
        analizator->hide();
        break;
    case 3:
        analizatorLog->hide();
        break;
    case 4:
        wobuloskop->hide();
        break;
    case 5:
        multimetr->hide();
        break;
    case 6:
        ustawienia->hide();
        break;
    default:
        break;
    }
}

void MainWindow::openNewDevice()
{
    switch (device) {
    case 0:
        oscyloskop->show();
        break;
    case 1:
        generator->show();
        break;
    case 2:
        analizator->show();
        break;
    case 3:
        analizatorLog->show();
        break;
    case 4: {
        // What the generator plays now, put back after each sweep.
        const Generator::Playing playing = generator->playing();
        wobuloskop->setGenerator({ playing.table, { playing.tab, playing.period } });
        wobuloskop->show();
        break;
    }
    case 5:
        multimetr->show();
        break;
    case 6:
        ustawienia->show();
        break;
    default:
        break;
    }
    if (portOpen)
        startCurrentInstrument();
}

// The instrument of the current tab sends its settings to the device: on a
// tab change, on Open port and when a lost port comes back, so the device
// always samples at the time base and gain the tab shows.
void MainWindow::startCurrentInstrument()
{
    // A sweep just left is still putting the generator back: the new tab's
    // settings follow once it has.
    if (wobuloskop->busy()) {
        startPending = true;
        return;
    }
    startPending = false;
    switch (device) {
    case 0:
        oscyloskop->start();
        break;
    case 1:
        generator->start();
        break;
    case 2:
        analizator->start();
        break;
    case 4:
        wobuloskop->start();
        break;
    case 5:
        multimetr->start();
        break;
    default:
        break;
    }
}

void MainWindow::comSlot()
{
    if (portOpen) {
        portOpen = false;
        reconnection->cancel();
        wobuloskop->abort();
        com->Close();
        // After the link's "closed": the status then says where the record is.
        multimetr->stopRecording();
        portButton->setText(QStringLiteral("Open port"));
        setups->keep();
        return;
    }
    if (!openLink(ustawienia->getPortName(), ustawienia->getPortSpeed()))
        text(QStringLiteral("Unable to open: ") + com->openFailure().reason());
}

// Opens a new link and starts the current tab: the same for the button and
// for a port that came back after an unplug.
bool MainWindow::openLink(const QString &name, int speed)
{
    // A fresh link for every attempt; the panels get it before the old one
    // (already closed) is freed, so none of them ever holds a freed link.
    wobuloskop->abort();
    auto link = std::make_unique<ZORCom>(&buff, &buff_gen);
    oscyloskop->com = link.get();
    generator->com = link.get();
    analizator->com = link.get();
    wobuloskop->com = link.get();
    multimetr->connectLink(link.get(), name, speed);
    com = std::move(link);

    if (!com->Open(name, speed))
        return false;
    linkPort = name;
    linkSpeed = speed;
    wobuloskop->lineSpeed = speed;
    text(QStringLiteral("Open"));
    // Whatever the generator sent before went to another opening, perhaps to
    // a device since reset or swapped.
    generator->newDevice();
    com->Start();
    expectFrames();
    startCurrentInstrument();
    oscyloskop->enable();
    generator->enable();
    analizator->enable();
    analizatorLog->enable();
    wobuloskop->enable();
    multimetr->enable();
    portOpen = true;
    portButton->setText(QStringLiteral("Close port"));
    return true;
}

// The line went away (cable pulled, adapter reset). The port is let go at
// once, so that the adapter coming back gets its old name rather than the
// next free one; the button stays "Close port" and the program waits for the
// same name to come back.
void MainWindow::watchLostLine()
{
    wobuloskop->abort();
    com->Close();
    text(QStringLiteral("line lost"));
    multimetr->lineLost();
    reconnection->watch(linkPort, linkSpeed);
}

// On the oscilloscope and the analyzer the right button, or Shift with the
// left, sets the reference cursor where it is pressed, or removes the one
// there is.
void MainWindow::mousePressEvent(QMouseEvent *event)
{
    if (device > 2)
        return;
    const bool forReference = event->button() == Qt::RightButton
        || (event->button() == Qt::LeftButton && event->modifiers().testFlag(Qt::ShiftModifier));
    referencePress = forReference && (device == 0 || device == 2);
    if (!referencePress) {
        setTextPos(event);
        return;
    }
    const QPoint at = event->position().toPoint();
    if (reference())
        setReference(std::nullopt);
    else if (readout::insidePlot(at))
        setReference(at);
}

void MainWindow::mouseMoveEvent(QMouseEvent *event)
{
    if (device > 2 || referencePress)
        return;
    setTextPos(event);
    if (device == 1)
        generator->drawArb(event);
}

void MainWindow::mouseReleaseEvent(QMouseEvent *)
{
    referencePress = false;
    hideReadouts();
    generator->drawArbRelease();
}

void MainWindow::hideReadouts()
{
    posLabelT->hide();
    posLabelU->hide();
    for (QLabel *label : deltaLabels)
        label->hide();
}

std::optional<QPoint> MainWindow::reference() const
{
    switch (device) {
    case 0:
        return oscyloskop->reference();
    case 2:
        return analizator->reference();
    default:
        return std::nullopt;
    }
}

void MainWindow::setReference(std::optional<QPoint> point)
{
    switch (device) {
    case 0:
        oscyloskop->setReference(point);
        break;
    case 2:
        analizator->setReference(point);
        break;
    default:
        return;
    }
    if (!point) {
        for (QLabel *label : deltaLabels)
            label->hide();
    }
    update(kPlotStrip);
}

void MainWindow::setTextPos(QMouseEvent *event)
{
    // Indexes clamped so that a panel value out of range cannot read past a table.
    readout::Scales scales;
    scales.oscTime
        = osc::timeTab[std::clamp(oscyloskop->tbIndex, 0, int(osc::timeTab.size()) - 1)];
    scales.oscGainIndex = std::clamp(oscyloskop->gain1Index, 0, int(osc::gainTab.size()) - 1);
    scales.oscGain = osc::gainTab[scales.oscGainIndex];
    scales.genFreq = generator->freq;
    scales.span = static_cast<int>(spectrum::hzPerDivision(analizator->tbIndex));
    scales.shift = analizator->xPos;

    const QPoint at = event->position().toPoint();
    const auto labels = readout::labels(device, at, scales);
    if (!labels)
        return;
    posLabelT->setGeometry(QRect(labels->posT, QSize(readout::kLabelWidth, readout::kLabelHeight)));
    posLabelU->setGeometry(QRect(labels->posU, QSize(readout::kLabelWidth, readout::kLabelHeight)));
    posLabelT->setText(labels->textT);
    posLabelU->setText(labels->textU);
    posLabelT->show();
    posLabelU->show();

    const std::optional<QPoint> ref = reference();
    const auto lines = ref ? readout::deltas(device, *ref, at, scales) : std::nullopt;
    for (std::size_t i = 0; i < deltaLabels.size(); ++i) {
        QLabel *label = deltaLabels[i];
        if (!lines || i >= lines->size()) {
            label->hide();
            continue;
        }
        const readout::DeltaLine &line = (*lines)[i];
        label->setGeometry(QRect(line.pos, QSize(readout::kDeltaWidth, readout::kLabelHeight)));
        label->setText(line.text);
        label->show();
    }
}
