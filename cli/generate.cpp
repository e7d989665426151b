// generate: the generator's table and clock, computed by the generator's own
// arithmetic, played for a while or until Ctrl+C.

#include "commands.h"
#include "interrupt.h"
#include "options.h"
#include "scoperequest.h"
#include "session.h"
#include "synthesis.h"
#include "zorcom.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace commands {

namespace {

    constexpr const char *kUsage
        = R"(Usage: labbench-cli generate --wave sine|square|triangle [options]

Uploads the wave's table and clock to the device's generator and keeps it
playing for --seconds, or until Ctrl+C. The line is then closed and the device
goes on playing, as after "Close port" in the window.

Options:
  --wave W           sine, square or triangle
  --freq HZ          1 .. 500000 (default 1000); the device plays the nearest it can
  --amplitude MV     peak, 0 .. 1250 (default 1250)
  --offset MV        -1200 .. 1200 (default 0); with the amplitude clipped at +-1250 mV
  --duty PCT         where the square falls and the triangle peaks, 1 .. 99 (default 50)
  --seconds S        how long to play (default: until Ctrl+C)
  --port P           serial port (default: the port in ./settings.txt)
  --speed S          line speed in bit/s (default: the speed in ./settings.txt)
  --help             this text
)";

    constexpr auto kPollSlice = std::chrono::milliseconds(50);

    bool numberIn(const QString &text, int low, int high, int &value)
    {
        bool ok = false;
        value = text.toInt(&ok);
        return ok && value >= low && value <= high;
    }

} // namespace

int generate(const QStringList &args)
{
    Options o;
    const QStringList valued { QStringLiteral("wave"), QStringLiteral("freq"),
        QStringLiteral("amplitude"), QStringLiteral("offset"), QStringLiteral("duty"),
        QStringLiteral("seconds"), QStringLiteral("port"), QStringLiteral("speed") };
    if (!o.parse(args, valued, { QStringLiteral("help") }))
        return usageError(kUsage, o.error());
    if (o.has(QStringLiteral("help"))) {
        std::fputs(kUsage, stdout);
        return kOk;
    }

    const QString wave = o.value(QStringLiteral("wave"));
    synthesis::Waveform type = synthesis::Waveform::Sine;
    if (wave == QLatin1String("square"))
        type = synthesis::Waveform::Square;
    else if (wave == QLatin1String("triangle"))
        type = synthesis::Waveform::Triangle;
    else if (wave != QLatin1String("sine"))
        return usageError(kUsage,
            wave.isEmpty() ? QStringLiteral("--wave is needed")
                           : QStringLiteral("unknown wave \"%1\"").arg(wave));
    int hz = 0, amplitude = 0, offset = 0, duty = 0;
    if (!numberIn(o.value(QStringLiteral("freq"), QStringLiteral("1000")), synthesis::kLowestHz,
            synthesis::kHighestHz, hz))
        return usageError(kUsage, QStringLiteral("--freq takes 1 .. 500000"));
    if (!numberIn(o.value(QStringLiteral("amplitude"), QStringLiteral("1250")), 0, 1250, amplitude))
        return usageError(kUsage, QStringLiteral("--amplitude takes 0 .. 1250"));
    if (!numberIn(o.value(QStringLiteral("offset"), QStringLiteral("0")), -1200, 1200, offset))
        return usageError(kUsage, QStringLiteral("--offset takes -1200 .. 1200"));
    if (!numberIn(o.value(QStringLiteral("duty"), QStringLiteral("50")), 1, 99, duty))
        return usageError(kUsage, QStringLiteral("--duty takes 1 .. 99"));
    double seconds = 0;
    if (o.has(QStringLiteral("seconds"))) {
        bool ok = false;
        seconds = o.value(QStringLiteral("seconds")).toDouble(&ok);
        if (!ok || !(seconds > 0))
            return usageError(kUsage, QStringLiteral("--seconds takes a positive number"));
    }
    QString port;
    int speed = 0;
    QString error;
    if (!lineFromOptions(o, port, speed, error))
        return usageError(kUsage, error);

    Session session;
    QString reason;
    if (!session.open(port, speed, reason)) {
        complain(QStringLiteral("Unable to open %1: %2").arg(port, reason));
        return kCannotOpen;
    }

    // As the generator tab does on entry: generator mode, clock, table.
    const synthesis::SampleClock clock = synthesis::sampleClock(hz);
    const synthesis::Shape shape
        = synthesis::shapeOf(clock.tab, int(type), amplitude, duty, offset);
    session.table().edit([&](int *entries) { synthesis::synthesize(entries, shape); });
    ZORCom &link = session.link();
    link.genStart();
    link.setFreq(clock.period, clock.tab);
    link.sendGenChannel();
    if (!link.waitServed(kServeTimeoutMs)) {
        complain(link.lineLost()
                ? QStringLiteral("%1: line lost").arg(port)
                : QStringLiteral("%1: the device did not take the table").arg(port));
        return kLineLost;
    }
    std::fprintf(stderr, "labbench-cli: playing %s at %.3f Hz (table %d, period %d)\n",
        qPrintable(wave), double(synthesis::kDeviceClockHz) / (double(clock.tab) * clock.period),
        clock.tab, clock.period);

    const auto end = std::chrono::steady_clock::now()
        + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(seconds));
    while (!interrupt::requested() && (seconds == 0 || std::chrono::steady_clock::now() < end)) {
        if (link.lineLost()) {
            complain(QStringLiteral("%1: line lost").arg(port));
            return kLineLost;
        }
        std::this_thread::sleep_for(kPollSlice);
    }
    session.close();
    return kOk;
}

} // namespace commands
