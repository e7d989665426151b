#pragma once

#include "kernelobject.h"
#include "windows.h"

#include <functional>
#include <memory>

// The live handles of the stand-in. A handle is the address of its object;
// lookups hand out shared ownership, so an object closed by one thread stays
// valid for a call another thread is still making on it.
class HandleTable {
public:
    static HANDLE add(std::shared_ptr<KernelObject> object);
    // The object behind a live handle, or null when the handle is not live or
    // not of that kind.
    template <typename T> static std::shared_ptr<T> find(HANDLE handle)
    {
        return std::dynamic_pointer_cast<T>(findObject(handle));
    }
    // Forgets the handle; false when it was not live.
    static bool remove(HANDLE handle);
    // Live handles for which the predicate holds.
    static int count(const std::function<bool(const KernelObject&)>& predicate);

private:
    static std::shared_ptr<KernelObject> findObject(HANDLE handle);
};
