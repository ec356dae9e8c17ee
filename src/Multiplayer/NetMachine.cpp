#include <Multiplayer/NetMachine.h>

#include <Engine/BinaryIO.h>
#include <Multiplayer/NetMachines.h>
#include <Multiplayer/PacketIds.h>
#include <Network/Packet.h>

#include <algorithm>

namespace Torvane3D
{
    CNetMachine::CNetMachine(CNetObjectMgr* pManager, CNetMachines* pMachines)
        : m_pManager(pManager), m_pMachines(pMachines)
    {
    }

    CNetMachine::~CNetMachine() = default;

    bool CNetMachine::SendPacket(Packet* pPacket, ePacketPriority priority, ePacketFlags flags, unsigned char ucChannel)
    {
        if (m_bConsole || !m_pPeer || !m_pMachines || !m_pMachines->GetNetServer())
            return false;
        return m_pMachines->GetNetServer()->SendPacket(m_pPeer, pPacket, priority, flags, ucChannel);
    }

    bool CNetMachine::AllowWarning(uint64_t ullNowMs)
    {
        if (ullNowMs - m_ullWarningTime >= 1000) {
            uint64_t refill = (ullNowMs - m_ullWarningTime) / 1000;
            m_uiWarningTokens = static_cast<uint32_t>(std::min<uint64_t>(WARNING_BURST, m_uiWarningTokens + refill));
            m_ullWarningTime = ullNowMs;
        }
        if (m_uiWarningTokens == 0)
            return false;
        --m_uiWarningTokens;
        return true;
    }

    uint8_t CNetMachine::GetFlags() const
    {
        return static_cast<uint8_t>((m_bAdministrator ? CLIENT_FLAG_ADMINISTRATOR : 0) | (m_bConsole ? CLIENT_FLAG_CONSOLE : 0));
    }

    bool CNetMachine::Write(Stream* pStream) const
    {
        CBinaryWriter writer(pStream);
        return writer.WriteUInt8(GetFlags()) && writer.WriteUInt8(static_cast<uint8_t>(m_iGame)) &&
            writer.WriteInt32(GetPlayerId()) && writer.WriteString(m_strName) && m_Data.Write(pStream);
    }

    void CNetMachine::SendPlayer()
    {
        Packet packet(PACKET_CLIENT_PLAYER);
        CBinaryWriter(&packet).WriteInt32(GetPlayerId());
        SendPacket(&packet);
    }

    void CNetMachine::SendUpdate()
    {
        if (!m_pMachines)
            return;
        Packet packet(PACKET_CLIENT_FLAGS);
        CBinaryWriter writer(&packet);
        writer.WriteUInt16(1);
        writer.WriteUInt32(static_cast<uint32_t>(m_iIndex));
        writer.WriteUInt8(GetFlags());
        m_pMachines->SendToAll(&packet);
    }

    void CNetMachine::SetPlayer(CBaseObject* pPlayer, int32_t iPlayerId)
    {
        m_pPlayer = pPlayer;
        m_iPlayerId = pPlayer ? iPlayerId : -1;
        if (!m_pMachines)
            return;
        Packet packet(PACKET_CLIENT_PLAYER_CHANGED);
        CBinaryWriter writer(&packet);
        writer.WriteUInt16(1);
        writer.WriteUInt32(static_cast<uint32_t>(m_iIndex));
        writer.WriteInt32(GetPlayerId());
        m_pMachines->SendToAll(&packet);
    }

    // Packet 24 for one key: its value's type code and payload, or type 0 for a removal.
    static bool WriteDataPacket(Packet& packet, int32_t iIndex, std::string_view key, const CArgument* pValue)
    {
        CBinaryWriter writer(&packet);
        if (!writer.WriteUInt16(1) || !writer.WriteUInt32(static_cast<uint32_t>(iIndex)) || !writer.WriteUInt16(1) ||
            !writer.WriteString(key.data(), key.size()))
            return false;
        if (!pValue || pValue->GetType() == ARGUMENT_NIL)
            return writer.WriteUInt8(ARGUMENT_NIL);
        return writer.WriteUInt8(pValue->GetType()) && pValue->Write(&packet);
    }

    bool CNetMachine::SetData(std::string_view key, const CArgument* pValue, bool bSend)
    {
        bool bRemove = !pValue || pValue->GetType() == ARGUMENT_NIL;
        // The copy is made first: a value that cannot be stored must not reach clients either.
        CArgument* pCopy = bRemove ? nullptr : pValue->Clone();
        if (!bRemove && !pCopy)
            return false;
        if (bSend && m_pMachines) {
            Packet packet(PACKET_CLIENT_DATA);
            if (!WriteDataPacket(packet, m_iIndex, key, pCopy)) {
                if (pCopy)
                    pCopy->Release();
                return false;
            }
            m_pMachines->SendToAll(&packet);
        }
        m_Data.Set(key, pCopy);
        return true;
    }

    bool CNetMachine::RemoveData(std::string_view key)
    {
        if (!m_Data.Remove(key))
            return false;
        if (m_pMachines) {
            Packet packet(PACKET_CLIENT_DATA);
            WriteDataPacket(packet, m_iIndex, key, nullptr);
            m_pMachines->SendToAll(&packet);
        }
        return true;
    }

    void CNetMachine::ClearData()
    {
        m_Data.Clear();
        if (!m_pMachines)
            return;
        Packet packet(PACKET_CLIENT_CLEAR_DATA);
        CBinaryWriter writer(&packet);
        writer.WriteUInt16(1);
        writer.WriteUInt32(static_cast<uint32_t>(m_iIndex));
        m_pMachines->SendToAll(&packet);
    }
}
