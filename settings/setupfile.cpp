#include "setupfile.h"

#include <QHash>

#include <algorithm>
#include <limits>
#include <optional>

namespace setupfile {

namespace {

    constexpr OutOfRange kClamp = OutOfRange::Clamp;
    constexpr OutOfRange kRefuse = OutOfRange::Refuse;
    constexpr const char *kVersionKey = "version";

    // An optional sign and ASCII digits within int; nothing else, not even a
    // zero character Qt's own conversion would stop at.
    std::optional<int> decimal(const QString &text)
    {
        qsizetype i = 0;
        const bool negative = text.startsWith(QLatin1Char('-'));
        if (negative || text.startsWith(QLatin1Char('+')))
            ++i;
        if (i == text.size() || text.size() - i > 10)
            return std::nullopt;
        long long value = 0;
        for (; i < text.size(); ++i) {
            const char16_t c = text[i].unicode();
            if (c < u'0' || c > u'9')
                return std::nullopt;
            value = value * 10 + (c - u'0');
        }
        value = negative ? -value : value;
        if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
            return std::nullopt;
        return static_cast<int>(value);
    }

    std::optional<int> valueOf(const QString &text, int low, int high, OutOfRange rule)
    {
        const auto value = decimal(text);
        if (!value)
            return std::nullopt;
        if (*value >= low && *value <= high)
            return value;
        if (rule == OutOfRange::Refuse)
            return std::nullopt;
        return std::clamp(*value, low, high);
    }

    std::optional<std::array<int, kTableEntries>> tableOf(const QString &text)
    {
        const QStringList numbers = text.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (numbers.size() != kTableEntries)
            return std::nullopt;
        std::array<int, kTableEntries> table {};
        for (int i = 0; i < kTableEntries; ++i) {
            const auto value = valueOf(numbers[i], kTableLow, kTableHigh, OutOfRange::Clamp);
            if (!value)
                return std::nullopt;
            table[static_cast<std::size_t>(i)] = *value;
        }
        return table;
    }

} // namespace

const std::array<Key, 22> kKeys { {
    { "scope.timebase", 0, 14, kRefuse, [](Setup &s) -> int & { return s.scope.timeBase; } },
    { "scope.range1", 0, 6, kRefuse, [](Setup &s) -> int & { return s.scope.range1; } },
    { "scope.range2", 0, 6, kRefuse, [](Setup &s) -> int & { return s.scope.range2; } },
    { "scope.channel2", 0, 1, kRefuse, [](Setup &s) -> int & { return s.scope.channel2; } },
    { "scope.trigger", 0, 3, kRefuse, [](Setup &s) -> int & { return s.scope.trigMode; } },
    { "scope.edge", 0, 1, kRefuse, [](Setup &s) -> int & { return s.scope.trigEdge; } },
    { "scope.detector", 0, 1, kRefuse, [](Setup &s) -> int & { return s.scope.trigDetector; } },
    { "scope.level", -2000, 2000, kClamp, [](Setup &s) -> int & { return s.scope.trigLevel; } },
    { "scope.xpos", -192, 192, kClamp, [](Setup &s) -> int & { return s.scope.xPos; } },
    { "scope.ypos1", -256, 256, kClamp, [](Setup &s) -> int & { return s.scope.yPos1; } },
    { "scope.ypos2", -256, 256, kClamp, [](Setup &s) -> int & { return s.scope.yPos2; } },
    { "scope.average", 0, 6, kRefuse, [](Setup &s) -> int & { return s.scope.average; } },
    { "generator.frequency", 1, 500000, kClamp,
        [](Setup &s) -> int & { return s.generator.frequency; } },
    { "generator.step", 0, 5, kClamp, [](Setup &s) -> int & { return s.generator.step; } },
    { "generator.amplitude", 0, 1250, kClamp,
        [](Setup &s) -> int & { return s.generator.amplitude; } },
    { "generator.waveform", 0, 5, kRefuse, [](Setup &s) -> int & { return s.generator.waveform; } },
    { "generator.duty", 1, 99, kClamp, [](Setup &s) -> int & { return s.generator.duty; } },
    { "generator.offset", -1200, 1200, kClamp,
        [](Setup &s) -> int & { return s.generator.offset; } },
    { "analyzer.span", 0, 12, kRefuse, [](Setup &s) -> int & { return s.analyzer.span; } },
    { "analyzer.range", 0, 6, kRefuse, [](Setup &s) -> int & { return s.analyzer.range; } },
    { "analyzer.shift", -128, 0, kClamp, [](Setup &s) -> int & { return s.analyzer.shift; } },
    { "analyzer.average", 0, 6, kRefuse, [](Setup &s) -> int & { return s.analyzer.average; } },
} };

int valueOf(const Key &key, const Setup &setup)
{
    // The field is only read: one accessor serves reading and writing.
    return key.field(const_cast<Setup &>(setup));
}

Reading parse(const QString &text, const Setup &start)
{
    Reading reading { start, false, {}, 0 };
    QHash<QString, QString> values;
    QStringList lines = text.split(QLatin1Char('\n'));
    // The program ends every line; text after the last line end is a line
    // cut short, whose value may have lost digits.
    const bool cut = !lines.last().trimmed().isEmpty();
    lines.removeLast();
    if (cut)
        ++reading.strayLines;
    for (int n = 0; n < lines.size(); ++n) {
        QString line = lines[n];
        // An editor's byte order mark is no part of the first key.
        if (n == 0 && line.startsWith(QChar(0xfeff)))
            line.remove(0, 1);
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0) {
            ++reading.strayLines;
            continue;
        }
        values.insert(line.left(equals).trimmed(), line.mid(equals + 1).trimmed());
    }

    reading.foreign = values.value(QLatin1String(kVersionKey)) != QString::number(kVersion);
    for (const Key &key : kKeys) {
        const QString name = QLatin1String(key.name);
        const auto value = reading.foreign || !values.contains(name)
            ? std::nullopt
            : valueOf(values.value(name), key.low, key.high, key.rule);
        if (value)
            key.field(reading.setup) = *value;
        else
            reading.unread << name;
    }
    const QString tableName = QLatin1String(kTableKey);
    const auto table = reading.foreign || !values.contains(tableName)
        ? std::nullopt
        : tableOf(values.value(tableName));
    if (table)
        reading.setup.generator.table = *table;
    else
        reading.unread << tableName;
    return reading;
}

QString format(const Setup &setup)
{
    QString text = QStringLiteral("# labbench set-up: lists by row, 0 the top entry\n")
        + QLatin1String(kVersionKey) + QLatin1Char('=') + QString::number(kVersion)
        + QLatin1Char('\n');
    for (const Key &key : kKeys)
        text += QLatin1String(key.name) + QLatin1Char('=') + QString::number(valueOf(key, setup))
            + QLatin1Char('\n');
    QStringList numbers;
    for (const int entry : setup.generator.table)
        numbers << QString::number(entry);
    text += QLatin1String(kTableKey) + QLatin1Char('=') + numbers.join(QLatin1Char(' '))
        + QLatin1Char('\n');
    return text;
}

} // namespace setupfile
