// Repaint cost of the main window: the oscilloscope tab with both channels
// (trigger, eight readouts, grid, cursors, two traces) and the analyzer tab
// (transform, THD+N, trace). Each repaint gets a different frame, so the
// trigger fires and every readout changes as in a live view. Timed are the
// panel's paint (drawGraph, inside the window's paint event) and the whole
// window's synchronous repaint, children included.
//
//   QT_QPA_PLATFORM=offscreen bench-repaint [--frames N]
#include "figures.h"
#include "mainwindow.h"
#include "shared.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QPaintEvent>
#include <QTabWidget>

#include <chrono>
#include <cmath>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kTickUs = 50000.0; // the main window's refresh tick

double microseconds(Clock::time_point t0, Clock::time_point t1)
{
    return std::chrono::duration<double, std::micro>(t1 - t0).count();
}

// The plot rectangle, grid lines included.
const QRect kPlot(10, 30, 769, 513);

// The main window with its paint event timed when it paints the whole plot;
// the event does nothing but hand the frame to the current tab's panel.
class TimedWindow : public MainWindow {
public:
    std::vector<double> paintUs;
    long paints = 0;

    // One tick of the refresh timer, as when it finds a fresh frame.
    void tick()
    {
        bufReady.store(true);
        QTimerEvent event(0);
        timerEvent(&event);
    }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        const auto t0 = Clock::now();
        MainWindow::paintEvent(event);
        ++paints;
        if (event->region().contains(kPlot))
            paintUs.push_back(microseconds(t0, Clock::now()));
    }
};

// Channel 1 a sine of 40 samples per period, channel 2 a square of 64, both
// shifted by `phase` samples so each frame triggers at another place.
Frame twoChannelFrame(int phase)
{
    Frame frame {};
    for (int i = 0; i < 512; ++i) {
        frame[std::size_t(i)] = int(std::lround(900.0 * std::sin(2.0 * M_PI * (i + phase) / 40.0)));
        frame[std::size_t(512 + i)] = ((i + phase) / 32) % 2 ? 600 : -600;
    }
    return frame;
}

// A tone with a few harmonics and a deterministic hash.
Frame toneFrame(int phase)
{
    Frame frame {};
    for (int t = 0; t < int(frame.size()); ++t) {
        const double x = 2.0 * M_PI * (t + phase) / 1024.0;
        frame[std::size_t(t)] = int(std::lround(1500.0 * std::sin(37 * x) + 80.0 * std::sin(74 * x)
                                    + 30.0 * std::sin(111 * x)))
            + (t * 7919 + phase) % 7 - 3;
    }
    return frame;
}

QComboBox *comboStartingWith(QWidget &window, const QString &first)
{
    for (QComboBox *combo : window.findChildren<QComboBox *>()) {
        if (combo->count() > 0 && combo->itemText(0) == first)
            return combo;
    }
    return nullptr;
}

// As the user would: choose an item, which reaches the panel through "activated(int)".
bool choose(QWidget &window, const QString &first, int index)
{
    QComboBox *combo = comboStartingWith(window, first);
    if (!combo)
        return false;
    combo->setEnabled(true);
    combo->setCurrentIndex(index);
    emit combo->activated(index);
    return true;
}

bool measure(QApplication &app, TimedWindow &window, const QString &name, int frames,
    Frame (*makeFrame)(int))
{
    std::vector<Frame> pictures;
    for (int k = 0; k < 16; ++k)
        pictures.push_back(makeFrame(3 * k));
    // A few repaints first: fonts, glyph caches and the backing store settle.
    for (int i = 0; i < 20; ++i) {
        buff.store(pictures[std::size_t(i) % pictures.size()]);
        window.repaint();
    }
    window.paintUs.clear();
    std::vector<double> wholeUs;
    for (int i = 0; i < frames; ++i) {
        buff.store(pictures[std::size_t(i) % pictures.size()]);
        const auto t0 = Clock::now();
        window.repaint();
        wholeUs.push_back(microseconds(t0, Clock::now()));
        app.processEvents();
    }
    if (window.paintUs.size() < std::size_t(frames))
        return false;
    const double draw = bench::median(window.paintUs);
    const double whole = bench::median(wholeUs);

    // What the GUI thread (and any helper threads) spend on one tick with a
    // fresh frame, up to the last paint it causes, in CPU time.
    const double cpu0 = bench::processCpuSeconds();
    const long paints0 = window.paints;
    for (int i = 0; i < frames; ++i) {
        buff.store(pictures[std::size_t(i) % pictures.size()]);
        window.tick();
        for (int pass = 0; pass < 3; ++pass)
            app.processEvents();
    }
    const double tickCpu = (bench::processCpuSeconds() - cpu0) * 1e6 / frames;
    const double paintsPerTick = double(window.paints - paints0) / frames;

    bench::print(QStringLiteral("repaint.%1.drawGraph").arg(name), draw, QStringLiteral("us"));
    bench::print(QStringLiteral("repaint.%1.window").arg(name), whole, QStringLiteral("us"));
    bench::print(QStringLiteral("repaint.%1.window_tick_share").arg(name), 100.0 * whole / kTickUs,
        QStringLiteral("%"));
    bench::print(QStringLiteral("repaint.%1.tick_cpu").arg(name), tickCpu, QStringLiteral("us"));
    bench::print(QStringLiteral("repaint.%1.paints_per_tick").arg(name), paintsPerTick,
        QStringLiteral("paints"));
    bench::print(QStringLiteral("repaint.%1.tick_cpu_share").arg(name), 100.0 * tickCpu / kTickUs,
        QStringLiteral("%"));
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int at = args.indexOf(QStringLiteral("--frames"));
    const int frames = at >= 0 && at + 1 < args.size() ? std::max(1, args[at + 1].toInt()) : 400;

    TimedWindow window;
    window.resize(window.minimumSize());
    window.show();
    app.processEvents();

    // Oscilloscope: second channel on, "Norm" trigger on the rising edge.
    for (QCheckBox *box : window.findChildren<QCheckBox *>()) {
        if (box->geometry() == QRect(380, 580, 20, 20)) {
            box->setEnabled(true);
            box->click();
        }
    }
    if (!choose(window, QStringLiteral("----"), 1) || !choose(window, QStringLiteral("Fall"), 1))
        return 1;
    if (!measure(app, window, QStringLiteral("osc"), frames, twoChannelFrame))
        return 1;

    window.findChild<QTabWidget *>()->setCurrentIndex(2);
    app.processEvents();
    if (!measure(app, window, QStringLiteral("analyzer"), frames, toneFrame))
        return 1;
    return 0;
}
