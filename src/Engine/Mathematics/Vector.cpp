#include <Engine/Mathematics/Vector.h>

#include <algorithm>
#include <cmath>

namespace Torvane3D
{
    // Directions closer than this (cosine) are interpolated linearly: the angle is too small
    // for acos and the orthogonal component to be accurate.
    static constexpr float NEARLY_PARALLEL = 0.9995f;

    static float ClampUnit(float t)
    {
        return std::clamp(t, -1.0f, 1.0f);
    }

    // Spherical interpolation of any dimension, from the unit directions of a and b:
    // rotate a's direction towards b's in their common plane by t times the angle between
    // them (the orthogonal component of b spans the plane), and take the length linearly.
    // Antiparallel directions span no plane; Perpendicular gives one.
    template <class TVector, class TPerpendicular>
    static TVector Slerp(const TVector& a, const TVector& b, float t, TPerpendicular Perpendicular)
    {
        float fLengthA = a.Length(), fLengthB = b.Length();
        if (fLengthA <= 0.0f || fLengthB <= 0.0f)
            return a + (b - a) * t;
        TVector ua = a * (1.0f / fLengthA), ub = b * (1.0f / fLengthB);
        float fCos = std::clamp(ua.DotProduct(ub), -1.0f, 1.0f);
        if (fCos > NEARLY_PARALLEL)
            return a + (b - a) * t;
        TVector orthogonal = ub - ua * fCos;
        float fOrthogonal = orthogonal.Length();
        if (fOrthogonal < 1e-6f)
            orthogonal = Perpendicular(ua);
        else
            orthogonal = orthogonal * (1.0f / fOrthogonal);
        float fTheta = std::acos(fCos) * t;
        TVector direction = ua * std::cos(fTheta) + orthogonal * std::sin(fTheta);
        return direction * (fLengthA + (fLengthB - fLengthA) * t);
    }

    static CVector2D Perpendicular2D(const CVector2D& v)
    {
        return {-v.y, v.x};
    }

    // A unit vector at right angles to the unit vector v: the cross product with the axis
    // v leans on least.
    static CVector3D Perpendicular3D(const CVector3D& v)
    {
        float ax = std::fabs(v.x), ay = std::fabs(v.y), az = std::fabs(v.z);
        CVector3D axis = ax <= ay && ax <= az ? CVector3D(1, 0, 0) : ay <= az ? CVector3D(0, 1, 0) : CVector3D(0, 0, 1);
        CVector3D p = v.CrossProduct(axis);
        return p * (1.0f / p.Length());
    }

    float CVector2D::Length() const
    {
        return std::sqrt(SquaredLength());
    }

    CVector2D CVector2D::Interpolate(const CVector2D& v, float t) const
    {
        return Extrapolate(v, ClampUnit(t));
    }

    CVector2D CVector2D::SphericalInterpolate(const CVector2D& v, float t) const
    {
        return SphericalExtrapolate(v, ClampUnit(t));
    }

    CVector2D CVector2D::SphericalExtrapolate(const CVector2D& v, float t) const
    {
        return Slerp(*this, v, t, Perpendicular2D);
    }

    CVector2D CVector2D::AddPolar(float fDistance, float fAngle) const
    {
        return {x + fDistance * std::cos(fAngle), y + fDistance * std::sin(fAngle)};
    }

    CVector2D CVector2D::CartesianToPolar() const
    {
        return {Length(), std::atan2(y, x)};
    }

    float CVector3D::Length() const
    {
        return std::sqrt(SquaredLength());
    }

    float CVector3D::AbsDotProduct(const CVector3D& v) const
    {
        return std::fabs(x * v.x) + std::fabs(y * v.y) + std::fabs(z * v.z);
    }

    float CVector3D::Normalise()
    {
        float fLength = Length();
        if (fLength > 0.0f)
            *this = *this * (1.0f / fLength);
        return fLength;
    }

    CVector3D CVector3D::Interpolate(const CVector3D& v, float t) const
    {
        return Extrapolate(v, ClampUnit(t));
    }

    CVector3D CVector3D::SphericalInterpolate(const CVector3D& v, float t) const
    {
        return SphericalExtrapolate(v, ClampUnit(t));
    }

    CVector3D CVector3D::SphericalExtrapolate(const CVector3D& v, float t) const
    {
        return Slerp(*this, v, t, Perpendicular3D);
    }

    CVector3D CVector3D::AddPolar(float fDistance, float fAngle) const
    {
        return {x + fDistance * std::cos(fAngle), y + fDistance * std::sin(fAngle), z};
    }

    CVector3D CVector3D::AddSpherical(float fDistance, float fPolar, float fAzimuth) const
    {
        return {x + fDistance * std::sin(fPolar) * std::cos(fAzimuth),
            y + fDistance * std::sin(fPolar) * std::sin(fAzimuth), z + fDistance * std::cos(fPolar)};
    }

    CVector3D CVector3D::CartesianToPolar() const
    {
        return {std::sqrt(x * x + y * y), std::atan2(y, x), z};
    }

    CVector3D CVector3D::CartesianToSpherical() const
    {
        float fRho = Length();
        if (fRho <= 0.0f)
            return {0.0f, 0.0f, 0.0f};
        return {fRho, std::acos(std::clamp(z / fRho, -1.0f, 1.0f)), std::atan2(y, x)};
    }
}
