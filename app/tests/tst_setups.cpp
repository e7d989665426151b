#include "mainwindow.h"
#include "scratchdir.h"
#include "setupfile.h"
#include "shared.h"
#include "windowcontrols.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>

#include <algorithm>
#include <memory>

namespace {

const QString kPartly = QStringLiteral("set-up partly unreadable: start values used");

// The n-th control of that name: the oscilloscope's and the analyzer's
// position bars share theirs, the oscilloscope's made first.
QWidget *control(QWidget &window, const QString &name, int nth)
{
    const auto found = window.findChildren<QWidget *>(name);
    return nth < found.size() ? found[nth] : nullptr;
}

// As the user sets it: a list's choice fires "activated", a box its click.
bool set(QWidget &window, const QString &name, int nth, int value)
{
    QWidget *widget = control(window, name, nth);
    if (qobject_cast<QComboBox *>(widget))
        return controls::choose(window, name.toLatin1().constData(), value);
    if (auto *box = qobject_cast<QCheckBox *>(widget)) {
        box->setChecked(value != 0);
        emit box->clicked(value != 0);
        return true;
    }
    if (auto *spin = qobject_cast<QSpinBox *>(widget)) {
        spin->setValue(value);
        return true;
    }
    if (auto *bar = qobject_cast<QScrollBar *>(widget)) {
        bar->setValue(value);
        return true;
    }
    return false;
}

int get(QWidget &window, const QString &name, int nth)
{
    QWidget *widget = control(window, name, nth);
    if (auto *combo = qobject_cast<QComboBox *>(widget))
        return combo->currentIndex();
    if (auto *box = qobject_cast<QCheckBox *>(widget))
        return box->isChecked() ? 1 : 0;
    if (auto *spin = qobject_cast<QSpinBox *>(widget))
        return spin->value();
    if (auto *bar = qobject_cast<QScrollBar *>(widget))
        return bar->value();
    return -99999;
}

// A new program on the same folder: the generator's table starts empty.
void forgetTheTable()
{
    buff_gen.edit([](int *entries) { std::fill(entries, entries + setupfile::kTableEntries, 0); });
}

setupfile::Reading readSetupFile()
{
    return setupfile::parse(
        QString::fromUtf8(ScratchDir::readFile(QLatin1String(setupfile::kFileName))),
        setupfile::Setup {});
}

} // namespace

// The instrument set-up across a restart of the window, in a scratch
// working folder: setup.txt written at the end and read at the start, what a
// damaged one gives, and named set-ups through the settings tab's buttons.
class TestSetups : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<ScratchDir> scratch;

private slots:
    void init()
    {
        scratch = std::make_unique<ScratchDir>();
        QVERIFY(scratch->isValid());
        sts.set(QString());
        forgetTheTable();
    }

    void cleanup() { scratch.reset(); }

    void everyControlSurvivesARestart_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("nth");
        QTest::addColumn<int>("value");
        QTest::newRow("time base") << "timeCombo" << 0 << 3;
        QTest::newRow("range 1") << "gain1Combo" << 0 << 4;
        QTest::newRow("range 2") << "gain2Combo" << 0 << 5;
        QTest::newRow("channel 2") << "channel2Box" << 0 << 1;
        QTest::newRow("trigger mode") << "trigModeCombo" << 0 << 2;
        QTest::newRow("edge") << "trigEdgeCombo" << 0 << 1;
        QTest::newRow("detector") << "trigBandCombo" << 0 << 1;
        QTest::newRow("level") << "trigLevelBox" << 0 << 123;
        QTest::newRow("trigger position") << "xPosBar" << 0 << -50;
        QTest::newRow("position 1") << "yPos1Bar" << 0 << 40;
        QTest::newRow("position 2") << "yPos2Bar" << 0 << -60;
        QTest::newRow("frequency") << "freqBox" << 0 << 2500;
        QTest::newRow("step") << "freqMulBox" << 0 << 3;
        QTest::newRow("amplitude") << "gainBox" << 0 << 700;
        QTest::newRow("waveform") << "typeBox" << 0 << 2;
        QTest::newRow("duty") << "dutyBox" << 0 << 30;
        QTest::newRow("offset") << "offsetBox" << 0 << -400;
        QTest::newRow("span") << "taBox" << 0 << 11;
        QTest::newRow("analyzer range") << "vaBox" << 0 << 5;
        QTest::newRow("shift") << "xPosBar" << 1 << -77;
    }

    void everyControlSurvivesARestart()
    {
        QFETCH(QString, name);
        QFETCH(int, nth);
        QFETCH(int, value);
        {
            MainWindow first;
            QVERIFY(get(first, name, nth) != value);
            QVERIFY(set(first, name, nth, value));
            QCOMPARE(get(first, name, nth), value);
        }
        QVERIFY(readSetupFile().complete());
        MainWindow next;
        QCOMPARE(get(next, name, nth), value);
        QCOMPARE(sts.get(), QString());
    }

    void drawnTableSurvivesARestart()
    {
        Table drawn;
        {
            MainWindow first;
            first.show();
            controls::selectTab(first, 1);
            QVERIFY(controls::choose(first, "typeBox", 5));
            controls::mouse(first, QEvent::MouseButtonPress, QPoint(110, 286));
            controls::mouse(first, QEvent::MouseMove, QPoint(110, 286));
            controls::mouse(first, QEvent::MouseMove, QPoint(300, 100));
            controls::mouse(first, QEvent::MouseMove, QPoint(700, 500));
            controls::mouse(first, QEvent::MouseButtonRelease, QPoint(700, 500));
            drawn = buff_gen.snapshot();
            QVERIFY(drawn != Table {});
        }
        forgetTheTable();
        MainWindow next;
        QCOMPARE(buff_gen.snapshot(), drawn);
        QCOMPARE(get(next, QStringLiteral("typeBox"), 0), 5);
    }

    // Without setup.txt every control has its start value and nothing is
    // said; the file appears when the program ends.
    void aFirstStart()
    {
        {
            MainWindow first;
            QCOMPARE(get(first, QStringLiteral("timeCombo"), 0), 7);
            QCOMPARE(get(first, QStringLiteral("freqBox"), 0), 1000);
            QCOMPARE(sts.get(), QString());
            QVERIFY(!QFileInfo::exists(QLatin1String(setupfile::kFileName)));
        }
        const setupfile::Reading reading = readSetupFile();
        QVERIFY(reading.complete());
        QCOMPARE(reading.setup.scope.timeBase, 7);
        QCOMPARE(reading.setup.generator.duty, 50);
        QCOMPARE(reading.setup.analyzer.span, 7);
    }

    // What can be read is taken, the rest has its start value, the status
    // line says so, and the file stays as it was until the program ends.
    void damagedFileKeepsTheRest()
    {
        {
            MainWindow first;
            QVERIFY(set(first, QStringLiteral("trigLevelBox"), 0, 321));
            QVERIFY(set(first, QStringLiteral("dutyBox"), 0, 12));
            QVERIFY(set(first, QStringLiteral("vaBox"), 0, 3));
        }
        QByteArray damaged = ScratchDir::readFile(QLatin1String(setupfile::kFileName));
        damaged.replace("scope.level=321", "scope.level=3x1");
        damaged.chop(damaged.size() - damaged.indexOf("generator.table=") - 100); // cut
        QVERIFY(ScratchDir::writeFile(QLatin1String(setupfile::kFileName), damaged));

        {
            MainWindow next;
            QCOMPARE(sts.get(), kPartly);
            QTRY_COMPARE(controls::statusLabel(next)->text(), kPartly);
            QCOMPARE(get(next, QStringLiteral("trigLevelBox"), 0), 0);
            QCOMPARE(get(next, QStringLiteral("dutyBox"), 0), 12);
            QCOMPARE(get(next, QStringLiteral("vaBox"), 0), 3);
            QCOMPARE(ScratchDir::readFile(QLatin1String(setupfile::kFileName)), damaged);
        }
        const setupfile::Reading written = readSetupFile();
        QVERIFY(written.complete());
        QCOMPARE(written.setup.generator.duty, 12);
        QCOMPARE(written.setup.scope.trigLevel, 0);
    }

    void foreignFileGivesStartValues_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("settings text") << QByteArray("#/dev/ttyS0#115200#3#ZOR");
        QTest::newRow("binary") << QByteArray("\x00\xff\xfe=\n\x01", 6);
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("too large") << QByteArray(512 * 1024, 'x');
    }

    void foreignFileGivesStartValues()
    {
        QFETCH(QByteArray, content);
        QVERIFY(ScratchDir::writeFile(QLatin1String(setupfile::kFileName), content));
        MainWindow w;
        QCOMPARE(sts.get(), QStringLiteral("set-up unreadable: start values used"));
        QCOMPARE(get(w, QStringLiteral("timeCombo"), 0), 7);
        QCOMPARE(get(w, QStringLiteral("gainBox"), 0), 1250);
        QCOMPARE(get(w, QStringLiteral("taBox"), 0), 7);
    }

    // A folder of that name: nothing to read, nothing written into it.
    void folderInPlaceOfTheFile()
    {
        QVERIFY(QDir().mkdir(QLatin1String(setupfile::kFileName)));
        {
            MainWindow w;
            QCOMPARE(sts.get(), QStringLiteral("set-up unreadable: start values used"));
        }
        QVERIFY(QFileInfo(QLatin1String(setupfile::kFileName)).isDir());
        QVERIFY(QDir(QLatin1String(setupfile::kFileName)).isEmpty());
    }

    // The two buttons of the settings tab, beside nothing else of the window.
    void buttonsOnlyOnTheSettingsTab()
    {
        MainWindow w;
        w.show();
        auto *save = w.findChild<QPushButton *>(QStringLiteral("saveSetupButton"));
        auto *load = w.findChild<QPushButton *>(QStringLiteral("loadSetupButton"));
        QVERIFY(save && load);
        for (int tab = 0; tab < 7; ++tab) {
            controls::selectTab(w, tab);
            QCOMPARE(save->isVisible(), tab == 6);
            QCOMPARE(load->isVisible(), tab == 6);
            // Where they show, nothing else is in their place. (The
            // Wobuloskop's plot, a widget of its own, covers it on that tab.)
            if (tab != 6)
                continue;
            for (QWidget *other :
                w.findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
                if (other == save || other == load
                    || other == static_cast<QMainWindow &>(w).centralWidget()
                    || !other->isVisible())
                    continue;
                QVERIFY2(!other->geometry().intersects(save->geometry())
                        && !other->geometry().intersects(load->geometry()),
                    qPrintable(
                        other->objectName() + QLatin1Char(' ') + other->metaObject()->className()));
            }
        }
    }

    void saveAndLoadANamedSetup()
    {
        MainWindow w;
        w.show();
        controls::selectTab(w, 6);
        QVERIFY(set(w, QStringLiteral("timeCombo"), 0, 1));
        QVERIFY(set(w, QStringLiteral("freqBox"), 0, 777));
        const QString path = scratch->filePath(QStringLiteral("bench-a.txt"));
        QVERIFY(controls::answerFileDialog(w, "saveSetupButton", "setupDialog", path));
        QCOMPARE(sts.get(), QStringLiteral("set-up saved"));
        const setupfile::Reading saved
            = setupfile::parse(QString::fromUtf8(ScratchDir::readFile(path)), setupfile::Setup {});
        QVERIFY(saved.complete());
        QCOMPARE(saved.setup.scope.timeBase, 1);
        QCOMPARE(saved.setup.generator.frequency, 777);

        QVERIFY(set(w, QStringLiteral("timeCombo"), 0, 9));
        QVERIFY(set(w, QStringLiteral("freqBox"), 0, 5000));
        QVERIFY(controls::answerFileDialog(w, "loadSetupButton", "setupDialog", path));
        QCOMPARE(sts.get(), QStringLiteral("set-up loaded"));
        QCOMPARE(get(w, QStringLiteral("timeCombo"), 0), 1);
        QCOMPARE(get(w, QStringLiteral("freqBox"), 0), 777);

        // Not a set-up: the controls stay as they are.
        const QString other = scratch->filePath(QStringLiteral("notes.txt"));
        QVERIFY(ScratchDir::writeFile(other, "timeCombo=3\n"));
        QVERIFY(controls::answerFileDialog(w, "loadSetupButton", "setupDialog", other));
        QCOMPARE(sts.get(), QStringLiteral("not a set-up: nothing loaded"));
        QCOMPARE(get(w, QStringLiteral("timeCombo"), 0), 1);

        // Part of a set-up: the rest gets its start value, and it is said.
        QByteArray part = ScratchDir::readFile(path);
        part.replace("generator.frequency=777", "generator.frequency=");
        QVERIFY(ScratchDir::writeFile(other, part));
        QVERIFY(set(w, QStringLiteral("freqBox"), 0, 5000));
        QVERIFY(controls::answerFileDialog(w, "loadSetupButton", "setupDialog", other));
        QCOMPARE(sts.get(), kPartly);
        QCOMPARE(get(w, QStringLiteral("freqBox"), 0), 1000);
        QCOMPARE(get(w, QStringLiteral("timeCombo"), 0), 1);
    }
};

QTEST_MAIN(TestSetups)
#include "tst_setups.moc"
