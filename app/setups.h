#pragma once

#include "setupfile.h"

#include <QObject>
#include <QString>

class Analizator;
class Generator;
class Oscyloskop;
class QPushButton;
class QTabWidget;
class QWidget;

// The instrument set-up that outlives the program: setup.txt in the working
// folder, beside settings.txt, read into the controls at start and written
// when the port is closed and when the program ends; and named set-ups,
// saved and loaded through a file dialog from the "&Ustawienia" tab. What
// happens is said in the status line. A set-up loaded while the port is open
// reaches the device as any change of tab does: each instrument tab sends its
// controls when it is entered.
class Setups : public QObject {
    Q_OBJECT
public:
    Setups(QWidget *window, QTabWidget *tabs, Oscyloskop *oscyloskop, Generator *generator,
        Analizator *analizator);

    // setup.txt into the controls. What cannot be read keeps its start value;
    // such a file is kept as it is until the program ends.
    void restore();
    // "Close port": the controls into setup.txt, unless restore() found it damaged.
    void keep();
    // The program ends: the controls into setup.txt, whatever it held.
    void keepAtEnd();

    // What the buttons' dialogs do with the file chosen; true when the file
    // was written, or when the controls took (at least part of) its set-up.
    bool saveTo(const QString &path);
    bool loadFrom(const QString &path);

    static constexpr int kSettingsTab = 6;

private slots:
    void saveSlot();
    void loadSlot();
    void tabSlot(int tab);

private:
    setupfile::Setup current() const;
    void apply(const setupfile::Setup &setup);
    void ask(bool save);
    static void say(const char *text);

    QWidget *window;
    Oscyloskop *oscyloskop;
    Generator *generator;
    Analizator *analizator;
    QPushButton *saveButton;
    QPushButton *loadButton;
    setupfile::Setup starts; // the controls' values as the panels are built
    QString lastFolder;
    bool damaged = false;
};
