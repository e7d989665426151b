#include "linetiming.h"

#include <QtTest>

// The waits sized from the time base and the line speed, against what the
// device takes: a frame at 50ms/dz samples for about 3.1 s, and its 2050
// bytes take 1.07 s at 19200 bit/s and 0.18 s at 115200.
class TestLineTiming : public QObject {
    Q_OBJECT
private slots:
    void frames_data()
    {
        QTest::addColumn<int>("tbIndex");
        QTest::addColumn<int>("speed");
        QTest::addColumn<int>("frameMs");
        QTest::newRow("50ms/dz at 115200") << 14 << 115200 << 3303;
        QTest::newRow("50ms/dz at 19200") << 14 << 19200 << 4193;
        QTest::newRow("200us/dz at 19200: the line is most of it") << 7 << 19200 << 1081;
        QTest::newRow("2us/dz at 2500000") << 0 << 2500000 << 9;
    }

    void frames()
    {
        QFETCH(int, tbIndex);
        QFETCH(int, speed);
        QTEST(linetiming::frameMs(tbIndex, speed), "frameMs");
    }

    // New settings: the device may first finish a frame at the slowest time
    // base, and the one after may be at it still; never less than that.
    void settingsWaitOutTwoSlowFrames_data()
    {
        QTest::addColumn<int>("speed");
        for (const int speed : { 19200, 115200, 2500000 })
            QTest::newRow(qPrintable(QString::number(speed))) << speed;
    }

    void settingsWaitOutTwoSlowFrames()
    {
        QFETCH(int, speed);
        QVERIFY(linetiming::serveTimeoutMs(speed) > 2 * linetiming::frameMs(14, speed) + 1000);
    }

    void noData_data()
    {
        QTest::addColumn<int>("lastTbIndex");
        QTest::addColumn<int>("tbIndex");
        QTest::addColumn<int>("speed");
        QTest::addColumn<int>("noDataMs");
        QTest::newRow("fast frames: about 2 s") << 7 << 7 << 115200 << 2000;
        QTest::newRow("from 50ms/dz to 200us/dz") << 14 << 7 << 115200 << 3303 + 191 + 500;
        QTest::newRow("50ms/dz at 19200") << 14 << 14 << 19200 << 2 * 4193 + 500;
    }

    void noData()
    {
        QFETCH(int, lastTbIndex);
        QFETCH(int, tbIndex);
        QFETCH(int, speed);
        QTEST(linetiming::noDataMs(lastTbIndex, tbIndex, speed), "noDataMs");
    }
};

QTEST_MAIN(TestLineTiming)
#include "tst_linetiming.moc"
