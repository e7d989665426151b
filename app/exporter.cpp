#include "exporter.h"

#include "analizator.h"
#include "exportfolder.h"
#include "generator.h"
#include "oscyloskop.h"
#include "paircommit.h"
#include "shared.h"
#include "tracetable.h"
#include "sweeptable.h"
#include "ustawienia.h"
#include "wobuloskop.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QShortcut>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTimer>

namespace {

constexpr const char *kTabNames[] = { "oscyloskop", "generator", "analizator", "analizatorlog",
    "wobuloskop" };
constexpr int kWobuloskopTab = 4;
constexpr int kNoteMs = 6000;

// The first three tabs and the Wobuloskop have something to save.
bool exportable(int tab)
{
    return (tab >= 0 && tab < 3) || tab == kWobuloskopTab;
}

QString nothingText(int tab)
{
    return tab == kWobuloskopTab ? QStringLiteral("no sweep measured yet")
                                 : QStringLiteral("no frame received yet");
}

} // namespace

Exporter::Exporter(QWidget *w, QTabWidget *t, const Oscyloskop *o, const Generator *g,
    const Analizator *a, const Wobuloskop *wob, const Ustawienia *s)
    : QObject(w)
    , window(w)
    , tabs(t)
    , oscyloskop(o)
    , generator(g)
    , analizator(a)
    , wobuloskop(wob)
    , settings(s)
{
    // Above the port button, where no instrument has a control.
    button = new QPushButton(QStringLiteral("Export…"), window);
    button->setObjectName(QStringLiteral("exportButton"));
    button->setGeometry(880, 555, 100, 20);
    button->setToolTip(QStringLiteral("Save the plot as CSV and PNG (Ctrl+S)"));
    shortcut = new QShortcut(QKeySequence::Save, window);
    connect(button, SIGNAL(clicked()), this, SLOT(askSlot()));
    connect(shortcut, SIGNAL(activated()), this, SLOT(askSlot()));
    connect(tabs, SIGNAL(currentChanged(int)), this, SLOT(tabSlot(int)));
    // Under the readouts, beside the button: no instrument draws there.
    note = new QLabel(window);
    note->setObjectName(QStringLiteral("exportNote"));
    note->setGeometry(838, 500, 190, 50);
    note->setWordWrap(true);
    note->setAlignment(Qt::AlignRight | Qt::AlignBottom);
    note->hide();
    tabSlot(tabs->currentIndex());
}

QString Exporter::dialogFolder() const
{
    return exportfolder::choose(lastFolder, QDir::currentPath(), exportfolder::settingsFolders(),
        QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
}

bool Exporter::nothingToSave(int tab) const
{
    // The generator's table is always there; a plot before any frame is not.
    if (tab == kWobuloskopTab)
        return wobuloskop->result().points.empty();
    return tab != 1 && buff.stored() == 0;
}

void Exporter::say(const QString &text)
{
    note->setText(text);
    note->show();
    note->raise();
    QTimer::singleShot(kNoteMs, note, [this, text] {
        if (note->text() == text)
            note->hide();
    });
}

QString Exporter::proposal(int tab)
{
    return QStringLiteral("%1-%2.csv")
        .arg(QLatin1String(kTabNames[tab]),
            QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
}

void Exporter::tabSlot(int tab)
{
    button->setVisible(exportable(tab));
    shortcut->setEnabled(exportable(tab));
}

// A dialog of Qt's own, opened without blocking: the window keeps drawing
// frames behind it, and Enter takes the proposed name.
void Exporter::askSlot()
{
    const int tab = tabs->currentIndex();
    if (!exportable(tab))
        return;
    if (nothingToSave(tab)) {
        say(nothingText(tab));
        return;
    }
    auto *dialog = new QFileDialog(
        window, QStringLiteral("Export"), dialogFolder(), QStringLiteral("CSV table (*.csv)"));
    dialog->setObjectName(QStringLiteral("exportDialog"));
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setDefaultSuffix(QStringLiteral("csv"));
    dialog->selectFile(proposal(tab));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QFileDialog::fileSelected, this,
        [this, tab](const QString &path) { exportTo(tab, path); });
    dialog->open();
}

tracetable::ScopeFrame Exporter::scopeFrame() const
{
    const Oscyloskop::Picture &p = oscyloskop->picture();
    tracetable::ScopeFrame f { p.frame.data(), p.tbIndex, p.gain1, p.gain2, p.twoChannels, p.time };
    f.hasTrigger = true;
    f.trigWord = p.trigWord;
    f.trigLevel = p.trigLevel;
    return f;
}

tracetable::Spectrum Exporter::spectrum() const
{
    const Analizator::Picture &p = analizator->picture();
    return tracetable::Spectrum { analizator->levels(), p.tbIndex, p.gainIndex, p.xPos,
        p.readouts.powerDb, p.readouts.thdnPercent, p.time };
}

tracetable::GeneratorTable Exporter::generatorTable(const Generator::Playing &p)
{
    return tracetable::GeneratorTable { p.table.data(), p.tab, p.period, p.freq, p.type,
        p.amplitude, p.duty, p.offset };
}

QByteArray Exporter::table(int tab) const
{
    const QString port = settings->getPortName();
    if (tab == 0) {
        const tracetable::ScopeFrame f = scopeFrame();
        QByteArray out = tracetable::scopeHeader(f, port, false);
        tracetable::appendScopeRows(out, f);
        return out;
    }
    if (tab == 1) {
        const Generator::Playing p = generator->playing();
        return tracetable::generatorTable(generatorTable(p), port, QDateTime::currentDateTime());
    }
    if (tab == kWobuloskopTab) {
        const Wobuloskop::Result &r = wobuloskop->result();
        return sweeptable::csv(r.points, r.plan, port, r.time);
    }
    return tracetable::spectrumTable(spectrum(), port);
}

QString Exporter::caption(int tab) const
{
    if (tab == 0)
        return tracetable::scopeCaption(scopeFrame());
    if (tab == 1) {
        const Generator::Playing p = generator->playing();
        return tracetable::generatorCaption(generatorTable(p));
    }
    if (tab == kWobuloskopTab)
        return sweeptable::caption(wobuloskop->result().plan);
    return tracetable::spectrumCaption(spectrum());
}

bool Exporter::exportTo(int tab, const QString &csvPath)
{
    if (!exportable(tab))
        return false;
    if (nothingToSave(tab)) {
        say(nothingText(tab));
        return false;
    }
    // The picture first: grabbing repaints, and the table then comes from the
    // very paint the picture shows. The note is not part of it.
    note->hide();
    const QPixmap plot
        = window->grab(QRect(kPictureLeft, kPictureTop, kPictureWidth, kPictureHeight));
    const QByteArray csv = table(tab);
    const QString settingsLine = caption(tab);
    QImage picture(plot.width(), plot.height() + kCaptionHeight, QImage::Format_RGB32);
    picture.fill(window->palette().color(QPalette::Window));
    {
        QPainter painter(&picture);
        painter.drawPixmap(0, 0, plot);
        painter.setPen(window->palette().color(QPalette::WindowText));
        painter.drawText(QRect(10, plot.height(), plot.width() - 20, kCaptionHeight),
            Qt::AlignLeft | Qt::AlignVCenter, settingsLine);
    }
    picture.setText(QStringLiteral("Settings"), settingsLine);
    QByteArray png;
    QBuffer pngBuffer(&png);
    pngBuffer.open(QIODevice::WriteOnly);
    if (!picture.save(&pngBuffer, "PNG")) {
        fail(csvPath, QStringLiteral("the picture could not be encoded"));
        return false;
    }

    const QFileInfo info(csvPath);
    const QString pngPath = info.dir().filePath(info.completeBaseName() + QStringLiteral(".png"));
    QString failedPath;
    QString reason;
    if (!PairCommit().write(csvPath, csv, pngPath, png, failedPath, reason)) {
        fail(failedPath, reason);
        return false;
    }
    lastFolder = info.absolutePath();
    say(QStringLiteral("Saved %1 and %2")
            .arg(info.fileName(), QFileInfo(pngPath).fileName()));
    return true;
}

void Exporter::fail(const QString &path, const QString &reason)
{
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Export"),
        QStringLiteral("Cannot write %1: %2").arg(path, reason), QMessageBox::Ok, window);
    box->setObjectName(QStringLiteral("exportError"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
