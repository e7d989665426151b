#pragma once

#include "options.h"

#include <QString>
#include <QStringList>

// The serial line a command opens, and where its name came from, for the
// messages about it.
struct LineChoice {
    QString port;
    int speed = 0;
    // Empty when --port named it; else "from settings.txt in this folder" or
    // why the default was taken.
    QString source;

    // "PORT" or "PORT (source)".
    QString described() const;
};

// What capture and measure are asked for, from their options, with the port
// and speed of the current folder's settings.txt where none are given.
struct ScopeRequest {
    LineChoice line;
    bool twoChannels = false;
    int tbIndex = 7; // time-base code, "200us/dz"
    int gain1 = 0; // gain code, "2.5V/dz"
    int gain2 = 0;
    int frames = 1;
    bool json = false;
    QString output; // empty: stdout
    // The trigger, as the oscilloscope's controls give it: mode + 4 x edge +
    // 8 x detector, and the level box's value (from --level in volts).
    int trigWord = 0;
    int trigLevel = 0;
    bool triggered() const { return (trigWord & 3) != 0; }
    // How long to wait for each picture the trigger gives, in seconds.
    double timeoutSeconds = 10;
    QString timeoutText = QStringLiteral("10");

    // The options capture and measure take.
    static QStringList valued();
    // False with the reason on a value outside the window's lists; the
    // reason names the valid values.
    bool parse(const Options &options, QString &error);
    // How long the device may stay silent before the line counts as lost.
    int silenceMs() const;
    // How long to wait for the next picture: --timeout, but never less than
    // two frames take.
    int pictureWaitMs() const;
};

// The line every command opens: --port and --speed, else the port and speed
// as the window reads them from settings.txt in the current folder (its
// defaults when the file gives none). False with the reason on a bad --speed.
bool lineFromOptions(const Options &options, LineChoice &line, QString &error);

// --format (csv or json) and --output ("-" or none: stdout), as capture,
// measure and sweep take them; false with the reason on another format.
bool formatAndOutput(const Options &options, bool &json, QString &output, QString &error);

// A voltage with its unit, "1V", "-250mV", "0.5 V"; a bare 0 is 0 V.
bool parseVolts(const QString &text, double &volts);
