#include <Multiplayer/NetMachines.h>

#include <Network/Packet.h>

namespace Torvane3D
{
    static bool EqualsIgnoreAsciiCase(std::string_view a, std::string_view b)
    {
        if (a.size() != b.size())
            return false;
        for (size_t i = 0; i < a.size(); ++i) {
            unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
            if (x >= 'A' && x <= 'Z')
                x = static_cast<unsigned char>(x - 'A' + 'a');
            if (y >= 'A' && y <= 'Z')
                y = static_cast<unsigned char>(y - 'A' + 'a');
            if (x != y)
                return false;
        }
        return true;
    }

    CNetMachines::~CNetMachines()
    {
        ClearAll();
    }

    CNetMachine* CNetMachines::Get(int iIndex) const
    {
        if (iIndex < 0 || iIndex >= SLOT_COUNT)
            return nullptr;
        return m_Slots[iIndex];
    }

    bool CNetMachines::Set(int iIndex, CNetMachine* pMachine)
    {
        if (iIndex < 0 || iIndex >= SLOT_COUNT)
            return false;
        m_Slots[iIndex] = pMachine;
        if (pMachine)
            pMachine->SetIndex(iIndex);
        return true;
    }

    void CNetMachines::Clear(int iIndex)
    {
        if (iIndex >= 0 && iIndex < SLOT_COUNT)
            m_Slots[iIndex] = nullptr;
    }

    void CNetMachines::ClearAll()
    {
        for (int i = SLOT_COUNT - 1; i >= 0; --i)
            m_Slots[i] = nullptr;
    }

    CNetMachine* CNetMachines::GetMachineFromPeer(Peer_t pPeer) const
    {
        if (!pPeer)
            return nullptr;
        for (const Strong<CNetMachine>& pMachine : m_Slots)
            if (pMachine && pMachine->GetPeer() == pPeer)
                return pMachine;
        return nullptr;
    }

    int CNetMachines::FindFreeSlot() const
    {
        for (int i = 0; i < CONSOLE_SLOT; ++i)
            if (!m_Slots[i])
                return i;
        return -1;
    }

    CNetMachine* CNetMachines::FindByName(std::string_view name) const
    {
        for (const Strong<CNetMachine>& pMachine : m_Slots)
            if (pMachine && EqualsIgnoreAsciiCase(pMachine->GetName(), name))
                return pMachine;
        return nullptr;
    }

    int CNetMachines::CountOccupied() const
    {
        int n = 0;
        for (const Strong<CNetMachine>& pMachine : m_Slots)
            n += pMachine ? 1 : 0;
        return n;
    }

    void CNetMachines::SendToAll(Packet* pPacket, CNetMachine* pExcept, ePacketPriority priority, ePacketFlags flags,
        unsigned char ucChannel)
    {
        if (!m_pNetServer)
            return;
        for (const Strong<CNetMachine>& pMachine : m_Slots)
            if (pMachine && pMachine != pExcept && pMachine->GetPeer())
                m_pNetServer->SendPacket(pMachine->GetPeer(), pPacket, priority, flags, ucChannel);
    }
}
