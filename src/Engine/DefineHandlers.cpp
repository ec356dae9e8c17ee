#include <Engine/DefineHandlers.h>

#include <Engine/SourceCodeParser.h>

namespace Torvane3D
{
    void CDefineHandlers::Define(const char* szName, int32_t iValue)
    {
        if (szName)
            m_Defines.push_back({szName, false, static_cast<uint32_t>(iValue)});
    }

    void CDefineHandlers::Define(const char* szName, uint32_t uiValue)
    {
        if (szName)
            m_Defines.push_back({szName, true, uiValue});
    }

    bool CDefineHandlers::Process(Stream* pStream, const char* szFileName)
    {
        // The types a declaration may name after ':'; size 0 marks a modifier word.
        static const struct
        {
            const char* szName;
            int iSize;
        } s_Types[] = {
            {"signed", 0}, {"unsigned", 0},
            {"char", 1}, {"int8_t", 1}, {"uint8_t", 1}, {"Sint8", 1}, {"Uint8", 1},
            {"short", 2}, {"int16_t", 2}, {"uint16_t", 2}, {"Sint16", 2}, {"Uint16", 2},
            {"int", 4}, {"int32_t", 4}, {"uint32_t", 4}, {"Sint32", 4}, {"Uint32", 4},
            {"long", 8}, {"int64_t", 8}, {"uint64_t", 8}, {"Sint64", 8}, {"Uint64", 8},
        };
        CSourceCodeParser parser;
        for (const auto& type : s_Types)
            parser.RegisterType(type.szName, type.iSize);
        return parser.Assemble(pStream, szFileName, this);
    }
}
