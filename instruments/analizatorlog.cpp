#include "analizatorlog.h"

AnalizatorLog::AnalizatorLog(QWidget *w) : window(w) {}

void AnalizatorLog::show() {}

void AnalizatorLog::hide() {}

void AnalizatorLog::enable() {}

void AnalizatorLog::start() {}
