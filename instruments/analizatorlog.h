#pragma once

#include <QMainWindow>

class QComboBox;
class QLabel;

// The logic analyzer tab: a front only, a time-base list and a value label.
// It sends nothing to the device, reads no samples and paints nothing.
class AnalizatorLog : public QMainWindow {
    Q_OBJECT
public:
    explicit AnalizatorLog(QWidget *window);

    void show();
    void hide();
    void enable();
    void start();

private slots:
    void tlSlot();

private:
    QWidget *window;
    QComboBox *timeBox;
    QLabel *valueLabel;
};
