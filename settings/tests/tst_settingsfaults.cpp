#include "scratchdir.h"
#include "settingspanel.h"
#include "ustawienia.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTest>

#include <atomic>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Set in the environment of a child copy of this test that only rewrites
// settings.txt until it is killed.
constexpr const char *kWriterVariable = "LABBENCH_SETTINGS_WRITER";
constexpr int kWriterNames = 4;

QString writerName(int n)
{
    return QStringLiteral("/dev/ttyUSB") + QString(n * 7, QLatin1Char('x'));
}

} // namespace

// settings.txt under faults: odd file types, permissions, replacement while
// the program runs, and writes cut short by a killed process.
class TestSettingsFaults : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ScratchDir> scratch;

    // The child's whole life: rewrite the file with changing names and speeds.
    [[noreturn]] static void writeForever()
    {
        SettingsPanel p;
        for (int i = 0;; ++i) {
            p.editor()->setPlainText(writerName(i % kWriterNames));
            p.choose(i % 10);
        }
    }

    static QSet<QByteArray> writerTexts()
    {
        QSet<QByteArray> texts;
        for (int n = 0; n < kWriterNames; ++n) {
            for (int index = 0; index < 10; ++index) {
                texts.insert(QStringLiteral("#%1#%2#%3#ZOR")
                                 .arg(writerName(n))
                                 .arg(Ustawienia::portSpeed[static_cast<std::size_t>(index)])
                                 .arg(index)
                                 .toLatin1());
            }
        }
        return texts;
    }

private slots:
    void initTestCase()
    {
        if (qEnvironmentVariableIsSet(kWriterVariable)) {
            QVERIFY(QDir::setCurrent(qEnvironmentVariable(kWriterVariable)));
            writeForever();
        }
    }

    void init()
    {
        scratch = std::make_unique<ScratchDir>();
        QVERIFY(scratch->isValid());
    }

    void cleanup()
    {
        ::chmod(QFile::encodeName(scratch->path()).constData(), 0700);
        ::chmod(QFile::encodeName(scratch->filePath(QStringLiteral("settings.txt"))).constData(), 0600);
        scratch.reset();
    }

    // A file with no "#" keeps its content byte for byte, also bytes that are
    // not text, and gets the default appended.
    void contentWithoutMarkKeepsItsBytes_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("invalid UTF-8") << QByteArray("\xff\xfe\x80 zor", 8);
        QTest::newRow("zero bytes") << QByteArray("a\0b\0", 4);
        QTest::newRow("Latin-1 name") << QByteArray("port\xe9\xe8", 6);
        QTest::newRow("line ends") << QByteArray("COM3\r\n\r\n");
    }

    void contentWithoutMarkKeepsItsBytes()
    {
        QFETCH(QByteArray, content);
        QVERIFY(ScratchDir::writeSettingsFile(content));
        SettingsPanel p;
        QCOMPARE(p.settings->getPortName(), QStringLiteral("/dev/ttyS0"));
        QCOMPARE(ScratchDir::readSettingsFile(), content + Ustawienia::kDefaultContent);
    }

    // A named pipe where the file should be: opening it for reading would
    // wait for a writer forever, and the window would never appear.
    void pipeInPlaceDoesNotHang()
    {
        const QByteArray path = QFile::encodeName(scratch->filePath(QStringLiteral("settings.txt")));
        QCOMPARE(::mkfifo(path.constData(), 0600), 0);
        std::atomic<bool> done { false };
        // Frees a reader stuck on the pipe, so that a failure ends the test
        // instead of hanging it.
        std::thread rescue([&] {
            for (int i = 0; i < 100 && !done.load(); ++i)
                QThread::msleep(50);
            if (!done.load()) {
                const int fd = ::open(path.constData(), O_WRONLY | O_NONBLOCK);
                if (fd != -1)
                    ::close(fd);
            }
        });
        QElapsedTimer timer;
        timer.start();
        {
            SettingsPanel p;
            done = true;
            QCOMPARE(p.settings->getPortName(), QStringLiteral("/dev/ttyS0"));
            QCOMPARE(p.settings->getPortSpeed(), 115200);
        }
        const qint64 elapsed = timer.elapsed();
        rescue.join();
        QVERIFY2(elapsed < 2000, qPrintable(QStringLiteral("start took %1 ms").arg(elapsed)));
        struct stat st { };
        QCOMPARE(::stat(path.constData(), &st), 0);
        QVERIFY(S_ISFIFO(st.st_mode));
    }

    // Without read permission (an administrator can read it anyway) the file
    // is either read or left alone: never overwritten with the default.
    void unreadableFileIsNotOverwritten()
    {
        const QByteArray content("#COM7#57600#2#ZOR");
        QVERIFY(ScratchDir::writeSettingsFile(content));
        QVERIFY(QFile::setPermissions(QStringLiteral("settings.txt"), QFileDevice::WriteOwner));
        SettingsPanel p;
        const bool readable = ::access("settings.txt", R_OK) == 0;
        QCOMPARE(p.settings->getPortName(),
            readable ? QStringLiteral("COM7") : QStringLiteral("/dev/ttyS0"));
        QVERIFY(QFile::setPermissions(
            QStringLiteral("settings.txt"), QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        QCOMPARE(ScratchDir::readSettingsFile(), content);
    }

    // A folder where no file can be created (read-only, or shared with
    // others) holding a writable settings.txt: each change is written into
    // the file in place, longer or shorter, and nothing is left beside it.
    void unwritableFolderStillUpdatesTheFile()
    {
        QVERIFY(ScratchDir::writeSettingsFile("#COM7#57600#2#ZOR"));
        SettingsPanel p;
        if (!scratch->refuseNewFiles())
            QSKIP("no way here to make a folder refuse new files");
        p.choose(9);
        QCOMPARE(ScratchDir::readSettingsFile(), QByteArray("#COM7#2500000#9#ZOR"));
        p.editor()->setPlainText(QStringLiteral("/dev/serial/by-id/usb-FTDI-if00-port0"));
        QCOMPARE(ScratchDir::readSettingsFile(), QByteArray("#/dev/serial/by-id/usb-FTDI-if00-port0#2500000#9#ZOR"));
        p.editor()->setPlainText(QStringLiteral("COM1"));
        QCOMPARE(ScratchDir::readSettingsFile(), QByteArray("#COM1#2500000#9#ZOR"));
        QCOMPARE(scratch->entries(), QStringList { QStringLiteral("settings.txt") });
        scratch->allowNewFiles();
        SettingsPanel again;
        QCOMPARE(again.settings->getPortName(), QStringLiteral("COM1"));
    }

    // Without a file to write into, such a folder keeps nothing, and the
    // values chosen still hold for this run.
    void unwritableFolderWithoutTheFile()
    {
        SettingsPanel p;
        QVERIFY(QFile::remove(QStringLiteral("settings.txt")));
        if (!scratch->refuseNewFiles())
            QSKIP("no way here to make a folder refuse new files");
        p.choose(0);
        QCOMPARE(p.settings->getPortSpeed(), 19200);
        QVERIFY(scratch->entries().isEmpty());
    }

    // The new file of a writer killed before it put it in place goes at the
    // next start; files of other names, however alike, stay.
    void leftoversOfAKilledWriterGoAtStart()
    {
        QVERIFY(ScratchDir::writeSettingsFile("#COM3#921600#6#ZOR"));
        const QStringList kept { QStringLiteral("settings.txt"), QStringLiteral("settings.txt.backup"),
            QStringLiteral("settings.txt.labbench-new-0123abc"), QStringLiteral("settings.txt.labbench-new-0123abcdX"),
            QStringLiteral("zor.txt.labbench-new-0123abcd") };
        for (const QString &name : kept.mid(1))
            QVERIFY(ScratchDir::writeFile(name, "#COM4#9600#0#ZOR"));
        QVERIFY(ScratchDir::writeFile(QStringLiteral("settings.txt.labbench-new-0123abcd"), "#COM5#96"));
        QVERIFY(ScratchDir::writeFile(QStringLiteral("settings.txt.labbench-new-ffffffff"), ""));
        SettingsPanel p;
        QCOMPARE(p.settings->getPortName(), QStringLiteral("COM3"));
        QStringList sorted = kept;
        sorted.sort();
        QCOMPARE(scratch->entries(), sorted);
    }

    // Deleted while the program runs: the next change writes it anew.
    void deletedWhileRunningIsWrittenAgain()
    {
        QVERIFY(ScratchDir::writeSettingsFile("#COM3#921600#6#ZOR"));
        SettingsPanel p;
        QVERIFY(QFile::remove(QStringLiteral("settings.txt")));
        p.choose(4);
        QCOMPARE(ScratchDir::readSettingsFile(), QByteArray("#COM3#230400#4#ZOR"));
    }

    // Replaced by a folder while the program runs: changes go nowhere, the
    // folder stays, and the values typed are still used for this run.
    void replacedByAFolderWhileRunning()
    {
        QVERIFY(ScratchDir::writeSettingsFile("#COM3#921600#6#ZOR"));
        SettingsPanel p;
        QVERIFY(QFile::remove(QStringLiteral("settings.txt")));
        QVERIFY(QDir().mkdir(QStringLiteral("settings.txt")));
        p.choose(0);
        p.editor()->setPlainText(QStringLiteral("/dev/ttyACM0"));
        QCOMPARE(p.settings->getPortSpeed(), 19200);
        QCOMPARE(p.settings->getPortName(), QStringLiteral("/dev/ttyACM0"));
        QVERIFY(QFileInfo(QStringLiteral("settings.txt")).isDir());
        QVERIFY(QDir(QStringLiteral("settings.txt")).isEmpty());
    }

    // A process killed at any moment of its rewrites leaves settings.txt
    // holding one complete text it wrote, never an empty or cut one.
    void killedWriterNeverLeavesAPartialFile()
    {
        QVERIFY(ScratchDir::writeSettingsFile("#/dev/ttyUSB#19200#0#ZOR"));
        const QSet<QByteArray> valid = writerTexts();
        auto *random = QRandomGenerator::global();
        for (int round = 0; round < 12; ++round) {
            QProcess writer;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QString::fromLatin1(kWriterVariable), scratch->path());
            writer.setProcessEnvironment(env);
            writer.start(QCoreApplication::applicationFilePath(), {});
            QVERIFY(writer.waitForStarted(10000));
            // Let it start up and rewrite for a while, then cut it off.
            QTest::qWait(300 + static_cast<int>(random->bounded(300)));
            writer.kill();
            QVERIFY(writer.waitForFinished(10000));
            const QByteArray now = ScratchDir::readSettingsFile();
            QVERIFY2(valid.contains(now), now.constData());
        }
        // Whatever the kills left beside it is gone at the next start.
        SettingsPanel next;
        QVERIFY(valid.contains(ScratchDir::readSettingsFile()));
        QCOMPARE(scratch->entries(), QStringList { QStringLiteral("settings.txt") });
    }
};

QTEST_MAIN(TestSettingsFaults)
#include "tst_settingsfaults.moc"
