#pragma once

#include <QByteArray>
#include <QString>

// A log file that a reader never finds cut in the middle of a line: each line
// goes out in one write() of the whole line on a descriptor opened for
// appending, and is on the disk (fsync) before append() returns. A write that
// the disk takes only in part (a full disk) is taken back to the last whole
// line, and the file refuses every later line: what it holds stays whole.
// So does a file removed while it is written (its folder deleted).
class RecordFile {
public:
    RecordFile() = default;
    ~RecordFile();
    RecordFile(const RecordFile &) = delete;
    RecordFile &operator=(const RecordFile &) = delete;

    // A new file (an old one of that name is emptied), or with `append` the
    // end of an existing one. False with errorString() when it cannot be made.
    bool open(const QString &path, bool append = false);
    // The process's standard output, for "-o -"; lines are not synced.
    void openStandardOutput();
    bool isOpen() const { return fd >= 0; }
    // Writes one line, which must end in '\n'. False once the line could not
    // be written whole; the file then holds the lines before it.
    bool append(const QByteArray &line);
    void close();

    QString errorString() const { return problem; }
    QString path() const { return name; }
    qint64 lines() const { return written; }

private:
    int fd = -1;
    bool owned = false;
    bool sync = false;
    qint64 whole = 0; // the file's size after the last whole line
    qint64 written = 0;
    QString name;
    QString problem;
};
