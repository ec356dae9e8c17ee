// Plain vector types used by the wire encodings; the scripting math helpers extend them.
#pragma once

namespace Torvane3D
{
    struct CVector2D
    {
        float x = 0.0f, y = 0.0f;
        CVector2D() = default;
        constexpr CVector2D(float fX, float fY) : x(fX), y(fY) {}
        bool operator==(const CVector2D&) const = default;
    };

    struct CVector3D
    {
        float x = 0.0f, y = 0.0f, z = 0.0f;
        CVector3D() = default;
        constexpr CVector3D(float fX, float fY, float fZ) : x(fX), y(fY), z(fZ) {}
        bool operator==(const CVector3D&) const = default;
    };
}
