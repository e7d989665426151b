#pragma once

#include "options.h"
#include "scoperequest.h"
#include "sweep.h"

#include <QString>
#include <QStringList>

// What sweep is asked for, from its options.
struct SweepRequest {
    LineChoice line;
    sweep::Plan plan;
    bool json = false;
    QString output; // empty: stdout

    static QStringList valued();
    // False with the reason on a value the sweep cannot take.
    bool parse(const Options &options, QString &error);
};

