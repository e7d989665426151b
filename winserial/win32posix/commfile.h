#pragma once

#include "kernelobject.h"
#include "windows.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

// An open serial line behind a HANDLE: a terminal descriptor in raw mode, the
// DCB and timeouts the driver holds, a transmitter that sends at the line's
// speed, overlapped I/O that completes later from a thread of its own, and
// the comm-event machinery that overlapped WaitCommEvent needs.
class CommFile : public KernelObject {
public:
    // Takes ownership of fd (a terminal, non-blocking) and puts the line into
    // the state the given DCB describes.
    CommFile(int fd, bool overlapped, const DCB& driverDefaults);
    ~CommFile() override;
    void closed() override;

    bool overlapped() const { return isOverlapped; }

    DCB state();
    // Applies a DCB to the terminal; fails without change for values the line
    // cannot take (a rate of 0, byte size, parity or stop-bit code out of range).
    BOOL setState(const DCB& dcb);
    BOOL setTimeouts(const COMMTIMEOUTS& timeouts);
    COMMTIMEOUTS currentTimeouts();

    // Reads and writes follow the COMMTIMEOUTS rules of a Windows comm port.
    // With an OVERLAPPED, what cannot finish at once fails with
    // ERROR_IO_PENDING and completes later through the OVERLAPPED's event.
    BOOL read(void* buffer, DWORD toRead, DWORD& done, OVERLAPPED* overlapped);
    BOOL write(const void* buffer, DWORD toWrite, DWORD& done, OVERLAPPED* overlapped);
    // Waits until every byte written has left the line.
    BOOL flush();
    BOOL purge(DWORD flags);

    BOOL setMask(DWORD mask);
    BOOL waitEvent(DWORD* mask, OVERLAPPED* overlapped);

    BOOL clearError(DWORD* errors, COMSTAT* stat);
    BOOL escape(DWORD function);
    BOOL modemStatus(DWORD& status);

private:
    using Clock = std::chrono::steady_clock;

    BOOL readNow(char* bytes, DWORD toRead, DWORD& done, const COMMTIMEOUTS& t, unsigned abort);
    BOOL writeNow(
        const char* bytes, DWORD toWrite, DWORD& done, const COMMTIMEOUTS& t, unsigned abort);
    // Bytes the transmitter takes at once: what fits in its FIFO now.
    DWORD transmitRoom(Clock::time_point now);
    void sent(DWORD n, Clock::time_point now);
    bool readAborted(unsigned generation) const;
    bool writeAborted(unsigned generation) const;
    int queuedInput() const;
    // Runs the operation on a thread of its own and completes the OVERLAPPED.
    void pend(OVERLAPPED* overlapped, std::function<BOOL(DWORD&)> operation, bool isWrite);

    // Events that happened since the last look, limited to the mask.
    DWORD pendingEvents();
    void complete(DWORD events);
    void watch();
    bool hungUp() const;

    const int fd;
    const bool isOverlapped;
    std::mutex mutex;
    DCB dcb {};
    COMMTIMEOUTS timeouts {};

    // The transmitter: when the last byte handed to it has left the line.
    Clock::time_point lineFreeAt {};
    int writesInFlight = 0;
    std::condition_variable drained;
    std::atomic<unsigned> readAbort { 0 };
    std::atomic<unsigned> writeAbort { 0 };
    std::atomic<bool> isClosed { false };
    std::vector<std::thread> pendingIo;
    std::set<std::thread::id> finishedIo; // their threads may be joined

    std::condition_variable wake;
    DWORD mask = 0;
    DWORD* waitMask = nullptr;
    OVERLAPPED* waitOverlapped = nullptr;
    bool transmitted = false;
    int seenInQueue = 0;
    int lastDsr = -1;
    bool quitting = false;
    std::thread watcher;
};

// An overlapped operation that ended within its call, done or failed (the
// error is the last error): as Windows does, the OVERLAPPED is filled in and
// its event signalled all the same.
void finishOverlapped(OVERLAPPED *ov, BOOL ok, DWORD done);
