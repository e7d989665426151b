#include "onebyteline.h"

#include <algorithm>

OneByteLine::OneByteLine(ByteLine &line)
    : inner(line)
{
}

ByteLine::Result OneByteLine::mirrored(Result result)
{
    reads.store(inner.readCalls(), std::memory_order_relaxed);
    writes.store(inner.writeCalls(), std::memory_order_relaxed);
    return result;
}

ByteLine::Result OneByteLine::read(char *data, int max, int &count)
{
    return mirrored(inner.read(data, std::min(max, 1), count));
}

ByteLine::Result OneByteLine::readWithin(char *data, int max, int &count, int ms)
{
    return mirrored(inner.readWithin(data, std::min(max, 1), count, ms));
}

ByteLine::Result OneByteLine::write(const char *data, int n)
{
    return mirrored(inner.write(data, n));
}

bool OneByteLine::pause(int ms)
{
    return inner.pause(ms);
}

void OneByteLine::stop()
{
    inner.stop();
}
