// Link throughput against the unpaced simulator on a pseudo-terminal: the
// worker as shipped, beside the limit of the pseudo-terminal (a minimal host
// loop reading large chunks) and beside the same worker built to read one
// byte per call. Each round measures all three, one after the other, so a
// change in the machine's load hits them alike; the figures are medians.
//
//   bench-link [--seconds S] [--rounds R]
//
// The one-byte build of this program (bench-link-onebyte) is run as a child
// with --worker, which measures only the worker.
#include "figures.h"
#include "framebuffer.h"
#include "gentable.h"
#include "protocol.h"
#include "serialport.h"
#include "simprocess.h"
#include "thread.h"

#include <QCoreApplication>
#include <QStringList>

#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kSpeed = 2500000;
constexpr int kWarmUpMs = 500;

struct Run {
    double framesPerSecond = 0.0;
    double cpuPerFrameUs = 0.0;
    double readsPerFrame = 0.0;
    double writesPerFrame = 0.0;
};

bool anySample(const Frame &frame)
{
    for (const int v : frame) {
        if (v != 0)
            return true;
    }
    return false;
}

// The worker of this build on a fresh simulator. Frames are counted by the
// "g" the worker writes after each one (an answer to a "w" prompt, at most
// one per three seconds, counts too).
bool measureWorker(int seconds, Run &run)
{
    SimProcess sim({ QStringLiteral("--no-pacing") });
    if (!sim.start())
        return false;
    SerialPort port;
    if (!port.Open(sim.portPath().toLocal8Bit().constData()))
        return false;
    port.Set(kSpeed);
    FrameBuffer frames;
    GenTable table;
    Thread worker(&port, &frames, &table);
    worker.start();
    worker.waitUntilRunning();
    std::this_thread::sleep_for(std::chrono::milliseconds(kWarmUpMs));

    const ByteLine &line = port.line();
    const std::uint64_t reads0 = line.readCalls();
    const std::uint64_t writes0 = line.writeCalls();
    const double cpu0 = bench::processCpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const std::uint64_t reads = line.readCalls() - reads0;
    const std::uint64_t writes = line.writeCalls() - writes0;
    const double cpu = bench::processCpuSeconds() - cpu0;
    const double elapsed
        = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    worker.stop();
    worker.wait();

    if (writes == 0 || !anySample(frames.snapshot()))
        return false;
    const double count = double(writes);
    run.framesPerSecond = count / elapsed;
    run.cpuPerFrameUs = cpu * 1e6 / count;
    run.readsPerFrame = double(reads) / count;
    run.writesPerFrame = double(writes) / count;
    return true;
}

#ifdef LABBENCH_ONE_BYTE_PEER
// The fastest a host can go on this pseudo-terminal: large reads, a frame
// taken as "S", 2048 bytes and "E", decoded and answered with "g"; prompts
// answered while hunting. No checks, no status, no shared buffer.
class HostLoop {
public:
    explicit HostLoop(int descriptor)
        : fd(descriptor)
    {
    }

    void take(const char *data, int n)
    {
        for (int i = 0; i < n; ++i) {
            const char c = data[i];
            if (inFrame) {
                bytes[std::size_t(filled++)] = c;
                if (filled == frame::kDataBytes + 1)
                    finishFrame();
                continue;
            }
            if (c == byteOf(Cmd::Start)) {
                inFrame = true;
                filled = 0;
            } else if (c == byteOf(Cmd::Watch)) {
                put(byteOf(Cmd::Watch));
            } else if (c == byteOf(Cmd::Which)) {
                put(byteOf(Cmd::OneChannel));
            }
        }
    }

    long frames = 0;
    long writes = 0;
    bool sawSignal = false; // some decoded sample was not zero

private:
    void finishFrame()
    {
        inFrame = false;
        for (int j = 0; j < frame::kSamples; ++j) {
            const auto low = static_cast<std::uint8_t>(bytes[std::size_t(2 * j)]);
            const auto high = static_cast<std::uint8_t>(bytes[std::size_t(2 * j + 1)]);
            samples[std::size_t(j)] = static_cast<std::int16_t>(std::uint16_t(low | (high << 8)));
        }
        for (const int v : samples)
            sawSignal = sawSignal || v != 0;
        ++frames;
        put(byteOf(Cmd::Go));
    }

    void put(char c)
    {
        ++writes;
        [[maybe_unused]] const ssize_t w = ::write(fd, &c, 1);
    }

    int fd;
    bool inFrame = false;
    int filled = 0;
    std::array<char, frame::kDataBytes + 1> bytes {};
    std::array<int, frame::kSamples> samples {};
};

bool measureLimit(int seconds, Run &run)
{
    SimProcess sim({ QStringLiteral("--no-pacing") });
    if (!sim.start())
        return false;
    const int fd = ::open(sim.portPath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    if (fd < 0)
        return false;
    termios t {};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    cfsetispeed(&t, B2500000);
    cfsetospeed(&t, B2500000);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 1; // wake now and then to look at the clock
    tcsetattr(fd, TCSANOW, &t);

    HostLoop host(fd);
    std::array<char, 4096> chunk {};
    long reads = 0;
    const auto pump = [&](std::chrono::steady_clock::time_point until) {
        while (std::chrono::steady_clock::now() < until) {
            ++reads;
            const ssize_t n = ::read(fd, chunk.data(), chunk.size());
            if (n > 0)
                host.take(chunk.data(), int(n));
        }
    };
    pump(std::chrono::steady_clock::now() + std::chrono::milliseconds(kWarmUpMs));
    const long frames0 = host.frames;
    const long reads0 = reads;
    const long writes0 = host.writes;
    const double cpu0 = bench::processCpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    pump(t0 + std::chrono::seconds(seconds));
    const double cpu = bench::processCpuSeconds() - cpu0;
    const double elapsed
        = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    ::close(fd);

    const double count = double(host.frames - frames0);
    if (count <= 0 || !host.sawSignal)
        return false;
    run.framesPerSecond = count / elapsed;
    run.cpuPerFrameUs = cpu * 1e6 / count;
    run.readsPerFrame = double(reads - reads0) / count;
    run.writesPerFrame = double(host.writes - writes0) / count;
    return true;
}

#endif

void printRun(const QString &name, const Run &run)
{
    bench::print(
        name + QStringLiteral(".frames_per_s"), run.framesPerSecond, QStringLiteral("frames/s"));
    bench::print(name + QStringLiteral(".cpu_per_frame"), run.cpuPerFrameUs, QStringLiteral("us"));
    bench::print(
        name + QStringLiteral(".reads_per_frame"), run.readsPerFrame, QStringLiteral("calls"));
    bench::print(
        name + QStringLiteral(".writes_per_frame"), run.writesPerFrame, QStringLiteral("calls"));
}

#ifdef LABBENCH_ONE_BYTE_PEER
Run medianOf(const std::vector<Run> &runs)
{
    std::vector<double> fps, cpu, reads, writes;
    for (const Run &r : runs) {
        fps.push_back(r.framesPerSecond);
        cpu.push_back(r.cpuPerFrameUs);
        reads.push_back(r.readsPerFrame);
        writes.push_back(r.writesPerFrame);
    }
    return Run { bench::median(fps), bench::median(cpu), bench::median(reads),
        bench::median(writes) };
}

// All three, round after round, then the medians and the ratios.
int compare(int seconds, int rounds)
{
    std::vector<Run> limits, workers, oneBytes;
    for (int round = 0; round < rounds; ++round) {
        Run limit, worker;
        if (!measureLimit(seconds, limit) || !measureWorker(seconds, worker)) {
            std::fprintf(stderr, "bench-link: no frames from the simulator\n");
            return 1;
        }
        const bench::Figures peer = bench::runChild(QStringLiteral(LABBENCH_ONE_BYTE_PEER),
            { QStringLiteral("--worker"), QStringLiteral("--seconds"), QString::number(seconds) },
            (seconds + 30) * 1000);
        if (peer.empty())
            return 1;
        limits.push_back(limit);
        workers.push_back(worker);
        oneBytes.push_back(Run { peer.at(QStringLiteral("link.worker.frames_per_s")).value,
            peer.at(QStringLiteral("link.worker.cpu_per_frame")).value,
            peer.at(QStringLiteral("link.worker.reads_per_frame")).value,
            peer.at(QStringLiteral("link.worker.writes_per_frame")).value });
    }
    const Run limit = medianOf(limits);
    const Run worker = medianOf(workers);
    const Run oneByte = medianOf(oneBytes);
    printRun(QStringLiteral("link.limit"), limit);
    printRun(QStringLiteral("link.worker"), worker);
    printRun(QStringLiteral("link.onebyte"), oneByte);
    bench::print(QStringLiteral("link.ratio.worker_over_limit"),
        worker.framesPerSecond / limit.framesPerSecond, QStringLiteral("(frames/s)"));
    bench::print(QStringLiteral("link.ratio.worker_over_onebyte"),
        worker.framesPerSecond / oneByte.framesPerSecond, QStringLiteral("(frames/s)"));
    bench::print(QStringLiteral("link.ratio.onebyte_cpu_over_worker_cpu"),
        oneByte.cpuPerFrameUs / worker.cpuPerFrameUs, QStringLiteral("(CPU per frame)"));
    return 0;
}
#endif

int intOption(const QStringList &args, const QString &name, int fallback)
{
    const int at = args.indexOf(name);
    return at >= 0 && at + 1 < args.size() ? args[at + 1].toInt() : fallback;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int seconds = std::max(1, intOption(args, QStringLiteral("--seconds"), 3));

    if (args.contains(QStringLiteral("--worker"))) {
        Run run;
        if (!measureWorker(seconds, run))
            return 1;
        printRun(QStringLiteral("link.worker"), run);
        return 0;
    }

#ifdef LABBENCH_ONE_BYTE_PEER
    return compare(seconds, std::max(1, intOption(args, QStringLiteral("--rounds"), 3)));
#else
    std::fprintf(stderr, "bench-link-onebyte measures only the worker: use --worker\n");
    return 2;
#endif
}
