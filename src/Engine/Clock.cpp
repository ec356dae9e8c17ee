#include <Engine/Clock.h>

#include <chrono>

namespace Torvane3D
{
    using SteadyClock = std::chrono::steady_clock;

    static SteadyClock::time_point& ClockStart()
    {
        static SteadyClock::time_point s_Start = SteadyClock::now();
        return s_Start;
    }

    void InitClock()
    {
        (void)ClockStart();
    }

    uint64_t GetTickCount64()
    {
        return static_cast<uint64_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - ClockStart()).count());
    }

    uint32_t GetTickCount32()
    {
        return static_cast<uint32_t>(GetTickCount64());
    }
}
