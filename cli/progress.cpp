#include "progress.h"

#include <cstdio>

#include <unistd.h>

namespace {

constexpr auto kQuietStart = std::chrono::seconds(1);
constexpr auto kRefresh = std::chrono::milliseconds(200);

} // namespace

Progress::Progress(int n, const char *what)
    : total(n)
    , unit(what)
    , terminal(::isatty(STDERR_FILENO) == 1)
{
}

Progress::~Progress()
{
    end();
}

void Progress::end()
{
    if (shown)
        std::fputs("\n", stderr);
    shown = false;
}

void Progress::update(int done)
{
    if (!terminal)
        return;
    const auto now = Clock::now();
    if (now - begun < kQuietStart || (shown && now - lastShown < kRefresh && done < total))
        return;
    std::fprintf(stderr, "\r%s %d of %d", unit, done, total);
    std::fflush(stderr);
    lastShown = now;
    shown = true;
}
