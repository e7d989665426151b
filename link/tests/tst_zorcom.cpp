#include "fakedevice.h"
#include "framebuffer.h"
#include "gentable.h"
#include "shared.h"
#include "zorcom.h"

#include <QTest>

// The link object before and around its worker's life.
class TestZorCom : public QObject {
    Q_OBJECT

private slots:
    void failedOpenLeavesStatusAndNoWorker()
    {
        FrameBuffer frames;
        GenTable table;
        sts.set(QStringLiteral("before"));
        ZORCom link(&frames, &table);
        QVERIFY(!link.Open(QStringLiteral("/dev/no-such-port"), 115200));
        QCOMPARE(sts.get(), QStringLiteral("before"));
        QVERIFY(!link.isOpen());
        // Requests on a link that never opened do nothing and still succeed.
        QVERIFY(link.setGain(1, 2));
        QVERIFY(link.osc1chStart());
        QVERIFY(link.setFreq(1, 2));
        QVERIFY(link.Start());
    }

    void requestsBeforeStartAreServedOnceRunning()
    {
        FrameBuffer frames;
        GenTable table;
        FakeDevice device;
        QVERIFY(device.ok());
        ZORCom link(&frames, &table);
        QVERIFY(link.Open(device.slavePath(), 2500000));
        link.setTimeBase(7);
        QVERIFY(device.drain(100).isEmpty()); // not started: nothing moves
        link.Start();
        // Nothing is pending a frame yet, so the request goes out first.
        QVERIFY(device.expect("s"));
    }

    void openTwiceIsRefused()
    {
        FrameBuffer frames;
        GenTable table;
        FakeDevice device;
        QVERIFY(device.ok());
        ZORCom link(&frames, &table);
        QVERIFY(link.Open(device.slavePath(), 115200));
        QVERIFY(!link.Open(device.slavePath(), 115200));
        QVERIFY(link.Close());
    }

    void destroyingAnOpenLinkStopsItsWorker()
    {
        FrameBuffer frames;
        GenTable table;
        FakeDevice device;
        QVERIFY(device.ok());
        {
            ZORCom link(&frames, &table);
            QVERIFY(link.Open(device.slavePath(), 115200));
            link.Start();
            device.send("w");
            QVERIFY(device.expect("w"));
        }
        // The worker is gone: prompts are no longer answered.
        device.send("w");
        QVERIFY(device.drain(150).isEmpty());
    }

    void closeThenOpenAgainOnTheSameLine()
    {
        FrameBuffer frames;
        GenTable table;
        FakeDevice device;
        QVERIFY(device.ok());
        for (int round = 0; round < 3; ++round) {
            ZORCom link(&frames, &table);
            QVERIFY(link.Open(device.slavePath(), 115200));
            link.Start();
            device.send(FakeDevice::frame(QVector<int>(1024, round + 1)));
            QVERIFY(device.expect("g"));
            QVERIFY(link.Close());
            QCOMPARE(frames.snapshot()[0], round + 1);
        }
    }
};

QTEST_GUILESS_MAIN(TestZorCom)
#include "tst_zorcom.moc"
