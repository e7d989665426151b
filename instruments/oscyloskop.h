#pragma once

#include <QMainWindow>

class ZORCom;

class Oscyloskop : public QMainWindow {
    Q_OBJECT
public:
    explicit Oscyloskop(QWidget *window);

    void show();
    void hide();
    void enable();
    void start();
    void drawGraph(const int *frame);

    ZORCom *com = nullptr;
    int trigTicks = 0;
    int tbIndex = 7;
    int gain1Index = 0;

private:
    QWidget *window;
};
