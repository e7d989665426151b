#include "mainwindow.h"
#include "shared.h"

#include <QLabel>
#include <QPaintEvent>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <cmath>
#include <vector>

namespace {

const QRect kPlot(10, 30, 769, 513);

// The main window with the regions of its paints recorded and its timer's
// tick at hand.
class WatchedWindow : public MainWindow {
public:
    std::vector<QRegion> painted;

    void tick()
    {
        bufReady.store(true);
        QTimerEvent event(0);
        timerEvent(&event);
    }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        painted.push_back(event->region());
        MainWindow::paintEvent(event);
    }
};

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

private slots:
    void init()
    {
        buff.store(sineFrame(0));
        bufReady.store(false);
    }

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
        for (QPushButton *button : window.findChildren<QPushButton *>())
            QVERIFY(!first.intersects(button->geometry()));
    }

    void aTickWithoutAFreshFrameRepaintsNothing()
    {
        WatchedWindow window;
        window.resize(window.minimumSize());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCoreApplication::processEvents();
        window.painted.clear();

        QTimerEvent event(0);
        QCoreApplication::sendEvent(&window, &event);
        QCoreApplication::processEvents();
        QVERIFY(window.painted.empty());
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
