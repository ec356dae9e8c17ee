// The engine clock: milliseconds since it started, on a monotonic source.
#pragma once

#include <cstdint>

namespace Torvane3D
{
    void InitClock();
    // The 32-bit process clock that wraps after about 49.7 days; compare differences only.
    uint32_t GetTickCount32();
    // The same clock without the wrap; interval logic should prefer it.
    uint64_t GetTickCount64();
}
