#include "driverlog.h"
#include "fakedevice.h"
#include "shared.h"
#include "zorcom.h"

#include <QElapsedTimer>
#include <QVector>
#include <QtTest>

#include <memory>
#include <thread>

// The worker of the Windows build over a scripted device: each test opens the
// link, lets the worker take one frame, then plays the exchange it checks.
class TestWindowsWorker : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void frameIsDecodedWithoutLookingForItsEnd();
    void shortFrameKeepsThePreviousFramesBytes();
    void wholeFrameIsAcknowledgedWithoutWaitingForTheTimeOut();
    void huntAnswersPrompts();
    void framesComeWithoutWaitingOnADriverThatWaitsForAll();
    void modeCommandIsWrittenAgainAfter100Reads_data();
    void modeCommandIsWrittenAgainAfter100Reads();
    void twoChannelsSendsTheExtraC();
    void uploadReportsSendAndSent();
    void hangUpEndsTheWorkerWithLineLost();
    void hangUpWhileTheGeneratorPlaysEndsTheWorkerWithLineLost_data();
    void hangUpWhileTheGeneratorPlaysEndsTheWorkerWithLineLost();
    void hangUpSeenByADriverThatReadsNothingEndsWithLineLost();
    void closeIsPromptOnASilentDevice();
    void silentLineCostsFewCalls();
    void playingGeneratorCostsFewCalls();
    void slowFrameArrivesWhole();
    void closeEndsAStalledUpload();
    void aDeviceLeftQuietIsTakenBack();

private:
    void open();
    void takeFrame(const QVector<int> &samples);
    void openAndTakeFrame(const QVector<int> &samples);
    void playGenerator();

    std::unique_ptr<FakeDevice> device;
    std::unique_ptr<ZORCom> link;
};

void TestWindowsWorker::init()
{
    DriverLog::reset();
    device = std::make_unique<FakeDevice>();
    QVERIFY(device->ok());
    link = std::make_unique<ZORCom>(&buff, &buff_gen);
}

void TestWindowsWorker::cleanup()
{
    link.reset();
    device.reset();
}

void TestWindowsWorker::open()
{
    QVERIFY(link->Open(device->slavePath(), 115200));
    QVERIFY(link->Start());
}

void TestWindowsWorker::openAndTakeFrame(const QVector<int> &samples)
{
    open();
    takeFrame(samples);
}

// Opens the link and lets the generator start playing; the worker then only
// rests between passes.
void TestWindowsWorker::playGenerator()
{
    open();
    link->genStart();
    takeFrame({});
    QVERIFY(device->expect("q"));
    device->send("q");
    QVERIFY(device->expect("e"));
    device->send("e");
    QTRY_COMPARE(sts.get(), QStringLiteral("set gen"));
}

// Requests made before this are served once the frame is in.
void TestWindowsWorker::takeFrame(const QVector<int> &samples)
{
    bufReady.store(false);
    device->send(FakeDevice::frame(samples));
    // The one read takes the data and the "E" and ends there.
    QCOMPARE(device->read(1, 3000), QByteArray("g"));
    QTRY_VERIFY(bufReady.load());
}

void TestWindowsWorker::frameIsDecodedWithoutLookingForItsEnd()
{
    // 0x4545 puts "E" bytes first in the frame; the Linux rules would stop there.
    openAndTakeFrame({ 0x4545, 4660, -2, 32767, -32768 });
    const Frame frame = buff.snapshot();
    QCOMPARE(frame[0], 0x4545);
    QCOMPARE(frame[1], 4660);
    QCOMPARE(frame[2], -2);
    QCOMPARE(frame[3], 32767);
    QCOMPARE(frame[4], -32768);
    QCOMPARE(frame[1023], 0);
    QCOMPARE(sts.get(), QStringLiteral("opened")); // no "read ch" in this build
}

void TestWindowsWorker::shortFrameKeepsThePreviousFramesBytes()
{
    openAndTakeFrame(QVector<int>(1024, 1000));
    bufReady.store(false);
    QByteArray shortFrame("S");
    for (int i = 0; i < 500; ++i)
        shortFrame.append("\x07\x00", 2); // sample 7
    device->send(shortFrame);
    QCOMPARE(device->read(1, 3000), QByteArray("g"));
    QTRY_VERIFY(bufReady.load());
    const Frame frame = buff.snapshot();
    QCOMPARE(frame[0], 7);
    QCOMPARE(frame[499], 7);
    QCOMPARE(frame[500], 1000);
    QCOMPARE(frame[1023], 1000);
}

// The device sends nothing after a frame's "E" until it gets "g": a read that
// asked for more would hold every frame for the whole 500 ms time-out.
void TestWindowsWorker::wholeFrameIsAcknowledgedWithoutWaitingForTheTimeOut()
{
    open();
    for (int n = 0; n < 3; ++n) {
        device->send(FakeDevice::frame(QVector<int>(1024, n + 1)));
        QCOMPARE(device->read(1, 250), QByteArray("g"));
    }
    QTRY_COMPARE(buff.snapshot()[0], 3);
}

void TestWindowsWorker::huntAnswersPrompts()
{
    QVERIFY(link->Open(device->slavePath(), 115200));
    QVERIFY(link->Start());
    device->send("w");
    QCOMPARE(device->read(1), QByteArray("w"));
    device->send(">");
    QCOMPARE(device->read(1), QByteArray("a"));
    link->osc2chStart(); // served after the frame; the answer follows at once
    device->send("x>");
    QCOMPARE(device->read(1), QByteArray("c"));
}

// A driver that ends a read only when all it asked for is there (Wine's)
// holds every read that asks for more than comes until the time-out: the
// line asks for what is queued, one byte to wait for, or a whole frame.
void TestWindowsWorker::framesComeWithoutWaitingOnADriverThatWaitsForAll()
{
    DriverLog::setReadsWaitForAll(true);
    open();
    link->osc1chStart();
    takeFrame({});
    // Each echo is one byte: a read asking for more would wait out the time-out.
    QCOMPARE(device->read(1), QByteArray("q"));
    device->send("q");
    QCOMPARE(device->read(1), QByteArray("a"));
    device->send("a");
    for (int n = 0; n < 5; ++n)
        takeFrame(QVector<int>(1024, n + 1));
    QCOMPARE(buff.snapshot()[0], 5);
    QCOMPARE(DriverLog::record().lateReads, 0);
    // A short frame is read whole in the next reads, none of them late.
    bufReady.store(false);
    QByteArray shortFrame("S");
    shortFrame.append(QByteArray(700, '\x01'));
    device->send(shortFrame);
    QCOMPARE(device->read(1, 3000), QByteArray("g"));
    QCOMPARE(DriverLog::record().lateReads, 1); // the frame's own end, at the time-out
}

void TestWindowsWorker::modeCommandIsWrittenAgainAfter100Reads_data()
{
    QTest::addColumn<int>("noise");
    QTest::addColumn<QByteArray>("rewrites");

    // The device drops the first "q" and sends other bytes; its echo comes
    // after them. An echo that is the 100th byte read is still in time.
    QTest::newRow("echo as 100th read") << 99 << QByteArray();
    QTest::newRow("echo as 101st read") << 100 << QByteArray("q");
    QTest::newRow("echo as 201st read") << 200 << QByteArray("qq");
}

void TestWindowsWorker::modeCommandIsWrittenAgainAfter100Reads()
{
    QFETCH(int, noise);
    QFETCH(QByteArray, rewrites);
    open();
    link->osc1chStart();
    takeFrame({});
    QCOMPARE(device->read(1), QByteArray("q"));
    device->send(QByteArray(noise, 'x') + "q");
    const QByteArray until = device->read(rewrites.size() + 1);
    QCOMPARE(until, rewrites + "a");
    QCOMPARE(sts.get(), QStringLiteral("set 1 ch"));
    device->send("a");
    QCOMPARE(device->drain(200), QByteArray()); // settled: hunting for a frame
}

void TestWindowsWorker::twoChannelsSendsTheExtraC()
{
    open();
    link->osc2chStart();
    takeFrame({});
    QCOMPARE(device->read(1), QByteArray("q"));
    device->send("q");
    QCOMPARE(device->read(2), QByteArray("cc"));
    device->send("c");
    QCOMPARE(device->drain(200), QByteArray());
    QCOMPARE(sts.get(), QStringLiteral("set 2 ch"));
}

void TestWindowsWorker::uploadReportsSendAndSent()
{
    buff_gen.edit([](int *entries) {
        for (int i = 0; i < 512; ++i)
            entries[i] = 0;
        entries[0] = -2048;
        entries[1] = 2047;
    });
    open();
    link->genStart();
    takeFrame({});
    QVERIFY(device->expect("q"));
    device->send("q");
    QVERIFY(device->expect("e"));
    device->send("e");
    link->sendGenChannel();
    QVERIFY(device->expect("g"));
    QCOMPARE(sts.get(), QStringLiteral("send ch"));
    device->send("g");
    const QByteArray upload = device->read(1 + 1024);
    QCOMPARE(upload.size(), 1025);
    QCOMPARE(upload.left(5), QByteArray("S\x00\x00\xFF\x0F", 5));
    QCOMPARE(upload.mid(5, 2), QByteArray("\x00\x08", 2));
    QTRY_COMPARE(sts.get(), QStringLiteral("sent ch"));
}

void TestWindowsWorker::hangUpEndsTheWorkerWithLineLost()
{
    openAndTakeFrame({});
    device->hangUp();
    QTRY_VERIFY(link->lineLost());
    QCOMPARE(sts.get(), QStringLiteral("line lost"));
    QVERIFY(link->Close());
    QCOMPARE(sts.get(), QStringLiteral("closed"));
}

void TestWindowsWorker::hangUpWhileTheGeneratorPlaysEndsTheWorkerWithLineLost_data()
{
    QTest::addColumn<QByteArray>("stray");
    QTest::newRow("quiet line") << QByteArray();
    // Bytes nobody asked for wait unread in the driver while the generator
    // plays; an unplug takes them with the adapter.
    QTest::newRow("stray bytes queued") << QByteArray("zz");
}

// Nothing is exchanged while the generator plays: only the worker's rests can
// see the adapter go.
void TestWindowsWorker::hangUpWhileTheGeneratorPlaysEndsTheWorkerWithLineLost()
{
    QFETCH(QByteArray, stray);
    playGenerator();
    if (QTest::currentTestFailed())
        return;
    device->send(stray);
    QVERIFY(device->drain(300).isEmpty());
    QVERIFY(!link->lineLost());
    QElapsedTimer clock;
    clock.start();
    device->hangUp();
    QTRY_VERIFY_WITH_TIMEOUT(link->lineLost(), 1000);
    qDebug("line lost %lld ms after the unplug", static_cast<long long>(clock.elapsed()));
    QCOMPARE(sts.get(), QStringLiteral("line lost"));
    QVERIFY(link->Close());
    QCOMPARE(sts.get(), QStringLiteral("closed"));
}

// Wine's driver ends reads on an unplugged line with nothing; only a
// question about the port (ClearCommError) fails. The line asks it once per
// quiet time-out.
void TestWindowsWorker::hangUpSeenByADriverThatReadsNothingEndsWithLineLost()
{
    DriverLog::setHungUpReadsEndEmpty(true);
    openAndTakeFrame({});
    QCOMPARE(DriverLog::record().lateReads, 0);
    device->hangUp();
    QTRY_VERIFY_WITH_TIMEOUT(link->lineLost(), 3000);
    QCOMPARE(sts.get(), QStringLiteral("line lost"));
    QVERIFY(link->Close());
}

void TestWindowsWorker::closeIsPromptOnASilentDevice()
{
    const int handles = DriverLog::liveHandles();
    openAndTakeFrame({});
    QElapsedTimer clock;
    clock.start();
    QVERIFY(link->Close());
    QVERIFY2(clock.elapsed() < 400, "a stop must not wait out the line's 500 ms time-out");
    QCOMPARE(sts.get(), QStringLiteral("closed"));
    QVERIFY(!link->lineLost());
    link.reset();
    QCOMPARE(DriverLog::liveHandles(), handles);
}

// The line waits in the driver: a quiet second is a few reads, not a
// thousand queue polls.
void TestWindowsWorker::silentLineCostsFewCalls()
{
    open();
    QTest::qWait(200);
    const auto calls = DriverLog::calls();
    QElapsedTimer clock;
    clock.start();
    QTest::qWait(1000);
    const double perSecond = double(DriverLog::calls() - calls) * 1000.0 / double(clock.elapsed());
    qDebug("%.1f Win32 calls a second on a silent line", perSecond);
    QVERIFY(perSecond <= 20.0);
}

// At 19,200 bit/s a frame takes 1.07 s to come; the one read of it must
// take it all, not stop at the first lull between the driver's chunks.
// The rests that watch for an unplug look at the port once each.
void TestWindowsWorker::playingGeneratorCostsFewCalls()
{
    playGenerator();
    if (QTest::currentTestFailed())
        return;
    QTest::qWait(200);
    const auto calls = DriverLog::calls();
    QElapsedTimer clock;
    clock.start();
    QTest::qWait(1000);
    const double perSecond = double(DriverLog::calls() - calls) * 1000.0 / double(clock.elapsed());
    qDebug("%.1f Win32 calls a second while the generator plays", perSecond);
    QVERIFY(perSecond <= 22.0);
    QVERIFY(!link->lineLost());
}

void TestWindowsWorker::slowFrameArrivesWhole()
{
    open();
    QVector<int> samples(1024);
    for (int i = 0; i < samples.size(); ++i)
        samples[i] = i - 512;
    const QByteArray frame = FakeDevice::frame(samples);
    bufReady.store(false);
    std::thread paced([&] {
        // 96 bytes every 50 ms, as a 19,200 bit/s line delivers them.
        for (int at = 0; at < frame.size(); at += 96) {
            device->send(frame.mid(at, 96));
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    QCOMPARE(device->read(1, 5000), QByteArray("g"));
    paced.join();
    QTRY_VERIFY(bufReady.load());
    const Frame got = buff.snapshot();
    QCOMPARE(got[0], -512);
    QCOMPARE(got[1023], 511);
    QCOMPARE(device->drain(200), QByteArray()); // one "g", after the whole frame
}

// A device that stops reading in the middle of a table upload: Close must
// not wait for bytes that will never go.
void TestWindowsWorker::closeEndsAStalledUpload()
{
    open();
    link->genStart();
    takeFrame({});
    QVERIFY(device->expect("q"));
    device->send("q");
    QVERIFY(device->expect("e"));
    device->send("e");
    link->sendGenChannel();
    QVERIFY(device->expect("g"));
    device->stopReading();
    device->send("g");
    QTest::qWait(300); // the upload is under way, and stuck
    QCOMPARE(sts.get(), QStringLiteral("send ch"));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(link->Close());
    qDebug("Close took %lld ms with the upload stalled", clock.elapsed());
    QVERIFY2(clock.elapsed() < 1000, "no write may hold Close beyond 100 ms");
    QCOMPARE(sts.get(), QStringLiteral("closed"));
}

// A device another program left in the generator sends nothing: the first
// hunt ends once the line has been quiet (here after the port's 500 ms
// time-out, the shortest wait the Windows line makes), the worker asks with
// "q" and the tab's mode, and frames follow.
void TestWindowsWorker::aDeviceLeftQuietIsTakenBack()
{
    LinkPolicy::Times times = LinkPolicy::Times::forSpeed(115200, 500);
    times.quietMs = 300;
    link->setTimes(times);
    open();
    link->osc1chStart();
    QCOMPARE(device->read(1, 5000), QByteArray("q"));
    device->send("q");
    QCOMPARE(device->read(1, 3000), QByteArray("a"));
    device->send("a");
    takeFrame(QVector<int>(1024, 0x0606));
    QCOMPARE(buff.snapshot()[0], 0x0606);
}

QTEST_MAIN(TestWindowsWorker)
#include "tst_windowsworker.moc"
