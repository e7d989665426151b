#pragma once

#include <cstdint>

// The ZOR's one-byte commands and markers. Most commands are echoed by the
// device; "w" and ">" are prompts the device sends and the host must answer.
enum class Cmd : char {
    Quit = 'q', // leave the current mode; also closes a parameter sub-command
    OneChannel = 'a', // one-channel acquisition; answer to ">" in that mode
    TwoChannels = 'c', // two-channel acquisition; answer to ">" in that mode
    Generator = 'e', // generator mode
    Gain = 'u', // followed by two gain digits
    Set = 's', // time base (one digit) or generator period/length (seven digits)
    Go = 'g', // next frame please; also precedes a table upload
    Start = 'S', // start of a frame (device) or of a table upload (host)
    End = 'E', // end of a frame
    Watch = 'w', // keep-alive prompt, answered with "w"
    Which = '>', // "which mode?" prompt, answered with "a" or "c"
};

constexpr char byteOf(Cmd c)
{
    return static_cast<char>(c);
}

// A small number 0..15 travels as '0' + n: 10..15 become ':' ';' '<' '=' '>' '?'.
constexpr char digit(int n)
{
    return static_cast<char>('0' + n);
}

namespace frame {
constexpr int kSamples = 1024; // samples per acquisition frame
constexpr int kDataBytes = 2 * kSamples; // little-endian 16-bit samples
constexpr int kReadLimit = kDataBytes + 2; // what one read of a frame may bring
} // namespace frame

namespace gentable {
constexpr int kEntries = 512; // entries in the generator table
constexpr int kBytes = 2 * kEntries; // bytes of one upload
} // namespace gentable
