#include "serialport.h"

#include "posixline.h"

#include <array>
#include <utility>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr std::array<std::pair<int, speed_t>, 10> kSpeeds{{
    {19200, B19200},
    {38400, B38400},
    {57600, B57600},
    {115200, B115200},
    {230400, B230400},
    {460800, B460800},
    {921600, B921600},
    {1152000, B1152000},
    {1500000, B1500000},
    {2500000, B2500000},
}};

speed_t speedCode(int speed)
{
    for (const auto &[bits, code] : kSpeeds) {
        if (bits == speed)
            return code;
    }
    return B115200;
}

} // namespace

SerialPort::SerialPort() = default;

SerialPort::~SerialPort()
{
    Close();
}

bool SerialPort::Open(const char *path)
{
    fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd == -1)
        return false;
    // Only a terminal behaves as the worker expects: a regular file or
    // /dev/null would answer every read at once and never time out.
    if (!::isatty(fd)) {
        ::close(fd);
        fd = -1;
        return false;
    }
    ::fcntl(fd, F_SETFL, 0);
    posixLine = std::make_unique<PosixLine>(fd);
    return true;
}

void SerialPort::Set(int speed)
{
    const speed_t code = speedCode(speed);
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfsetispeed(&t, code);
    ::cfsetospeed(&t, code);
    t.c_lflag &= ~static_cast<tcflag_t>(ISIG | ICANON | ECHO | ECHOE);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 30;
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | CREAD | PARENB | CLOCAL);
    t.c_cflag |= CS8 | CREAD | CLOCAL;
    ::tcsetattr(fd, TCSANOW, &t);
}

void SerialPort::Close()
{
    posixLine.reset();
    if (fd != -1) {
        ::close(fd);
        fd = -1;
    }
}

ByteLine &SerialPort::line()
{
    return *posixLine;
}
