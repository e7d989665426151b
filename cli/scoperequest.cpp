#include "scoperequest.h"

#include "linetiming.h"
#include "measurements.h"
#include "settingsfile.h"
#include "settingsstore.h"
#include "settingtexts.h"
#include "tracetable.h"
#include "trigger.h"

#include <QRegularExpression>

#include <algorithm>

namespace {

constexpr int kFastestTwoChannelCode = 4; // "20us/dz": the four faster need one channel
constexpr double kDefaultTimeoutSeconds = 10;

// The row of `text` in a list, -1 if absent.
template <std::size_t N> int rowOf(const std::array<const char *, N> &list, const QString &text)
{
    const auto it = std::find_if(
        list.begin(), list.end(), [&](const char *item) { return text == QLatin1String(item); });
    return it == list.end() ? -1 : int(it - list.begin());
}

// "a b c": a list's texts, for the messages that name the valid values.
template <std::size_t N> QString listed(const std::array<const char *, N> &list)
{
    QStringList items;
    for (const char *item : list)
        items << QLatin1String(item);
    return items.join(QLatin1Char(' '));
}

bool positive(const QString &text, int &value)
{
    bool ok = false;
    value = text.toInt(&ok);
    return ok && value > 0;
}

} // namespace

QString LineChoice::described() const
{
    return source.isEmpty() ? port : QStringLiteral("%1 (%2)").arg(port, source);
}

bool lineFromOptions(const Options &o, LineChoice &line, QString &error)
{
    // A file that is missing, unusable or without fields gives the window's defaults.
    const settingsstore::Contents file
        = settingsstore::read(QString::fromLatin1(settingsstore::kFileName));
    const auto fields = file.found == settingsstore::Found::Read
        ? settingsfile::parse(settingsstore::text(file))
        : std::nullopt;
    const settingsfile::Fields used
        = fields.value_or(*settingsfile::parse(QLatin1String(settingsstore::kDefaultContent)));
    if (o.has(QStringLiteral("port"))) {
        line.port = o.value(QStringLiteral("port"));
        line.source.clear();
    } else {
        line.port = used.portName;
        if (fields)
            line.source = QStringLiteral("from settings.txt in this folder");
        else if (file.found == settingsstore::Found::Missing)
            line.source = QStringLiteral("the default: there is no settings.txt in this folder");
        else
            line.source = QStringLiteral("the default: settings.txt in this folder names no port");
    }
    line.speed = used.speed;
    if (!o.has(QStringLiteral("speed")))
        return true;
    // The port runs only at the device's speeds; any other would be
    // replaced by 115200 while every wait is sized for the one asked.
    const QString speed = o.value(QStringLiteral("speed"));
    bool ok = false;
    line.speed = speed.toInt(&ok);
    if (!ok || std::find(settingsfile::kSpeeds.begin(), settingsfile::kSpeeds.end(), line.speed)
            == settingsfile::kSpeeds.end()) {
        QStringList valid;
        for (const int s : settingsfile::kSpeeds)
            valid << QString::number(s);
        error = QStringLiteral("unknown speed \"%1\"; valid: %2 (bit/s)")
                    .arg(speed, valid.join(QLatin1Char(' ')));
        return false;
    }
    return true;
}

bool parseVolts(const QString &text, double &volts)
{
    static const QRegularExpression form(
        QStringLiteral("^\\s*([+-]?(?:\\d+\\.?\\d*|\\.\\d+))\\s*(mV|V)?\\s*$"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch())
        return false;
    const double value = m.captured(1).toDouble();
    if (m.captured(2).isEmpty() && value != 0)
        return false; // a number without its unit is not a voltage
    volts = m.captured(2) == QLatin1String("mV") ? value / 1000 : value;
    return true;
}

bool formatAndOutput(const Options &o, bool &json, QString &output, QString &error)
{
    const QString format = o.value(QStringLiteral("format"), QStringLiteral("csv"));
    if (format != QLatin1String("csv") && format != QLatin1String("json")) {
        error = QStringLiteral("--format takes csv or json, not \"%1\"").arg(format);
        return false;
    }
    json = format == QLatin1String("json");
    output = o.value(QStringLiteral("output"));
    if (output == QLatin1String("-"))
        output.clear();
    return true;
}

QStringList ScopeRequest::valued()
{
    return { QStringLiteral("port"), QStringLiteral("speed"), QStringLiteral("channels"),
        QStringLiteral("timebase"), QStringLiteral("gain"), QStringLiteral("frames"),
        QStringLiteral("format"), QStringLiteral("output"), QStringLiteral("trigger"),
        QStringLiteral("level"), QStringLiteral("edge"), QStringLiteral("detector"),
        QStringLiteral("timeout") };
}

bool ScopeRequest::parse(const Options &o, QString &error)
{
    if (!lineFromOptions(o, line, error))
        return false;

    const QString channels = o.value(QStringLiteral("channels"), QStringLiteral("1"));
    if (channels != QLatin1String("1") && channels != QLatin1String("2")) {
        error = QStringLiteral("--channels takes 1 or 2, not \"%1\"").arg(channels);
        return false;
    }
    twoChannels = channels == QLatin1String("2");

    if (o.has(QStringLiteral("timebase"))) {
        const int row = rowOf(texts::kTimeBases, o.value(QStringLiteral("timebase")));
        if (row < 0) {
            error = QStringLiteral("unknown time base \"%1\"; valid: %2")
                        .arg(o.value(QStringLiteral("timebase")), listed(texts::kTimeBases));
            return false;
        }
        tbIndex = texts::kSlowestTimeBase - row;
    }
    if (twoChannels && tbIndex < kFastestTwoChannelCode) {
        error = QStringLiteral("time base %1 needs --channels 1")
                    .arg(QLatin1String(
                        texts::kTimeBases[std::size_t(texts::kSlowestTimeBase - tbIndex)]));
        return false;
    }

    if (o.has(QStringLiteral("gain"))) {
        const QStringList gains = o.value(QStringLiteral("gain")).split(QLatin1Char(','));
        const int first = rowOf(texts::kGains, gains.value(0));
        const int second = gains.size() > 1 ? rowOf(texts::kGains, gains.value(1)) : first;
        if (gains.size() > 2 || first < 0 || second < 0) {
            error = QStringLiteral("unknown gain \"%1\"; valid: %2, or two of them as 1V/dz,50mV/dz")
                        .arg(o.value(QStringLiteral("gain")), listed(texts::kGains));
            return false;
        }
        gain1 = first;
        gain2 = second;
    }

    if (o.has(QStringLiteral("frames")) && !positive(o.value(QStringLiteral("frames")), frames)) {
        error = QStringLiteral("--frames takes a number from 1 up, not \"%1\"")
                    .arg(o.value(QStringLiteral("frames")));
        return false;
    }
    if (!formatAndOutput(o, json, output, error))
        return false;

    const QString modeText = o.value(QStringLiteral("trigger"), QStringLiteral("----"));
    const QString edgeText = o.value(QStringLiteral("edge"), QStringLiteral("Fall"));
    const QString detectorText = o.value(QStringLiteral("detector"), QStringLiteral("LF"));
    const int mode = rowOf(texts::kTrigModes, modeText);
    const int edge = rowOf(texts::kEdges, edgeText);
    const int detector = rowOf(texts::kDetectors, detectorText);
    if (mode < 0) {
        error = QStringLiteral("unknown trigger \"%1\"; valid: %2")
                    .arg(modeText, listed(texts::kTrigModes));
        return false;
    }
    if (edge < 0) {
        error = QStringLiteral("unknown edge \"%1\"; valid: %2").arg(edgeText, listed(texts::kEdges));
        return false;
    }
    if (detector < 0) {
        error = QStringLiteral("unknown detector \"%1\"; valid: %2")
                    .arg(detectorText, listed(texts::kDetectors));
        return false;
    }
    trigWord = mode + 4 * edge + 8 * detector;

    // The level is channel 1's, in the device's steps for its range.
    const QString levelText = o.value(QStringLiteral("level"), QStringLiteral("0V"));
    const int reachable = osc::reachableLevel(gain1);
    const QString limit = QString::fromLatin1(tracetable::number(osc::levelVolts(reachable, gain1)));
    double volts = 0;
    if (!parseVolts(levelText, volts)
        || std::abs(osc::levelFromVolts(volts, gain1)) > reachable) {
        error = QStringLiteral("--level takes -%1V .. %1V at %2 (channel 1), with its unit, not \"%3\"")
                    .arg(limit, QLatin1String(texts::kGains[std::size_t(gain1)]), levelText);
        return false;
    }
    trigLevel = osc::levelFromVolts(volts, gain1);

    timeoutText = o.value(QStringLiteral("timeout"), QString::number(kDefaultTimeoutSeconds));
    bool ok = false;
    timeoutSeconds = timeoutText.toDouble(&ok);
    if (!ok || !(timeoutSeconds > 0) || timeoutSeconds > 86400) {
        error = QStringLiteral("--timeout takes seconds above 0, not \"%1\"").arg(timeoutText);
        return false;
    }
    return true;
}

int ScopeRequest::silenceMs() const
{
    return linetiming::silenceMs(tbIndex, line.speed);
}

int ScopeRequest::pictureWaitMs() const
{
    return std::max(static_cast<int>(timeoutSeconds * 1000), 2 * linetiming::frameMs(tbIndex, line.speed));
}
