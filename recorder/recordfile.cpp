#include "recordfile.h"

#include "syncdescriptor.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef O_BINARY
#define O_BINARY 0
#endif

namespace {

QString systemError(int code)
{
    return QString::fromLocal8Bit(std::strerror(code));
}

} // namespace

RecordFile::~RecordFile()
{
    close();
}

bool RecordFile::open(const QString &path, bool append)
{
    close();
    name = path;
    problem.clear();
    written = 0;
    const int flags = O_WRONLY | O_CREAT | O_APPEND | O_BINARY | (append ? 0 : O_TRUNC);
    fd = ::open(QFile::encodeName(path).constData(), flags, 0644);
    if (fd < 0) {
        problem = systemError(errno);
        return false;
    }
    owned = true;
    sync = true;
    const off_t end = ::lseek(fd, 0, SEEK_END);
    whole = end < 0 ? 0 : static_cast<qint64>(end);
    return true;
}

void RecordFile::openStandardOutput()
{
    close();
    name = QStringLiteral("-");
    problem.clear();
    written = 0;
    fd = 1;
    owned = false;
    sync = false;
}

bool RecordFile::append(const QByteArray &line)
{
    if (fd < 0)
        return false;
    const char *data = line.constData();
    const auto size = static_cast<std::size_t>(line.size());
    ssize_t done = 0;
    do
        done = ::write(fd, data, size);
    while (done < 0 && errno == EINTR);
    if (done == static_cast<ssize_t>(size) && (!sync || syncDescriptor(fd))) {
        whole += done;
        // A file whose folder was removed still takes lines, into nothing
        // anyone can read: that ends the recording as a full disk does.
        struct stat status { };
        if (owned && ::fstat(fd, &status) == 0 && status.st_nlink == 0) {
            problem = QStringLiteral("the file or its folder was removed");
            close();
            return false;
        }
        ++written;
        return true;
    }
    // A full disk takes part of a line and then refuses the rest; a reader
    // must not meet that part, nor a later line glued to it: the file goes
    // back to its last whole line and takes no more.
    const int code = done < 0 ? errno : (done == static_cast<ssize_t>(size) ? errno : ENOSPC);
    problem = systemError(code);
    if (owned && done > 0 && done < static_cast<ssize_t>(size))
        static_cast<void>(::ftruncate(fd, static_cast<off_t>(whole)));
    close();
    return false;
}

void RecordFile::close()
{
    if (fd >= 0 && owned)
        ::close(fd);
    fd = -1;
    owned = false;
}
