#include "commfile.h"

#include "driverlog.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <utility>

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// How often the watcher looks for new input and modem changes while a
// WaitCommEvent is pending.
constexpr int kWatchPeriodMs = 2;
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

long msUntil(Clock::time_point deadline)
{
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count());
}

} // namespace

CommFile::CommFile(int descriptor, bool overlappedIo, const DCB &driverDefaults)
    : fd(descriptor)
    , isOverlapped(overlappedIo)
{
    // A Windows comm port is always binary: no echo, no line editing, no
    // translation. Start from that, then take the driver's settings.
    termios t {};
    if (::tcgetattr(fd, &t) == 0) {
        ::cfmakeraw(&t);
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
    if (watcher.joinable())
        watcher.join();
    ::close(fd);
}

DCB CommFile::state()
{
    std::lock_guard<std::mutex> lock(mutex);
    return dcb;
}

BOOL CommFile::setState(const DCB &wanted)
{
    speed_t speed = B0;
    if (!rateCode(wanted.BaudRate, speed) || wanted.ByteSize < 5 || wanted.ByteSize > 8
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
    if (wanted.fOutxCtsFlow || wanted.fRtsControl == RTS_CONTROL_HANDSHAKE)
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

BOOL CommFile::read(void *buffer, DWORD toRead, DWORD &done)
{
    done = 0;
    COMMTIMEOUTS t {};
    {
        std::lock_guard<std::mutex> lock(mutex);
        t = timeouts;
    }
    if (toRead == 0)
        return TRUE;
    // MAXDWORD interval with no totals: return at once with what is there.
    const bool immediate = t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0
        && t.ReadTotalTimeoutConstant == 0;
    const unsigned long long total
        = static_cast<unsigned long long>(t.ReadTotalTimeoutMultiplier) * toRead
        + t.ReadTotalTimeoutConstant;
    const bool hasTotal = !immediate && total > 0 && total < kForeverMs;
    const auto totalDeadline = Clock::now() + std::chrono::milliseconds(hasTotal ? total : 0);
    const bool hasInterval = t.ReadIntervalTimeout != 0 && t.ReadIntervalTimeout != MAXDWORD;
    auto intervalDeadline = Clock::time_point::max();

    auto *bytes = static_cast<char *>(buffer);
    for (;;) {
        const ssize_t n = ::read(fd, bytes + done, toRead - done);
        if (n > 0) {
            done += static_cast<DWORD>(n);
            if (done == toRead)
                break;
            if (hasInterval)
                intervalDeadline = Clock::now() + std::chrono::milliseconds(t.ReadIntervalTimeout);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        // With VMIN and VTIME 0 a quiet terminal reads 0 bytes; a hung-up one
        // fails (EIO).
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            if (done > 0)
                break; // report the failure with the next read
            SetLastError(errorFromErrno(errno));
            return FALSE;
        }
        if (immediate)
            break;
        long wait = -1;
        if (hasTotal)
            wait = msUntil(totalDeadline);
        if (done > 0 && hasInterval) {
            const long interval = msUntil(intervalDeadline);
            wait = wait < 0 ? interval : std::min(wait, interval);
        }
        if ((hasTotal || (done > 0 && hasInterval)) && wait <= 0)
            break;
        pollfd p { fd, POLLIN, 0 };
        const int ready = ::poll(&p, 1, static_cast<int>(wait));
        if (ready > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) && !(p.revents & POLLIN)) {
            if (done > 0)
                break;
            SetLastError(ERROR_BAD_COMMAND);
            return FALSE;
        }
    }
    std::lock_guard<std::mutex> lock(mutex);
    int left = 0;
    if (::ioctl(fd, FIONREAD, &left) == 0)
        seenInQueue = left;
    return TRUE;
}

BOOL CommFile::write(const void *buffer, DWORD toWrite, DWORD &done)
{
    done = 0;
    COMMTIMEOUTS t {};
    {
        std::lock_guard<std::mutex> lock(mutex);
        t = timeouts;
    }
    const unsigned long long total
        = static_cast<unsigned long long>(t.WriteTotalTimeoutMultiplier) * toWrite
        + t.WriteTotalTimeoutConstant;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::min(total, kForeverMs));
    const auto *bytes = static_cast<const char *>(buffer);
    while (done < toWrite) {
        const ssize_t n = ::write(fd, bytes + done, toWrite - done);
        if (n > 0) {
            done += static_cast<DWORD>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            SetLastError(errorFromErrno(errno));
            return FALSE;
        }
        long wait = -1;
        if (total > 0 && total < kForeverMs) {
            wait = msUntil(deadline);
            if (wait <= 0)
                break; // timed out: the count tells how far it got
        }
        pollfd p { fd, POLLOUT, 0 };
        if (::poll(&p, 1, static_cast<int>(wait)) > 0 && (p.revents & (POLLHUP | POLLERR))) {
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
    if (::tcdrain(fd) != 0) {
        SetLastError(errorFromErrno(errno));
        return FALSE;
    }
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
    if (mask == 0 || waitOverlapped || !events) {
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
