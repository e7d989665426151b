/* The device end of the line for the Win32 check: a pseudo-terminal whose
 * slave the check opens as its COM port. Prints the slave's path, then plays
 * a small device: each byte it gets is a request.
 *   '1'..'9'  sends that many bytes ("abcdefghi") at once
 *   'L'       sends "abc", waits 300 ms, sends "def"
 *   'D'       waits 300 ms, sends "z"
 *   other     ignored (taken as data)
 * Runs until its standard input closes. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

static void sendBytes(int fd, const char *bytes, size_t n)
{
    while (n > 0) {
        const ssize_t done = write(fd, bytes, n);
        if (done <= 0)
            return;
        bytes += done;
        n -= (size_t)done;
    }
}

int main(void)
{
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        return 1;
    struct termios t;
    if (tcgetattr(master, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(master, TCSANOW, &t);
    }
    /* Held open so that the line does not hang up between the check's opens. */
    const int keep = open(ptsname(master), O_RDWR | O_NOCTTY);
    printf("%s\n", ptsname(master));
    fflush(stdout);
    struct pollfd p[2] = { { master, POLLIN, 0 }, { 0, POLLIN, 0 } };
    for (;;) {
        if (poll(p, 2, -1) < 0)
            continue;
        if (p[1].revents) {
            char ignored[64];
            if (read(0, ignored, sizeof ignored) <= 0)
                break;
        }
        if (!(p[0].revents & POLLIN))
            continue;
        char request[256];
        const ssize_t n = read(master, request, sizeof request);
        for (ssize_t i = 0; i < n; ++i) {
            const char c = request[i];
            if (c >= '1' && c <= '9') {
                sendBytes(master, "abcdefghi", (size_t)(c - '0'));
            } else if (c == 'L') {
                sendBytes(master, "abc", 3);
                usleep(300000);
                sendBytes(master, "def", 3);
            } else if (c == 'D') {
                usleep(300000);
                sendBytes(master, "z", 1);
            }
        }
    }
    close(keep);
    close(master);
    return 0;
}
