#include "windowcontrols.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPointer>
#include <QTest>
#include <QLabel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>

namespace controls {

namespace {

template <typename Widget>
Widget *at(QWidget &window, const QRect &geometry)
{
    for (Widget *widget : window.findChildren<Widget *>()) {
        if (widget->geometry() == geometry)
            return widget;
    }
    return nullptr;
}

QPointer<QFileDialog> dialogNamed(QWidget &window, const char *name)
{
    QPointer<QFileDialog> dialog;
    for (int i = 0; i < 100 && !dialog; ++i) {
        dialog = window.findChild<QFileDialog *>(QLatin1String(name));
        if (!dialog)
            QTest::qWait(20);
    }
    return dialog;
}

} // namespace

QPushButton *portButton(QWidget &window)
{
    return at<QPushButton>(window, QRect(880, 580, 100, 20));
}

QLabel *statusLabel(QWidget &window)
{
    return window.findChild<QLabel *>(QStringLiteral("statusLabel"));
}

void selectTab(QWidget &window, int index)
{
    if (auto *tabs = window.findChild<QTabWidget *>())
        tabs->setCurrentIndex(index);
}

bool choose(QWidget &window, const char *box, int row)
{
    auto *combo = window.findChild<QComboBox *>(QString::fromLatin1(box));
    if (!combo || row < 0 || row >= combo->count())
        return false;
    combo->setCurrentIndex(row);
    emit combo->activated(row);
    return true;
}

bool choose(QWidget &window, const char *box, const QString &item)
{
    auto *combo = window.findChild<QComboBox *>(QString::fromLatin1(box));
    return combo && choose(window, box, combo->findText(item));
}

QPlainTextEdit *portNameEditor(QWidget &window)
{
    return window.findChild<QPlainTextEdit *>();
}

bool typePortName(QWidget &window, const QString &text)
{
    QPlainTextEdit *editor = portNameEditor(window);
    if (!editor)
        return false;
    editor->selectAll();
    QKeyEvent erase(QEvent::KeyPress, Qt::Key_Backspace, Qt::NoModifier);
    QApplication::sendEvent(editor, &erase);
    for (const QChar c : text) {
        QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(editor, &key);
    }
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r"));
    QApplication::sendEvent(editor, &enter);
    return true;
}

bool choosePort(QWidget &window, const QString &path)
{
    auto *ports = window.findChild<QComboBox *>(QStringLiteral("portBox"));
    return ports && choose(window, "portBox", ports->findData(path));
}

// The event goes to the widget under the pointer, as the window system
// delivers it, and reaches the window only if nothing on the way takes it.
void mouse(QWidget &window, QEvent::Type type, QPoint pos, Qt::MouseButton button,
    Qt::KeyboardModifiers modifiers)
{
    const Qt::MouseButton changed = type == QEvent::MouseMove ? Qt::NoButton : button;
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : button;
    QWidget *under = window.childAt(pos);
    QWidget *target = under ? under : &window;
    QMouseEvent event(type, QPointF(target->mapFrom(&window, pos)),
        QPointF(window.mapToGlobal(pos)), changed, held, modifiers);
    QApplication::sendEvent(target, &event);
}

void click(QWidget &window, QPoint pos, Qt::MouseButton button, Qt::KeyboardModifiers modifiers)
{
    mouse(window, QEvent::MouseButtonPress, pos, button, modifiers);
    mouse(window, QEvent::MouseButtonRelease, pos, button, modifiers);
}

bool press(QWidget &window, const char *button)
{
    auto *b = window.findChild<QPushButton *>(QLatin1String(button));
    if (!b || !b->isVisible() || !b->isEnabled())
        return false;
    b->click();
    return true;
}

QString labelText(QWidget &window, const char *label)
{
    auto *l = window.findChild<QLabel *>(QLatin1String(label));
    return l ? l->text() : QString();
}

bool key(QWidget &window, Qt::Key key)
{
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window))
        return false;
    QTest::keyClick(&window, key);
    return true;
}

QImage plot(QWidget &window)
{
    return window.grab(QRect(10, 30, 769, 513)).toImage().convertToFormat(QImage::Format_RGB32);
}

bool answerFileDialog(QWidget &window, const char *button, const char *dialogName, const QString &path)
{
    auto *opener = window.findChild<QPushButton *>(QLatin1String(button));
    if (!opener || !opener->isVisible())
        return false;
    opener->click();
    QPointer<QFileDialog> dialog = dialogNamed(window, dialogName);
    auto *name = dialog ? dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")) : nullptr;
    if (!name)
        return false;
    name->setText(path);
    QTest::keyClick(name, Qt::Key_Return);
    return QTest::qWaitFor([&] { return dialog.isNull(); }, 2000);
}

QString exportWithEnter(QWidget &window)
{
    window.activateWindow();
    if (!QTest::qWaitForWindowActive(&window))
        return QString();
    QTest::keyClick(&window, Qt::Key_S, Qt::ControlModifier);
    QPointer<QFileDialog> dialog = dialogNamed(window, "exportDialog");
    auto *name = dialog ? dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")) : nullptr;
    if (!name)
        return QString();
    const QString path = dialog->directory().filePath(name->text());
    QTest::keyClick(name, Qt::Key_Return);
    for (int i = 0; i < 100 && dialog; ++i)
        QTest::qWait(20);
    return dialog ? QString() : path;
}

} // namespace controls
