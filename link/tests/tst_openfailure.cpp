#include "openfailure.h"

#include <QTest>

// What "Unable to open" is followed by, in the window and in labbench-cli.
class TestOpenFailure : public QObject {
    Q_OBJECT

private slots:
    void reason_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("detail");
        QTest::addColumn<QString>("reason");
        using Kind = OpenFailure::Kind;
        QTest::newRow("none") << int(Kind::None) << QString() << QString();
        QTest::newRow("no such port") << int(Kind::NoSuchPort) << QString()
                                      << QStringLiteral("no such port");
        QTest::newRow("the usual group") << int(Kind::NoPermission) << QStringLiteral("dialout")
                                         << QStringLiteral("no permission: the port belongs to the "
                                                           "group dialout; add yourself to it (sudo "
                                                           "usermod -aG dialout $USER) and log in again");
        QTest::newRow("another group") << int(Kind::NoPermission) << QStringLiteral("uucp")
                                       << QStringLiteral("no permission: the port belongs to the "
                                                         "group uucp; add yourself to it (sudo "
                                                         "usermod -aG uucp $USER) and log in again");
        // A port without a udev rule: the group root is no group to join.
        QTest::newRow("root's alone") << int(Kind::NoPermission) << QStringLiteral("root")
                                      << QStringLiteral("no permission: the port belongs to root "
                                                        "alone; give it to the group dialout with a "
                                                        "udev rule (GROUP=\"dialout\") and be in that "
                                                        "group");
        QTest::newRow("group unknown") << int(Kind::NoPermission) << QString()
                                       << QStringLiteral("no permission");
        QTest::newRow("the system's words") << int(Kind::Other) << QStringLiteral("I/O error")
                                            << QStringLiteral("I/O error");
    }

    void reason()
    {
        QFETCH(int, kind);
        QFETCH(QString, detail);
        const OpenFailure failure { static_cast<OpenFailure::Kind>(kind), detail };
        QTEST(failure.reason(), "reason");
    }
};

QTEST_GUILESS_MAIN(TestOpenFailure)
#include "tst_openfailure.moc"
