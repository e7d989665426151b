#pragma once

#include <QThread>

#include <atomic>
#include <condition_variable>
#include <mutex>

class WinSerialDevice;

// The event thread of a port in event-driven mode: waits for comm events on
// the port until asked to stop.
class WinSerialEventThread : public QThread {
public:
    explicit WinSerialEventThread(WinSerialDevice* port);

    // Asks the loop to end after the current pass; the port then clears its
    // comm mask so that a pending wait returns.
    void stop();
    bool stopping() const;
    // Whether run() has returned; read after wait(), it also makes all the
    // thread did visible to the reader.
    bool hasEnded() const;
    // Sleeps ms milliseconds unless stop() comes first.
    void pause(unsigned long ms);

protected:
    void run() override;

private:
    WinSerialDevice* port;
    std::atomic<bool> stopRequested { false };
    std::atomic<bool> ended { false };
    std::mutex pauseMutex;
    std::condition_variable woken;
};
