#include "oscyloskop.h"

Oscyloskop::Oscyloskop(QWidget *w) : window(w) {}

void Oscyloskop::show() {}

void Oscyloskop::hide() {}

void Oscyloskop::enable() {}

void Oscyloskop::start() {}

void Oscyloskop::drawGraph(const int *) {}
