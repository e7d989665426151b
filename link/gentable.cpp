#include "gentable.h"

Table GenTable::snapshot() const
{
    std::lock_guard<std::mutex> lock(mutex);
    return data;
}
