#include "fakedevice.h"
#include "framebuffer.h"
#include "generator.h"
#include "gentable.h"
#include "synthesis.h"
#include "zorcom.h"

#include <QComboBox>
#include <QLabel>
#include <QMouseEvent>
#include <QSpinBox>
#include <QtTest>

#include <memory>

namespace {

// Stands in for the main window: carries the controls and paints the preview.
class PlotWindow : public QWidget {
public:
    PlotWindow() { resize(1028, 612); }

    Generator *generator = nullptr;
    int paints = 0;

protected:
    void paintEvent(QPaintEvent *) override
    {
        ++paints;
        if (generator)
            generator->drawGraph(0, 0);
    }
};

struct Bench {
    GenTable table;
    PlotWindow window;
    std::unique_ptr<Generator> gen;

    Bench()
        : gen(std::make_unique<Generator>(&window, &table))
    {
        window.generator = gen.get();
    }

    QSpinBox *box(const char *name) { return window.findChild<QSpinBox *>(QLatin1String(name)); }
    QComboBox *typeBox() { return window.findChild<QComboBox *>(QStringLiteral("typeBox")); }
    QLabel *label(const char *name) { return window.findChild<QLabel *>(QLatin1String(name)); }

    // As the user would: a new value in a box fires its slot.
    void setBox(const char *name, int value)
    {
        QSpinBox *b = box(name);
        if (b->value() == value)
            b->setValue(value == b->minimum() ? value + 1 : value - 1);
        b->setValue(value);
    }
    void chooseType(int row)
    {
        typeBox()->setCurrentIndex(row);
        emit typeBox()->activated(row);
    }
    void move(int x, int y)
    {
        QMouseEvent event(QEvent::MouseMove, QPointF(x, y), window.mapToGlobal(QPointF(x, y)),
            Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        gen->drawArb(&event);
    }
    int entry(int i) const { return table.snapshot()[static_cast<std::size_t>(i)]; }

    bool showAndSettle()
    {
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            return false;
        QCoreApplication::processEvents();
        window.paints = 0;
        return true;
    }
    int paintsAfterEvents()
    {
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        return window.paints;
    }
};

constexpr int kArbitrary = 5;
constexpr int kWhiteNoise = 3;

} // namespace

class TestGenerator : public QObject {
    Q_OBJECT

private slots:
    void controlsStartHiddenDisabledWithInitialValues();
    void buildingThePanelCallsNoSlot();
    void showAndHideTheEightControls();
    void enableLeavesTheMultiplierAsItWas();
    void multiplierSetsTheFrequencyStep_data();
    void multiplierSetsTheFrequencyStep();
    void slotsRecomputeTheTable();
    void startWithoutLinkAppliesEverySetting();
    void requestsOnAClosedLinkAreHarmless();
    void aNewDeviceGetsTheTableAtTheNextStart_data();
    void aNewDeviceGetsTheTableAtTheNextStart();
    void identicalSettingsDoNotRepaint();
    void dutyChangeWithinOneEntryDoesNotRepaint();
    void switchingToNoiseKeepsTheTableAndRepaintsOnce();
    void drawingMapsWindowPointsToEntries_data();
    void drawingMapsWindowPointsToEntries();
    void drawingNeedsTheArbitraryWaveform();
    void strokeSurvivesAPointOffThePlot();
    void releaseEndsTheStroke();
    void shortTableColumnsShareEntries();
    void selectingArbitraryKeepsTheLastWave();
    void drawingRepaintsTheWindow();
    void previewShowsTableAtTheDrawnRows();
    void playedFrequencyBesideLengthAndPeriod_data();
    void playedFrequencyBesideLengthAndPeriod();
    void appliedDrawingIsWhatStartSends();
    void appliedComputedWaveformIsRecomputed();
    void setupTakenFromTheControls();
};

void TestGenerator::controlsStartHiddenDisabledWithInitialValues()
{
    Bench b;
    struct Expected {
        const char *name;
        int low, high, value;
        const char *prefix, *suffix;
        QRect geometry;
        bool enabled;
    };
    const Expected boxes[] = {
        { "freqBox", 1, 500000, 1000, "", "Hz", QRect(100, 580, 110, 20), false },
        { "freqMulBox", 0, 5, 0, "x10^", "", QRect(215, 580, 85, 20), true },
        { "gainBox", 0, 1250, 1250, "", "mV", QRect(340, 580, 100, 20), false },
        { "dutyBox", 1, 99, 50, "", "%", QRect(600, 580, 60, 20), false },
        { "offsetBox", -1200, 1200, 0, "", "mV", QRect(700, 580, 100, 20), false },
    };
    for (const Expected &e : boxes) {
        QSpinBox *box = b.box(e.name);
        QVERIFY2(box, e.name);
        QCOMPARE(box->minimum(), e.low);
        QCOMPARE(box->maximum(), e.high);
        QCOMPARE(box->value(), e.value);
        QCOMPARE(box->prefix(), QLatin1String(e.prefix));
        QCOMPARE(box->suffix(), QLatin1String(e.suffix));
        QCOMPARE(box->geometry(), e.geometry);
        QCOMPARE(box->isEnabled(), e.enabled);
        QVERIFY(box->isHidden());
    }
    QComboBox *type = b.typeBox();
    QVERIFY(type);
    const QStringList rows { "sine", "square", "triangle", "white noise", "pink noise",
        "arbitrary" };
    QCOMPARE(type->count(), rows.size());
    for (int i = 0; i < rows.size(); ++i)
        QCOMPARE(type->itemText(i), rows[i]);
    QCOMPARE(type->currentIndex(), 0);
    QCOMPARE(type->geometry(), QRect(480, 580, 110, 20));
    QVERIFY(!type->isEnabled());
    QVERIFY(type->isHidden());

    QCOMPARE(b.label("tabLabel")->text(), QStringLiteral("Freq: 0Hz"));
    QCOMPARE(b.label("tabLabel")->geometry(), QRect(838, 100, 200, 20));
    QCOMPARE(b.label("periodLabel")->text(), QStringLiteral("Gain: 0V"));
    QCOMPARE(b.label("periodLabel")->geometry(), QRect(838, 120, 200, 20));
    QVERIFY(!b.label("tabLabel")->isEnabled());
    QVERIFY(b.label("periodLabel")->isHidden());
}

void TestGenerator::buildingThePanelCallsNoSlot()
{
    Bench b;
    QCOMPARE(b.gen->freq, 1000);
    const Table t = b.table.snapshot();
    QVERIFY(std::all_of(t.begin(), t.end(), [](int v) { return v == 0; }));
}

void TestGenerator::showAndHideTheEightControls()
{
    Bench b;
    b.window.show();
    b.gen->show();
    const auto controls = { static_cast<QWidget *>(b.box("freqBox")),
        static_cast<QWidget *>(b.box("freqMulBox")), static_cast<QWidget *>(b.box("gainBox")),
        static_cast<QWidget *>(b.typeBox()), static_cast<QWidget *>(b.box("dutyBox")),
        static_cast<QWidget *>(b.box("offsetBox")), static_cast<QWidget *>(b.label("tabLabel")),
        static_cast<QWidget *>(b.label("periodLabel")) };
    for (QWidget *w : controls)
        QVERIFY2(w->isVisible(), qPrintable(w->objectName()));
    b.gen->hide();
    for (QWidget *w : controls)
        QVERIFY2(!w->isVisible(), qPrintable(w->objectName()));
}

void TestGenerator::enableLeavesTheMultiplierAsItWas()
{
    Bench b;
    b.gen->enable();
    for (const char *name : { "freqBox", "gainBox", "dutyBox", "offsetBox", "freqMulBox" })
        QVERIFY2(b.box(name)->isEnabled(), name);
    QVERIFY(b.typeBox()->isEnabled());
    QVERIFY(b.label("tabLabel")->isEnabled());
    QVERIFY(b.label("periodLabel")->isEnabled());
}

void TestGenerator::multiplierSetsTheFrequencyStep_data()
{
    QTest::addColumn<int>("multiplier");
    QTest::addColumn<int>("step");
    QTest::newRow("x10^0") << 0 << 1;
    QTest::newRow("x10^1") << 1 << 10;
    QTest::newRow("x10^3") << 3 << 1000;
    QTest::newRow("x10^5") << 5 << 100000;
}

void TestGenerator::multiplierSetsTheFrequencyStep()
{
    QFETCH(int, multiplier);
    QFETCH(int, step);
    Bench b;
    b.gen->enable();
    b.setBox("freqMulBox", multiplier);
    QSpinBox *freqBox = b.box("freqBox");
    QCOMPARE(freqBox->singleStep(), step);
    freqBox->setValue(1);
    freqBox->stepBy(1);
    QCOMPARE(freqBox->value(), 1 + step);
    QCOMPARE(b.gen->freq, 1 + step);
}

void TestGenerator::slotsRecomputeTheTable()
{
    Bench b;
    b.gen->enable();
    b.setBox("gainBox", 1000);
    QCOMPARE(b.entry(0), 1637); // sine at 512 entries
    b.chooseType(1);
    b.setBox("dutyBox", 25);
    QCOMPARE(b.entry(127), 1636);
    QCOMPARE(b.entry(128), -1637);
    b.setBox("offsetBox", -1200);
    QCOMPARE(b.entry(127), 1636 - 1965);
    QCOMPARE(b.entry(128), -2048);
    b.chooseType(2);
    QCOMPARE(b.entry(128), 1637 - 1965);
}

void TestGenerator::startWithoutLinkAppliesEverySetting()
{
    Bench b;
    b.gen->start();
    QCOMPARE(b.gen->freq, 1000);
    QCOMPARE(b.label("tabLabel")->text(), QStringLiteral("512"));
    QCOMPARE(b.label("periodLabel")->text(), QStringLiteral("62"));
    QCOMPARE(b.entry(0), 2047);
    QCOMPARE(b.entry(256), -2046);
}

void TestGenerator::requestsOnAClosedLinkAreHarmless()
{
    Bench b;
    ZORCom neverOpened(nullptr, &b.table);
    b.gen->com = &neverOpened;
    b.gen->enable();
    b.gen->start();
    b.setBox("freqBox", 300000);
    b.chooseType(kArbitrary);
    b.move(200, 100);
    b.gen->drawArbRelease();
    QCOMPARE(b.label("tabLabel")->text(), QStringLiteral("2"));
    QCOMPARE(b.entry((190 * 2) / 512), (286 - 100) * 8);
}

// The main window tells the panel of every opening before any panel starts:
// the table goes out with the next start, whether the controls were enabled
// before or after it; a start with nothing new sends none.
void TestGenerator::aNewDeviceGetsTheTableAtTheNextStart_data()
{
    QTest::addColumn<bool>("enableFirst");
    QTest::newRow("enabled, then started") << true;
    QTest::newRow("started, then enabled") << false;
}

void TestGenerator::aNewDeviceGetsTheTableAtTheNextStart()
{
    QFETCH(bool, enableFirst);
    Bench b;
    FrameBuffer frames;
    FakeDevice device;
    QVERIFY(device.ok());
    ZORCom link(&frames, &b.table);
    QVERIFY(link.Open(device.slavePath(), 115200));
    QVERIFY(link.Start());
    b.gen->com = &link;
    const auto openAndStart = [&] {
        b.gen->newDevice();
        if (enableFirst)
            b.gen->enable();
        b.gen->start();
        if (!enableFirst)
            b.gen->enable();
    };

    openAndStart();
    device.send(FakeDevice::frame({})); // the worker leaves acquisition after a frame
    QVERIFY(device.expect("g"));
    QCOMPARE(device.serveGenerator(), 1);
    b.gen->start(); // the tab entered again, nothing changed
    QCOMPARE(device.serveGenerator(), 0);
    openAndStart(); // as after a reopening, to a device perhaps swapped
    QCOMPARE(device.serveGenerator(), 1);
}

void TestGenerator::identicalSettingsDoNotRepaint()
{
    Bench b;
    QVERIFY(b.showAndSettle());
    b.gen->bufChange(300, 1, 700, 40, 100);
    QVERIFY(b.paintsAfterEvents() > 0);
    b.window.paints = 0;
    b.gen->bufChange(300, 1, 700, 40, 100);
    QCOMPARE(b.paintsAfterEvents(), 0);
    b.gen->bufChange(300, 1, 700, 40, 101); // 1 mV more is 1 count more
    QVERIFY(b.paintsAfterEvents() > 0);
}

void TestGenerator::dutyChangeWithinOneEntryDoesNotRepaint()
{
    Bench b;
    QVERIFY(b.showAndSettle());
    b.gen->bufChange(2, 1, 1250, 50, 0);
    QVERIFY(b.paintsAfterEvents() > 0);
    b.window.paints = 0;
    b.gen->bufChange(2, 1, 1250, 60, 0);
    QCOMPARE(b.paintsAfterEvents(), 0);
    QCOMPARE(b.entry(0), 2046);
    QCOMPARE(b.entry(1), -2047);
}

void TestGenerator::switchingToNoiseKeepsTheTableAndRepaintsOnce()
{
    Bench b;
    QVERIFY(b.showAndSettle());
    b.gen->bufChange(512, 0, 1250, 50, 0);
    const Table sine = b.table.snapshot();
    QCOMPARE(sine[0], 2047);
    b.paintsAfterEvents();
    b.window.paints = 0;
    b.gen->bufChange(512, kWhiteNoise, 1250, 50, 0);
    QVERIFY(b.paintsAfterEvents() > 0);
    QCOMPARE(b.table.snapshot(), sine);
    b.window.paints = 0;
    b.gen->bufChange(512, kWhiteNoise, 1250, 50, 0);
    QCOMPARE(b.paintsAfterEvents(), 0);
    QCOMPARE(b.table.snapshot(), sine);
}

void TestGenerator::drawingMapsWindowPointsToEntries_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("value");
    QTest::newRow("centre line") << 110 << 286 << 100 << 0;
    QTest::newRow("top row") << 110 << 31 << 100 << 2040;
    QTest::newRow("bottom row") << 110 << 541 << 100 << -2040;
    QTest::newRow("column 600 repeats the first half") << 610 << 200 << 88 << 688;
    QTest::newRow("first column") << 11 << 285 << 1 << 8;
    QTest::newRow("last column") << 777 << 287 << 255 << -8;
}

void TestGenerator::drawingMapsWindowPointsToEntries()
{
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(int, index);
    QFETCH(int, value);
    Bench b;
    b.gen->enable();
    b.table.edit([](int *t) { std::fill(t, t + 512, 777); });
    b.chooseType(kArbitrary);
    b.move(x, y);
    QCOMPARE(b.entry(index), value);
    int changed = 0;
    for (const int v : b.table.snapshot())
        changed += v != 777;
    QCOMPARE(changed, 1);
}

void TestGenerator::drawingNeedsTheArbitraryWaveform()
{
    Bench b;
    b.gen->enable();
    b.chooseType(1);
    const Table before = b.table.snapshot();
    b.move(110, 31);
    b.move(200, 31);
    QCOMPARE(b.table.snapshot(), before);
}

void TestGenerator::strokeSurvivesAPointOffThePlot()
{
    Bench b;
    b.gen->enable();
    b.chooseType(kArbitrary);
    b.table.edit([](int *t) { std::fill(t, t + 512, 777); });
    b.move(110, 286);
    b.move(5, 286);
    b.move(118, 286);
    for (int i = 100; i <= 108; ++i)
        QCOMPARE(b.entry(i), 0);
}

void TestGenerator::releaseEndsTheStroke()
{
    Bench b;
    b.gen->enable();
    b.chooseType(kArbitrary);
    b.table.edit([](int *t) { std::fill(t, t + 512, 777); });
    b.move(110, 286);
    b.gen->drawArbRelease();
    b.move(120, 286);
    QCOMPARE(b.entry(100), 0);
    QCOMPARE(b.entry(110), 0);
    for (int i = 101; i < 110; ++i)
        QCOMPARE(b.entry(i), 777);
    b.gen->drawArbRelease();
    b.gen->drawArbRelease(); // a release without a stroke changes nothing
    QCOMPARE(b.entry(105), 777);
}

void TestGenerator::shortTableColumnsShareEntries()
{
    Bench b;
    b.gen->enable();
    b.chooseType(kArbitrary);
    b.setBox("freqBox", 100000); // 8 entries
    QCOMPARE(b.label("tabLabel")->text(), QStringLiteral("8"));
    b.table.edit([](int *t) { std::fill(t, t + 512, 777); });
    b.move(10 + 64, 200);
    QCOMPARE(b.entry(1), 688);
    b.move(10 + 127, 280);
    QCOMPARE(b.entry(1), 48);
    QCOMPARE(b.entry(0), 777);
    QCOMPARE(b.entry(2), 777);
    QCOMPARE(b.entry(8), 777);
    b.gen->drawArbRelease();
    b.move(10 + 600, 100); // (600 mod 512) * 8 / 512
    QCOMPARE(b.entry(1), 1488);
}

void TestGenerator::selectingArbitraryKeepsTheLastWave()
{
    Bench b;
    b.gen->enable();
    b.chooseType(2);
    const Table triangle = b.table.snapshot();
    QCOMPARE(triangle[256], 2047);
    b.chooseType(kArbitrary);
    QCOMPARE(b.table.snapshot(), triangle);
}

void TestGenerator::drawingRepaintsTheWindow()
{
    Bench b;
    b.gen->enable();
    b.chooseType(kArbitrary);
    QVERIFY(b.showAndSettle());
    b.move(300, 300);
    QVERIFY(b.paintsAfterEvents() > 0);
}

// A point drawn at window row y shows at row y; the period end has its cursor.
void TestGenerator::previewShowsTableAtTheDrawnRows()
{
    Bench b;
    b.gen->enable();
    b.chooseType(kArbitrary);
    b.table.edit([](int *t) { std::fill(t, t + 512, 0); });
    for (int x = 100; x <= 300; x += 20)
        b.move(x, 200);
    b.gen->drawArbRelease();
    const QImage image = b.window.grab().toImage();
    const QColor trace(20, 30, 240);
    const QColor cursor(20, 80, 60);
    QCOMPARE(image.pixelColor(200, 200), trace);
    QCOMPARE(image.pixelColor(200, 286), QColor(10, 240, 10)); // nothing drawn on the axis there
    QCOMPARE(image.pixelColor(50, 286), trace); // zeros elsewhere
    QCOMPARE(image.pixelColor(200 + 512, 200), trace); // the repeated half period
    QCOMPARE(image.pixelColor(522, 400), cursor);
}

void TestGenerator::playedFrequencyBesideLengthAndPeriod_data()
{
    QTest::addColumn<int>("hz");
    QTest::addColumn<QString>("tab");
    QTest::addColumn<QString>("period");
    QTest::addColumn<QString>("played");
    QTest::newRow("1000 Hz") << 1000 << "512"
                             << "62"
                             << "1008.065 Hz";
    QTest::newRow("100 Hz") << 100 << "512"
                            << "624"
                            << "100.160 Hz";
    QTest::newRow("2000 Hz") << 2000 << "498"
                             << "32"
                             << "2008.032 Hz";
    QTest::newRow("500 kHz") << 500000 << "2"
                             << "32"
                             << "500000.000 Hz";
}

// Under the table length and the period, the frequency the two make the
// device play; empty, greyed and hidden like them before the tab starts.
void TestGenerator::playedFrequencyBesideLengthAndPeriod()
{
    QFETCH(int, hz);
    QFETCH(QString, tab);
    QFETCH(QString, period);
    QFETCH(QString, played);
    Bench b;
    QLabel *label = b.label("playedLabel");
    QVERIFY(label);
    QCOMPARE(label->geometry(), QRect(838, 140, 200, 20));
    QCOMPARE(label->text(), QString());
    QVERIFY(!label->isEnabled());
    QVERIFY(label->isHidden());
    b.window.show();
    b.gen->show();
    QVERIFY(label->isVisible());
    b.gen->enable();
    QVERIFY(label->isEnabled());

    b.setBox("freqBox", hz);
    QCOMPARE(b.label("tabLabel")->text(), tab);
    QCOMPARE(b.label("periodLabel")->text(), period);
    QCOMPARE(label->text(), played);
    b.gen->hide();
    QVERIFY(!label->isVisible());
}

namespace {

setupfile::Generator drawnAt2kHz()
{
    setupfile::Generator s;
    s.frequency = 2000;
    s.step = 2;
    s.amplitude = 300;
    s.waveform = kArbitrary;
    s.duty = 20;
    s.offset = -100;
    for (int i = 0; i < setupfile::kTableEntries; ++i)
        s.table[static_cast<std::size_t>(i)] = (i * 53) % 4000 - 2000;
    return s;
}

} // namespace

// A kept drawing, put in before any port is open: the controls and the
// preview show it, nothing is sent, and the first start() sends the clock
// and exactly that table.
void TestGenerator::appliedDrawingIsWhatStartSends()
{
    Bench b;
    FrameBuffer frames;
    FakeDevice device;
    QVERIFY(device.ok());
    ZORCom link(&frames, &b.table);
    QVERIFY(link.Open(device.slavePath(), 115200));
    QVERIFY(link.Start());
    b.gen->com = &link;
    b.gen->enable();
    // The device already plays a wave of the same settings, not the kept table.
    b.setBox("freqBox", 2000);
    b.setBox("gainBox", 300);
    b.setBox("dutyBox", 20);
    b.setBox("offsetBox", -100);
    b.chooseType(kArbitrary);
    b.gen->start();
    device.send(FakeDevice::frame({})); // the worker leaves acquisition after a frame
    QVERIFY(device.expect("g"));
    QCOMPARE(device.serveGenerator(), 1);

    const setupfile::Generator kept = drawnAt2kHz();
    b.gen->applySetup(kept);
    QCOMPARE(device.serveGenerator(), 0);
    QCOMPARE(b.box("freqBox")->value(), 2000);
    QCOMPARE(b.box("freqBox")->singleStep(), 100);
    QCOMPARE(b.typeBox()->currentText(), QStringLiteral("arbitrary"));
    QCOMPARE(b.label("tabLabel")->text(), QStringLiteral("498"));
    QCOMPARE(b.label("periodLabel")->text(), QStringLiteral("32"));
    QCOMPARE(b.table.snapshot(), kept.table);

    b.gen->start();
    QCOMPARE(device.serveGenerator(), 1);
    QCOMPARE(b.table.snapshot(), kept.table);
    QCOMPARE(b.gen->playing().tab, 498);
    QCOMPARE(b.gen->playing().amplitude, 300);
}

// A computed waveform is computed again from the kept settings: the
// preview shows the table start() will send, whatever the file's table says.
void TestGenerator::appliedComputedWaveformIsRecomputed()
{
    Bench b;
    setupfile::Generator kept = drawnAt2kHz();
    kept.waveform = 1; // square
    b.gen->applySetup(kept);
    Table expected = kept.table;
    synthesis::synthesize(expected.data(), synthesis::shapeOf(498, 1, 300, 20, -100));
    QCOMPARE(b.table.snapshot(), expected);
    b.gen->start();
    QCOMPARE(b.table.snapshot(), expected);
}

void TestGenerator::setupTakenFromTheControls()
{
    Bench b;
    b.setBox("freqBox", 4321);
    b.setBox("freqMulBox", 4);
    b.setBox("gainBox", 1000);
    b.chooseType(2);
    b.setBox("dutyBox", 75);
    b.setBox("offsetBox", 250);
    const setupfile::Generator s = b.gen->setup();
    QCOMPARE(s.frequency, 4321);
    QCOMPARE(s.step, 4);
    QCOMPARE(s.amplitude, 1000);
    QCOMPARE(s.waveform, 2);
    QCOMPARE(s.duty, 75);
    QCOMPARE(s.offset, 250);
    QCOMPARE(s.table, b.table.snapshot());

    Bench other;
    other.gen->applySetup(s);
    const setupfile::Generator again = other.gen->setup();
    QCOMPARE(again.frequency, 4321);
    QCOMPARE(again.step, 4);
    QCOMPARE(again.waveform, 2);
    QCOMPARE(again.table, s.table);
}

QTEST_MAIN(TestGenerator)
#include "tst_generator.moc"
