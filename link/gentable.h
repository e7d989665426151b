#pragma once

#include "protocol.h"

#include <array>
#include <mutex>

using Table = std::array<int, gentable::kEntries>;

// The generator table: converter counts -2048..2047, one period in entries
// 0..length-1. The GUI thread edits it in place; the worker copies all 512
// entries at the start of an upload, both under the same lock.
class GenTable {
public:
    // Runs edit(int *entries) with the table locked.
    template <typename Edit> void edit(Edit &&change)
    {
        std::lock_guard<std::mutex> lock(mutex);
        change(data.data());
    }
    Table snapshot() const;

private:
    mutable std::mutex mutex;
    Table data {};
};
