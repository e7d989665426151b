#include "multimetr.h"

#include "linetiming.h"
#include "plotgeometry.h"
#include "settingtexts.h"
#include "shared.h"
#include "trigger.h"
#include "zorcom.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace {

constexpr std::array<const char *, meter::kQuantities> kQuantityNames { "DC", "AC RMS", "Freq",
    "Vpp" };
constexpr std::size_t kTrendPoints = 4096;
constexpr double kTrendSeconds = 60;

const QColor kBackground(0, 0, 0);
const QColor kDigits(80, 230, 120);
const QColor kOver(240, 80, 60);
const QColor kDim(140, 140, 140);
const std::array<QColor, 2> kTrendColours { QColor(60, 120, 250), QColor(230, 60, 40) };

template <typename W> W *make(QWidget *parent, const char *name, int x, int y, int w, int h)
{
    W *widget = new W(parent);
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(x, y, w, h);
    widget->setEnabled(false);
    widget->hide();
    return widget;
}

QComboBox *rangeCombo(QWidget *parent, const char *name, int x)
{
    auto *combo = make<QComboBox>(parent, name, x, 580, 100, 20);
    combo->addItem(QStringLiteral("auto"));
    for (const char *gain : texts::kGains)
        combo->addItem(QLatin1String(gain));
    return combo;
}

int gainOf(const QComboBox *combo)
{
    return combo->currentIndex() == 0 ? MeterDriver::kAuto : combo->currentIndex() - 1;
}

} // namespace

Multimetr::Multimetr(QWidget *w)
    : QObject(w)
    , window(w)
{
    setObjectName(QStringLiteral("multimetr"));
    range1Combo = rangeCombo(window, "meterRange1Combo", 100);
    channel2Box = make<QCheckBox>(window, "meterChannel2Box", 210, 580, 45, 20);
    channel2Box->setText(QStringLiteral("CH2"));
    range2Combo = rangeCombo(window, "meterRange2Combo", 258);
    holdButton = make<QPushButton>(window, "meterHoldButton", 366, 580, 55, 20);
    holdButton->setText(QStringLiteral("Hold"));
    holdButton->setCheckable(true);
    resetButton = make<QPushButton>(window, "meterResetButton", 426, 580, 55, 20);
    resetButton->setText(QStringLiteral("Reset"));
    intervalCombo = make<QComboBox>(window, "meterIntervalCombo", 500, 580, 100, 20);
    for (const int ms : Recorder::kIntervalsMs)
        intervalCombo->addItem(Recorder::intervalText(ms));
    recordButton = make<QPushButton>(window, "meterRecordButton", 606, 580, 90, 20);
    recordButton->setText(QStringLiteral("Record…"));
    // Right of the plot, where the oscilloscope has its readouts.
    recordLabel = make<QLabel>(window, "meterRecordLabel", 838, 100, 190, 120);
    recordLabel->setWordWrap(true);
    recordLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    connect(range1Combo, SIGNAL(activated(int)), this, SLOT(settingsSlot()));
    connect(range2Combo, SIGNAL(activated(int)), this, SLOT(settingsSlot()));
    connect(channel2Box, SIGNAL(clicked()), this, SLOT(settingsSlot()));
    connect(holdButton, SIGNAL(clicked()), this, SLOT(holdSlot()));
    connect(resetButton, SIGNAL(clicked()), this, SLOT(resetSlot()));
    connect(recordButton, SIGNAL(clicked()), this, SLOT(recordSlot()));
}

// The window is going: the file gets its interval in progress; the controls
// are no longer asked.
Multimetr::~Multimetr()
{
    recorder.finish(Clock::now());
}

QList<QWidget *> Multimetr::widgets() const
{
    return { range1Combo, channel2Box, range2Combo, holdButton, resetButton, intervalCombo,
        recordButton, recordLabel };
}

void Multimetr::show()
{
    for (QWidget *widget : widgets())
        widget->show();
}

void Multimetr::hide()
{
    stopRecording();
    for (QWidget *widget : widgets())
        widget->hide();
}

void Multimetr::enable()
{
    for (QWidget *widget : widgets())
        widget->setEnabled(true);
    range2Combo->setEnabled(channel2Box->isChecked());
}

void Multimetr::connectLink(ZORCom *link, const QString &port, int speed)
{
    com = link;
    portName = port;
    if (speed != lineSpeed) {
        lineSpeed = speed;
        driver = MeterDriver(lineSpeed, kStaleFrames);
        driver.configure(channel2Box->isChecked(), { gainOf(range1Combo), gainOf(range2Combo) });
    }
}

void Multimetr::start()
{
    if (!com)
        return;
    seen = buff.stored();
    lastFrame = Clock::now();
    driver.takeChange();
    if (driver.twoChannels())
        com->osc2chStart();
    else
        com->osc1chStart();
    send();
}

void Multimetr::send()
{
    const MeterDriver::Request r = driver.request();
    com->setTimeBase(r.tbIndex);
    com->setGain(r.gain[0], r.gain[1]);
    driver.sent();
}

void Multimetr::poll(bool linkOpen)
{
    const Clock::time_point now = Clock::now();
    Frame frame {};
    while (const std::uint64_t number = buff.takeAfter(seen, frame)) {
        seen = number;
        if (driver.take(frame.data())) {
            lastFrame = now;
            fresh = true;
            if (!held)
                keep();
            if (recorder.isRecording()) {
                if (!recorder.add(driver, now)) {
                    fail(recorder.error());
                    return;
                }
                TrendPoint point { std::chrono::duration<double>(now - recordStart).count(), {},
                    {} };
                for (int c = 0; c < driver.channels(); ++c) {
                    point.dc[std::size_t(c)] = driver.reading(c).dc;
                    point.over[std::size_t(c)] = driver.reading(c).over;
                }
                trend.push_back(point);
                if (trend.size() > kTrendPoints)
                    trend.pop_front();
            }
        }
        if (driver.takeChange() && com && linkOpen)
            send();
    }
    // Digits that change twenty times a second cannot be read; painting
    // them that often costs more than the whole recording.
    if (fresh && now - lastPaint >= kRepaintEvery) {
        fresh = false;
        lastPaint = now;
        window->update(
            plot::kLeft, plot::kTop, plot::kRight - plot::kLeft, plot::kBottom - plot::kTop);
    }
    if (!recorder.isRecording())
        return;
    const auto silence = std::chrono::milliseconds(
        linetiming::noDataMs(driver.readingTimeBase(), driver.request().tbIndex, lineSpeed));
    bool ok = recorder.tick(now);
    if (ok && linkOpen && now - lastFrame > silence)
        ok = recorder.gap(QStringLiteral("no frames from the device"), now);
    if (!ok)
        fail(recorder.error());
    recordLabel->setText(QStringLiteral("Recording %1 into\n%2\n%3 lines")
                             .arg(intervalCombo->currentText(), recorder.path())
                             .arg(recorder.lines()));
}

void Multimetr::lineLost()
{
    if (recorder.isRecording() && !recorder.gap(QStringLiteral("line lost"), Clock::now()))
        fail(recorder.error());
}

void Multimetr::keep()
{
    shown.channels = driver.channels();
    for (int c = 0; c < shown.channels; ++c) {
        shown.reading[std::size_t(c)] = driver.reading(c);
        shown.gain[std::size_t(c)] = driver.readingGain(c);
        for (int q = 0; q < meter::kQuantities; ++q)
            shown.stats[std::size_t(c)][std::size_t(q)] = driver.statistics(c, meter::Quantity(q));
    }
    shown.any = true;
}

QString Multimetr::readingText(int channel, meter::Quantity quantity) const
{
    if (!shown.any || channel >= shown.channels)
        return QStringLiteral("--");
    const meter::Reading &r = shown.reading[std::size_t(channel)];
    if (r.over)
        return QStringLiteral("over range");
    const int gain = shown.gain[std::size_t(channel)];
    switch (quantity) {
    case meter::Quantity::Dc:
        return meter::valueText(quantity, r.dc, gain);
    case meter::Quantity::AcRms:
        return meter::valueText(quantity, r.acRms, gain);
    case meter::Quantity::Frequency:
        return r.hz ? meter::valueText(quantity, *r.hz, gain) : QStringLiteral("--");
    case meter::Quantity::PeakToPeak:
        return meter::valueText(quantity, r.peakToPeak, gain);
    }
    return QString();
}

QString Multimetr::statisticsText(int channel, meter::Quantity quantity) const
{
    if (!shown.any || channel >= shown.channels)
        return QString();
    const RunningStats &s = shown.stats[std::size_t(channel)][std::size_t(quantity)];
    if (s.empty())
        return QStringLiteral("n 0");
    const int gain = shown.gain[std::size_t(channel)];
    return QStringLiteral("min %1  max %2  mean %3  n %4")
        .arg(meter::valueText(quantity, s.min(), gain), meter::valueText(quantity, s.max(), gain),
            meter::valueText(quantity, s.mean(), gain))
        .arg(s.count());
}

void Multimetr::drawGraph()
{
    QPainter painter(window);
    const QRect plotArea(
        plot::kLeft, plot::kTop, plot::kRight - plot::kLeft, plot::kBottom - plot::kTop);
    painter.fillRect(plotArea, kBackground);
    if (!recorder.isRecording()) {
        drawDigits(painter, plotArea);
        return;
    }
    drawDigits(painter, plotArea.adjusted(0, 0, 0, -plotArea.height() / 2));
    drawTrend(painter, plotArea.adjusted(0, plotArea.height() / 2, 0, 0));
}

// Per channel a column, per reading a row: its name, the value in large
// digits (red when over range), the statistics under it.
void Multimetr::drawDigits(QPainter &painter, const QRect &area) const
{
    const int channels = channel2Box->isChecked() ? 2 : 1;
    const int columnWidth = area.width() / channels;
    const int rowHeight = area.height() / meter::kQuantities;
    QFont big = window->font();
    big.setPixelSize(std::max(12, rowHeight * 9 / 20));
    big.setBold(true);
    QFont small = window->font();
    small.setPixelSize(std::max(10, rowHeight / 7));
    for (int c = 0; c < channels; ++c) {
        for (int q = 0; q < meter::kQuantities; ++q) {
            const auto quantity = meter::Quantity(q);
            const QRect cell(area.left() + c * columnWidth + 8, area.top() + q * rowHeight + 4,
                columnWidth - 16, rowHeight - 8);
            const QString value = readingText(c, quantity);
            painter.setFont(small);
            painter.setPen(kDim);
            painter.drawText(cell, Qt::AlignLeft | Qt::AlignTop,
                QStringLiteral("CH%1 %2").arg(c + 1).arg(
                    QLatin1String(kQuantityNames[std::size_t(q)])));
            painter.drawText(cell, Qt::AlignLeft | Qt::AlignBottom, statisticsText(c, quantity));
            painter.setFont(big);
            painter.setPen(value == QLatin1String("over range") ? kOver : kDigits);
            painter.drawText(cell, Qt::AlignRight | Qt::AlignVCenter, value);
        }
    }
}

// The DC readings of the last minute against time, scaled to what they span.
void Multimetr::drawTrend(QPainter &painter, const QRect &area) const
{
    painter.setPen(kDim);
    painter.drawRect(area.adjusted(0, 0, -1, -1));
    if (trend.empty())
        return;
    const double end = trend.back().seconds;
    const double begin = end - kTrendSeconds;
    double low = 0;
    double high = 0;
    bool first = true;
    for (const TrendPoint &p : trend) {
        if (p.seconds < begin)
            continue;
        for (int c = 0; c < driver.channels(); ++c) {
            if (p.over[std::size_t(c)])
                continue;
            const double v = p.dc[std::size_t(c)];
            low = first ? v : std::min(low, v);
            high = first ? v : std::max(high, v);
            first = false;
        }
    }
    const double span = std::max(high - low, 1e-3);
    const auto x
        = [&](double s) { return area.left() + (s - begin) / kTrendSeconds * area.width(); };
    const auto y
        = [&](double v) { return area.bottom() - 8 - (v - low) / span * (area.height() - 16); };
    painter.setFont(QFont(window->font().family(), 8));
    painter.drawText(area.adjusted(4, 2, 0, 0), Qt::AlignLeft | Qt::AlignTop,
        QStringLiteral("%1 V").arg(high, 0, 'g', 5));
    painter.drawText(area.adjusted(4, 0, 0, -2), Qt::AlignLeft | Qt::AlignBottom,
        QStringLiteral("%1 V   last %2 s").arg(low, 0, 'g', 5).arg(kTrendSeconds));
    for (int c = 0; c < driver.channels(); ++c) {
        painter.setPen(kTrendColours[std::size_t(c)]);
        QPointF previous;
        bool joined = false;
        for (const TrendPoint &p : trend) {
            if (p.seconds < begin || p.over[std::size_t(c)]) {
                joined = false;
                continue;
            }
            const QPointF point(x(p.seconds), y(p.dc[std::size_t(c)]));
            if (joined)
                painter.drawLine(previous, point);
            else
                painter.drawPoint(point);
            previous = point;
            joined = true;
        }
    }
}

bool Multimetr::startRecording(const QString &path)
{
    stopRecording();
    Recorder::Header header;
    header.port = portName;
    header.speed = lineSpeed;
    header.twoChannels = driver.twoChannels();
    header.range = range1Combo->currentText();
    if (header.twoChannels)
        header.range += QLatin1Char(',') + range2Combo->currentText();
    header.intervalMs
        = Recorder::kIntervalsMs[std::size_t(std::max(0, intervalCombo->currentIndex()))];
    recordStart = Clock::now();
    trend.clear();
    if (!recorder.start(path, header, recordStart)) {
        fail(recorder.error());
        return false;
    }
    recordButton->setText(QStringLiteral("Stop"));
    intervalCombo->setEnabled(false);
    recordLabel->setText(QStringLiteral("Recording into\n%1").arg(path));
    window->update();
    return true;
}

void Multimetr::stopRecording()
{
    if (!recorder.isRecording())
        return;
    const QString path = recorder.path();
    const bool ok = recorder.finish(Clock::now());
    const QString text = ok
        ? QStringLiteral("recorded %1 lines in %2").arg(recorder.lines()).arg(path)
        : QStringLiteral("recording stopped: %1; %2 lines kept in %3")
              .arg(recorder.error())
              .arg(recorder.lines())
              .arg(path);
    sts.set(text);
    recordLabel->setText(text);
    recordButton->setText(QStringLiteral("Record…"));
    intervalCombo->setEnabled(true);
    window->update();
}

// The disk is full or the folder gone: what was written stays, the
// recording ends and says why.
void Multimetr::fail(const QString &reason)
{
    if (recorder.isRecording()) {
        stopRecording();
        return;
    }
    const QString text = QStringLiteral("cannot record: %1").arg(reason);
    sts.set(text);
    recordLabel->setText(text);
    recordButton->setText(QStringLiteral("Record…"));
    intervalCombo->setEnabled(true);
}

void Multimetr::settingsSlot()
{
    range2Combo->setEnabled(channel2Box->isChecked() && range1Combo->isEnabled());
    const bool modeChanged = channel2Box->isChecked() != driver.twoChannels();
    driver.configure(channel2Box->isChecked(), { gainOf(range1Combo), gainOf(range2Combo) });
    shown = Shown();
    if (modeChanged && recorder.isRecording())
        stopRecording();
    start();
    window->update();
}

void Multimetr::holdSlot()
{
    held = holdButton->isChecked();
    if (!held && shown.any)
        keep();
    window->update();
}

void Multimetr::resetSlot()
{
    driver.resetStatistics();
    if (!held && shown.any)
        keep();
    window->update();
}

void Multimetr::recordSlot()
{
    if (recorder.isRecording())
        stopRecording();
    else
        emit recordAsked();
}
