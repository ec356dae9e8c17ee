// The ordered list of integer constants that every script environment receives: the
// program's own, those of native modules and the enumerators of the game's define header.
#pragma once

#include <Engine/Torvane.h>

#include <string>
#include <vector>

namespace Torvane3D
{
    class Stream;

    // One constant. Its 32 bits are read as signed or unsigned by the flag.
    struct IntDefine
    {
        std::string m_strName;
        bool m_bUnsigned = false;
        uint32_t m_uiValue = 0;

        int32_t GetSigned() const { return static_cast<int32_t>(m_uiValue); }
        uint32_t GetUnsigned() const { return m_uiValue; }
        // The value the constant stands for, exact in any engine with 64-bit integers.
        int64_t GetValue() const { return m_bUnsigned ? int64_t(m_uiValue) : int64_t(GetSigned()); }
    };

    // Filled on the main thread during start-up, read each time a script environment is
    // created; no lock. Entries are only appended, never changed or removed, and a name
    // may occur more than once (publishing in list order lets the last one win).
    class CDefineHandlers
    {
    public:
        void Define(const char* szName, int32_t iValue);
        void Define(const char* szName, uint32_t uiValue);

        // Parses a header of enum declarations and appends one signed entry per enumerator.
        // Errors are logged as "file(line): message"; what was defined before an error stays.
        // False when the header could not be parsed to its end.
        bool Process(Stream* pStream, const char* szFileName);

        size_t GetCount() const { return m_Defines.size(); }
        const IntDefine& Get(size_t i) const { return m_Defines[i]; }
        std::vector<IntDefine>::const_iterator begin() const { return m_Defines.begin(); }
        std::vector<IntDefine>::const_iterator end() const { return m_Defines.end(); }

    private:
        std::vector<IntDefine> m_Defines;
    };
}
