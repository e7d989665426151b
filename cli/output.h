#pragma once

#include <QByteArray>
#include <QSaveFile>
#include <QString>

#include <memory>

// Where a command's results go: stdout, flushed after every piece so a
// script reading line by line sees each frame at once, or a file (-o) that
// appears whole, under its name, only when finish() succeeds.
class Output {
public:
    // An empty path is stdout. False with the reason when the file cannot be made.
    bool open(const QString &path, QString &reason);
    void write(const QByteArray &data);
    bool finish(QString &reason);
    // Leaves an earlier file of that name as it was (a run that got nothing).
    void discard();

private:
    std::unique_ptr<QSaveFile> file;
};
