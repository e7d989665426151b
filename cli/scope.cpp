// capture and measure: frames from the oscilloscope's acquisition, as tables
// or as the readouts' numbers.

#include "commands.h"
#include "measurements.h"
#include "output.h"
#include "progress.h"
#include "resultsteps.h"
#include "scoperequest.h"
#include "session.h"
#include "settingtexts.h"
#include "spectrum.h"
#include "tracetable.h"
#include "trigger.h"
#include "zorcom.h"

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
  --frames N         frames (pictures, with a trigger) to take (default 1)
  -o, --output FILE  write to FILE (it appears whole when done); - or none: stdout
  -h, --help         this text

Trigger options (the oscilloscope's controls, on channel 1):
  --trigger ----|Norm|Auto|Single   (default ---- : every frame)
  --edge Fall|Ris                   (default Fall)
  --detector LF|HF                  (default LF)
  --level VOLTS                     with its unit, as 1V, -250mV, 0.5V (default 0V);
                                    the device's nearest level step for channel 1's
                                    range (about 40 mV at 2.5V/dz), which the
                                    range also bounds (about +-20V at 2.5V/dz)
  --timeout SECONDS                 the longest wait for each picture (default 10)

Every frame the device sends is taken once, in order; if frames are ever lost
(the output could not keep up), how many is said on stderr and in the output.
)";

    constexpr const char *kCaptureUsage
        = R"(Usage: labbench-cli capture [options] [trigger options] [--format csv|json]

Takes frames from the device and writes them.
  csv:  "#" lines with the settings and the column names, then
        t_s,ch1_V[,ch2_V] per sample; with --frames above 1 a first column "frame".
        numpy.loadtxt(FILE, delimiter=",") reads it as it is.
  json: one object per frame per line: the settings and per channel
        {"raw": [samples], "volts": [...]}.
With a trigger only the frames it shows are taken, whole, and t_s counts from
the trigger sample (the "t0_sample" line, "t0_sample" in JSON); "Single" takes one.
)";

    constexpr const char *kMeasureUsage = R"(Usage: labbench-cli measure [options] [trigger options]

Per frame one JSON line with, per channel, rms_V, avg_V, vpp_V and freq_Hz as the
oscilloscope's readouts compute them over the trigger window (freq_Hz null without
two periods), and with one channel power_daB and thdn_pct as the analyzer's.
Frames the trigger does not show are skipped; "Single" ends after one.
  --format json      the only format
)";

    QByteArray usageOf(bool measure)
    {
        return QByteArray(measure ? kMeasureUsage : kCaptureUsage) + kScopeOptions;
    }

    const char *nameOf(bool measure)
    {
        return measure ? "measure" : "capture";
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

    QByteArray captureJson(const ScopeRequest &r, const Frame &frame, QByteArray opening)
    {
        QByteArray out = std::move(opening);
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

    // The oscilloscope's trigger over the frames as they come: whether a
    // frame gives a new picture, the picture's windows and where it starts.
    class Picture {
    public:
        explicit Picture(const ScopeRequest &r)
        {
            settings.level = r.trigLevel;
            settings.word = r.trigWord;
            settings.gain1 = r.gain1;
            settings.gain2 = r.gain2;
            settings.twoChannels = r.twoChannels;
        }

        bool take(const Frame &frame)
        {
            // "Auto" counts the window's 50 ms ticks since the last edge.
            const auto now = std::chrono::steady_clock::now();
            state.ticks += static_cast<int>((now - lastTick) / kTick);
            lastTick += (now - lastTick) / kTick * kTick;
            return osc::trigger(frame.data(), window1.data(), window2.data(), settings, state);
        }

        // The frame index of the picture's trigger sample (its centre).
        int origin() const { return state.pictureStart + osc::kWindowCentre; }
        bool holds() const { return osc::modeOf(settings.word) == osc::TrigMode::Single; }
        const int *channel1() const { return window1.data(); }
        const int *channel2() const { return window2.data(); }

    private:
        static constexpr auto kTick = std::chrono::milliseconds(50);

        osc::TriggerSettings settings;
        osc::TriggerState state;
        std::chrono::steady_clock::time_point lastTick = std::chrono::steady_clock::now();
        std::array<int, osc::kWindow> window1 {};
        std::array<int, osc::kWindow> window2 {};
    };

    // The readouts of a picture as measure's JSON line.
    class Measurer {
    public:
        explicit Measurer(const ScopeRequest &r)
            : request(r)
        {
        }

        QByteArray line(const Picture &picture, const Frame &frame, QByteArray settings)
        {
            QByteArray out = std::move(settings);
            channel(out, "ch1", picture.channel1(), request.gain1);
            if (request.twoChannels) {
                channel(out, "ch2", picture.channel2(), request.gain2);
            } else {
                const spectrum::Readouts r = spectrum::analyse(frame.data(), work);
                out += ",\"power_daB\":" + numberOrNull(r.powerDb);
                out += ",\"thdn_pct\":" + numberOrNull(r.thdnPercent);
            }
            out += "}\n";
            return out;
        }

    private:
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
        spectrum::Workspace work;
    };

    // The JSON object's opening for a frame: settings, and what the table
    // also says in "#" lines (frames lost before it, the trigger sample).
    QByteArray frameJson(const ScopeRequest &r, int frameNumber, const QDateTime &time,
        std::uint64_t lostBefore, int origin)
    {
        QByteArray out = settingsJson(r, frameNumber, time);
        if (lostBefore > 0)
            out += ",\"frames_lost_before\":" + QByteArray::number(qulonglong(lostBefore));
        if (r.triggered()) {
            out += ",\"trigger\":" + quoted(texts::kTrigModes[std::size_t(r.trigWord & 3)]);
            out += ",\"trigger_edge\":" + quoted(texts::kEdges[std::size_t((r.trigWord >> 2) & 1)]);
            out += ",\"trigger_detector\":"
                + quoted(texts::kDetectors[std::size_t((r.trigWord >> 3) & 1)]);
            out += ",\"trigger_level_V\":" + tracetable::number(osc::levelVolts(r.trigLevel, r.gain1));
        }
        if (origin >= 0)
            out += ",\"t0_sample\":" + QByteArray::number(origin);
        return out;
    }

    int run(const QStringList &args, bool measure)
    {
        const char *name = nameOf(measure);
        Options options;
        if (!options.parse(args, ScopeRequest::valued(), { QStringLiteral("help") }))
            return usageError(name, options.error());
        if (options.has(QStringLiteral("help")))
            return help(usageOf(measure));
        ScopeRequest request;
        QString error;
        if (!request.parse(options, error))
            return usageError(name, error);
        if (measure && request.json == false && options.has(QStringLiteral("format")))
            return usageError(name, QStringLiteral("measure writes json only, not \"%1\"")
                                        .arg(options.value(QStringLiteral("format"))));
        const QString port = request.line.described();

        Output output;
        Session session;
        int code = kOk;
        if (!openOutputAndLine(output, request.output, session, request.line, code))
            return code;

        switch (session.acquire(request.twoChannels, request.tbIndex, request.gain1, request.gain2)) {
        case Session::Served::Taken:
            break;
        case Session::Served::Lost:
            complain(QStringLiteral("%1: line lost").arg(port));
            code = kNoAnswer;
            break;
        case Session::Served::NotTaken:
            complain(QStringLiteral("%1: the device did not answer").arg(port));
            code = kNoAnswer;
            break;
        case Session::Served::Interrupted:
            code = kInterrupted;
            break;
        }
        Picture picture(request);
        Measurer measurer(request);
        Progress progress(request.frames);
        const std::chrono::milliseconds silence(request.silenceMs());
        const std::chrono::milliseconds pictureWait(request.pictureWaitMs());
        auto lastPicture = std::chrono::steady_clock::now();
        Frame frame {};
        QByteArray text;
        int taken = 0;
        std::uint64_t lost = 0;
        std::uint64_t lostBefore = 0; // since the last frame written
        while (code == kOk && taken < request.frames) {
            std::uint64_t skipped = 0;
            const Session::Next next = session.nextFrame(frame, silence, skipped);
            if (next != Session::Next::Frame)
                progress.end();
            if (next == Session::Next::Lost) {
                complain(
                    QStringLiteral("%1: line lost after %2 frames").arg(port).arg(taken));
                code = kNoAnswer;
            } else if (next == Session::Next::Silent) {
                complain(QStringLiteral("%1: no frames for %2 s (is the speed right?)")
                             .arg(port)
                             .arg(silence.count() / 1000));
                code = kNoAnswer;
            } else if (next == Session::Next::Interrupted) {
                code = kInterrupted;
            }
            if (code != kOk)
                break;
            lost += skipped;
            lostBefore += skipped;
            const auto now = std::chrono::steady_clock::now();
            const bool shown = (!measure && !request.triggered()) || picture.take(frame);
            if (!shown) {
                if (now - lastPicture > pictureWait) {
                    progress.end();
                    complain(QStringLiteral("%1: no trigger within %2 s")
                                 .arg(port, request.timeoutText));
                    code = kNoAnswer;
                }
                continue;
            }
            lastPicture = now;
            const QDateTime time = QDateTime::currentDateTime();
            const int origin = request.triggered() ? picture.origin() : -1;
            if (measure) {
                text = measurer.line(picture, frame, frameJson(request, taken, time, lostBefore, -1));
            } else if (request.json) {
                text = captureJson(request, frame, frameJson(request, taken, time, lostBefore, origin));
            } else {
                tracetable::ScopeFrame f { frame.data(), request.tbIndex, request.gain1,
                    request.gain2, request.twoChannels, time };
                f.hasTrigger = true;
                f.trigWord = request.trigWord;
                f.trigLevel = request.trigLevel;
                f.origin = origin;
                text = taken == 0 ? tracetable::scopeHeader(f, request.line.port, request.frames > 1)
                                  : QByteArray();
                if (lostBefore > 0)
                    text += "# frames_lost: " + QByteArray::number(qulonglong(lostBefore)) + '\n';
                tracetable::appendScopeRows(text, f, request.frames > 1 ? taken : -1);
            }
            lostBefore = 0;
            output.write(text);
            ++taken;
            progress.update(taken);
            if (request.triggered() && picture.holds())
                break;
        }
        session.close();
        if (lost > 0) {
            progress.end();
            complain(QStringLiteral("%1: %2 frames lost: the output could not keep up")
                         .arg(port)
                         .arg(qulonglong(lost)));
        }
        if (taken == 0 && code != kOk) {
            output.discard();
            return code;
        }
        return finishOutput(output, request.output, code);
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
