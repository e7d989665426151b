#include "scratchdir.h"

#include <QDir>
#include <QFile>

ScratchDir::ScratchDir() : home(QDir::currentPath())
{
    valid = dir.isValid() && QDir::setCurrent(dir.path());
}

ScratchDir::~ScratchDir()
{
    QDir::setCurrent(home);
}

bool ScratchDir::writeSettings(const QString &port, int speed, int listIndex)
{
    return writeSettingsFile(
        QStringLiteral("#%1#%2#%3#ZOR").arg(port).arg(speed).arg(listIndex).toLatin1());
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
