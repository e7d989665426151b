// log: the multimeter's readings into a CSV (or JSON lines) log, one line per
// interval, written and synced as each interval ends, for hours.

#include "commands.h"
#include "interrupt.h"
#include "linetiming.h"
#include "logrequest.h"
#include "meterdriver.h"
#include "recorder.h"
#include "session.h"

#include <QThread>

#include <chrono>
#include <memory>

namespace commands {

namespace {

    constexpr const char *kLogUsage = R"(Usage: labbench-cli log [options]

Records the multimeter's readings, as the window's "Multimetr" tab records
them: per interval one line with the local time (ISO 8601, milliseconds), the
seconds since the start, the frames read, and per channel DC, AC RMS,
frequency and peak to peak, each the mean over the interval with its minimum
and maximum; a last column "note" (over range, gaps). "#" lines at the top give
the settings and the port. Every line is written whole and synced as its
interval ends: a kill loses at most the interval in progress.
An unplugged or silent device is a "gap" line; the log goes on in the same
file when it comes back.

Options:
  --port P           serial port (default: the port in ./settings.txt)
  --speed S          line speed in bit/s (default: the speed in ./settings.txt)
  --every T          the interval: frame (every frame), or a time as 1s 10s 1min
                     (default 1s)
  --duration T       how long to record, as 30s 10min 10h (default: until Ctrl+C)
  --channels 1|2     one channel or two (default 1)
  --range R[,R]      auto, or a fixed range: 2.5V/dz 1V/dz 500mV/dz 250mV/dz
                     100mV/dz 50mV/dz 25mV/dz; one text sets both (default auto)
  --format csv|json  CSV (default) or one JSON object per line
  --timeout T        how long a lost or silent device may take to come back
                     before the run ends with status 4 (default 60s)
  -o, --output FILE  write to FILE as it goes (an old one is replaced); - or
                     none: stdout
  -h, --help         this text
)";

    constexpr auto kReopenEvery = std::chrono::milliseconds(250);

    using Clock = Recorder::Clock;

    class Logger {
    public:
        explicit Logger(const LogRequest &r)
            : request(r)
            , driver(r.line.speed, 0)
            , recorder(r.json ? Recorder::Format::Json : Recorder::Format::Csv)
        {
            driver.configure(r.twoChannels, r.gain);
        }

        int run()
        {
            const QString port = request.line.described();
            QString reason;
            session = std::make_unique<Session>();
            if (!session->open(request.line.port, request.line.speed, reason)) {
                complain(QStringLiteral("Unable to open %1: %2").arg(port, reason));
                return kCannotOpen;
            }
            Recorder::Header header;
            header.port = request.line.port;
            header.speed = request.line.speed;
            header.twoChannels = request.twoChannels;
            header.range = request.rangeText;
            header.intervalMs = request.everyMs;
            const Clock::time_point start = Clock::now();
            const QString path = request.output.isEmpty() ? QStringLiteral("-") : request.output;
            if (!recorder.start(path, header, start)) {
                complain(QStringLiteral("cannot write %1: %2").arg(path, recorder.error()));
                return kFailed;
            }
            const bool timed = request.durationMs > 0;
            const Clock::time_point end = start + std::chrono::milliseconds(request.durationMs);
            int code = send();
            Clock::time_point quietSince = Clock::now();
            Frame frame {};
            while (code == kOk) {
                const Clock::time_point now = Clock::now();
                if (timed && now >= end)
                    break;
                if (!recorder.tick(now))
                    return failed();
                const auto silence = std::chrono::milliseconds(
                    linetiming::silenceMs(driver.request().tbIndex, request.line.speed));
                std::uint64_t skipped = 0;
                // Short waits, so that an interval with no frame still ends on time.
                const auto wait = std::min<std::chrono::milliseconds>(
                    silence, std::chrono::milliseconds(std::max(request.everyMs, 250)));
                switch (session->nextFrame(frame, wait, skipped)) {
                case Session::Next::Frame:
                    lost += skipped;
                    quietSince = Clock::now();
                    if (driver.take(frame.data()) && !recorder.add(driver, Clock::now()))
                        return failed();
                    if (driver.takeChange())
                        code = send();
                    break;
                case Session::Next::Silent:
                    if (Clock::now() - quietSince < silence)
                        break;
                    if (!recorder.gap(QStringLiteral("no frames from the device"), Clock::now()))
                        return failed();
                    if (Clock::now() - quietSince > std::chrono::milliseconds(request.timeoutMs)) {
                        complain(
                            QStringLiteral("%1: no frames for %2").arg(port, request.timeoutText));
                        code = kNoAnswer;
                    }
                    break;
                case Session::Next::Lost:
                    if (!recorder.gap(QStringLiteral("line lost"), Clock::now()))
                        return failed();
                    code = comeBack(port);
                    quietSince = Clock::now();
                    break;
                case Session::Next::Interrupted:
                    code = kInterrupted;
                    break;
                }
            }
            session->close();
            if (lost > 0) {
                complain(QStringLiteral("%1: %2 frames lost: the log could not keep up")
                             .arg(port)
                             .arg(qulonglong(lost)));
            }
            if (!recorder.finish(Clock::now()))
                return failed();
            return code;
        }

    private:
        // The device takes the driver's request before any frame is read again.
        int send()
        {
            const MeterDriver::Request r = driver.request();
            switch (session->acquire(r.twoChannels, r.tbIndex, r.gain[0], r.gain[1])) {
            case Session::Served::Taken:
                driver.sent();
                return kOk;
            case Session::Served::Interrupted:
                return kInterrupted;
            case Session::Served::Lost:
            case Session::Served::NotTaken:
                // The next frame wait sees the lost line or the silence.
                driver.sent();
                return kOk;
            }
            return kOk;
        }

        // The port went away: a new link once its name is back, within --timeout.
        int comeBack(const QString &port)
        {
            session->close();
            const Clock::time_point deadline
                = Clock::now() + std::chrono::milliseconds(request.timeoutMs);
            while (Clock::now() < deadline) {
                if (interrupt::requested())
                    return kInterrupted;
                auto fresh = std::make_unique<Session>();
                QString reason;
                if (fresh->open(request.line.port, request.line.speed, reason)) {
                    session = std::move(fresh);
                    return send();
                }
                QThread::msleep(static_cast<unsigned long>(kReopenEvery.count()));
            }
            complain(QStringLiteral("%1: line lost and not back within %2")
                         .arg(port, request.timeoutText));
            return kNoAnswer;
        }

        int failed()
        {
            complain(QStringLiteral("cannot write %1: %2").arg(recorder.path(), recorder.error()));
            session->close();
            return kFailed;
        }

        const LogRequest &request;
        MeterDriver driver;
        Recorder recorder;
        std::unique_ptr<Session> session;
        std::uint64_t lost = 0; // frames the device sent that were never read
    };

} // namespace

int log(const QStringList &args)
{
    Options options;
    if (!options.parse(args, LogRequest::valued(), { QStringLiteral("help") }))
        return usageError("log", options.error());
    if (options.has(QStringLiteral("help")))
        return help(kLogUsage);
    LogRequest request;
    QString error;
    if (!request.parse(options, error))
        return usageError("log", error);
    Logger logger(request);
    return logger.run();
}

} // namespace commands
