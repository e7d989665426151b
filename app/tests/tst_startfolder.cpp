#include "scratchdir.h"
#include "startfolder.h"

#include <QDir>
#include <QtTest>

// The folder the program works in, against a scratch folder standing for the
// user's application-data folder.
class TestStartFolder : public QObject {
    Q_OBJECT

private:
    enum class Spelling { Plain, Native, TrailingSeparator, UpperCase, None };

    static QString spelled(const QString &path, Spelling spelling)
    {
        switch (spelling) {
        case Spelling::Plain:
            return path;
        case Spelling::Native:
            return QDir::toNativeSeparators(path);
        case Spelling::TrailingSeparator:
            return path + QLatin1Char('/');
        case Spelling::UpperCase:
            return path.toUpper();
        case Spelling::None:
            break;
        }
        return {};
    }

    static QString canonical(const QString &path) { return QDir(path).canonicalPath(); }

private slots:
    void choose_data()
    {
        QTest::addColumn<QString>("started"); // below the application-data folder
        QTest::addColumn<int>("spelling"); // how the system names that folder
        QTest::addColumn<QString>("expected"); // below it, the folder worked in
        QTest::newRow("started in it") << "" << int(Spelling::Plain) << "labbench";
        QTest::newRow("named with the system's separators")
            << "" << int(Spelling::Native) << "labbench";
        QTest::newRow("named with a separator at the end")
            << "" << int(Spelling::TrailingSeparator) << "labbench";
        QTest::newRow("in its own folder already")
            << "labbench" << int(Spelling::Plain) << "labbench";
        QTest::newRow("in another folder below it") << "bench" << int(Spelling::Plain) << "bench";
        QTest::newRow("a system without one") << "" << int(Spelling::None) << "";
        // Windows names a folder in any letter case; Linux does not.
#ifdef Q_OS_WIN
        QTest::newRow("named in other letters") << "" << int(Spelling::UpperCase) << "labbench";
#else
        QTest::newRow("named in other letters") << "" << int(Spelling::UpperCase) << "";
#endif
    }

    void choose()
    {
        QFETCH(QString, started);
        QFETCH(int, spelling);
        QFETCH(QString, expected);
        ScratchDir roaming;
        QVERIFY(roaming.isValid());
        QVERIFY(QDir().mkpath(roaming.filePath(started)));
        const QString chosen = startfolder::choose(
            roaming.filePath(started), spelled(roaming.path(), static_cast<Spelling>(spelling)));
        // The folder as the system names it: Windows keeps the letters given.
        const QString wanted = roaming.filePath(expected);
        QVERIFY2(
            QDir(chosen) == QDir(wanted), qPrintable(chosen + QStringLiteral(" is not ") + wanted));
    }

    // The first start makes the folder; later ones find it and stay there.
    void enterMakesTheFolderOnce()
    {
        ScratchDir roaming;
        QVERIFY(roaming.isValid());
        QVERIFY(startfolder::enter(roaming.path()));
        QCOMPARE(canonical(QDir::currentPath()),
            canonical(roaming.filePath(QStringLiteral("labbench"))));
        QVERIFY(ScratchDir::writeSettingsFile("#COM3#19200#0#ZOR"));
        QVERIFY(QDir::setCurrent(roaming.path()));
        QVERIFY(startfolder::enter(roaming.path()));
        QCOMPARE(ScratchDir::readSettingsFile(), QByteArray("#COM3#19200#0#ZOR"));
        QVERIFY(startfolder::enter(roaming.path()));
        QCOMPARE(canonical(QDir::currentPath()),
            canonical(roaming.filePath(QStringLiteral("labbench"))));
        QCOMPARE(roaming.entries(), QStringList { QStringLiteral("labbench") });
    }

    // A file where the folder would be: the program stays where it was
    // started and the file is left as it is.
    void aFileInTheWayKeepsTheStartFolder()
    {
        ScratchDir roaming;
        QVERIFY(roaming.isValid());
        QVERIFY(ScratchDir::writeFile(QStringLiteral("labbench"), "not a folder"));
        QVERIFY(!startfolder::enter(roaming.path()));
        QCOMPARE(canonical(QDir::currentPath()), canonical(roaming.path()));
        QCOMPARE(ScratchDir::readFile(QStringLiteral("labbench")), QByteArray("not a folder"));
    }

    // Windows has the folder; elsewhere the program stays where it starts.
    void roamingFolderOfThisSystem()
    {
        const QString roaming = startfolder::roamingFolder();
#ifdef Q_OS_WIN
        QVERIFY(!roaming.isEmpty());
        QVERIFY(QDir(roaming).exists());
#else
        QVERIFY(roaming.isEmpty());
#endif
    }
};

QTEST_MAIN(TestStartFolder)
#include "tst_startfolder.moc"
