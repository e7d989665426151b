#pragma once

#include <string>

// The master side of a pseudo-terminal pair: the simulated device's end of the "cable". The
// program under test opens the slave as if it were a serial port.
class PseudoTerminal {
public:
    PseudoTerminal() = default;
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // A new pair, master non-blocking. The line starts as a new serial adapter's does (carriage
    // return translation, XON/XOFF, canonical input with echo): the program must make it raw.
    // With raw it starts raw already.
    bool open(bool raw = false);
    void close();
    bool isOpen() const { return master != -1; }
    int descriptor() const { return master; }
    const std::string& slavePath() const { return slave; }

    // The line speed the program set on the slave, in bit/s (the pair shares one setting).
    int lineSpeed() const;
    // Whether a program holds the slave open.
    bool farEndOpen() const;
    // Drops bytes the device sent that nobody read, so the next program starts clean.
    void flushFarEnd() const;

private:
    int master = -1;
    std::string slave;
};
