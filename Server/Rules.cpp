#include "Rules.h"

void CRules::Set(const char* szName, const char* szValue)
{
    std::string name = szName ? szName : "";
    auto it = m_Index.find(name);
    if (it != m_Index.end()) {
        m_Rules[it->second].m_strValue = szValue ? szValue : "";
        return;
    }
    m_Index.emplace(name, m_Rules.size());
    m_Rules.push_back({std::move(name), szValue ? szValue : ""});
}

const std::string* CRules::Get(const char* szName) const
{
    auto it = m_Index.find(szName ? szName : "");
    return it == m_Index.end() ? nullptr : &m_Rules[it->second].m_strValue;
}

void CRules::Clear()
{
    m_Rules.clear();
    m_Index.clear();
}
