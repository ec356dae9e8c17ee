// Plain vector types (single precision) used by the wire encodings and by scripts.
// They stay trivially copyable: packets and values write them as their bytes.
#pragma once

namespace Torvane3D
{
    struct CVector2D
    {
        float x = 0.0f, y = 0.0f;
        CVector2D() = default;
        constexpr CVector2D(float fX, float fY) : x(fX), y(fY) {}
        bool operator==(const CVector2D&) const = default;

        constexpr CVector2D operator+(const CVector2D& v) const { return {x + v.x, y + v.y}; }
        constexpr CVector2D operator-(const CVector2D& v) const { return {x - v.x, y - v.y}; }
        constexpr CVector2D operator*(float f) const { return {x * f, y * f}; }
        constexpr float DotProduct(const CVector2D& v) const { return x * v.x + y * v.y; }
        constexpr float SquaredLength() const { return x * x + y * y; }
        float Length() const;

        // this + (v - this) * t; Interpolate clamps t to [-1, 1] first.
        CVector2D Interpolate(const CVector2D& v, float t) const;
        CVector2D Extrapolate(const CVector2D& v, float t) const { return *this + (v - *this) * t; }
        // Rotates from this towards v by t times the angle between them, the length going
        // linearly from one to the other. Spherical Interpolate clamps t to [-1, 1].
        CVector2D SphericalInterpolate(const CVector2D& v, float t) const;
        CVector2D SphericalExtrapolate(const CVector2D& v, float t) const;
        // (x + r cos a, y + r sin a)
        CVector2D AddPolar(float fDistance, float fAngle) const;
        // (length, atan2(y, x))
        CVector2D CartesianToPolar() const;
    };

    struct CVector3D
    {
        float x = 0.0f, y = 0.0f, z = 0.0f;
        CVector3D() = default;
        constexpr CVector3D(float fX, float fY, float fZ) : x(fX), y(fY), z(fZ) {}
        bool operator==(const CVector3D&) const = default;

        constexpr CVector3D operator+(const CVector3D& v) const { return {x + v.x, y + v.y, z + v.z}; }
        constexpr CVector3D operator-(const CVector3D& v) const { return {x - v.x, y - v.y, z - v.z}; }
        constexpr CVector3D operator*(float f) const { return {x * f, y * f, z * f}; }
        constexpr float DotProduct(const CVector3D& v) const { return x * v.x + y * v.y + z * v.z; }
        float AbsDotProduct(const CVector3D& v) const;
        constexpr CVector3D CrossProduct(const CVector3D& v) const
        {
            return {y * v.z - z * v.y, z * v.x - x * v.z, x * v.y - y * v.x};
        }
        constexpr CVector3D MidPoint(const CVector3D& v) const { return {(x + v.x) * 0.5f, (y + v.y) * 0.5f, (z + v.z) * 0.5f}; }
        constexpr float SquaredLength() const { return x * x + y * y + z * z; }
        float Length() const;
        float Distance(const CVector3D& v) const { return (v - *this).Length(); }
        constexpr float SquaredDistance(const CVector3D& v) const { return (v - *this).SquaredLength(); }
        // Scales this to length 1 when its length is positive; returns the length it had.
        float Normalise();

        CVector3D Interpolate(const CVector3D& v, float t) const;
        CVector3D Extrapolate(const CVector3D& v, float t) const { return *this + (v - *this) * t; }
        CVector3D SphericalInterpolate(const CVector3D& v, float t) const;
        CVector3D SphericalExtrapolate(const CVector3D& v, float t) const;
        // (x + r cos a, y + r sin a, z)
        CVector3D AddPolar(float fDistance, float fAngle) const;
        // (x + r sin p cos a, y + r sin p sin a, z + r cos p)
        CVector3D AddSpherical(float fDistance, float fPolar, float fAzimuth) const;
        // (length of x and y, atan2(y, x), z)
        CVector3D CartesianToPolar() const;
        // (length, acos(z / length), atan2(y, x)); the zero vector gives (0, 0, 0).
        CVector3D CartesianToSpherical() const;
    };
}
