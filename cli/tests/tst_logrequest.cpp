#include "logrequest.h"
#include "options.h"
#include "scratchdir.h"

#include <QtTest>

// What `labbench-cli log` makes of its options, without a device.
class TestLogRequest : public QObject {
    Q_OBJECT
private slots:
    void durations_data();
    void durations();
    void logRequest_data();
    void logRequest();
};

void TestLogRequest::durations_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("frame");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<qint64>("ms");
    QTest::newRow("1s") << "1s" << true << true << qint64(1000);
    QTest::newRow("1.5s") << "1.5s" << false << true << qint64(1500);
    QTest::newRow("1min") << "1min" << true << true << qint64(60000);
    QTest::newRow("10h") << "10h" << false << true << qint64(36000000);
    QTest::newRow("250ms") << "250ms" << false << true << qint64(250);
    QTest::newRow("frame where allowed") << "frame" << true << true << qint64(0);
    QTest::newRow("frame where not") << "frame" << false << false << qint64(0);
    QTest::newRow("no unit") << "10" << false << false << qint64(0);
    QTest::newRow("zero") << "0s" << false << false << qint64(0);
    QTest::newRow("below a millisecond") << "0.4ms" << false << false << qint64(0);
    QTest::newRow("m is not a unit") << "10m" << false << false << qint64(0);
    QTest::newRow("negative") << "-1s" << false << false << qint64(0);
}

void TestLogRequest::durations()
{
    QFETCH(QString, text);
    QFETCH(bool, frame);
    QFETCH(bool, valid);
    qint64 ms = -1;
    QCOMPARE(parseDuration(text, frame, ms), valid);
    if (valid)
        QTEST(ms, "ms");
}

void TestLogRequest::logRequest_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("problem"); // empty: parsed; else how the message begins
    QTest::addColumn<int>("everyMs");
    QTest::addColumn<qint64>("durationMs");
    QTest::addColumn<int>("gain1");
    QTest::addColumn<int>("gain2");
    QTest::addColumn<qint64>("timeoutMs");

    QTest::newRow("defaults") << QStringList {} << "" << 1000 << qint64(0) << -1 << -1
                              << qint64(60000);
    QTest::newRow("every frame for 10 h")
        << QStringList { "--every", "frame", "--duration", "10h" } << "" << 0 << qint64(36000000)
        << -1 << -1 << qint64(60000);
    QTest::newRow("a fixed range for both") << QStringList { "--range", "25mV/dz" } << "" << 1000
                                            << qint64(0) << 6 << 6 << qint64(60000);
    QTest::newRow("auto and a fixed range")
        << QStringList { "--channels", "2", "--range", "auto,1V/dz" } << "" << 1000 << qint64(0)
        << -1 << 1 << qint64(60000);
    QTest::newRow("timeout in plain seconds")
        << QStringList { "--timeout", "5" } << "" << 1000 << qint64(0) << -1 << -1 << qint64(5000);
    QTest::newRow("timeout with a unit") << QStringList { "--timeout", "2min" } << "" << 1000
                                         << qint64(0) << -1 << -1 << qint64(120000);
    QTest::newRow("unknown range")
        << QStringList { "--range", "3V/dz" } << "unknown range \"3V/dz\"; valid: auto 2.5V/dz" << 0
        << qint64(0) << 0 << 0 << qint64(0);
    QTest::newRow("unknown interval")
        << QStringList { "--every", "often" } << "unknown interval \"often\"" << 0 << qint64(0) << 0
        << 0 << qint64(0);
    QTest::newRow("duration of frames")
        << QStringList { "--duration", "frame" } << "unknown duration \"frame\"" << 0 << qint64(0)
        << 0 << 0 << qint64(0);
    QTest::newRow("channels 3") << QStringList { "--channels", "3" }
                                << "--channels takes 1 or 2, not \"3\"" << 0 << qint64(0) << 0 << 0
                                << qint64(0);
    QTest::newRow("format xml") << QStringList { "--format", "xml" }
                                << "unknown format \"xml\"; valid: csv json" << 0 << qint64(0) << 0
                                << 0 << qint64(0);
    QTest::newRow("timeout 0") << QStringList { "--timeout", "0" } << "unknown timeout \"0\"" << 0
                               << qint64(0) << 0 << 0 << qint64(0);
}

void TestLogRequest::logRequest()
{
    QFETCH(QStringList, args);
    QFETCH(QString, problem);
    ScratchDir scratch;
    QVERIFY(scratch.isValid());
    Options o;
    QVERIFY2(o.parse(args, LogRequest::valued(), {}), qPrintable(o.error()));
    LogRequest request;
    QString error;
    QCOMPARE(request.parse(o, error), problem.isEmpty());
    QVERIFY2(problem.isEmpty() ? error.isEmpty() : error.startsWith(problem), qPrintable(error));
    if (!problem.isEmpty())
        return;
    QTEST(request.everyMs, "everyMs");
    QTEST(request.durationMs, "durationMs");
    QTEST(request.gain[0], "gain1");
    QTEST(request.gain[1], "gain2");
    QTEST(request.timeoutMs, "timeoutMs");
}

QTEST_MAIN(TestLogRequest)
#include "tst_logrequest.moc"
