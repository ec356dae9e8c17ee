// A flag that one thread raises and others poll or wait for (manual reset).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace Torvane3D
{
    class Signalable
    {
    public:
        Signalable() = default;
        Signalable(const Signalable&) = delete;
        Signalable& operator=(const Signalable&) = delete;

        // Sets the flag and wakes every waiter.
        void Signal();
        void Reset();
        bool IsSignalled() const { return m_bSignalled.load(std::memory_order_acquire); }

        // Waits until the flag is set or the time is up; true when it is set.
        bool Wait(uint32_t uiMilliseconds);

    private:
        std::atomic<bool> m_bSignalled{false};
        std::mutex m_Mutex;
        std::condition_variable m_Condition;
    };
}
