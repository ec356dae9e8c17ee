// The game server's part of client sessions: the packet gate, the anticheat request and
// its answer, and the answer deadline.
#include "GTAServer.h"
#include "GTAServerManager.h"

#include <Engine/BinaryIO.h>
#include <Engine/Clock.h>
#include <Engine/Context.h>
#include <Multiplayer/PacketIds.h>
#include <Network/Packet.h>

#include <cstdlib>
#include <cstring>

using namespace Torvane3D;

void CGTAServer::ProcessPacket(Peer_t pPeer, unsigned int uiPacketId, Stream* pStream)
{
    CGameClient* pClient = static_cast<CGameClient*>(m_Machines.GetMachineFromPeer(pPeer));
    if (uiPacketId == PACKET_CONNECT) {
        if (!pClient)
            CBaseServer::ProcessPacket(pPeer, uiPacketId, pStream);
        return;
    }
    if (!pClient)
        return;
    if (uiPacketId == PACKET_ANTICHEAT) {
        if (!pClient->IsVerified())
            HandleAnticheatAnswer(pClient, pStream);
        return;
    }
    if (!pClient->IsVerified())
        return;
    // The peer-to-peer system is offered the packet first (it leaves the stream as it was).
    if (m_pNetObjectMgr)
        static_cast<CGTAServerManager*>(m_pNetObjectMgr.get())->GetPeer2PeerSystem().ProcessClientPacket(pClient,
            uiPacketId, pStream);
    // Seam: packets 106 to 154 with a game handler go to it.
    CBaseServer::ProcessPacket(pPeer, uiPacketId, pStream);
}

CNetMachine* CGTAServer::NewMachine(CNetObjectMgr* pManager)
{
    CGameClient* pClient = new CGameClient(pManager, &m_Machines);
    // Trainers are allowed unless the variable says otherwise.
    if (const CVar* pVar = m_CVars.Find("trainers"))
        pClient->SetTrainersAllowed(strtol(pVar->m_strValue.c_str(), nullptr, 10) != 0);
    return pClient;
}

void CGTAServer::OnPlayerJoin(CNetMachine* pMachine)
{
    CGameClient* pClient = static_cast<CGameClient*>(pMachine);
    Packet packet(PACKET_ANTICHEAT);
    CBinaryWriter writer(&packet);
    writer.WriteUInt32(static_cast<uint32_t>(m_AnticheatFiles.size()));
    for (const tAnticheatFile& file : m_AnticheatFiles)
        writer.WriteString(file.m_strPath);
    pClient->SendPacket(&packet);
    // The deadline never reads 0, which means "not asked".
    pClient->SetAnticheatSentTime(GetTickCount64() + 1);
}

void CGTAServer::HandleAnticheatAnswer(CGameClient* pClient, Stream* pStream)
{
    std::string address;
    if (!GetAddressText(pClient->GetPeer(), address))
        address = "unknown";
    CBinaryReader reader(pStream);
    uint32_t uiCount;
    if (!reader.ReadUInt32(uiCount) || uiCount != m_AnticheatFiles.size()) {
        LogMessage(LOG_WARN, "CONNECT: %s revoked connection [CRC CHECK FAILED]", address.c_str());
        return DropClient(pClient, DISCONNECT_ANTICHEAT);
    }
    for (const tAnticheatFile& file : m_AnticheatFiles) {
        uint8_t digest[16];
        if (!reader.ReadBytes(digest, sizeof(digest))) {
            LogMessage(LOG_WARN, "CONNECT: %s revoked connection [CRC CHECK FAILED]", address.c_str());
            return DropClient(pClient, DISCONNECT_ANTICHEAT);
        }
        if (memcmp(digest, file.m_Digest, sizeof(digest)) != 0) {
            LogMessage(LOG_WARN, "CONNECT: %s revoked connection [CRC CHECK FAILED - %s]", address.c_str(),
                file.m_strPath.c_str());
            return DropClient(pClient, DISCONNECT_ANTICHEAT);
        }
    }
    pClient->SetVerified(true);
}

void CGTAServer::ProcessSessions()
{
    uint64_t now = GetTickCount64();
    for (int i = 0; i < CNetMachines::CONSOLE_SLOT; ++i) {
        CGameClient* pClient = static_cast<CGameClient*>(m_Machines.Get(i));
        if (!pClient || pClient->IsVerified() || pClient->GetAnticheatSentTime() == 0)
            continue;
        if (now - (pClient->GetAnticheatSentTime() - 1) < m_ullAnticheatAnswerLimitMs)
            continue;
        std::string address;
        if (!GetAddressText(pClient->GetPeer(), address))
            address = "unknown";
        LogMessage(LOG_WARN, "CONNECT: %s revoked connection [CRC CHECK TIMED OUT]", address.c_str());
        DropClient(pClient, DISCONNECT_ANTICHEAT);
    }
}
