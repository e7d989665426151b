#pragma once

#include <QMainWindow>

class GenTable;
class QMouseEvent;
class ZORCom;

class Generator : public QMainWindow {
    Q_OBJECT
public:
    Generator(QWidget *window, GenTable *table);

    void show();
    void hide();
    void enable();
    void start();
    void drawGraph(int first, int offset);
    void drawArb(QMouseEvent *event);
    void drawArbRelease();

    ZORCom *com = nullptr;
    int freq = 1000;

private:
    QWidget *window;
    GenTable *table;
};
