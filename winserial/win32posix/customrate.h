#pragma once

// Sets a line speed that has no B-constant (14400, 56000, 128000, 256000 and
// such) as the kernel's arbitrary rate; false when the line refuses it. Kept
// apart because the kernel's termios2 cannot share a file with <termios.h>.
bool setCustomRate(int fd, unsigned int rate);
