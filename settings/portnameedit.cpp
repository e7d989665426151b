#include "portnameedit.h"

#include <QKeyEvent>
#include <QMimeData>

PortNameEdit::PortNameEdit(const QString &text, QWidget *parent)
    : QPlainTextEdit(text, parent)
{
}

QString PortNameEdit::oneLine(QString text)
{
    text.remove(QLatin1Char('\r'));
    text.remove(QLatin1Char('\n'));
    text.remove(QChar(0x0085)); // next line
    text.remove(QChar::LineSeparator);
    text.remove(QChar::ParagraphSeparator);
    return text;
}

void PortNameEdit::keyPressEvent(QKeyEvent *event)
{
    // With any modifier: Shift+Enter would put a line separator in the name.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void PortNameEdit::insertFromMimeData(const QMimeData *source)
{
    if (source && source->hasText()) {
        insertPlainText(oneLine(source->text()));
        return;
    }
    QPlainTextEdit::insertFromMimeData(source);
}
