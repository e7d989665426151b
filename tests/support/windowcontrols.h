#pragma once

#include <QEvent>
#include <QImage>
#include <QPoint>
#include <QString>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QWidget;

// Finding the main window's controls and working them as a user would.
namespace controls {

QPushButton *portButton(QWidget &window);
QLabel *statusLabel(QWidget &window);
void selectTab(QWidget &window, int index);
// A choice in the named combo box: the list moves and "activated" fires, as
// when the user picks the entry. False when the box or the entry is missing.
bool choose(QWidget &window, const char *box, int row);
bool choose(QWidget &window, const char *box, const QString &item);
// The "&Ustawienia" tab's port-name editor.
QPlainTextEdit *portNameEditor(QWidget &window);
// The user empties the port-name editor, types text key by key and presses
// Enter. False when the editor is missing.
bool typePortName(QWidget &window, const QString &text);
// A choice from the list of ports present: the entry that puts path in the
// editor. False when the list or the entry is missing.
bool choosePort(QWidget &window, const QString &path);
// A press of `button`, a move with it held, or its release, at pos in the
// window's own pixels, sent to the child widget under that point.
void mouse(QWidget &window, QEvent::Type type, QPoint pos, Qt::MouseButton button = Qt::LeftButton,
    Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// A press and release of `button` at pos.
void click(QWidget &window, QPoint pos, Qt::MouseButton button,
    Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// A click on the named push button, as the user's; false when it is missing,
// hidden or greyed out.
bool press(QWidget &window, const char *button);
// The named label's text; empty when there is none.
QString labelText(QWidget &window, const char *label);
// A key pressed on the active window, where its shortcuts work. False when
// the window could not be made active.
bool key(QWidget &window, Qt::Key key);

// The plot as the window shows it now (it is painted for the picture), frame
// included: window pixels 10..778 x 30..542.
QImage plot(QWidget &window);

// Ctrl+S on the window, then Enter in the export dialog it opens: the
// proposed file is taken. Returns that file's path; empty when no dialog came.
QString exportWithEnter(QWidget &window);

// A click on the named button, then path typed into the file dialog of the
// given name that it opens, and Enter. False when no dialog came, or it did
// not close on Enter.
bool answerFileDialog(QWidget &window, const char *button, const char *dialog, const QString &path);

} // namespace controls
