#include "exporter.h"
#include "mainwindow.h"
#include "scratchdir.h"
#include "shared.h"
#include "simulatedbench.h"
#include "spectrum.h"
#include "windowcontrols.h"
#include "zorsimulator.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QtTest>

#include <cmath>
#include <memory>
#include <vector>

// Export from each tab against the simulated ZOR: the table holds what the
// device sent or received, the picture what the window shows.
class TestExportE2e : public QObject {
    Q_OBJECT

private:
    static constexpr int kWaitMs = SimulatedBench::kWaitMs;

    std::unique_ptr<SimulatedBench> bench;
    ZorSimulator *sim = nullptr;

    using Rows = std::vector<std::vector<double>>;

    static Rows csvRows(const QString &path)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        Rows rows;
        for (const QByteArray &line : file.readAll().split('\n')) {
            if (line.isEmpty() || line.startsWith('#'))
                continue;
            std::vector<double> row;
            for (const QByteArray &cell : line.split(','))
                row.push_back(cell.toDouble());
            rows.push_back(row);
        }
        return rows;
    }

    // The number on a "# key: value" line; NaN when the line is missing.
    static double headerValue(const QString &path, const char *key)
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return std::nan("");
        const QByteArray prefix = QByteArray("# ") + key + ": ";
        for (const QByteArray &line : file.readAll().split('\n')) {
            if (line.startsWith(prefix))
                return line.mid(prefix.size()).toDouble();
        }
        return std::nan("");
    }

    // Opens the port on a tab, lets frames come (with channel 2 on, if asked),
    // closes it again: export saves what stays on screen.
    void runThenClose(MainWindow &w, int tab, bool channel2 = false)
    {
        controls::selectTab(w, tab);
        QVERIFY(SimulatedBench::open(w));
        if (channel2)
            w.findChild<QCheckBox *>(QStringLiteral("channel2Box"))->click();
        QVERIFY(bench->framesPass(3));
        QTest::qWait(200); // the window's ticks show the latest frame
        controls::portButton(w)->click();
        QCOMPARE(controls::portButton(w)->text(), QStringLiteral("Open port"));
    }

    // The picture is the plot as shown, with a line of the settings below
    // it (also the PNG's "Settings" text); a note beside the button says
    // what was saved.
    static void checkPicture(MainWindow &w, const QString &csvPath, const QString &settings)
    {
        const QString pngPath = csvPath.left(csvPath.size() - 4) + QStringLiteral(".png");
        const QImage saved(pngPath);
        QCOMPARE(saved.size(), QSize(1040, 513 + Exporter::kCaptionHeight));
        QCOMPARE(saved.text(QStringLiteral("Settings")), settings);
        const QImage caption = saved.copy(0, 513, 1040, Exporter::kCaptionHeight);
        int ink = 0;
        const QRgb paper = caption.pixel(0, 0);
        for (int y = 0; y < caption.height(); ++y)
            for (int x = 0; x < caption.width(); ++x)
                ink += caption.pixel(x, y) != paper;
        QVERIFY2(ink > 100, "no settings written under the plot");
        auto *note = w.findChild<QLabel *>(QStringLiteral("exportNote"));
        QVERIFY(note && note->isVisible());
        QCOMPARE(note->text(),
            QStringLiteral("Saved %1 and %2")
                .arg(QFileInfo(csvPath).fileName(), QFileInfo(pngPath).fileName()));
        note->hide(); // the picture is taken without it
        const QImage shown = w.grab(QRect(0, 30, 1040, 513)).toImage();
        QVERIFY(saved.copy(0, 0, 1040, 513).convertToFormat(QImage::Format_RGB32)
            == shown.convertToFormat(QImage::Format_RGB32));
    }

private slots:
    void init()
    {
        bench = std::make_unique<SimulatedBench>();
        QVERIFY(bench->isReady());
        sim = &bench->sim();
    }

    void cleanup()
    {
        sim = nullptr;
        bench.reset();
    }

    // First, while this program has had no frame: the oscilloscope and the
    // analyzer (and the Wobuloskop before a sweep) say so and write nothing,
    // no dialog opens; the generator's table can be saved.
    void beforeAnyFrameNothingIsWritten()
    {
        MainWindow w;
        w.show();
        auto *exporter = w.findChild<Exporter *>();
        QVERIFY(exporter);
        const QStringList before = QDir::current().entryList(QDir::Files);
        for (const int tab : { 0, 2, 4 }) {
            controls::selectTab(w, tab);
            QVERIFY(controls::exportWithEnter(w).isEmpty()); // no dialog came
            QVERIFY(!w.findChild<QFileDialog *>(QStringLiteral("exportDialog")));
            QVERIFY(!exporter->exportTo(tab, QStringLiteral("nothing.csv")));
            auto *note = w.findChild<QLabel *>(QStringLiteral("exportNote"));
            QVERIFY(note && note->isVisible());
            QCOMPARE(note->text(),
                tab == 4 ? QStringLiteral("no sweep measured yet")
                         : QStringLiteral("no frame received yet"));
        }
        QCOMPARE(QDir::current().entryList(QDir::Files), before);
        QVERIFY(exporter->exportTo(1, QStringLiteral("table.csv")));
        QVERIFY(QFile::exists(QStringLiteral("table.png")));
    }

    // The dialog opens where the last export went.
    void dialogOpensInTheLastFolderUsed()
    {
        MainWindow w;
        w.show();
        auto *exporter = w.findChild<Exporter *>();
        QVERIFY(QDir().mkdir(QStringLiteral("runs")));
        QCOMPARE(QDir(exporter->dialogFolder()).canonicalPath(), QDir::current().canonicalPath());
        QVERIFY(exporter->exportTo(1, QStringLiteral("runs/table.csv")));
        QCOMPARE(QDir(exporter->dialogFolder()).canonicalPath(),
            QDir(QStringLiteral("runs")).canonicalPath());
    }

    void oscilloscopeExportHoldsTheFrameOnScreen()
    {
        MainWindow w;
        w.show();
        runThenClose(w, 0, true);

        const QString path = controls::exportWithEnter(w);
        QVERIFY(QRegularExpression(QStringLiteral("/oscyloskop-\\d{8}-\\d{6}\\.csv$"))
                    .match(path)
                    .hasMatch());
        QCOMPARE(QFileInfo(path).absolutePath(), QDir::current().absolutePath());
        const Rows rows = csvRows(path);
        QCOMPARE(rows.size(), std::size_t(512));
        std::vector<int> ch1;
        std::vector<int> ch2;
        for (const auto &row : rows) {
            QCOMPARE(row.size(), std::size_t(3));
            ch1.push_back(int(std::lround(row[1] / 0.010))); // 10 mV a unit at 2.5V/dz
            ch2.push_back(int(std::lround(row[2] / 0.010)));
        }
        ch1.insert(ch1.end(), ch2.begin(), ch2.end());
        QVERIFY(bench->sent(ch1));
        const QByteArray csv = ScratchDir::readFile(path);
        QVERIFY2(csv.contains("# trigger: ----\n# trigger_edge: Fall\n# trigger_detector: LF\n"
                              "# trigger_level_V: 0\n"),
            csv.constData());
        checkPicture(w, path, QStringLiteral("200us/dz   CH1 2.5V/dz   CH2 2.5V/dz   trigger ---- Fall LF 0V"));
    }

    void generatorExportHoldsTheTableTheDeviceReceived()
    {
        MainWindow w;
        w.show();
        controls::selectTab(w, 1);
        QVERIFY(SimulatedBench::open(w));
        QTRY_VERIFY_WITH_TIMEOUT(sim->state().tablesReceived >= 1, kWaitMs);
        controls::portButton(w)->click();

        const QString path = controls::exportWithEnter(w);
        QVERIFY(path.contains(QStringLiteral("/generator-")));
        const Rows rows = csvRows(path);
        const DeviceState state = sim->state();
        QCOMPARE(int(rows.size()), state.length);
        for (int i = 0; i < state.length; ++i) {
            QCOMPARE(rows[std::size_t(i)][0], double(i));
            QCOMPARE(rows[std::size_t(i)][1] * 1.6376, double(state.table[std::size_t(i)]));
        }
        checkPicture(w, path, QStringLiteral("sine   1000Hz   1250mV   duty 50%   offset 0mV"));
    }

    // The power-up tone of about 1008 Hz at 78.125 Hz a bin; the levels are
    // those of a frame the device sent.
    void analyzerExportHoldsTheSpectrumOfASentFrame()
    {
        MainWindow w;
        w.show();
        runThenClose(w, 2);

        const QString path = controls::exportWithEnter(w);
        QVERIFY(path.contains(QStringLiteral("/analizator-")));
        const Rows rows = csvRows(path);
        QCOMPARE(rows.size(), std::size_t(512));
        QCOMPARE(rows[1][0], 78.125);
        std::size_t peak = 3;
        for (std::size_t k = 3; k < rows.size(); ++k) {
            if (rows[k][1] > rows[peak][1])
                peak = k;
        }
        QVERIFY2(std::abs(rows[peak][0] - 32e6 / (512 * 62)) < 78.125,
            qPrintable(QString::number(rows[peak][0])));

        bool found = false;
        spectrum::Workspace work;
        for (const auto &frame : sim->recentFrames()) {
            const std::vector<int> raw(frame.begin(), frame.end());
            spectrum::analyse(raw.data(), work);
            found = found
                || std::equal(rows.begin(), rows.end(), work.im.begin(),
                    [](const auto &row, double level) { return row[1] == level; });
        }
        QVERIFY(found);
        checkPicture(w, path, QStringLiteral("span 2.5kHz/dz   range 500mV"));
    }

    // A square from the generator, looped back: its harmonics make power and
    // THD+N far apart. The file's two lines are the readouts the window
    // shows for the frame it saved.
    void analyzerExportHoldsTheWindowsReadouts()
    {
        MainWindow w;
        w.show();
        controls::selectTab(w, 1);
        QVERIFY(controls::choose(w, "typeBox", QStringLiteral("square")));
        QVERIFY(SimulatedBench::open(w));
        QTRY_VERIFY_WITH_TIMEOUT(sim->state().tablesReceived >= 1, kWaitMs);
        // Closed on the generator tab, the device left playing; opened again
        // on the analyzer.
        QVERIFY(SimulatedBench::close(w) >= 0);
        runThenClose(w, 2);

        const QString path = controls::exportWithEnter(w);
        QVERIFY(path.contains(QStringLiteral("/analizator-")));
        const double power = headerValue(path, "power_daB");
        const double thdn = headerValue(path, "thdn_pct");
        QVERIFY2(thdn > 20, qPrintable(QString::number(thdn))); // a square's is about 48 %
        QCOMPARE(w.findChild<QLabel *>(QStringLiteral("powerLabel"))->text(),
            QStringLiteral("Power: %1daB").arg(power, 0, 'f', 1));
        QCOMPARE(w.findChild<QLabel *>(QStringLiteral("thdLabel"))->text(),
            QStringLiteral("THD+N: %1%").arg(thdn, 0, 'f', 2));
    }

    void buttonOnlyOnTheTabsWithSomethingToSave()
    {
        MainWindow w;
        w.show();
        auto *button = w.findChild<QPushButton *>(QStringLiteral("exportButton"));
        QVERIFY(button);
        for (int tab = 0; tab < 7; ++tab) {
            controls::selectTab(w, tab);
            QCOMPARE(button->isVisible(), tab < 3 || tab == 4);
        }
        controls::selectTab(w, 1);
        button->click();
        auto *dialog = w.findChild<QFileDialog *>(QStringLiteral("exportDialog"));
        QVERIFY(dialog);
        QVERIFY(dialog->selectedFiles().value(0).contains(QStringLiteral("/generator-")));
        dialog->reject();
    }

    // The picture of the plot inside a saved PNG (the window's 0..1039 x 30..542).
    static QImage savedPlot(const QString &csvPath)
    {
        const QImage saved(csvPath.left(csvPath.size() - 4) + QStringLiteral(".png"));
        return saved.copy(10, 0, 769, 513).convertToFormat(QImage::Format_RGB32);
    }

    // Stopped, with the link running and frames still coming: the export
    // holds the frozen frame, one the device sent before the stop, and its
    // picture, not the frames that came since.
    void oscilloscopeExportWhileStoppedHoldsTheFrozenFrame()
    {
        MainWindow w;
        w.show();
        QVERIFY(SimulatedBench::open(w));
        QVERIFY(bench->framesPass(3));
        const QImage frozen = controls::plot(w); // painted from the latest frame
        QVERIFY(controls::press(w, "scopeRunButton"));
        const Frame atStop = buff.snapshot();
        QVERIFY(bench->framesPass(3));
        QVERIFY(SimulatedBench::frameChangesFrom(atStop));

        const QString path = controls::exportWithEnter(w);
        QVERIFY(path.contains(QStringLiteral("/oscyloskop-")));
        const Rows rows = csvRows(path);
        QCOMPARE(rows.size(), std::size_t(1024));
        std::vector<int> ch1;
        for (const auto &row : rows)
            ch1.push_back(int(std::lround(row[1] / 0.010))); // 10 mV a unit at 2.5V/dz
        QVERIFY(bench->sent(ch1));
        const Frame live = buff.snapshot();
        QVERIFY(!std::equal(ch1.begin(), ch1.end(), live.begin()));
        QCOMPARE(savedPlot(path), frozen);
        checkPicture(w, path, QStringLiteral("200us/dz   CH1 2.5V/dz   trigger ---- Fall LF 0V"));
    }

    // The analyzer likewise: its range changed while stopped (four times the
    // samples, 12 dB up) reaches the device, but neither the spectrum nor
    // the export follows until Run.
    void analyzerExportWhileStoppedHoldsTheFrozenSpectrum()
    {
        MainWindow w;
        w.show();
        controls::selectTab(w, 2);
        QVERIFY(SimulatedBench::open(w));
        QVERIFY(bench->framesPass(3));
        const QImage frozen = controls::plot(w);
        auto *power = w.findChild<QLabel *>(QStringLiteral("powerLabel"));
        const QString frozenPower = power->text();
        QVERIFY(controls::press(w, "spectrumRunButton"));
        QVERIFY(controls::choose(w, "vaBox", 2)); // "125mV"
        QTRY_COMPARE_WITH_TIMEOUT(sim->state().gain1, 2, kWaitMs);
        QVERIFY(bench->framesPass(3));
        QCOMPARE(controls::plot(w), frozen);
        QCOMPARE(power->text(), frozenPower);

        const QString path = controls::exportWithEnter(w);
        QVERIFY(path.contains(QStringLiteral("/analizator-")));
        QCOMPARE(QStringLiteral("Power: %1daB").arg(headerValue(path, "power_daB"), 0, 'f', 1),
            frozenPower);
        QCOMPARE(savedPlot(path), frozen);

        QVERIFY(controls::press(w, "spectrumRunButton"));
        QVERIFY(bench->framesPass(2));
        QVERIFY(controls::plot(w) != frozen);
        QVERIFY(power->text() != frozenPower);
    }

    // A folder that cannot be written: a message with the reason, and no
    // file, whole or half, left behind.
    void writeFailureIsReportedAndLeavesNothing()
    {
        MainWindow w;
        w.show();
        QVERIFY(ScratchDir::writeFile(QStringLiteral("blocker"), "not a folder"));
        const QStringList before = QDir::current().entryList(QDir::AllEntries | QDir::System);
        auto *exporter = w.findChild<Exporter *>();
        QVERIFY(exporter);
        QVERIFY(!exporter->exportTo(1, QStringLiteral("blocker/trace.csv")));
        QTRY_VERIFY_WITH_TIMEOUT(
            w.findChild<QMessageBox *>(QStringLiteral("exportError")), kWaitMs);
        auto *box = w.findChild<QMessageBox *>(QStringLiteral("exportError"));
        QVERIFY2(box->text().startsWith(QStringLiteral("Cannot write blocker/trace.csv: ")),
            qPrintable(box->text()));
        QVERIFY(box->text().size() > QStringLiteral("Cannot write blocker/trace.csv: ").size());
        QCOMPARE(QDir::current().entryList(QDir::AllEntries | QDir::System), before);
        box->close();
    }
};

QTEST_MAIN(TestExportE2e)
#include "tst_export_e2e.moc"
