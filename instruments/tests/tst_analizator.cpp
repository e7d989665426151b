#include "analizator.h"

#include "shared.h"
#include "zorcom.h"

#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

#include <array>
#include <cmath>
#include <memory>

namespace {

using Samples = std::array<int, 1024>;

// Stands in for the main window: carries the panel's controls and has the
// panel paint the plot in its paint event.
class Window : public QWidget {
public:
    Window()
    {
        resize(1028, 612);
        panel = std::make_unique<Analizator>(this);
    }

    QImage paint(const Samples &samples)
    {
        frame = samples;
        QImage image(size(), QImage::Format_RGB32);
        image.fill(Qt::white);
        render(&image, QPoint(), QRegion(), QWidget::DrawWindowBackground);
        return image;
    }

    template <typename T> T *control(const char *name) { return findChild<T *>(name); }

    std::unique_ptr<Analizator> panel;

protected:
    void paintEvent(QPaintEvent *) override { panel->drawGraph(frame.data()); }

private:
    Samples frame {};
};

Samples sine(double amplitude, int cycles)
{
    Samples s {};
    for (int t = 0; t < 1024; ++t)
        s[t] = static_cast<int>(std::lround(amplitude * std::sin(2.0 * M_PI * cycles * t / 1024)));
    return s;
}

const QColor kTrace(20, 30, 240);

// Topmost trace pixel: its column and row, or (-1, -1) when there is none.
QPoint highestTracePixel(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y) == kTrace)
                return QPoint(x, y);
        }
    }
    return QPoint(-1, -1);
}

} // namespace

class TestAnalizator : public QObject {
    Q_OBJECT

private slots:
    void freshPanelShowsInitialChoicesDisabledAndHidden();
    void showHideAndEnableTheFiveControls();
    void spanChoiceSetsTimeBaseCode_data();
    void spanChoiceSetsTimeBaseCode();
    void scrollBarShiftIsClamped_data();
    void scrollBarShiftIsClamped();
    void choicesWithoutLiveLinkAreKept();
    void appliedSetupIsWhatStartUses();
    void sineFramePeaksAtItsBinAndReadsOut();
    void scrollingMovesTheSpectrumLeft();
    void zeroFrameLiesOnBottomEdgeAndReadsInfinityAndNaN();
    void runButtonBesideTheScrollBar();
    void stopFreezesTheSpectrumAndTheReadouts();
    void referenceCrossIsDrawnUntilRemoved();
    void averagedPowerFollowsTheMeanAndRestartsWithTheSpan();
};

void TestAnalizator::freshPanelShowsInitialChoicesDisabledAndHidden()
{
    Window w;
    auto *taBox = w.control<QComboBox>("taBox");
    auto *vaBox = w.control<QComboBox>("vaBox");
    auto *bar = w.control<QScrollBar>("xPosBar");
    auto *power = w.control<QLabel>("powerLabel");
    auto *thd = w.control<QLabel>("thdLabel");
    QVERIFY(taBox && vaBox && bar && power && thd);

    const QStringList spans { "10Hz/dz", "25Hz/dz", "50Hz/dz", "100Hz/dz", "250Hz/dz", "500Hz/dz",
        "1kHz/dz", "2.5kHz/dz", "5kHz/dz", "10kHz/dz", "25kHz/dz", "50kHz/dz", "62.5kHz/dz" };
    QCOMPARE(taBox->count(), spans.size());
    for (int i = 0; i < spans.size(); ++i)
        QCOMPARE(taBox->itemText(i), spans[i]);
    QCOMPARE(taBox->currentText(), QStringLiteral("2.5kHz/dz"));

    const QStringList ranges { "500mV", "250mV", "125mV", "62.5mV", "31mV", "15.6mV", "7.8mV" };
    QCOMPARE(vaBox->count(), ranges.size());
    for (int i = 0; i < ranges.size(); ++i)
        QCOMPARE(vaBox->itemText(i), ranges[i]);
    QCOMPARE(vaBox->currentText(), QStringLiteral("500mV"));

    QCOMPARE(bar->orientation(), Qt::Horizontal);
    QCOMPARE(bar->minimum(), -192);
    QCOMPARE(bar->maximum(), 192);
    QCOMPARE(bar->value(), 0);

    QCOMPARE(power->text(), QStringLiteral("Power: 0daB"));
    QCOMPARE(thd->text(), QStringLiteral("THD+N: 0daB"));

    for (QWidget *control : std::initializer_list<QWidget *> { taBox, vaBox, bar, power, thd })
        QVERIFY(!control->isEnabled());
    for (QWidget *control : std::initializer_list<QWidget *> { taBox, vaBox, power, thd })
        QVERIFY(control->isHidden());

    QCOMPARE(w.panel->tbIndex, 7);
    QCOMPARE(w.panel->xPos, 0);
    QVERIFY(!w.panel->com);
}

void TestAnalizator::showHideAndEnableTheFiveControls()
{
    Window w;
    w.show();
    const QList<QWidget *> controls { w.control<QComboBox>("taBox"), w.control<QComboBox>("vaBox"),
        w.control<QScrollBar>("xPosBar"), w.control<QLabel>("powerLabel"),
        w.control<QLabel>("thdLabel") };
    w.panel->show();
    for (QWidget *c : controls)
        QVERIFY(c->isVisible());
    w.panel->hide();
    for (QWidget *c : controls)
        QVERIFY(!c->isVisible());
    w.panel->enable();
    for (QWidget *c : controls)
        QVERIFY(c->isEnabled());
    // Hiding does not disable again.
    w.panel->show();
    w.panel->hide();
    for (QWidget *c : controls)
        QVERIFY(c->isEnabled());
}

void TestAnalizator::spanChoiceSetsTimeBaseCode_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("code");
    QTest::newRow("10Hz/dz") << 0 << 14;
    QTest::newRow("1kHz/dz") << 6 << 8;
    QTest::newRow("2.5kHz/dz") << 7 << 7;
    QTest::newRow("62.5kHz/dz") << 12 << 2;
}

void TestAnalizator::spanChoiceSetsTimeBaseCode()
{
    QFETCH(int, row);
    QFETCH(int, code);
    Window w;
    auto *taBox = w.control<QComboBox>("taBox");
    taBox->setCurrentIndex(row);
    QCOMPARE(w.panel->tbIndex, 7); // only the user's choice counts, not a programmatic change
    emit taBox->activated(row);
    QCOMPARE(w.panel->tbIndex, code);
}

void TestAnalizator::scrollBarShiftIsClamped_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("shift");
    QTest::newRow("+100 stays unshifted") << 100 << 0;
    QTest::newRow("+1 stays unshifted") << 1 << 0;
    QTest::newRow("-1") << -1 << -1;
    QTest::newRow("-128") << -128 << -128;
    QTest::newRow("-129 stops at -128") << -129 << -128;
    QTest::newRow("-192 stops at -128") << -192 << -128;
}

void TestAnalizator::scrollBarShiftIsClamped()
{
    QFETCH(int, value);
    QFETCH(int, shift);
    Window w;
    w.control<QScrollBar>("xPosBar")->setValue(value);
    QCOMPARE(w.panel->xPos, shift);
    w.control<QScrollBar>("xPosBar")->setValue(0);
    QCOMPARE(w.panel->xPos, 0);
}

// Before the first opening and after a close the choices go to no live
// worker: nothing may break, and the choices are kept for the next start().
void TestAnalizator::choicesWithoutLiveLinkAreKept()
{
    Window w;
    auto *taBox = w.control<QComboBox>("taBox");
    auto *vaBox = w.control<QComboBox>("vaBox");
    taBox->setCurrentIndex(0);
    emit taBox->activated(0);
    vaBox->setCurrentIndex(6);
    emit vaBox->activated(6);
    w.panel->start();
    QCOMPARE(w.panel->tbIndex, 14);

    ZORCom closed(&buff, &buff_gen);
    w.panel->com = &closed;
    taBox->setCurrentIndex(12);
    emit taBox->activated(12);
    emit vaBox->activated(6);
    w.panel->start();
    QCOMPARE(w.panel->tbIndex, 2);
    QCOMPARE(vaBox->currentText(), QStringLiteral("7.8mV"));
    QVERIFY(!closed.isOpen());
}

// A kept set-up goes into the controls and the codes start() sends, and
// comes back out of them unchanged.
void TestAnalizator::appliedSetupIsWhatStartUses()
{
    Window w;
    w.panel->applySetup({ 12, 5, -100 });
    QCOMPARE(w.control<QComboBox>("taBox")->currentText(), QStringLiteral("62.5kHz/dz"));
    QCOMPARE(w.control<QComboBox>("vaBox")->currentText(), QStringLiteral("15.6mV"));
    QCOMPARE(w.control<QScrollBar>("xPosBar")->value(), -100);
    QCOMPARE(w.panel->tbIndex, 2);
    QCOMPARE(w.panel->xPos, -100);
    const setupfile::Analyzer taken = w.panel->setup();
    QCOMPARE(taken.span, 12);
    QCOMPARE(taken.range, 5);
    QCOMPARE(taken.shift, -100);

    // What the bar shows beyond the shift's range is taken as the shift in effect.
    w.control<QScrollBar>("xPosBar")->setValue(150);
    QCOMPARE(w.panel->setup().shift, 0);
}

void TestAnalizator::sineFramePeaksAtItsBinAndReadsOut()
{
    Window w;
    const QImage image = w.paint(sine(1000.0, 64));
    // Bin 64 is lit at columns 138 and 139; its level, 20 log10(1000 x 0.54 x
    // 512) = 108.8, is (26 x 108.8 - 2148) / 4 = 170 pixels above the centre.
    const QPoint peak = highestTracePixel(image);
    QVERIFY2(peak.x() == 138 || peak.x() == 139, qPrintable(QString::number(peak.x())));
    QVERIFY2(std::abs(peak.y() - 116) <= 1, qPrintable(QString::number(peak.y())));
    QCOMPARE(w.control<QLabel>("powerLabel")->text(), QStringLiteral("Power: 110.2daB"));
    QCOMPARE(w.control<QLabel>("thdLabel")->text(), QStringLiteral("THD+N: 0.02%"));
    // Grid and trace share the plot: the background is still black far from the trace.
    QCOMPARE(image.pixelColor(400, 100), QColor(Qt::black));
}

void TestAnalizator::scrollingMovesTheSpectrumLeft()
{
    Window w;
    w.control<QScrollBar>("xPosBar")->setValue(-32);
    const QPoint peak = highestTracePixel(w.paint(sine(1000.0, 64)));
    QVERIFY2(peak.x() == 74 || peak.x() == 75, qPrintable(QString::number(peak.x())));

    // Bin 450 only comes into view with the shift at its limit: at -128 the
    // plot shows bins 128 to 511, bin 450 at columns 654 and 655.
    w.control<QScrollBar>("xPosBar")->setValue(-192);
    const QPoint high = highestTracePixel(w.paint(sine(1000.0, 450)));
    QVERIFY2(high.x() == 654 || high.x() == 655, qPrintable(QString::number(high.x())));
}

void TestAnalizator::zeroFrameLiesOnBottomEdgeAndReadsInfinityAndNaN()
{
    Window w;
    const QImage image = w.paint(Samples {});
    for (int x = 11; x <= 776; ++x)
        QVERIFY2(image.pixelColor(x, 542) == kTrace, qPrintable(QString::number(x)));
    QCOMPARE(highestTracePixel(image).y(), 542);
    QCOMPARE(w.control<QLabel>("powerLabel")->text(), QStringLiteral("Power: -infdaB"));
    QCOMPARE(w.control<QLabel>("thdLabel")->text(), QStringLiteral("THD+N: nan%"));
}

void TestAnalizator::runButtonBesideTheScrollBar()
{
    Window w;
    w.show();
    auto *run = w.control<QPushButton>("spectrumRunButton");
    QVERIFY(run);
    QCOMPARE(run->geometry(), QRect(792, 555, 80, 20));
    QCOMPARE(run->text(), QStringLiteral("Stop"));
    QVERIFY(!run->isEnabled());
    QVERIFY(run->isHidden());
    w.panel->show();
    QVERIFY(run->isVisible());
    w.panel->enable();
    QVERIFY(run->isEnabled());
    w.panel->hide();
    QVERIFY(!run->isVisible());
    for (QWidget *other : w.findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (other != run)
            QVERIFY2(
                !run->geometry().intersects(other->geometry()), qPrintable(other->objectName()));
    }
}

void TestAnalizator::stopFreezesTheSpectrumAndTheReadouts()
{
    Window w;
    w.panel->enable();
    auto *run = w.control<QPushButton>("spectrumRunButton");
    auto *power = w.control<QLabel>("powerLabel");
    const QPoint first = highestTracePixel(w.paint(sine(1000.0, 64)));
    const QString firstPower = power->text();
    const QDateTime firstTime = w.panel->picture().time;

    run->click();
    QVERIFY(w.panel->isStopped());
    QCOMPARE(run->text(), QStringLiteral("Run"));
    // Another tone at another level: the plot and the readouts stay.
    QCOMPARE(highestTracePixel(w.paint(sine(300.0, 100))), first);
    QCOMPARE(power->text(), firstPower);
    QCOMPARE(w.panel->picture().time, firstTime);
    QVERIFY(w.panel->levels()[64] > w.panel->levels()[100]);
    // Scrolling moves along the frozen spectrum: bin 64 two divisions left.
    w.control<QScrollBar>("xPosBar")->setValue(-64);
    const QPoint scrolled = highestTracePixel(w.paint(sine(300.0, 100)));
    QCOMPARE(scrolled, QPoint(11, first.y())); // column 10 is the frame
    w.control<QScrollBar>("xPosBar")->setValue(0);

    run->click();
    QCOMPARE(run->text(), QStringLiteral("Stop"));
    const QPoint second = highestTracePixel(w.paint(sine(300.0, 100)));
    QVERIFY2(second.x() == 210 || second.x() == 211, qPrintable(QString::number(second.x())));
    QVERIFY(power->text() != firstPower);
}

void TestAnalizator::referenceCrossIsDrawnUntilRemoved()
{
    Window w;
    const QColor reference(230, 200, 40);
    w.panel->setReference(QPoint(300, 150));
    QImage image = w.paint(Samples {});
    QCOMPARE(image.pixelColor(300, 400), reference);
    QCOMPARE(image.pixelColor(600, 150), reference);
    QCOMPARE(image.pixelColor(301, 400), QColor(Qt::black));
    w.panel->setReference(std::nullopt);
    QVERIFY(!w.panel->reference());
    image = w.paint(Samples {});
    QCOMPARE(image.pixelColor(300, 400), QColor(Qt::black));
}

// Two frames, one of twice the other's amplitude: averaged, the power is
// that of their mean power (2.5 times the smaller's, +4.0 daB), where alone
// it is the last frame's. A new span restarts the average.
void TestAnalizator::averagedPowerFollowsTheMeanAndRestartsWithTheSpan()
{
    Window w;
    w.panel->enable();
    w.paint(sine(500.0, 64));
    const QString small = w.control<QLabel>("powerLabel")->text();
    w.paint(sine(1000.0, 64));
    const QString large = w.control<QLabel>("powerLabel")->text();
    QVERIFY(w.control<QLabel>("spectrumAverageLabel")->text().isEmpty());

    auto *box = w.control<QComboBox>("spectrumAverageBox");
    box->setCurrentIndex(1); // 2 frames
    emit box->activated(1);
    w.paint(sine(500.0, 64));
    w.paint(sine(1000.0, 64));
    QCOMPARE(w.control<QLabel>("spectrumAverageLabel")->text(), QStringLiteral("avg 2/2"));
    const auto level = [](const QString &text) { return text.mid(7, text.size() - 10).toDouble(); };
    const double mean = level(w.control<QLabel>("powerLabel")->text());
    QVERIFY2(std::abs(mean - (level(small) + 10 * std::log10(2.5))) < 0.11,
        qPrintable(QStringLiteral("%1 from %2 and %3").arg(mean).arg(small, large)));

    auto *span = w.control<QComboBox>("taBox");
    span->setCurrentIndex(3);
    emit span->activated(3);
    w.paint(sine(1000.0, 64));
    QCOMPARE(w.control<QLabel>("spectrumAverageLabel")->text(), QStringLiteral("avg 1/2"));
    QCOMPARE(w.control<QLabel>("powerLabel")->text(), large);
}

QTEST_MAIN(TestAnalizator)
#include "tst_analizator.moc"
