#include "paircommit.h"

#include <QFile>
#include <QFileInfo>

#include <array>

namespace {

// A name beside `path` that is free now.
QString besideName(const QString &path, const char *what)
{
    for (int i = 0;; ++i) {
        const QString name = QStringLiteral("%1.%2%3").arg(path, QLatin1String(what),
            i == 0 ? QString() : QString::number(i));
        if (!QFileInfo::exists(name) && !QFileInfo(name).isSymLink())
            return name;
    }
}

struct Slot {
    QString path;
    const QByteArray *data = nullptr;
    QString fresh; // the new contents, beside the target; empty once placed
    QString aside; // where the old file went; empty: there was none
    bool placed = false;
};

} // namespace

PairCommit::PairCommit()
    : PairCommit([](const QString &from, const QString &to) { return QFile::rename(from, to); })
{
}

PairCommit::PairCommit(Rename r)
    : rename(std::move(r))
{
}

bool PairCommit::write(const QString &firstPath, const QByteArray &first,
    const QString &secondPath, const QByteArray &second, QString &failedPath, QString &reason)
{
    std::array<Slot, 2> files;
    files[0].path = firstPath;
    files[0].data = &first;
    files[1].path = secondPath;
    files[1].data = &second;

    // Undoes what was done so far: new files out, old ones back.
    const auto restore = [&] {
        for (Slot &s : files) {
            if (!s.fresh.isEmpty())
                QFile::remove(s.fresh);
            if (s.placed)
                QFile::remove(s.path);
            if (!s.aside.isEmpty())
                QFile::rename(s.aside, s.path);
        }
    };
    for (Slot &s : files) {
        // A plain new file, so that it gets the permissions any new file gets.
        QFile file(besideName(s.path, "new"));
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            failedPath = s.path;
            reason = file.errorString();
            restore();
            return false;
        }
        s.fresh = file.fileName();
        if (file.write(*s.data) != s.data->size() || !file.flush()) {
            failedPath = s.path;
            reason = file.errorString();
            file.close();
            restore();
            return false;
        }
    }
    for (Slot &s : files) {
        if (!QFileInfo::exists(s.path) && !QFileInfo(s.path).isSymLink())
            continue;
        const QString aside = besideName(s.path, "old");
        if (!rename(s.path, aside)) {
            failedPath = s.path;
            reason = QStringLiteral("the earlier file could not be moved aside");
            restore();
            return false;
        }
        s.aside = aside;
    }
    for (Slot &s : files) {
        if (!rename(s.fresh, s.path)) {
            failedPath = s.path;
            reason = QFileInfo::exists(s.path) ? QStringLiteral("a file of that name is in the way")
                                               : QStringLiteral("the file could not be put in place");
            restore();
            return false;
        }
        s.fresh.clear();
        s.placed = true;
    }
    for (const Slot &s : files) {
        if (!s.aside.isEmpty())
            QFile::remove(s.aside);
    }
    return true;
}
