#include "mainwindow.h"
#include "scratchdir.h"
#include "shared.h"
#include "windowcontrols.h"

#include <QLabel>
#include <QScrollBar>
#include <QSpinBox>
#include <QtTest>

#include <memory>

// The readouts under the mouse as the user meets them: mouse events on the
// window, labels read back from it. settings.txt lives in a scratch directory.
class TestCursorReadout : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ScratchDir> scratch;

    static void press(MainWindow &w, QPoint pos) { controls::mouse(w, QEvent::MouseButtonPress, pos); }
    static void move(MainWindow &w, QPoint pos) { controls::mouse(w, QEvent::MouseMove, pos); }
    static void release(MainWindow &w, QPoint pos)
    {
        controls::mouse(w, QEvent::MouseButtonRelease, pos);
    }

    // The visible readout label whose top-left corner is `at`, 100 x 15.
    static QLabel *readoutAt(MainWindow &w, QPoint at)
    {
        for (QLabel *label : w.findChildren<QLabel *>()) {
            if (label->isVisible() && label->geometry() == QRect(at, QSize(100, 15)))
                return label;
        }
        return nullptr;
    }

    // Visible labels that carry a readout text.
    static int visibleReadouts(MainWindow &w)
    {
        int count = 0;
        for (QLabel *label : w.findChildren<QLabel *>()) {
            if (label->isVisible() && label->text().startsWith(QLatin1String("  ")))
                ++count;
        }
        return count;
    }

    // The texts of the two readouts placed for a pointer at `pos` (the second
    // 20 pixels below the first); empty when they are not there.
    static QStringList readouts(MainWindow &w, QPoint pos)
    {
        QLabel *t = readoutAt(w, pos);
        QLabel *u = readoutAt(w, pos + QPoint(0, 20));
        if (!t || !u)
            return {};
        return { t->text(), u->text() };
    }

    // The texts of the difference readouts from `first` down, 20 pixels
    // apart, each 120 x 15; stops at the first one missing.
    static QStringList deltas(MainWindow &w, QPoint first)
    {
        QStringList texts;
        for (QPoint at = first;; at += QPoint(0, 20)) {
            QLabel *found = nullptr;
            for (QLabel *label : w.findChildren<QLabel *>()) {
                if (label->isVisible() && label->geometry() == QRect(at, QSize(120, 15)))
                    found = label;
            }
            if (!found)
                return texts;
            texts << found->text();
        }
    }

    static bool crossAt(MainWindow &w, QPoint at)
    {
        const QColor yellow(230, 200, 40);
        const QImage image = w.grab().toImage();
        // Away from the point itself, where a trace or a cursor may cross it.
        return image.pixelColor(at.x(), at.y() < 286 ? 500 : 60) == yellow
            && image.pixelColor(at.x() < 394 ? 700 : 40, at.y()) == yellow;
    }

    // Table entries that differ between two generator tables.
    static int changedEntries(const Table &a, const Table &b)
    {
        int changed = 0;
        for (std::size_t i = 0; i < a.size(); ++i)
            changed += a[i] != b[i] ? 1 : 0;
        return changed;
    }

    // A stroke on the arbitrary waveform, interrupted by a visit to `otherTab`
    // (with a release there when `releaseThere`), then one more point back on
    // the generator tab. Returns the entries that last point changed.
    static int entriesAfterInterruptedStroke(int otherTab, bool releaseThere)
    {
        // A folder of its own: the table drawn by an earlier call's window,
        // kept in its set-up, does not come back.
        const ScratchDir fresh;
        MainWindow w;
        w.show();
        controls::selectTab(w, 1);
        auto *freqBox = w.findChild<QSpinBox *>("freqBox");
        if (!freqBox)
            return -1;
        freqBox->setValue(999); // the generator takes its table length
        if (!controls::choose(w, "typeBox", QStringLiteral("arbitrary")))
            return -1;
        press(w, QPoint(100, 200));
        move(w, QPoint(100, 200));
        move(w, QPoint(110, 200));
        controls::selectTab(w, otherTab);
        if (releaseThere)
            release(w, QPoint(110, 200));
        controls::selectTab(w, 1);
        const Table before = buff_gen.snapshot();
        move(w, QPoint(400, 100));
        return changedEntries(before, buff_gen.snapshot());
    }

private slots:
    void init()
    {
        scratch = std::make_unique<ScratchDir>();
        QVERIFY(scratch->isValid());
    }

    void cleanup() { scratch.reset(); }

    void oscilloscopeReadsTimeAndVoltage()
    {
        MainWindow w;
        w.show();
        QCOMPARE(visibleReadouts(w), 0);
        // Initial time-base code 7: 200 per division.
        press(w, QPoint(458, 222));
        QCOMPARE(readouts(w, QPoint(458, 222)),
            QStringList({ QStringLiteral("  T: 196.9us"), QStringLiteral("  U: 2462mV") }));
        QVERIFY(controls::choose(w, "timeCombo", QStringLiteral("100us/dz")));
        press(w, QPoint(458, 222));
        QCOMPARE(readouts(w, QPoint(458, 222)),
            QStringList({ QStringLiteral("  T: 98.5us"), QStringLiteral("  U: 2462mV") }));
    }

    void generatorReadsTimeAndVoltage()
    {
        MainWindow w;
        w.show();
        controls::selectTab(w, 1);
        press(w, QPoint(458, 222));
        QCOMPARE(readouts(w, QPoint(458, 222)),
            QStringList({ QStringLiteral("  T: 125.0us"), QStringLiteral("  U: 312mV") }));
    }

    void analyzerReadsFrequencyAndLevel()
    {
        MainWindow w;
        w.show();
        controls::selectTab(w, 2);
        press(w, QPoint(74, 222));
        QCOMPARE(readouts(w, QPoint(74, 222)),
            QStringList({ QStringLiteral("  F: 2500Hz"), QStringLiteral("  U/Uz: 10.00dB") }));

        // The oscilloscope has a bar of that name too; the analyzer's is the one showing.
        QScrollBar *bar = nullptr;
        for (QScrollBar *candidate : w.findChildren<QScrollBar *>("xPosBar")) {
            if (candidate->isVisible())
                bar = candidate;
        }
        QVERIFY(bar);
        bar->setValue(-192); // the shift stops at -128
        press(w, QPoint(74, 222));
        QCOMPARE(readouts(w, QPoint(74, 222)),
            QStringList({ QStringLiteral("  F: 12.50kHz"), QStringLiteral("  U/Uz: 10.00dB") }));

        QVERIFY(controls::choose(w, "taBox", QStringLiteral("10Hz/dz")));
        press(w, QPoint(74, 222));
        QCOMPARE(readouts(w, QPoint(74, 222)),
            QStringList({ QStringLiteral("  F: 50.0Hz"), QStringLiteral("  U/Uz: 10.00dB") }));
    }

    void labelsStayInsideNearTheRightAndBottomEdges()
    {
        MainWindow w;
        w.show();
        press(w, QPoint(700, 520));
        QVERIFY(readoutAt(w, QPoint(600, 490)));
        QVERIFY(readoutAt(w, QPoint(600, 510)));
    }

    void pressOnTheFrameChangesNothing()
    {
        MainWindow w;
        w.show();
        press(w, QPoint(10, 300));
        press(w, QPoint(300, 542));
        QCOMPARE(visibleReadouts(w), 0);

        press(w, QPoint(200, 200));
        press(w, QPoint(778, 300));
        press(w, QPoint(300, 30));
        QVERIFY(readoutAt(w, QPoint(200, 200)));
        QVERIFY(readoutAt(w, QPoint(200, 220)));
        QCOMPARE(visibleReadouts(w), 2);
    }

    void dragFollowsPointerAndLeavesLabelsOutsideThePlot()
    {
        MainWindow w;
        w.show();
        controls::selectTab(w, 2);
        press(w, QPoint(200, 200));
        move(w, QPoint(250, 100));
        QVERIFY(readoutAt(w, QPoint(250, 100)));
        const QString text = readoutAt(w, QPoint(250, 100))->text();
        move(w, QPoint(900, 300)); // off the plot: the labels stay
        QVERIFY(readoutAt(w, QPoint(250, 100)));
        QCOMPARE(readoutAt(w, QPoint(250, 100))->text(), text);
        release(w, QPoint(900, 300));
        QCOMPARE(visibleReadouts(w), 0);
    }

    void noReadoutOnTabsWithoutPlot_data()
    {
        QTest::addColumn<int>("tab");
        QTest::newRow("logic analyzer") << 3;
        QTest::newRow("Wobuloskop") << 4;
        QTest::newRow("Multimetr") << 5;
        QTest::newRow("Ustawienia") << 6;
    }

    void noReadoutOnTabsWithoutPlot()
    {
        QFETCH(int, tab);
        MainWindow w;
        w.show();
        controls::selectTab(w, tab);
        press(w, QPoint(300, 300));
        move(w, QPoint(320, 310));
        QCOMPARE(visibleReadouts(w), 0);
    }

    void releaseHidesTheLabelsOnAnyTab()
    {
        MainWindow w;
        w.show();
        press(w, QPoint(300, 300));
        QCOMPARE(visibleReadouts(w), 2);
        controls::selectTab(w, 4);
        release(w, QPoint(300, 300));
        QCOMPARE(visibleReadouts(w), 0);
    }

    // The right button sets the reference cursor where it is pressed, shows
    // no readout itself, and the readouts under the left button then tell the
    // pointer against it; the right button again removes it.
    void oscilloscopeReferenceCursor()
    {
        MainWindow w;
        w.show();
        controls::click(w, QPoint(200, 150), Qt::RightButton);
        QCOMPARE(visibleReadouts(w), 0);
        QVERIFY(crossAt(w, QPoint(200, 150)));

        // "200us/dz": a pixel is 6.25 us.
        press(w, QPoint(359, 150));
        QCOMPARE(readouts(w, QPoint(359, 150)).size(), 2);
        QCOMPARE(deltas(w, QPoint(359, 190)),
            QStringList({ QStringLiteral("  \u0394T: 994us"), QStringLiteral("  \u0394U: 0.00uV"),
                QStringLiteral("  1/\u0394T: 1006Hz") }));
        move(w, QPoint(264, 86));
        QCOMPARE(deltas(w, QPoint(264, 126)),
            QStringList({ QStringLiteral("  \u0394T: 400us"), QStringLiteral("  \u0394U: 2560mV"),
                QStringLiteral("  1/\u0394T: 2500Hz") }));
        QCOMPARE(visibleReadouts(w), 5);
        release(w, QPoint(264, 86));
        QCOMPARE(visibleReadouts(w), 0);

        // Dragging with the right button held shows nothing either.
        controls::mouse(w, QEvent::MouseButtonPress, QPoint(500, 300), Qt::RightButton);
        controls::mouse(w, QEvent::MouseMove, QPoint(520, 310), Qt::RightButton);
        QCOMPARE(visibleReadouts(w), 0);
        controls::mouse(w, QEvent::MouseButtonRelease, QPoint(520, 310), Qt::RightButton);
        QVERIFY(!crossAt(w, QPoint(200, 150)));
        press(w, QPoint(359, 150));
        QCOMPARE(visibleReadouts(w), 2);
    }

    // Shift with the left button sets it too; Escape removes it. Each of the
    // two tabs has its own.
    void analyzerReferenceCursorAndEscape()
    {
        MainWindow w;
        w.show();
        controls::selectTab(w, 2);
        controls::click(w, QPoint(74, 286), Qt::LeftButton, Qt::ShiftModifier);
        QCOMPARE(visibleReadouts(w), 0);
        QVERIFY(crossAt(w, QPoint(74, 286)));
        press(w, QPoint(138, 222));
        QCOMPARE(deltas(w, QPoint(138, 262)),
            QStringList(
                { QStringLiteral("  \u0394F: 2500Hz"), QStringLiteral("  \u0394dB: 9.85dB") }));
        QCOMPARE(visibleReadouts(w), 4);
        release(w, QPoint(138, 222));

        controls::selectTab(w, 0);
        press(w, QPoint(138, 222));
        QCOMPARE(visibleReadouts(w), 2);
        release(w, QPoint(138, 222));

        controls::selectTab(w, 2);
        QVERIFY(controls::key(w, Qt::Key_Escape));
        QVERIFY(!crossAt(w, QPoint(74, 286)));
        press(w, QPoint(138, 222));
        QCOMPARE(visibleReadouts(w), 2);
        release(w, QPoint(138, 222));
    }

    // Off the plot the right button sets nothing; on the generator tab it
    // shows the readouts as any button does.
    void noReferenceOffThePlotNorOnTheGenerator()
    {
        MainWindow w;
        w.show();
        controls::click(w, QPoint(300, 542), Qt::RightButton);
        press(w, QPoint(359, 150));
        QCOMPARE(visibleReadouts(w), 2);
        release(w, QPoint(359, 150));

        controls::selectTab(w, 1);
        controls::mouse(w, QEvent::MouseButtonPress, QPoint(458, 222), Qt::RightButton);
        QCOMPARE(readouts(w, QPoint(458, 222)),
            QStringList({ QStringLiteral("  T: 125.0us"), QStringLiteral("  U: 312mV") }));
        QCOMPARE(visibleReadouts(w), 2);
    }

    // The stroke that a release on another tab ended does not go on with a
    // line from its old point when the pointer is back on the generator tab.
    void releaseOnLogicAnalyzerTabEndsGeneratorStroke()
    {
        const int withoutRelease = entriesAfterInterruptedStroke(3, false);
        QVERIFY2(withoutRelease > 100, qPrintable(QString::number(withoutRelease)));
        const int withRelease = entriesAfterInterruptedStroke(3, true);
        QVERIFY2(withRelease >= 1 && withRelease <= 2, qPrintable(QString::number(withRelease)));
    }
};

QTEST_MAIN(TestCursorReadout)
#include "tst_cursorreadout.moc"
