#include <Engine/Reflection.h>

ReflectedClass::ReflectedClass(const char* szName, ReflectedClass* pParent)
    : m_strName(szName ? szName : ""), m_pParent(pParent)
{
}

bool ReflectedClass::IsA(const ReflectedClass* pBase) const
{
    for (const ReflectedClass* p = this; p; p = p->m_pParent) {
        if (p == pBase)
            return true;
    }
    return false;
}
