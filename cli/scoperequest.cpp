#include "scoperequest.h"

#include "measurements.h"
#include "settingsfile.h"
#include "settingsstore.h"
#include "settingtexts.h"
#include "trigger.h"

#include <algorithm>

namespace {

constexpr int kFastestTwoChannelCode = 4; // "20us/dz": the four faster need one channel
constexpr int kMaxLevel = 2000; // the level box's range
constexpr int kSilenceMs = 5000;

// The row of `text` in a list, -1 if absent.
template <std::size_t N> int rowOf(const std::array<const char *, N> &list, const QString &text)
{
    const auto it = std::find_if(
        list.begin(), list.end(), [&](const char *item) { return text == QLatin1String(item); });
    return it == list.end() ? -1 : int(it - list.begin());
}

bool positive(const QString &text, int &value)
{
    bool ok = false;
    value = text.toInt(&ok);
    return ok && value > 0;
}

} // namespace

bool lineFromOptions(const Options &o, QString &port, int &speed, QString &error)
{
    // A file that is missing, unusable or without fields gives the window's defaults.
    const settingsstore::Contents file
        = settingsstore::read(QString::fromLatin1(settingsstore::kFileName));
    const auto fields = file.found == settingsstore::Found::Read
        ? settingsfile::parse(settingsstore::text(file))
        : std::nullopt;
    const settingsfile::Fields used
        = fields.value_or(*settingsfile::parse(QLatin1String(settingsstore::kDefaultContent)));
    port = o.value(QStringLiteral("port"), used.portName);
    speed = used.speed;
    if (o.has(QStringLiteral("speed")) && !positive(o.value(QStringLiteral("speed")), speed)) {
        error = QStringLiteral("--speed takes a number of bit/s");
        return false;
    }
    return true;
}

QStringList ScopeRequest::valued(bool measure)
{
    QStringList names { QStringLiteral("port"), QStringLiteral("speed"), QStringLiteral("channels"),
        QStringLiteral("timebase"), QStringLiteral("gain"), QStringLiteral("frames"),
        QStringLiteral("format"), QStringLiteral("output") };
    if (measure)
        names << QStringLiteral("trigger") << QStringLiteral("level") << QStringLiteral("edge")
              << QStringLiteral("detector");
    return names;
}

bool ScopeRequest::parse(const Options &o, bool measure, QString &error)
{
    if (!lineFromOptions(o, port, speed, error))
        return false;

    const QString channels = o.value(QStringLiteral("channels"), QStringLiteral("1"));
    if (channels != QLatin1String("1") && channels != QLatin1String("2")) {
        error = QStringLiteral("--channels takes 1 or 2");
        return false;
    }
    twoChannels = channels == QLatin1String("2");

    if (o.has(QStringLiteral("timebase"))) {
        const int row = rowOf(texts::kTimeBases, o.value(QStringLiteral("timebase")));
        if (row < 0) {
            error = QStringLiteral("unknown time base \"%1\"")
                        .arg(o.value(QStringLiteral("timebase")));
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
            error = QStringLiteral("unknown gain \"%1\"").arg(o.value(QStringLiteral("gain")));
            return false;
        }
        gain1 = first;
        gain2 = second;
    }

    if (o.has(QStringLiteral("frames")) && !positive(o.value(QStringLiteral("frames")), frames)) {
        error = QStringLiteral("--frames takes a number from 1 up");
        return false;
    }
    const QString format = o.value(QStringLiteral("format"), QStringLiteral("csv"));
    if (format != QLatin1String("csv") && format != QLatin1String("json")) {
        error = QStringLiteral("--format takes csv or json");
        return false;
    }
    json = format == QLatin1String("json");
    output = o.value(QStringLiteral("output"));

    if (!measure)
        return true;
    const int mode
        = rowOf(texts::kTrigModes, o.value(QStringLiteral("trigger"), QStringLiteral("----")));
    const int edge = rowOf(texts::kEdges, o.value(QStringLiteral("edge"), QStringLiteral("Fall")));
    const int detector
        = rowOf(texts::kDetectors, o.value(QStringLiteral("detector"), QStringLiteral("LF")));
    if (mode < 0 || edge < 0 || detector < 0) {
        error = QStringLiteral("unknown trigger setting");
        return false;
    }
    trigWord = mode + 4 * edge + 8 * detector;
    QString level = o.value(QStringLiteral("level"), QStringLiteral("0"));
    if (level.endsWith(QLatin1String("mV")))
        level.chop(2);
    bool ok = false;
    trigLevel = level.toInt(&ok);
    if (!ok || trigLevel < -kMaxLevel || trigLevel > kMaxLevel) {
        error = QStringLiteral("--level takes -2000mV .. 2000mV");
        return false;
    }
    return true;
}

int ScopeRequest::silenceMs() const
{
    // The slowest time base takes about three seconds to sample one frame.
    return kSilenceMs + static_cast<int>(2000.0 * osc::kFrame * osc::samplePeriodSeconds(tbIndex));
}
