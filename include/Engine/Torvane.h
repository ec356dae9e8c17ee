// Common definitions of the Torvane3D engine.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__GNUC__)
#define TORVANE_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define TORVANE_PRINTF(fmt, args)
#endif

namespace Torvane3D
{
    constexpr int ENGINE_VERSION_MAJOR = 1;
    constexpr int ENGINE_VERSION_MINOR = 2;
    constexpr int ENGINE_VERSION_PATCH = 0;

    static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the wire encodings assume a little-endian host");
}
