#include "scratchdir.h"

#include <QDir>
#include <QFile>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// Sets or clears the immutable attribute of a folder; false where the file
// system or the user's rights do not allow it.
bool setImmutable(const QString &folder, bool on)
{
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd == -1)
        return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
}

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
