#include "oscyloskop.h"

#include "fakedevice.h"
#include "framebuffer.h"
#include "gentable.h"
#include "zorcom.h"

#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QtTest>

#include <algorithm>
#include <array>
#include <limits>
#include <memory>

namespace {

using RawFrame = std::array<int, 1024>;

// A widget of the main window's size on which the panel places its controls
// and paints its plot, from the paint event as the main window does.
class Host : public QWidget {
public:
    Host()
    {
        resize(1028, 612);
        panel = std::make_unique<Oscyloskop>(this);
    }

    QImage paint(const RawFrame &raw)
    {
        frame = &raw;
        QImage image(size(), QImage::Format_RGB32);
        image.fill(Qt::white);
        render(&image, QPoint(), QRegion(), QWidget::DrawWindowBackground);
        return image;
    }

    template <typename T> T *control(const char *name) const
    {
        return findChild<T *>(QLatin1String(name));
    }

    std::unique_ptr<Oscyloskop> panel;

protected:
    void paintEvent(QPaintEvent *) override
    {
        if (frame)
            panel->drawGraph(frame->data());
    }

private:
    const RawFrame *frame = nullptr;
};

// What the user does: pick an item, which the combo box reports as activated.
void choose(QComboBox *combo, int item)
{
    combo->setCurrentIndex(item);
    emit combo->activated(item);
}

RawFrame flat(int v)
{
    RawFrame f;
    f.fill(v);
    return f;
}

const QColor kCursor(20, 80, 60);
const QColor kChannel1(20, 30, 240);
const QColor kChannel2(230, 30, 20);
const QColor kReference(230, 200, 40);

// A square of 64-sample period between -amplitude and amplitude raw.
RawFrame square(int amplitude)
{
    RawFrame f;
    for (std::size_t i = 0; i < f.size(); ++i)
        f[i] = (i % 64) >= 32 ? amplitude : -amplitude;
    return f;
}

// Flat at -100 raw, rising to `top` at sample 600: one rising edge through 0.
RawFrame risingTo(int top)
{
    RawFrame f = flat(-100);
    for (std::size_t i = 600; i < f.size(); ++i)
        f[i] = top;
    return f;
}

QStringList items(const QComboBox *combo)
{
    QStringList texts;
    for (int i = 0; i < combo->count(); ++i)
        texts << combo->itemText(i);
    return texts;
}

} // namespace

class TestOscyloskop : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void controlsStartDisabledAtTheirPlaces();
    void listsAndInitialValues();
    void enableLeavesChannel2ControlsDisabled();
    void showAndHideLeavePositionLabels();
    void positionLabels();
    void startSendsChannelTimeBaseAndGains();
    void timeBaseCodes_data();
    void timeBaseCodes();
    void eitherGainComboSendsBothGains();
    void channel2ShrinksAndRegrowsTheTimeList();
    void channel2AtAFastTimeBaseMovesToTwentyMicroseconds();
    void closedLinkGetsNothingAndTheNextOpenSendsTheSettings();
    void noLinkAtAll();
    void appliedSetupIsWhatStartSends();
    void applyingSendsNothing();
    void setupTakenFromTheControls_data();
    void setupTakenFromTheControls();
    void channel2SetupDropsTheFastTimeBases();

    void traceAndCursorsPainted();
    void levelLineFollowsGain_data();
    void levelLineFollowsGain();
    void positionLineAtTheEdges_data();
    void positionLineAtTheEdges();
    void verticalPositionMovesOnlyRefreshedPictures();
    void readoutsComeBeforeTheVerticalOffsets();
    void hfDetectorComesFromItsList();
    void tickCountStopsAtItsTop();
    void averagedFramesCancelTheirNoise();
    void channel2TraceOnlyWhenTicked();
    void readoutsOfASquareWave();
    void singleHoldsUntilATriggerControlChanges();

    void runButtonAndTriggerStateAtTheirPlaces();
    void stopFreezesThePictureAndTheReadouts();
    void stoppedReadoutsWaitForRunToSayNoData();
    void triggerStateFollowsTheTrigger();
    void runButtonRearmsAHeldSingle();
    void referenceCrossIsDrawnUntilRemoved();

private:
    std::unique_ptr<Host> host;
    std::unique_ptr<FakeDevice> device;
    std::unique_ptr<ZORCom> link;
    FrameBuffer frames;
    GenTable table;

    void openLink();
};

void TestOscyloskop::init()
{
    host = std::make_unique<Host>();
}

void TestOscyloskop::cleanup()
{
    link.reset();
    device.reset();
    host.reset();
}

// Opens a link on a fresh pseudo-terminal, as "Open port" does, and enables the panel.
void TestOscyloskop::openLink()
{
    device = std::make_unique<FakeDevice>();
    QVERIFY(!device->slavePath().isEmpty());
    link = std::make_unique<ZORCom>(&frames, &table);
    QVERIFY(link->Open(device->slavePath(), 115200));
    QVERIFY(link->Start());
    host->panel->com = link.get();
    host->panel->enable();
}

void TestOscyloskop::controlsStartDisabledAtTheirPlaces()
{
    struct Expected {
        const char *name;
        QRect geometry;
        bool enabled;
    };
    const Expected expected[] = {
        {"timeCombo", {100, 580, 110, 20}, false},    {"channel2Box", {380, 580, 20, 20}, false},
        {"gain1Combo", {250, 580, 110, 20}, false},   {"gain2Combo", {400, 580, 110, 20}, false},
        {"xPosBar", {0, 552, 788, 20}, false},        {"yPos1Bar", {788, 23, 20, 529}, false},
        {"yPos2Bar", {808, 23, 20, 529}, false},      {"trigModeCombo", {550, 580, 65, 20}, false},
        {"trigEdgeCombo", {620, 580, 55, 20}, false}, {"trigBandCombo", {680, 580, 50, 20}, false},
        {"trigLevelBox", {740, 580, 90, 20}, false},  {"xPosLabel", {838, 30, 100, 20}, true},
        {"yPos1Label", {838, 50, 100, 20}, true},     {"yPos2Label", {938, 50, 100, 20}, true},
        {"rms1Label", {838, 100, 200, 20}, false},    {"rms2Label", {838, 120, 200, 20}, false},
        {"avg1Label", {838, 150, 200, 20}, false},    {"avg2Label", {838, 170, 200, 20}, false},
        {"vpp1Label", {838, 200, 200, 20}, false},    {"vpp2Label", {838, 220, 200, 20}, false},
        {"freq1Label", {838, 250, 200, 20}, false},   {"freq2Label", {838, 270, 200, 20}, false},
    };
    for (const Expected &e : expected) {
        QWidget *widget = host->control<QWidget>(e.name);
        QVERIFY2(widget, e.name);
        QCOMPARE(widget->parentWidget(), host.get());
        QCOMPARE(widget->geometry(), e.geometry);
        QVERIFY2(widget->isEnabled() == e.enabled, e.name);
    }
}

void TestOscyloskop::listsAndInitialValues()
{
    auto *time = host->control<QComboBox>("timeCombo");
    QCOMPARE(items(time),
             QStringList({"50ms/dz", "20ms/dz", "10ms/dz", "5ms/dz", "2ms/dz", "1ms/dz", "500us/dz",
                          "200us/dz", "100us/dz", "50us/dz", "20us/dz", "10us/dz", "8us/dz",
                          "5us/dz", "2us/dz"}));
    QCOMPARE(time->currentIndex(), 7);
    const QStringList gains{"2.5V/dz",  "1V/dz",   "500mV/dz", "250mV/dz",
                            "100mV/dz", "50mV/dz", "25mV/dz"};
    QCOMPARE(items(host->control<QComboBox>("gain1Combo")), gains);
    QCOMPARE(items(host->control<QComboBox>("gain2Combo")), gains);
    QCOMPARE(items(host->control<QComboBox>("trigModeCombo")),
             QStringList({"----", "Norm", "Auto", "Single"}));
    QCOMPARE(items(host->control<QComboBox>("trigEdgeCombo")), QStringList({"Fall", "Ris"}));
    QCOMPARE(items(host->control<QComboBox>("trigBandCombo")), QStringList({"LF", "HF"}));

    auto *level = host->control<QSpinBox>("trigLevelBox");
    QCOMPARE(level->minimum(), -2000);
    QCOMPARE(level->maximum(), 2000);
    QCOMPARE(level->suffix(), QStringLiteral("mV"));
    QCOMPARE(level->value(), 0);
    auto *x = host->control<QScrollBar>("xPosBar");
    QCOMPARE(x->orientation(), Qt::Horizontal);
    QCOMPARE(x->minimum(), -192);
    QCOMPARE(x->maximum(), 192);
    for (const char *name : {"yPos1Bar", "yPos2Bar"}) {
        auto *bar = host->control<QScrollBar>(name);
        QCOMPARE(bar->orientation(), Qt::Vertical);
        QCOMPARE(bar->minimum(), -256);
        QCOMPARE(bar->maximum(), 256);
        QCOMPARE(bar->value(), 0);
    }
    auto *box = host->control<QCheckBox>("channel2Box");
    QVERIFY(!box->isChecked());
    QVERIFY(box->text().isEmpty());

    QCOMPARE(host->control<QLabel>("xPosLabel")->text(), QStringLiteral("Xpos: 0"));
    QCOMPARE(host->control<QLabel>("yPos1Label")->text(), QStringLiteral("Ypos1: 0"));
    QCOMPARE(host->control<QLabel>("yPos2Label")->text(), QStringLiteral("Ypos2: 0"));
    QCOMPARE(host->control<QLabel>("rms1Label")->text(), QStringLiteral("CH1 RMS: 0V"));
    QCOMPARE(host->control<QLabel>("vpp2Label")->text(), QStringLiteral("CH2 Vpp = 0V"));
    QCOMPARE(host->control<QLabel>("freq1Label")->text(), QStringLiteral("CH1 Freq = 0Hz"));
    QCOMPARE(host->panel->tbIndex, 7);
    QCOMPARE(host->panel->gain1Index, 0);
    QCOMPARE(host->panel->trigTicks, 0);
}

void TestOscyloskop::enableLeavesChannel2ControlsDisabled()
{
    host->panel->enable();
    for (const char *name : {"gain1Combo", "timeCombo", "xPosBar", "yPos1Bar", "channel2Box",
                             "trigModeCombo", "trigEdgeCombo", "trigBandCombo", "trigLevelBox",
                             "rms1Label", "avg1Label", "vpp1Label", "freq1Label"})
        QVERIFY2(host->control<QWidget>(name)->isEnabled(), name);
    for (const char *name :
         {"gain2Combo", "yPos2Bar", "rms2Label", "avg2Label", "vpp2Label", "freq2Label"})
        QVERIFY2(!host->control<QWidget>(name)->isEnabled(), name);

    host->control<QCheckBox>("channel2Box")->click();
    for (const char *name :
         {"gain2Combo", "yPos2Bar", "rms2Label", "avg2Label", "vpp2Label", "freq2Label"})
        QVERIFY2(host->control<QWidget>(name)->isEnabled(), name);
    host->control<QCheckBox>("channel2Box")->click();
    QVERIFY(!host->control<QWidget>("gain2Combo")->isEnabled());
    QVERIFY(!host->control<QWidget>("freq2Label")->isEnabled());
}

void TestOscyloskop::showAndHideLeavePositionLabels()
{
    host->show();
    host->panel->hide();
    QVERIFY(host->control<QWidget>("timeCombo")->isHidden());
    QVERIFY(host->control<QWidget>("freq2Label")->isHidden());
    QVERIFY(host->control<QWidget>("trigLevelBox")->isHidden());
    QVERIFY(!host->control<QWidget>("xPosLabel")->isHidden());
    QVERIFY(!host->control<QWidget>("yPos2Label")->isHidden());
    host->panel->show();
    QVERIFY(!host->control<QWidget>("timeCombo")->isHidden());
    QVERIFY(!host->control<QWidget>("freq2Label")->isHidden());
}

void TestOscyloskop::positionLabels()
{
    host->panel->enable();
    host->control<QScrollBar>("xPosBar")->setValue(-192);
    QCOMPARE(host->control<QLabel>("xPosLabel")->text(), QStringLiteral("Xpos: -192"));
    host->control<QScrollBar>("yPos1Bar")->setValue(-256);
    QCOMPARE(host->control<QLabel>("yPos1Label")->text(), QStringLiteral("Ypos1: 256"));
    QCOMPARE(host->control<QLabel>("yPos2Label")->text(), QStringLiteral("Ypos2: 0"));
    host->control<QScrollBar>("yPos2Bar")->setValue(100);
    QCOMPARE(host->control<QLabel>("yPos2Label")->text(), QStringLiteral("Ypos2: -100"));
    QCOMPARE(host->control<QLabel>("yPos1Label")->text(), QStringLiteral("Ypos1: 256"));
}

void TestOscyloskop::startSendsChannelTimeBaseAndGains()
{
    openLink();
    host->panel->start();
    QCOMPARE(device->serveRequests(),
             QByteArrayLiteral("qa"
                               "s7qg"
                               "u00qg"));
}

void TestOscyloskop::timeBaseCodes_data()
{
    QTest::addColumn<int>("item");
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("sent");
    QTest::newRow("2us/dz") << 14 << 0 << QByteArray("s0qg");
    QTest::newRow("50ms/dz") << 0 << 14 << QByteArray("s>qg");
    QTest::newRow("10us/dz") << 11 << 3 << QByteArray("s3qg");
    QTest::newRow("500us/dz") << 6 << 8 << QByteArray("s8qg");
}

void TestOscyloskop::timeBaseCodes()
{
    QFETCH(int, item);
    QFETCH(int, code);
    QFETCH(QByteArray, sent);
    openLink();
    choose(host->control<QComboBox>("timeCombo"), item);
    QCOMPARE(host->panel->tbIndex, code);
    QCOMPARE(device->serveRequests(), sent);
}

void TestOscyloskop::eitherGainComboSendsBothGains()
{
    openLink();
    host->control<QCheckBox>("channel2Box")->click();
    QCOMPARE(device->serveRequests(), QByteArrayLiteral("qc"));
    choose(host->control<QComboBox>("gain2Combo"), 3);
    QCOMPARE(device->serveRequests(), QByteArrayLiteral("u03qg"));
    choose(host->control<QComboBox>("gain1Combo"), 6);
    QCOMPARE(host->panel->gain1Index, 6);
    QCOMPARE(device->serveRequests(), QByteArrayLiteral("u63qg"));
}

void TestOscyloskop::channel2ShrinksAndRegrowsTheTimeList()
{
    openLink();
    auto *time = host->control<QComboBox>("timeCombo");
    choose(time, 5); // "1ms/dz"
    QCOMPARE(device->serveRequests(), QByteArrayLiteral("s9qg"));

    auto *box = host->control<QCheckBox>("channel2Box");
    box->click();
    QCOMPARE(time->count(), 11);
    QCOMPARE(time->itemText(10), QStringLiteral("20us/dz"));
    QCOMPARE(time->currentText(), QStringLiteral("1ms/dz"));
    QCOMPARE(host->panel->tbIndex, 9);
    QCOMPARE(device->serveRequests(), QByteArrayLiteral("qc")); // no time base

    box->click();
    QCOMPARE(time->count(), 15);
    QCOMPARE(items(time).mid(11), QStringList({"10u", "8u", "5u", "2u"}));
    QCOMPARE(host->panel->tbIndex, 9);
    QCOMPARE(device->serveRequests(), QByteArrayLiteral("qa"));
    // The regrown items still choose the fast time bases.
    choose(time, 14);
    QCOMPARE(host->panel->tbIndex, 0);
    QCOMPARE(device->serveRequests(), QByteArrayLiteral("s0qg"));
}

// The four fastest time bases are gone from the two-channel list; a device
// left running one of them would disagree with the list, so the panel moves
// to "20us/dz" and says so to the device.
void TestOscyloskop::channel2AtAFastTimeBaseMovesToTwentyMicroseconds()
{
    openLink();
    auto *time = host->control<QComboBox>("timeCombo");
    choose(time, 13); // "5us/dz"
    QCOMPARE(host->panel->tbIndex, 1);
    QCOMPARE(device->serveRequests(), QByteArrayLiteral("s1qg"));

    host->control<QCheckBox>("channel2Box")->click();
    QCOMPARE(time->count(), 11);
    QCOMPARE(time->currentText(), QStringLiteral("20us/dz"));
    QCOMPARE(host->panel->tbIndex, 4);
    QCOMPARE(device->serveRequests(),
             QByteArrayLiteral("qc"
                               "s4qg"));
}

void TestOscyloskop::closedLinkGetsNothingAndTheNextOpenSendsTheSettings()
{
    openLink();
    QCOMPARE(device->serveRequests(), QByteArray());
    QVERIFY(link->Close());

    // Changes while the port is closed are kept in the panel.
    choose(host->control<QComboBox>("timeCombo"), 2);
    choose(host->control<QComboBox>("gain1Combo"), 4);
    host->control<QCheckBox>("channel2Box")->click();
    choose(host->control<QComboBox>("gain2Combo"), 1);
    QCOMPARE(host->panel->tbIndex, 12);
    QCOMPARE(host->panel->gain1Index, 4);

    // The next open sends them all.
    openLink();
    host->panel->start();
    QCOMPARE(device->serveRequests(),
             QByteArrayLiteral("qc"
                               "s<qg"
                               "u41qg"));
}

void TestOscyloskop::noLinkAtAll()
{
    host->panel->enable();
    host->panel->start();
    choose(host->control<QComboBox>("timeCombo"), 0);
    choose(host->control<QComboBox>("gain1Combo"), 1);
    host->control<QCheckBox>("channel2Box")->click();
    QCOMPARE(host->panel->tbIndex, 14);
    QCOMPARE(host->panel->gain1Index, 1);
}

// A kept set-up, put in before any port is open: the controls show it, the
// channel 2 controls become usable with the others, and the first start()
// sends exactly it.
void TestOscyloskop::appliedSetupIsWhatStartSends()
{
    setupfile::Scope s;
    s.timeBase = 5; // "1ms/dz", code 9
    s.range1 = 2;
    s.range2 = 4;
    s.channel2 = 1;
    s.trigMode = 3;
    s.trigLevel = -20;
    s.yPos2 = 100;
    host->panel->applySetup(s);
    QCOMPARE(host->control<QComboBox>("timeCombo")->currentText(), QStringLiteral("1ms/dz"));
    QCOMPARE(host->control<QComboBox>("timeCombo")->count(), 11);
    QVERIFY(host->control<QCheckBox>("channel2Box")->isChecked());
    QVERIFY(!host->control<QWidget>("gain2Combo")->isEnabled());
    QCOMPARE(host->control<QLabel>("yPos2Label")->text(), QStringLiteral("Ypos2: 100"));
    QCOMPARE(host->control<QScrollBar>("yPos2Bar")->value(), -100);

    openLink();
    for (const char *name : {"gain2Combo", "yPos2Bar", "rms2Label", "freq2Label"})
        QVERIFY2(host->control<QWidget>(name)->isEnabled(), name);
    host->panel->start();
    QCOMPARE(device->serveRequests(),
             QByteArrayLiteral("qc"
                               "s9qg"
                               "u24qg"));
}

void TestOscyloskop::applyingSendsNothing()
{
    openLink();
    QCOMPARE(device->serveRequests(), QByteArray());
    setupfile::Scope s = host->panel->setup();
    s.timeBase = 0;
    s.range1 = 6;
    s.channel2 = 1;
    s.trigLevel = 300;
    s.xPos = 50;
    host->panel->applySetup(s);
    QCOMPARE(device->serveRequests(), QByteArray());
    s.channel2 = 0;
    host->panel->applySetup(s);
    QCOMPARE(device->serveRequests(), QByteArray());
    QCOMPARE(host->panel->tbIndex, 14);
    QCOMPARE(host->panel->gain1Index, 6);
}

// Every control, applied and taken back: the values the user sees.
void TestOscyloskop::setupTakenFromTheControls_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("shows");
    QTest::newRow("time base") << "scope.timebase" << 14 << "timeCombo" << "2us/dz";
    QTest::newRow("range 1") << "scope.range1" << 6 << "gain1Combo" << "25mV/dz";
    QTest::newRow("range 2") << "scope.range2" << 3 << "gain2Combo" << "250mV/dz";
    QTest::newRow("trigger mode") << "scope.trigger" << 2 << "trigModeCombo" << "Auto";
    QTest::newRow("edge") << "scope.edge" << 1 << "trigEdgeCombo" << "Ris";
    QTest::newRow("detector") << "scope.detector" << 1 << "trigBandCombo" << "HF";
    QTest::newRow("level") << "scope.level" << -2000 << "trigLevelBox" << "-2000mV";
    QTest::newRow("trigger position") << "scope.xpos" << -192 << "xPosLabel" << "Xpos: -192";
    QTest::newRow("position 1") << "scope.ypos1" << 256 << "yPos1Label" << "Ypos1: 256";
    QTest::newRow("position 2") << "scope.ypos2" << -7 << "yPos2Label" << "Ypos2: -7";
}

void TestOscyloskop::setupTakenFromTheControls()
{
    QFETCH(QString, key);
    QFETCH(int, value);
    QFETCH(QString, control);
    QFETCH(QString, shows);
    const auto found = std::find_if(setupfile::kKeys.begin(), setupfile::kKeys.end(),
        [&](const setupfile::Key &k) { return key == QLatin1String(k.name); });
    QVERIFY(found != setupfile::kKeys.end());
    setupfile::Setup whole;
    whole.scope = host->panel->setup();
    found->field(whole) = value;
    host->panel->applySetup(whole.scope);
    QWidget *widget = host->control<QWidget>(control.toLatin1().constData());
    QVERIFY(widget);
    if (auto *combo = qobject_cast<QComboBox *>(widget))
        QCOMPARE(combo->currentText(), shows);
    else if (auto *box = qobject_cast<QSpinBox *>(widget))
        QCOMPARE(box->text(), shows);
    else
        QCOMPARE(qobject_cast<QLabel *>(widget)->text(), shows);
    setupfile::Setup taken;
    taken.scope = host->panel->setup();
    QCOMPARE(setupfile::valueOf(*found, taken), value);
}

// As ticking the box does: with channel 2 on, the fastest time base left.
void TestOscyloskop::channel2SetupDropsTheFastTimeBases()
{
    setupfile::Scope s = host->panel->setup();
    s.channel2 = 1;
    s.timeBase = 13;
    host->panel->applySetup(s);
    QCOMPARE(host->control<QComboBox>("timeCombo")->currentText(), QStringLiteral("20us/dz"));
    QCOMPARE(host->panel->tbIndex, 4);
    s.channel2 = 0;
    host->panel->applySetup(s);
    auto *time = host->control<QComboBox>("timeCombo");
    QCOMPARE(time->count(), 15);
    QCOMPARE(time->currentText(), QStringLiteral("5u"));
    QCOMPARE(host->panel->tbIndex, 1);
}

void TestOscyloskop::traceAndCursorsPainted()
{
    // Free run, gain 0: raw 100 is 100 display units, 25 pixels above the zero line.
    const QImage image = host->paint(flat(100));
    QCOMPARE(image.pixelColor(100, 261), kChannel1);
    QCOMPARE(image.pixelColor(11, 261), kChannel1);
    QCOMPARE(image.pixelColor(776, 261), kChannel1);
    QVERIFY(image.pixelColor(100, 262) != kChannel1);
    // Level 0 on the zero line, trigger position on the centre line.
    QCOMPARE(image.pixelColor(100, 286), kCursor);
    QCOMPARE(image.pixelColor(394, 100), kCursor);
    QCOMPARE(image.pixelColor(394, 542), kCursor);
    QCOMPARE(image.pixelColor(10, 286), kCursor);
    QCOMPARE(image.pixelColor(778, 286), kCursor);
    // The plot around them is black.
    QCOMPARE(image.pixelColor(100, 100), QColor(Qt::black));
}

void TestOscyloskop::levelLineFollowsGain_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<int>("gain");
    QTest::addColumn<int>("row");
    QTest::newRow("2.5V/dz: 100 pixels up") << 100 << 0 << 186;
    QTest::newRow("1V/dz: 250 pixels up") << 100 << 1 << 36;
    QTest::newRow("25mV/dz: outside, above the widget") << 100 << 6 << -1;
    QTest::newRow("1V/dz, -1: 2.5 pixels down, truncated toward zero") << -1 << 1 << 288;
    QTest::newRow("2.5V/dz, -290: below the plot, unclipped") << -290 << 0 << 576;
}

void TestOscyloskop::levelLineFollowsGain()
{
    QFETCH(int, level);
    QFETCH(int, gain);
    QFETCH(int, row);
    host->panel->enable();
    host->control<QSpinBox>("trigLevelBox")->setValue(level);
    choose(host->control<QComboBox>("gain1Combo"), gain);
    const QImage image = host->paint(flat(-3000));
    if (row >= 0) {
        QCOMPARE(image.pixelColor(50, row), kCursor);
        QVERIFY(image.pixelColor(50, row + 1) != kCursor);
        QVERIFY(image.pixelColor(50, row - 1) != kCursor);
    } else {
        for (int y = 0; y < image.height(); ++y)
            QVERIFY(image.pixelColor(50, y) != kCursor);
    }
}

void TestOscyloskop::positionLineAtTheEdges_data()
{
    QTest::addColumn<int>("xPos");
    QTest::addColumn<int>("column");
    QTest::newRow("-192 at the left edge") << -192 << 10;
    QTest::newRow("192 at the right edge") << 192 << 778;
    QTest::newRow("50") << 50 << 494;
}

void TestOscyloskop::positionLineAtTheEdges()
{
    QFETCH(int, xPos);
    QFETCH(int, column);
    host->panel->enable();
    host->control<QScrollBar>("xPosBar")->setValue(xPos);
    const QImage image = host->paint(flat(-3000));
    QCOMPARE(image.pixelColor(column, 100), kCursor);
    QCOMPARE(image.pixelColor(column, 500), kCursor);
    QVERIFY(image.pixelColor(column + 2, 100) != kCursor);
}

void TestOscyloskop::verticalPositionMovesOnlyRefreshedPictures()
{
    host->panel->enable();
    host->control<QScrollBar>("yPos1Bar")->setValue(-256);
    // Free run: raw 0 drawn 256 pixels up, on the top edge; the level line too.
    QImage image = host->paint(flat(0));
    QCOMPARE(image.pixelColor(100, 30), kChannel1);
    QVERIFY(image.pixelColor(100, 286) != kChannel1);

    // "Norm" with a flat frame: no new picture. The trace stays where it was
    // drawn, while the level line follows the position at once.
    choose(host->control<QComboBox>("trigModeCombo"), 1);
    host->control<QScrollBar>("yPos1Bar")->setValue(-100);
    image = host->paint(flat(0));
    QCOMPARE(image.pixelColor(100, 30), kChannel1);
    QCOMPARE(image.pixelColor(100, 186), kCursor);
    QVERIFY(image.pixelColor(100, 186) != kChannel1);
}

// The readouts measure the signal, not where the user moved its trace; each
// channel moves by its own position, and only in a picture that was refreshed.
void TestOscyloskop::readoutsComeBeforeTheVerticalOffsets()
{
    RawFrame raw; // period 64: channel 1 at +-100, channel 2 at +-50
    for (int i = 0; i < 1024; ++i) {
        const bool high = (i % 64) >= 32;
        raw[static_cast<std::size_t>(i)] = i < 512 ? (high ? 100 : -100) : (high ? 50 : -50);
    }
    host->panel->enable();
    host->control<QCheckBox>("channel2Box")->click();
    host->control<QScrollBar>("yPos1Bar")->setValue(-40); // 40 pixels up
    host->control<QScrollBar>("yPos2Bar")->setValue(60); // 60 pixels down
    QImage image = host->paint(raw);
    QCOMPARE(host->control<QLabel>("rms1Label")->text(), QStringLiteral("CH1 RMS: 1.000V"));
    QCOMPARE(host->control<QLabel>("avg1Label")->text(), QStringLiteral("CH1 Avg: 0.0mV"));
    QCOMPARE(host->control<QLabel>("vpp1Label")->text(), QStringLiteral("CH1 Vpp: 2.000V"));
    QCOMPARE(host->control<QLabel>("rms2Label")->text(), QStringLiteral("CH2 RMS: 500.0mV"));
    QCOMPARE(host->control<QLabel>("avg2Label")->text(), QStringLiteral("CH2 Avg: 0.0mV"));
    QCOMPARE(host->control<QLabel>("freq2Label")->text(), QStringLiteral("CH2 Freq: 1.280kHz"));
    // Sample 40 is high, at column 91; sample 10 low, at column 31.
    QCOMPARE(image.pixelColor(91, 286 - 25 - 40), kChannel1);
    QCOMPARE(image.pixelColor(31, 286 + 25 - 40), kChannel1);
    QCOMPARE(image.pixelColor(91, 333), kChannel2); // (50 - 240) / 4 = -47
    QCOMPARE(image.pixelColor(31, 358), kChannel2); // (-50 - 240) / 4 = -72

    // Channel 2 off: frames refresh channel 1 only, and its trace is not moved again.
    host->control<QCheckBox>("channel2Box")->click();
    host->paint(raw);
    host->paint(raw);
    // Back on, in "Norm" with no edge: the picture of channel 2 is the one it had.
    choose(host->control<QComboBox>("trigModeCombo"), 1);
    host->control<QCheckBox>("channel2Box")->click();
    image = host->paint(flat(0));
    QCOMPARE(image.pixelColor(91, 333), kChannel2); // (50 - 240) / 4 = -47
    QCOMPARE(image.pixelColor(31, 358), kChannel2); // (-50 - 240) / 4 = -72
}

// A one-sample spike: the LF tests, which sum three samples on each side,
// see no edge; the HF tests do. The detector list sets bit 3 of the word.
void TestOscyloskop::hfDetectorComesFromItsList()
{
    host->panel->enable();
    RawFrame raw = flat(-100);
    raw[300] = 100;
    choose(host->control<QComboBox>("trigModeCombo"), 1); // "Norm"
    host->paint(raw);
    QCOMPARE(host->control<QLabel>("vpp1Label")->text(), QStringLiteral("CH1 Vpp = 0V"));
    choose(host->control<QComboBox>("trigEdgeCombo"), 1); // "Ris", still LF
    host->paint(raw);
    QCOMPARE(host->control<QLabel>("vpp1Label")->text(), QStringLiteral("CH1 Vpp = 0V"));

    choose(host->control<QComboBox>("trigEdgeCombo"), 0);
    choose(host->control<QComboBox>("trigBandCombo"), 1); // "Fall", "HF"
    const QImage image = host->paint(raw);
    QCOMPARE(host->control<QLabel>("vpp1Label")->text(), QStringLiteral("CH1 Vpp: 2.000V"));
    // The falling edge is the spike itself, put at the trigger position
    // (window sample 192, columns 394 and 395); elsewhere the trace is low.
    bool spikeAtTheCentre = false;
    for (int x = 393; x <= 396; ++x)
        spikeAtTheCentre = spikeAtTheCentre || image.pixelColor(x, 261) == kChannel1;
    QVERIFY(spikeAtTheCentre);
    QCOMPARE(image.pixelColor(300, 311), kChannel1);
    QVERIFY(image.pixelColor(300, 261) != kChannel1);
}

// Years of ticks must not wrap the count into "no time-out yet".
void TestOscyloskop::tickCountStopsAtItsTop()
{
    host->panel->enable();
    host->panel->trigTicks = std::numeric_limits<int>::max() - 1;
    host->panel->tick();
    QCOMPARE(host->panel->trigTicks, std::numeric_limits<int>::max());
    host->panel->tick();
    QCOMPARE(host->panel->trigTicks, std::numeric_limits<int>::max());
    choose(host->control<QComboBox>("trigModeCombo"), 2); // "Auto", timed out long ago
    host->paint(flat(0));
    QCOMPARE(host->control<QLabel>("vpp1Label")->text(), QStringLiteral("CH1 Vpp: 0.0mV"));
}

void TestOscyloskop::channel2TraceOnlyWhenTicked()
{
    RawFrame raw;
    for (int i = 0; i < 1024; ++i)
        raw[static_cast<std::size_t>(i)] = i < 512 ? 200 : -200;
    QImage image = host->paint(raw);
    for (int y = 0; y < image.height(); ++y)
        QVERIFY(image.pixelColor(100, y) != kChannel2);
    const QString rms2 = host->control<QLabel>("rms2Label")->text();

    host->panel->enable();
    host->control<QCheckBox>("channel2Box")->click();
    image = host->paint(raw);
    QCOMPARE(image.pixelColor(100, 236), kChannel1);
    QCOMPARE(image.pixelColor(100, 336), kChannel2);
    QVERIFY(host->control<QLabel>("vpp2Label")->text().startsWith("CH2 Vpp: "));

    // Off again: channel 2 neither drawn nor measured, its labels keep their text.
    host->control<QCheckBox>("channel2Box")->click();
    const QString vpp2 = host->control<QLabel>("vpp2Label")->text();
    image = host->paint(flat(0));
    for (int y = 0; y < image.height(); ++y)
        QVERIFY(image.pixelColor(100, y) != kChannel2);
    QCOMPARE(host->control<QLabel>("vpp2Label")->text(), vpp2);
    QCOMPARE(rms2, QStringLiteral("CH2 RMS: 0V"));
}

void TestOscyloskop::readoutsOfASquareWave()
{
    // Channel 1: 64-sample period between -100 and 100 raw at gain 0;
    // channel 2: the same at half the amplitude.
    RawFrame raw;
    for (int i = 0; i < 1024; ++i) {
        const bool high = (i % 64) >= 32;
        raw[static_cast<std::size_t>(i)] = i < 512 ? (high ? 100 : -100) : (high ? 50 : -50);
    }
    host->panel->enable();
    host->paint(raw);
    QCOMPARE(host->control<QLabel>("rms1Label")->text(), QStringLiteral("CH1 RMS: 1.000V"));
    QCOMPARE(host->control<QLabel>("avg1Label")->text(), QStringLiteral("CH1 Avg: 0.0mV"));
    QCOMPARE(host->control<QLabel>("vpp1Label")->text(), QStringLiteral("CH1 Vpp: 2.000V"));
    QCOMPARE(host->control<QLabel>("freq1Label")->text(), QStringLiteral("CH1 Freq: 1.280kHz"));
    QCOMPARE(host->control<QLabel>("rms2Label")->text(), QStringLiteral("CH2 RMS: 0V"));

    host->control<QCheckBox>("channel2Box")->click();
    host->paint(raw);
    QCOMPARE(host->control<QLabel>("rms2Label")->text(), QStringLiteral("CH2 RMS: 500.0mV"));
    QCOMPARE(host->control<QLabel>("avg2Label")->text(), QStringLiteral("CH2 Avg: 0.0mV"));
    QCOMPARE(host->control<QLabel>("vpp2Label")->text(), QStringLiteral("CH2 Vpp: 1.000V"));
    QCOMPARE(host->control<QLabel>("freq2Label")->text(), QStringLiteral("CH2 Freq: 1.280kHz"));
}

void TestOscyloskop::singleHoldsUntilATriggerControlChanges()
{
    host->panel->enable();
    auto *mode = host->control<QComboBox>("trigModeCombo");
    auto *edge = host->control<QComboBox>("trigEdgeCombo");
    choose(edge, 1); // "Ris"
    choose(mode, 3); // "Single"
    RawFrame first = flat(-100);
    RawFrame second = flat(-100);
    for (int i = 600; i < 1024; ++i) {
        first[static_cast<std::size_t>(i)] = 400;
        second[static_cast<std::size_t>(i)] = 800;
    }
    // Level 0: both frames rise through it; the picture ends at 400 or 800 raw.
    QImage image = host->paint(first);
    QCOMPARE(image.pixelColor(700, 186), kChannel1);
    image = host->paint(second);
    QCOMPARE(image.pixelColor(700, 186), kChannel1);
    QVERIFY(image.pixelColor(700, 86) != kChannel1);

    // Touching the level re-arms the trigger.
    host->control<QSpinBox>("trigLevelBox")->setValue(1);
    image = host->paint(second);
    QCOMPARE(image.pixelColor(700, 86), kChannel1);
}

void TestOscyloskop::runButtonAndTriggerStateAtTheirPlaces()
{
    auto *run = host->control<QPushButton>("scopeRunButton");
    auto *state = host->control<QLabel>("trigStateLabel");
    QVERIFY(run && state);
    QCOMPARE(run->geometry(), QRect(792, 555, 80, 20));
    QCOMPARE(state->geometry(), QRect(835, 580, 40, 20));
    QCOMPARE(run->text(), QStringLiteral("Stop"));
    QCOMPARE(state->text(), QStringLiteral("Auto"));
    // Greyed until a port has been opened, like the other controls.
    QVERIFY(!run->isEnabled());
    QVERIFY(!state->isEnabled());
    host->panel->enable();
    QVERIFY(run->isEnabled());
    QVERIFY(state->isEnabled());
    host->show();
    host->panel->hide();
    QVERIFY(run->isHidden() && state->isHidden());
    host->panel->show();
    QVERIFY(!run->isHidden() && !state->isHidden());
    // Room of their own among the panel's controls.
    for (QWidget *mine : std::initializer_list<QWidget *> { run, state }) {
        for (QWidget *other : host->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            if (other != mine)
                QVERIFY2(!mine->geometry().intersects(other->geometry()),
                    qPrintable(mine->objectName() + " " + other->objectName()));
        }
    }
}

void TestOscyloskop::stopFreezesThePictureAndTheReadouts()
{
    host->panel->enable();
    auto *run = host->control<QPushButton>("scopeRunButton");
    auto *vpp = host->control<QLabel>("vpp1Label");
    // +-100 raw tops out 25 pixels above the zero line, +-200 raw 50.
    QImage image = host->paint(square(100));
    QCOMPARE(image.pixelColor(100, 261), kChannel1);
    QCOMPARE(vpp->text(), QStringLiteral("CH1 Vpp: 2.000V"));

    run->click();
    QVERIFY(host->panel->isStopped());
    QCOMPARE(run->text(), QStringLiteral("Run"));
    QCOMPARE(host->control<QLabel>("trigStateLabel")->text(), QStringLiteral("Stop"));
    image = host->paint(square(200));
    QCOMPARE(image.pixelColor(100, 261), kChannel1);
    for (int y = 230; y < 255; ++y)
        QVERIFY(image.pixelColor(100, y) != kChannel1);
    QCOMPARE(vpp->text(), QStringLiteral("CH1 Vpp: 2.000V"));
    // What an export takes is the frozen frame.
    QCOMPARE(host->panel->picture().frame[40], 100);

    run->click();
    QVERIFY(!host->panel->isStopped());
    QCOMPARE(run->text(), QStringLiteral("Stop"));
    QCOMPARE(host->control<QLabel>("trigStateLabel")->text(), QStringLiteral("Auto"));
    image = host->paint(square(200));
    QCOMPARE(vpp->text(), QStringLiteral("CH1 Vpp: 4.000V"));
    QCOMPARE(host->panel->picture().frame[40], 200);
}

void TestOscyloskop::stoppedReadoutsWaitForRunToSayNoData()
{
    host->panel->enable();
    host->paint(square(100));
    QVERIFY(host->control<QPushButton>("scopeRunButton") != nullptr);
    host->control<QPushButton>("scopeRunButton")->click();
    host->panel->setNoData(true);
    QCOMPARE(host->control<QLabel>("vpp1Label")->text(), QStringLiteral("CH1 Vpp: 2.000V"));
    host->control<QPushButton>("scopeRunButton")->click();
    QCOMPARE(host->control<QLabel>("vpp1Label")->text(), QStringLiteral("CH1 Vpp: --"));
}

void TestOscyloskop::triggerStateFollowsTheTrigger()
{
    host->panel->enable();
    auto *state = host->control<QLabel>("trigStateLabel");
    choose(host->control<QComboBox>("trigEdgeCombo"), 1); // "Ris"
    QCOMPARE(state->text(), QStringLiteral("Auto"));

    choose(host->control<QComboBox>("trigModeCombo"), 1); // "Norm"
    QCOMPARE(state->text(), QStringLiteral("Wait"));
    host->paint(flat(-100));
    QCOMPARE(state->text(), QStringLiteral("Wait"));
    host->paint(risingTo(400));
    QCOMPARE(state->text(), QStringLiteral("Trig"));
    host->paint(flat(-100));
    QCOMPARE(state->text(), QStringLiteral("Wait"));

    // "Auto" waits 30 ticks for an edge, then shows frames without one.
    choose(host->control<QComboBox>("trigModeCombo"), 2);
    for (int tick = 0; tick < 30; ++tick)
        host->panel->tick();
    host->paint(flat(-100));
    QCOMPARE(state->text(), QStringLiteral("Wait"));
    host->panel->tick();
    QCOMPARE(state->text(), QStringLiteral("Auto"));
    host->paint(flat(-100));
    QCOMPARE(state->text(), QStringLiteral("Auto"));
    host->paint(risingTo(400));
    QCOMPARE(state->text(), QStringLiteral("Trig"));
}

void TestOscyloskop::runButtonRearmsAHeldSingle()
{
    host->panel->enable();
    auto *state = host->control<QLabel>("trigStateLabel");
    auto *run = host->control<QPushButton>("scopeRunButton");
    choose(host->control<QComboBox>("trigEdgeCombo"), 1); // "Ris"
    choose(host->control<QComboBox>("trigModeCombo"), 3); // "Single"
    QCOMPARE(state->text(), QStringLiteral("Wait"));
    QCOMPARE(run->text(), QStringLiteral("Stop"));
    host->paint(flat(-100));
    QCOMPARE(state->text(), QStringLiteral("Wait"));

    // The shot: 400 raw is 100 pixels above the zero line, 800 raw 200.
    QImage image = host->paint(risingTo(400));
    QCOMPARE(image.pixelColor(700, 186), kChannel1);
    QCOMPARE(state->text(), QStringLiteral("Stop"));
    QCOMPARE(run->text(), QStringLiteral("Single"));
    for (int tick = 0; tick < 100; ++tick)
        host->panel->tick();
    image = host->paint(risingTo(800));
    QCOMPARE(image.pixelColor(700, 186), kChannel1);
    QCOMPARE(state->text(), QStringLiteral("Stop"));

    run->click(); // arms the next shot
    QCOMPARE(state->text(), QStringLiteral("Wait"));
    QCOMPARE(run->text(), QStringLiteral("Stop"));
    image = host->paint(risingTo(800));
    QCOMPARE(image.pixelColor(700, 86), kChannel1);
    QCOMPARE(state->text(), QStringLiteral("Stop"));
    QCOMPARE(run->text(), QStringLiteral("Single"));
}

void TestOscyloskop::referenceCrossIsDrawnUntilRemoved()
{
    host->panel->setReference(QPoint(200, 100));
    QCOMPARE(host->panel->reference(), std::optional<QPoint>(QPoint(200, 100)));
    // The trace lies below the plot: only the grid, the cursors and the cross.
    QImage image = host->paint(flat(-3000));
    QCOMPARE(image.pixelColor(200, 400), kReference);
    QCOMPARE(image.pixelColor(200, 31), kReference);
    QCOMPARE(image.pixelColor(600, 100), kReference);
    QCOMPARE(image.pixelColor(11, 100), kReference);
    QCOMPARE(image.pixelColor(201, 400), QColor(Qt::black));
    QCOMPARE(image.pixelColor(600, 101), QColor(Qt::black));

    host->panel->setReference(std::nullopt);
    image = host->paint(flat(-3000));
    QCOMPARE(image.pixelColor(200, 400), QColor(Qt::black));
    QCOMPARE(image.pixelColor(600, 100), QColor(Qt::black));
}

// Four frames of a square whose level alternates +-60 units about its
// middle, averaged: the mean's average is zero, where each frame alone reads
// +-60 units (600 mV at 2.5V/dz); a time-base change restarts the average.
void TestOscyloskop::averagedFramesCancelTheirNoise()
{
    host->panel->enable();
    const auto square = [](int shift) {
        RawFrame raw;
        for (int i = 0; i < 1024; ++i)
            raw[std::size_t(i)] = ((i % 64) >= 32 ? 100 : -100) + shift;
        return raw;
    };
    host->paint(square(60));
    QCOMPARE(host->control<QLabel>("avg1Label")->text(), QStringLiteral("CH1 Avg: 600.0mV"));
    QVERIFY(host->control<QLabel>("scopeAverageLabel")->text().isEmpty());

    choose(host->control<QComboBox>("scopeAverageBox"), 2); // 4 frames
    for (int n = 0; n < 6; ++n)
        host->paint(square(n % 2 ? -60 : 60));
    QCOMPARE(host->control<QLabel>("avg1Label")->text(), QStringLiteral("CH1 Avg: 0.0mV"));
    QCOMPARE(host->control<QLabel>("scopeAverageLabel")->text(), QStringLiteral("avg 4/4"));
    // A repaint of the same frame is not counted again.
    const RawFrame last = square(60);
    host->paint(last);
    host->paint(last);
    QCOMPARE(host->control<QLabel>("scopeAverageLabel")->text(), QStringLiteral("avg 4/4"));
    QCOMPARE(host->control<QLabel>("avg1Label")->text(), QStringLiteral("CH1 Avg: 0.0mV"));

    choose(host->control<QComboBox>("timeCombo"), 5);
    host->paint(square(60));
    QCOMPARE(host->control<QLabel>("scopeAverageLabel")->text(), QStringLiteral("avg 1/4"));
    QCOMPARE(host->control<QLabel>("avg1Label")->text(), QStringLiteral("CH1 Avg: 600.0mV"));

    // The choice is kept with the set-up, and a set-up puts it back.
    setupfile::Scope kept = host->panel->setup();
    QCOMPARE(kept.average, 2);
    kept.average = 0;
    host->panel->applySetup(kept);
    QVERIFY(host->control<QLabel>("scopeAverageLabel")->text().isEmpty());
    kept.average = 6;
    host->panel->applySetup(kept);
    QCOMPARE(host->control<QComboBox>("scopeAverageBox")->currentText(), QStringLiteral("Avg 64"));
    QCOMPARE(host->control<QLabel>("scopeAverageLabel")->text(), QStringLiteral("avg 0/64"));
}

QTEST_MAIN(TestOscyloskop)
#include "tst_oscyloskop.moc"
