// The setup.txt reader fed arbitrary file content, decoded as the window
// decodes the file (UTF-8). Beyond "no crash":
//  - what is read does not depend on the start values: read over two
//    different sets of them, the same keys are unread and the rest agree;
//  - an unread key keeps its start value; a read one lies in its range, and
//    so does every entry of a table read;
//  - a text without "version=1" gives nothing at all;
//  - what the program writes for the result reads back whole and the same.
#include "setupfile.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdlib>

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

setupfile::Setup filled(bool high)
{
    setupfile::Setup s;
    for (const setupfile::Key &key : setupfile::kKeys)
        key.field(s) = high ? key.high : key.low;
    s.generator.table.fill(high ? setupfile::kTableHigh : setupfile::kTableLow);
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QString text
        = QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const setupfile::Setup lows = filled(false);
    const setupfile::Setup highs = filled(true);
    const setupfile::Reading a = setupfile::parse(text, lows);
    const setupfile::Reading b = setupfile::parse(text, highs);

    check(a.foreign == b.foreign && a.unread == b.unread && a.strayLines == b.strayLines);
    check(a.complete() == (!a.foreign && a.unread.isEmpty() && a.strayLines == 0));
    if (a.foreign)
        check(a.unread.size() == static_cast<qsizetype>(setupfile::kKeys.size()) + 1);

    const setupfile::Setup &ra = a.setup;
    const setupfile::Setup &rb = b.setup;
    for (const setupfile::Key &key : setupfile::kKeys) {
        const int va = setupfile::valueOf(key, ra);
        const int vb = setupfile::valueOf(key, rb);
        if (a.unread.contains(QLatin1String(key.name))) {
            check(va == setupfile::valueOf(key, lows) && vb == setupfile::valueOf(key, highs));
        } else {
            check(va == vb && va >= key.low && va <= key.high);
        }
    }
    if (a.unread.contains(QLatin1String(setupfile::kTableKey))) {
        check(ra.generator.table == lows.generator.table
            && rb.generator.table == highs.generator.table);
    } else {
        check(ra.generator.table == rb.generator.table);
        for (const int entry : ra.generator.table)
            check(entry >= setupfile::kTableLow && entry <= setupfile::kTableHigh);
    }

    const QString written = setupfile::format(ra);
    const setupfile::Reading again = setupfile::parse(written, highs);
    check(again.complete());
    check(setupfile::format(again.setup) == written);
    return 0;
}
