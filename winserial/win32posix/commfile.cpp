#include "commfile.h"

#include "customrate.h"
#include "driverlog.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <memory>
#include <thread>
#include <utility>

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// How often the watcher looks for new input and modem changes while a
// WaitCommEvent is pending.
constexpr int kWatchPeriodMs = 2;
// A blocked read or write looks this often whether it has been purged or its
// handle closed.
constexpr auto kStep = std::chrono::milliseconds(5);
// The transmitter's FIFO: what a write hands over without waiting for the line.
constexpr DWORD kFifoBytes = 64;
// What overlapped I/O in flight reports in OVERLAPPED::Internal.
constexpr ULONG_PTR kStatusPending = 0x103;
// Total timeouts beyond this are no limit at all (MAXDWORD per byte and such).
constexpr unsigned long long kForeverMs = 0x7FFFFFFFull;

constexpr std::array<std::pair<DWORD, speed_t>, 17> kRates { {
    { 110, B110 },
    { 300, B300 },
    { 600, B600 },
    { 1200, B1200 },
    { 2400, B2400 },
    { 4800, B4800 },
    { 9600, B9600 },
    { 19200, B19200 },
    { 38400, B38400 },
    { 57600, B57600 },
    { 115200, B115200 },
    { 230400, B230400 },
    { 460800, B460800 },
    { 921600, B921600 },
    { 1152000, B1152000 },
    { 1500000, B1500000 },
    { 2500000, B2500000 },
} };

bool rateCode(DWORD rate, speed_t &code)
{
    for (const auto &[bits, constant] : kRates) {
        if (bits == rate) {
            code = constant;
            return true;
        }
    }
    return false;
}

DWORD errorFromErrno(int error)
{
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EBUSY:
    case EPERM:
        return ERROR_ACCESS_DENIED;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    default:
        return ERROR_GEN_FAILURE;
    }
}

using Clock = std::chrono::steady_clock;

// Milliseconds for poll(): the time left rounded up, at most one step.
int pollMs(Clock::time_point deadline)
{
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero())
        return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(std::min<Clock::duration>(left, kStep));
    return static_cast<int>(ms.count());
}

// The time one character takes on the line: start bit, data, parity, stop.
std::chrono::nanoseconds characterTime(const DCB &dcb)
{
    const long long bits = 1 + dcb.ByteSize + (dcb.Parity != NOPARITY ? 1 : 0)
        + (dcb.StopBits == ONESTOPBIT ? 1 : 2);
    return std::chrono::nanoseconds(bits * 1000000000LL / std::max<DWORD>(dcb.BaudRate, 1));
}

struct ReadRules {
    bool immediate = false; // MAXDWORD interval alone: what is there, at once
    bool firstByte = false; // MAXDWORD/MAXDWORD/constant: on the first byte, or after the constant
    bool hasTotal = false;
    std::chrono::microseconds total {};
    bool hasInterval = false;
    std::chrono::microseconds interval {};
};

// The forms Windows documents for COMMTIMEOUTS on a read of n bytes.
ReadRules readRules(const COMMTIMEOUTS &t, DWORD n)
{
    ReadRules r;
    r.immediate = t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0
        && t.ReadTotalTimeoutConstant == 0;
    r.firstByte = t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD
        && t.ReadTotalTimeoutConstant > 0 && t.ReadTotalTimeoutConstant < MAXDWORD;
    if (r.immediate)
        return r;
    const unsigned long long total = r.firstByte
        ? t.ReadTotalTimeoutConstant
        : static_cast<unsigned long long>(t.ReadTotalTimeoutMultiplier) * n
            + t.ReadTotalTimeoutConstant;
    r.hasTotal = total > 0 && total < kForeverMs;
    if (r.hasTotal)
        r.total = DriverLog::waitTime(static_cast<DWORD>(total));
    r.hasInterval = !r.firstByte && t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != MAXDWORD;
    if (r.hasInterval)
        r.interval = DriverLog::waitTime(t.ReadIntervalTimeout);
    return r;
}

} // namespace

CommFile::CommFile(int descriptor, bool overlappedIo, const DCB &driverDefaults)
    : fd(descriptor)
    , isOverlapped(overlappedIo)
{
    // A Windows comm port is always binary: no echo, no line editing, no
    // translation, whatever flags the adapter came up with. Start from that,
    // then take the driver's settings.
    termios t {};
    if (::tcgetattr(fd, &t) == 0) {
        ::cfmakeraw(&t);
        t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | ICRNL | INLCR | IGNCR);
        t.c_cflag |= CLOCAL | CREAD;
        t.c_cc[VMIN] = 0;
        t.c_cc[VTIME] = 0;
        ::tcsetattr(fd, TCSANOW, &t);
    }
    dcb = driverDefaults;
    setState(driverDefaults);
}

CommFile::~CommFile()
{
    closed();
    if (watcher.joinable())
        watcher.join();
    for (auto &io : pendingIo)
        io.join();
    ::close(fd);
}

void CommFile::closed()
{
    isClosed.store(true);
    {
        std::lock_guard<std::mutex> lock(mutex);
        quitting = true;
        if (waitOverlapped) {
            waitOverlapped->Internal = ERROR_OPERATION_ABORTED;
            const HANDLE event = waitOverlapped->hEvent;
            waitOverlapped = nullptr;
            waitMask = nullptr;
            SetEvent(event);
        }
    }
    wake.notify_all();
    drained.notify_all();
}

DCB CommFile::state()
{
    std::lock_guard<std::mutex> lock(mutex);
    return dcb;
}

BOOL CommFile::setState(const DCB &wanted)
{
    speed_t speed = B38400;
    const bool standard = rateCode(wanted.BaudRate, speed);
    if (wanted.BaudRate == 0 || wanted.ByteSize < 5 || wanted.ByteSize > 8
        || wanted.Parity > SPACEPARITY || wanted.StopBits > TWOSTOPBITS) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    termios t {};
    if (::tcgetattr(fd, &t) != 0) {
        SetLastError(errorFromErrno(errno));
        return FALSE;
    }
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    constexpr std::array<tcflag_t, 4> kSizes { CS5, CS6, CS7, CS8 };
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= kSizes[static_cast<std::size_t>(wanted.ByteSize - 5)];
    switch (wanted.Parity) {
    case ODDPARITY:
        t.c_cflag |= PARENB | PARODD;
        break;
    case EVENPARITY:
        t.c_cflag |= PARENB;
        break;
    case MARKPARITY:
        t.c_cflag |= PARENB | CMSPAR | PARODD;
        break;
    case SPACEPARITY:
        t.c_cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    if (wanted.StopBits != ONESTOPBIT)
        t.c_cflag |= CSTOPB; // the terminal knows no 1.5; with 5 bits the UART makes it so
    // The transmitter waits for CTS only when told to; RTS handshaking alone
    // is the receiving side's business.
    if (wanted.fOutxCtsFlow)
        t.c_cflag |= CRTSCTS;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | INPCK);
    if (wanted.fOutX)
        t.c_iflag |= IXON;
    if (wanted.fInX)
        t.c_iflag |= IXOFF;
    if (wanted.fParity)
        t.c_iflag |= INPCK;
    if (::tcsetattr(fd, TCSANOW, &t) != 0) {
        SetLastError(errorFromErrno(errno));
        return FALSE;
    }
    // Rates without a constant (14400, 56000, 128000, 256000, ...) go to the
    // UART's divisor as they are, as a Windows driver does.
    if (!standard && !setCustomRate(fd, wanted.BaudRate)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(mutex);
    dcb = wanted;
    return TRUE;
}

BOOL CommFile::setTimeouts(const COMMTIMEOUTS &wanted)
{
    std::lock_guard<std::mutex> lock(mutex);
    timeouts = wanted;
    return TRUE;
}

COMMTIMEOUTS CommFile::currentTimeouts()
{
    std::lock_guard<std::mutex> lock(mutex);
    return timeouts;
}

bool CommFile::hungUp() const
{
    pollfd p { fd, POLLIN, 0 };
    if (::poll(&p, 1, 0) <= 0)
        return false;
    if (p.revents & (POLLERR | POLLNVAL))
        return true;
    // After a hang-up, what is still queued may be read; then the line is gone.
    int queued = 0;
    return (p.revents & POLLHUP) && (::ioctl(fd, FIONREAD, &queued) != 0 || queued == 0);
}

bool CommFile::readAborted(unsigned generation) const
{
    return isClosed.load() || readAbort.load() != generation;
}

bool CommFile::writeAborted(unsigned generation) const
{
    return isClosed.load() || writeAbort.load() != generation;
}

int CommFile::queuedInput() const
{
    int queued = 0;
    return ::ioctl(fd, FIONREAD, &queued) == 0 ? queued : 0;
}

void CommFile::pend(OVERLAPPED *ov, std::function<BOOL(DWORD &)> operation, bool isWrite)
{
    ov->Internal = kStatusPending;
    ov->InternalHigh = 0;
    const HANDLE event = ov->hEvent;
    std::lock_guard<std::mutex> lock(mutex);
    // Threads of operations that have finished are collected here.
    for (auto it = pendingIo.begin(); it != pendingIo.end();) {
        if (finishedIo.count(it->get_id())) {
            finishedIo.erase(it->get_id());
            it->join();
            it = pendingIo.erase(it);
        } else {
            ++it;
        }
    }
    if (isWrite)
        ++writesInFlight;
    pendingIo.emplace_back([this, ov, event, operation = std::move(operation), isWrite] {
        DWORD done = 0;
        const BOOL ok = operation(done);
        // As the system does: the OVERLAPPED is written when the I/O ends,
        // whatever the program did with it meanwhile.
        ov->InternalHigh = done;
        ov->Internal = ok ? 0 : GetLastError();
        {
            std::lock_guard<std::mutex> lock(mutex);
            if (isWrite)
                --writesInFlight;
            finishedIo.insert(std::this_thread::get_id());
        }
        drained.notify_all();
        if (event)
            SetEvent(event);
    });
    SetLastError(ERROR_IO_PENDING);
}

BOOL CommFile::read(void *buffer, DWORD toRead, DWORD &done, OVERLAPPED *ov)
{
    done = 0;
    const COMMTIMEOUTS t = currentTimeouts();
    const unsigned generation = readAbort.load();
    auto *bytes = static_cast<char *>(buffer);
    if (!ov)
        return readNow(bytes, toRead, done, t, generation);
    if (ov->hEvent)
        ResetEvent(ov->hEvent);
    // A read ends within the call only when the rules let it end without
    // waiting; otherwise it is left pending, as serial drivers do.
    const ReadRules rules = readRules(t, toRead);
    const auto queued = static_cast<DWORD>(queuedInput());
    if (toRead == 0 || rules.immediate || queued >= toRead || (rules.firstByte && queued > 0)) {
        const BOOL ok = readNow(bytes, toRead, done, t, generation);
        finishOverlapped(ov, ok, done);
        return ok;
    }
    pend(
        ov,
        [this, bytes, toRead, t, generation](DWORD &n) {
            return readNow(bytes, toRead, n, t, generation);
        },
        false);
    return FALSE;
}

BOOL CommFile::readNow(
    char *bytes, DWORD toRead, DWORD &done, const COMMTIMEOUTS &t, unsigned generation)
{
    done = 0;
    if (toRead == 0)
        return TRUE;
    const ReadRules rules = readRules(t, toRead);
    // serial.sys ends a first-byte read on its first byte; some drivers wait
    // for all of it or the constant.
    const bool endOnFirstByte = rules.firstByte && !DriverLog::readsWaitForAll();
    const auto start = Clock::now();
    const auto totalDeadline = start + rules.total;
    auto intervalDeadline = Clock::time_point::max();
    for (;;) {
        if (readAborted(generation)) {
            SetLastError(ERROR_OPERATION_ABORTED);
            return FALSE;
        }
        const ssize_t n = ::read(fd, bytes + done, toRead - done);
        if (n > 0) {
            done += static_cast<DWORD>(n);
            if (done == toRead || endOnFirstByte)
                break;
            if (rules.hasInterval)
                intervalDeadline = Clock::now() + rules.interval;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // With VMIN and VTIME 0 a quiet terminal reads 0 bytes; a hung-up one
        // fails (EIO).
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            if (done > 0)
                break; // report the failure with the next read
            if (DriverLog::hungUpReadsEndEmpty())
                break;
            SetLastError(errorFromErrno(errno));
            return FALSE;
        }
        if (rules.immediate)
            break;
        auto deadline = Clock::time_point::max();
        if (rules.hasTotal)
            deadline = totalDeadline;
        if (done > 0 && rules.hasInterval)
            deadline = std::min(deadline, intervalDeadline);
        if (deadline != Clock::time_point::max() && Clock::now() >= deadline) {
            if (done > 0 && deadline == totalDeadline)
                DriverLog::noteLateRead();
            break;
        }
        pollfd p { fd, POLLIN, 0 };
        const int wait = deadline == Clock::time_point::max()
            ? static_cast<int>(kStep.count())
            : pollMs(deadline);
        const int ready = ::poll(&p, 1, wait);
        // A hung-up line polls as readable, but nothing more will come.
        if (ready > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) && queuedInput() == 0) {
            if (done > 0)
                break;
            if (DriverLog::hungUpReadsEndEmpty()) {
                // As Wine does: the read waits out its time and ends with nothing.
                std::this_thread::sleep_until(std::min(totalDeadline, Clock::now() + kStep));
                if (Clock::now() >= totalDeadline)
                    break;
                continue;
            }
            SetLastError(ERROR_BAD_COMMAND);
            return FALSE;
        }
    }
    std::lock_guard<std::mutex> lock(mutex);
    seenInQueue = queuedInput();
    return TRUE;
}

DWORD CommFile::transmitRoom(Clock::time_point now)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (lineFreeAt <= now)
        return kFifoBytes;
    const auto queued = static_cast<DWORD>((lineFreeAt - now) / characterTime(dcb)) + 1;
    return queued >= kFifoBytes ? 0 : kFifoBytes - queued;
}

void CommFile::sent(DWORD n, Clock::time_point now)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (lineFreeAt < now)
        lineFreeAt = now;
    lineFreeAt += characterTime(dcb) * n;
}

BOOL CommFile::write(const void *buffer, DWORD toWrite, DWORD &done, OVERLAPPED *ov)
{
    done = 0;
    const COMMTIMEOUTS t = currentTimeouts();
    const unsigned generation = writeAbort.load();
    const auto *bytes = static_cast<const char *>(buffer);
    if (ov && ov->hEvent)
        ResetEvent(ov->hEvent);
    // Without an OVERLAPPED, or when the transmitter takes it all at once, the
    // write ends within the call; otherwise it is left pending.
    if (!ov || toWrite <= transmitRoom(Clock::now())) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            ++writesInFlight;
        }
        const BOOL ok = writeNow(bytes, toWrite, done, t, generation);
        {
            std::lock_guard<std::mutex> lock(mutex);
            --writesInFlight;
        }
        drained.notify_all();
        finishOverlapped(ov, ok, done);
        return ok;
    }
    pend(
        ov,
        [this, bytes, toWrite, t, generation](DWORD &n) {
            return writeNow(bytes, toWrite, n, t, generation);
        },
        true);
    return FALSE;
}

// Bytes go to the device as fast as the line carries them, through a small
// FIFO; a device that does not read (a full pseudo-terminal) holds the write
// until the write time-out, if any, lets it end with fewer bytes.
BOOL CommFile::writeNow(
    const char *bytes, DWORD toWrite, DWORD &done, const COMMTIMEOUTS &t, unsigned generation)
{
    done = 0;
    const unsigned long long total
        = static_cast<unsigned long long>(t.WriteTotalTimeoutMultiplier) * toWrite
        + t.WriteTotalTimeoutConstant;
    const bool hasTotal = total > 0 && total < kForeverMs;
    const auto deadline = hasTotal ? Clock::now() + DriverLog::waitTime(static_cast<DWORD>(total))
                                   : Clock::time_point::max();
    while (done < toWrite) {
        if (writeAborted(generation)) {
            SetLastError(ERROR_OPERATION_ABORTED);
            return FALSE;
        }
        const auto now = Clock::now();
        if (now >= deadline)
            break; // timed out: the count tells how far it got
        const DWORD room = transmitRoom(now);
        if (room == 0) {
            // Wait until half the FIFO has gone out.
            Clock::time_point freeAt;
            {
                std::lock_guard<std::mutex> lock(mutex);
                freeAt = lineFreeAt - characterTime(dcb) * (kFifoBytes / 2);
            }
            std::this_thread::sleep_until(std::min({ freeAt, now + kStep, deadline }));
            continue;
        }
        const ssize_t n = ::write(fd, bytes + done, std::min(room, toWrite - done));
        if (n > 0) {
            sent(static_cast<DWORD>(n), now);
            done += static_cast<DWORD>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            SetLastError(errorFromErrno(errno));
            return FALSE;
        }
        pollfd p { fd, POLLOUT, 0 };
        const int wait = hasTotal ? pollMs(deadline) : static_cast<int>(kStep.count());
        if (::poll(&p, 1, wait) > 0 && (p.revents & (POLLHUP | POLLERR))) {
            SetLastError(ERROR_BAD_COMMAND);
            return FALSE;
        }
    }
    {
        std::lock_guard<std::mutex> lock(mutex);
        transmitted = true;
    }
    wake.notify_all();
    return TRUE;
}

BOOL CommFile::flush()
{
    std::unique_lock<std::mutex> lock(mutex);
    for (;;) {
        if (isClosed.load()) {
            SetLastError(ERROR_OPERATION_ABORTED);
            return FALSE;
        }
        const auto now = Clock::now();
        if (writesInFlight == 0 && lineFreeAt <= now)
            return TRUE;
        const auto until = writesInFlight == 0 ? std::min(lineFreeAt, now + kStep) : now + kStep;
        drained.wait_until(lock, until);
    }
}

BOOL CommFile::purge(DWORD flags)
{
    if (flags & PURGE_TXABORT)
        writeAbort.fetch_add(1);
    if (flags & PURGE_RXABORT)
        readAbort.fetch_add(1);
    if (flags & PURGE_TXCLEAR) {
        ::tcflush(fd, TCOFLUSH);
        std::lock_guard<std::mutex> lock(mutex);
        lineFreeAt = Clock::now();
    }
    if (flags & PURGE_RXCLEAR) {
        ::tcflush(fd, TCIFLUSH);
        std::lock_guard<std::mutex> lock(mutex);
        seenInQueue = 0;
    }
    drained.notify_all();
    return TRUE;
}

BOOL CommFile::setMask(DWORD newMask)
{
    {
        std::lock_guard<std::mutex> lock(mutex);
        mask = newMask;
        // A changed mask ends a pending wait at once, reporting no event.
        if (waitOverlapped)
            complete(0);
    }
    wake.notify_all();
    return TRUE;
}

BOOL CommFile::waitEvent(DWORD *events, OVERLAPPED *ov)
{
    std::unique_lock<std::mutex> lock(mutex);
    // serial.sys refuses a wait with no events to wait for; some drivers take
    // it and leave it pending until the mask changes.
    const bool emptyPends = mask == 0 && ov && DriverLog::emptyMaskWaitPends();
    if ((mask == 0 && !emptyPends) || waitOverlapped || !events) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!ov) {
        for (;;) {
            const DWORD happened = pendingEvents();
            if (happened || mask == 0 || quitting) {
                *events = happened;
                return TRUE;
            }
            wake.wait_for(lock, std::chrono::milliseconds(kWatchPeriodMs));
        }
    }
    if (ov->hEvent)
        ResetEvent(ov->hEvent);
    ov->Internal = kStatusPending;
    ov->InternalHigh = 0;
    waitMask = events;
    waitOverlapped = ov;
    if (!watcher.joinable())
        watcher = std::thread([this] { watch(); });
    lock.unlock();
    wake.notify_all();
    SetLastError(ERROR_IO_PENDING);
    return FALSE;
}

DWORD CommFile::pendingEvents()
{
    DWORD happened = 0;
    if (mask & EV_RXCHAR) {
        int queued = 0;
        if (::ioctl(fd, FIONREAD, &queued) == 0) {
            if (queued > seenInQueue)
                happened |= EV_RXCHAR;
            seenInQueue = queued;
        }
    }
    if ((mask & EV_TXEMPTY) && transmitted) {
        happened |= EV_TXEMPTY;
        transmitted = false;
    }
    if (mask & EV_DSR) {
        DWORD status = 0;
        if (!DriverLog::modemStatus(status)) {
            int bits = 0;
            status = ::ioctl(fd, TIOCMGET, &bits) == 0 && (bits & TIOCM_DSR) ? MS_DSR_ON : 0;
        }
        const int dsr = (status & MS_DSR_ON) ? 1 : 0;
        if (lastDsr != -1 && dsr != lastDsr)
            happened |= EV_DSR;
        lastDsr = dsr;
    }
    return happened;
}

void CommFile::complete(DWORD events)
{
    *waitMask = events;
    waitOverlapped->InternalHigh = 0;
    waitOverlapped->Internal = 0;
    const HANDLE event = waitOverlapped->hEvent;
    waitOverlapped = nullptr;
    waitMask = nullptr;
    SetEvent(event);
}

void CommFile::watch()
{
    std::unique_lock<std::mutex> lock(mutex);
    while (!quitting) {
        if (waitOverlapped) {
            const DWORD happened = pendingEvents();
            if (happened)
                complete(happened);
        }
        wake.wait_for(lock, std::chrono::milliseconds(kWatchPeriodMs));
    }
}

BOOL CommFile::clearError(DWORD *errors, COMSTAT *stat)
{
    if (hungUp()) {
        SetLastError(ERROR_BAD_COMMAND);
        return FALSE;
    }
    if (errors)
        *errors = DriverLog::takeCommErrors();
    if (stat) {
        *stat = COMSTAT {};
        int in = 0;
        int out = 0;
        if (::ioctl(fd, FIONREAD, &in) == 0)
            stat->cbInQue = static_cast<DWORD>(in);
        if (::ioctl(fd, TIOCOUTQ, &out) == 0)
            stat->cbOutQue = static_cast<DWORD>(out);
    }
    return TRUE;
}

BOOL CommFile::escape(DWORD function)
{
    int bit = 0;
    unsigned long request = 0;
    switch (function) {
    case SETDTR:
        bit = TIOCM_DTR;
        request = TIOCMBIS;
        break;
    case CLRDTR:
        bit = TIOCM_DTR;
        request = TIOCMBIC;
        break;
    case SETRTS:
        bit = TIOCM_RTS;
        request = TIOCMBIS;
        break;
    case CLRRTS:
        bit = TIOCM_RTS;
        request = TIOCMBIC;
        break;
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // Pseudo-terminals have no modem lines; like a virtual COM port they
    // accept the request anyway.
    ::ioctl(fd, request, &bit);
    return TRUE;
}

BOOL CommFile::modemStatus(DWORD &status)
{
    if (DriverLog::modemStatus(status))
        return TRUE;
    int bits = 0;
    status = 0;
    if (::ioctl(fd, TIOCMGET, &bits) != 0)
        return TRUE; // no modem lines (pseudo-terminal): all off
    if (bits & TIOCM_CTS)
        status |= MS_CTS_ON;
    if (bits & TIOCM_DSR)
        status |= MS_DSR_ON;
    if (bits & TIOCM_RNG)
        status |= MS_RING_ON;
    if (bits & TIOCM_CAR)
        status |= MS_RLSD_ON;
    return TRUE;
}

void finishOverlapped(OVERLAPPED *ov, BOOL ok, DWORD done)
{
    if (!ov)
        return;
    ov->Internal = ok ? 0 : GetLastError();
    ov->InternalHigh = done;
    if (ov->hEvent)
        SetEvent(ov->hEvent);
}
