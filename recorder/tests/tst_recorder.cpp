#include "meterdriver.h"
#include "recorder.h"

#include "frametiming.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

using Clock = Recorder::Clock;
using std::chrono::milliseconds;

constexpr int kSpeed = 2500000;

// A frame of one channel (1024 samples) or two (512 each): a sine of `hz`
// around `dc`, in volts, as the converter gives it at the driver's settings.
std::vector<int> frameFor(
    const MeterDriver &driver, double dc, double amplitude, double hz, double dc2 = 0)
{
    const MeterDriver::Request r = driver.request();
    const int count = r.twoChannels ? 512 : 1024;
    std::vector<int> frame(1024, 0);
    const double dt = frametiming::samplePeriodSeconds(r.tbIndex);
    for (int c = 0; c < (r.twoChannels ? 2 : 1); ++c) {
        const double unit = meter::unitVolts(r.gain[std::size_t(c)]);
        for (int i = 0; i < count; ++i) {
            const double v = (c == 0 ? dc : dc2) + amplitude * std::sin(2 * M_PI * hz * i * dt);
            frame[std::size_t(c * 512 + i)]
                = static_cast<int>(std::clamp(std::lround(v / unit), -2047L, 2047L));
        }
    }
    return frame;
}

// Feeds the driver as the window does: a changed request is sent at once.
void feed(MeterDriver &driver, const std::vector<int> &frame)
{
    driver.take(frame.data());
    if (driver.takeChange())
        driver.sent();
}

QStringList readLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QStringList dataLines(const QString &path)
{
    QStringList lines = readLines(path);
    lines.removeIf([](const QString &l) {
        return l.startsWith(QLatin1Char('#')) || l.startsWith(QLatin1String("time,"));
    });
    return lines;
}

} // namespace

class TestRecorder : public QObject {
    Q_OBJECT
private slots:
    void autoRangeSettlesOnAStep_data();
    void autoRangeSettlesOnAStep();
    void staleFramesAreNotRead();
    void framesThatMoveTheRangeAreNotReadings();
    void movingSignalIsReadAfterAFewFrames();
    void manualRangeShowsOverRange();
    void intervalAveragesWithMinimumAndMaximum();
    void everyFrameWritesALinePerFrame();
    void gapIsOneLineAndTheGridGoesOn();
    void twoChannelColumns();
    void jsonLines();
};

void TestRecorder::autoRangeSettlesOnAStep_data()
{
    QTest::addColumn<double>("before");
    QTest::addColumn<double>("after");
    QTest::addColumn<int>("gain");
    QTest::newRow("10 mV to 12 V") << 0.01 << 12.0 << 0;
    QTest::newRow("12 V to 10 mV") << 12.0 << 0.01 << 6;
    QTest::newRow("0 V to -2 V") << 0.0 << -2.0 << 2;
}

// Three frames after a step the range is the finest that holds the level,
// the reading is within a unit of it, and the range stays.
void TestRecorder::autoRangeSettlesOnAStep()
{
    QFETCH(double, before);
    QFETCH(double, after);
    QFETCH(int, gain);
    MeterDriver driver(kSpeed, 0);
    QVERIFY(driver.takeChange());
    driver.sent();
    for (int i = 0; i < 5; ++i)
        feed(driver, frameFor(driver, before, 0, 0));
    for (int i = 0; i < 3; ++i)
        feed(driver, frameFor(driver, after, 0, 0));
    QCOMPARE(driver.request().gain[0], gain);
    feed(driver, frameFor(driver, after, 0, 0));
    QVERIFY(!driver.takeChange());
    QCOMPARE(driver.readingGain(0), gain);
    QVERIFY(!driver.reading(0).over);
    QVERIFY(std::fabs(driver.reading(0).dc - after)
        <= 0.005 * std::fabs(after) + meter::unitVolts(gain));
}

// The window does not wait for the device to take new settings: the frames
// still on their way were taken with the old ones and must not be read with
// the new gain.
void TestRecorder::staleFramesAreNotRead()
{
    MeterDriver driver(kSpeed, 2);
    QVERIFY(driver.takeChange());
    driver.sent();
    // 15 V: the range it was taken at suits it, it moves nothing.
    const std::vector<int> stale = frameFor(driver, 15.0, 0, 0);
    QVERIFY(!driver.take(stale.data()));
    QVERIFY(!driver.take(stale.data()));
    QVERIFY(driver.take(stale.data()));
    QCOMPARE(driver.framesRead(), std::uint64_t(1));
}

// A 1 kHz sine first seen at the least sensitive range and the slowest time
// base: those frames move both and are not counted; the statistics hold
// only readings at the settled ones.
void TestRecorder::framesThatMoveTheRangeAreNotReadings()
{
    MeterDriver driver(kSpeed, 0);
    QVERIFY(driver.takeChange());
    driver.sent();
    const std::vector<int> first = frameFor(driver, 0, 0.05, 1000);
    QVERIFY(!driver.take(first.data()));
    QVERIFY(driver.takeChange());
    driver.sent();
    for (int i = 0; i < 6; ++i)
        feed(driver, frameFor(driver, 0, 0.05, 1000));
    const RunningStats &hz = driver.statistics(0, meter::Quantity::Frequency);
    QVERIFY(!hz.empty());
    QVERIFY(hz.count() >= 3);
    QVERIFY2(hz.max() - hz.min() < 0.005 * 1000,
        qPrintable(QString::number(hz.min()) + QLatin1Char(' ') + QString::number(hz.max())));
    const RunningStats &ac = driver.statistics(0, meter::Quantity::AcRms);
    QVERIFY(ac.max() - ac.min() < 0.001);
}

// A signal that moves the range at every frame is read all the same after a
// few frames: the meter never goes blank for good.
void TestRecorder::movingSignalIsReadAfterAFewFrames()
{
    MeterDriver driver(kSpeed, 0);
    driver.takeChange();
    driver.sent();
    int read = 0;
    for (int i = 0; i < 8; ++i) {
        // 10 mV and 12 V in turn: the range moves at every frame.
        if (driver.take(frameFor(driver, i % 2 ? 12.0 : 0.01, 0, 0).data()))
            ++read;
        if (driver.takeChange())
            driver.sent();
    }
    QVERIFY(read >= 2);
}

void TestRecorder::manualRangeShowsOverRange()
{
    MeterDriver driver(kSpeed, 0);
    driver.configure(false, { 6, MeterDriver::kAuto });
    QVERIFY(driver.takeChange());
    driver.sent();
    feed(driver, frameFor(driver, 1.0, 0, 0));
    QVERIFY(driver.reading(0).over);
    QCOMPARE(driver.request().gain[0], 6);
    QVERIFY(driver.statistics(0, meter::Quantity::Dc).empty());
}

void TestRecorder::intervalAveragesWithMinimumAndMaximum()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.csv"));
    MeterDriver driver(kSpeed, 0);
    driver.configure(false, { 0, MeterDriver::kAuto });
    driver.takeChange();
    driver.sent();
    Recorder recorder;
    const Clock::time_point t0 = Clock::now();
    QVERIFY(recorder.start(path,
        { QStringLiteral("/dev/ttyS9"), kSpeed, false, QStringLiteral("2.5V/dz"), 1000 }, t0));
    // Three frames in the first second at 1, 2 and 3 V; one in the next at 5 V.
    for (int i = 0; i < 3; ++i) {
        feed(driver, frameFor(driver, 1.0 + i, 0, 0));
        QVERIFY(recorder.add(driver, t0 + milliseconds(200 + 300 * i)));
    }
    QCOMPARE(dataLines(path).size(), 0);
    feed(driver, frameFor(driver, 5.0, 0, 0));
    QVERIFY(recorder.add(driver, t0 + milliseconds(1100)));
    QStringList lines = dataLines(path);
    QCOMPARE(lines.size(), 1);
    QStringList fields = lines[0].split(QLatin1Char(','));
    QCOMPARE(fields.size(), Recorder::columns(false).count(',') + 1);
    QCOMPARE(fields[1].toDouble(), 1.0);
    QCOMPARE(fields[2], QStringLiteral("3"));
    QCOMPARE(fields[3].toDouble(), 2.0);
    QCOMPARE(fields[4].toDouble(), 1.0);
    QCOMPARE(fields[5].toDouble(), 3.0);
    // The time stamp: ISO 8601 with milliseconds.
    QVERIFY2(
        QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}"))
            .match(fields[0])
            .hasMatch(),
        qPrintable(fields[0]));
    // The header says what was recorded and from where.
    const QStringList all = readLines(path);
    QVERIFY(all.contains(QStringLiteral("# port: /dev/ttyS9")));
    QVERIFY(all.contains(QStringLiteral("# interval: 1 s")));
    QVERIFY(recorder.finish(t0 + milliseconds(1500)));
    lines = dataLines(path);
    QCOMPARE(lines.size(), 2);
    QCOMPARE(lines[1].split(QLatin1Char(','))[3].toDouble(), 5.0);
}

void TestRecorder::everyFrameWritesALinePerFrame()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.csv"));
    MeterDriver driver(kSpeed, 0);
    driver.takeChange();
    driver.sent();
    Recorder recorder;
    const Clock::time_point t0 = Clock::now();
    QVERIFY(recorder.start(
        path, { QStringLiteral("p"), kSpeed, false, QStringLiteral("auto"), 0 }, t0));
    for (int i = 0; i < 25; ++i) {
        feed(driver, frameFor(driver, 0.1, 1.0, 1000));
        QVERIFY(recorder.add(driver, t0 + milliseconds(10 * i)));
        QCOMPARE(dataLines(path).size(), i + 1);
    }
    QCOMPARE(recorder.lines(), qint64(25 + 8));
}

void TestRecorder::gapIsOneLineAndTheGridGoesOn()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.csv"));
    MeterDriver driver(kSpeed, 0);
    driver.takeChange();
    driver.sent();
    Recorder recorder;
    const Clock::time_point t0 = Clock::now();
    QVERIFY(recorder.start(
        path, { QStringLiteral("p"), kSpeed, false, QStringLiteral("auto"), 1000 }, t0));
    feed(driver, frameFor(driver, 1.0, 0, 0));
    QVERIFY(recorder.add(driver, t0 + milliseconds(300)));
    QVERIFY(recorder.gap(QStringLiteral("line lost"), t0 + milliseconds(700)));
    QVERIFY(recorder.gap(QStringLiteral("line lost"), t0 + milliseconds(900)));
    QVERIFY(recorder.tick(t0 + milliseconds(5500)));
    feed(driver, frameFor(driver, 2.0, 0, 0));
    QVERIFY(recorder.add(driver, t0 + milliseconds(5600)));
    QVERIFY(recorder.tick(t0 + milliseconds(6000)));
    const QStringList lines = dataLines(path);
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0].split(QLatin1Char(','))[1].toDouble(), 0.7);
    QVERIFY(lines[1].endsWith(QLatin1String(",gap: line lost")));
    QCOMPARE(lines[1].split(QLatin1Char(',')).size(), lines[0].split(QLatin1Char(',')).size());
    // Back on the one-second grid of the start.
    QCOMPARE(lines[2].split(QLatin1Char(','))[1].toDouble(), 6.0);
    QCOMPARE(lines[2].split(QLatin1Char(','))[3].toDouble(), 2.0);
}

void TestRecorder::twoChannelColumns()
{
    const QByteArray columns = Recorder::columns(true);
    QVERIFY(columns.startsWith("time,seconds,frames,ch1_dc_V,ch1_dc_V_min,ch1_dc_V_max,"));
    QVERIFY(columns.contains(",ch2_freq_Hz,ch2_freq_Hz_min,ch2_freq_Hz_max,"));
    QVERIFY(columns.endsWith(",note"));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.csv"));
    MeterDriver driver(kSpeed, 0);
    driver.configure(true, { MeterDriver::kAuto, MeterDriver::kAuto });
    driver.takeChange();
    driver.sent();
    Recorder recorder;
    const Clock::time_point t0 = Clock::now();
    QVERIFY(recorder.start(
        path, { QStringLiteral("p"), kSpeed, true, QStringLiteral("auto,auto"), 0 }, t0));
    feed(driver, frameFor(driver, 1.0, 0, 0, -0.5));
    QVERIFY(recorder.add(driver, t0));
    const QStringList fields = dataLines(path).value(0).split(QLatin1Char(','));
    QCOMPARE(fields.size(), columns.count(',') + 1);
    QCOMPARE(fields[3].toDouble(), 1.0);
    QCOMPARE(fields[15].toDouble(), -0.5);
}

void TestRecorder::jsonLines()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("log.json"));
    MeterDriver driver(kSpeed, 0);
    driver.takeChange();
    driver.sent();
    Recorder recorder(Recorder::Format::Json);
    const Clock::time_point t0 = Clock::now();
    QVERIFY(recorder.start(
        path, { QStringLiteral("p"), kSpeed, false, QStringLiteral("auto"), 0 }, t0));
    feed(driver, frameFor(driver, 0.0, 1.0, 1000));
    QVERIFY(recorder.add(driver, t0));
    QVERIFY(recorder.gap(QStringLiteral("no frames"), t0 + milliseconds(100)));
    const QStringList lines = readLines(path);
    QCOMPARE(lines.size(), 2);
    QJsonParseError error;
    const QJsonObject first = QJsonDocument::fromJson(lines[0].toUtf8(), &error).object();
    QCOMPARE(error.error, QJsonParseError::NoError);
    QVERIFY(
        std::fabs(first[QStringLiteral("ch1")][QStringLiteral("ac_rms_V")][QStringLiteral("mean")]
                      .toDouble()
            - std::sqrt(0.5))
        < 0.01);
    const QJsonObject gap = QJsonDocument::fromJson(lines[1].toUtf8()).object();
    QCOMPARE(gap[QStringLiteral("gap")].toString(), QStringLiteral("no frames"));
}

QTEST_MAIN(TestRecorder)
#include "tst_recorder.moc"
