// The reflection registry: classes that scripts see.
#pragma once

#include <Engine/Torvane.h>

#include <string>

class ReflectedClass
{
public:
    ReflectedClass(const char* szName, ReflectedClass* pParent);

    const char* GetName() const { return m_strName.c_str(); }
    ReflectedClass* GetParent() const { return m_pParent; }
    // True for this class and every class derived from it.
    bool IsA(const ReflectedClass* pBase) const;

private:
    std::string m_strName;
    ReflectedClass* m_pParent;
};
