#include "driverlog.h"

#include "eventobject.h"
#include "handletable.h"

#include <map>
#include <mutex>

namespace {

DCB bootDefaults()
{
    DCB dcb {};
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = 9600;
    dcb.fBinary = 1;
    dcb.fDtrControl = DTR_CONTROL_ENABLE;
    dcb.fRtsControl = RTS_CONTROL_ENABLE;
    dcb.XonLim = 2048;
    dcb.XoffLim = 512;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    return dcb;
}

struct State {
    std::mutex mutex;
    DriverLog::Record record;
    std::map<DriverLog::Call, DWORD> failures;
    DCB defaults = bootDefaults();
    DWORD commErrors = 0;
    bool modemOverride = false;
    DWORD modem = 0;
};

State& state()
{
    static State instance;
    return instance;
}

} // namespace

DriverLog::Record DriverLog::record()
{
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().record;
}

void DriverLog::reset()
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.record = Record {};
    s.failures.clear();
    s.defaults = bootDefaults();
    s.commErrors = 0;
    s.modemOverride = false;
    s.modem = 0;
}

void DriverLog::failNext(Call call, DWORD error)
{
    std::lock_guard<std::mutex> lock(state().mutex);
    state().failures[call] = error;
}

void DriverLog::setDriverDefaults(const DCB& dcb)
{
    std::lock_guard<std::mutex> lock(state().mutex);
    state().defaults = dcb;
}

DCB DriverLog::driverDefaults()
{
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().defaults;
}

void DriverLog::injectCommErrors(DWORD flags)
{
    std::lock_guard<std::mutex> lock(state().mutex);
    state().commErrors = flags;
}

void DriverLog::setModemStatus(DWORD status)
{
    std::lock_guard<std::mutex> lock(state().mutex);
    state().modemOverride = true;
    state().modem = status;
}

int DriverLog::liveHandles()
{
    return HandleTable::count([](const KernelObject&) { return true; });
}

int DriverLog::liveEvents()
{
    return HandleTable::count(
        [](const KernelObject& object) { return dynamic_cast<const EventObject*>(&object); });
}

bool DriverLog::takeFailure(Call call, DWORD& error)
{
    State& s = state();
    std::lock_guard<std::mutex> lock(s.mutex);
    const auto it = s.failures.find(call);
    if (it == s.failures.end())
        return false;
    error = it->second;
    s.failures.erase(it);
    return true;
}

DWORD DriverLog::takeCommErrors()
{
    std::lock_guard<std::mutex> lock(state().mutex);
    const DWORD flags = state().commErrors;
    state().commErrors = 0;
    return flags;
}

bool DriverLog::modemStatus(DWORD& status)
{
    std::lock_guard<std::mutex> lock(state().mutex);
    status = state().modem;
    return state().modemOverride;
}

void DriverLog::noteCreate(const std::string& name)
{
    std::lock_guard<std::mutex> lock(state().mutex);
    state().record.createdNames.push_back(name);
}

void DriverLog::noteConfig(const DCB& dcb)
{
    std::lock_guard<std::mutex> lock(state().mutex);
    ++state().record.configWrites;
    state().record.lastConfig = dcb;
}

void DriverLog::noteTimeouts(const COMMTIMEOUTS& timeouts)
{
    std::lock_guard<std::mutex> lock(state().mutex);
    ++state().record.timeoutWrites;
    state().record.lastTimeouts = timeouts;
}

void DriverLog::noteMask(DWORD mask)
{
    std::lock_guard<std::mutex> lock(state().mutex);
    state().record.commMasks.push_back(mask);
}

void DriverLog::noteEscape(DWORD function)
{
    std::lock_guard<std::mutex> lock(state().mutex);
    state().record.escapes.push_back(function);
}
