#include "scratchdir.h"

#include "folderattributes.h"

#include <QDir>
#include <QFile>

namespace {

bool acceptsNewFiles(const QString &folder)
{
    QFile probe(QDir(folder).filePath(QStringLiteral(".probe")));
    if (!probe.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    probe.remove();
    return true;
}

} // namespace

ScratchDir::ScratchDir() : home(QDir::currentPath())
{
    valid = dir.isValid() && QDir::setCurrent(dir.path());
}

ScratchDir::~ScratchDir()
{
    allowNewFiles();
    QDir::setCurrent(home);
}

bool ScratchDir::refuseNewFiles()
{
    QFile::setPermissions(path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    if (acceptsNewFiles(path()))
        immutable = setImmutable(path(), true);
    if (!acceptsNewFiles(path()))
        return true;
    allowNewFiles();
    return false;
}

void ScratchDir::allowNewFiles()
{
    if (immutable)
        immutable = !setImmutable(path(), false);
    QFile::setPermissions(path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

QStringList ScratchDir::entries() const
{
    return QDir(path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

bool ScratchDir::writeSettings(const QString &port, int speed, int listIndex)
{
    return writeSettingsFile(
        QStringLiteral("#%1#%2#%3#ZOR").arg(port).arg(speed).arg(listIndex).toUtf8());
}

bool ScratchDir::writeSettingsFile(const QByteArray &content)
{
    return writeFile(QStringLiteral("settings.txt"), content);
}

QByteArray ScratchDir::readSettingsFile()
{
    return readFile(QStringLiteral("settings.txt"));
}

bool ScratchDir::writeFile(const QString &name, const QByteArray &content)
{
    QFile f(name);
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
}

QByteArray ScratchDir::readFile(const QString &name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
