// generate: the generator's table and clock, computed by the generator's own
// arithmetic, played for a while or until Ctrl+C.

#include "commands.h"
#include "interrupt.h"
#include "options.h"
#include "scoperequest.h"
#include "session.h"
#include "sweeptable.h"
#include "synthesis.h"
#include "zorcom.h"

#include <chrono>
#include <cstdio>
#include <limits>
#include <thread>

namespace commands {

namespace {

    constexpr const char *kUsage
        = R"(Usage: labbench-cli generate --wave sine|square|triangle [options]

Uploads the wave's table and clock to the device's generator and keeps it
playing for --seconds (exit 0), or until Ctrl+C (exit 130). The line is then
closed and the device goes on playing, as after "Close port" in the window.

Options:
  --wave W           sine, square or triangle
  --freq HZ          1 .. 500000, fractions too (default 1000); the device plays
                     the nearest it can, printed on stderr
  --amplitude A      peak: 0 .. 1250 (millivolts) or with its unit, 1V, 500mV
                     (default 1250)
  --offset MV        -1200 .. 1200 (default 0); with the amplitude clipped at +-1250 mV
  --duty PCT         where the square falls and the triangle peaks, 1 .. 99 (default 50)
  --seconds S        how long to play (default, and inf: until Ctrl+C)
  --port P           serial port (default: the port in ./settings.txt)
  --speed S          line speed in bit/s (default: the speed in ./settings.txt)
  -h, --help         this text
)";

    constexpr auto kPollSlice = std::chrono::milliseconds(50);

    bool numberIn(const QString &text, int low, int high, int &value)
    {
        bool ok = false;
        value = text.toInt(&ok);
        return ok && value >= low && value <= high;
    }

    QString given(const Options &o, const char *name, const char *fallback)
    {
        return o.value(QLatin1String(name), QLatin1String(fallback));
    }

} // namespace

int generate(const QStringList &args)
{
    Options o;
    const QStringList valued { QStringLiteral("wave"), QStringLiteral("freq"),
        QStringLiteral("amplitude"), QStringLiteral("offset"), QStringLiteral("duty"),
        QStringLiteral("seconds"), QStringLiteral("port"), QStringLiteral("speed") };
    if (!o.parse(args, valued, { QStringLiteral("help") }))
        return usageError("generate", o.error());
    if (o.has(QStringLiteral("help")))
        return help(kUsage);

    const QString wave = o.value(QStringLiteral("wave"));
    synthesis::Waveform type = synthesis::Waveform::Sine;
    if (wave == QLatin1String("square"))
        type = synthesis::Waveform::Square;
    else if (wave == QLatin1String("triangle"))
        type = synthesis::Waveform::Triangle;
    else if (wave != QLatin1String("sine"))
        return usageError("generate",
            wave.isEmpty() ? QStringLiteral("--wave is needed: sine, square or triangle")
                           : QStringLiteral("unknown wave \"%1\"; valid: sine square triangle")
                                 .arg(wave));
    int amplitude = 0, offset = 0, duty = 0;
    bool ok = false;
    const double hz = given(o, "freq", "1000").toDouble(&ok);
    if (!ok || !(hz >= synthesis::kLowestHz && hz <= synthesis::kHighestHz))
        return usageError("generate",
            QStringLiteral("--freq takes 1 .. 500000 Hz, not \"%1\"").arg(given(o, "freq", "")));
    const std::optional<int> peak = sweeptable::millivoltsFromText(given(o, "amplitude", "1250"), true);
    amplitude = peak.value_or(-1);
    if (amplitude < 0 || amplitude > 1250)
        return usageError("generate",
            QStringLiteral("--amplitude takes 0 .. 1250 mV (a bare number) or 0V .. 1.25V, not \"%1\"")
                .arg(given(o, "amplitude", "")));
    if (!numberIn(given(o, "offset", "0"), -1200, 1200, offset))
        return usageError("generate",
            QStringLiteral("--offset takes -1200 .. 1200 mV, not \"%1\"").arg(given(o, "offset", "")));
    if (!numberIn(given(o, "duty", "50"), 1, 99, duty))
        return usageError("generate",
            QStringLiteral("--duty takes 1 .. 99 %, not \"%1\"").arg(given(o, "duty", "")));
    // No --seconds is inf: until Ctrl+C. The time played is counted in
    // double seconds, where 1e10 or inf cannot overflow.
    double seconds = std::numeric_limits<double>::infinity();
    if (o.has(QStringLiteral("seconds"))) {
        seconds = o.value(QStringLiteral("seconds")).toDouble(&ok);
        if (!ok || !(seconds > 0))
            return usageError("generate",
                QStringLiteral("--seconds takes a number above 0 (inf: until Ctrl+C), not \"%1\"")
                    .arg(o.value(QStringLiteral("seconds"))));
    }
    LineChoice line;
    QString error;
    if (!lineFromOptions(o, line, error))
        return usageError("generate", error);
    const QString port = line.described();

    Session session;
    QString reason;
    if (!session.open(line.port, line.speed, reason)) {
        complain(QStringLiteral("Unable to open %1: %2").arg(port, reason));
        return kCannotOpen;
    }

    // As the generator tab does on entry: generator mode, clock, table.
    const synthesis::SampleClock clock = synthesis::sampleClockAt(hz);
    const synthesis::Shape shape
        = synthesis::shapeOf(clock.tab, int(type), amplitude, duty, offset);
    session.table().edit([&](int *entries) { synthesis::synthesize(entries, shape); });
    ZORCom &link = session.link();
    link.genStart();
    link.setFreq(clock.period, clock.tab);
    link.sendGenChannel();
    switch (session.waitServed()) {
    case Session::Served::Taken:
        break;
    case Session::Served::Lost:
        complain(QStringLiteral("%1: line lost").arg(port));
        return kNoAnswer;
    case Session::Served::NotTaken:
        complain(QStringLiteral("%1: the device did not take the table").arg(port));
        return kNoAnswer;
    case Session::Served::Interrupted:
        return kInterrupted;
    }
    std::fprintf(stderr, "labbench-cli: playing %s at %.3f Hz (table %d, period %d)\n",
        qPrintable(wave), synthesis::playedHz(clock).value_or(0.0), clock.tab, clock.period);

    const auto start = std::chrono::steady_clock::now();
    const std::chrono::duration<double> playing(seconds);
    while (!interrupt::requested() && std::chrono::steady_clock::now() - start < playing) {
        if (link.lineLost()) {
            complain(QStringLiteral("%1: line lost").arg(port));
            return kNoAnswer;
        }
        std::this_thread::sleep_for(kPollSlice);
    }
    session.close();
    return interrupt::requested() ? kInterrupted : kOk;
}

} // namespace commands
