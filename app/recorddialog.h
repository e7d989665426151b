#pragma once

#include <QObject>
#include <QString>

class Multimetr;
class QWidget;

// Record… on the meter tab: Qt's own file dialog, opened without blocking in
// the export folder (app/exportfolder.h: the last folder recorded into, else
// the working folder, else Documents), with a proposed name; the file chosen
// starts the recording.
class RecordDialog : public QObject {
    Q_OBJECT
public:
    RecordDialog(QWidget *window, Multimetr *meter);

    // "multimetr-<YYYYmmdd-HHMMSS>.csv".
    static QString proposal();

private slots:
    void askSlot();

private:
    QWidget *window;
    Multimetr *meter;
    QString lastFolder;
};
