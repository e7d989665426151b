#pragma once

#include "kernelobject.h"
#include "windows.h"

#include <condition_variable>
#include <mutex>
#include <thread>

// An open serial line behind a HANDLE: a terminal descriptor in raw mode, the
// DCB and timeouts the driver holds, and the comm-event machinery that
// overlapped WaitCommEvent needs (a watcher thread started on first use).
class CommFile : public KernelObject {
public:
    // Takes ownership of fd (a terminal, non-blocking) and puts the line into
    // the state the given DCB describes.
    CommFile(int fd, bool overlapped, const DCB& driverDefaults);
    ~CommFile() override;

    bool overlapped() const { return isOverlapped; }

    DCB state();
    // Applies a DCB to the terminal; fails without change for values the line
    // cannot take (an unknown rate, byte size, parity or stop-bit code).
    BOOL setState(const DCB& dcb);
    BOOL setTimeouts(const COMMTIMEOUTS& timeouts);

    // Reads and writes follow the COMMTIMEOUTS rules of a Windows comm port.
    BOOL read(void* buffer, DWORD toRead, DWORD& done);
    BOOL write(const void* buffer, DWORD toWrite, DWORD& done);
    BOOL flush();

    BOOL setMask(DWORD mask);
    BOOL waitEvent(DWORD* mask, OVERLAPPED* overlapped);

    BOOL clearError(DWORD* errors, COMSTAT* stat);
    BOOL escape(DWORD function);
    BOOL modemStatus(DWORD& status);

private:
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
