#pragma once

#include <QString>

#include <cstdint>
#include <map>
#include <vector>

// What every benchmark prints and measures: figures as `name: value unit`
// lines, the process's CPU time and peak memory, and a child benchmark's
// figures read back so that two builds can be compared in one run.
namespace bench {

struct Figure {
    double value = 0.0;
    QString unit;
};

using Figures = std::map<QString, Figure>;

// Prints `name: value unit` with as many decimals as the value needs.
void print(const QString &name, double value, const QString &unit);
// The line print() writes, without its line end.
QString format(const QString &name, double value, const QString &unit);
// The figures in a benchmark's output; lines that are not figures are skipped.
Figures parse(const QString &output);

// Median of the values; 0 for none.
double median(std::vector<double> values);

// CPU time (user and system) of this process so far, in seconds.
double processCpuSeconds();
// CPU time of another process so far, in seconds; negative when unreadable.
double otherProcessCpuSeconds(long pid);
// Highest resident memory of this process so far, in MiB.
double peakResidentMiB();
// CLOCK_MONOTONIC in nanoseconds: the same clock in every process of the machine.
std::int64_t monotonicNs();

// Runs a program to its end and returns its figures; empty when it failed.
Figures runChild(const QString &program, const QStringList &arguments, int timeoutMs);

} // namespace bench
