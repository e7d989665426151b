#include "winserialdevice.h"

#include "visiblelocker.h"
#include "winserialeventthread.h"

#include <QMutexLocker>
#include <QReadLocker>
#include <QWriteLocker>

#include <algorithm>
#include <array>

static_assert(sizeof(COMMCONFIG) == WinSerialDevice::kCommConfigSize,
    "drivers are given a COMMCONFIG of 52 bytes");

namespace {

// The pending-write counter and the write OVERLAPPED are shared with the
// event thread.
using PendingWritesLock = VisibleLocker<QWriteLocker, QReadWriteLock>;
using PendingWritesReadLock = VisibleLocker<QReadLocker, QReadWriteLock>;

struct BaudRate {
    DWORD rate;
    const char* warning; // null when the rate is set without comment
};

// Indexed by baud-rate code. Windows has no 50..200, 1800 or 76800 baud and
// takes the nearest rate below; 14400, 56000, 128000 and 256000 work here but
// not on POSIX systems, which matters to anyone sharing settings.
constexpr std::array<BaudRate, 28> kBaudRates { {
    { 110, "WinSerialDevice: Windows does not support 50 baud operation.  Switching to 110 baud." },
    { 110, "WinSerialDevice: Windows does not support 75 baud operation.  Switching to 110 baud." },
    { 110, nullptr },
    { 110,
        "WinSerialDevice: Windows does not support 134.5 baud operation.  Switching to 110 baud." },
    { 110,
        "WinSerialDevice: Windows does not support 150 baud operation.  Switching to 110 baud." },
    { 110,
        "WinSerialDevice: Windows does not support 200 baud operation.  Switching to 110 baud." },
    { 300, nullptr },
    { 600, nullptr },
    { 1200, nullptr },
    { 1200,
        "WinSerialDevice: Windows does not support 1800 baud operation.  Switching to 1200 baud." },
    { 2400, nullptr },
    { 4800, nullptr },
    { 9600, nullptr },
    { 14400, "WinSerialDevice Portability Warning: POSIX does not support 14400 baud operation." },
    { 19200, nullptr },
    { 38400, nullptr },
    { 56000, "WinSerialDevice Portability Warning: POSIX does not support 56000 baud operation." },
    { 57600, nullptr },
    { 57600,
        "WinSerialDevice: Windows does not support 76800 baud operation.  Switching to 57600 "
        "baud." },
    { 115200, nullptr },
    { 128000,
        "WinSerialDevice Portability Warning: POSIX does not support 128000 baud operation." },
    { 256000,
        "WinSerialDevice Portability Warning: POSIX does not support 256000 baud operation." },
    { 230400, nullptr },
    { 460800, nullptr },
    { 921600, nullptr },
    { 1152000, nullptr },
    { 1500000, nullptr },
    { 2500000, nullptr },
} };

// The code stored for a rate Windows lacks: the one whose rate it runs at.
constexpr int storedBaudCode(int code)
{
    switch (code) {
    case 0:
    case 1:
    case 3:
    case 4:
    case 5:
        return 2;
    case 9:
        return 8;
    case 18:
        return 17;
    default:
        return code;
    }
}

constexpr int kFiveDataBits = 0;
constexpr int kEightDataBits = 3;
constexpr int kOneStopBit = 0;
constexpr int kOneAndHalfStopBits = 1;
constexpr int kTwoStopBits = 2;

// Five data bits cannot go with two stop bits, one and a half stop bits only
// with five data bits.
constexpr bool validFrame(int dataCode, int stopCode)
{
    return !(dataCode == kFiveDataBits && stopCode == kTwoStopBits)
        && !(stopCode == kOneAndHalfStopBits && dataCode != kFiveDataBits);
}

constexpr DWORD kEventMask = EV_RXCHAR | EV_TXEMPTY | EV_DSR;

// After a failed WaitCommEvent the event thread waits this long before trying
// again: an unplugged adapter fails every wait at once, and spinning on it
// would burn a core and flood the log.
constexpr unsigned long kEventRetryMs = 250;
// How long close() lets an event-driven write still under way finish.
constexpr DWORD kCloseWriteWaitMs = 100;

long code(DWORD error)
{
    return static_cast<long>(error);
}

} // namespace

WinSerialDevice::WinSerialDevice()
    : WinSerialDevice(QStringLiteral("COM1"), kPolling)
{
}

WinSerialDevice::WinSerialDevice(const QString& portName, int mode)
    : SerialDeviceBase(portName)
    , bytesToWriteLock(std::make_unique<QReadWriteLock>())
    , eventThread(std::make_unique<WinSerialEventThread>(this))
{
    eventOverlap.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    query = mode;
}

WinSerialDevice::WinSerialDevice(const LineSettings& wanted, int mode)
    : WinSerialDevice(QStringLiteral("COM1"), wanted, mode)
{
}

WinSerialDevice::WinSerialDevice(const QString& portName, const LineSettings& wanted, int mode)
    : WinSerialDevice(portName, kPolling)
{
    applySettings(wanted);
    query = mode;
}

WinSerialDevice::~WinSerialDevice()
{
    if (isOpen())
        WinSerialDevice::close();
    CloseHandle(eventOverlap.hEvent);
}

void WinSerialDevice::applySettings(const LineSettings& wanted)
{
    setBaudRate(wanted.baudRate);
    setDataBits(wanted.dataBits);
    setStopBits(wanted.stopBits);
    setParity(wanted.parity);
    setFlowControl(wanted.flowControl);
    setTimeout(wanted.timeout);
}

bool WinSerialDevice::isSequential() const
{
    return true;
}

bool WinSerialDevice::open(OpenMode mode)
{
    config.dwSize = kCommConfigSize;
    const DWORD attributes = query == kEventDriven ? FILE_FLAG_OVERLAPPED : 0;
    QMutexLocker lock(mutex.get());
    if (mode == NotOpen)
        return isOpen();
    if (isOpen())
        return false;

    handle = CreateFileA(name.toLatin1().constData(), GENERIC_READ | GENERIC_WRITE,
        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, attributes, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;

    DWORD size = kCommConfigSize;
    GetCommConfig(handle, &config, &size);
    GetCommState(handle, &config.dcb);
    // Raw bytes both ways: no XON/XOFF, no dropped NULs, and a line error does
    // not stall every later read until someone clears it.
    config.dcb.fBinary = TRUE;
    config.dcb.fInX = FALSE;
    config.dcb.fOutX = FALSE;
    config.dcb.fNull = FALSE;
    config.dcb.fAbortOnError = FALSE;

    applyBaudRate(settings.baudRate);
    applyDataBits(settings.dataBits);
    applyStopBits(settings.stopBits);
    applyParity(settings.parity);
    applyFlowControl(settings.flowControl);
    setTimeout(settings.timeout);
    SetCommConfig(handle, &config, kCommConfigSize);

    if (query == kEventDriven) {
        // Reads return at once with what has come; the event thread says when.
        timeouts.ReadIntervalTimeout = MAXDWORD;
        timeouts.ReadTotalTimeoutMultiplier = 0;
        timeouts.ReadTotalTimeoutConstant = 0;
        timeouts.WriteTotalTimeoutMultiplier = 0;
        timeouts.WriteTotalTimeoutConstant = 0;
        SetCommTimeouts(handle, &timeouts);
        if (!SetCommMask(handle, kEventMask)) {
            qWarning("Failed to set Comm Mask. Error code: %ld", code(GetLastError()));
            // Give the port back, or no later open could have it.
            CloseHandle(handle);
            handle = INVALID_HANDLE_VALUE;
            return false;
        }
        eventThread->start(QThread::InheritPriority);
    }
    QIODevice::open(mode);
    return true;
}

void WinSerialDevice::close()
{
    QMutexLocker lock(mutex.get());
    if (!isOpen())
        return;
    if (eventThread->isRunning()) {
        // The flag first: a wait the thread starts after this mask change is
        // refused or ended by the thread itself (see monitorCommEvent).
        eventThread->stop();
        SetCommMask(handle, 0); // ends a pending WaitCommEvent
        if (QThread::currentThread() != eventThread.get()) {
            // The thread may need the port's lock to finish its pass (a slot
            // that reads on readyRead, the DSR status), so wait without it.
            lock.unlock();
            eventThread->wait();
            lock.relock();
            // Reading the thread's last store orders its accesses to this port
            // (the comm event mask, the write OVERLAPPED) before these.
            if (!eventThread->hasEnded() || !isOpen())
                return;
        }
    }
    PendingWritesLock writeLock(bytesToWriteLock.get());
    // A write still under way would hold the flush for as long as the device
    // refuses bytes, possibly for ever: it gets a short while to finish, then
    // it is aborted.
    if (writeOverlap.hEvent
        && WaitForSingleObject(writeOverlap.hEvent, kCloseWriteWaitMs) == WAIT_TIMEOUT)
        PurgeComm(handle, PURGE_TXABORT | PURGE_TXCLEAR);
    flush();
    // The driver writes into the OVERLAPPED when the write ends: it must have
    // ended before its event is freed.
    releaseWriteEvent(true);
    pendingWrites = 0;
    if (CloseHandle(handle))
        handle = INVALID_HANDLE_VALUE;
    QIODevice::close();
}

qint64 WinSerialDevice::size() const
{
    DWORD errors = 0;
    COMSTAT stat {};
    if (!ClearCommError(handle, &errors, &stat))
        return 0;
    return stat.cbInQue;
}

bool WinSerialDevice::atEnd() const
{
    QMutexLocker lock(mutex.get());
    return size() == 0;
}

qint64 WinSerialDevice::bytesToWrite() const
{
    QMutexLocker lock(mutex.get());
    PendingWritesReadLock readLock(bytesToWriteLock.get());
    return pendingWrites;
}

bool WinSerialDevice::waitForReadyRead(int)
{
    QMutexLocker lock(mutex.get());
    return false;
}

void WinSerialDevice::setBaudRate(int code)
{
    QMutexLocker lock(mutex.get());
    if (settings.baudRate != code)
        settings.baudRate = storedBaudCode(code);
    if (isOpen()) {
        applyBaudRate(code);
        writeConfig();
    }
}

void WinSerialDevice::applyBaudRate(int code)
{
    if (code < 0 || code >= static_cast<int>(kBaudRates.size()))
        return;
    const BaudRate& entry = kBaudRates[static_cast<std::size_t>(code)];
    if (entry.warning)
        qWarning("%s", entry.warning);
    config.dcb.BaudRate = entry.rate;
}

void WinSerialDevice::setDataBits(int code)
{
    QMutexLocker lock(mutex.get());
    if (code < kFiveDataBits || code > kEightDataBits)
        return;
    if (code != settings.dataBits && validFrame(code, settings.stopBits))
        settings.dataBits = code;
    if (isOpen() && applyDataBits(code))
        writeConfig();
}

bool WinSerialDevice::applyDataBits(int code)
{
    const int bits = 5 + code;
    if (code == kFiveDataBits && settings.stopBits == kTwoStopBits) {
        qWarning("WinSerialDevice: 5 Data bits cannot be used with 2 stop bits.");
        return false;
    }
    if (code != kFiveDataBits && settings.stopBits == kOneAndHalfStopBits) {
        qWarning("WinSerialDevice: %d Data bits cannot be used with 1.5 stop bits.", bits);
        return false;
    }
    config.dcb.ByteSize = static_cast<BYTE>(bits);
    return true;
}

void WinSerialDevice::setStopBits(int code)
{
    QMutexLocker lock(mutex.get());
    if (code < kOneStopBit || code > kTwoStopBits)
        return;
    if (code != settings.stopBits && validFrame(settings.dataBits, code))
        settings.stopBits = code;
    if (isOpen() && applyStopBits(code))
        writeConfig();
}

bool WinSerialDevice::applyStopBits(int code)
{
    switch (code) {
    case kOneStopBit:
        config.dcb.StopBits = ONESTOPBIT;
        return true;
    case kOneAndHalfStopBits:
        qWarning("WinSerialDevice Portability Warning: 1.5 stop bit operation is not supported by "
                 "POSIX.");
        if (settings.dataBits != kFiveDataBits) {
            qWarning("WinSerialDevice: 1.5 stop bits can only be used with 5 data bits");
            return false;
        }
        config.dcb.StopBits = ONE5STOPBITS;
        return true;
    default:
        if (settings.dataBits == kFiveDataBits) {
            qWarning("WinSerialDevice: 2 stop bits cannot be used with 5 data bits");
            return false;
        }
        config.dcb.StopBits = TWOSTOPBITS;
        return true;
    }
}

void WinSerialDevice::setParity(int code)
{
    QMutexLocker lock(mutex.get());
    settings.parity = code;
    if (isOpen()) {
        applyParity(code);
        writeConfig();
    }
}

void WinSerialDevice::applyParity(int code)
{
    config.dcb.Parity = static_cast<BYTE>(code);
    switch (code) {
    case NOPARITY:
        config.dcb.fParity = FALSE;
        break;
    case ODDPARITY:
    case EVENPARITY:
        config.dcb.fParity = TRUE;
        break;
    case MARKPARITY:
        qWarning("WinSerialDevice Portability Warning:  Mark parity is not supported by POSIX "
                 "systems");
        config.dcb.fParity = TRUE;
        break;
    case SPACEPARITY:
        if (settings.dataBits == kEightDataBits)
            qWarning("WinSerialDevice Portability Warning: Space parity with 8 data bits is not "
                     "supported by POSIX systems.");
        config.dcb.fParity = TRUE;
        break;
    default:
        break;
    }
}

void WinSerialDevice::setFlowControl(int code)
{
    QMutexLocker lock(mutex.get());
    settings.flowControl = code;
    if (isOpen() && applyFlowControl(code))
        writeConfig();
}

bool WinSerialDevice::applyFlowControl(int code)
{
    switch (code) {
    case 0: // off
        config.dcb.fOutxCtsFlow = FALSE;
        config.dcb.fRtsControl = RTS_CONTROL_DISABLE;
        config.dcb.fInX = FALSE;
        config.dcb.fOutX = FALSE;
        return true;
    case 1: // CTS/RTS
        config.dcb.fOutxCtsFlow = TRUE;
        config.dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
        config.dcb.fInX = FALSE;
        config.dcb.fOutX = FALSE;
        return true;
    case 2: // XON/XOFF
        config.dcb.fOutxCtsFlow = FALSE;
        config.dcb.fRtsControl = RTS_CONTROL_DISABLE;
        config.dcb.fInX = TRUE;
        config.dcb.fOutX = TRUE;
        return true;
    default:
        return false;
    }
}

void WinSerialDevice::setTimeout(long ms)
{
    QMutexLocker lock(mutex.get());
    settings.timeout = ms;
    const auto limit = static_cast<DWORD>(ms);
    if (ms == -1) {
        timeouts.ReadIntervalTimeout = MAXDWORD;
        timeouts.ReadTotalTimeoutConstant = 0;
    } else {
        timeouts.ReadIntervalTimeout = limit;
        timeouts.ReadTotalTimeoutConstant = limit;
    }
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutMultiplier = limit;
    timeouts.WriteTotalTimeoutConstant = 0;
    if (query != kEventDriven)
        SetCommTimeouts(handle, &timeouts);
}

void WinSerialDevice::setCommTimeouts(const COMMTIMEOUTS& wanted)
{
    QMutexLocker lock(mutex.get());
    timeouts = wanted;
    SetCommTimeouts(handle, &timeouts);
}

void WinSerialDevice::writeConfig()
{
    SetCommConfig(handle, &config, kCommConfigSize);
}

void WinSerialDevice::flush()
{
    QMutexLocker lock(mutex.get());
    if (isOpen())
        FlushFileBuffers(handle);
}

qint64 WinSerialDevice::bytesAvailable()
{
    QMutexLocker lock(mutex.get());
    if (!isOpen())
        return 0;
    DWORD errors = 0;
    COMSTAT stat {};
    if (!ClearCommError(handle, &errors, &stat))
        return -1;
    lastErr = kNoError;
    translateError(errors);
    return static_cast<qint64>(stat.cbInQue) + QIODevice::bytesAvailable();
}

void WinSerialDevice::ungetChar(char)
{
    QMutexLocker lock(mutex.get());
    qWarning("WinSerialDevice: ungetChar() called on an unbuffered sequential device - operation "
             "is meaningless");
}

qint64 WinSerialDevice::readLine(char* data, qint64 maxSize)
{
    if (maxSize < 2)
        return -1;
    QMutexLocker lock(mutex.get());
    const qint64 waiting = bytesAvailable();
    qint64 count = 0;
    while (count < waiting && count < maxSize - 1) {
        if (readData(data + count, 1) != 1)
            break;
        if (data[count++] == '\n')
            break;
    }
    data[count] = '\0';
    return count;
}

void WinSerialDevice::translateError(unsigned long flags)
{
    QMutexLocker lock(mutex.get());
    if (flags & CE_BREAK)
        lastErr = kBreak;
    else if (flags & CE_FRAME)
        lastErr = kFramingError;
    else if (flags & CE_IOE)
        lastErr = kIoError;
    else if (flags & CE_MODE)
        lastErr = kModeError;
    else if (flags & CE_OVERRUN)
        lastErr = kOverrun;
    else if (flags & CE_RXPARITY)
        lastErr = kParityError;
    else if (flags & CE_RXOVER)
        lastErr = kReceiveOverflow;
    else if (flags & CE_TXFULL)
        lastErr = kTransmitFull;
}

void WinSerialDevice::setDtr(bool on)
{
    QMutexLocker lock(mutex.get());
    if (isOpen())
        EscapeCommFunction(handle, on ? SETDTR : CLRDTR);
}

void WinSerialDevice::setRts(bool on)
{
    QMutexLocker lock(mutex.get());
    if (isOpen())
        EscapeCommFunction(handle, on ? SETRTS : CLRRTS);
}

unsigned long WinSerialDevice::lineStatus()
{
    QMutexLocker lock(mutex.get());
    if (!isOpen())
        return 0;
    DWORD status = 0;
    GetCommModemStatus(handle, &status);
    unsigned long lines = 0;
    if (status & MS_CTS_ON)
        lines |= kLineCts;
    if (status & MS_DSR_ON)
        lines |= kLineDsr;
    if (status & MS_RLSD_ON)
        lines |= kLineDcd;
    if (status & MS_RING_ON)
        lines |= kLineRing;
    return lines;
}

qint64 WinSerialDevice::readData(char* data, qint64 maxSize)
{
    QMutexLocker lock(mutex.get());
    const auto wanted = static_cast<DWORD>(std::min<qint64>(maxSize, MAXDWORD));
    DWORD count = 0;
    if (query != kEventDriven) {
        if (!ReadFile(handle, data, wanted, &count, nullptr)) {
            lastErr = kReadFailed;
            return -1;
        }
        return count;
    }
    OVERLAPPED overlap {};
    overlap.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    bool ok = ReadFile(handle, data, wanted, &count, &overlap);
    if (!ok && GetLastError() == ERROR_IO_PENDING)
        ok = GetOverlappedResult(handle, &overlap, &count, TRUE);
    CloseHandle(overlap.hEvent);
    if (!ok) {
        lastErr = kReadFailed;
        return -1;
    }
    return count;
}

qint64 WinSerialDevice::writeData(const char* data, qint64 maxSize)
{
    QMutexLocker lock(mutex.get());
    const auto wanted = static_cast<DWORD>(std::min<qint64>(maxSize, MAXDWORD));
    DWORD written = 0;
    if (query != kEventDriven) {
        if (!WriteFile(handle, data, wanted, &written, nullptr)) {
            lastErr = kWriteFailed;
            return -1;
        }
        return written;
    }
    PendingWritesLock writeLock(bytesToWriteLock.get());
    // One write OVERLAPPED serves every write: the previous write must be
    // done with it (and its event freed) before it is used again.
    releaseWriteEvent(true);
    pendingWrites += wanted;
    writeOverlap = OVERLAPPED {};
    writeOverlap.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (WriteFile(handle, data, wanted, &written, &writeOverlap)
        || GetLastError() == ERROR_IO_PENDING)
        return wanted;
    releaseWriteEvent(false);
    pendingWrites -= wanted;
    lastErr = kWriteFailed;
    return -1;
}

void WinSerialDevice::releaseWriteEvent(bool waitForWrite)
{
    if (!writeOverlap.hEvent)
        return;
    if (waitForWrite) {
        DWORD written = 0;
        GetOverlappedResult(handle, &writeOverlap, &written, TRUE);
    }
    CloseHandle(writeOverlap.hEvent);
    writeOverlap.hEvent = nullptr;
}

void WinSerialDevice::monitorCommEvent()
{
    ResetEvent(eventOverlap.hEvent);
    eventMask = 0;
    if (!WaitCommEvent(handle, &eventMask, &eventOverlap)) {
        const DWORD error = GetLastError();
        if (error != ERROR_IO_PENDING) {
            // close() raised the stop flag and emptied the mask between this
            // thread's look at the flag and its wait: that is the stop.
            if (eventThread->stopping())
                return;
            // Nothing will signal the event now: end the pass instead of
            // waiting for ever, which would also hang close(). Said once per
            // streak of failures.
            if (!waitFailing)
                qCritical("WaitCommEvent error %ld\n", code(error));
            waitFailing = true;
            eventThread->pause(kEventRetryMs);
            return;
        }
        // A driver that takes a wait on an empty mask leaves it pending until
        // the mask changes again: if close() emptied it just before, end the
        // wait here, as close() cannot tell that it came too early.
        if (eventThread->stopping())
            SetCommMask(handle, 0);
    }
    waitFailing = false;
    if (WaitForSingleObject(eventOverlap.hEvent, INFINITE) != WAIT_OBJECT_0)
        return;
    DWORD unused = 0;
    if (!GetOverlappedResult(handle, &eventOverlap, &unused, FALSE)) {
        qWarning("Comm event overlapped error %ld", code(GetLastError()));
        return;
    }
    if (eventMask & EV_RXCHAR)
        emit readyRead();
    if (eventMask & EV_TXEMPTY) {
        qint64 written = 0;
        {
            PendingWritesLock writeLock(bytesToWriteLock.get());
            releaseWriteEvent(true);
            written = pendingWrites;
            pendingWrites = 0;
        }
        // Outside the lock: a slot may write again at once.
        emit bytesWritten(written);
    }
    if (eventMask & EV_DSR)
        emit dsrChanged((lineStatus() & kLineDsr) != 0);
}
