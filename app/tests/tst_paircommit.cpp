#include "exportfolder.h"
#include "paircommit.h"
#include "scratchdir.h"

#include <QDir>
#include <QFile>
#include <QtTest>

// An export's two files put in place together, in a scratch folder; and the
// folder its dialog opens in.
class TestPairCommit : public QObject {
    Q_OBJECT

private:
    static QStringList folder() { return QDir::current().entryList(QDir::Files | QDir::Hidden); }

private slots:
    void bothAppearWhole()
    {
        ScratchDir scratch;
        QVERIFY(scratch.isValid());
        QString path, reason;
        QVERIFY(PairCommit().write(QStringLiteral("a.csv"), "table\n", QStringLiteral("a.png"),
            "picture", path, reason));
        QCOMPARE(ScratchDir::readFile(QStringLiteral("a.csv")), QByteArray("table\n"));
        QCOMPARE(ScratchDir::readFile(QStringLiteral("a.png")), QByteArray("picture"));
        QCOMPARE(folder(), (QStringList { "a.csv", "a.png" }));
    }

    // Any step may fail, the putting in place of the second file last: the
    // earlier pair stays as it was, and nothing new is left behind.
    void aFailedStepKeepsTheEarlierPair_data()
    {
        QTest::addColumn<QString>("failing"); // the rename whose target ends so fails
        QTest::addColumn<QString>("failedPath");
        QTest::newRow("second commit") << "b.png" << "b.png";
        QTest::newRow("first commit") << "b.csv" << "b.csv";
        QTest::newRow("moving the old picture aside") << "b.png.old" << "b.png";
    }

    void aFailedStepKeepsTheEarlierPair()
    {
        QFETCH(QString, failing);
        ScratchDir scratch;
        QVERIFY(scratch.isValid());
        QVERIFY(ScratchDir::writeFile(QStringLiteral("b.csv"), "old table\n"));
        QVERIFY(ScratchDir::writeFile(QStringLiteral("b.png"), "old picture"));
        PairCommit commit([&](const QString &from, const QString &to) {
            return to != failing && QFile::rename(from, to);
        });
        QString path, reason;
        QVERIFY(!commit.write(QStringLiteral("b.csv"), "new table\n", QStringLiteral("b.png"),
            "new picture", path, reason));
        QTEST(path, "failedPath");
        QVERIFY(!reason.isEmpty());
        QCOMPARE(ScratchDir::readFile(QStringLiteral("b.csv")), QByteArray("old table\n"));
        QCOMPARE(ScratchDir::readFile(QStringLiteral("b.png")), QByteArray("old picture"));
        QCOMPARE(folder(), (QStringList { "b.csv", "b.png" }));
    }

    void aFolderThatCannotBeWrittenChangesNothing()
    {
        ScratchDir scratch;
        QVERIFY(scratch.isValid());
        QVERIFY(ScratchDir::writeFile(QStringLiteral("blocker"), "not a folder"));
        QString path, reason;
        QVERIFY(!PairCommit().write(QStringLiteral("blocker/c.csv"), "t", QStringLiteral("blocker/c.png"),
            "p", path, reason));
        QCOMPARE(path, QStringLiteral("blocker/c.csv"));
        QCOMPARE(folder(), QStringList { "blocker" });
    }

    void dialogFolder_data()
    {
        QTest::addColumn<QString>("lastUsed");
        QTest::addColumn<QString>("working");
        QTest::addColumn<QString>("expected");
        // Folders under the scratch root: "settings" is the program's own.
        QTest::newRow("the last folder used") << "exports" << "settings" << "exports";
        QTest::newRow("a last folder since removed") << "gone" << "bench" << "bench";
        QTest::newRow("the working folder") << "" << "bench" << "bench";
        QTest::newRow("not the settings folder: Documents") << "" << "settings" << "Documents";
        QTest::newRow("nor the settings folder by another name")
            << "" << "bench/../settings" << "Documents";
    }

    void dialogFolder()
    {
        QFETCH(QString, lastUsed);
        QFETCH(QString, working);
        QFETCH(QString, expected);
        ScratchDir scratch;
        QVERIFY(scratch.isValid());
        const QDir root = QDir::current();
        for (const char *dir : { "exports", "settings", "bench", "Documents" })
            QVERIFY(root.mkpath(QLatin1String(dir)));
        const auto at = [&](const QString &name) {
            return name.isEmpty() ? QString() : root.filePath(name);
        };
        QCOMPARE(QDir(exportfolder::choose(at(lastUsed), at(working), { at(QStringLiteral("settings")) },
                          at(QStringLiteral("Documents"))))
                     .canonicalPath(),
            QDir(at(expected)).canonicalPath());
    }
};

QTEST_MAIN(TestPairCommit)
#include "tst_paircommit.moc"
