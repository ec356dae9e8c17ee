// The server rules: (name, value) text pairs that the query protocol reports in list order.
// Names compare exactly; a new name is appended, so "Version" (set first) stays first.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>
#include <vector>

class CRules
{
public:
    struct tRule
    {
        std::string m_strName;
        std::string m_strValue;
    };

    // Replaces the value of the rule with that name in place, or appends the pair.
    void Set(const char* szName, const char* szValue);
    // The value of the rule, or null when there is none.
    const std::string* Get(const char* szName) const;

    size_t GetCount() const { return m_Rules.size(); }
    const tRule& GetRule(size_t index) const { return m_Rules[index]; }
    const std::vector<tRule>& GetAll() const { return m_Rules; }

    void Clear();

private:
    std::vector<tRule> m_Rules;
    // Name to position, so scripts adding many rules never make a set quadratic.
    std::unordered_map<std::string, size_t> m_Index;
};
