#pragma once

#include "generator.h"
#include "tracetable.h"

#include <QObject>
#include <QString>

class Analizator;
class Oscyloskop;
class QLabel;
class QPushButton;
class QShortcut;
class QTabWidget;
class QWidget;
class Ustawienia;
class Wobuloskop;

// Saving what a tab shows: Ctrl+S or the "Export…" button on the
// oscilloscope, generator, analyzer and Wobuloskop tabs asks for a file name and writes
// the table (CSV) and, beside it, a picture of the plot and its readouts with
// the settings in a line below (PNG). Works with the port closed: it saves
// what is on screen. Before any frame came, the oscilloscope and the
// analyzer have nothing to save and say so, as the Wobuloskop before its first step. A short note beside the button
// tells what was saved.
class Exporter : public QObject {
    Q_OBJECT
public:
    Exporter(QWidget *window, QTabWidget *tabs, const Oscyloskop *oscyloskop,
        const Generator *generator, const Analizator *analizator, const Wobuloskop *wobuloskop,
        const Ustawienia *settings);

    // The proposed file name for a tab: "<tab>-<YYYYmmdd-HHMMSS>.csv".
    static QString proposal(int tab);
    // Writes the tab's table to csvPath and its picture beside it; either
    // both files appear whole or neither does, and earlier files of those
    // names stay as they were. On failure a message box gives the reason and
    // false is returned; with nothing to save the note says so.
    bool exportTo(int tab, const QString &csvPath);
    // The folder the dialog opens in next.
    QString dialogFolder() const;

    // The window's area the picture holds: the plot and the readouts at its right.
    static constexpr int kPictureLeft = 0;
    static constexpr int kPictureTop = 30;
    static constexpr int kPictureWidth = 1040;
    static constexpr int kPictureHeight = 513;
    // The settings line under the picture.
    static constexpr int kCaptionHeight = 24;

private slots:
    void askSlot();
    void tabSlot(int tab);

private:
    // What the tabs show, as the tables and captions take it; the
    // generator's entries live in its Playing.
    tracetable::ScopeFrame scopeFrame() const;
    tracetable::Spectrum spectrum() const;
    static tracetable::GeneratorTable generatorTable(const Generator::Playing &playing);
    QByteArray table(int tab) const;
    QString caption(int tab) const;
    bool nothingToSave(int tab) const;
    void fail(const QString &path, const QString &reason);
    void say(const QString &text);

    QWidget *window;
    QTabWidget *tabs;
    const Oscyloskop *oscyloskop;
    const Generator *generator;
    const Analizator *analizator;
    const Wobuloskop *wobuloskop;
    const Ustawienia *settings;
    QPushButton *button;
    QShortcut *shortcut;
    QLabel *note;
    QString lastFolder; // where the last export went
};
