#pragma once

#include "meterdriver.h"
#include "recordfile.h"
#include "runningstats.h"

#include <QDateTime>
#include <QString>

#include <array>
#include <chrono>

// The meter's readings into a log file, one line per interval: the local time
// (ISO 8601, milliseconds), the seconds since the start, and per channel each
// reading's mean over the interval with its minimum and maximum. Lines are
// written and synced as their intervals end, so a crash loses at most the
// interval in progress. A silent or lost device is a line that says so (a
// gap); the lines go on in the same file when it comes back.
class Recorder {
public:
    using Clock = std::chrono::steady_clock;
    enum class Format { Csv, Json };

    // What the "#" lines at the top say.
    struct Header {
        QString port;
        int speed = 0;
        bool twoChannels = false;
        QString range; // "auto" or the gain's text, per channel, comma-separated
        int intervalMs = 0; // 0: every frame
    };

    // Interval choices of the window's list: every frame, 1 s, 10 s, 1 min.
    static constexpr std::array<int, 4> kIntervalsMs { 0, 1000, 10000, 60000 };
    static QString intervalText(int intervalMs);

    explicit Recorder(Format format = Format::Csv);

    // A new file (emptied), or stdout for "-", with its "#" lines. False with
    // error() when it cannot be written.
    bool start(const QString &path, const Header &header, Clock::time_point now);
    bool isRecording() const { return file.isOpen(); }

    // A frame's readings; a line is written when the frame ends an interval
    // (every frame: at once).
    bool add(const MeterDriver &driver, Clock::time_point now);
    // The clock moved on without a frame: an interval that ended is written.
    bool tick(Clock::time_point now);
    // No frames for a while, or the line lost: the interval in progress is
    // written, then one line with the reason; none more until frames return.
    bool gap(const QString &reason, Clock::time_point now);
    bool inGap() const { return gapOpen; }
    // The interval in progress is written and the file closed.
    bool finish(Clock::time_point now);

    QString path() const { return file.path(); }
    // Lines written, the "#" lines included.
    qint64 lines() const { return file.lines(); }
    QString error() const { return problem; }

    // The column names of a CSV file for one or two channels.
    static QByteArray columns(bool twoChannels);

private:
    bool writeInterval(Clock::time_point end);
    bool writeLine(const QByteArray &line);
    QByteArray stamp(Clock::time_point at) const;
    void clearInterval();

    Format format;
    RecordFile file;
    QString problem;
    Header head;
    Clock::time_point started;
    QDateTime startedWall;
    Clock::time_point intervalEnd;
    bool gapOpen = false;
    int channels = 1;
    // This interval's readings per channel and quantity; frames over range per channel.
    std::array<std::array<RunningStats, meter::kQuantities>, MeterDriver::kChannels> interval {};
    std::array<int, MeterDriver::kChannels> overRange {};
    int frames = 0;
};
