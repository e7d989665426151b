#include "windowcontrols.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMouseEvent>
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

} // namespace

QPushButton *portButton(QWidget &window)
{
    return at<QPushButton>(window, QRect(880, 580, 100, 20));
}

QLabel *statusLabel(QWidget &window)
{
    return at<QLabel>(window, QRect(10, 580, 200, 20));
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

// The event goes to the widget under the pointer, as the window system
// delivers it, and reaches the window only if nothing on the way takes it.
void mouse(QWidget &window, QEvent::Type type, QPoint pos)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QWidget *under = window.childAt(pos);
    QWidget *target = under ? under : &window;
    QMouseEvent event(type, QPointF(target->mapFrom(&window, pos)),
                      QPointF(window.mapToGlobal(pos)), button, held, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

} // namespace controls
