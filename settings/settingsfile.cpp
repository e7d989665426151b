#include "settingsfile.h"

#include <QChar>

namespace settingsfile {

std::optional<Fields> parse(const QString &content)
{
    if (!content.contains(QLatin1Char('#')))
        return std::nullopt;
    const QString word = content.trimmed();
    const auto field = [&word](int n) { return word.section(QLatin1Char('#'), n, n).trimmed(); };
    Fields fields;
    fields.portName = field(1);
    fields.speed = field(2).toInt(nullptr, 10);
    fields.index = field(3).toInt(nullptr, 10);
    return fields;
}

QString format(const Fields &fields)
{
    // Joined, not filled into a pattern: a name may itself hold "%1".
    return QLatin1Char('#') + fields.portName + QLatin1Char('#') + QString::number(fields.speed)
        + QLatin1Char('#') + QString::number(fields.index) + QStringLiteral("#ZOR");
}

} // namespace settingsfile
