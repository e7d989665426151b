#pragma once

// Anything a HANDLE of the stand-in can stand for: a serial line or an event.
class KernelObject {
public:
    KernelObject() = default;
    virtual ~KernelObject() = default;
    KernelObject(const KernelObject&) = delete;
    KernelObject& operator=(const KernelObject&) = delete;

    // The handle was closed; calls still under way on the object end now.
    virtual void closed() { }
};
