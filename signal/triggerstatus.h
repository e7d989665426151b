#pragma once

#include "trigger.h"

// What the oscilloscope's trigger is doing, for the text beside its controls,
// and what the Run/Stop button does when pressed. Plain functions, no widgets.
namespace osc {

enum class TrigStatus {
    Auto, // frames are shown without an edge: free run, or "Auto" past its wait
    Wait, // waiting for an edge ("Norm", "Single", "Auto" within its wait)
    Trig, // the picture shown was taken on an edge
    Stop, // the picture is held: a "Single" shot taken, or stopped by Run/Stop
};

// Everything the status depends on.
struct TrigSituation {
    TrigMode mode = TrigMode::FreeRun;
    bool edgeFound = false; // the latest frame looked at held an edge
    bool held = false; // "Single" holds the shot it took
    bool stopped = false; // Run/Stop froze the picture
    int ticksSinceEdge = 0; // refresh ticks since the last edge
};

TrigStatus trigStatus(const TrigSituation &situation);
// "Auto", "Wait", "Trig" or "Stop".
const char *trigStatusText(TrigStatus status);

// What a press of Run/Stop does next.
enum class RunAction {
    Stop, // running: freeze the picture
    Run, // stopped: go on
    Rearm, // a "Single" shot is held: arm the next one
};

RunAction runAction(bool stopped, bool held);
// The button's text: the action it takes, "Stop", "Run" or "Single".
const char *runActionText(RunAction action);

} // namespace osc
