#include "triggerstatus.h"

namespace osc {

TrigStatus trigStatus(const TrigSituation &s)
{
    if (s.stopped)
        return TrigStatus::Stop;
    switch (s.mode) {
    case TrigMode::FreeRun:
        return TrigStatus::Auto;
    case TrigMode::Norm:
        return s.edgeFound ? TrigStatus::Trig : TrigStatus::Wait;
    case TrigMode::Auto:
        if (s.edgeFound)
            return TrigStatus::Trig;
        // Past its wait "Auto" shows every frame as it comes.
        return s.ticksSinceEdge > kAutoTicks ? TrigStatus::Auto : TrigStatus::Wait;
    case TrigMode::Single:
        return s.held ? TrigStatus::Stop : TrigStatus::Wait;
    }
    return TrigStatus::Auto;
}

const char *trigStatusText(TrigStatus status)
{
    switch (status) {
    case TrigStatus::Auto:
        return "Auto";
    case TrigStatus::Wait:
        return "Wait";
    case TrigStatus::Trig:
        return "Trig";
    case TrigStatus::Stop:
        return "Stop";
    }
    return "";
}

RunAction runAction(bool stopped, bool held)
{
    if (stopped)
        return RunAction::Run;
    return held ? RunAction::Rearm : RunAction::Stop;
}

const char *runActionText(RunAction action)
{
    switch (action) {
    case RunAction::Stop:
        return "Stop";
    case RunAction::Run:
        return "Run";
    case RunAction::Rearm:
        return "Single";
    }
    return "";
}

} // namespace osc
