#include "pseudoterminal.h"

#include <array>
#include <cstdlib>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr std::array<std::pair<speed_t, int>, 24> kSpeeds { {
    { B50, 50 },
    { B75, 75 },
    { B110, 110 },
    { B134, 134 },
    { B150, 150 },
    { B200, 200 },
    { B300, 300 },
    { B600, 600 },
    { B1200, 1200 },
    { B1800, 1800 },
    { B2400, 2400 },
    { B4800, 4800 },
    { B9600, 9600 },
    { B19200, 19200 },
    { B38400, 38400 },
    { B57600, 57600 },
    { B115200, 115200 },
    { B230400, 230400 },
    { B460800, 460800 },
    { B921600, 921600 },
    { B1000000, 1000000 },
    { B1152000, 1152000 },
    { B1500000, 1500000 },
    { B2500000, 2500000 },
} };

constexpr int kFallbackSpeed = 115200;

// What Linux gives every new serial device (ttyS, ttyUSB, ttyACM alike) until a program changes
// it: a terminal for a person at a keyboard, with carriage returns turned into line feeds and
// XON/XOFF flow control on input, lines assembled and echoed, output newlines expanded, 9600
// bit/s. The control characters keep the kernel's defaults that the pair came with.
void adapterDefaults(termios& t)
{
    t.c_iflag = ICRNL | IXON;
    t.c_oflag = OPOST | ONLCR;
    t.c_cflag = CS8 | CREAD | HUPCL | CLOCAL;
    t.c_lflag = ISIG | ICANON | ECHO | ECHOE | ECHOK | ECHOCTL | ECHOKE | IEXTEN;
    ::cfsetispeed(&t, B9600);
    ::cfsetospeed(&t, B9600);
}

} // namespace

PseudoTerminal::~PseudoTerminal()
{
    close();
}

bool PseudoTerminal::open(bool raw)
{
    close();
    const int fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd == -1)
        return false;
    const char* name = nullptr;
    if (::grantpt(fd) != 0 || ::unlockpt(fd) != 0 || (name = ::ptsname(fd)) == nullptr) {
        ::close(fd);
        return false;
    }
    // Settings made on the master apply to the slave: the pair has one line.
    termios t {};
    if (::tcgetattr(fd, &t) == 0) {
        if (raw) {
            ::cfmakeraw(&t);
            ::cfsetispeed(&t, B115200);
            ::cfsetospeed(&t, B115200);
        } else {
            adapterDefaults(t);
        }
        ::tcsetattr(fd, TCSANOW, &t);
    }
    master = fd;
    slave = name;
    // Until the slave has been opened once the master cannot tell that nobody listens; one open
    // and close here makes it report a hang-up until the program arrives.
    flushFarEnd();
    return true;
}

void PseudoTerminal::close()
{
    if (master != -1) {
        ::close(master);
        master = -1;
    }
}

int PseudoTerminal::lineSpeed() const
{
    termios t {};
    if (master == -1 || ::tcgetattr(master, &t) != 0)
        return kFallbackSpeed;
    const speed_t code = ::cfgetospeed(&t);
    for (const auto& [c, bits] : kSpeeds) {
        if (c == code)
            return bits;
    }
    return kFallbackSpeed;
}

bool PseudoTerminal::farEndOpen() const
{
    if (master == -1)
        return false;
    pollfd p { master, POLLIN, 0 };
    if (::poll(&p, 1, 0) < 0)
        return true; // interrupted: ask again next time rather than drop the program
    return (p.revents & POLLHUP) == 0;
}

void PseudoTerminal::flushFarEnd() const
{
    if (master == -1)
        return;
    const int fd = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd == -1)
        return;
    ::tcflush(fd, TCIFLUSH);
    ::close(fd);
}
