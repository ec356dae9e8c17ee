#include <Engine/Mathematics/Matrix.h>

#include <cmath>

namespace Torvane3D
{
    CMatrix4x4 CMatrix4x4::Identity()
    {
        CMatrix4x4 mat;
        mat.m[0] = mat.m[5] = mat.m[10] = mat.m[15] = 1.0f;
        return mat;
    }

    CMatrix4x4 CMatrix4x4::Translation(const CVector3D& v)
    {
        CMatrix4x4 mat = Identity();
        mat.At(3, 0) = v.x;
        mat.At(3, 1) = v.y;
        mat.At(3, 2) = v.z;
        return mat;
    }

    CMatrix4x4 CMatrix4x4::Scale(const CVector3D& v)
    {
        CMatrix4x4 mat = Identity();
        mat.At(0, 0) = v.x;
        mat.At(1, 1) = v.y;
        mat.At(2, 2) = v.z;
        return mat;
    }

    CMatrix4x4 CMatrix4x4::RotationX(float fAngle)
    {
        CMatrix4x4 mat = Identity();
        float c = std::cos(fAngle), s = std::sin(fAngle);
        mat.At(1, 1) = c;
        mat.At(1, 2) = s;
        mat.At(2, 1) = -s;
        mat.At(2, 2) = c;
        return mat;
    }

    CMatrix4x4 CMatrix4x4::RotationY(float fAngle)
    {
        CMatrix4x4 mat = Identity();
        float c = std::cos(fAngle), s = std::sin(fAngle);
        mat.At(0, 0) = c;
        mat.At(0, 2) = -s;
        mat.At(2, 0) = s;
        mat.At(2, 2) = c;
        return mat;
    }

    CMatrix4x4 CMatrix4x4::RotationZ(float fAngle)
    {
        CMatrix4x4 mat = Identity();
        float c = std::cos(fAngle), s = std::sin(fAngle);
        mat.At(0, 0) = c;
        mat.At(0, 1) = s;
        mat.At(1, 0) = -s;
        mat.At(1, 1) = c;
        return mat;
    }

    CMatrix4x4 CMatrix4x4::Rotation(const CVector3D& v)
    {
        return RotationX(v.x) * RotationY(v.y) * RotationZ(v.z);
    }

    CMatrix4x4 CMatrix4x4::operator*(const CMatrix4x4& b) const
    {
        CMatrix4x4 product;
        for (unsigned r = 0; r < 4; ++r) {
            for (unsigned c = 0; c < 4; ++c) {
                float f = 0.0f;
                for (unsigned k = 0; k < 4; ++k)
                    f += At(r, k) * b.At(k, c);
                product.At(r, c) = f;
            }
        }
        return product;
    }

    // Cofactor expansion through 2x2 sub-determinants of the upper and lower row pairs.
    bool CMatrix4x4::Invert()
    {
        const float* a = m;
        float s0 = a[0] * a[5] - a[4] * a[1];
        float s1 = a[0] * a[6] - a[4] * a[2];
        float s2 = a[0] * a[7] - a[4] * a[3];
        float s3 = a[1] * a[6] - a[5] * a[2];
        float s4 = a[1] * a[7] - a[5] * a[3];
        float s5 = a[2] * a[7] - a[6] * a[3];
        float c5 = a[10] * a[15] - a[14] * a[11];
        float c4 = a[9] * a[15] - a[13] * a[11];
        float c3 = a[9] * a[14] - a[13] * a[10];
        float c2 = a[8] * a[15] - a[12] * a[11];
        float c1 = a[8] * a[14] - a[12] * a[10];
        float c0 = a[8] * a[13] - a[12] * a[9];
        float det = s0 * c5 - s1 * c4 + s2 * c3 + s3 * c2 - s4 * c1 + s5 * c0;
        if (det == 0.0f || !std::isfinite(det))
            return false;
        float inv = 1.0f / det;
        CMatrix4x4 r;
        r.m[0] = (a[5] * c5 - a[6] * c4 + a[7] * c3) * inv;
        r.m[1] = (-a[1] * c5 + a[2] * c4 - a[3] * c3) * inv;
        r.m[2] = (a[13] * s5 - a[14] * s4 + a[15] * s3) * inv;
        r.m[3] = (-a[9] * s5 + a[10] * s4 - a[11] * s3) * inv;
        r.m[4] = (-a[4] * c5 + a[6] * c2 - a[7] * c1) * inv;
        r.m[5] = (a[0] * c5 - a[2] * c2 + a[3] * c1) * inv;
        r.m[6] = (-a[12] * s5 + a[14] * s2 - a[15] * s1) * inv;
        r.m[7] = (a[8] * s5 - a[10] * s2 + a[11] * s1) * inv;
        r.m[8] = (a[4] * c4 - a[5] * c2 + a[7] * c0) * inv;
        r.m[9] = (-a[0] * c4 + a[1] * c2 - a[3] * c0) * inv;
        r.m[10] = (a[12] * s4 - a[13] * s2 + a[15] * s0) * inv;
        r.m[11] = (-a[8] * s4 + a[9] * s2 - a[11] * s0) * inv;
        r.m[12] = (-a[4] * c3 + a[5] * c1 - a[6] * c0) * inv;
        r.m[13] = (a[0] * c3 - a[1] * c1 + a[2] * c0) * inv;
        r.m[14] = (-a[12] * s3 + a[13] * s1 - a[14] * s0) * inv;
        r.m[15] = (a[8] * s3 - a[9] * s1 + a[10] * s0) * inv;
        *this = r;
        return true;
    }

    CVector3D CMatrix4x4::TransformCoordinate(const CVector3D& v) const
    {
        return {v.x * At(0, 0) + v.y * At(1, 0) + v.z * At(2, 0) + At(3, 0),
            v.x * At(0, 1) + v.y * At(1, 1) + v.z * At(2, 1) + At(3, 1),
            v.x * At(0, 2) + v.y * At(1, 2) + v.z * At(2, 2) + At(3, 2)};
    }
}
