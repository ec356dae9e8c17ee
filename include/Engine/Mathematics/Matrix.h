// A 4x4 matrix of singles, row by row; the wire and the script classes use this layout.
#pragma once

#include <Engine/Mathematics/Vector.h>

namespace Torvane3D
{
    // Element (row r, column c) is m[4 * r + c]. Points are row vectors multiplied on the
    // left, so a translation sits in the fourth row.
    struct CMatrix4x4
    {
        float m[16] = {};

        float& At(unsigned uiRow, unsigned uiColumn) { return m[4 * uiRow + uiColumn]; }
        float At(unsigned uiRow, unsigned uiColumn) const { return m[4 * uiRow + uiColumn]; }
        bool operator==(const CMatrix4x4&) const = default;
    };
}
