#include "fakedevice.h"
#include "framebuffer.h"
#include "gentable.h"
#include "posixline.h"
#include "shared.h"
#include "thread.h"
#include "zorcom.h"

#include <QElapsedTimer>
#include <QTest>

#include <atomic>
#include <ctime>
#include <future>
#include <memory>
#include <thread>

// The worker's exchanges, played against a scripted device on a pseudo-terminal.
class TestLink : public QObject {
    Q_OBJECT

private:
    FrameBuffer frames;
    GenTable table;
    std::unique_ptr<FakeDevice> device;
    std::unique_ptr<ZORCom> link;

    static QVector<int> ramp(int start)
    {
        QVector<int> samples(1024);
        for (int i = 0; i < 1024; ++i)
            samples[i] = 0x100 + 2 * ((start + i) % 64); // even low bytes: never "E" (0x45)
        return samples;
    }

    static bool hasEndByte(const QVector<int> &samples)
    {
        return FakeDevice::frame(samples).mid(1, 2048).contains('E');
    }

    static bool waitFor(const std::function<bool()> &condition, int ms = 3000)
    {
        QElapsedTimer timer;
        timer.start();
        while (!condition()) {
            if (timer.elapsed() > ms)
                return false;
            QTest::qWait(5);
        }
        return true;
    }

    // Sends one good frame and checks the worker acknowledges it.
    bool serveFrame(const QVector<int> &samples)
    {
        device->send(FakeDevice::frame(samples));
        return device->expect("g");
    }

    // The 1024 bytes of a table upload whose every entry is value.
    static QByteArray tableBytes(int value)
    {
        QByteArray bytes;
        for (int i = 0; i < 512; ++i) {
            bytes.append(static_cast<char>((value + 2048) & 0xFF));
            bytes.append(static_cast<char>((value + 2048) >> 8));
        }
        return bytes;
    }

    // The seven clock digits of a sample period and a table length.
    static QByteArray clockDigits(int period, int tab)
    {
        QByteArray d;
        for (const int v : { period >> 12, (period >> 8) & 0xF, (period >> 4) & 0xF, period & 0xF,
                 tab >> 8, (tab >> 4) & 0xF, tab & 0xF })
            d.append(static_cast<char>('0' + v));
        return d;
    }

    // The wait ends with the pass after it began, whenever it began: frames
    // keep the worker's passes coming until it has.
    bool passesUntilReady(std::future<bool> &wait)
    {
        for (int i = 0; i < 50; ++i) {
            if (wait.wait_for(std::chrono::milliseconds(20)) == std::future_status::ready)
                return true;
            if (!serveFrame(QVector<int>(1024, 2)))
                return false;
        }
        return false;
    }

    // The worker's limits, short enough that an unanswered exchange costs a
    // test a fraction of a second; the rest as on a line at 115200 bit/s.
    static LinkPolicy::Times testTimes()
    {
        LinkPolicy::Times times = Thread::timesFor(115200);
        times.exchangeMs = 400;
        times.frameGapMs = 250;
        times.lineTimeoutMs = 500;
        return times;
    }

    // Answers the echo loop of one command byte: echo at once.
    bool echo(char c)
    {
        if (!device->expect(QByteArray(1, c)))
            return false;
        device->send(QByteArray(1, c));
        return true;
    }

    // A link on the fake device with these limits, past its first frame.
    void openLink(const LinkPolicy::Times &times)
    {
        link = std::make_unique<ZORCom>(&frames, &table);
        link->setTimes(times);
        QVERIFY(link->Open(device->slavePath(), 115200));
        QCOMPARE(sts.get(), QStringLiteral("opened"));
        QVERIFY(link->Start());
        // Requests are served between frames: let the worker begin its hunt
        // first, and take a frame, so that it knows the device acquires.
        QVERIFY(waitFor([] { return sts.get() == QStringLiteral("read ch"); }));
        QVERIFY(serveFrame(ramp(40)));
        QVERIFY(waitFor([] { return bufReady.load(); }));
        frames.store(Frame {});
        bufReady.store(false);
    }

    // A link whose generator rests longer than any wait of a test, with the
    // generator entered and the worker at rest after it.
    void restingGenerator()
    {
        link.reset();
        LinkPolicy::Times times = testTimes();
        times.generatorPollMs = 600000;
        openLink(times);
        link->genStart();
        QVERIFY(serveFrame(QVector<int>(1024, 1)));
        QVERIFY(echo('q'));
        QVERIFY(echo('e'));
        QVERIFY(device->drain(100).isEmpty());
    }

private slots:
    void init()
    {
        frames.store(Frame {});
        table.edit([](int *t) { std::fill(t, t + 512, 0); });
        bufReady.store(false);
        device = std::make_unique<FakeDevice>();
        QVERIFY(device->ok());
        openLink(testTimes());
    }

    void cleanup()
    {
        link.reset();
        device.reset();
    }


    void decodesLittleEndianSignedSamples()
    {
        QVector<int> samples(1024, 0);
        samples[0] = 0x1234;
        samples[1] = -2;
        samples[2] = -2048;
        samples[3] = 2047;
        samples[1023] = -1;
        QVERIFY(!hasEndByte(samples));
        QVERIFY(serveFrame(samples));
        QVERIFY(waitFor([] { return bufReady.load(); }));
        const Frame f = frames.snapshot();
        QCOMPARE(f[0], 4660);
        QCOMPARE(f[1], -2);
        QCOMPARE(f[2], -2048);
        QCOMPARE(f[3], 2047);
        QCOMPARE(f[1023], -1);
        QCOMPARE(sts.get(), QStringLiteral("read ch"));
    }

    void framesKeepComing()
    {
        for (int n = 0; n < 5; ++n) {
            auto samples = ramp(n * 7);
            QVERIFY(!hasEndByte(samples));
            QVERIFY(serveFrame(samples));
            QVERIFY(waitFor([&] { return frames.snapshot()[5] == samples[5]; }));
        }
    }

    void badFramesKeepTheLastGoodOne_data()
    {
        QTest::addColumn<QByteArray>("bad");
        QTest::addColumn<QByteArray>("afterwards");
        QByteArray tooLong("S");
        tooLong.append(QByteArray(2050, '\x01'));
        QTest::newRow("no end marker within 2050 bytes") << tooLong << QByteArray();
        QByteArray early("S");
        early.append(QByteArray(100, '\x02'));
        early.append('E');
        // After a frame cut short the worker hunts again: a "w" is answered.
        QTest::newRow("frame cut short after an early end marker")
            << early << QByteArray("\x03\x03w\x03", 4);
        QTest::newRow("frame cut short without end marker")
            << QByteArray("S") + QByteArray(1500, '\x04') << QByteArray("w");
        QByteArray late("S");
        late.append(QByteArray(2049, '\x01'));
        late.append('E');
        QTest::newRow("end marker one byte late") << late << QByteArray();
    }

    void badFramesKeepTheLastGoodOne()
    {
        QFETCH(QByteArray, bad);
        QFETCH(QByteArray, afterwards);
        QVector<int> good(1024, 0x0102);
        QVERIFY(serveFrame(good));
        QVERIFY(waitFor([] { return bufReady.load(); }));
        bufReady.store(false);

        device->send(bad);
        QVERIFY(device->expect("g"));
        QVERIFY(waitFor([] { return bufReady.load(); }));
        QCOMPARE(frames.snapshot()[0], 0x0102);
        QCOMPARE(frames.snapshot()[1023], 0x0102);

        if (!afterwards.isEmpty()) {
            device->send(afterwards);
            QVERIFY(device->expect("w"));
        }
        // And the next good frame is taken.
        QVector<int> next(1024, 0x0203);
        QVERIFY(serveFrame(next));
        QVERIFY(waitFor([&] { return frames.snapshot()[0] == 0x0203; }));
    }

    // The device may send its next frame before the "g" for the last one has
    // reached it. Each frame ends with its "E": the worker takes it and
    // answers at once, without reading into the next.
    void framesBackToBack_data()
    {
        QTest::addColumn<bool>("secondGood");
        QTest::addColumn<int>("shown");
        QTest::newRow("both good: the second is shown") << true << 0x0304;
        QTest::newRow("the second without its end: the first stays") << false << 0x0102;
    }

    void framesBackToBack()
    {
        QFETCH(bool, secondGood);
        QFETCH(int, shown);
        QByteArray second = FakeDevice::frame(QVector<int>(1024, 0x0304));
        if (!secondGood)
            second[second.size() - 1] = 'x';
        device->send(FakeDevice::frame(QVector<int>(1024, 0x0102)) + second);
        QVERIFY(device->expect("gg"));
        QVERIFY(waitFor([&] { return frames.snapshot()[0] == shown; }));
        QCOMPARE(frames.snapshot()[1023], shown);
        // The worker hunts for the next frame: nothing was left half read.
        device->send("w");
        QVERIFY(device->expect("w"));
    }

    // Samples whose bytes equal the end marker are data: such frames are common
    // on a live signal and must not be lost.
    void dataBytesEqualToTheEndMarkerAreSamples()
    {
        QVector<int> samples(1024, 0x4545);
        samples[1] = 69; // low byte "E"
        samples[2] = -187; // 0xFF45
        samples[3] = 0x0053; // "S"
        samples[4] = 0x3E77; // ">" and "w"
        QVERIFY(serveFrame(samples));
        QVERIFY(waitFor([&] { return frames.snapshot()[0] == 0x4545; }));
        const Frame f = frames.snapshot();
        QCOMPARE(f[1], 69);
        QCOMPARE(f[2], -187);
        QCOMPARE(f[3], 0x53);
        QCOMPARE(f[4], 0x3E77);
        QCOMPARE(f[1023], 0x4545);
        // Nothing in the frame was taken for a prompt.
        QVERIFY(device->drain(150).isEmpty());
    }

    void promptsAreAnsweredAtOnce()
    {
        // The device waits for each answer before it sends anything more.
        device->send("w");
        QVERIFY(device->expect("w"));
        device->send(">");
        QVERIFY(device->expect("a"));
        device->send("xy\x01w");
        QVERIFY(device->expect("w"));
        QVERIFY(device->drain(100).isEmpty());
    }

    void whichModeFollowsTheChannelChoice()
    {
        link->osc2chStart();
        QVERIFY(serveFrame(QVector<int>(1024, 1)));
        QVERIFY(echo('q'));
        QVERIFY(echo('c'));
        device->send(">");
        QVERIFY(device->expect("c"));
        QCOMPARE(sts.get(), QStringLiteral("read ch"));
    }

    void modeExchangeRepeatsUntilEchoed()
    {
        link->osc1chStart();
        QVERIFY(serveFrame(QVector<int>(1024, 1)));
        QVERIFY(device->expect("q"));
        device->send("x"); // not the echo: the worker writes "q" again
        QVERIFY(device->expect("q"));
        device->send("q");
        QVERIFY(device->expect("a"));
        device->send("q"); // a late echo of an earlier "q"
        QVERIFY(device->expect("a"));
        device->send("a");
        // Back to hunting: a frame is taken.
        QVERIFY(serveFrame(QVector<int>(1024, 0x0304)));
        QVERIFY(waitFor([&] { return frames.snapshot()[0] == 0x0304; }));
    }

    void timeBaseDigits_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<char>("digit");
        QTest::newRow("0") << 0 << '0';
        QTest::newRow("9") << 9 << '9';
        QTest::newRow("10") << 10 << ':';
        QTest::newRow("14") << 14 << '>';
        QTest::newRow("15") << 15 << '?';
    }

    void timeBaseDigits()
    {
        QFETCH(int, code);
        QFETCH(char, digit);
        link->setTimeBase(code);
        QVERIFY(serveFrame(QVector<int>(1024, 1)));
        QVERIFY(device->expect("s"));
        device->send("zs"); // anything before the echo is read past
        QVERIFY(device->expect(QByteArray(1, digit)));
        QCOMPARE(sts.get(), QStringLiteral("set time"));
        device->send(QByteArray(1, digit));
        QVERIFY(device->expect("qg"));
    }

    void wrongEchoIsNotRepeated()
    {
        link->setTimeBase(3);
        QVERIFY(serveFrame(QVector<int>(1024, 1)));
        QVERIFY(echo('s'));
        QVERIFY(device->expect("3"));
        device->send("4");
        QVERIFY(device->expect("qg"));
        // The worker goes on hunting for frames, nothing is sent again.
        QVERIFY(device->drain(150).isEmpty());
        QVERIFY(serveFrame(QVector<int>(1024, 0x0506)));
        QVERIFY(waitFor([&] { return frames.snapshot()[0] == 0x0506; }));
    }

    // labbench-cli waits for its settings before it records: a setting the
    // device echoed wrongly must not count as taken.
    void waitServedSaysWhetherTheDeviceTookIt_data()
    {
        QTest::addColumn<char>("answer");
        QTest::addColumn<bool>("taken");
        QTest::newRow("echoed") << '3' << true;
        QTest::newRow("another digit echoed") << '4' << false;
    }

    void waitServedSaysWhetherTheDeviceTookIt()
    {
        QFETCH(char, answer);
        QFETCH(bool, taken);
        link->setTimeBase(3);
        auto served = std::async(std::launch::async, [this] { return link->waitServed(3000); });
        QVERIFY(serveFrame(QVector<int>(1024, 1)));
        QVERIFY(echo('s'));
        QVERIFY(device->expect("3"));
        device->send(QByteArray(1, answer));
        QVERIFY(device->expect("qg"));
        QVERIFY(passesUntilReady(served));
        QCOMPARE(served.get(), taken);
        // A failure is told once: the next request stands on its own.
        link->setTimeBase(5);
        served = std::async(std::launch::async, [this] { return link->waitServed(3000); });
        QVERIFY(serveFrame(QVector<int>(1024, 1)));
        QVERIFY(echo('s'));
        QVERIFY(echo('5'));
        QVERIFY(device->expect("qg"));
        QVERIFY(passesUntilReady(served));
        QVERIFY(served.get());
    }

    void gainDigits()
    {
        link->setGain(0, 0);
        QVERIFY(serveFrame(QVector<int>(1024, 1)));
        QVERIFY(echo('u'));
        QVERIFY(device->expect("00"));
        QCOMPARE(sts.get(), QStringLiteral("set gain"));
        device->send("00");
        QVERIFY(device->expect("qg"));
    }

    // Enters generator mode, as the generator panel does before its requests.
    bool enterGenerator()
    {
        link->genStart();
        return serveFrame(QVector<int>(1024, 1)) && echo('q') && echo('e');
    }

    void generatorPeriodAndLength()
    {
        link->setFreq(0x1234, 0x200);
        QVERIFY(enterGenerator());
        QVERIFY(device->expect("s"));
        QCOMPARE(sts.get(), QStringLiteral("set freq"));
        device->send("s");
        const QByteArray digits("1234200");
        for (const char d : digits)
            QVERIFY(echo(d));
        QVERIFY(device->expect("q"));
    }

    void tableUpload()
    {
        table.edit([](int *t) {
            t[0] = -2048;
            t[1] = 0;
            t[2] = 2047;
            t[511] = -1;
        });
        link->sendGenChannel();
        QVERIFY(enterGenerator());
        QVERIFY(device->expect("g"));
        QCOMPARE(sts.get(), QStringLiteral("send ch"));
        device->send("x");
        QVERIFY(device->expect("g"));
        device->send("g");
        QVERIFY(device->expect("S"));
        const QByteArray bytes = device->read(1024);
        QCOMPARE(bytes.size(), 1024);
        QCOMPARE(bytes.left(6), QByteArray("\x00\x00\x00\x08\xFF\x0F", 6));
        QCOMPARE(bytes.right(2), QByteArray("\xFF\x07", 2));
        QCOMPARE(bytes.mid(6, 2), QByteArray("\x00\x08", 2));
    }

    // A device that stops reading in the middle of a table upload (or a line
    // held by flow control) for longer than the line's time-out: the upload
    // waits for room, and goes on whole when the line drains. Close during the
    // hold is prompt.
    void uploadWaitsOutALineHeldPastItsTimeOut_data()
    {
        QTest::addColumn<bool>("closeDuringTheHold");
        QTest::newRow("drained after the hold") << false;
        QTest::newRow("closed during the hold") << true;
    }

    void uploadWaitsOutALineHeldPastItsTimeOut()
    {
        QFETCH(bool, closeDuringTheHold);
        table.edit([](int *t) { std::fill(t, t + 512, 0x123); });
        link->sendGenChannel();
        QVERIFY(enterGenerator());
        QVERIFY(device->expect("g"));
        device->stopReading();
        device->send("g");
        QTest::qWait(testTimes().lineTimeoutMs + 700);
        QVERIFY(link->isOpen());
        QVERIFY(!link->lineLost());
        QCOMPARE(sts.get(), QStringLiteral("send ch"));
        if (closeDuringTheHold) {
            QElapsedTimer timer;
            timer.start();
            QVERIFY(link->Close());
            qInfo("Close during a %d ms hold took %lld ms", testTimes().lineTimeoutMs + 700,
                static_cast<long long>(timer.elapsed()));
            QVERIFY2(timer.elapsed() < 1000, "Close waited for room on the line");
            QCOMPARE(sts.get(), QStringLiteral("closed"));
            return;
        }
        // The filler the line was held with, then the upload, whole.
        const QByteArray drained = device->drain(500);
        QVERIFY2(drained.endsWith("S" + tableBytes(0x123)),
            qPrintable(QStringLiteral("%1 bytes drained, ending %2")
                           .arg(drained.size())
                           .arg(QString::fromLatin1(drained.right(8).toHex()))));
        QVERIFY(link->isOpen());
        QVERIFY(!link->lineLost());
    }

    // The worker copies the table when its upload begins. A new table and
    // clock raised while that upload waits for the device go out on the next
    // passes: the device ends with the last table and the clock made for it.
    void tableEditedWhileTheWorkerUploadsIt()
    {
        const auto fill
            = [this](int value) { table.edit([value](int *t) { std::fill(t, t + 512, value); }); };
        fill(100);
        link->setFreq(62, 512);
        link->sendGenChannel();
        QVERIFY(enterGenerator());
        QVERIFY(device->expect("g")); // the upload has begun

        fill(-300);
        link->setFreq(32, 498);
        link->sendGenChannel();
        device->send("g");
        QVERIFY(device->expect("S"));
        QCOMPARE(device->read(1024), tableBytes(100));

        QVERIFY(echo('g'));
        QVERIFY(device->expect("S"));
        QCOMPARE(device->read(1024), tableBytes(-300));
        QVERIFY(echo('s'));
        for (const char d : clockDigits(32, 498))
            QVERIFY(echo(d));
        QVERIFY(device->expect("q"));
        QVERIFY(device->drain(250).isEmpty());
    }

    // A period and a length make one frequency. While another thread keeps
    // changing the clock between two settings, every clock the worker sends
    // is one of them whole, never one's period with the other's length.
    void clockChangedWhileItIsTakenGoesOutWhole()
    {
        const QByteArray first = clockDigits(0x0062, 0x200);
        const QByteArray second = clockDigits(0x7FF3, 0x00F);
        link->setFreq(0x0062, 0x200);
        QVERIFY(enterGenerator());
        std::atomic<bool> changing { true };
        std::thread changer([&] {
            while (changing.load()) {
                link->setFreq(0x7FF3, 0x00F);
                link->setFreq(0x0062, 0x200);
            }
        });
        QList<QByteArray> sent;
        const auto receiveClock = [this](QByteArray &digits) {
            if (!device->expect("s"))
                return false;
            device->send("s");
            for (int i = 0; i < 7; ++i) {
                const QByteArray d = device->read(1);
                if (d.size() != 1)
                    return false;
                device->send(d);
                digits += d;
            }
            return device->expect("q");
        };
        bool exchanged = true;
        while (exchanged && sent.size() < 150) {
            QByteArray digits;
            exchanged = receiveClock(digits);
            sent.append(digits);
        }
        changing.store(false);
        changer.join();
        QVERIFY(exchanged);
        for (const QByteArray &digits : sent)
            QVERIFY2(digits == first || digits == second, digits.constData());
    }

    void generatorModeIsQuietBetweenRequests()
    {
        link->genStart();
        QVERIFY(serveFrame(QVector<int>(1024, 1)));
        QVERIFY(device->expect("q"));
        QCOMPARE(sts.get(), QStringLiteral("set gen"));
        device->send("q");
        QVERIFY(echo('e'));
        bufReady.store(false);
        QVERIFY(device->drain(350).isEmpty());
        QVERIFY(!bufReady.load());
        // A request is still served while the generator runs.
        link->setFreq(1, 2);
        QVERIFY(echo('s'));
    }

    // While the generator plays the worker rests between looks at the line;
    // a request ends the rest, so that a mode change (a sweep's step, a tab
    // change) or a generator setting never waits the whole of it. Here the
    // rest is longer than any wait of the test: only the request can end it.
    // (Each kind from a fresh rest: once acquiring, the worker hunts for a
    // frame, which this device never sends.)
    void aRequestEndsTheGeneratorsRest_data()
    {
        QTest::addColumn<bool>("modeChange");
        QTest::newRow("mode change") << true;
        QTest::newRow("clock") << false;
    }

    void aRequestEndsTheGeneratorsRest()
    {
        QFETCH(bool, modeChange);
        restingGenerator();
        if (QTest::currentTestFailed())
            return;
        if (modeChange) {
            link->osc1chStart();
            QVERIFY(echo('q'));
            QVERIFY(echo('a'));
        } else {
            link->setFreq(1, 2);
            QVERIFY(echo('s'));
        }
    }

    // waitServed ends with the pass that served the last request, not with
    // the one after it, which may be the generator's whole rest.
    void waitServedEndsWithTheServingPass()
    {
        restingGenerator();
        if (QTest::currentTestFailed())
            return;
        QVERIFY(link->waitServed(5000));
    }

    // Requests raised during one frame are served one per frame, in the order
    // channel, time base, gain; only the latest values of a kind go out.
    void serviceOrderAndCoalescing()
    {
        link->setGain(1, 2);
        link->setTimeBase(5);
        link->setGain(3, 4);
        link->osc1chStart();
        link->setTimeBase(6);
        QVERIFY(serveFrame(QVector<int>(1024, 1)));
        QVERIFY(echo('q'));
        QVERIFY(echo('a'));
        QVERIFY(echo('s'));
        QVERIFY(echo('6'));
        QVERIFY(device->expect("qg"));
        QVERIFY(echo('u'));
        QVERIFY(device->expect("34"));
        device->send("34");
        QVERIFY(device->expect("qg"));
        // Nothing else is pending: the worker hunts for the next frame.
        QVERIFY(device->drain(150).isEmpty());
    }

    void generatorRequestsFollowTheFrame()
    {
        link->setFreq(0, 0);
        link->sendGenChannel();
        link->genStart();
        QVERIFY(serveFrame(QVector<int>(1024, 1)));
        // Phase two serves the generator first, one request per pass.
        QVERIFY(echo('q'));
        QVERIFY(echo('e'));
        QVERIFY(echo('g'));
        QVERIFY(device->expect("S"));
        QCOMPARE(device->read(1024).size(), 1024);
        QVERIFY(echo('s'));
        for (const char d : QByteArray("0000000"))
            QVERIFY(echo(d));
        QVERIFY(device->expect("q"));
    }

    // Requests of one mode raised just before the user switches to the other
    // wait for their own mode, instead of reaching the device in the wrong one.
    void generatorRequestsWaitForTheGenerator()
    {
        link->setFreq(62, 512);
        link->sendGenChannel();
        QVERIFY(serveFrame(QVector<int>(1024, 1)));
        QVERIFY(device->drain(200).isEmpty()); // acquiring: hunting for the next frame
        link->genStart();
        QVERIFY(serveFrame(QVector<int>(1024, 1)));
        QVERIFY(echo('q'));
        QVERIFY(echo('e'));
        QVERIFY(echo('g'));
        QVERIFY(device->expect("S"));
        QCOMPARE(device->read(1024).size(), 1024);
        QVERIFY(echo('s'));
    }

    void acquisitionSettingsWaitWhileTheGeneratorRuns()
    {
        link->osc1chStart();
        link->setTimeBase(7);
        link->setGain(0, 0);
        link->genStart();
        QVERIFY(serveFrame(QVector<int>(1024, 1)));
        // The generator entry supersedes the channel request not yet served.
        QVERIFY(echo('q'));
        QVERIFY(echo('e'));
        // Neither "s7" nor "u00" goes to the generator.
        QVERIFY(device->drain(300).isEmpty());
        // Back to acquisition: the settings that waited follow the mode change.
        link->osc1chStart();
        QVERIFY(echo('q'));
        QVERIFY(echo('a'));
        QVERIFY(echo('s'));
        QVERIFY(echo('7'));
        QVERIFY(device->expect("qg"));
        QVERIFY(echo('u'));
        QVERIFY(device->expect("00"));
    }

    // An acquisition setting waiting while the generator plays does not end
    // the worker's rest: the worker sleeps, it does not spin on it (and so
    // still sees a stop).
    void aWaitingSettingLeavesTheGeneratorAtRest()
    {
        link->genStart();
        QVERIFY(serveFrame(QVector<int>(1024, 1)));
        QVERIFY(echo('q'));
        QVERIFY(echo('e'));
        link->setTimeBase(7);
        const auto cpuSeconds = [] {
            timespec t {};
            clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
            return double(t.tv_sec) + t.tv_nsec / 1e9;
        };
        const double before = cpuSeconds();
        QVERIFY(device->drain(500).isEmpty());
        // A spinning worker would take the whole half second of a core.
        QVERIFY2(cpuSeconds() - before < 0.25, qPrintable(QString::number(cpuSeconds() - before)));
    }

    void channelRequestSupersedesAPendingGeneratorEntry()
    {
        link->genStart();
        link->setFreq(62, 512);
        link->osc2chStart();
        QVERIFY(serveFrame(QVector<int>(1024, 1)));
        QVERIFY(echo('q'));
        QVERIFY(echo('c'));
        // Acquisition goes on: the next frame is taken, nothing else is sent.
        QVERIFY(serveFrame(QVector<int>(1024, 0x0708)));
        QVERIFY(waitFor([&] { return frames.snapshot()[0] == 0x0708; }));
        QVERIFY(device->drain(150).isEmpty());
    }

    void closeIsPromptOnASilentDevice()
    {
        link->setTimeBase(1); // never served: the device never sends a frame
        QTest::qWait(50);
        QElapsedTimer timer;
        timer.start();
        QVERIFY(link->Close());
        const qint64 ms = timer.elapsed();
        qInfo("close on a silent device took %lld ms", static_cast<long long>(ms));
        QVERIFY2(ms < 1000, "Close waited for the line's time-out");
        QCOMPARE(sts.get(), QStringLiteral("closed"));
        QVERIFY(!link->isOpen());
    }

    void closeIsPromptInsideAnExchange()
    {
        link->osc1chStart();
        QVERIFY(serveFrame(QVector<int>(1024, 1)));
        QVERIFY(device->expect("q")); // and the device never echoes
        QElapsedTimer timer;
        timer.start();
        QVERIFY(link->Close());
        QVERIFY(timer.elapsed() < 1000);
    }

    // An echo that never comes: the exchange gives up after its time limit,
    // says so, and the setting goes out again on a later pass; once the
    // device answers it is taken and frames flow.
    void anUnansweredSettingIsSentAgain()
    {
        link->setTimeBase(3);
        QVERIFY(serveFrame(QVector<int>(1024, 1)));
        QVERIFY(device->expect("s"));
        QElapsedTimer timer;
        timer.start();
        const int limit = testTimes().exchangeMs;
        // Given up as a wrong echo is: quit the setting, ask for a frame.
        QVERIFY(device->expect("qg", limit + 2000));
        QVERIFY(waitFor(
            [] { return sts.get() == QStringLiteral("device did not answer"); }, limit + 2000));
        qInfo(
            "gave up after %lld ms (limit %d ms)", static_cast<long long>(timer.elapsed()), limit);
        QVERIFY(timer.elapsed() >= limit - 100);
        QVERIFY(serveFrame(ramp(1))); // frames come before it is sent again
        QVERIFY(device->expect("s", 3000));
        device->send("s");
        QVERIFY(echo('3'));
        QVERIFY(device->expect("qg"));
        // Answered: the worker's own texts again.
        QVERIFY(waitFor([] { return sts.get() == QStringLiteral("read ch"); }));
        QVERIFY(serveFrame(ramp(0)));
        QVERIFY(link->isOpen());
    }

    // A mode change left unanswered: no frame comes from a device in the
    // middle of one, so the worker does not wait for one before it asks again.
    void anUnansweredModeChangeIsAskedAgainWithoutAFrame()
    {
        link->osc2chStart();
        QVERIFY(serveFrame(QVector<int>(1024, 1)));
        const int limit = testTimes().exchangeMs;
        QVERIFY(device->expect("q"));
        QVERIFY(waitFor(
            [] { return sts.get() == QStringLiteral("device did not answer"); }, limit + 3500));
        device->drain(100); // the "q"s written while the line was quiet
        QVERIFY(device->expect("q", limit + 3500)); // asked again, no frame in between
        device->send("q");
        QVERIFY(echo('c'));
        QVERIFY(serveFrame(ramp(2)));
        QVERIFY(waitFor([] { return sts.get() == QStringLiteral("read ch"); }));
    }

    // A device that never answers gets the setting a bounded number of
    // times, then the worker goes back to frames. The good frame after the
    // last attempt shows the device is there: "device did not answer" goes.
    void anUnansweredSettingIsSentABoundedNumberOfTimes()
    {
        link->setTimeBase(3);
        QVERIFY(serveFrame(QVector<int>(1024, 1)));
        const int limit = testTimes().exchangeMs;
        for (int attempt = 0; attempt <= LinkPolicy::kResends; ++attempt) {
            QVERIFY2(device->expect("s", limit + 2000), qPrintable(QString::number(attempt)));
            QVERIFY(device->expect("qg", limit + 2000));
            QVERIFY(waitFor([] { return sts.get() == QStringLiteral("device did not answer"); }));
            QVERIFY(serveFrame(ramp(attempt))); // frames come between the attempts
        }
        QCOMPARE(device->drain(limit + 500), QByteArray()); // no more: the worker waits for frames
        QCOMPARE(sts.get(), QStringLiteral("read ch"));
        QVERIFY(serveFrame(ramp(9)));
        QVERIFY(link->isOpen());
    }

    // A stale resend: the generator's entry went unanswered, then the user
    // moved to the oscilloscope. Once the channel change is served, nothing
    // may switch the device back to the generator behind the user's back.
    void anUnansweredGeneratorEntryIsNotSentAfterAMoveToAcquisition()
    {
        link->genStart();
        QVERIFY(serveFrame(QVector<int>(1024, 1)));
        QVERIFY(echo('q'));
        QVERIFY(device->expect("e")); // and the device never echoes it
        link->osc1chStart(); // while the worker still waits for the echo
        QVERIFY(waitFor([] { return sts.get() == QStringLiteral("device did not answer"); }));
        // The "e" again after each of the line's time-outs, then the channel change.
        QByteArray seen;
        while (!seen.endsWith('q') && seen.size() < 10)
            seen += device->read(1, 3000);
        QCOMPARE(seen, QByteArray(seen.size() - 1, 'e') + "q");
        device->send("q");
        QVERIFY(echo('a'));
        for (int i = 0; i < 4; ++i)
            QVERIFY(serveFrame(ramp(i)));
        const QByteArray after = device->drain(2 * testTimes().exchangeMs);
        QVERIFY2(!after.contains('e'), after.constData());
    }

    void requestsAfterCloseReachNothing()
    {
        QVERIFY(link->Close());
        QVERIFY(link->setGain(1, 1));
        QVERIFY(link->setTimeBase(2));
        QVERIFY(link->osc2chStart());
        QVERIFY(link->genStart());
        QVERIFY(link->sendGenChannel());
        QVERIFY(link->setFreq(1, 1));
        QVERIFY(device->drain(100).isEmpty());
    }

    // The line starts at a new adapter's flags: carriage returns, XON and
    // XOFF among the samples must still arrive as they were sent, and an XOFF
    // must not stop the "g" that follows the frame.
    void bytesAnAdapterWouldTranslateArriveUnchanged()
    {
        QVector<int> samples(1024, 0x130D);
        samples[1] = 0x1311;
        samples[2] = 0x0A0D;
        QVERIFY(serveFrame(samples));
        QVERIFY(waitFor([&] { return frames.snapshot()[0] == 0x130D; }));
        QCOMPARE(frames.snapshot()[1], 0x1311);
        QCOMPARE(frames.snapshot()[2], 0x0A0D);
        QVERIFY(serveFrame(ramp(3)));
    }

    // A frame may pause on its way (busy hubs, radio links); only a long
    // silence inside it means it was cut.
    void pausesInsideAFrame_data()
    {
        QTest::addColumn<int>("pauseMs");
        QTest::addColumn<bool>("taken");
        // Either side of the limit, 250 ms here.
        QTest::newRow("100 ms: taken") << 100 << true;
        QTest::newRow("200 ms: taken") << 200 << true;
        QTest::newRow("300 ms: cut") << 300 << false;
        QTest::newRow("400 ms: cut") << 400 << false;
    }

    void pausesInsideAFrame()
    {
        QFETCH(int, pauseMs);
        QFETCH(bool, taken);
        const QByteArray bytes = FakeDevice::frame(QVector<int>(1024, 0x0203));
        device->send(bytes.left(1000));
        // A cut frame is answered with "g" in the silence; a taken one after its "E".
        QCOMPARE(device->drain(pauseMs), taken ? QByteArray() : QByteArray("g"));
        device->send(bytes.mid(1000));
        if (taken)
            QVERIFY(device->expect("g"));
        else
            QVERIFY(device->drain(200).isEmpty()); // the rest is hunted past
        // The frame is stored just after its "g".
        QCOMPARE(
            waitFor([&] { return frames.snapshot()[0] == 0x0203; }, taken ? 3000 : 300), taken);
    }

    // While the generator plays the worker only waits between requests; an
    // unplug must still be seen at once.
    void hangUpWhileTheGeneratorPlaysIsSeenWithinASecond()
    {
        link->genStart();
        QVERIFY(serveFrame(QVector<int>(1024, 1)));
        QVERIFY(echo('q'));
        QVERIFY(echo('e'));
        QVERIFY(device->drain(150).isEmpty());
        QVERIFY(link->isOpen());
        QElapsedTimer timer;
        timer.start();
        device->hangUp();
        QVERIFY(waitFor([&] { return link->lineLost(); }, 3000));
        qInfo("line lost seen after %lld ms", timer.elapsed());
        QVERIFY(timer.elapsed() < 1000);
        QCOMPARE(sts.get(), QStringLiteral("line lost"));
        QVERIFY(!link->isOpen());
    }

    void hangUpEndsTheWorkerWithoutSpinning()
    {
        device->send(FakeDevice::frame(QVector<int>(1024, 1)).left(700)); // mid-frame
        QTest::qWait(50);
        const std::clock_t before = std::clock();
        device->hangUp();
        QVERIFY(waitFor([&] { return link->lineLost(); }));
        QTest::qWait(300);
        const double cpuMs = 1000.0 * double(std::clock() - before) / CLOCKS_PER_SEC;
        qInfo("CPU time while the line was gone: %.1f ms", cpuMs);
        QVERIFY2(cpuMs < 250, "the worker kept running after the line went away");
        QCOMPARE(sts.get(), QStringLiteral("line lost"));
        QElapsedTimer timer;
        timer.start();
        QVERIFY(link->Close());
        QVERIFY(timer.elapsed() < 1000);
        QCOMPARE(sts.get(), QStringLiteral("closed"));
    }
};

QTEST_GUILESS_MAIN(TestLink)
#include "tst_link.moc"
