#include <Engine/Signalable.h>

#include <chrono>

namespace Torvane3D
{
    void Signalable::Signal()
    {
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_bSignalled.store(true, std::memory_order_release);
        }
        m_Condition.notify_all();
    }

    void Signalable::Reset()
    {
        std::lock_guard<std::mutex> lock(m_Mutex);
        m_bSignalled.store(false, std::memory_order_release);
    }

    bool Signalable::Wait(uint32_t uiMilliseconds)
    {
        std::unique_lock<std::mutex> lock(m_Mutex);
        return m_Condition.wait_for(lock, std::chrono::milliseconds(uiMilliseconds),
            [this] { return m_bSignalled.load(std::memory_order_acquire); });
    }
}
