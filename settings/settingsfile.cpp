#include "settingsfile.h"

#include <QChar>

namespace settingsfile {

namespace {

    // Decimal, 0 when the text is not a number. Qt's conversion stops at a zero
    // character and would take "115200\0junk" for 115200.
    int number(const QString &text)
    {
        if (text.contains(QChar(u'\0')))
            return 0;
        return text.toInt(nullptr, 10);
    }

} // namespace

std::optional<Fields> parse(const QString &content)
{
    if (!content.contains(QLatin1Char('#')))
        return std::nullopt;
    const QString word = content.trimmed();
    const auto field = [&word](int n) { return word.section(QLatin1Char('#'), n, n).trimmed(); };
    Fields fields;
    fields.portName = field(1);
    fields.speed = number(field(2));
    fields.index = number(field(3));
    return fields;
}

QString format(const Fields &fields)
{
    // Joined, not filled into a pattern: a name may itself hold "%1".
    return QLatin1Char('#') + fields.portName + QLatin1Char('#') + QString::number(fields.speed)
        + QLatin1Char('#') + QString::number(fields.index) + QStringLiteral("#ZOR");
}

} // namespace settingsfile
