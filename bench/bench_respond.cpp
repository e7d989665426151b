// Responsiveness: how long "Close port" takes with the device silent and with
// it streaming, and how long labbench takes from being started to its first
// painted window.
//
//   bench-respond [--repeats N]
//
// For the start-up figure this program starts itself again with
// --first-paint T0, which builds and shows the main window and reports when it
// first painted, counted from T0 on the machine's monotonic clock.
#include "figures.h"
#include "mainwindow.h"
#include "shared.h"
#include "simprocess.h"
#include "zorcom.h"

#include <QApplication>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

constexpr int kSpeed = 2500000;

// The main window that says when it first painted and then ends the program.
class FirstPaintWindow : public MainWindow {
public:
    explicit FirstPaintWindow(std::int64_t start)
        : startNs(start)
    {
    }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        MainWindow::paintEvent(event);
        if (done)
            return;
        done = true;
        bench::print(QStringLiteral("startup.first_paint"),
            double(bench::monotonicNs() - startNs) / 1e6, QStringLiteral("ms"));
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    }

private:
    std::int64_t startNs;
    bool done = false;
};

// Opens a link on the simulator, lets it run for a while, then times Close.
// Negative when the link did not open.
double closeMs(const QStringList &simOptions, int runMs)
{
    SimProcess sim(simOptions);
    if (!sim.start())
        return -1.0;
    ZORCom link(&buff, &buff_gen);
    if (!link.Open(sim.portPath(), kSpeed))
        return -1.0;
    link.Start();
    link.osc1chStart();
    std::this_thread::sleep_for(std::chrono::milliseconds(runMs));
    const auto t0 = std::chrono::steady_clock::now();
    link.Close();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
}

bool printCloses(const QString &name, const QStringList &simOptions, int repeats)
{
    std::vector<double> times;
    for (int i = 0; i < repeats; ++i) {
        const double ms = closeMs(simOptions, 300 + 50 * i);
        if (ms < 0)
            return false;
        times.push_back(ms);
    }
    bench::print(name + QStringLiteral(".median"), bench::median(times), QStringLiteral("ms"));
    bench::print(name + QStringLiteral(".max"), *std::max_element(times.begin(), times.end()),
        QStringLiteral("ms"));
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);

    const int child = args.indexOf(QStringLiteral("--first-paint"));
    if (child >= 0 && child + 1 < args.size()) {
        const std::int64_t start = args[child + 1].toLongLong();
        QApplication app(argc, argv);
        FirstPaintWindow window(start);
        window.show();
        return app.exec();
    }

    QCoreApplication app(argc, argv);
    const int at = args.indexOf(QStringLiteral("--repeats"));
    const int repeats = at >= 0 && at + 1 < args.size() ? std::max(1, args[at + 1].toInt()) : 5;

    if (!printCloses(QStringLiteral("close.silent"),
            { QStringLiteral("--fault"), QStringLiteral("silent") }, repeats)
        || !printCloses(QStringLiteral("close.streaming"), {}, repeats)
        || !printCloses(
            QStringLiteral("close.streaming_unpaced"), { QStringLiteral("--no-pacing") }, repeats))
        return 1;

    std::vector<double> startups;
    for (int i = 0; i < repeats; ++i) {
        const std::int64_t start = bench::monotonicNs();
        const bench::Figures figures = bench::runChild(app.applicationFilePath(),
            { QStringLiteral("--first-paint"), QString::number(start) }, 30000);
        const auto found = figures.find(QStringLiteral("startup.first_paint"));
        if (found == figures.end())
            return 1;
        startups.push_back(found->second.value);
    }
    bench::print(QStringLiteral("startup.first_paint.median"), bench::median(startups),
        QStringLiteral("ms"));
    bench::print(QStringLiteral("startup.first_paint.max"),
        *std::max_element(startups.begin(), startups.end()), QStringLiteral("ms"));
    return 0;
}
