#include "startfolder.h"

#include <QDir>

namespace startfolder {

QString choose(const QString &current, const QString &roaming)
{
    // QDir compares as the system does: letter case and separators do not
    // count on Windows.
    if (roaming.isEmpty() || QDir(current) != QDir(roaming))
        return current;
    return QDir(roaming).filePath(QStringLiteral("labbench"));
}

bool enter(const QString &roaming)
{
    const QString current = QDir::currentPath();
    const QString folder = choose(current, roaming);
    if (folder == current)
        return true;
    return QDir().mkpath(folder) && QDir::setCurrent(folder);
}

} // namespace startfolder
