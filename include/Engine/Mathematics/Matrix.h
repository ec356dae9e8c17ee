// A 4x4 matrix of singles, row by row; the wire and the script classes use this layout.
#pragma once

#include <Engine/Mathematics/Vector.h>

namespace Torvane3D
{
    // Element (row r, column c) is m[4 * r + c]. Points are row vectors multiplied on the
    // left (p' = [x y z 1] x M), so a translation sits in the fourth row.
    struct CMatrix4x4
    {
        float m[16] = {};

        float& At(unsigned uiRow, unsigned uiColumn) { return m[4 * uiRow + uiColumn]; }
        float At(unsigned uiRow, unsigned uiColumn) const { return m[4 * uiRow + uiColumn]; }
        bool operator==(const CMatrix4x4&) const = default;

        static CMatrix4x4 Identity();
        static CMatrix4x4 Translation(const CVector3D& v);
        static CMatrix4x4 Scale(const CVector3D& v);
        static CMatrix4x4 RotationX(float fAngle);
        static CMatrix4x4 RotationY(float fAngle);
        static CMatrix4x4 RotationZ(float fAngle);
        // Rx(v.x) x Ry(v.y) x Rz(v.z)
        static CMatrix4x4 Rotation(const CVector3D& v);

        CMatrix4x4 operator*(const CMatrix4x4& b) const;
        // The general inverse; false (and this unchanged) for a singular matrix.
        bool Invert();
        CVector3D TransformCoordinate(const CVector3D& v) const;
        // The first three elements of a row (0 to 3).
        CVector3D GetRow3(unsigned uiRow) const { return {At(uiRow, 0), At(uiRow, 1), At(uiRow, 2)}; }
    };
}
