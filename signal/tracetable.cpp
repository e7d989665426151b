#include "tracetable.h"

#include "measurements.h"
#include "settingtexts.h"
#include "spectrum.h"
#include "synthesis.h"
#include "trigger.h"

#include <algorithm>
#include <charconv>

namespace tracetable {

namespace {

    void line(QByteArray &out, const char *key, const QByteArray &value)
    {
        out += "# ";
        out += key;
        out += ": ";
        out += value;
        out += '\n';
    }

    template <std::size_t N> QByteArray textOf(const std::array<const char *, N> &list, int row)
    {
        return row >= 0 && row < int(N) ? QByteArray(list[static_cast<std::size_t>(row)])
                                        : QByteArray::number(row);
    }

    QByteArray spanText(int tbIndex)
    {
        const int row = texts::kSlowestTimeBase - tbIndex;
        return row >= 0 && row < int(texts::kSpans.size())
            ? QByteArray(texts::kSpans[static_cast<std::size_t>(row)].text)
            : QByteArray::number(row);
    }

} // namespace

QByteArray timeText(const QDateTime &time)
{
    if (time.isNull())
        return QByteArrayLiteral("none");
    // With its offset from UTC, so a table read elsewhere keeps its moment.
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs).toUtf8();
}

QByteArray number(double x)
{
    // The shortest text that reads back as the same double: short tables, no
    // digits that were never measured.
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, x).ptr;
    return QByteArray(text, static_cast<int>(end - text));
}

QByteArray scopeHeader(const ScopeFrame &f, const QString &port, bool withFrame)
{
    QByteArray out("# labbench oscilloscope\n");
    line(out, "time_base", textOf(texts::kTimeBases, texts::kSlowestTimeBase - f.tbIndex));
    line(out, "sample_period_s", number(osc::samplePeriodSeconds(f.tbIndex)));
    line(out, "ch1_gain", textOf(texts::kGains, f.gain1));
    if (f.twoChannels)
        line(out, "ch2_gain", textOf(texts::kGains, f.gain2));
    line(out, "channels", f.twoChannels ? "2" : "1");
    if (f.hasTrigger) {
        line(out, "trigger", textOf(texts::kTrigModes, f.trigWord & 3));
        line(out, "trigger_edge", textOf(texts::kEdges, (f.trigWord >> 2) & 1));
        line(out, "trigger_detector", textOf(texts::kDetectors, (f.trigWord >> 3) & 1));
        line(out, "trigger_level_V", number(osc::levelVolts(f.trigLevel, f.gain1)));
    }
    if (f.origin >= 0)
        line(out, "t0_sample", QByteArray::number(f.origin));
    line(out, "port", port.toUtf8());
    line(out, "frame_time", timeText(f.time));
    out += withFrame ? "# frame,t_s,ch1_V" : "# t_s,ch1_V";
    out += f.twoChannels ? ",ch2_V\n" : "\n";
    return out;
}

void appendScopeRows(QByteArray &out, const ScopeFrame &f, int frameNumber)
{
    const int count = f.twoChannels ? osc::kChannel2Start : osc::kFrame;
    const QByteArray frameColumn
        = frameNumber >= 0 ? QByteArray::number(frameNumber) + ',' : QByteArray();
    out.reserve(out.size() + count * 40);
    for (int i = 0; i < count; ++i) {
        out += frameColumn;
        out += number(osc::sampleTimeSeconds(i, f.tbIndex)
            - (f.origin > 0 ? osc::sampleTimeSeconds(f.origin, f.tbIndex) : 0.0));
        out += ',';
        out += number(osc::rawToVolts(f.raw[i], f.gain1));
        if (f.twoChannels) {
            out += ',';
            out += number(osc::rawToVolts(f.raw[osc::kChannel2Start + i], f.gain2));
        }
        out += '\n';
    }
}

QByteArray spectrumTable(const Spectrum &s, const QString &port)
{
    const int first = -std::clamp(s.xPos, -spectrum::kMaxShift, 0);
    const double binHz = spectrum::hzPerDivision(s.tbIndex) / spectrum::kBinsPerDivision;
    QByteArray out("# labbench spectrum analyzer\n");
    line(out, "span", spanText(s.tbIndex));
    line(out, "range", textOf(texts::kRanges, s.gainIndex));
    line(out, "bin_width_Hz", number(binHz));
    line(out, "first_bin", QByteArray::number(first));
    line(out, "power_daB", number(s.powerDb));
    line(out, "thdn_pct", number(s.thdnPercent));
    line(out, "port", port.toUtf8());
    line(out, "frame_time", timeText(s.time));
    out += "# f_Hz,level_dB\n";
    for (int i = 0; i < spectrum::kDispLen; ++i) {
        const int bin = first + i;
        out += number(bin * binHz);
        out += ',';
        out += number(s.levels[bin]);
        out += '\n';
    }
    return out;
}

QString scopeCaption(const ScopeFrame &f)
{
    QString text = QString::fromLatin1(textOf(texts::kTimeBases, texts::kSlowestTimeBase - f.tbIndex))
        + QStringLiteral("   CH1 ") + QString::fromLatin1(textOf(texts::kGains, f.gain1));
    if (f.twoChannels)
        text += QStringLiteral("   CH2 ") + QString::fromLatin1(textOf(texts::kGains, f.gain2));
    if (f.hasTrigger) {
        text += QStringLiteral("   trigger ")
            + QString::fromLatin1(textOf(texts::kTrigModes, f.trigWord & 3)) + QLatin1Char(' ')
            + QString::fromLatin1(textOf(texts::kEdges, (f.trigWord >> 2) & 1)) + QLatin1Char(' ')
            + QString::fromLatin1(textOf(texts::kDetectors, (f.trigWord >> 3) & 1))
            + QLatin1Char(' ') + QString::fromLatin1(number(osc::levelVolts(f.trigLevel, f.gain1)))
            + QLatin1Char('V');
    }
    return text;
}

QString spectrumCaption(const Spectrum &s)
{
    return QStringLiteral("span ")
        + QString::fromLatin1(spanText(s.tbIndex))
        + QStringLiteral("   range ") + QString::fromLatin1(textOf(texts::kRanges, s.gainIndex));
}

QString generatorCaption(const GeneratorTable &g)
{
    return QString::fromLatin1(textOf(texts::kWaveforms, g.type))
        + QStringLiteral("   %1Hz   %2mV   duty %3%   offset %4mV")
              .arg(g.freq)
              .arg(g.amplitude)
              .arg(g.duty)
              .arg(g.offset);
}

QByteArray generatorTable(const GeneratorTable &g, const QString &port, const QDateTime &time)
{
    QByteArray out("# labbench generator\n");
    line(out, "waveform", textOf(texts::kWaveforms, g.type));
    line(out, "frequency_Hz", QByteArray::number(g.freq));
    const auto played = synthesis::playedHz({ g.tab, g.period });
    line(out, "played_Hz", played ? number(*played) : QByteArrayLiteral("none"));
    line(out, "table_length", QByteArray::number(g.tab));
    line(out, "sample_period_ticks", QByteArray::number(g.period));
    line(out, "amplitude_mV", QByteArray::number(g.amplitude));
    line(out, "duty_pct", QByteArray::number(g.duty));
    line(out, "offset_mV", QByteArray::number(g.offset));
    line(out, "port", port.toUtf8());
    line(out, "time", timeText(time));
    out += "# index,value_mV\n";
    for (int i = 0; i < g.tab; ++i) {
        out += QByteArray::number(i);
        out += ',';
        out += number(g.entries[i] / synthesis::kCountsPerMillivolt);
        out += '\n';
    }
    return out;
}

} // namespace tracetable
