#include "recordfile.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

class TestRecordFile : public QObject {
    Q_OBJECT
private slots:
    void linesAppendWhole();
    void fullDiskKeepsWholeLines();
    void removedFolderEndsTheFile();
};

void TestRecordFile::removedFolderEndsTheFile()
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("records"));
    QVERIFY(QDir().mkdir(folder));
    RecordFile file;
    QVERIFY(file.open(folder + QStringLiteral("/log.csv")));
    QVERIFY(file.append("a,1\n"));
    QVERIFY(QDir(folder).removeRecursively());
    QVERIFY(!file.append("b,2\n"));
    QVERIFY(!file.isOpen());
    QCOMPARE(file.errorString(), QStringLiteral("the file or its folder was removed"));
}

void TestRecordFile::linesAppendWhole()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.csv"));
    {
        RecordFile file;
        QVERIFY(file.open(path));
        QVERIFY(file.append("a,1\n"));
        QVERIFY(file.append("b,2\n"));
        QCOMPARE(file.lines(), qint64(2));
    }
    // A comeback goes on at the end of the same file.
    RecordFile again;
    QVERIFY(again.open(path, true));
    QVERIFY(again.append("c,3\n"));
    again.close();
    QFile back(path);
    QVERIFY(back.open(QIODevice::ReadOnly));
    QCOMPARE(back.readAll(), QByteArray("a,1\nb,2\nc,3\n"));
    // A folder that is not there: a reason, no file.
    RecordFile none;
    QVERIFY(!none.open(dir.filePath(QStringLiteral("gone/log.csv"))));
    QVERIFY(!none.errorString().isEmpty());
}

void TestRecordFile::fullDiskKeepsWholeLines()
{
    QTemporaryDir dir;
    const QByteArray mountPoint = QFile::encodeName(dir.path());
    // A 16 KiB tmpfs in a mount namespace of our own: lines of 100 bytes do
    // not divide its pages, so the disk fills in the middle of a line.
    QProcess probe;
    probe.start(QStringLiteral("unshare"), { QStringLiteral("-rm"), QStringLiteral("true") });
    if (!probe.waitForFinished() || probe.exitCode() != 0)
        QSKIP("no mount namespace can be made here");
    const pid_t child = fork();
    if (child == 0) {
        // The child's own namespace; its exit code is the verdict.
        const uid_t uid = getuid();
        const gid_t gid = getgid();
        if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
            _exit(77);
        auto put = [](const char *file, const QByteArray &text) {
            QFile f(QString::fromLatin1(file));
            return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
        };
        put("/proc/self/setgroups", "deny");
        if (!put("/proc/self/uid_map", "0 " + QByteArray::number(uid) + " 1")
            || !put("/proc/self/gid_map", "0 " + QByteArray::number(gid) + " 1"))
            _exit(77);
        if (mount("none", mountPoint.constData(), "tmpfs", 0, "size=16k") != 0)
            _exit(77);
        RecordFile file;
        if (!file.open(dir.filePath(QStringLiteral("log.csv"))))
            _exit(10);
        const QByteArray line = QByteArray(99, 'x') + '\n';
        int lines = 0;
        while (file.append(line) && lines < 1000)
            ++lines;
        if (lines == 0 || lines >= 1000 || file.isOpen() || file.append(line))
            _exit(11);
        QFile back(dir.filePath(QStringLiteral("log.csv")));
        if (!back.open(QIODevice::ReadOnly))
            _exit(12);
        const QByteArray all = back.readAll();
        if (all.size() != lines * line.size() || !all.endsWith('\n'))
            _exit(13);
        _exit(0);
    }
    QVERIFY(child > 0);
    int status = 0;
    QCOMPARE(waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77)
        QSKIP("no mount namespace can be made here");
    QCOMPARE(WEXITSTATUS(status), 0);
}

QTEST_MAIN(TestRecordFile)
#include "tst_recordfile.moc"
