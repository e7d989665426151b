#include "logrequest.h"

#include "settingtexts.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace {

int gainRow(const QString &text)
{
    const auto it = std::find_if(texts::kGains.begin(), texts::kGains.end(),
        [&](const char *item) { return text == QLatin1String(item); });
    return it == texts::kGains.end() ? -2 : int(it - texts::kGains.begin());
}

QString gainList()
{
    QStringList items { QStringLiteral("auto") };
    for (const char *item : texts::kGains)
        items << QLatin1String(item);
    return items.join(QLatin1Char(' '));
}

} // namespace

bool parseDuration(const QString &text, bool frame, qint64 &ms)
{
    if (frame && text == QLatin1String("frame")) {
        ms = 0;
        return true;
    }
    static const QRegularExpression form(QStringLiteral("^(\\d+(?:\\.\\d+)?)\\s*(ms|s|min|h|d)$"));
    const QRegularExpressionMatch m = form.match(text.trimmed());
    if (!m.hasMatch())
        return false;
    const QString unit = m.captured(2);
    const double scale = unit == QLatin1String("ms") ? 1
        : unit == QLatin1String("s")                 ? 1000
        : unit == QLatin1String("min")               ? 60000
        : unit == QLatin1String("h")                 ? 3600000
                                                     : 86400000;
    const double value = m.captured(1).toDouble() * scale;
    if (value < 1 || value > 1e13)
        return false;
    ms = static_cast<qint64>(std::llround(value));
    return true;
}

QStringList LogRequest::valued()
{
    return { QStringLiteral("port"), QStringLiteral("speed"), QStringLiteral("every"),
        QStringLiteral("duration"), QStringLiteral("channels"), QStringLiteral("range"),
        QStringLiteral("format"), QStringLiteral("output"), QStringLiteral("timeout") };
}

bool LogRequest::parse(const Options &o, QString &error)
{
    if (!lineFromOptions(o, line, error))
        return false;
    qint64 every = everyMs;
    const QString everyText = o.value(QStringLiteral("every"), QStringLiteral("1s"));
    if (!parseDuration(everyText, true, every)) {
        error = QStringLiteral(
            "unknown interval \"%1\"; valid: frame, or a time as 250ms 1s 10s 1min")
                    .arg(everyText);
        return false;
    }
    everyMs = int(std::min<qint64>(every, 24 * 3600 * 1000));
    if (o.has(QStringLiteral("duration"))
        && !parseDuration(o.value(QStringLiteral("duration")), false, durationMs)) {
        error = QStringLiteral("unknown duration \"%1\"; valid: a time as 30s 10min 10h")
                    .arg(o.value(QStringLiteral("duration")));
        return false;
    }
    const QString channels = o.value(QStringLiteral("channels"), QStringLiteral("1"));
    if (channels != QLatin1String("1") && channels != QLatin1String("2")) {
        error = QStringLiteral("--channels takes 1 or 2, not \"%1\"").arg(channels);
        return false;
    }
    twoChannels = channels == QLatin1String("2");
    // One text sets both channels; "TEXT,TEXT" each.
    rangeText = o.value(QStringLiteral("range"), QStringLiteral("auto"));
    const QStringList ranges = rangeText.split(QLatin1Char(','));
    if (ranges.size() > 2) {
        error = QStringLiteral("--range takes one or two ranges, not \"%1\"").arg(rangeText);
        return false;
    }
    for (int c = 0; c < 2; ++c) {
        const QString text = ranges.value(c, ranges.first()).trimmed();
        const int row = text == QLatin1String("auto") ? -1 : gainRow(text);
        if (row == -2) {
            error = QStringLiteral("unknown range \"%1\"; valid: %2").arg(text, gainList());
            return false;
        }
        gain[std::size_t(c)] = row;
    }
    const QString format = o.value(QStringLiteral("format"), QStringLiteral("csv"));
    if (format != QLatin1String("csv") && format != QLatin1String("json")) {
        error = QStringLiteral("unknown format \"%1\"; valid: csv json").arg(format);
        return false;
    }
    json = format == QLatin1String("json");
    output = o.value(QStringLiteral("output"));
    if (o.has(QStringLiteral("timeout"))) {
        timeoutText = o.value(QStringLiteral("timeout"));
        bool plain = false;
        const double seconds = timeoutText.toDouble(&plain);
        if (plain ? !(seconds > 0)
                    || !parseDuration(timeoutText + QStringLiteral("s"), false, timeoutMs)
                  : !parseDuration(timeoutText, false, timeoutMs)) {
            error = QStringLiteral("unknown timeout \"%1\"; valid: seconds, or a time as 30s 5min")
                        .arg(timeoutText);
            return false;
        }
    }
    return true;
}
