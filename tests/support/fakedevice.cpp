#include "fakedevice.h"

#include "linkpolicy.h"

#include <QVector>

#include <algorithm>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

FakeDevice::FakeDevice(Line line)
{
    // The worker's first hunt waits for this device's first frame however
    // long the test takes to send it, as it waits for a frame once it has one.
    LinkPolicy::setFirstHuntQuietMs(kScriptedQuietMs);
    master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master == -1)
        return;
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        hangUp();
        return;
    }
    path = QString::fromLocal8Bit(::ptsname(master));
    // The pair has one line, set through either end. It starts as Linux hands
    // out every new serial adapter: carriage returns turned into line feeds,
    // XON/XOFF on input, canonical input with echo, newlines expanded on
    // output, 9600 bit/s. Only a program that makes it raw reads frames right.
    termios t{};
    ::tcgetattr(master, &t);
    if (line == Line::Raw) {
        ::cfmakeraw(&t);
    } else {
        t.c_iflag = ICRNL | IXON;
        t.c_oflag = OPOST | ONLCR;
        t.c_cflag = CS8 | CREAD | HUPCL | CLOCAL;
        t.c_lflag = ISIG | ICANON | ECHO | ECHOE | ECHOK | ECHOCTL | ECHOKE | IEXTEN;
        ::cfsetispeed(&t, B9600);
        ::cfsetospeed(&t, B9600);
    }
    ::tcsetattr(master, TCSANOW, &t);
}

void FakeDevice::stopReading()
{
    const int slave = ::open(path.toLatin1().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (slave == -1)
        return;
    // The kernel moves bytes on between its buffers for a while after the
    // first refusal: fill until the line stays full.
    const char filler[256] = {};
    for (int refusals = 0; refusals < 5;) {
        if (::write(slave, filler, sizeof filler) > 0) {
            refusals = 0;
        } else {
            ++refusals;
            ::usleep(20000);
        }
    }
    ::close(slave);
}

FakeDevice::~FakeDevice()
{
    LinkPolicy::setFirstHuntQuietMs(0);
    hangUp();
}

void FakeDevice::send(const QByteArray &bytes)
{
    int done = 0;
    while (master != -1 && done < bytes.size()) {
        const ssize_t n = ::write(master, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n <= 0)
            return;
        done += static_cast<int>(n);
    }
}

QByteArray FakeDevice::read(int n, int timeoutMs)
{
    QByteArray got;
    while (master != -1 && got.size() < n) {
        pollfd p{master, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0 || !(p.revents & POLLIN))
            break;
        char buffer[4096];
        const int want = std::min(n - static_cast<int>(got.size()), static_cast<int>(sizeof buffer));
        const ssize_t r = ::read(master, buffer, static_cast<size_t>(want));
        if (r <= 0)
            break;
        got.append(buffer, static_cast<int>(r));
    }
    return got;
}

QByteArray FakeDevice::readPaced(int n, int speed, int timeoutMs)
{
    // A slice of the line's time at a time, as a UART hands its bytes over.
    constexpr auto kSlice = std::chrono::milliseconds(10);
    const int perSlice = std::max(1, static_cast<int>(speed / 10 * kSlice.count() / 1000));
    QByteArray got;
    auto due = std::chrono::steady_clock::now();
    while (got.size() < n) {
        std::this_thread::sleep_until(due);
        const QByteArray more = read(std::min(perSlice, n - static_cast<int>(got.size())), timeoutMs);
        if (more.isEmpty())
            break;
        got += more;
        due += kSlice * more.size() / perSlice;
    }
    return got;
}

int FakeDevice::unread() const
{
    int queued = 0;
    return master != -1 && ::ioctl(master, FIONREAD, &queued) == 0 ? queued : 0;
}

void FakeDevice::dropUnread()
{
    if (master != -1)
        ::tcflush(master, TCIFLUSH);
}

QByteArray FakeDevice::drain(int quietMs)
{
    QByteArray got;
    for (;;) {
        const QByteArray more = read(4096, quietMs);
        if (more.isEmpty())
            return got;
        got += more;
    }
}

bool FakeDevice::expect(const QByteArray &bytes, int timeoutMs)
{
    const QByteArray got = read(static_cast<int>(bytes.size()), timeoutMs);
    if (got != bytes)
        qWarning("expected %s, got %s", bytes.toHex().constData(), got.toHex().constData());
    return got == bytes;
}

QByteArray FakeDevice::serveRequests(int quietMs)
{
    send(frame({}));
    if (read(1) != "g")
        return QByteArrayLiteral("<no frame ack>");
    QByteArray requests;
    for (QByteArray c = read(1, quietMs); !c.isEmpty(); c = read(1, quietMs)) {
        requests.append(c);
        if (c != "g")
            send(c);
    }
    return requests;
}

int FakeDevice::serveGenerator(int quietMs)
{
    int tables = 0;
    for (QByteArray c = read(1, quietMs); !c.isEmpty(); c = read(1, quietMs)) {
        if (c == "S") {
            if (read(1024).size() != 1024)
                return -1;
            ++tables;
            continue;
        }
        send(c);
        if (c != "s")
            continue;
        // Seven clock digits, each echoed, then a "q" that is not.
        for (int i = 0; i < 7; ++i) {
            const QByteArray d = read(1);
            if (d.isEmpty())
                return -1;
            send(d);
        }
        if (read(1) != "q")
            return -1;
    }
    return tables;
}

void FakeDevice::hangUp()
{
    if (master != -1) {
        ::close(master);
        master = -1;
    }
}

QByteArray FakeDevice::frame(const QVector<int> &samples)
{
    QByteArray bytes("S");
    for (int i = 0; i < 1024; ++i) {
        const int v = i < samples.size() ? samples[i] : 0;
        bytes.append(static_cast<char>(v & 0xFF));
        bytes.append(static_cast<char>((v >> 8) & 0xFF));
    }
    bytes.append('E');
    return bytes;
}
