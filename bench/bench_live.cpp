// The live cost of labbench: the whole window streaming from the simulated
// ZOR, paced at 2,500,000 bit/s, for a while on the oscilloscope tab and then
// on the analyzer tab. Printed: the process's CPU share of one core (all its
// threads: GUI and worker), the frames shown per second and the peak resident
// memory. The one-byte build of the same program runs beside it, as a child,
// for the ratio.
//
//   bench-live [--seconds S] [--server-pid PID]
//
// With --server-pid (the X server under Xvfb) that process's CPU share over
// the same spans is printed too. --window runs only this build's window.
#include "figures.h"
#include "mainwindow.h"
#include "shared.h"
#include "simprocess.h"
#include <QPaintEvent>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>

#include <chrono>
#include <cstdio>

namespace {

constexpr int kSettleMs = 1500;

// The plot and the strip around it, where the panels paint.
const QRect kPlotStrip(0, 30, 788, 522);

// The main window with its paints of the plot counted, and the frames they
// showed: a paint shows a new frame when the buffer differs from the last one
// painted.
class CountingWindow : public MainWindow {
public:
    long paints = 0;
    long framesShown = 0;

protected:
    void paintEvent(QPaintEvent *event) override
    {
        MainWindow::paintEvent(event);
        if (!event->region().intersects(kPlotStrip))
            return;
        ++paints;
        const Frame now = buff.snapshot();
        if (now != last)
            ++framesShown;
        last = now;
    }

private:
    Frame last {};
};

void runEventLoop(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

int intOption(const QStringList &args, const QString &name, int fallback)
{
    const int at = args.indexOf(name);
    return at >= 0 && at + 1 < args.size() ? args[at + 1].toInt() : fallback;
}

int runWindow(int seconds, long serverPid)
{
    SimProcess sim;
    if (!sim.start())
        return 1;
    // The window reads settings.txt from the working directory: point it at the simulator.
    QDir::setCurrent(sim.folder());
    QFile settings(QStringLiteral("settings.txt"));
    if (!settings.open(QIODevice::WriteOnly))
        return 1;
    settings.write(QStringLiteral("#%1#2500000#9#ZOR").arg(sim.portPath()).toLocal8Bit());
    settings.close();

    CountingWindow window;
    window.resize(window.minimumSize());
    window.show();
    for (QPushButton *button : window.findChildren<QPushButton *>()) {
        if (button->text() == QStringLiteral("Open port"))
            button->click();
    }
    auto *tabs = window.findChild<QTabWidget *>();
    runEventLoop(kSettleMs);

    const struct {
        int tab;
        const char *name;
    } views[] = { { 0, "osc" }, { 2, "analyzer" } };
    for (const auto &view : views) {
        tabs->setCurrentIndex(view.tab);
        runEventLoop(kSettleMs);
        const long paints0 = window.paints;
        const long shown0 = window.framesShown;
        const double cpu0 = bench::processCpuSeconds();
        const double server0 = serverPid > 0 ? bench::otherProcessCpuSeconds(serverPid) : 0.0;
        const auto t0 = std::chrono::steady_clock::now();
        runEventLoop(seconds * 1000);
        const double elapsed
            = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const double cpu = bench::processCpuSeconds() - cpu0;
        const QString name = QStringLiteral("live.") + QLatin1String(view.name);
        bench::print(name + QStringLiteral(".cpu_share"), 100.0 * cpu / elapsed,
            QStringLiteral("% of a core"));
        bench::print(name + QStringLiteral(".frames_shown"),
            double(window.framesShown - shown0) / elapsed, QStringLiteral("frames/s"));
        bench::print(name + QStringLiteral(".paints"), double(window.paints - paints0) / elapsed,
            QStringLiteral("paints/s"));
        if (serverPid > 0) {
            const double server = bench::otherProcessCpuSeconds(serverPid) - server0;
            bench::print(name + QStringLiteral(".server_cpu_share"), 100.0 * server / elapsed,
                QStringLiteral("% of a core"));
        }
    }
    bench::print(QStringLiteral("live.peak_rss"), bench::peakResidentMiB(), QStringLiteral("MiB"));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    const QStringList args = [&] {
        QStringList list;
        for (int i = 0; i < argc; ++i)
            list << QString::fromLocal8Bit(argv[i]);
        return list;
    }();
    const int seconds = std::max(1, intOption(args, QStringLiteral("--seconds"), 20));
    const long serverPid = intOption(args, QStringLiteral("--server-pid"), 0);
    const QStringList passOn { QStringLiteral("--window"), QStringLiteral("--seconds"),
        QString::number(seconds), QStringLiteral("--server-pid"), QString::number(serverPid) };

    if (args.contains(QStringLiteral("--window"))) {
        QApplication app(argc, argv);
        return runWindow(seconds, serverPid);
    }

#ifdef LABBENCH_ONE_BYTE_PEER
    // Each build in a process of its own, so that each has its own peak memory.
    QCoreApplication app(argc, argv);
    const int timeoutMs = (2 * seconds + 60) * 1000;
    const bench::Figures ours = bench::runChild(app.applicationFilePath(), passOn, timeoutMs);
    const bench::Figures peer
        = bench::runChild(QStringLiteral(LABBENCH_ONE_BYTE_PEER), passOn, timeoutMs);
    if (ours.empty() || peer.empty())
        return 1;
    for (const auto &[name, figure] : ours)
        bench::print(name, figure.value, figure.unit);
    for (const auto &[name, figure] : peer)
        bench::print(
            QString(name).replace(QStringLiteral("live."), QStringLiteral("live.onebyte.")),
            figure.value, figure.unit);
    for (const char *view : { "osc", "analyzer" }) {
        const QString key = QStringLiteral("live.%1.cpu_share").arg(QLatin1String(view));
        const double share = ours.at(key).value;
        const double oneByte = peer.at(key).value;
        bench::print(QStringLiteral("live.ratio.%1.cpu_over_onebyte").arg(QLatin1String(view)),
            oneByte > 0 ? share / oneByte : 0.0, QStringLiteral("(CPU share)"));
    }
    return 0;
#else
    std::fprintf(stderr, "bench-live-onebyte runs only its window: use --window\n");
    return 2;
#endif
}
