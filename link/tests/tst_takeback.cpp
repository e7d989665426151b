#include "fakedevice.h"
#include "framebuffer.h"
#include "gentable.h"
#include "thread.h"
#include "zorcom.h"

#include <QTest>

#include <memory>

// A device left by another program in a state in which it sends nothing
// until asked, met by a worker that opens the port: the worker's first hunt
// for a frame ends when the line has been quiet a while, and the worker asks.
class TestTakeBack : public QObject {
    Q_OBJECT

private:
    FrameBuffer frames;
    GenTable table;
    std::unique_ptr<FakeDevice> device;
    std::unique_ptr<ZORCom> link;

    static LinkPolicy::Times times()
    {
        LinkPolicy::Times t = Thread::timesFor(115200);
        t.exchangeMs = 1500;
        t.quietMs = 150;
        t.quitEchoMs = 100;
        return t;
    }

    void open()
    {
        link = std::make_unique<ZORCom>(&frames, &table);
        link->setTimes(times());
        QVERIFY(link->Open(device->slavePath(), 115200));
        QVERIFY(link->Start());
    }

    // The device's answers to a mode change once it is reached: the echoes
    // of "q" and of the mode byte, then a frame, which the worker takes.
    bool answerModeChange(char mode)
    {
        if (!device->expect("q"))
            return false;
        device->send("q");
        if (!device->expect(QByteArray(1, mode)))
            return false;
        device->send(QByteArray(1, mode));
        device->send(FakeDevice::frame(QVector<int>(1024, 0x0321)));
        return device->expect("g");
    }

private slots:
    void init()
    {
        frames.store(Frame {});
        device = std::make_unique<FakeDevice>();
        QVERIFY(device->ok());
    }

    void cleanup()
    {
        link.reset();
        device.reset();
    }

    // Left in the generator, or acquiring but waiting for the "g" a program
    // that went away never sent, or in the middle of a setting: the first
    // "q" is echoed, and the mode the tab wants goes out.
    void aQuietDeviceIsAskedForTheTabsMode_data()
    {
        QTest::addColumn<bool>("tabAsks");
        QTest::newRow("a tab asked for two channels") << true;
        QTest::newRow("no tab asked: one channel, the worker's own") << false;
    }

    void aQuietDeviceIsAskedForTheTabsMode()
    {
        QFETCH(bool, tabAsks);
        open();
        if (tabAsks)
            link->osc2chStart();
        QVERIFY(device->drain(100).isEmpty()); // not before the line has been quiet
        QVERIFY(answerModeChange(tabAsks ? 'c' : 'a'));
        QTRY_COMPARE(frames.snapshot()[0], 0x0321);
    }

    // The tail of a frame the last program did not wait for is hunted past;
    // then the device waits for a "g" that never comes, and is asked.
    void theTailOfAFrameIsHuntedPast()
    {
        open();
        link->osc1chStart();
        device->send(FakeDevice::frame(QVector<int>(1024, 0x0102)).mid(900));
        QVERIFY(answerModeChange('a'));
        QTRY_COMPARE(frames.snapshot()[0], 0x0321);
    }

    // A table upload the last program left unfinished swallows the first
    // "q" as table data: enough bytes follow to finish it, their echoes are
    // let go by, and the mode change goes on.
    void anUnfinishedUploadIsFilledUp()
    {
        open();
        link->osc1chStart();
        const int owed = 700; // table bytes the device still waits for
        const QByteArray taken = device->read(owed, 3000);
        QCOMPARE(taken, QByteArray(owed, 'q'));
        // The device echoes every "q" it reads after the table is complete.
        const QByteArray rest = device->drain(50);
        QVERIFY2(rest.size() >= 1024 + 1 - owed, qPrintable(QString::number(rest.size())));
        QVERIFY(rest.count('q') == rest.size());
        device->send(QByteArray(rest.size(), 'q'));
        QVERIFY(answerModeChange('a'));
        QTRY_COMPARE(frames.snapshot()[0], 0x0321);
    }

    // A device that answers at once is not sent the filler.
    void anAnsweringDeviceGetsNoFiller()
    {
        open();
        link->genStart();
        QVERIFY(device->expect("q"));
        device->send("q");
        QVERIFY(device->expect("e"));
        device->send("e");
        QVERIFY(device->drain(times().quitEchoMs + 100).isEmpty());
    }

    // A frame arriving during the first hunt is taken at once: a device that
    // acquires is not interrupted.
    void aDeviceThatSendsFramesIsNotInterrupted()
    {
        open();
        device->send(FakeDevice::frame(QVector<int>(1024, 0x0404)));
        QVERIFY(device->expect("g"));
        QTRY_COMPARE(frames.snapshot()[0], 0x0404);
        QTest::qWait(times().quietMs + 100);
        device->send(FakeDevice::frame(QVector<int>(1024, 0x0505)));
        QVERIFY(device->expect("g"));
        QVERIFY(device->drain(100).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestTakeBack)
#include "tst_takeback.moc"
