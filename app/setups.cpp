#include "setups.h"

#include "analizator.h"
#include "exportfolder.h"
#include "generator.h"
#include "oscyloskop.h"
#include "settingsstore.h"
#include "shared.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabWidget>

namespace {

// A set-up is a few kilobytes; a file many times that size is something else.
constexpr qsizetype kMaxBytes = 256 * 1024;

QString workingFile()
{
    return QString::fromLatin1(setupfile::kFileName);
}

} // namespace

Setups::Setups(QWidget *w, QTabWidget *tabs, Oscyloskop *o, Generator *g, Analizator *a)
    : QObject(w)
    , window(w)
    , oscyloskop(o)
    , generator(g)
    , analizator(a)
{
    starts = current();
    // Under the port list of the settings tab, where nothing else lies.
    saveButton = new QPushButton(QStringLiteral("Save set-up…"), window);
    saveButton->setObjectName(QStringLiteral("saveSetupButton"));
    saveButton->setGeometry(100, 210, 120, 20);
    saveButton->setToolTip(QStringLiteral("Keep every instrument control in a file of your own"));
    loadButton = new QPushButton(QStringLiteral("Load set-up…"), window);
    loadButton->setObjectName(QStringLiteral("loadSetupButton"));
    loadButton->setGeometry(230, 210, 120, 20);
    loadButton->setToolTip(QStringLiteral("Set every instrument control from a saved set-up"));
    connect(saveButton, SIGNAL(clicked()), this, SLOT(saveSlot()));
    connect(loadButton, SIGNAL(clicked()), this, SLOT(loadSlot()));
    connect(tabs, SIGNAL(currentChanged(int)), this, SLOT(tabSlot(int)));
    tabSlot(tabs->currentIndex());
}

void Setups::say(const char *text)
{
    sts.set(QLatin1String(text));
}

setupfile::Setup Setups::current() const
{
    return { oscyloskop->setup(), generator->setup(), analizator->setup() };
}

void Setups::apply(const setupfile::Setup &setup)
{
    oscyloskop->applySetup(setup.scope);
    generator->applySetup(setup.generator);
    analizator->applySetup(setup.analyzer);
}

void Setups::restore()
{
    const QString path = workingFile();
    settingsstore::removeLeftovers(path);
    const settingsstore::Contents file = settingsstore::readWhole(path, kMaxBytes);
    if (file.found == settingsstore::Found::Missing)
        return; // a first start: the panels' own start values
    const setupfile::Reading reading = file.found == settingsstore::Found::Read
        ? setupfile::parse(QString::fromUtf8(file.bytes), starts)
        : setupfile::Reading { starts, true, {}, 0 };
    damaged = !reading.complete();
    if (reading.foreign) {
        say("set-up unreadable: start values used");
        return;
    }
    apply(reading.setup);
    if (damaged)
        say("set-up partly unreadable: start values used");
}

void Setups::keep()
{
    // A damaged file stays for the user to look at until the program ends.
    if (!damaged)
        settingsstore::save(workingFile(), setupfile::format(current()).toUtf8());
}

void Setups::keepAtEnd()
{
    settingsstore::save(workingFile(), setupfile::format(current()).toUtf8());
}

bool Setups::saveTo(const QString &path)
{
    const bool saved = settingsstore::save(path, setupfile::format(current()).toUtf8());
    say(saved ? "set-up saved" : "set-up not saved");
    return saved;
}

bool Setups::loadFrom(const QString &path)
{
    const settingsstore::Contents file = settingsstore::readWhole(path, kMaxBytes);
    if (file.found != settingsstore::Found::Read) {
        say("set-up not loaded");
        return false;
    }
    const setupfile::Reading reading = setupfile::parse(QString::fromUtf8(file.bytes), starts);
    if (reading.foreign) {
        say("not a set-up: nothing loaded");
        return false;
    }
    apply(reading.setup);
    say(reading.complete() ? "set-up loaded" : "set-up partly unreadable: start values used");
    return true;
}

void Setups::tabSlot(int tab)
{
    saveButton->setVisible(tab == kSettingsTab);
    loadButton->setVisible(tab == kSettingsTab);
}

void Setups::saveSlot()
{
    ask(true);
}

void Setups::loadSlot()
{
    ask(false);
}

// Qt's own dialog, opened without blocking, as for exports: the window keeps
// drawing frames behind it.
void Setups::ask(bool save)
{
    const QString folder
        = exportfolder::choose(lastFolder, QDir::currentPath(), exportfolder::settingsFolders(),
            QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    auto *dialog = new QFileDialog(window,
        save ? QStringLiteral("Save set-up") : QStringLiteral("Load set-up"), folder,
        QStringLiteral("Set-up (*.txt);;All files (*)"));
    dialog->setObjectName(QStringLiteral("setupDialog"));
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    if (save) {
        dialog->setAcceptMode(QFileDialog::AcceptSave);
        dialog->setFileMode(QFileDialog::AnyFile);
        dialog->setDefaultSuffix(QStringLiteral("txt"));
        dialog->selectFile(
            QStringLiteral("setup-%1.txt")
                .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))));
    } else {
        dialog->setAcceptMode(QFileDialog::AcceptOpen);
        dialog->setFileMode(QFileDialog::ExistingFile);
    }
    connect(dialog, &QFileDialog::fileSelected, this, [this, save](const QString &path) {
        lastFolder = QFileInfo(path).absolutePath();
        if (save)
            saveTo(path);
        else
            loadFrom(path);
    });
    dialog->open();
}
