#pragma once

#include "windows.h"

#include <chrono>
#include <functional>
#include <string>
#include <vector>

// What reached the serial "driver" of the stand-in, and a few ways to make the
// driver misbehave, so that tests can check the library's side of each call.
class DriverLog {
public:
    // Calls whose next use can be made to fail.
    enum class Call {
        CreateFileA,
        SetCommConfig,
        SetCommMask,
        WaitCommEvent,
        ReadFile,
        WriteFile,
        ClearCommError,
    };

    struct Record {
        std::vector<std::string> createdNames; // every name given to CreateFileA
        int configWrites = 0; // SetCommConfig calls on a live line
        DCB lastConfig {}; // the DCB of the last of them
        int configRefusals = 0; // of them, those the line could not take
        int timeoutWrites = 0; // SetCommTimeouts calls on a live line
        COMMTIMEOUTS lastTimeouts {}; // the timeouts of the last of them
        std::vector<DWORD> commMasks; // every mask given to SetCommMask on a live line
        std::vector<DWORD> escapes; // every EscapeCommFunction function
        int lateReads = 0; // reads that waited out their time-out and then brought bytes
    };

    static Record record();
    // Forgets the record, pending failures, injected errors and modem status,
    // and restores the driver's default DCB.
    static void reset();

    // The next calls of that kind (times of them) fail with the given error code.
    static void failNext(Call call, DWORD error, int times = 1);
    // Failures still to come for that kind of call.
    static int failuresLeft(Call call);
    // The DCB a freshly opened line reports, as a driver would after boot.
    static void setDriverDefaults(const DCB& dcb);
    static DCB driverDefaults();
    // Error flags the next ClearCommError reports (once).
    static void injectCommErrors(DWORD flags);
    // Modem status reported instead of the line's own (pseudo-terminals have none).
    static void setModemStatus(DWORD status);

    // Windows sleeps and times out in whole timer ticks (15.625 ms by
    // default): with this on, Sleep, waits and comm time-outs are rounded up
    // to the tick as there. Starts on when WIN32POSIX_WINDOWS_TICK is set to
    // anything but 0.
    static void setWindowsTick(bool on);
    static bool windowsTick();
    // A wait of ms as the system would make it.
    static std::chrono::microseconds waitTime(DWORD ms);

    // Runs once inside the next WaitCommEvent, before it does anything (a
    // test holds the event thread there to close the port at that moment).
    static void beforeNextWaitCommEvent(std::function<void()> hook);
    // Some drivers accept a WaitCommEvent with an empty mask and leave it
    // pending until the mask changes; serial.sys refuses it.
    static void setEmptyMaskWaitPends(bool pends);
    static bool emptyMaskWaitPends();

    // Not every driver is serial.sys. Wine's, on a pseudo-terminal, ends a
    // MAXDWORD/MAXDWORD/constant read only when all the bytes asked for are
    // there or the constant is over, and once the line is hung up it goes on
    // ending reads with nothing (only ClearCommError and writes fail). Both
    // off after reset().
    static void setReadsWaitForAll(bool on);
    static void setHungUpReadsEndEmpty(bool on);
    static bool readsWaitForAll();
    static bool hungUpReadsEndEmpty();

    // Win32 calls made so far (every function of the stand-in counts).
    static unsigned long long calls();

    // Live handles (lines and events), and live events alone.
    static int liveHandles();
    static int liveEvents();

    // --- used by the stand-in itself ---
    static bool takeFailure(Call call, DWORD& error);
    static void noteCall();
    static void noteLateRead();
    static std::function<void()> takeWaitHook();
    static DWORD takeCommErrors();
    static bool modemStatus(DWORD& status);
    static void noteCreate(const std::string& name);
    static void noteConfig(const DCB& dcb);
    static void noteConfigRefused();
    static void noteTimeouts(const COMMTIMEOUTS& timeouts);
    static void noteMask(DWORD mask);
    static void noteEscape(DWORD function);
};
