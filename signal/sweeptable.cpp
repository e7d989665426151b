#include "sweeptable.h"

#include "settingtexts.h"
#include "tracetable.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace sweeptable {

namespace {

    QByteArray fixed(double x, int decimals)
    {
        return QByteArray::number(x, 'f', decimals);
    }

    QByteArray jsonText(const QString &text)
    {
        QByteArray out = "\"";
        for (const char c : text.toUtf8()) {
            if (c == '"' || c == '\\')
                out += '\\';
            out += c;
        }
        return out + '"';
    }

} // namespace

std::optional<double> hertzFromText(const QString &text)
{
    static const QRegularExpression form(
        QStringLiteral("^\\s*(\\d+\\.?\\d*|\\.\\d+)\\s*([kM]?)(?:Hz)?\\s*$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const double value = m.captured(1).toDouble();
    const QString prefix = m.captured(2);
    const double hz = prefix == QLatin1String("k") ? value * 1e3
        : prefix == QLatin1String("M")             ? value * 1e6
                                                   : value;
    return std::isfinite(hz) ? std::optional<double>(hz) : std::nullopt;
}

std::optional<int> millivoltsFromText(const QString &text, bool bareIsMillivolts)
{
    static const QRegularExpression form(
        QStringLiteral("^\\s*([+-]?(?:\\d+\\.?\\d*|\\.\\d+))\\s*(mV|V)?\\s*$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const double value = m.captured(1).toDouble();
    const QString unit = m.captured(2);
    if (unit.isEmpty() && !bareIsMillivolts && value != 0)
        return std::nullopt; // a number without its unit is not a voltage
    const double mv = unit == QLatin1String("V") ? value * 1000 : value;
    if (!std::isfinite(mv) || std::abs(mv) > 1e9)
        return std::nullopt;
    return static_cast<int>(std::lround(mv));
}

QByteArray columns()
{
    return "f_Hz,gain_dB,phase_deg,ch1_V,ch2_V,range1,range2,time_base,reason";
}

QString timeBaseText(int code)
{
    const int row = texts::kSlowestTimeBase - std::clamp(code, 0, texts::kSlowestTimeBase);
    return QString::fromLatin1(texts::kTimeBases[std::size_t(row)]);
}

QString rangeText(int range)
{
    return QString::fromLatin1(texts::kGains[std::size_t(std::clamp(range, 0, sweep::kMostSensitive))]);
}

QString hertz(double hz)
{
    if (hz >= 1000)
        return QString::number(hz / 1000, 'f', hz >= 100000 ? 1 : hz >= 10000 ? 2 : 3)
            + QStringLiteral(" kHz");
    return QString::number(hz, 'f', hz >= 100 ? 1 : 2) + QStringLiteral(" Hz");
}

QString caption(const sweep::Plan &plan)
{
    const QString density = plan.points > 0 ? QStringLiteral("%1 points").arg(plan.points)
                                            : QStringLiteral("%1 per decade").arg(plan.perDecade);
    return QStringLiteral("%1 .. %2, %3, %4 mV").arg(hertz(plan.fromHz), hertz(plan.toHz), density)
        .arg(plan.amplitudeMv);
}

QByteArray csv(const std::vector<sweep::Point> &points, const sweep::Plan &plan,
    const QString &port, const QDateTime &time)
{
    std::vector<sweep::Point> rising = points;
    std::stable_sort(rising.begin(), rising.end(),
        [](const sweep::Point &a, const sweep::Point &b) { return a.hz < b.hz; });
    QByteArray out = "# labbench frequency response\n";
    out += "# port: " + port.toUtf8() + '\n';
    out += "# time: " + tracetable::timeText(time) + '\n';
    out += "# from_Hz: " + tracetable::number(plan.fromHz) + '\n';
    out += "# to_Hz: " + tracetable::number(plan.toHz) + '\n';
    if (plan.points > 0)
        out += "# points: " + QByteArray::number(plan.points) + '\n';
    else
        out += "# per_decade: " + QByteArray::number(plan.perDecade) + '\n';
    out += "# amplitude_V: " + tracetable::number(plan.amplitudeMv / 1000.0) + '\n';
    out += "# wiring: generator to the circuit's input and CH2, the circuit's output to CH1\n";
    const std::optional<double> passband = sweep::passbandDb(rising);
    out += "# passband_dB: " + (passband ? fixed(*passband, 3) : QByteArray("none")) + '\n';
    const std::vector<double> corners = sweep::cornersHz(rising);
    if (corners.empty())
        out += "# f_3dB_Hz: none\n";
    for (const double f : corners)
        out += "# f_3dB_Hz: " + fixed(f, 1) + '\n';
    out += "# " + columns() + '\n';
    for (const sweep::Point &p : rising) {
        out += tracetable::number(p.hz) + ',';
        if (p.measured())
            out += fixed(p.gainDb(), 4) + ',' + fixed(p.phaseDeg(), 3) + ',';
        else
            out += ",,";
        out += tracetable::number(p.ch1Volts) + ',' + tracetable::number(p.ch2Volts) + ','
            + rangeText(p.range1).toUtf8() + ',' + rangeText(p.range2).toUtf8() + ','
            + timeBaseText(p.timeBase).toUtf8() + ',' + sweep::reasonText(p.reason).toUtf8()
            + '\n';
    }
    return out;
}

QByteArray jsonLine(const sweep::Point &p)
{
    QByteArray out = "{\"f_Hz\":" + tracetable::number(p.hz);
    if (p.measured())
        out += ",\"gain_dB\":" + fixed(p.gainDb(), 4) + ",\"phase_deg\":" + fixed(p.phaseDeg(), 3);
    else
        out += ",\"gain_dB\":null,\"phase_deg\":null";
    out += ",\"ch1_V\":" + tracetable::number(p.ch1Volts) + ",\"ch2_V\":"
        + tracetable::number(p.ch2Volts) + ",\"range1\":" + jsonText(rangeText(p.range1))
        + ",\"range2\":" + jsonText(rangeText(p.range2))
        + ",\"time_base\":" + jsonText(timeBaseText(p.timeBase)) + ",\"reason\":"
        + (p.measured() ? QByteArray("null") : jsonText(sweep::reasonText(p.reason))) + '}';
    return out;
}

} // namespace sweeptable
