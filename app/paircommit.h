#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// Two files that belong together (an export's table and its picture) put in
// place as a pair: both new ones appear, or the old ones stay exactly as they
// were. The new contents are written beside their targets first; old files
// of those names are moved aside, not removed, until both new ones are in
// place, and put back if either step fails.
class PairCommit {
public:
    // How a file is moved forward (aside, into place); a test may make a
    // step fail. Putting an old file back uses the file system directly.
    using Rename = std::function<bool(const QString &from, const QString &to)>;

    PairCommit();
    explicit PairCommit(Rename rename);

    // False with the path that failed and the reason; nothing changed then.
    bool write(const QString &firstPath, const QByteArray &first, const QString &secondPath,
        const QByteArray &second, QString &failedPath, QString &reason);

private:
    Rename rename;
};
