#include "BanList.h"

#include <Engine/Clock.h>

CBanList::CBanList(ClockFunction pClock) : m_pClock(pClock ? pClock : &Torvane3D::GetTickCount64) {}

uint64_t CBanList::Now() const
{
    return m_pClock();
}

bool CBanList::IsBanned(const std::string& address)
{
    auto it = m_Entries.find(address);
    if (it == m_Entries.end())
        return false;
    if (it->second.m_ullExpiry == 0 || Now() < it->second.m_ullExpiry)
        return true;
    m_Entries.erase(it);
    return false;
}

void CBanList::Ban(const std::string& address, uint32_t uiDurationMs)
{
    tEntry entry;
    entry.m_strAddress = address;
    // A timed ban never lands on 0, which would read as permanent.
    entry.m_ullExpiry = uiDurationMs == 0 ? 0 : Now() + uiDurationMs;
    m_Entries[address] = entry;
}

bool CBanList::Unban(const std::string& address)
{
    return m_Entries.erase(address) > 0;
}
