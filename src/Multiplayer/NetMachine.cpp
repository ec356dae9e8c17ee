#include <Multiplayer/NetMachine.h>

#include <Engine/BinaryIO.h>
#include <Multiplayer/NetMachines.h>
#include <Multiplayer/PacketIds.h>
#include <Network/Packet.h>

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

    uint8_t CNetMachine::GetFlags() const
    {
        return static_cast<uint8_t>((m_bAdministrator ? CLIENT_FLAG_ADMINISTRATOR : 0) | (m_bConsole ? CLIENT_FLAG_CONSOLE : 0));
    }

    bool CNetMachine::Write(Stream* pStream) const
    {
        CBinaryWriter writer(pStream);
        return writer.WriteUInt8(GetFlags()) && writer.WriteUInt8(static_cast<uint8_t>(m_iGame)) &&
            writer.WriteInt32(GetPlayerId()) && writer.WriteString(m_strName) &&
            // Seam: the client's script data map; until it exists the map is empty (count 0).
            writer.WriteCompactLength(0);
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
}
