#pragma once

#include <array>

// What the simulated ZOR is doing; shared by the device, the host around it and its users.

enum class Mode { Idle, OneChannel, TwoChannels, Generator };

// Misbehaviour the simulated device can be told to show, to exercise the program's recovery.
enum class Fault {
    None,
    Garbage, // stray bytes on the line before a frame's "S"
    NoEnd, // a frame whose "E" never comes
    EarlyEnd, // a data byte "E", then the frame cut short
    WrongEcho, // echoes that differ from the byte received
    Silent, // the device answers nothing at all
    HangUp, // the line goes away halfway through a frame
};

struct DeviceState {
    static constexpr int kTableEntries = 512;

    Mode mode = Mode::Idle;
    int timeBase = 7; // code 0..14, 0 the fastest
    int gain1 = 0; // code 0..6, 0 the largest range
    int gain2 = 0;
    int period = 62; // generator clock periods (32 MHz) per table entry
    int length = 512; // table entries played per signal period
    std::array<int, kTableEntries> table {}; // converter counts -2048..2047
    long framesSent = 0;
    long tablesReceived = 0;
    long watchdogFailures = 0;
};
