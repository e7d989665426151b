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

// A frequency in Hz, bare or with its unit: "100", "2.5k", "100kHz", "1M", "50 Hz".
bool parseHertz(const QString &text, double &hz);
// An amplitude for the generator: volts with a unit ("1V", "250mV"), or a bare
// number of millivolts when bareIsMillivolts (generate's --amplitude, as it
// always took them). Rounded to whole millivolts.
bool parseAmplitudeMv(const QString &text, bool bareIsMillivolts, int &millivolts);
