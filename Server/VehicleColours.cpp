#include "VehicleColours.h"

#include <Engine/Context.h>
#include <Engine/Stream.h>

#include <cstdlib>
#include <cstring>
#include <string>

using namespace Torvane3D;

CVehicleColours::tDefinitions& CVehicleColours::FindDefinitions(uint32_t uiModel)
{
    return m_Models[uiModel];
}

size_t CVehicleColours::GetDefinitionCount() const
{
    size_t count = 0;
    for (const auto& model : m_Models)
        count += model.second.size();
    return count;
}

void CVehicleColours::Clear()
{
    m_Models.clear();
}

namespace
{
    // Splits a stream into lines. A line longer than the caller's limit is consumed whole and
    // reported as too long, so its tail is never mistaken for a line of its own.
    class CLineReader
    {
    public:
        explicit CLineReader(Stream& stream) : m_Stream(stream) {}

        // Fills strLine with the line's bytes (without its line feed), at most maxLength of
        // them. False at the end of the stream.
        bool ReadLine(std::string& strLine, size_t maxLength, bool& bTooLong)
        {
            strLine.clear();
            bTooLong = false;
            bool bAny = false;
            for (;;) {
                if (m_Position == m_Length && !Fill())
                    return bAny;
                bAny = true;
                char c = m_Buffer[m_Position++];
                if (c == '\n')
                    return true;
                if (strLine.size() < maxLength)
                    strLine += c;
                else
                    bTooLong = true;
            }
        }

    private:
        bool Fill()
        {
            m_Position = 0;
            m_Length = m_Stream.Read(m_Buffer, sizeof(m_Buffer));
            return m_Length > 0;
        }

        Stream& m_Stream;
        char m_Buffer[4096];
        size_t m_Position = 0;
        size_t m_Length = 0;
    };

    // Reads up to five decimal numbers separated by blanks, like "%d %d %d %d %d"; returns how
    // many were read.
    int ScanNumbers(const char* szText, long long (&values)[5])
    {
        int iCount = 0;
        const char* p = szText;
        while (iCount < 5) {
            char* pEnd;
            long long value = strtoll(p, &pEnd, 10);
            if (pEnd == p)
                break;
            values[iCount++] = value;
            p = pEnd;
        }
        return iCount;
    }
}

size_t CVehicleColours::Load(Stream& stream)
{
    CLineReader reader(stream);
    std::string strLine;
    bool bTooLong;
    int iLine = 0;
    size_t added = 0;
    while (reader.ReadLine(strLine, LINE_BUFFER_SIZE - 1, bTooLong)) {
        ++iLine;
        if (!bTooLong && (strLine.empty() || strLine[0] == '#' || strLine[0] == '\r'))
            continue;
        long long values[5];
        int iCount = bTooLong ? 0 : ScanNumbers(strLine.c_str(), values);
        if (iCount < 3) {
            while (!strLine.empty() && (strLine.back() == '\r' || strLine.back() == '\n'))
                strLine.pop_back();
            LogMessage(LOG_WARN, "vehiclecolours.conf[%d] - bad syntax '%s'", iLine, strLine.c_str());
            continue;
        }
        CVehicleColourDefinition definition;
        for (int i = 1; i < iCount; ++i)
            definition.m_iColours[i - 1] = static_cast<int32_t>(values[i] & 0xFF);
        FindDefinitions(static_cast<uint32_t>(values[0])).push_back(definition);
        ++added;
    }
    return added;
}
