#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// The simulated ZOR, zor-sim, as a process of its own beside the benchmark, so
// that its work never counts as the benchmark's CPU time. Its port is a link
// in a private temporary folder.
class SimProcess {
public:
    explicit SimProcess(const QStringList &options = {});
    ~SimProcess();
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    // Starts the simulator and waits until its port exists; false when it did not come up.
    bool start();
    // Stops it and reads how many frames it sent; -1 when it did not say.
    long stop();

    QString portPath() const;
    QString folder() const { return dir.path(); }

private:
    QStringList options;
    QTemporaryDir dir;
    QProcess process;
};
