#include "bytereader.h"

#include <algorithm>
#include <cstring>

ByteReader::ByteReader(ByteLine &l)
    : line(l)
{
}

ByteLine::Result ByteReader::next(char &c, int waitMs, int expected)
{
    if (begin == end) {
        int count = 0;
        const int size = static_cast<int>(buffer.size());
        const auto result = waitMs >= 0 ? line.readWithin(buffer.data(), size, count, waitMs)
            : expected > 0 ? line.readExpected(buffer.data(), std::min(expected, size), count)
                           : line.read(buffer.data(), size, count);
        if (result != ByteLine::Result::Data)
            return result;
        begin = 0;
        end = count;
    }
    c = buffer[static_cast<std::size_t>(begin++)];
    return ByteLine::Result::Data;
}

ByteLine::Result ByteReader::block(char *data, int n, int &count)
{
    count = std::min(n, end - begin);
    std::memcpy(data, buffer.data() + begin, static_cast<std::size_t>(count));
    begin += count;
    while (count < n) {
        int got = 0;
        const auto result = line.readExpected(data + count, n - count, got);
        if (result == ByteLine::Result::Timeout)
            break;
        if (result != ByteLine::Result::Data)
            return result;
        count += got;
    }
    return ByteLine::Result::Data;
}

void ByteReader::discard()
{
    begin = end = 0;
}
