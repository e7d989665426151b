#include "settingsfile.h"

#include <QChar>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

namespace settingsfile {

namespace {

    // A settings file is one short line; anything much larger is not ours.
    constexpr qint64 kMaxFileSize = 64 * 1024;

    // Decimal, 0 when the text is not a number. Qt's conversion stops at a zero
    // character and would take "115200\0junk" for 115200.
    int number(const QString &text)
    {
        if (text.contains(QChar(u'\0')))
            return 0;
        return text.toInt(nullptr, 10);
    }

} // namespace

Stored read(const QString &path)
{
    Stored stored;
    QFile file(path);
    // Only a regular file is read: opening a named pipe or a device would
    // wait for a writer that never comes.
    const QFileInfo info(file);
    if (info.exists() && (!info.isFile() || !file.open(QIODevice::ReadOnly)))
        return stored;
    if (file.isOpen()) {
        if (file.size() > kMaxFileSize)
            return stored;
        stored.raw = file.readAll();
        file.close();
    }
    stored.content = QTextStream(&stored.raw).readAll();
    stored.readable = true;
    return stored;
}

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
