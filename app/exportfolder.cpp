#include "exportfolder.h"

#include <QDir>
#include <QStandardPaths>

namespace exportfolder {

namespace {

    QString canonical(const QString &path)
    {
        const QString c = QDir(path).canonicalPath();
        return c.isEmpty() ? QDir::cleanPath(QDir(path).absolutePath()) : c;
    }

} // namespace

QString choose(const QString &lastUsed, const QString &working, const QStringList &settingsFolders,
    const QString &documents)
{
    if (!lastUsed.isEmpty() && QDir(lastUsed).exists())
        return lastUsed;
    const QString here = canonical(working);
    for (const QString &folder : settingsFolders) {
        if (!folder.isEmpty() && canonical(folder) == here)
            return documents.isEmpty() ? QDir::homePath() : documents;
    }
    return working;
}

QStringList settingsFolders()
{
    QStringList folders;
    folders << QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
            + QStringLiteral("/labbench");
    const QString appData = qEnvironmentVariable("APPDATA");
    if (!appData.isEmpty())
        folders << QDir::fromNativeSeparators(appData) + QStringLiteral("/labbench");
    return folders;
}

} // namespace exportfolder
