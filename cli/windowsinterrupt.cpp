#include "interrupt.h"

#include <windows.h>

#include <atomic>

namespace interrupt {

namespace {

    std::atomic<bool> raised { false };

    // Runs on a thread of its own that the console starts. Ctrl+C, Ctrl+Break
    // and a closed console window end the command as SIGINT does on Linux;
    // for a closed window Windows ends the process once this returns, so the
    // handler gives the command's loop a moment to finish its output.
    BOOL WINAPI onControl(DWORD event)
    {
        raised.store(true, std::memory_order_relaxed);
        if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
            Sleep(2000);
        return TRUE;
    }

} // namespace

void install()
{
    SetConsoleCtrlHandler(onControl, TRUE);
}

bool requested()
{
    return raised.load(std::memory_order_relaxed);
}

} // namespace interrupt
