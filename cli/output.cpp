#include "output.h"

#include <cstdio>

bool Output::open(const QString &path, QString &reason)
{
    if (path.isEmpty())
        return true;
    file = std::make_unique<QSaveFile>(path);
    if (!file->open(QIODevice::WriteOnly)) {
        reason = file->errorString();
        return false;
    }
    return true;
}

void Output::write(const QByteArray &data)
{
    if (file) {
        file->write(data);
        return;
    }
    std::fwrite(data.constData(), 1, static_cast<std::size_t>(data.size()), stdout);
    std::fflush(stdout);
}

void Output::discard()
{
    file.reset();
}

bool Output::finish(QString &reason)
{
    if (!file)
        return std::ferror(stdout) == 0;
    if (!file->commit()) {
        reason = file->errorString();
        return false;
    }
    return true;
}
