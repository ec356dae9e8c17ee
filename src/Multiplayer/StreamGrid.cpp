#include <Multiplayer/StreamGrid.h>

#include <algorithm>
#include <cmath>

namespace Torvane3D
{
    // Bounds the cell table however far apart the elements are; a coarser grid only
    // costs more candidates per query.
    static constexpr int MAX_CELLS_PER_AXIS = 1024;
    static constexpr double MIN_CELL_SIZE = 16.0;

    // The exact test computes in single precision; this margin keeps the plane test a
    // superset of it.
    static double Widen(double dReach)
    {
        return dReach * (1.0 + 1e-4) + 1e-2;
    }

    static int CellOf(double dOffset, double dCellSize, int iCount)
    {
        double d = std::floor(dOffset / dCellSize);
        if (d < 0.0)
            return 0;
        if (d >= iCount - 1)
            return iCount - 1;
        return static_cast<int>(d);
    }

    void CStreamGrid::Clear()
    {
        m_Entries.clear();
        m_CellStart.clear();
        m_iColumns = m_iRows = 0;
        m_dMaxReach = 0.0;
    }

    void CStreamGrid::Build(std::vector<Entry>& entries)
    {
        Clear();
        if (entries.empty())
            return;
        double dMinX = entries[0].m_fX, dMaxX = dMinX, dMinY = entries[0].m_fY, dMaxY = dMinY;
        for (const Entry& e : entries) {
            dMinX = std::min<double>(dMinX, e.m_fX);
            dMaxX = std::max<double>(dMaxX, e.m_fX);
            dMinY = std::min<double>(dMinY, e.m_fY);
            dMaxY = std::max<double>(dMaxY, e.m_fY);
            m_dMaxReach = std::max<double>(m_dMaxReach, e.m_fReach);
        }
        double dExtent = std::max(dMaxX - dMinX, dMaxY - dMinY);
        m_dCellSize = std::max({m_dMaxReach, MIN_CELL_SIZE, dExtent / (MAX_CELLS_PER_AXIS - 1)});
        m_dMinX = dMinX;
        m_dMinY = dMinY;
        m_iColumns = std::min(MAX_CELLS_PER_AXIS, static_cast<int>((dMaxX - dMinX) / m_dCellSize) + 1);
        m_iRows = std::min(MAX_CELLS_PER_AXIS, static_cast<int>((dMaxY - dMinY) / m_dCellSize) + 1);

        // Counting sort by cell; stable, so each cell keeps pool order.
        size_t cells = static_cast<size_t>(m_iColumns) * m_iRows;
        m_CellStart.assign(cells + 1, 0);
        std::vector<uint32_t> cellOf(entries.size());
        for (size_t i = 0; i < entries.size(); ++i) {
            int c = CellOf(entries[i].m_fX - m_dMinX, m_dCellSize, m_iColumns);
            int r = CellOf(entries[i].m_fY - m_dMinY, m_dCellSize, m_iRows);
            cellOf[i] = static_cast<uint32_t>(r) * m_iColumns + c;
            ++m_CellStart[cellOf[i] + 1];
        }
        for (size_t c = 0; c < cells; ++c)
            m_CellStart[c + 1] += m_CellStart[c];
        m_Entries.resize(entries.size());
        std::vector<uint32_t> fill(m_CellStart.begin(), m_CellStart.end() - 1);
        for (size_t i = 0; i < entries.size(); ++i)
            m_Entries[fill[cellOf[i]]++] = entries[i];
    }

    void CStreamGrid::Query(float fX, float fY, std::vector<uint32_t>& slots) const
    {
        if (m_Entries.empty())
            return;
        double dReach = Widen(m_dMaxReach);
        double dLowX = fX - dReach - m_dMinX, dHighX = fX + dReach - m_dMinX;
        double dLowY = fY - dReach - m_dMinY, dHighY = fY + dReach - m_dMinY;
        if (dHighX < 0.0 || dHighY < 0.0 || dLowX > m_iColumns * m_dCellSize + m_dCellSize ||
            dLowY > m_iRows * m_dCellSize + m_dCellSize)
            return;
        int c0 = CellOf(dLowX, m_dCellSize, m_iColumns), c1 = CellOf(dHighX, m_dCellSize, m_iColumns);
        int r0 = CellOf(dLowY, m_dCellSize, m_iRows), r1 = CellOf(dHighY, m_dCellSize, m_iRows);
        for (int r = r0; r <= r1; ++r) {
            for (int c = c0; c <= c1; ++c) {
                size_t cell = static_cast<size_t>(r) * m_iColumns + c;
                for (uint32_t i = m_CellStart[cell]; i < m_CellStart[cell + 1]; ++i) {
                    const Entry& e = m_Entries[i];
                    double dx = static_cast<double>(e.m_fX) - fX, dy = static_cast<double>(e.m_fY) - fY;
                    double dWide = Widen(e.m_fReach);
                    if (dx * dx + dy * dy <= dWide * dWide)
                        slots.push_back(e.m_uiSlot);
                }
            }
        }
    }
}
