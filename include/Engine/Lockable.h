// A recursive mutex: the engine's lock for state shared between threads.
#pragma once

#include <mutex>

namespace Torvane3D
{
    class CLockable
    {
    public:
        CLockable() = default;
        CLockable(const CLockable&) = delete;
        CLockable& operator=(const CLockable&) = delete;

        void Lock() { m_Mutex.lock(); }
        bool TryLock() { return m_Mutex.try_lock(); }
        void Unlock() { m_Mutex.unlock(); }

        // BasicLockable, so std::lock_guard and std::unique_lock work with it.
        void lock() { Lock(); }
        bool try_lock() { return TryLock(); }
        void unlock() { Unlock(); }

    private:
        std::recursive_mutex m_Mutex;
    };

    // Holds a CLockable for one scope.
    using CScopedLock = std::lock_guard<CLockable>;
}
