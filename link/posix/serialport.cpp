#include "serialport.h"

#include "posixline.h"

#include <algorithm>
#include <array>
#include <thread>
#include <utility>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/ioctl.h>
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

// The speed the line runs at when asked for `speed`.
int lineSpeedFor(int speed)
{
    for (const auto &[bits, code] : kSpeeds) {
        if (bits == speed)
            return bits;
    }
    return 115200;
}

speed_t speedCode(int speed)
{
    for (const auto &[bits, code] : kSpeeds) {
        if (bits == speed)
            return code;
    }
    return B115200;
}

// What a new serial device starts with (ICRNL, IXON) would turn a sample byte
// 0x0D into 0x0A and swallow 0x11 and 0x13, or stop our own output on a 0x13:
// every input translation and software flow control goes, with parity checks.
constexpr tcflag_t kInputProcessing =
    IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY | INPCK;

// While draining, the queue is looked at after the time its bytes take on
// the line, but at least this often.
constexpr auto kDrainStep = std::chrono::milliseconds(10);
// A byte on the line: start bit, 8 data bits, stop bit.
constexpr int kBitsPerByte = 10;

// What an error of open() says to the user.
OpenFailure openFailure(int error, const char *path)
{
    using Kind = OpenFailure::Kind;
    switch (error) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
        return { Kind::NoSuchPort, {} };
    case EBUSY:
        return { Kind::InUse, {} };
    case EACCES:
    case EPERM: {
        // The group that may use the port (dialout, uucp, ...).
        struct stat st {};
        const group *owner = ::stat(path, &st) == 0 ? ::getgrgid(st.st_gid) : nullptr;
        return { Kind::NoPermission, owner ? QString::fromLocal8Bit(owner->gr_name) : QString() };
    }
    case EISDIR:
    case ENOTTY:
        return { Kind::NotASerialPort, {} };
    default:
        return { Kind::Other, QString::fromLocal8Bit(std::strerror(error)) };
    }
}

} // namespace

SerialPort::SerialPort() = default;

SerialPort::~SerialPort()
{
    Close();
}

bool SerialPort::Open(const char *path)
{
    // The descriptor stays non-blocking: the worker waits for data and for
    // room with poll, where a Close can always reach it.
    lastFailure = {};
    fd = ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd == -1) {
        lastFailure = openFailure(errno, path);
        return false;
    }
    // Only a terminal behaves as the worker expects: a regular file or
    // /dev/null would answer every read at once and never time out.
    // The port is ours alone: two programs reading one line would each get
    // half of every frame. The lock is the one serial tools agree on; root
    // passes TIOCEXCL, but not the lock.
    const bool terminal = ::isatty(fd);
    if (!terminal || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        lastFailure = terminal ? OpenFailure { OpenFailure::Kind::InUse, {} }
                               : OpenFailure { OpenFailure::Kind::NotASerialPort, {} };
        ::close(fd);
        fd = -1;
        errno = terminal ? EWOULDBLOCK : ENOTTY;
        return false;
    }
    ::ioctl(fd, TIOCEXCL);
    posixLine = std::make_unique<PosixLine>(fd);
    return true;
}

void SerialPort::Set(int speed)
{
    const speed_t code = speedCode(speed);
    lineSpeed = lineSpeedFor(speed);
    termios t{};
    ::tcgetattr(fd, &t);
    ::cfsetispeed(&t, code);
    ::cfsetospeed(&t, code);
    t.c_iflag &= ~kInputProcessing;
    t.c_lflag &= ~static_cast<tcflag_t>(ISIG | ICANON | ECHO | ECHOE);
    t.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 30;
    // The ZOR paces us with "g"; a CRTSCTS left on by an earlier program,
    // with CTS not wired, would hold every byte we write.
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | CREAD | PARENB | CLOCAL | CRTSCTS);
    t.c_cflag |= CS8 | CREAD | CLOCAL;
    ::tcsetattr(fd, TCSANOW, &t);
}

void SerialPort::Close()
{
    posixLine.reset();
    if (fd != -1) {
        drainOutput();
        // The exclusive mark outlives the descriptor on some drivers; the
        // next program (or our own next open as a normal user) needs it gone.
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        fd = -1;
    }
}

void SerialPort::drainOutput()
{
    using Clock = std::chrono::steady_clock;
    const auto queuedNow = [this] {
        if (closeDrain.queued)
            return closeDrain.queued();
        int queued = 0;
        return ::ioctl(fd, TIOCOUTQ, &queued) == 0 ? queued : 0;
    };
    const std::chrono::nanoseconds byteTime(
        std::chrono::nanoseconds(std::chrono::seconds(kBitsPerByte)) / lineSpeed);
    const auto stall = closeDrain.stallSlack + byteTime * closeDrain.stallBytes;
    int queued = queuedNow();
    auto shrank = Clock::now();
    // A device that takes bytes only now and then gets twice their time on the line.
    const auto longest = shrank + 2 * byteTime * queued + stall;
    while (queued > 0 && Clock::now() - shrank < stall && Clock::now() < longest) {
        std::this_thread::sleep_for(std::min<std::chrono::nanoseconds>(byteTime * queued, kDrainStep));
        const int left = queuedNow();
        if (left < queued)
            shrank = Clock::now();
        queued = left;
    }
    if (closeDrain.drop) {
        closeDrain.drop();
        ++outputDrops;
    } else if (::tcflush(fd, TCOFLUSH) == 0) {
        ++outputDrops;
    }
}

ByteLine &SerialPort::line()
{
    return *posixLine;
}
