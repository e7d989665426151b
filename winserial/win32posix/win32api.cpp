// The Win32 functions of the stand-in, over the handle table.

#include "commfile.h"
#include "driverlog.h"
#include "eventobject.h"
#include "handletable.h"
#include "windows.h"

#include <cerrno>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

BOOL fail(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

std::shared_ptr<CommFile> comm(HANDLE handle)
{
    auto file = HandleTable::find<CommFile>(handle);
    if (!file)
        SetLastError(ERROR_INVALID_HANDLE);
    return file;
}

bool injected(DriverLog::Call call)
{
    DWORD error = 0;
    if (!DriverLog::takeFailure(call, error))
        return false;
    SetLastError(error);
    return true;
}

} // namespace

DWORD GetLastError()
{
    return lastError;
}

void SetLastError(DWORD error)
{
    lastError = error;
}

HANDLE CreateFileA(LPCSTR fileName, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD creation,
    DWORD flags, HANDLE)
{
    DriverLog::noteCall();
    DriverLog::noteCreate(fileName ? fileName : "");
    if (injected(DriverLog::Call::CreateFileA))
        return INVALID_HANDLE_VALUE;
    if (!fileName || creation != OPEN_EXISTING
        || (access & (GENERIC_READ | GENERIC_WRITE)) != (GENERIC_READ | GENERIC_WRITE)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    const int fd = ::open(fileName, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd == -1) {
        SetLastError(errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    // Only serial lines here; and a comm port is opened by one handle at a time.
    if (!::isatty(fd) || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        SetLastError(::isatty(fd) ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND);
        ::close(fd);
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(ERROR_SUCCESS);
    return HandleTable::add(std::make_shared<CommFile>(
        fd, (flags & FILE_FLAG_OVERLAPPED) != 0, DriverLog::driverDefaults()));
}

BOOL CloseHandle(HANDLE object)
{
    DriverLog::noteCall();
    return HandleTable::remove(object) ? TRUE : fail(ERROR_INVALID_HANDLE);
}

BOOL GetCommConfig(HANDLE handle, LPCOMMCONFIG config, LPDWORD size)
{
    DriverLog::noteCall();
    const auto file = comm(handle);
    if (!file)
        return FALSE;
    if (!size || *size < sizeof(COMMCONFIG) || !config) {
        if (size)
            *size = sizeof(COMMCONFIG);
        return fail(ERROR_INSUFFICIENT_BUFFER);
    }
    *config = COMMCONFIG {};
    config->dwSize = sizeof(COMMCONFIG);
    config->wVersion = 1;
    config->dcb = file->state();
    return TRUE;
}

BOOL SetCommConfig(HANDLE handle, LPCOMMCONFIG config, DWORD size)
{
    DriverLog::noteCall();
    const auto file = comm(handle);
    if (!file)
        return FALSE;
    if (!config || size < sizeof(COMMCONFIG))
        return fail(ERROR_INVALID_PARAMETER);
    DriverLog::noteConfig(config->dcb);
    if (injected(DriverLog::Call::SetCommConfig))
        return FALSE;
    const BOOL ok = file->setState(config->dcb);
    if (!ok)
        DriverLog::noteConfigRefused();
    return ok;
}

BOOL GetCommState(HANDLE handle, LPDCB dcb)
{
    DriverLog::noteCall();
    const auto file = comm(handle);
    if (!file)
        return FALSE;
    if (!dcb)
        return fail(ERROR_INVALID_PARAMETER);
    *dcb = file->state();
    return TRUE;
}

BOOL SetCommTimeouts(HANDLE handle, LPCOMMTIMEOUTS timeouts)
{
    DriverLog::noteCall();
    const auto file = comm(handle);
    if (!file)
        return FALSE;
    if (!timeouts)
        return fail(ERROR_INVALID_PARAMETER);
    DriverLog::noteTimeouts(*timeouts);
    return file->setTimeouts(*timeouts);
}

BOOL GetCommTimeouts(HANDLE handle, LPCOMMTIMEOUTS timeouts)
{
    DriverLog::noteCall();
    const auto file = comm(handle);
    if (!file)
        return FALSE;
    if (!timeouts)
        return fail(ERROR_INVALID_PARAMETER);
    *timeouts = file->currentTimeouts();
    return TRUE;
}

BOOL SetCommState(HANDLE handle, LPDCB dcb)
{
    DriverLog::noteCall();
    const auto file = comm(handle);
    if (!file)
        return FALSE;
    if (!dcb)
        return fail(ERROR_INVALID_PARAMETER);
    DriverLog::noteConfig(*dcb);
    return file->setState(*dcb);
}

BOOL PurgeComm(HANDLE handle, DWORD flags)
{
    DriverLog::noteCall();
    const auto file = comm(handle);
    if (!file)
        return FALSE;
    return file->purge(flags);
}

BOOL SetCommMask(HANDLE handle, DWORD mask)
{
    DriverLog::noteCall();
    const auto file = comm(handle);
    if (!file)
        return FALSE;
    DriverLog::noteMask(mask);
    if (injected(DriverLog::Call::SetCommMask))
        return FALSE;
    return file->setMask(mask);
}

BOOL WaitCommEvent(HANDLE handle, LPDWORD mask, LPOVERLAPPED overlapped)
{
    DriverLog::noteCall();
    const auto file = comm(handle);
    if (!file)
        return FALSE;
    if (const auto hook = DriverLog::takeWaitHook())
        hook();
    if (injected(DriverLog::Call::WaitCommEvent))
        return FALSE;
    return file->waitEvent(mask, overlapped);
}

BOOL ClearCommError(HANDLE handle, LPDWORD errors, LPCOMSTAT stat)
{
    DriverLog::noteCall();
    const auto file = comm(handle);
    if (!file)
        return FALSE;
    if (injected(DriverLog::Call::ClearCommError))
        return FALSE;
    return file->clearError(errors, stat);
}

BOOL EscapeCommFunction(HANDLE handle, DWORD function)
{
    DriverLog::noteCall();
    const auto file = comm(handle);
    if (!file)
        return FALSE;
    DriverLog::noteEscape(function);
    return file->escape(function);
}

BOOL GetCommModemStatus(HANDLE handle, LPDWORD status)
{
    DriverLog::noteCall();
    const auto file = comm(handle);
    if (!file)
        return FALSE;
    if (!status)
        return fail(ERROR_INVALID_PARAMETER);
    return file->modemStatus(*status);
}

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED overlapped)
{
    DriverLog::noteCall();
    const auto file = comm(handle);
    if (!file)
        return FALSE;
    // A handle opened for overlapped I/O needs an OVERLAPPED, as on Windows.
    if (file->overlapped() && !overlapped)
        return fail(ERROR_INVALID_PARAMETER);
    if (injected(DriverLog::Call::ReadFile)) {
        finishOverlapped(overlapped, FALSE, 0);
        return FALSE;
    }
    DWORD done = 0;
    const BOOL ok = file->read(buffer, toRead, done, overlapped);
    if (read)
        *read = done;
    return ok;
}

BOOL WriteFile(
    HANDLE handle, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED overlapped)
{
    DriverLog::noteCall();
    const auto file = comm(handle);
    if (!file)
        return FALSE;
    if (file->overlapped() && !overlapped)
        return fail(ERROR_INVALID_PARAMETER);
    if (injected(DriverLog::Call::WriteFile)) {
        finishOverlapped(overlapped, FALSE, 0);
        return FALSE;
    }
    DWORD done = 0;
    const BOOL ok = file->write(buffer, toWrite, done, overlapped);
    if (written)
        *written = done;
    return ok;
}

BOOL GetOverlappedResult(HANDLE handle, LPOVERLAPPED overlapped, LPDWORD transferred, BOOL wait)
{
    DriverLog::noteCall();
    if (!comm(handle))
        return FALSE;
    if (!overlapped)
        return fail(ERROR_INVALID_PARAMETER);
    // The event tells when the I/O has ended; a manual-reset event stays
    // signalled for the next look.
    const auto event = HandleTable::find<EventObject>(overlapped->hEvent);
    if (!event)
        return fail(ERROR_INVALID_HANDLE);
    if (wait)
        event->wait(-1);
    else if (!event->wait(0))
        return fail(ERROR_IO_INCOMPLETE);
    if (transferred)
        *transferred = static_cast<DWORD>(overlapped->InternalHigh);
    if (overlapped->Internal != 0)
        return fail(static_cast<DWORD>(overlapped->Internal));
    return TRUE;
}

BOOL FlushFileBuffers(HANDLE handle)
{
    DriverLog::noteCall();
    const auto file = comm(handle);
    return file ? file->flush() : FALSE;
}

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCWSTR)
{
    DriverLog::noteCall();
    return HandleTable::add(std::make_shared<EventObject>(manualReset != 0, initialState != 0));
}

BOOL SetEvent(HANDLE handle)
{
    DriverLog::noteCall();
    const auto event = HandleTable::find<EventObject>(handle);
    if (!event)
        return fail(ERROR_INVALID_HANDLE);
    event->set();
    return TRUE;
}

BOOL ResetEvent(HANDLE handle)
{
    DriverLog::noteCall();
    const auto event = HandleTable::find<EventObject>(handle);
    if (!event)
        return fail(ERROR_INVALID_HANDLE);
    event->reset();
    return TRUE;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds)
{
    DriverLog::noteCall();
    const auto event = HandleTable::find<EventObject>(handle);
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    if (milliseconds == INFINITE)
        return event->wait(-1) ? WAIT_OBJECT_0 : WAIT_FAILED;
    return event->waitFor(DriverLog::waitTime(milliseconds)) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

void Sleep(DWORD milliseconds)
{
    DriverLog::noteCall();
    if (milliseconds == 0)
        std::this_thread::yield();
    else
        std::this_thread::sleep_for(DriverLog::waitTime(milliseconds));
}
