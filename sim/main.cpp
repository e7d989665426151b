// zor-sim: a simulated ZOR on a pseudo-terminal, for trying the program without the device.

#include "zorsimulator.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <pthread.h>

namespace {

constexpr const char* kUsage = R"(Usage: zor-sim [options]

Simulates a ZOR measurement device on a pseudo-terminal and prints the path to open as the
serial port. Runs until interrupted (Ctrl+C) or terminated.

Options:
  --link PATH        also make PATH a symlink to the pseudo-terminal (kept pointing at the
                     live one after a hang-up)
  --log FILE         append every byte received from the program to FILE
  --seed N           seed of the noise and of the faults (default 1)
  --noise MV         noise on both inputs, +/- millivolts (default 1, 0 for none)
  --no-pacing        send frames as fast as the program asks, not at the device's pace
  --no-prompts       never send ">" or "w" on the device's own initiative
  --no-connect-prompt
                     do not notice a program opening or closing the port (a device behind a
                     plain serial adapter): no ">" greets it, and the device stays in whatever
                     state the last program left it (generator, mid-setting, mid-upload)
  --fault NAME       misbehave: none, garbage, no-end, early-end, wrong-echo, silent, hang-up
  --every N          the fault hits every Nth frame (wrong-echo: every Nth echo; default 1)
  --come-back MS     after a hang-up or an unplug, come back on a new pseudo-terminal (at the
                     same --link name) after MS milliseconds (default 2000; 0 stays down)
  --raw              start the line raw; by default it starts at the flags Linux gives a
                     new serial adapter (CR to LF, XON/XOFF, echo), as real hardware does
  --pause MS         pause MS milliseconds halfway through frames
  --pause-every N    ... through every Nth frame only (default 1)
  --stall-after N    stop reading the program after N bytes of a generator table upload
                     (a hung receiver: the program's writes pile up in the line)
  --unplug-after MS  pull the cable once, MS milliseconds after a program opened the port; the
                     --link name disappears until --come-back brings the device back
  --circuit C        wire a circuit for frequency-response measurements: the generator's
                     output goes to channel 2 and, through the circuit, to channel 1. C is
                     lowpass:FC or highpass:FC (first order, corner FC hertz) or bandpass:F0:Q
                     (second order, gain 1 at F0 hertz); FC and F0 take a k or M suffix
                     ("lowpass:1k", "bandpass:2.5k:5")
  --help             show this text
)";

bool parseFault(const std::string& name, Fault& fault)
{
    static constexpr struct {
        const char* name;
        Fault fault;
    } kFaults[]
        = { { "none", Fault::None }, { "garbage", Fault::Garbage }, { "no-end", Fault::NoEnd },
              { "early-end", Fault::EarlyEnd }, { "wrong-echo", Fault::WrongEcho },
              { "silent", Fault::Silent }, { "hang-up", Fault::HangUp } };
    for (const auto& f : kFaults) {
        if (name == f.name) {
            fault = f.fault;
            return true;
        }
    }
    return false;
}

bool parseNumber(const char* text, long low, long high, long& value)
{
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text, &end, 10);
    return errno == 0 && end != text && *end == '\0' && value >= low && value <= high;
}

int usageError(const char* message, const char* argument)
{
    std::fprintf(stderr, "zor-sim: %s: %s\nTry zor-sim --help.\n", message, argument);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    ZorSimulator::Options options;
    options.comeBackMs = 2000;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        long number = 0;
        if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg == "--no-pacing") {
            options.paced = false;
        } else if (arg == "--no-prompts") {
            options.prompts = false;
        } else if (arg == "--no-connect-prompt") {
            options.connectPrompt = false;
        } else if (arg == "--raw") {
            options.raw = true;
        } else if (!hasValue) {
            return usageError("unknown option or missing value", argv[i]);
        } else if (arg == "--link") {
            options.linkPath = argv[++i];
        } else if (arg == "--log") {
            options.logPath = argv[++i];
        } else if (arg == "--seed") {
            if (!parseNumber(argv[++i], 0, 4294967295L, number))
                return usageError("bad seed", argv[i]);
            options.seed = static_cast<unsigned>(number);
        } else if (arg == "--noise") {
            char* end = nullptr;
            options.noiseMillivolts = std::strtod(argv[++i], &end);
            if (end == argv[i] || *end != '\0' || options.noiseMillivolts < 0)
                return usageError("bad noise level", argv[i]);
        } else if (arg == "--fault") {
            if (!parseFault(argv[++i], options.fault))
                return usageError("unknown fault", argv[i]);
        } else if (arg == "--every") {
            if (!parseNumber(argv[++i], 1, 1000000, number))
                return usageError("bad rate", argv[i]);
            options.faultEvery = static_cast<int>(number);
        } else if (arg == "--come-back") {
            if (!parseNumber(argv[++i], 0, 3600000, number))
                return usageError("bad delay", argv[i]);
            options.comeBackMs = static_cast<int>(number);
        } else if (arg == "--pause") {
            if (!parseNumber(argv[++i], 1, 60000, number))
                return usageError("bad pause", argv[i]);
            options.framePauseMs = static_cast<int>(number);
        } else if (arg == "--pause-every") {
            if (!parseNumber(argv[++i], 1, 1000000, number))
                return usageError("bad rate", argv[i]);
            options.pauseEvery = static_cast<int>(number);
        } else if (arg == "--stall-after") {
            if (!parseNumber(argv[++i], 0, 1024, number))
                return usageError("bad byte count", argv[i]);
            options.stallAfter = static_cast<int>(number);
        } else if (arg == "--unplug-after") {
            if (!parseNumber(argv[++i], 1, 3600000, number))
                return usageError("bad delay", argv[i]);
            options.unplugAfterMs = static_cast<int>(number);
        } else if (arg == "--circuit") {
            options.circuit = Circuit::parse(argv[++i]);
            if (!options.circuit)
                return usageError(
                    "bad circuit (lowpass:FC, highpass:FC or bandpass:F0:Q)", argv[i]);
        } else {
            return usageError("unknown option", argv[i]);
        }
    }

    // The signals are taken by sigwait below, not by whichever thread they happen to hit.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    ZorSimulator simulator(options);
    if (!simulator.start()) {
        std::fprintf(stderr, "zor-sim: cannot open a pseudo-terminal%s%s: %s\n",
            options.linkPath.empty() ? "" : " or make the link ", options.linkPath.c_str(),
            std::strerror(errno));
        return 1;
    }
    std::printf("%s\n", simulator.slavePath().c_str());
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    simulator.stop();
    const DeviceState s = simulator.state();
    std::fprintf(stderr, "zor-sim: %ld frames sent, %ld tables received, %ld watchdog failures\n",
        s.framesSent, s.tablesReceived, s.watchdogFailures);
    return 0;
}
