#pragma once

#include <QPlainTextEdit>

// The one-paragraph port-name editor. A line break would start a second
// paragraph, and the one-paragraph limit then drops the first, the name:
// Enter confirms instead (the name is saved as it is typed), and line breaks
// in pasted or dropped text are left out.
class PortNameEdit : public QPlainTextEdit {
    Q_OBJECT
public:
    PortNameEdit(const QString &text, QWidget *parent);

    // text without its line breaks, whichever kind.
    static QString oneLine(QString text);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void insertFromMimeData(const QMimeData *source) override;
};
