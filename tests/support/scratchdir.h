#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A fresh temporary working directory for one test case: the program reads
// and writes settings.txt in the working directory, never in the user's.
// The previous working directory comes back on destruction.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;

    bool isValid() const { return valid; }
    QString path() const { return dir.path(); }
    QString filePath(const QString &name) const { return dir.filePath(name); }

    // settings.txt naming the port, as the settings tab writes it.
    static bool writeSettings(const QString &port, int speed = 115200, int listIndex = 3);
    static bool writeFile(const QString &name, const QByteArray &content);
    static QByteArray readFile(const QString &name);
    static bool writeSettingsFile(const QByteArray &content);
    static QByteArray readSettingsFile();

    // Makes the folder refuse new files while the files in it stay writable,
    // as a read-only or shared folder does: by its permissions, and where
    // those do not bind (an administrator) by the immutable attribute. False
    // when neither works here. The destructor allows them again.
    bool refuseNewFiles();
    void allowNewFiles();
    // The names in the folder, sorted.
    QStringList entries() const;

private:
    QString home;
    QTemporaryDir dir;
    bool valid = false;
    bool immutable = false;
};
