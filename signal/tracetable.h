#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// What is on an instrument's plot as comma-separated text: "#" lines with the
// settings, a "#" line naming the columns, then one row per sample, bin or
// table entry. Both the header and the settings are comments, so that
// numpy.loadtxt(path, delimiter=",") reads the numbers as they are.
// Plain functions, no widgets.
namespace tracetable {

// One oscilloscope frame as the device sent it, with its settings.
struct ScopeFrame {
    const int *raw = nullptr; // 1024 samples; two channels: 512 of each, one after the other
    int tbIndex = 7;
    int gain1 = 0;
    int gain2 = 0;
    bool twoChannels = false;
    QDateTime time; // when it came; null if none came yet
    // The trigger controls, when the table should name them: the settings
    // word (mode + 4 x edge + 8 x detector) and the level box's value.
    bool hasTrigger = false;
    int trigWord = 0;
    int trigLevel = 0;
    // t_s counts from this sample (the trigger's) instead of the frame's first; -1: the first.
    int origin = -1;
};

// The "#" lines of an oscilloscope table; withFrame adds a first column
// "frame" for tables of several frames.
QByteArray scopeHeader(const ScopeFrame &f, const QString &port, bool withFrame);
// The frame's rows: t_s from the frame's first sample, the channels in volts.
// frameNumber < 0 leaves out the frame column.
void appendScopeRows(QByteArray &out, const ScopeFrame &f, int frameNumber = -1);

// The spectrum analyzer's plot: the 512 bins shown, from bin -xPos on.
struct Spectrum {
    const double *levels = nullptr; // bin levels, at least 640
    int tbIndex = 7;
    int gainIndex = 0;
    int xPos = 0;
    double powerDb = 0;
    double thdnPercent = 0;
    QDateTime time;
};
QByteArray spectrumTable(const Spectrum &s, const QString &port);

// The generator's table: entries 0..tab-1 in millivolts.
struct GeneratorTable {
    const int *entries = nullptr;
    int tab = 0;
    int period = 0;
    int freq = 0;
    int type = 0;
    int amplitude = 0;
    int duty = 0;
    int offset = 0;
};
QByteArray generatorTable(const GeneratorTable &g, const QString &port, const QDateTime &time);

// One line naming the settings a picture was taken with, for the picture
// itself: "200us/dz  CH1 2.5V/dz  trigger Auto Ris LF 0.52V" and the like.
QString scopeCaption(const ScopeFrame &f);
QString spectrumCaption(const Spectrum &s);
QString generatorCaption(const GeneratorTable &g);

// A time as the tables write it: ISO 8601 with milliseconds and the offset
// from UTC; "none" for a null time.
QByteArray timeText(const QDateTime &time);

// A number as the tables write it: shortest form that reads back exactly.
QByteArray number(double x);

} // namespace tracetable
