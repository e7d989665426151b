#include "recorddialog.h"

#include "exportfolder.h"
#include "multimetr.h"

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>

RecordDialog::RecordDialog(QWidget *w, Multimetr *m)
    : QObject(w)
    , window(w)
    , meter(m)
{
    connect(meter, SIGNAL(recordAsked()), this, SLOT(askSlot()));
}

QString RecordDialog::proposal()
{
    return QStringLiteral("multimetr-%1.csv")
        .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
}

void RecordDialog::askSlot()
{
    const QString folder
        = exportfolder::choose(lastFolder, QDir::currentPath(), exportfolder::settingsFolders(),
            QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    auto *dialog = new QFileDialog(
        window, QStringLiteral("Record"), folder, QStringLiteral("CSV table (*.csv)"));
    dialog->setObjectName(QStringLiteral("recordDialog"));
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setDefaultSuffix(QStringLiteral("csv"));
    dialog->selectFile(proposal());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString &path) {
        if (meter->startRecording(path))
            lastFolder = QFileInfo(path).absolutePath();
    });
    dialog->open();
}
