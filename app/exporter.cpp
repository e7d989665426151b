#include "exporter.h"

#include "analizator.h"
#include "generator.h"
#include "oscyloskop.h"
#include "tracetable.h"
#include "ustawienia.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QSaveFile>
#include <QShortcut>
#include <QTabWidget>

namespace {

constexpr const char *kTabNames[] = { "oscyloskop", "generator", "analizator" };
constexpr int kExportTabs = 3; // the first three tabs have something to save

bool exportable(int tab)
{
    return tab >= 0 && tab < kExportTabs;
}

} // namespace

Exporter::Exporter(QWidget *w, QTabWidget *t, const Oscyloskop *o, const Generator *g,
    const Analizator *a, const Ustawienia *s)
    : QObject(w)
    , window(w)
    , tabs(t)
    , oscyloskop(o)
    , generator(g)
    , analizator(a)
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
    tabSlot(tabs->currentIndex());
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
    auto *dialog = new QFileDialog(
        window, QStringLiteral("Export"), QDir::currentPath(), QStringLiteral("CSV table (*.csv)"));
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

QByteArray Exporter::table(int tab) const
{
    const QString port = settings->getPortName();
    if (tab == 0) {
        const Oscyloskop::Picture &p = oscyloskop->picture();
        const tracetable::ScopeFrame f { p.frame.data(), p.tbIndex, p.gain1, p.gain2, p.twoChannels,
            p.time };
        QByteArray out = tracetable::scopeHeader(f, port, false);
        tracetable::appendScopeRows(out, f);
        return out;
    }
    if (tab == 1) {
        const Generator::Playing p = generator->playing();
        const tracetable::GeneratorTable g { p.table.data(), p.tab, p.period, p.freq, p.type,
            p.amplitude, p.duty, p.offset };
        return tracetable::generatorTable(g, port, QDateTime::currentDateTime());
    }
    const Analizator::Picture &p = analizator->picture();
    const tracetable::Spectrum s { analizator->levels(), p.tbIndex, p.gainIndex, p.xPos,
        p.readouts.powerDb, p.readouts.thdnPercent, p.time };
    return tracetable::spectrumTable(s, port);
}

bool Exporter::exportTo(int tab, const QString &csvPath)
{
    if (!exportable(tab))
        return false;
    // The picture first: grabbing repaints, and the table then comes from the
    // very paint the picture shows.
    const QPixmap picture
        = window->grab(QRect(kPictureLeft, kPictureTop, kPictureWidth, kPictureHeight));
    const QByteArray csv = table(tab);
    QByteArray png;
    QBuffer pngBuffer(&png);
    pngBuffer.open(QIODevice::WriteOnly);
    if (!picture.save(&pngBuffer, "PNG")) {
        fail(csvPath, QStringLiteral("the picture could not be encoded"));
        return false;
    }

    const QFileInfo info(csvPath);
    const QString pngPath = info.dir().filePath(info.completeBaseName() + QStringLiteral(".png"));
    QSaveFile csvFile(csvPath);
    QSaveFile pngFile(pngPath);
    const std::pair<QSaveFile *, const QByteArray *> files[]
        = { { &csvFile, &csv }, { &pngFile, &png } };
    for (const auto &[file, data] : files) {
        if (!file->open(QIODevice::WriteOnly) || file->write(*data) != data->size()) {
            fail(file->fileName(), file->errorString());
            return false; // neither is committed: the temporary files go
        }
    }
    if (!csvFile.commit()) {
        fail(csvPath, csvFile.errorString());
        return false;
    }
    if (!pngFile.commit()) {
        QFile::remove(csvPath);
        fail(pngPath, pngFile.errorString());
        return false;
    }
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
