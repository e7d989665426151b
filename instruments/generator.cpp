#include "generator.h"

Generator::Generator(QWidget *w, GenTable *t) : window(w), table(t) {}

void Generator::show() {}

void Generator::hide() {}

void Generator::enable() {}

void Generator::start() {}

void Generator::drawGraph(int, int) {}

void Generator::drawArb(QMouseEvent *) {}

void Generator::drawArbRelease() {}
