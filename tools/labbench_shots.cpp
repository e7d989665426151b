// Screenshots of every tab of labbench, taken offscreen after pressing
// "Open port" with the settings.txt of the working directory, for the README
// and for machines without a display.
//
// With --readme each instrument is first set up the way the user guide shows
// it (both channels apart on a triggered picture, the tone in the middle of
// the analyzer's view, a reference cursor and the cursor readouts showing),
// through the controls themselves, as the user would.
#include "mainwindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QScrollBar>
#include <QStringList>
#include <QTabWidget>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTimer>

#include <cstdio>

namespace {

// Lets the window run for a while: frames come, the picture settles.
void settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// A button pressed or released at a point of the window, as the mouse does.
void mouse(
    QWidget &window, QEvent::Type type, QPoint point, Qt::MouseButton button = Qt::LeftButton)
{
    QMouseEvent event(type, QPointF(point), QPointF(window.mapToGlobal(point)), button,
        type == QEvent::MouseButtonPress ? button : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &event);
}

// The control of the given kind under a point of the window, as the user
// would find it there; null when the window's layout has none.
template <typename Control> Control *controlAt(QWidget &window, QPoint point)
{
    for (QWidget *widget = window.childAt(point); widget && widget != &window;
         widget = widget->parentWidget()) {
        if (auto *control = qobject_cast<Control *>(widget))
            return control;
    }
    return nullptr;
}

bool fail(const char *what)
{
    std::fprintf(stderr, "cannot set up the picture: %s\n", what);
    return false;
}

// Chooses an entry as a user's click would: the panels listen to
// "activated(int)", which the program's own index changes do not send.
bool choose(QWidget &window, QPoint where, const char *entry)
{
    auto *combo = controlAt<QComboBox>(window, where);
    const int index = combo ? combo->findText(QLatin1String(entry)) : -1;
    if (index < 0)
        return fail(entry);
    combo->setCurrentIndex(index);
    QMetaObject::invokeMethod(combo, "activated", Q_ARG(int, index));
    return true;
}

bool slide(QWidget &window, QPoint where, int value, const char *what)
{
    auto *bar = controlAt<QScrollBar>(window, where);
    if (!bar)
        return fail(what);
    bar->setValue(value);
    return true;
}

// Oscilloscope: the generator's sine above the centre line, the calibrator's
// square below it, both at 1V/dz, triggered on channel 1's rising edge.
bool setUpOscilloscope(QWidget &window)
{
    auto *channel2 = controlAt<QCheckBox>(window, { 390, 590 });
    if (!channel2)
        return fail("channel 2 box");
    if (!channel2->isChecked())
        channel2->click();
    return choose(window, { 300, 590 }, "1V/dz") && choose(window, { 450, 590 }, "1V/dz")
        && slide(window, { 798, 300 }, -128, "channel 1 position")
        && slide(window, { 818, 300 }, 128, "channel 2 position")
        && choose(window, { 580, 590 }, "Auto") && choose(window, { 645, 590 }, "Ris");
}

// Analyzer: a span that puts the 1 kHz tone two divisions from the left.
bool setUpAnalyzer(QWidget &window)
{
    return choose(window, { 150, 590 }, "500Hz/dz");
}

// Wobuloskop: a sweep from 10 Hz to 100 kHz, waited for to its last step,
// and the mouse over the step nearest the corner.
bool setUpWobuloskop(QWidget &window)
{
    auto *from = window.findChild<QLineEdit *>(QStringLiteral("sweepFromEdit"));
    auto *start = window.findChild<QPushButton *>(QStringLiteral("sweepStartButton"));
    auto *progress = window.findChild<QLabel *>(QStringLiteral("sweepProgressLabel"));
    auto *plot = window.findChild<QWidget *>(QStringLiteral("sweepPlot"));
    if (!from || !start || !progress || !plot)
        return fail("Wobuloskop controls");
    from->setText(QStringLiteral("10"));
    start->click();
    QElapsedTimer waited;
    waited.start();
    while (start->text() != QStringLiteral("Start") || !progress->text().startsWith(QStringLiteral("step"))) {
        if (waited.elapsed() > 120000)
            return fail("the sweep's end");
        settle(100);
    }
    // The corner of zor-sim's 1 kHz low-pass: two of the plot's four decades in.
    const QPoint corner(plot->width() / 2, plot->height() / 2);
    QMouseEvent move(QEvent::MouseMove, QPointF(corner), QPointF(plot->mapToGlobal(corner)),
        Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(plot, &move);
    return true;
}

// Where a held mouse button shows the cursor readouts, per tab; none elsewhere.
// On the oscilloscope, the second crest of the sine after the trigger.
QPoint readoutPoint(int tab)
{
    switch (tab) {
    case 0:
        return { 592, 81 };
    case 2:
        return { 138, 222 };
    default:
        return {};
    }
}

// Where the right button puts the reference cursor, per tab: the crest before
// the readout's on the oscilloscope, the centre line at 1 kHz on the analyzer.
QPoint referencePoint(int tab)
{
    switch (tab) {
    case 0:
        return { 434, 81 };
    case 2:
        return { 74, 286 };
    default:
        return {};
    }
}

} // namespace

int main(int argc, char *argv[])
{
    // Pictures need no display: offscreen unless the caller chose a platform.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool readme = args.removeAll(QStringLiteral("--readme")) > 0;
    // --only NAME takes that tab's picture alone (a simulator wired otherwise).
    QString only;
    if (const int at = int(args.indexOf(QStringLiteral("--only"))); at >= 0 && at + 1 < args.size()) {
        only = args.at(at + 1);
        args.remove(at, 2);
    }
    const QString out = args.size() > 0 ? args.at(0) : QStringLiteral("screenshots");
    const int settleMs = args.size() > 1 ? args.at(1).toInt() : 1500;
    if (!QDir().mkpath(out)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(out));
        return 1;
    }

    MainWindow window;
    window.resize(window.minimumSize());
    window.show();
    auto *tabs = window.findChild<QTabWidget *>();
    for (QPushButton *button : window.findChildren<QPushButton *>()) {
        if (button->text() == QStringLiteral("Open port"))
            button->click();
    }

    const char *const names[] = { "oscyloskop", "generator", "analizator", "analizator-log",
        "wobuloskop", "multimetr", "ustawienia" };
    for (int tab = 0; tab < tabs->count(); ++tab) {
        if (!only.isEmpty() && only != QLatin1String(names[tab]))
            continue;
        tabs->setCurrentIndex(tab);
        QPoint readout;
        if (readme) {
            if ((tab == 0 && !setUpOscilloscope(window)) || (tab == 2 && !setUpAnalyzer(window))
                || (tab == 4 && !setUpWobuloskop(window)))
                return 1;
            readout = readoutPoint(tab);
        }
        settle(settleMs);
        if (readme && !referencePoint(tab).isNull()) {
            mouse(window, QEvent::MouseButtonPress, referencePoint(tab), Qt::RightButton);
            mouse(window, QEvent::MouseButtonRelease, referencePoint(tab), Qt::RightButton);
        }
        if (!readout.isNull())
            mouse(window, QEvent::MouseButtonPress, readout);
        const QString file
            = QDir(out).filePath(QStringLiteral("%1.png").arg(QLatin1String(names[tab])));
        const bool saved = window.grab().save(file);
        if (!readout.isNull())
            mouse(window, QEvent::MouseButtonRelease, readout);
        if (!saved) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
            return 1;
        }
        std::printf("%s\n", qPrintable(file));
    }
    return 0;
}
