#include "linkio.h"

LinkIo::Got LinkIo::get(char &c, int waitMs, int expected)
{
    if (!alive())
        return Got::End;
    const auto result = reader.next(c, waitMs, expected);
    if (result == ByteLine::Result::Data)
        return Got::Byte;
    if (result == ByteLine::Result::Timeout)
        return Got::Timeout;
    end = result;
    return Got::End;
}

bool LinkIo::block(char *data, int n, int &count)
{
    count = 0;
    if (!alive())
        return false;
    const auto result = reader.block(data, n, count);
    if (result != ByteLine::Result::Data)
        end = result;
    return alive();
}

bool LinkIo::put(const char *data, int n)
{
    if (!alive())
        return false;
    const auto result = line.write(data, n);
    if (result != ByteLine::Result::Data)
        end = result;
    return alive();
}

bool LinkIo::pause(int ms)
{
    if (alive() && !line.pause(ms))
        end = ByteLine::Result::Stopped;
    return alive();
}

bool LinkIo::rest(int ms)
{
    if (!alive())
        return false;
    const auto rested = line.rest(ms);
    if (rested != ByteLine::Result::Timeout)
        end = rested;
    return alive();
}
