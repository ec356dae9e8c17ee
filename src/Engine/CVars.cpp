#include <Engine/CVars.h>

namespace Torvane3D
{
    static std::string MakeKey(const char* szName)
    {
        std::string key = szName ? szName : "";
        for (char& c : key) {
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        }
        return key;
    }

    CVar* CVarSystem::Find(const char* szName)
    {
        auto it = m_Index.find(MakeKey(szName));
        return it == m_Index.end() ? nullptr : m_Vars[it->second].get();
    }

    const CVar* CVarSystem::Find(const char* szName) const
    {
        return const_cast<CVarSystem*>(this)->Find(szName);
    }

    CVar* CVarSystem::Set(const char* szName, const char* szValue)
    {
        std::string key = MakeKey(szName);
        auto it = m_Index.find(key);
        if (it != m_Index.end()) {
            CVar* pVar = m_Vars[it->second].get();
            pVar->m_strValue = szValue ? szValue : "";
            return pVar;
        }
        auto pVar = std::make_unique<CVar>();
        pVar->m_strName = szName ? szName : "";
        pVar->m_strValue = szValue ? szValue : "";
        m_Index.emplace(std::move(key), m_Vars.size());
        m_Vars.push_back(std::move(pVar));
        return m_Vars.back().get();
    }

    void CVarSystem::Clear()
    {
        m_Index.clear();
        m_Vars.clear();
    }
}
