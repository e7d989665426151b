#include "fakedevice.h"
#include "framebuffer.h"
#include "gentable.h"
#include "onebyteline.h"
#include "serialport.h"
#include "thread.h"

#include <QTest>

#include <vector>

namespace {

// A line that serves a fixed text and remembers what it was asked.
class TextLine : public ByteLine {
public:
    explicit TextLine(QByteArray text)
        : text(std::move(text))
    {
    }

    Result read(char *data, int max, int &count) override
    {
        return readWithin(data, max, count, -1);
    }
    Result readWithin(char *data, int max, int &count, int ms) override
    {
        asked.push_back(max);
        waits.push_back(ms);
        reads.fetch_add(1);
        count = std::min(max, int(text.size() - at));
        if (count == 0)
            return Result::Timeout;
        std::copy_n(text.constData() + at, count, data);
        at += count;
        return Result::Data;
    }
    Result write(const char *data, int n) override
    {
        written.append(data, n);
        writes.fetch_add(1);
        return Result::Data;
    }
    bool pause(int) override { return !stopped; }
    void stop() override { stopped = true; }

    QByteArray text;
    int at = 0;
    std::vector<int> asked;
    std::vector<int> waits;
    QByteArray written;
    bool stopped = false;
};

} // namespace

class TestOneByteLine : public QObject {
    Q_OBJECT

private slots:
    void readAsksTheLineForOneByteHoweverManyAreWanted()
    {
        TextLine inner("SEw");
        OneByteLine line(inner);
        char buffer[16] = {};
        int count = 0;
        QCOMPARE(line.read(buffer, 16, count), ByteLine::Result::Data);
        QCOMPARE(count, 1);
        QCOMPARE(buffer[0], 'S');
        QCOMPARE(buffer[1], '\0');
        QCOMPARE(line.readWithin(buffer, 4096, count, 100), ByteLine::Result::Data);
        QCOMPARE(count, 1);
        QCOMPARE(buffer[0], 'E');
        QCOMPARE(inner.asked, (std::vector<int> { 1, 1 }));
        QCOMPARE(inner.waits.back(), 100);
    }

    void aReadOfNothingStaysNothing()
    {
        TextLine inner("x");
        OneByteLine line(inner);
        char c = 0;
        int count = -1;
        QCOMPARE(line.read(&c, 0, count), ByteLine::Result::Timeout);
        QCOMPARE(count, 0);
        QCOMPARE(inner.asked, (std::vector<int> { 0 }));
    }

    void writesGoOutWholeAndStopReachesTheLine()
    {
        TextLine inner("");
        OneByteLine line(inner);
        QCOMPARE(line.write("qg", 2), ByteLine::Result::Data);
        QCOMPARE(inner.written, QByteArray("qg"));
        line.stop();
        QVERIFY(inner.stopped);
        QVERIFY(!line.pause(1));
    }

    void countsAreTheLinesOwnSystemCalls()
    {
        TextLine inner("abc");
        OneByteLine line(inner);
        char c = 0;
        int count = 0;
        for (int i = 0; i < 3; ++i)
            line.read(&c, 8, count);
        line.write("g", 1);
        QCOMPARE(line.readCalls(), std::uint64_t(3));
        QCOMPARE(line.writeCalls(), std::uint64_t(1));
        QCOMPARE(line.readCalls(), inner.readCalls());
    }

    // The benchmark's one-byte build must still be the working worker: it
    // takes a frame from a real terminal, one read per byte.
    void theOneByteWorkerDecodesAFrameReadingByteByByte()
    {
        FakeDevice device;
        QVERIFY(device.ok());
        SerialPort port;
        QVERIFY(port.Open(device.slavePath().toLocal8Bit().constData()));
        port.Set(2500000);
        FrameBuffer frames;
        GenTable table;
        Thread worker(&port, &frames, &table);
        worker.start();
        worker.waitUntilRunning();

        QVector<int> samples(1024);
        for (int i = 0; i < samples.size(); ++i)
            samples[i] = (i % 2 ? -1 : 1) * (i * 31 % 2000);
        device.send(FakeDevice::frame(samples));
        QVERIFY(device.expect("g"));
        QTRY_COMPARE(frames.snapshot()[1023], samples[1023]);
        const Frame got = frames.snapshot();
        QCOMPARE(QVector<int>(got.begin(), got.end()), samples);
        // "S", 2048 data bytes and "E": at least one read each.
        QVERIFY2(
            port.line().readCalls() >= 2050, qPrintable(QString::number(port.line().readCalls())));
        worker.stop();
        worker.wait();
    }
};

QTEST_MAIN(TestOneByteLine)
#include "tst_onebyteline.moc"
