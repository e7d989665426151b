#include "recorder.h"

#include "tracetable.h"

#include <cmath>

namespace {

constexpr std::array<const char *, meter::kQuantities> kNames { "dc_V", "ac_rms_V", "freq_Hz",
    "vpp_V" };

QByteArray number(double x)
{
    return tracetable::number(x);
}

} // namespace

QString Recorder::intervalText(int intervalMs)
{
    if (intervalMs <= 0)
        return QStringLiteral("every frame");
    if (intervalMs % 60000 == 0)
        return QStringLiteral("%1 min").arg(intervalMs / 60000);
    return QStringLiteral("%1 s").arg(intervalMs / 1000.0);
}

Recorder::Recorder(Format f)
    : format(f)
{
}

QByteArray Recorder::columns(bool twoChannels)
{
    QByteArray out = "time,seconds,frames";
    for (int c = 0; c < (twoChannels ? 2 : 1); ++c) {
        const QByteArray ch = "ch" + QByteArray::number(c + 1) + '_';
        for (const char *name : kNames) {
            out += ',' + ch + name + ',' + ch + name + "_min," + ch + name + "_max";
        }
    }
    out += ",note";
    return out;
}

bool Recorder::start(const QString &path, const Header &header, Clock::time_point now)
{
    problem.clear();
    const bool ok
        = path == QLatin1String("-") ? (file.openStandardOutput(), true) : file.open(path);
    if (!ok) {
        problem = file.errorString();
        return false;
    }
    head = header;
    channels = header.twoChannels ? 2 : 1;
    started = now;
    startedWall = QDateTime::currentDateTime();
    intervalEnd = now + std::chrono::milliseconds(header.intervalMs);
    gapOpen = false;
    clearInterval();
    if (format == Format::Json)
        return true;
    const QByteArray top = "# labbench multimeter record\n# port: " + header.port.toUtf8()
        + "\n# speed: " + QByteArray::number(header.speed) + " bit/s\n# channels: "
        + QByteArray::number(channels) + "\n# range: " + header.range.toUtf8() + "\n# interval: "
        + intervalText(header.intervalMs).toUtf8() + "\n# started: " + stamp(now) + '\n';
    // The "#" lines and the column names go out as lines of their own, each whole.
    for (const QByteArray &line : top.split('\n')) {
        if (!line.isEmpty() && !writeLine(line + '\n'))
            return false;
    }
    return writeLine(columns(header.twoChannels) + '\n');
}

bool Recorder::add(const MeterDriver &driver, Clock::time_point now)
{
    if (!file.isOpen())
        return false;
    if (head.intervalMs > 0 && now >= intervalEnd && !tick(now))
        return false;
    gapOpen = false;
    for (int c = 0; c < channels; ++c) {
        const meter::Reading &r = driver.reading(c);
        if (r.over) {
            ++overRange[std::size_t(c)];
            continue;
        }
        auto &s = interval[std::size_t(c)];
        s[std::size_t(meter::Quantity::Dc)].add(r.dc);
        s[std::size_t(meter::Quantity::AcRms)].add(r.acRms);
        s[std::size_t(meter::Quantity::PeakToPeak)].add(r.peakToPeak);
        if (r.hz)
            s[std::size_t(meter::Quantity::Frequency)].add(*r.hz);
    }
    ++frames;
    if (head.intervalMs <= 0)
        return writeInterval(now);
    return true;
}

bool Recorder::tick(Clock::time_point now)
{
    if (!file.isOpen() || head.intervalMs <= 0 || now < intervalEnd)
        return file.isOpen();
    const auto step = std::chrono::milliseconds(head.intervalMs);
    const Clock::time_point end = intervalEnd;
    // The next interval is the one that holds now: after a gap the lines stay
    // on the grid the recording started on.
    intervalEnd += step * ((now - intervalEnd) / step + 1);
    return frames == 0 || writeInterval(end);
}

bool Recorder::gap(const QString &reason, Clock::time_point now)
{
    if (!file.isOpen())
        return false;
    if (gapOpen)
        return true;
    if (frames > 0 && !writeInterval(now))
        return false;
    gapOpen = true;
    QByteArray line;
    if (format == Format::Json) {
        line = "{\"time\":\"" + stamp(now)
            + "\",\"seconds\":" + number(std::chrono::duration<double>(now - started).count())
            + ",\"frames\":0,\"gap\":\"" + reason.toUtf8() + "\"}\n";
    } else {
        line = stamp(now) + ',' + number(std::chrono::duration<double>(now - started).count())
            + ",0";
        for (int i = 0; i < channels * meter::kQuantities * 3; ++i)
            line += ',';
        line += ",gap: " + reason.toUtf8() + '\n';
    }
    return writeLine(line);
}

bool Recorder::finish(Clock::time_point now)
{
    if (!file.isOpen())
        return false;
    const bool ok = frames == 0 || writeInterval(now);
    file.close();
    return ok;
}

bool Recorder::writeInterval(Clock::time_point end)
{
    const double seconds = std::chrono::duration<double>(end - started).count();
    QByteArray line;
    QByteArray note;
    for (int c = 0; c < channels; ++c) {
        if (overRange[std::size_t(c)] > 0) {
            note += (note.isEmpty() ? "" : "; ") + QByteArray("ch") + QByteArray::number(c + 1)
                + " over range in " + QByteArray::number(overRange[std::size_t(c)]) + " of "
                + QByteArray::number(frames) + " frames";
        }
    }
    if (format == Format::Json) {
        line = "{\"time\":\"" + stamp(end) + "\",\"seconds\":" + number(seconds)
            + ",\"frames\":" + QByteArray::number(frames);
        for (int c = 0; c < channels; ++c) {
            line += ",\"ch" + QByteArray::number(c + 1) + "\":{";
            for (int q = 0; q < meter::kQuantities; ++q) {
                const RunningStats &s = interval[std::size_t(c)][std::size_t(q)];
                line += (q ? ",\"" : "\"") + QByteArray(kNames[std::size_t(q)]) + "\":";
                line += s.empty() ? QByteArray("null")
                                  : "{\"mean\":" + number(s.mean()) + ",\"min\":" + number(s.min())
                        + ",\"max\":" + number(s.max()) + '}';
            }
            line += '}';
        }
        if (!note.isEmpty())
            line += ",\"note\":\"" + note + '"';
        line += "}\n";
    } else {
        line = stamp(end) + ',' + number(seconds) + ',' + QByteArray::number(frames);
        for (int c = 0; c < channels; ++c) {
            for (int q = 0; q < meter::kQuantities; ++q) {
                const RunningStats &s = interval[std::size_t(c)][std::size_t(q)];
                if (s.empty())
                    line += ",,,";
                else
                    line += ',' + number(s.mean()) + ',' + number(s.min()) + ',' + number(s.max());
            }
        }
        line += ',' + note + '\n';
    }
    clearInterval();
    return writeLine(line);
}

bool Recorder::writeLine(const QByteArray &line)
{
    if (file.append(line))
        return true;
    problem = file.errorString();
    return false;
}

// The wall clock of a steady-clock instant: the start's local time plus the
// time since, so that a clock set meanwhile does not reorder the lines.
QByteArray Recorder::stamp(Clock::time_point at) const
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(at - started).count();
    const QDateTime t = startedWall.addMSecs(ms);
    return t.toOffsetFromUtc(t.offsetFromUtc()).toString(Qt::ISODateWithMs).toUtf8();
}

void Recorder::clearInterval()
{
    for (auto &channel : interval)
        for (RunningStats &s : channel)
            s.reset();
    overRange = {};
    frames = 0;
}
