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

qsizetype fieldsEnd(const QByteArray &raw)
{
    // In UTF-8 and the 8-bit encodings "#" is one byte that is never part of a
    // longer character, so the bytes can be searched before decoding. A file
    // marked as UTF-16 or UTF-32 (read as such) has 0x23 inside other
    // characters: that one is read whole, as far as the limit goes.
    if (raw.startsWith("\xff\xfe") || raw.startsWith("\xfe\xff")
        || raw.startsWith(QByteArray("\0\0\xfe\xff", 4)))
        return -1;
    qsizetype at = -1;
    for (int mark = 0; mark < 4; ++mark) {
        at = raw.indexOf('#', at + 1);
        if (at < 0)
            return -1;
    }
    return at + 1;
}

QString format(const Fields &fields)
{
    // Joined, not filled into a pattern: a name may itself hold "%1".
    return QLatin1Char('#') + fields.portName + QLatin1Char('#') + QString::number(fields.speed)
        + QLatin1Char('#') + QString::number(fields.index) + QStringLiteral("#ZOR");
}

} // namespace settingsfile
