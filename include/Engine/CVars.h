// Console variables: named text values handed to every client. Names match without regard
// to ASCII letter case; a variable set by the configuration file is read-only for scripts.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace Torvane3D
{
    struct CVar
    {
        std::string m_strName; // as first set
        std::string m_strValue;
        bool m_bReadOnly = false;
    };

    class CVarSystem
    {
    public:
        // The record of the name, or null.
        CVar* Find(const char* szName);
        const CVar* Find(const char* szName) const;

        // Replaces the value of an existing record (its stored name and read-only flag stay)
        // or creates one. Never fails; the caller sets the read-only flag afterwards.
        CVar* Set(const char* szName, const char* szValue);

        size_t GetCount() const { return m_Vars.size(); }
        // Records in the order they were created, the order clients receive them in.
        const CVar& Get(size_t index) const { return *m_Vars[index]; }

        void Clear();

    private:
        // The table is keyed by the lower-cased name itself rather than a hash of it, so two
        // distinct names can never land on one record.
        std::unordered_map<std::string, size_t> m_Index;
        std::vector<std::unique_ptr<CVar>> m_Vars;
    };
}
