#include "mainwindow.h"
#include "scratchdir.h"
#include "shared.h"
#include "windowcontrols.h"

#include <QLabel>
#include <QPaintEvent>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>

#include <cmath>
#include <memory>
#include <vector>

namespace {

const QRect kPlot(10, 30, 769, 513);

// The main window with the regions of its paints recorded and its timer's
// tick at hand. Only the test's own ticks count: the running timer would add
// ticks at whatever pace the machine allows.
class WatchedWindow : public MainWindow {
public:
    std::vector<QRegion> painted;

    // A tick with a fresh frame waiting.
    void tick()
    {
        bufReady.store(true);
        idleTick();
    }

    void idleTick()
    {
        QTimerEvent event(0);
        MainWindow::timerEvent(&event);
    }

    QRegion paintedTogether() const
    {
        QRegion all;
        for (const QRegion &region : painted)
            all += region;
        return all;
    }

protected:
    void timerEvent(QTimerEvent *) override { }

    void paintEvent(QPaintEvent *event) override
    {
        painted.push_back(event->region());
        MainWindow::paintEvent(event);
    }
};

// The trigger level line across the plot on window row y.
QRect levelLine(int y)
{
    return QRect(10, y, 769, 1);
}

const QColor kCursor(20, 80, 60);

// A sine of 40 samples per period; the amplitude sets every readout.
Frame sineFrame(int amplitude)
{
    Frame frame {};
    for (int i = 0; i < int(frame.size()); ++i)
        frame[std::size_t(i)] = int(std::lround(amplitude * std::sin(2.0 * M_PI * i / 40.0)));
    return frame;
}

QLabel *labelStartingWith(QWidget &window, const QString &start)
{
    for (QLabel *label : window.findChildren<QLabel *>()) {
        if (label->text().startsWith(start))
            return label;
    }
    return nullptr;
}

} // namespace

// What the refresh timer repaints for a fresh frame, and that paints of the
// readout labels alone do not run the panel again.
class TestPlotRepaint : public QObject {
    Q_OBJECT

private:
    // Each case a new program in a folder of its own: no set-up of an earlier
    // case's window comes back.
    std::unique_ptr<ScratchDir> scratch;

private slots:
    void init()
    {
        scratch = std::make_unique<ScratchDir>();
        QVERIFY(scratch->isValid());
        buff.store(sineFrame(0));
        bufReady.store(false);
    }

    void cleanup() { scratch.reset(); }

    void aFreshFrameRepaintsThePlotButNotTheControls()
    {
        WatchedWindow window;
        window.resize(window.minimumSize());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCoreApplication::processEvents();
        window.painted.clear();

        buff.store(sineFrame(700));
        window.tick();
        QTRY_VERIFY(!window.painted.empty());
        const QRegion first = window.painted.front();
        QVERIFY(first.contains(kPlot));
        auto *tabs = window.findChild<QTabWidget *>();
        QVERIFY(!first.intersects(tabs->geometry()));
        // Those of other tabs are hidden here and not painted at all.
        for (QPushButton *button : window.findChildren<QPushButton *>()) {
            if (button->isVisible())
                QVERIFY2(!first.intersects(button->geometry()), qPrintable(button->text()));
        }
    }

    void aTickWithoutAFreshFrameRepaintsNothing()
    {
        WatchedWindow window;
        window.resize(window.minimumSize());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.idleTick(); // the status line takes the status text
        QCoreApplication::processEvents();
        window.painted.clear();

        window.idleTick();
        QCoreApplication::processEvents();
        QVERIFY(window.painted.empty());
    }

    // The level line is drawn unclipped: at "2.5V/dz" a level of -290 puts it
    // on row 576, between the position bar and the controls. A fresh frame
    // repaints it there, and the row it leaves.
    void aLevelLineOutsideThePlotMovesWithTheFrames()
    {
        WatchedWindow window;
        window.resize(window.minimumSize());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto *level = window.findChild<QSpinBox *>(QStringLiteral("trigLevelBox"));
        QVERIFY(level);
        level->setValue(-290);
        QCoreApplication::processEvents();
        window.painted.clear();
        window.tick();
        QTRY_VERIFY(window.paintedTogether().contains(levelLine(576)));

        level->setValue(-100);
        QCoreApplication::processEvents();
        window.painted.clear();
        window.tick();
        QTRY_VERIFY(window.paintedTogether().contains(levelLine(386)));
        QVERIFY(window.paintedTogether().contains(levelLine(576)));

        // Away from the oscilloscope the strip alone is repainted.
        controls::selectTab(window, 2);
        QCoreApplication::processEvents();
        window.painted.clear();
        window.tick();
        QTRY_VERIFY(!window.painted.empty());
        QVERIFY(!window.paintedTogether().intersects(levelLine(576)));
    }

    // A paint of a control alone (here the status line, on a new status text)
    // redraws the part of the level line behind it instead of wiping it.
    void aControlsOwnRepaintKeepsTheLevelLineBehindIt()
    {
        WatchedWindow window;
        window.resize(window.minimumSize());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.findChild<QSpinBox *>(QStringLiteral("trigLevelBox"))->setValue(-304); // row 590
        sts.set(QString()); // no status text over the line
        window.tick();
        QCoreApplication::processEvents();

        QImage image(window.size(), QImage::Format_RGB32);
        image.fill(Qt::white);
        window.render(&image, QPoint(10, 580), QRegion(10, 580, 200, 20));
        // Left of the time-base list, which covers the rest of the row.
        QCOMPARE(image.pixelColor(50, 590), kCursor);
        QVERIFY(image.pixelColor(50, 589) != kCursor);
    }

    // "Auto" counts the window's own ticks, on whichever tab is showing: after
    // 30 ticks without an edge it still waits, from the 31st it shows frames.
    void autoTimesOutThroughTheWindowsTicks()
    {
        WatchedWindow window;
        window.resize(window.minimumSize());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QVERIFY(controls::choose(window, "trigModeCombo", 2));
        // 2000 at "2.5V/dz": a raw threshold of 8000, never crossed.
        window.findChild<QSpinBox *>(QStringLiteral("trigLevelBox"))->setValue(2000);
        buff.store(sineFrame(700));
        window.repaint();
        QLabel *rms = labelStartingWith(window, QStringLiteral("CH1 RMS"));
        QVERIFY(rms);
        const QString untriggered = rms->text();

        controls::selectTab(window, 1);
        QCoreApplication::processEvents();
        for (int i = 0; i < 30; ++i)
            window.idleTick();
        controls::selectTab(window, 0);
        window.repaint();
        QCOMPARE(rms->text(), untriggered);

        window.idleTick();
        window.repaint();
        QVERIFY(rms->text() != untriggered);
    }

    void aReadoutsOwnRepaintKeepsTheReadoutsOfTheTraceOnScreen_data()
    {
        QTest::addColumn<int>("tab");
        QTest::addColumn<QString>("readout");
        QTest::newRow("oscilloscope RMS") << 0 << "CH1 RMS";
        QTest::newRow("analyzer power") << 2 << "Power";
    }

    void aReadoutsOwnRepaintKeepsTheReadoutsOfTheTraceOnScreen()
    {
        QFETCH(int, tab);
        QFETCH(QString, readout);
        WatchedWindow window;
        window.resize(window.minimumSize());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.findChild<QTabWidget *>()->setCurrentIndex(tab);

        buff.store(sineFrame(800));
        window.repaint();
        QCoreApplication::processEvents();
        QLabel *label = labelStartingWith(window, readout);
        QVERIFY(label);
        const QString shown = label->text();

        // A newer frame arrives; before the timer repaints the plot, only the
        // label is repainted (as when it is uncovered or restyled).
        buff.store(sineFrame(300));
        label->repaint();
        QCoreApplication::processEvents();
        QCOMPARE(label->text(), shown);

        // The plot's own repaint shows the new frame and its readouts.
        window.tick();
        QTRY_VERIFY(label->text() != shown);
    }
};

QTEST_MAIN(TestPlotRepaint)
#include "tst_plotrepaint.moc"
