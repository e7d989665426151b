#include "scratchdir.h"
#include "settingsstore.h"

#include <QDir>
#include <QtTest>

#include <filesystem>

// settings.txt replaced on disk, on both systems: Windows renames onto an
// existing file otherwise than POSIX does, and a replace that failed there
// would fall back to writing into the old file unnoticed.
class TestSettingsStore : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        scratch.reset(new ScratchDir);
        QVERIFY(scratch->isValid());
    }
    void cleanup() { scratch.reset(); }

    // A second name for the old file keeps the old bytes only when save()
    // put a new file in its place instead of writing into it.
    void saveReplacesAnExistingFileTwiceInARow()
    {
        const QString name = QString::fromLatin1(settingsstore::kFileName);
        QVERIFY(ScratchDir::writeSettingsFile("#COM3#115200#3#ZOR"));
        const auto path = QFileInfo(name).filesystemAbsoluteFilePath();
        auto old = path;
        old.replace_filename("old-name.txt");
        std::error_code error;
        std::filesystem::create_hard_link(path, old, error);
        if (error)
            QSKIP("no hard links on this file system");

        QVERIFY(settingsstore::save(name, "#COM3#921600#6#ZOR"));
        QCOMPARE(ScratchDir::readSettingsFile(), QByteArray("#COM3#921600#6#ZOR"));
        QCOMPARE(ScratchDir::readFile(QStringLiteral("old-name.txt")), QByteArray("#COM3#115200#3#ZOR"));

        QVERIFY(settingsstore::save(name, "#\\\\.\\COM10#2500000#9#ZOR"));
        QCOMPARE(ScratchDir::readSettingsFile(), QByteArray("#\\\\.\\COM10#2500000#9#ZOR"));
        // Nothing of the new files is left beside it.
        QCOMPARE(scratch->entries(), QStringList({ QStringLiteral("old-name.txt"), name }));
    }

    // Read back as written: no text-mode line ends or code page on Windows.
    void savedBytesReadBackUnchanged()
    {
        const QString name = QString::fromLatin1(settingsstore::kFileName);
        const QByteArray content = "#C:\\ports\\ZOR \xc5\xbc#19200#0#ZOR\n";
        QVERIFY(settingsstore::save(name, content));
        QCOMPARE(QFileInfo(name).size(), qint64(content.size()));
        const auto contents = settingsstore::read(name);
        QCOMPARE(contents.found, settingsstore::Found::Read);
        QCOMPARE(contents.bytes, content);
    }

    // A small file is read whole or not at all: never a part taken for all of it.
    void readWholeTakesAllOrNothing()
    {
        const QString name = QStringLiteral("setup.txt");
        QCOMPARE(settingsstore::readWhole(name, 10).found, settingsstore::Found::Missing);
        QVERIFY(ScratchDir::writeFile(name, "0123456789"));
        const auto whole = settingsstore::readWhole(name, 10);
        QCOMPARE(whole.found, settingsstore::Found::Read);
        QCOMPARE(whole.bytes, QByteArray("0123456789"));
        const auto tooLarge = settingsstore::readWhole(name, 9);
        QCOMPARE(tooLarge.found, settingsstore::Found::Unusable);
        QVERIFY(tooLarge.bytes.isEmpty());
        QVERIFY(QDir().mkdir(QStringLiteral("folder")));
        QCOMPARE(settingsstore::readWhole(QStringLiteral("folder"), 10).found,
            settingsstore::Found::Unusable);
    }

private:
    std::unique_ptr<ScratchDir> scratch;
};

QTEST_MAIN(TestSettingsStore)
#include "tst_settingsstore.moc"
