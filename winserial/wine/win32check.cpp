// The Win32 call patterns of the serial library and the Windows line, run
// against a port whose other end is linepeer, printing a transcript. Built
// with MinGW-w64 and run under Wine (the real functions), and built natively
// against the stand-in; the two transcripts must agree (check-wine.sh).
// Times are printed as verdicts with wide bounds, never as figures.
//
//   win32check <port>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

const char* portName = nullptr;

long msSince(Clock::time_point start)
{
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

const char* yesNo(bool b)
{
    return b ? "yes" : "no";
}

HANDLE openPort(DWORD flags)
{
    return CreateFileA(portName, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
        nullptr, OPEN_EXISTING, flags, nullptr);
}

void setTimeouts(HANDLE h, DWORD interval, DWORD multiplier, DWORD constant, DWORD writeConstant)
{
    COMMTIMEOUTS t {};
    t.ReadIntervalTimeout = interval;
    t.ReadTotalTimeoutMultiplier = multiplier;
    t.ReadTotalTimeoutConstant = constant;
    t.WriteTotalTimeoutMultiplier = 0;
    t.WriteTotalTimeoutConstant = writeConstant;
    std::printf("SetCommTimeouts %lu/%lu/%lu: %s\n", static_cast<unsigned long>(interval),
        static_cast<unsigned long>(multiplier), static_cast<unsigned long>(constant),
        yesNo(SetCommTimeouts(h, &t)));
}

void send(HANDLE h, const char* bytes)
{
    DWORD written = 0;
    const BOOL ok = WriteFile(h, bytes, static_cast<DWORD>(std::strlen(bytes)), &written, nullptr);
    std::printf("write \"%s\": %s, %lu\n", bytes, yesNo(ok), static_cast<unsigned long>(written));
}

// A synchronous read, its bytes, and whether it took about as long as
// expected: at least low, less than high (milliseconds).
void readAndTime(HANDLE h, const char* step, DWORD n, long low, long high)
{
    char buffer[64] {};
    DWORD got = 0;
    const auto start = Clock::now();
    const BOOL ok = ReadFile(h, buffer, n, &got, nullptr);
    const long took = msSince(start);
    std::printf("read %lu [%s]: %s, %lu \"%.*s\"\n", static_cast<unsigned long>(n), step, yesNo(ok),
        static_cast<unsigned long>(got), static_cast<int>(got), buffer);
    std::printf("read took %ld..%ld ms [%s]: %s\n", low, high, step, yesNo(took >= low && took < high));
}

void dcbFields(HANDLE h, const char* step)
{
    DCB dcb {};
    dcb.DCBlength = sizeof(DCB);
    if (!GetCommState(h, &dcb)) {
        std::printf("GetCommState: failed\n");
        return;
    }
    std::printf("dcb rate [%s]: %lu\n", step, static_cast<unsigned long>(dcb.BaudRate));
    std::printf("dcb frame [%s]: %d bits, parity %d, stop %d\n", step, dcb.ByteSize, dcb.Parity, dcb.StopBits);
    std::printf("dcb binary [%s]: %d\n", step, static_cast<int>(dcb.fBinary));
    std::printf("dcb xon/xoff [%s]: out %d, in %d\n", step, static_cast<int>(dcb.fOutX),
        static_cast<int>(dcb.fInX));
    std::printf("dcb cts [%s]: %d\n", step, static_cast<int>(dcb.fOutxCtsFlow));
    std::printf("dcb rts [%s]: %d\n", step, static_cast<int>(dcb.fRtsControl));
}

// What the library does at open and in its setters: the driver's DCB, made
// raw, the fields written and read back.
void checkDcb(HANDLE h)
{
    std::printf("== DCB\n");
    DCB dcb {};
    dcb.DCBlength = sizeof(DCB);
    std::printf("GetCommState: %s\n", yesNo(GetCommState(h, &dcb)));
    dcb.fBinary = TRUE;
    dcb.fInX = FALSE;
    dcb.fOutX = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    dcb.BaudRate = 115200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.fParity = FALSE;
    dcb.StopBits = ONESTOPBIT;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    std::printf("SetCommState 115200 8N1: %s\n", yesNo(SetCommState(h, &dcb)));
    dcbFields(h, "8N1");
    dcb.BaudRate = 19200;
    dcb.ByteSize = 7;
    dcb.Parity = EVENPARITY;
    dcb.fParity = TRUE;
    dcb.StopBits = TWOSTOPBITS;
    std::printf("SetCommState 19200 7E2: %s\n", yesNo(SetCommState(h, &dcb)));
    dcbFields(h, "7E2");
    dcb.fOutX = TRUE;
    dcb.fInX = TRUE;
    const BOOL xonOk = SetCommState(h, &dcb);
    std::printf("SetCommState XON/XOFF: %s\n", yesNo(xonOk));
    dcbFields(h, "XON/XOFF");
    dcb.BaudRate = 2500000;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.fParity = FALSE;
    dcb.StopBits = ONESTOPBIT;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    std::printf("SetCommState 2500000 8N1: %s\n", yesNo(SetCommState(h, &dcb)));
    dcbFields(h, "2500000");
}

void checkTimeouts(HANDLE h)
{
    std::printf("== COMMTIMEOUTS\n");
    // Total: nothing comes, the read ends after the constant.
    setTimeouts(h, 0, 0, 200, 0);
    readAndTime(h, "total", 10, 150, 1500);
    // Interval: three bytes, a 300 ms gap, three more; the 100 ms interval
    // ends the read after the first three.
    setTimeouts(h, 100, 0, 2000, 0);
    send(h, "L");
    readAndTime(h, "interval", 10, 0, 1000);
    readAndTime(h, "after gap", 10, 0, 1500);
    // MAXDWORD interval alone: what is there, at once.
    setTimeouts(h, MAXDWORD, 0, 0, 0);
    readAndTime(h, "immediate, quiet", 10, 0, 100);
    send(h, "3");
    Sleep(200);
    readAndTime(h, "immediate", 10, 0, 100);
    // MAXDWORD/MAXDWORD/constant: the first byte to arrive ends the read ...
    setTimeouts(h, MAXDWORD, MAXDWORD, 1000, 0);
    send(h, "D");
    readAndTime(h, "first byte", 10, 150, 900);
    // ... what is waiting ends it at once ...
    send(h, "2");
    Sleep(200);
    readAndTime(h, "waiting bytes", 10, 0, 100);
    // ... and on a quiet line the constant does.
    readAndTime(h, "quiet", 10, 800, 2500);
}

void checkQueues(HANDLE h)
{
    std::printf("== ClearCommError and PurgeComm\n");
    send(h, "5");
    Sleep(300);
    DWORD errors = 0;
    COMSTAT stat {};
    BOOL ok = ClearCommError(h, &errors, &stat);
    std::printf("ClearCommError: %s, in %lu\n", yesNo(ok), static_cast<unsigned long>(stat.cbInQue));
    std::printf("PurgeComm rx: %s\n", yesNo(PurgeComm(h, PURGE_RXABORT | PURGE_RXCLEAR)));
    ok = ClearCommError(h, &errors, &stat);
    std::printf("ClearCommError: %s, in %lu\n", yesNo(ok), static_cast<unsigned long>(stat.cbInQue));
}

// Overlapped reads that cannot end at once are left pending and complete
// through their event; writes end through theirs, pending or not.
void checkOverlapped(HANDLE h)
{
    std::printf("== overlapped I/O\n");
    setTimeouts(h, 0, 0, 0, 0); // reads wait for all they asked for
    OVERLAPPED readOv {};
    readOv.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    char buffer[8] {};
    DWORD got = 0;
    const BOOL started = ReadFile(h, buffer, 3, &got, &readOv);
    const DWORD error = GetLastError();
    std::printf("read 3 pending: %s\n", yesNo(!started && error == ERROR_IO_PENDING));
    std::printf("not yet: %s\n",
        yesNo(!GetOverlappedResult(h, &readOv, &got, FALSE) && GetLastError() == ERROR_IO_INCOMPLETE));

    OVERLAPPED writeOv {};
    writeOv.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD written = 0;
    const BOOL wrote = WriteFile(h, "3", 1, &written, &writeOv);
    const bool writeStarted = wrote || GetLastError() == ERROR_IO_PENDING;
    std::printf("write started: %s\n", yesNo(writeStarted));
    const BOOL writeDone = GetOverlappedResult(h, &writeOv, &written, TRUE);
    std::printf("write done: %s, %lu\n", yesNo(writeDone), static_cast<unsigned long>(written));
    std::printf("read event signalled: %s\n",
        yesNo(WaitForSingleObject(readOv.hEvent, 3000) == WAIT_OBJECT_0));
    const BOOL done = GetOverlappedResult(h, &readOv, &got, TRUE);
    std::printf("read done: %s, %lu \"%.*s\"\n", yesNo(done), static_cast<unsigned long>(got),
        static_cast<int>(got), buffer);
    CloseHandle(writeOv.hEvent);
    CloseHandle(readOv.hEvent);
}

// The event thread's wait: a byte ends it with EV_RXCHAR, an emptied mask
// ends it with no event.
void checkCommEvents(HANDLE h)
{
    std::printf("== WaitCommEvent\n");
    OVERLAPPED ov {};
    ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    DWORD mask = 0;
    // The library's own mask: arrivals, transmitter empty, DSR changes.
    std::printf("SetCommMask library: %s\n", yesNo(SetCommMask(h, EV_RXCHAR | EV_TXEMPTY | EV_DSR)));
    BOOL started = WaitCommEvent(h, &mask, &ov);
    std::printf("library mask wait pending: %s\n",
        yesNo(!started && GetLastError() == ERROR_IO_PENDING));
    SetCommMask(h, 0);
    WaitForSingleObject(ov.hEvent, 3000);
    ResetEvent(ov.hEvent);
    std::printf("SetCommMask rx: %s\n", yesNo(SetCommMask(h, EV_RXCHAR)));
    started = WaitCommEvent(h, &mask, &ov);
    std::printf("wait pending: %s\n", yesNo(!started && GetLastError() == ERROR_IO_PENDING));
    DWORD written = 0;
    OVERLAPPED writeOv {};
    writeOv.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!WriteFile(h, "1", 1, &written, &writeOv))
        GetOverlappedResult(h, &writeOv, &written, TRUE);
    std::printf("event came: %s\n", yesNo(WaitForSingleObject(ov.hEvent, 3000) == WAIT_OBJECT_0));
    DWORD unused = 0;
    BOOL ok = GetOverlappedResult(h, &ov, &unused, FALSE);
    std::printf("result [rx]: %s, rxchar %s\n", yesNo(ok), yesNo((mask & EV_RXCHAR) != 0));
    PurgeComm(h, PURGE_RXCLEAR);

    ResetEvent(ov.hEvent);
    mask = 0xFFFF;
    started = WaitCommEvent(h, &mask, &ov);
    std::printf("wait pending: %s\n", yesNo(!started && GetLastError() == ERROR_IO_PENDING));
    std::printf("still waiting: %s\n", yesNo(WaitForSingleObject(ov.hEvent, 200) == WAIT_TIMEOUT));
    std::printf("SetCommMask 0: %s\n", yesNo(SetCommMask(h, 0)));
    std::printf("wait ended: %s\n", yesNo(WaitForSingleObject(ov.hEvent, 3000) == WAIT_OBJECT_0));
    ok = GetOverlappedResult(h, &ov, &unused, FALSE);
    std::printf("result [mask 0]: %s, mask %lu\n", yesNo(ok), static_cast<unsigned long>(mask));
    CloseHandle(writeOv.hEvent);
    CloseHandle(ov.hEvent);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: win32check <port>\n");
        return 2;
    }
    portName = argv[1];
    std::setvbuf(stdout, nullptr, _IONBF, 0);

    HANDLE h = openPort(0);
    std::printf("open: %s\n", yesNo(h != INVALID_HANDLE_VALUE));
    if (h == INVALID_HANDLE_VALUE)
        return 1;
    checkDcb(h);
    checkTimeouts(h);
    checkQueues(h);
    std::printf("close: %s\n", yesNo(CloseHandle(h)));

    h = openPort(FILE_FLAG_OVERLAPPED);
    std::printf("open overlapped: %s\n", yesNo(h != INVALID_HANDLE_VALUE));
    if (h == INVALID_HANDLE_VALUE)
        return 1;
    checkOverlapped(h);
    checkCommEvents(h);
    std::printf("close: %s\n", yesNo(CloseHandle(h)));
    return 0;
}
