#pragma once

#include "options.h"

#include <QString>
#include <QStringList>

// What capture and measure are asked for, from their options, with the port
// and speed of the current folder's settings.txt where none are given.
struct ScopeRequest {
    QString port;
    int speed = 0;
    bool twoChannels = false;
    int tbIndex = 7; // time-base code, "200us/dz"
    int gain1 = 0; // gain code, "2.5V/dz"
    int gain2 = 0;
    int frames = 1;
    bool json = false;
    QString output;
    int trigWord = 0; // measure: mode + 4 x edge + 8 x detector, as the trigger controls give it
    int trigLevel = 0;

    // The options both commands take, and measure's own.
    static QStringList valued(bool measure);
    // False with the reason on a value outside the window's lists.
    bool parse(const Options &options, bool measure, QString &error);
    // How long the device may stay silent before the line counts as lost.
    int silenceMs() const;
};

// The line every command opens: --port and --speed, else the port and speed
// as the window reads them from settings.txt in the current folder (its
// defaults when the file gives none). False with the reason on a bad --speed.
bool lineFromOptions(const Options &options, QString &port, int &speed, QString &error);
