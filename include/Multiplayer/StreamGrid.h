// A uniform grid over element positions on the ground plane, rebuilt at every stream pass.
// A query returns every entry whose square of reach around it may contain the point; the
// caller still runs the exact test, so the grid only has to be conservative.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Torvane3D
{
    class CStreamGrid
    {
    public:
        struct Entry
        {
            uint32_t m_uiSlot;
            float m_fX;
            float m_fY;
            float m_fReach; // the element's stream-in distance
        };

        // Entries must have finite coordinates and a finite, positive reach.
        void Build(std::vector<Entry>& entries);
        void Clear();
        bool IsEmpty() const { return m_Entries.empty(); }

        // Appends the slot of every entry whose reach, measured on the plane with a small
        // safety margin, covers (x, y).
        void Query(float fX, float fY, std::vector<uint32_t>& slots) const;

    private:
        std::vector<Entry> m_Entries;     // grouped by cell
        std::vector<uint32_t> m_CellStart; // m_Cells + 1 offsets into m_Entries
        double m_dMinX = 0.0, m_dMinY = 0.0;
        double m_dCellSize = 1.0;
        double m_dMaxReach = 0.0;
        int m_iColumns = 0, m_iRows = 0;
    };
}
