#pragma once

#include "options.h"
#include "scoperequest.h"

#include <QString>
#include <QStringList>

#include <array>

// What `log` is asked for, from its options, with the port and speed of the
// current folder's settings.txt where none are given.
struct LogRequest {
    LineChoice line;
    int everyMs = 1000; // 0: every frame
    qint64 durationMs = 0; // 0: until Ctrl+C
    bool twoChannels = false;
    std::array<int, 2> gain { -1, -1 }; // -1: auto
    QString rangeText = QStringLiteral("auto");
    bool json = false;
    QString output; // empty or "-": stdout
    qint64 timeoutMs = 60000; // how long a lost or silent device may take to come back
    QString timeoutText = QStringLiteral("60s");

    static QStringList valued();
    // False with the reason, naming the valid values.
    bool parse(const Options &options, QString &error);
};

// "250ms", "1s", "1.5s", "10min", "10h", "2d"; "frame" only where `frame`
// is allowed (as 0). False on anything else or on a time of 0.
bool parseDuration(const QString &text, bool frame, qint64 &ms);
