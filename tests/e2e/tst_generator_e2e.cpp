#include "gentable.h"
#include "mainwindow.h"
#include "scratchdir.h"
#include "shared.h"
#include "synthesis.h"
#include "windowcontrols.h"
#include "zorsimulator.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include <memory>

namespace {

constexpr int kWait = 5000; // ms; generous, the exchanges take a few

Table computed(int tab, int type, int gain, int duty, int offset, Table start = Table {})
{
    synthesis::synthesize(start.data(), synthesis::shapeOf(tab, type, gain, duty, offset));
    return start;
}

// The generator's digits for a period and a table length, as the device
// receives them between "s" and "q".
QByteArray freqDigits(int period, int tab)
{
    QByteArray d("s");
    for (const int v : { period >> 12, (period >> 8) & 0xF, (period >> 4) & 0xF, period & 0xF,
             tab >> 8, (tab >> 4) & 0xF, tab & 0xF })
        d.append(static_cast<char>('0' + v));
    d.append('q');
    return d;
}

// The whole program against a simulated ZOR, offscreen.
struct Bench {
    std::unique_ptr<ZorSimulator> sim;
    MainWindow window;

    static std::unique_ptr<ZorSimulator> newDevice()
    {
        ZorSimulator::Options options;
        options.paced = false;
        auto device = std::make_unique<ZorSimulator>(options);
        if (!device->start())
            return nullptr;
        if (!ScratchDir::writeSettings(QString::fromStdString(device->slavePath())))
            return nullptr;
        return device;
    }

    Bench()
        : sim(newDevice())
    {
        window.show();
    }

    // Another device, as the user would set it up in the settings tab.
    bool replaceDevice()
    {
        sim = newDevice();
        auto *name = window.findChild<QPlainTextEdit *>();
        if (!sim || !name)
            return false;
        name->setPlainText(QString::fromStdString(sim->slavePath()));
        return true;
    }

    QPushButton *portButton() { return controls::portButton(window); }
    void pressPort() { QTest::mouseClick(portButton(), Qt::LeftButton); }
    void selectTab(int tab) { controls::selectTab(window, tab); }
    QSpinBox *box(const char *name) { return window.findChild<QSpinBox *>(QLatin1String(name)); }
    QLabel *label(const char *name) { return window.findChild<QLabel *>(QLatin1String(name)); }
    bool chooseType(int row) { return controls::choose(window, "typeBox", row); }
    void mouse(QEvent::Type type, int x, int y) { controls::mouse(window, type, QPoint(x, y)); }
    long tables() const { return sim->state().tablesReceived; }

    // The oscilloscope's start (channel, time base, gain) has been served and
    // frames flow again. Its requests are still pending for a moment after the
    // tab is entered; the generator tab is entered only after that.
    bool oscilloscopeRunning()
    {
        return QTest::qWaitFor(
            [&] {
                const QByteArray rx = QByteArray::fromStdString(sim->received());
                const int gain = rx.lastIndexOf('u');
                const int gainDone = gain < 0 ? -1 : rx.indexOf("qg", gain);
                return sim->state().mode == Mode::OneChannel && gainDone >= 0
                    && rx.indexOf('g', gainDone + 2) >= 0;
            },
            kWait);
    }

    // Two frequency changes that keep the table length, each awaited on the
    // device: every generator request raised before them has been served.
    bool settle(int firstHz, int firstPeriod, int secondHz, int secondPeriod)
    {
        for (const auto &[hz, period] :
            { std::pair { firstHz, firstPeriod }, { secondHz, secondPeriod } }) {
            box("freqBox")->setValue(hz);
            if (!QTest::qWaitFor([&] { return sim->state().period == period; }, kWait))
                return false;
        }
        return true;
    }
};

} // namespace

class TestGeneratorEndToEnd : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ScratchDir> scratch;

private slots:
    void init();
    void cleanup();

    void enteringTheTabSendsClockAndTable();
    void frequencyReachesTheDevice_data();
    void frequencyReachesTheDevice();
    void reenteringWithSameSettingsSendsNoTable();
    void dutyWithinOneEntrySendsNoTable();
    void switchingToNoiseSendsTheOldTableOnce();
    void drawnStrokeIsUploaded();
    void releaseWithoutStrokeSendsNothing();
    void settingsChangedWhileClosedReachTheNextDevice();
    void aNewDeviceGetsTheTable();
    void oscilloscopeShowsTheGeneratedSquare();
};

void TestGeneratorEndToEnd::init()
{
    scratch = std::make_unique<ScratchDir>();
    QVERIFY(scratch->isValid());
}

void TestGeneratorEndToEnd::cleanup()
{
    scratch.reset();
}

void TestGeneratorEndToEnd::enteringTheTabSendsClockAndTable()
{
    Bench b;
    QVERIFY(b.sim);
    b.pressPort();
    QCOMPARE(b.portButton()->text(), QStringLiteral("Close port"));
    QVERIFY(b.oscilloscopeRunning());
    b.selectTab(1);
    // The worker serves the generator's requests one per pass: mode, table,
    // then clock. The table having arrived says nothing yet of the clock.
    QTRY_VERIFY_WITH_TIMEOUT(
        QByteArray::fromStdString(b.sim->received()).contains(freqDigits(62, 512)), kWait);
    QCOMPARE(b.tables(), 1L);
    const DeviceState s = b.sim->state();
    QCOMPARE(s.mode, Mode::Generator);
    QCOMPARE(s.period, 62);
    QCOMPARE(s.length, 512);
    QCOMPARE(s.table, computed(512, 0, 1250, 50, 0));
    QCOMPARE(s.table[256], -2046);
    QCOMPARE(b.label("tabLabel")->text(), QStringLiteral("512"));
    QCOMPARE(b.label("periodLabel")->text(), QStringLiteral("62"));
}

void TestGeneratorEndToEnd::frequencyReachesTheDevice_data()
{
    QTest::addColumn<int>("hz");
    QTest::addColumn<int>("tab");
    QTest::addColumn<int>("period");
    QTest::newRow("1 Hz") << 1 << 512 << 61538;
    QTest::newRow("100 Hz") << 100 << 512 << 624;
    QTest::newRow("1000 Hz") << 1000 << 512 << 62;
    QTest::newRow("1953 Hz") << 1953 << 512 << 32;
    QTest::newRow("1954 Hz") << 1954 << 510 << 32;
    QTest::newRow("2000 Hz") << 2000 << 498 << 32;
    QTest::newRow("10 kHz") << 10000 << 98 << 32;
    QTest::newRow("100 kHz") << 100000 << 8 << 39;
    QTest::newRow("250 kHz") << 250000 << 2 << 63;
    QTest::newRow("300 kHz") << 300000 << 2 << 53;
    QTest::newRow("499999 Hz") << 499999 << 2 << 32;
    QTest::newRow("500 kHz") << 500000 << 2 << 32;
}

void TestGeneratorEndToEnd::frequencyReachesTheDevice()
{
    QFETCH(int, hz);
    QFETCH(int, tab);
    QFETCH(int, period);
    Bench b;
    QVERIFY(b.sim);
    b.selectTab(1);
    b.pressPort();
    QTRY_COMPARE_WITH_TIMEOUT(b.sim->state().mode, Mode::Generator, kWait);
    b.sim->clearReceived();
    // A neighbour first, so that every row sets the box to a new value.
    b.box("freqBox")->setValue(hz == 1 ? 2 : hz - 1);
    b.box("freqBox")->setValue(hz);
    QCOMPARE(b.label("tabLabel")->text(), QString::number(tab));
    QCOMPARE(b.label("periodLabel")->text(), QString::number(period));
    QTRY_VERIFY_WITH_TIMEOUT(
        QByteArray::fromStdString(b.sim->received()).endsWith(freqDigits(period, tab)), kWait);
    QTRY_COMPARE_WITH_TIMEOUT(b.sim->state().period, period, kWait);
    QCOMPARE(b.sim->state().length, tab);
    // The tab says what the device plays from what it received.
    const DeviceState state = b.sim->state();
    QCOMPARE(b.label("playedLabel")->text(),
        QString::number(32e6 / (double(state.length) * state.period), 'f', 3)
            + QStringLiteral(" Hz"));
    // The sine follows the new length: the device plays what the preview shows.
    QTRY_COMPARE_WITH_TIMEOUT(b.sim->state().table, buff_gen.snapshot(), kWait);
    QCOMPARE(buff_gen.snapshot(), computed(tab, 0, 1250, 50, 0, buff_gen.snapshot()));
}

void TestGeneratorEndToEnd::reenteringWithSameSettingsSendsNoTable()
{
    Bench b;
    QVERIFY(b.sim);
    b.pressPort();
    QVERIFY(b.oscilloscopeRunning());
    b.selectTab(1);
    QTRY_COMPARE_WITH_TIMEOUT(b.tables(), 1L, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(b.sim->state().period, 62, kWait);
    b.sim->clearReceived();
    b.selectTab(0);
    QVERIFY(b.oscilloscopeRunning());
    b.sim->clearReceived();
    b.selectTab(1);
    QTRY_COMPARE_WITH_TIMEOUT(b.sim->state().mode, Mode::Generator, kWait);
    QTRY_VERIFY_WITH_TIMEOUT(
        QByteArray::fromStdString(b.sim->received()).contains(freqDigits(62, 512)), kWait);
    QVERIFY(b.settle(900, 69, 800, 78));
    QCOMPARE(b.tables(), 1L);
}

void TestGeneratorEndToEnd::dutyWithinOneEntrySendsNoTable()
{
    Bench b;
    QVERIFY(b.sim);
    b.selectTab(1);
    b.pressPort();
    QTRY_COMPARE_WITH_TIMEOUT(b.tables(), 1L, kWait);
    b.box("freqBox")->setValue(500000);
    QVERIFY(b.chooseType(1));
    QTRY_COMPARE_WITH_TIMEOUT(b.sim->state().length, 2, kWait);
    QTRY_VERIFY_WITH_TIMEOUT(
        b.sim->state().table[0] == 2046 && b.sim->state().table[1] == -2047, kWait);
    QVERIFY(b.settle(300000, 53, 250000, 63));
    const long before = b.tables();
    b.box("dutyBox")->setValue(60);
    QVERIFY(b.settle(300000, 53, 250000, 63));
    QCOMPARE(b.tables(), before);
    b.box("dutyBox")->setValue(49); // now the square has no high entry
    QTRY_COMPARE_WITH_TIMEOUT(b.tables(), before + 1, kWait);
    QCOMPARE(b.sim->state().table[0], -2047);
}

void TestGeneratorEndToEnd::switchingToNoiseSendsTheOldTableOnce()
{
    Bench b;
    QVERIFY(b.sim);
    b.selectTab(1);
    b.pressPort();
    QTRY_COMPARE_WITH_TIMEOUT(b.tables(), 1L, kWait);
    QVERIFY(b.chooseType(2));
    QTRY_COMPARE_WITH_TIMEOUT(b.tables(), 2L, kWait);
    const Table triangle = computed(512, 2, 1250, 50, 0);
    QCOMPARE(b.sim->state().table, triangle);
    QVERIFY(b.chooseType(3));
    QVERIFY(b.settle(900, 69, 800, 78));
    QCOMPARE(b.tables(), 3L);
    QCOMPARE(b.sim->state().table, triangle);
    QVERIFY(b.chooseType(3));
    QVERIFY(b.settle(900, 69, 800, 78));
    QCOMPARE(b.tables(), 3L);
}

void TestGeneratorEndToEnd::drawnStrokeIsUploaded()
{
    Bench b;
    QVERIFY(b.sim);
    b.selectTab(1);
    b.pressPort();
    QTRY_COMPARE_WITH_TIMEOUT(b.tables(), 1L, kWait);
    QVERIFY(b.chooseType(5));
    QTRY_COMPARE_WITH_TIMEOUT(b.tables(), 2L, kWait);
    b.mouse(QEvent::MouseButtonPress, 110, 286);
    b.mouse(QEvent::MouseMove, 110, 286);
    b.mouse(QEvent::MouseMove, 114, 284);
    b.mouse(QEvent::MouseMove, 610, 200);
    const Table drawn = buff_gen.snapshot();
    QCOMPARE(drawn[100], 2);
    QCOMPARE(drawn[104], 16);
    QCOMPARE(drawn[88], 688); // column 600 edits the first half period
    QVERIFY(b.settle(900, 69, 800, 78));
    QCOMPARE(b.tables(), 2L); // nothing goes out during the stroke
    b.mouse(QEvent::MouseButtonRelease, 610, 200);
    QTRY_COMPARE_WITH_TIMEOUT(b.tables(), 3L, kWait);
    QCOMPARE(b.sim->state().table, drawn);
}

void TestGeneratorEndToEnd::releaseWithoutStrokeSendsNothing()
{
    Bench b;
    QVERIFY(b.sim);
    b.selectTab(1);
    b.pressPort();
    QTRY_COMPARE_WITH_TIMEOUT(b.tables(), 1L, kWait);
    QVERIFY(b.chooseType(5));
    QTRY_COMPARE_WITH_TIMEOUT(b.tables(), 2L, kWait);
    b.mouse(QEvent::MouseButtonPress, 300, 300);
    b.mouse(QEvent::MouseButtonRelease, 300, 300);
    b.mouse(QEvent::MouseButtonPress, 5, 300);
    b.mouse(QEvent::MouseMove, 5, 320); // off the plot: no stroke begins
    b.mouse(QEvent::MouseButtonRelease, 5, 320);
    QVERIFY(b.settle(900, 69, 800, 78));
    QCOMPARE(b.tables(), 2L);
}

// Changes made while no port is open are not lost: the device gets them when
// the port is opened again.
void TestGeneratorEndToEnd::settingsChangedWhileClosedReachTheNextDevice()
{
    Bench b;
    QVERIFY(b.sim);
    b.selectTab(1);
    b.pressPort();
    QTRY_COMPARE_WITH_TIMEOUT(b.tables(), 1L, kWait);
    b.pressPort();
    QCOMPARE(b.portButton()->text(), QStringLiteral("Open port"));
    b.box("gainBox")->setValue(500);
    QVERIFY(b.chooseType(1));
    QCOMPARE(buff_gen.snapshot()[0], 817);
    QCOMPARE(b.tables(), 1L);

    QVERIFY(b.replaceDevice());
    b.pressPort();
    QCOMPARE(b.portButton()->text(), QStringLiteral("Close port"));
    QTRY_COMPARE_WITH_TIMEOUT(b.tables(), 1L, kWait);
    QCOMPARE(b.sim->state().table, computed(512, 1, 500, 50, 0));
}

// The record of what was sent outlives a port: a device on a new opening may
// have been reset or swapped and still gets the table.
void TestGeneratorEndToEnd::aNewDeviceGetsTheTable()
{
    Bench b;
    QVERIFY(b.sim);
    b.selectTab(1);
    b.pressPort();
    QTRY_COMPARE_WITH_TIMEOUT(b.tables(), 1L, kWait);
    QVERIFY(b.chooseType(2));
    QTRY_COMPARE_WITH_TIMEOUT(b.tables(), 2L, kWait);
    b.pressPort();

    // Opened on another tab: the table goes out when the generator tab is entered.
    b.selectTab(0);
    QVERIFY(b.replaceDevice());
    b.pressPort();
    QVERIFY(b.oscilloscopeRunning());
    b.selectTab(1);
    QTRY_COMPARE_WITH_TIMEOUT(b.tables(), 1L, kWait);
    QCOMPARE(b.sim->state().table, computed(512, 2, 1250, 50, 0));
    b.pressPort();

    // Opened on the generator tab.
    QVERIFY(b.replaceDevice());
    b.pressPort();
    QTRY_COMPARE_WITH_TIMEOUT(b.tables(), 1L, kWait);
    QCOMPARE(b.sim->state().table, computed(512, 2, 1250, 50, 0));
    QVERIFY(b.settle(900, 69, 800, 78));
    QCOMPARE(b.tables(), 1L);
}

// The simulated device plays its table on channel 1: a full-scale square
// shows on the oscilloscope as two levels.
void TestGeneratorEndToEnd::oscilloscopeShowsTheGeneratedSquare()
{
    Bench b;
    QVERIFY(b.sim);
    b.selectTab(1);
    b.pressPort();
    QTRY_COMPARE_WITH_TIMEOUT(b.tables(), 1L, kWait);
    QVERIFY(b.chooseType(1));
    QTRY_COMPARE_WITH_TIMEOUT(b.tables(), 2L, kWait);
    b.selectTab(0);
    QTRY_COMPARE_WITH_TIMEOUT(b.sim->state().mode, Mode::OneChannel, kWait);
    const long framesBefore = b.sim->state().framesSent;
    QTRY_VERIFY_WITH_TIMEOUT(b.sim->state().framesSent >= framesBefore + 2, kWait);
    QTest::qWait(100);
    const Frame frame = buff.snapshot();
    int high = 0;
    int low = 0;
    for (const int v : frame) {
        high += v > 0;
        low += v < 0;
    }
    QVERIFY2(
        high > 300 && low > 300, qPrintable(QStringLiteral("%1 high, %2 low").arg(high).arg(low)));
    const auto [lowest, highest] = std::minmax_element(frame.begin(), frame.end());
    QVERIFY(*highest > 0 && *lowest < 0);
    QVERIFY(std::abs(*highest + *lowest) <= 2); // symmetric about zero
}

QTEST_MAIN(TestGeneratorEndToEnd)
#include "tst_generator_e2e.moc"
