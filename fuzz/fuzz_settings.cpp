// The settings.txt reader fed arbitrary file content. Beyond "no crash":
//  - no "#" means no fields; otherwise the name is field 1 without the white
//    space around it and never holds a "#";
//  - speed and list index are the decimal value of fields 2 and 3 when those
//    are a sign and ASCII digits within int, and 0 otherwise;
//  - what the program writes for those fields reads back as the same fields;
//  - the bytes up to where the fields end (where reading a large file stops)
//    give the same fields as the whole content.
#include "settingsfile.h"

#include <QByteArray>
#include <QString>
#include <QTextStream>

#include <cstdint>
#include <cstdlib>
#include <optional>

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

bool isSpace(QChar c)
{
    return c.isSpace();
}

// Field n of the text: what lies between the n-th and the next "#".
QString fieldOf(const QString &text, int n)
{
    int from = 0;
    for (int k = 0; k < n; ++k) {
        from = text.indexOf(QLatin1Char('#'), from);
        if (from < 0)
            return {};
        ++from;
    }
    const int to = text.indexOf(QLatin1Char('#'), from);
    QString field = text.mid(from, to < 0 ? -1 : to - from);
    while (!field.isEmpty() && isSpace(field.front()))
        field.remove(0, 1);
    while (!field.isEmpty() && isSpace(field.back()))
        field.chop(1);
    return field;
}

// Decimal value of an optional sign and ASCII digits within int; else 0.
int decimal(const QString &text)
{
    int i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-'))) {
        negative = text[i] == QLatin1Char('-');
        ++i;
    }
    if (i == text.size())
        return 0;
    long long value = 0;
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return 0;
        value = value * 10 + (c - u'0');
        if (value > 2147483648LL)
            return 0;
    }
    value = negative ? -value : value;
    if (value < -2147483648LL || value > 2147483647LL)
        return 0;
    return static_cast<int>(value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // Decoded the way the settings panel reads the file.
    QByteArray raw(reinterpret_cast<const char *>(data), static_cast<int>(size));
    const QString content = QTextStream(&raw).readAll();

    const auto fields = settingsfile::parse(content);
    check(fields.has_value() == content.contains(QLatin1Char('#')));
    check(settingsfile::fieldsEnd(raw) < 0 || fields.has_value());
    if (!fields)
        return 0;

    check(!fields->portName.contains(QLatin1Char('#')));
    check(fields->portName == fieldOf(content, 1));
    check(fields->speed == decimal(fieldOf(content, 2)));
    check(fields->index == decimal(fieldOf(content, 3)));

    const qsizetype end = settingsfile::fieldsEnd(raw);
    check(end <= raw.size());
    if (end >= 0) {
        QByteArray head = raw.left(end);
        const auto fromHead = settingsfile::parse(QTextStream(&head).readAll());
        check(fromHead.has_value());
        check(fromHead->portName == fields->portName);
        check(fromHead->speed == fields->speed);
        check(fromHead->index == fields->index);
    }

    const QString written = settingsfile::format(*fields);
    const auto again = settingsfile::parse(written);
    check(again.has_value());
    check(again->portName == fields->portName);
    check(again->speed == fields->speed);
    check(again->index == fields->index);
    return 0;
}
