// capture and measure: frames from the oscilloscope's acquisition, as tables
// or as the readouts' numbers.

#include "commands.h"
#include "measurements.h"
#include "output.h"
#include "progress.h"
#include "scoperequest.h"
#include "session.h"
#include "settingtexts.h"
#include "spectrum.h"
#include "tracetable.h"
#include "trigger.h"

#include <QDateTime>

#include <chrono>
#include <cmath>
#include <functional>

namespace commands {

namespace {

    constexpr const char *kScopeOptions = R"(
Options:
  --port P           serial port (default: the port in ./settings.txt, as the window reads it)
  --speed S          line speed in bit/s (default: the speed in ./settings.txt)
  --channels 1|2     one channel (1024 samples a frame) or two (512 each); default 1
  --timebase TEXT    50ms/dz 20ms/dz 10ms/dz 5ms/dz 2ms/dz 1ms/dz 500us/dz 200us/dz
                     100us/dz 50us/dz 20us/dz; with one channel also 10us/dz 8us/dz
                     5us/dz 2us/dz (default 200us/dz)
  --gain TEXT[,TEXT] channel 1 (and 2) range: 2.5V/dz 1V/dz 500mV/dz 250mV/dz 100mV/dz
                     50mV/dz 25mV/dz; one text sets both (default 2.5V/dz)
  --frames N         good frames to take (default 1)
  -o, --output FILE  write to FILE (it appears whole when done) instead of stdout
  --help             this text
)";

    constexpr const char *kCaptureUsage
        = R"(Usage: labbench-cli capture [options] [--format csv|json]

Takes good frames from the device and writes them.
  csv:  "#" lines with the settings and the column names, then
        t_s,ch1_V[,ch2_V] per sample; with --frames above 1 a first column "frame".
        numpy.loadtxt(FILE, delimiter=",") reads it as it is.
  json: one object per frame per line: the settings and per channel
        {"raw": [samples], "volts": [...]}.
)";

    constexpr const char *kMeasureUsage = R"(Usage: labbench-cli measure [options] [trigger options]

Per frame one JSON line with, per channel, rms_V, avg_V, vpp_V and freq_Hz as the
oscilloscope's readouts compute them over the trigger window (freq_Hz null without
two periods), and with one channel power_daB and thdn_pct as the analyzer's.
Frames the trigger does not show are skipped; "Single" ends after one.
Trigger options (the oscilloscope's controls):
  --trigger ----|Norm|Auto|Single   (default ----)
  --edge Fall|Ris                   (default Fall)
  --detector LF|HF                  (default LF)
  --level MV                        level box value, -2000mV .. 2000mV (default 0)
  --format json                     the only format
)";

    QByteArray usageOf(bool measure)
    {
        return QByteArray(measure ? kMeasureUsage : kCaptureUsage) + kScopeOptions;
    }

    QByteArray quoted(const char *text)
    {
        return '"' + QByteArray(text) + '"';
    }

    QByteArray numberOrNull(double x)
    {
        return std::isfinite(x) ? tracetable::number(x) : QByteArrayLiteral("null");
    }

    QByteArray settingsJson(const ScopeRequest &r, int frameNumber, const QDateTime &time)
    {
        QByteArray out = "{\"frame\":" + QByteArray::number(frameNumber);
        out += ",\"time\":\"" + tracetable::timeText(time) + '"';
        out += ",\"channels\":" + QByteArray::number(r.twoChannels ? 2 : 1);
        out += ",\"timebase\":"
            + quoted(texts::kTimeBases[std::size_t(texts::kSlowestTimeBase - r.tbIndex)]);
        out += ",\"sample_period_s\":" + tracetable::number(osc::samplePeriodSeconds(r.tbIndex));
        return out;
    }

    QByteArray captureJson(
        const ScopeRequest &r, const Frame &frame, int frameNumber, const QDateTime &time)
    {
        QByteArray out = settingsJson(r, frameNumber, time);
        const int count = r.twoChannels ? osc::kChannel2Start : osc::kFrame;
        for (int channel = 0; channel < (r.twoChannels ? 2 : 1); ++channel) {
            const int gain = channel == 0 ? r.gain1 : r.gain2;
            const int *raw = frame.data() + channel * osc::kChannel2Start;
            out += channel == 0 ? ",\"ch1\":{" : ",\"ch2\":{";
            out += "\"gain\":" + quoted(texts::kGains[std::size_t(gain)]) + ",\"raw\":[";
            for (int i = 0; i < count; ++i) {
                if (i > 0)
                    out += ',';
                out += QByteArray::number(raw[i]);
            }
            out += "],\"volts\":[";
            for (int i = 0; i < count; ++i) {
                if (i > 0)
                    out += ',';
                out += tracetable::number(osc::rawToVolts(raw[i], gain));
            }
            out += "]}";
        }
        out += "}\n";
        return out;
    }

    // The oscilloscope's picture of a frame and its readouts; false when the
    // trigger gives no new picture for it.
    class Measurer {
    public:
        explicit Measurer(const ScopeRequest &r)
            : request(r)
        {
            settings.level = r.trigLevel;
            settings.word = r.trigWord;
            settings.gain1 = r.gain1;
            settings.gain2 = r.gain2;
            settings.twoChannels = r.twoChannels;
        }

        bool measure(const Frame &frame, int frameNumber, const QDateTime &time, QByteArray &out)
        {
            // "Auto" counts the window's 50 ms ticks since the last edge.
            const auto now = std::chrono::steady_clock::now();
            state.ticks += static_cast<int>((now - lastTick) / kTick);
            lastTick += (now - lastTick) / kTick * kTick;
            if (!osc::trigger(frame.data(), window1.data(), window2.data(), settings, state))
                return false;

            out = settingsJson(request, frameNumber, time);
            channel(out, "ch1", window1.data(), request.gain1);
            if (request.twoChannels) {
                channel(out, "ch2", window2.data(), request.gain2);
            } else {
                const spectrum::Readouts r = spectrum::analyse(frame.data(), work);
                out += ",\"power_daB\":" + numberOrNull(r.powerDb);
                out += ",\"thdn_pct\":" + numberOrNull(r.thdnPercent);
            }
            out += "}\n";
            return true;
        }

        bool holds() const { return osc::modeOf(settings.word) == osc::TrigMode::Single; }

    private:
        static constexpr auto kTick = std::chrono::milliseconds(50);

        void channel(QByteArray &out, const char *name, const int *w, int gain) const
        {
            const int n = osc::kWindow;
            const auto hz = osc::frequencyHz(w, n, request.tbIndex);
            out += ",\"" + QByteArray(name)
                + "\":{\"gain\":" + quoted(texts::kGains[std::size_t(gain)]);
            out += ",\"rms_V\":" + tracetable::number(osc::rmsMillivolts(w, n, gain) / 1000);
            out += ",\"avg_V\":" + tracetable::number(osc::avgMillivolts(w, n, gain) / 1000);
            out += ",\"vpp_V\":" + tracetable::number(osc::vppMillivolts(w, n, gain) / 1000);
            out += ",\"freq_Hz\":" + (hz ? numberOrNull(*hz) : QByteArrayLiteral("null")) + '}';
        }

        const ScopeRequest &request;
        osc::TriggerSettings settings;
        osc::TriggerState state;
        std::chrono::steady_clock::time_point lastTick = std::chrono::steady_clock::now();
        std::array<int, osc::kWindow> window1 {};
        std::array<int, osc::kWindow> window2 {};
        spectrum::Workspace work;
    };

    int run(const QStringList &args, bool measure)
    {
        const QByteArray usage = usageOf(measure);
        Options options;
        if (!options.parse(args, ScopeRequest::valued(measure), { QStringLiteral("help") }))
            return usageError(usage, options.error());
        if (options.has(QStringLiteral("help"))) {
            std::fputs(usage.constData(), stdout);
            return kOk;
        }
        ScopeRequest request;
        QString error;
        if (!request.parse(options, measure, error))
            return usageError(usage, error);
        if (measure && !request.json && options.has(QStringLiteral("format")))
            return usageError(usage, QStringLiteral("measure writes json only"));

        Output output;
        QString reason;
        if (!output.open(request.output, reason)) {
            complain(QStringLiteral("cannot write %1: %2").arg(request.output, reason));
            return kFailed;
        }
        Session session;
        if (!session.open(request.port, request.speed, reason)) {
            complain(QStringLiteral("Unable to open %1: %2").arg(request.port, reason));
            return kCannotOpen;
        }

        int code = kOk;
        if (!session.acquire(request.twoChannels, request.tbIndex, request.gain1, request.gain2)) {
            complain(QStringLiteral("%1: the device did not answer").arg(request.port));
            code = kLineLost;
        }
        Measurer measurer(request);
        Progress progress(request.frames);
        const std::chrono::milliseconds silence(request.silenceMs());
        Frame frame {};
        QByteArray text;
        int taken = 0;
        while (code == kOk && taken < request.frames) {
            const Session::Next next = session.nextFrame(frame, silence);
            if (next != Session::Next::Frame)
                progress.end();
            if (next == Session::Next::Lost) {
                complain(
                    QStringLiteral("%1: line lost after %2 frames").arg(request.port).arg(taken));
                code = kLineLost;
            } else if (next == Session::Next::Silent) {
                complain(QStringLiteral("%1: no frames for %2 s (is the speed right?)")
                             .arg(request.port)
                             .arg(silence.count() / 1000));
                code = kLineLost;
            } else if (next == Session::Next::Interrupted) {
                code = kInterrupted;
            }
            if (code != kOk)
                break;
            const QDateTime time = QDateTime::currentDateTime();
            if (measure) {
                if (!measurer.measure(frame, taken, time, text))
                    continue;
            } else if (request.json) {
                text = captureJson(request, frame, taken, time);
            } else {
                const tracetable::ScopeFrame f { frame.data(), request.tbIndex, request.gain1,
                    request.gain2, request.twoChannels, time };
                text = taken == 0 ? tracetable::scopeHeader(f, request.port, request.frames > 1)
                                  : QByteArray();
                tracetable::appendScopeRows(text, f, request.frames > 1 ? taken : -1);
            }
            output.write(text);
            ++taken;
            progress.update(taken);
            if (measure && measurer.holds())
                break;
        }
        session.close();
        if (taken == 0 && code != kOk) {
            output.discard();
            return code;
        }
        if (!output.finish(reason)) {
            complain(QStringLiteral("cannot write %1: %2")
                         .arg(request.output.isEmpty() ? QStringLiteral("the output") : request.output,
                             reason.isEmpty() ? QStringLiteral("write error") : reason));
            return code == kOk ? kFailed : code;
        }
        return code;
    }

} // namespace

int capture(const QStringList &args)
{
    return run(args, false);
}

int measure(const QStringList &args)
{
    return run(args, true);
}

} // namespace commands
