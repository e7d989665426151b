#include "driverlog.h"

#include "eventobject.h"
#include "handletable.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

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

bool tickFromEnvironment()
{
    const char* value = std::getenv("WIN32POSIX_WINDOWS_TICK");
    return value && *value && std::strcmp(value, "0") != 0;
}

// The default timer resolution of Windows: 64 ticks a second.
constexpr long long kTickUs = 15625;

std::atomic<bool> tick { tickFromEnvironment() };
std::atomic<unsigned long long> callCount { 0 };

struct State {
    std::mutex mutex;
    DriverLog::Record record;
    std::map<DriverLog::Call, std::pair<DWORD, int>> failures; // error, times left
    DCB defaults = bootDefaults();
    DWORD commErrors = 0;
    bool modemOverride = false;
    DWORD modem = 0;
    std::function<void()> waitHook;
    bool emptyMaskPends = false;
    bool readsWaitForAll = false;
    bool hungUpReadsEndEmpty = false;
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
    s.waitHook = nullptr;
    s.emptyMaskPends = false;
    s.readsWaitForAll = false;
    s.hungUpReadsEndEmpty = false;
}

void DriverLog::setWindowsTick(bool on)
{
    tick.store(on);
}

bool DriverLog::windowsTick()
{
    return tick.load();
}

std::chrono::microseconds DriverLog::waitTime(DWORD ms)
{
    const long long us = static_cast<long long>(ms) * 1000;
    if (!tick.load() || us == 0)
        return std::chrono::microseconds(us);
    return std::chrono::microseconds((us + kTickUs - 1) / kTickUs * kTickUs);
}

void DriverLog::beforeNextWaitCommEvent(std::function<void()> hook)
{
    std::lock_guard<std::mutex> lock(state().mutex);
    state().waitHook = std::move(hook);
}

std::function<void()> DriverLog::takeWaitHook()
{
    std::lock_guard<std::mutex> lock(state().mutex);
    return std::exchange(state().waitHook, nullptr);
}

void DriverLog::setEmptyMaskWaitPends(bool pends)
{
    std::lock_guard<std::mutex> lock(state().mutex);
    state().emptyMaskPends = pends;
}

bool DriverLog::emptyMaskWaitPends()
{
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().emptyMaskPends;
}

void DriverLog::setReadsWaitForAll(bool on)
{
    std::lock_guard<std::mutex> lock(state().mutex);
    state().readsWaitForAll = on;
}

bool DriverLog::readsWaitForAll()
{
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().readsWaitForAll;
}

void DriverLog::setHungUpReadsEndEmpty(bool on)
{
    std::lock_guard<std::mutex> lock(state().mutex);
    state().hungUpReadsEndEmpty = on;
}

bool DriverLog::hungUpReadsEndEmpty()
{
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().hungUpReadsEndEmpty;
}

void DriverLog::noteLateRead()
{
    std::lock_guard<std::mutex> lock(state().mutex);
    ++state().record.lateReads;
}

unsigned long long DriverLog::calls()
{
    return callCount.load(std::memory_order_relaxed);
}

void DriverLog::noteCall()
{
    callCount.fetch_add(1, std::memory_order_relaxed);
}

void DriverLog::failNext(Call call, DWORD error, int times)
{
    std::lock_guard<std::mutex> lock(state().mutex);
    state().failures[call] = { error, times };
}

int DriverLog::failuresLeft(Call call)
{
    std::lock_guard<std::mutex> lock(state().mutex);
    const auto it = state().failures.find(call);
    return it == state().failures.end() ? 0 : it->second.second;
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
    error = it->second.first;
    if (--it->second.second <= 0)
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

void DriverLog::noteConfigRefused()
{
    std::lock_guard<std::mutex> lock(state().mutex);
    ++state().record.configRefusals;
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
