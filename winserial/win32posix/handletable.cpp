#include "handletable.h"

#include <map>
#include <mutex>

namespace {

struct Table {
    std::mutex mutex;
    std::map<HANDLE, std::shared_ptr<KernelObject>> objects;
};

Table& table()
{
    static Table instance;
    return instance;
}

} // namespace

HANDLE HandleTable::add(std::shared_ptr<KernelObject> object)
{
    Table& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    const HANDLE handle = object.get();
    t.objects.emplace(handle, std::move(object));
    return handle;
}

bool HandleTable::remove(HANDLE handle)
{
    std::shared_ptr<KernelObject> last; // released outside the lock: its destructor may wait
    Table& t = table();
    {
        std::lock_guard<std::mutex> lock(t.mutex);
        const auto it = t.objects.find(handle);
        if (it == t.objects.end())
            return false;
        last = std::move(it->second);
        t.objects.erase(it);
    }
    last->closed();
    return true;
}

int HandleTable::count(const std::function<bool(const KernelObject&)>& predicate)
{
    Table& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    int n = 0;
    for (const auto& entry : t.objects) {
        if (predicate(*entry.second))
            ++n;
    }
    return n;
}

std::shared_ptr<KernelObject> HandleTable::findObject(HANDLE handle)
{
    Table& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    const auto it = t.objects.find(handle);
    return it == t.objects.end() ? nullptr : it->second;
}
