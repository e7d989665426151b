#include "fakedevice.h"
#include "framebuffer.h"
#include "gentable.h"
#include "protocol.h"
#include "shared.h"
#include "zorcom.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

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

    // A port name is a file name: letters outside Latin-1 must reach open()
    // as the system spells them.
    void portNameWithNonAsciiLettersOpens()
    {
        FakeDevice device;
        QVERIFY(device.ok());
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString name = dir.filePath(QStringLiteral("zasilacz-żółw-Ω"));
        QVERIFY(QFile::link(device.slavePath(), name));
        FrameBuffer frames;
        GenTable table;
        ZORCom link(&frames, &table);
        QVERIFY(link.Open(name, 115200));
        QVERIFY(link.isOpen());
    }

    // The line takes no more bytes (the device stopped reading; another
    // writer filled the line first): the worker waits for room in the middle
    // of entering the generator or of a table upload, whichever the little
    // room left lets it reach. Close must not wait for the device.
    void closeIsPromptWhileWritesWaitForRoom()
    {
        FakeDevice device;
        QVERIFY(device.ok());
        const int other = ::open(device.slavePath().toLatin1().constData(),
                                 O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        QVERIFY(other != -1);
        FrameBuffer frames;
        GenTable table;
        ZORCom link(&frames, &table);
        QVERIFY(link.Open(device.slavePath(), 115200));
        int filled = 0;
        const char filler = 0x55;
        while (::write(other, &filler, 1) == 1)
            ++filled;
        ::close(other);
        QVERIFY(filled > gentable::kBytes);
        QCOMPARE(device.read(64).size(), 64); // a little room, less than a table

        device.send("qeg"); // the echoes of entering the generator and of the upload
        link.genStart();
        link.sendGenChannel();
        link.Start();
        QTest::qWait(300); // let the worker run into the full line

        QElapsedTimer timer;
        timer.start();
        QVERIFY(link.Close());
        const qint64 took = timer.elapsed();
        qInfo("Close with writes waiting for room: %lld ms", took);
        QVERIFY2(took < 1000, qPrintable(QString::number(took)));
        QVERIFY(device.drain(100).size() < filled - 64 + 4 + gentable::kBytes);
    }
};

QTEST_GUILESS_MAIN(TestZorCom)
#include "tst_zorcom.moc"
