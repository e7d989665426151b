// sweep: a circuit's frequency response, the generator swept over it and
// both channels measured, as the window's Wobuloskop does it.

#include "commands.h"
#include "interrupt.h"
#include "output.h"
#include "progress.h"
#include "resultsteps.h"
#include "session.h"
#include "sweeprequest.h"
#include "sweeprun.h"
#include "sweeptable.h"

#include <QDateTime>

namespace commands {

namespace {

    constexpr const char *kUsage = R"(Usage: labbench-cli sweep [options]

Sweeps the generator's sine over a circuit and writes its frequency response:
gain and phase of CH1 against CH2 at each played frequency. Wire the
generator to the circuit's input and to CH2, the circuit's output to CH1.
The generator plays on while the device acquires.

Options:
  --from F           start frequency, bare in Hz or with k or M: 100, 2.5k (default 100)
  --to F             stop frequency, up to 500k (default 100k)
  --per-decade N     log steps per decade, 1 .. 100 (default 10)
  --points N         or a number of log steps in all, 2 .. 2000
  --amplitude V      the generator's peak, with its unit: 1V, 500mV (default 1V)
  --format csv|json  csv: "#" lines with the settings, the passband and each -3 dB
                     frequency (f_3dB_Hz), then f_Hz,gain_dB,phase_deg,ch1_V,ch2_V,
                     range1,range2,time_base,reason per step in rising frequency;
                     json: one object per step per line, the same keys (default csv)
  -o, --output FILE  write to FILE (it appears whole when done); - or none: stdout
  --port P           serial port (default: the port in ./settings.txt)
  --speed S          line speed in bit/s (default: the speed in ./settings.txt)
  -h, --help         this text

A step the device cannot measure (CH2 over range or silent, CH1 over range or
below the noise) has empty gain and phase and its reason. The generator is
left playing the last step's sine.
)";

} // namespace

int sweep(const QStringList &args)
{
    Options options;
    if (!options.parse(args, SweepRequest::valued(), { QStringLiteral("help") }))
        return usageError("sweep", options.error());
    if (options.has(QStringLiteral("help")))
        return help(kUsage);
    SweepRequest request;
    QString error;
    if (!request.parse(options, error))
        return usageError("sweep", error);
    const QString port = request.line.described();

    Output output;
    Session session;
    int code = kOk;
    if (!openOutputAndLine(output, request.output, session, request.line, code))
        return code;

    const QDateTime started = QDateTime::currentDateTime();
    std::vector<sweep::Point> points;
    Progress progress(int(sweep::steps(request.plan).size()), "step");
    SweepRun run(session.link(), session.buffer(), session.table(), request.line.speed);
    const SweepRun::End end = run.run(
        request.plan,
        [&](const sweep::Point &point, int index, int) {
            points.push_back(point);
            if (request.json)
                output.write(sweeptable::jsonLine(point) + '\n');
            progress.update(index + 1);
        },
        interrupt::requested);
    session.close();
    progress.end();

    switch (end) {
    case SweepRun::End::Done:
        break;
    case SweepRun::End::Stopped:
        code = kInterrupted;
        break;
    case SweepRun::End::Lost:
        complain(QStringLiteral("%1: line lost after %2 steps").arg(port).arg(points.size()));
        code = kNoAnswer;
        break;
    case SweepRun::End::NotTaken:
        complain(QStringLiteral("%1: the device did not take the settings").arg(port));
        code = kNoAnswer;
        break;
    case SweepRun::End::Silent:
        complain(QStringLiteral("%1: no frames from the device").arg(port));
        code = kNoAnswer;
        break;
    }
    if (points.empty() && code != kOk) {
        output.discard();
        return code;
    }
    if (!request.json)
        output.write(sweeptable::csv(points, request.plan, request.line.port, started));
    return finishOutput(output, request.output, code);
}

} // namespace commands
