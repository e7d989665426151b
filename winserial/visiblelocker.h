#pragma once

#if defined(__SANITIZE_THREAD__)
#define LABBENCH_TSAN_ANNOTATIONS 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define LABBENCH_TSAN_ANNOTATIONS 1
#endif
#endif
#ifdef LABBENCH_TSAN_ANNOTATIONS
#include <sanitizer/tsan_interface.h>
#endif

// A Qt locker (QReadLocker, QWriteLocker) that also shows ThreadSanitizer the
// hand-over between the threads taking the lock. The Qt libraries the program
// links are built without the sanitizer, so their locks order nothing in its
// eyes and every member they guard would look raced between the caller and
// the event thread. Everything else is the plain locker: the lock is held
// from construction to destruction.
template <typename Locker, typename Lock>
class VisibleLocker
{
public:
    explicit VisibleLocker(Lock* lock)
        : locker(lock)
        , tag(lock)
    {
#ifdef LABBENCH_TSAN_ANNOTATIONS
        __tsan_acquire(tag);
#endif
    }
    ~VisibleLocker()
    {
#ifdef LABBENCH_TSAN_ANNOTATIONS
        __tsan_release(tag);
#endif
    }
    VisibleLocker(const VisibleLocker&) = delete;
    VisibleLocker& operator=(const VisibleLocker&) = delete;

private:
    Locker locker; // unlocks after the destructor's release
    void* tag;
};
