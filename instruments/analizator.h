#pragma once

#include <QMainWindow>

class ZORCom;

class Analizator : public QMainWindow {
    Q_OBJECT
public:
    explicit Analizator(QWidget *window);

    void show();
    void hide();
    void enable();
    void start();
    void drawGraph(const int *frame);

    ZORCom *com = nullptr;
    int tbIndex = 7;
    int xPos = 0;

private:
    QWidget *window;
};
