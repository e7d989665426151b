#include "analizator.h"

Analizator::Analizator(QWidget *w) : window(w) {}

void Analizator::show() {}

void Analizator::hide() {}

void Analizator::enable() {}

void Analizator::start() {}

void Analizator::drawGraph(const int *) {}
