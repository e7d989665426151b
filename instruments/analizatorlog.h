#pragma once

#include <QMainWindow>

class AnalizatorLog : public QMainWindow {
    Q_OBJECT
public:
    explicit AnalizatorLog(QWidget *window);

    void show();
    void hide();
    void enable();
    void start();

private:
    QWidget *window;
};
