#include "settingsstore.h"

#include "disksync.h"
#include "settingsfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTextStream>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace settingsstore {

namespace {

    constexpr qsizetype kChunk = 4096;
    constexpr const char *kNewFileMark = ".labbench-new-";

    // The file a write lands in: the target of a symbolic link, so that a
    // settings.txt linked from elsewhere stays a link.
    QFileInfo target(const QString &path)
    {
        const QFileInfo info(path);
        return info.isSymLink() ? QFileInfo(info.symLinkTarget()) : info;
    }

    bool replace(const QFileInfo &final, const QByteArray &content)
    {
        const QString name = final.absoluteDir().filePath(final.fileName()
            + QLatin1String(kNewFileMark)
            + QString::number(QRandomGenerator::global()->generate(), 16).rightJustified(8, u'0'));
        QFile file(name);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return false;
        // The new file keeps who may read and write the old one.
        if (final.exists())
            file.setPermissions(final.permissions());
        const bool written = file.write(content) == content.size() && syncToDisk(file);
        file.close();
        std::error_code error;
        if (written && file.error() == QFileDevice::NoError)
            std::filesystem::rename(QFileInfo(name).filesystemAbsoluteFilePath(),
                final.filesystemAbsoluteFilePath(), error);
        else
            error = std::make_error_code(std::errc::io_error);
        if (error) {
            QFile::remove(name);
            return false;
        }
        return true;
    }

    // Overwritten from its start and then cut to length: the file is never
    // empty on the way, and a settings text is far smaller than one block.
    bool overwrite(const QFileInfo &final, const QByteArray &content)
    {
        if (!final.isFile())
            return false;
        QFile file(final.absoluteFilePath());
        if (!file.open(QIODevice::ReadWrite))
            return false;
        return file.write(content) == content.size() && file.flush() && file.resize(content.size())
            && syncToDisk(file);
    }

} // namespace

Contents read(const QString &path)
{
    QFile file(path);
    // Only a regular file is read: opening a named pipe or a device would
    // wait for a writer that never comes, and the window would never appear.
    const QFileInfo info(file);
    if (!info.exists())
        return {};
    if (!info.isFile() || !file.open(QIODevice::ReadOnly))
        return { Found::Unusable, {} };
    Contents contents { Found::Read, {} };
    // Each read doubles what is there, so the searches for the fields' end
    // add up to a few times the bytes read, however far they are.
    while (contents.bytes.size() < kMaxRead && settingsfile::fieldsEnd(contents.bytes) < 0) {
        const QByteArray chunk = file.read(std::max(kChunk, contents.bytes.size()));
        if (chunk.isEmpty())
            break;
        contents.bytes += chunk;
    }
    // Fields cut by the limit are no fields: a name cut short would be taken
    // for the port's, and a file that large is not ours to extend.
    if (!file.atEnd() && settingsfile::fieldsEnd(contents.bytes) < 0)
        contents.found = Found::Unusable;
    return contents;
}

Contents readWhole(const QString &path, qsizetype limit)
{
    QFile file(path);
    const QFileInfo info(file);
    if (!info.exists())
        return {};
    // As for settings.txt: a pipe or device of that name would never end.
    if (!info.isFile() || !file.open(QIODevice::ReadOnly))
        return { Found::Unusable, {} };
    Contents contents { Found::Read, file.read(limit + 1) };
    if (contents.bytes.size() > limit || file.error() != QFileDevice::NoError)
        return { Found::Unusable, {} };
    return contents;
}

QString text(const Contents &contents)
{
    QByteArray raw = contents.bytes;
    return QTextStream(&raw).readAll();
}

bool save(const QString &path, const QByteArray &content)
{
    const QFileInfo final = target(path);
    if (final.exists() && (!final.isFile() || !final.isWritable()))
        return false;
    return replace(final, content) || overwrite(final, content);
}

void removeLeftovers(const QString &path)
{
    const QFileInfo final = target(path);
    const QString start = final.fileName() + QLatin1String(kNewFileMark);
    // Exactly the names save() makes: a user's own copy is never touched.
    const QRegularExpression leftover(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(start) + QStringLiteral("[0-9a-f]{8}")));
    QDir folder = final.absoluteDir();
    const auto entries
        = folder.entryInfoList({ start + u'*' }, QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo &entry : entries) {
        if (leftover.match(entry.fileName()).hasMatch() && !entry.isSymLink())
            folder.remove(entry.fileName());
    }
}

} // namespace settingsstore
