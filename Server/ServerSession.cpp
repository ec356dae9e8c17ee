// Client sessions of the base server: the connect notice, the handshake and acceptance,
// client-ready, departure, and the send helpers.
#include "BaseServer.h"

#include <Engine/BinaryIO.h>
#include <Engine/Context.h>
#include <Engine/Password.h>
#include <Multiplayer/PacketIds.h>
#include <Multiplayer/SafeText.h>
#include <Network/Packet.h>

#include <algorithm>
#include <cctype>
#include <cstring>

using namespace Torvane3D;

bool CBaseServer::GetAddressText(Peer_t pPeer, std::string& text, CIPAddress* pAddress)
{
    CIPAddress address;
    CNetServer* pTransport = GetTransport();
    char szText[64];
    if (!pTransport || !pTransport->GetIPAddress(pPeer, address) || !address.ToString(szText, sizeof(szText)))
        return false;
    text = szText;
    if (pAddress)
        *pAddress = address;
    return true;
}

bool CBaseServer::OnPlayerConnect(Peer_t pPeer)
{
    std::string address;
    if (!GetAddressText(pPeer, address))
        address = "unknown";
    LogMessage(LOG_INFO, "CONNECT: %s is attempting to connect", address.c_str());
    // A cancelled connect is reported to the transport, which keeps the peer: the handshake
    // decides whether it becomes a client.
    return m_pServerEvents->OnPlayerConnect(address.c_str());
}

void CBaseServer::RefuseConnection(Peer_t pPeer, uint32_t uiReason, const char* szTag, const std::string& who)
{
    LogMessage(LOG_WARN, "CONNECT: %s revoked connection [%s]", EscapeControlCharacters(who).c_str(), szTag);
    if (GetTransport())
        GetTransport()->Disconnect(pPeer, uiReason);
}

// The games list's name of the configured game: the configured text, lower-cased.
static std::string GameListName(const std::string& game)
{
    std::string name = game;
    for (char& c : name)
        c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return name;
}

CNetMachine* CBaseServer::NewMachine(CNetObjectMgr* pManager)
{
    return new CNetMachine(pManager, &m_Machines);
}

void CBaseServer::CreateConsoleMachine()
{
    Strong<CNetMachine> pConsole = Strong<CNetMachine>::Adopt(NewMachine(nullptr));
    pConsole->SetGameName(GameListName(m_strGame));
    pConsole->SetGame(m_iGame);
    pConsole->SetAdministrator(true);
    pConsole->SetConsole(true);
    pConsole->SetName("Console");
    m_Machines.Set(CNetMachines::CONSOLE_SLOT, pConsole);
    m_pConsoleMachine = pConsole;
}

bool CBaseServer::CheckJoinPassword(const std::string& password) const
{
    // Without a join password any text is accepted. A text bcrypt cannot take whole (over
    // 72 bytes, or with a zero byte) is refused without being hashed.
    return !m_Password.IsSet() || VerifyPassword(password, m_Password);
}

// The version parts compared in order from the first: true when lower than the minimum.
static bool IsVersionBelow(const uint32_t version[4], const uint32_t minimum[4])
{
    for (int i = 0; i < 4; ++i)
        if (version[i] != minimum[i])
            return version[i] < minimum[i];
    return false;
}

// A nickname is 1 to 31 bytes of text; it ends at a NUL byte, and a control character
// (which would forge lines on other clients' screens and in the log) refuses it.
static bool ReadNickname(CBinaryReader& reader, std::string& name)
{
    uint16_t length;
    if (!reader.ReadUInt16(length) || length < 1 || length > MAX_NICKNAME_LENGTH)
        return false;
    if (!reader.ReadStringOfLength(name, length))
        return false;
    name.resize(strnlen(name.c_str(), name.size()));
    for (char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            return false;
    return !name.empty();
}

void CBaseServer::HandleConnect(Peer_t pPeer, Stream* pStream)
{
    CIPAddress ipAddress;
    std::string address;
    if (!GetAddressText(pPeer, address, &ipAddress)) {
        if (GetTransport())
            GetTransport()->Disconnect(pPeer, DISCONNECT_BAD_ADDRESS);
        return;
    }

    // Before anything that costs: a flood of handshakes from one address is cut off here,
    // reported once per run of refusals.
    m_JoinLimiter.SetLimit(m_uiMaxJoinsPerAddress);
    CJoinRateLimiter::eResult limit = m_JoinLimiter.Check(address);
    if (limit != CJoinRateLimiter::ALLOWED) {
        if (limit == CJoinRateLimiter::REFUSED_REPORT)
            LogMessage(LOG_WARN, "CONNECT: %s revoked connection [TOO MANY ATTEMPTS] (more than %u a minute)",
                address.c_str(), m_uiMaxJoinsPerAddress);
        if (GetTransport())
            GetTransport()->Disconnect(pPeer, DISCONNECT_SERVER_FULL);
        return;
    }

    if (m_BanList.IsBanned(address))
        return RefuseConnection(pPeer, DISCONNECT_BANNED, "BANNED", address);

    CBinaryReader reader(pStream);
    uint32_t uiProtocol;
    if (!reader.ReadUInt32(uiProtocol))
        return RefuseConnection(pPeer, DISCONNECT_UNSUPPORTED_CLIENT, "UNSUPPORTED CLIENT", address);
    if (uiProtocol != NETWORK_PROTOCOL_VERSION) {
        LogMessage(LOG_WARN, "CONNECT: %s (%d) revoked connection [UNSUPPORTED CLIENT]", address.c_str(),
            static_cast<int>(uiProtocol));
        if (GetTransport())
            GetTransport()->Disconnect(pPeer, DISCONNECT_UNSUPPORTED_CLIENT);
        return;
    }

    uint32_t version[4];
    if (!reader.ReadBytes(version, sizeof(version)) || IsVersionBelow(version, m_uiMinClientVersion))
        return RefuseConnection(pPeer, DISCONNECT_UNSUPPORTED_CLIENT, "UNSUPPORTED CLIENT", address);

    // The length is checked against the cap and what remains before any byte is taken.
    int32_t passwordLength;
    std::string password;
    if (!reader.ReadCompactLength(passwordLength) || static_cast<uint32_t>(passwordLength) > MAX_PASSWORD_LENGTH ||
        !reader.ReadStringOfLength(password, passwordLength) || !CheckJoinPassword(password))
        return RefuseConnection(pPeer, DISCONNECT_WRONG_PASSWORD, "WRONG PASSWORD", address);

    std::string name;
    if (!ReadNickname(reader, name))
        return RefuseConnection(pPeer, DISCONNECT_INVALID_NICKNAME, "INVALID NICKNAME", address);

    uint8_t ucGame;
    if (!reader.ReadUInt8(ucGame) || ucGame != m_iGame)
        return RefuseConnection(pPeer, DISCONNECT_WRONG_GAME, "WRONG GAME", name);

    if (!m_bDuplicateNames && m_Machines.FindByName(name))
        return RefuseConnection(pPeer, DISCONNECT_NICKNAME_IN_USE, "NICKNAME IN USE", name);

    int iSlot = m_iPlayerCount < m_iMaxPlayers ? m_Machines.FindFreeSlot() : -1;
    if (iSlot < 0)
        return RefuseConnection(pPeer, DISCONNECT_SERVER_FULL, "SERVER FULL", name);

    Strong<CNetMachine> pClient = Strong<CNetMachine>::Adopt(NewMachine(nullptr));
    m_Machines.Set(iSlot, pClient);
    pClient->SetPeer(pPeer);
    pClient->SetGameName(GameListName(m_strGame));
    pClient->SetGame(ucGame);
    pClient->SetAddress(ipAddress);
    pClient->SetName(name);
    pClient->SetStreaming(false);
    ++m_iPlayerCount;

    // Seam: the server listing hears of the new player (message 1).

    m_pServerEvents->OnPlayerJoin(pClient);
    // A script may have dropped the client from inside the event.
    if (pClient->GetIndex() != iSlot)
        return;
    OnPlayerJoin(pClient);

    SendCVars(pClient);
    {
        Packet packet(PACKET_CONNECT_ACCEPTED);
        CBinaryWriter writer(&packet);
        writer.WriteUInt32(static_cast<uint32_t>(iSlot));
        writer.WriteUInt16(m_usHTTPPort);
        writer.WriteString(m_strHTTPURL);
        writer.WriteUInt16(m_usSyncInterval);
        writer.WriteUInt8(0);
        writer.WriteUInt8(static_cast<uint8_t>(m_SyncMethod));
        pClient->SendPacket(&packet);
    }
    SendGameMode(pClient);
    SendServerName(pClient);

    {
        Packet packet(PACKET_CLIENT_JOINED);
        CBinaryWriter writer(&packet);
        writer.WriteUInt16(1);
        writer.WriteUInt32(static_cast<uint32_t>(iSlot));
        pClient->Write(&packet);
        m_Machines.SendToAll(&packet, pClient);
    }
    {
        Packet packet(PACKET_CLIENT_LIST);
        CBinaryWriter writer(&packet);
        writer.WriteUInt16(static_cast<uint16_t>(m_Machines.CountOccupied()));
        writer.WriteUInt16(static_cast<uint16_t>(m_iMaxPlayers));
        for (int i = 0; i < CNetMachines::SLOT_COUNT; ++i) {
            if (CNetMachine* pMachine = m_Machines.Get(i)) {
                writer.WriteUInt32(static_cast<uint32_t>(i));
                pMachine->Write(&packet);
            }
        }
        pClient->SendPacket(&packet);
    }
}

void CBaseServer::OnPlayerJoin(CNetMachine*) {}

void CBaseServer::OnPlayerJoined(CNetMachine*) {}

void CBaseServer::SendResourceInfo(CNetMachine* pClient)
{
    Packet packet(PACKET_RESOURCE_INFO);
    // Seam: the resource manager writes every running resource's client payload here.
    CBinaryWriter(&packet).WriteUInt32(0);
    pClient->SendPacket(&packet);
}

void CBaseServer::HandleClientReady(CNetMachine* pClient)
{
    // The step runs once per session; a repeated packet would replay the whole join.
    if (pClient->IsJoined())
        return;
    pClient->SetJoined(true);
    pClient->SetStreaming(true);
    SendResourceInfo(pClient);
    Strong<CNetMachine> pKeep = pClient;
    OnPlayerJoined(pClient);
    m_pServerEvents->OnPlayerJoined(pClient);
    // A handler may have dropped the client.
    if (pClient->GetIndex() < 0)
        return;
    pClient->SendPlayer();
    Packet packet(PACKET_JOIN_COMPLETE);
    pClient->SendPacket(&packet);
}

void CBaseServer::RemoveClient(CNetMachine* pClient, uint32_t uiReason)
{
    Strong<CNetMachine> pKeep = pClient;
    int iIndex = pClient->GetIndex();
    // A handler of "OnPlayerQuit" that drops the client again must not start a second departure.
    if (iIndex < 0 || m_Machines.Get(iIndex) != pClient || pClient->IsDeparting() || pClient->IsConsole())
        return;
    pClient->SetDeparting(true);
    m_pServerEvents->OnPlayerQuit(pClient, uiReason);

    // The element manager drops the client as syncer, clears its created state and
    // per-client state, destroys transient elements nobody has any more, and destroys the
    // client's player element.
    if (m_pNetObjectMgr)
        m_pNetObjectMgr->OnClientDeparture(pClient);
    if (pClient->GetPlayer())
        pClient->SetPlayer(nullptr, -1);

    --m_iPlayerCount;
    // Seam: the server listing hears of the departure (message 2).
    m_Machines.Clear(iIndex);
    pClient->SetIndex(-1);
    // Nothing more reaches the departed peer through this record.
    pClient->SetPeer(nullptr);

    Packet packet(PACKET_CLIENT_LEFT);
    CBinaryWriter writer(&packet);
    writer.WriteUInt16(1);
    writer.WriteUInt32(static_cast<uint32_t>(iIndex));
    m_Machines.SendToAll(&packet);
}

void CBaseServer::OnPlayerDisconnect(Peer_t pPeer, unsigned int uiReason)
{
    // Whatever data the far side put in its disconnect, the record goes: a client that could
    // keep its slot would leave a verified session for the next connection on this peer.
    if (CNetMachine* pClient = m_Machines.GetMachineFromPeer(pPeer))
        RemoveClient(pClient, uiReason);
}

void CBaseServer::DropClient(CNetMachine* pClient, uint32_t uiReason)
{
    Peer_t pPeer = pClient->GetPeer();
    RemoveClient(pClient, uiReason);
    if (pPeer && GetTransport())
        GetTransport()->Disconnect(pPeer, uiReason);
}

void CBaseServer::UserChat(CNetMachine* pClient, const char* pText, size_t length)
{
    if (!m_pServerEvents->OnPlayerChat(pClient, pText, length))
        return;
    std::string line = pClient->GetName();
    line += ": ";
    line.append(pText, length);
    LogText(LOG_INFO, EscapeControlCharacters(line).c_str());
    SendChat(nullptr, line.data(), line.size(), CHAT_TYPE_CHAT);
}

static void WriteChat(Packet& packet, const char* pText, size_t length, uint32_t uiColour)
{
    CBinaryWriter writer(&packet);
    writer.WriteUInt32(static_cast<uint32_t>(length));
    writer.WriteUInt32(uiColour);
    writer.WriteBytes(pText, length);
}

void CBaseServer::SendChat(CNetMachine* pClient, const char* pText, size_t length, uint32_t uiColour)
{
    Packet packet(PACKET_CHAT);
    WriteChat(packet, pText, length, uiColour);
    if (pClient)
        pClient->SendPacket(&packet);
    else
        m_Machines.SendToAll(&packet);
}

void CBaseServer::SendChatExcept(CNetMachine* pClient, const char* pText, size_t length, uint32_t uiColour)
{
    Packet packet(PACKET_CHAT);
    WriteChat(packet, pText, length, uiColour);
    m_Machines.SendToAll(&packet, pClient);
}

void CBaseServer::SendGameMode(CNetMachine* pClient)
{
    Packet packet(PACKET_GAME_MODE);
    CBinaryWriter(&packet).WriteString(m_szGameMode, strnlen(m_szGameMode, sizeof(m_szGameMode)));
    if (pClient)
        pClient->SendPacket(&packet);
    else
        m_Machines.SendToAll(&packet);
}

void CBaseServer::SendServerName(CNetMachine* pClient)
{
    Packet packet(PACKET_SERVER_NAME);
    CBinaryWriter(&packet).WriteString(m_szServerName, strnlen(m_szServerName, sizeof(m_szServerName)));
    if (pClient)
        pClient->SendPacket(&packet);
    else
        m_Machines.SendToAll(&packet);
}

void CBaseServer::SendCVars(CNetMachine* pClient)
{
    Packet packet(PACKET_CVARS);
    CBinaryWriter writer(&packet);
    // The count is 16 bits on the wire; it never disagrees with the entries that follow.
    size_t count = std::min<size_t>(m_CVars.GetCount(), UINT16_MAX);
    writer.WriteUInt16(static_cast<uint16_t>(count));
    for (size_t i = 0; i < count; ++i) {
        const CVar& var = m_CVars.Get(i);
        Strong<CUnlimitedStream> pEntry = MakeStrong<CUnlimitedStream>();
        CBinaryWriter entry(pEntry);
        entry.WriteString(var.m_strName);
        entry.WriteString(var.m_strValue);
        writer.WriteCompactLength(static_cast<uint32_t>(pEntry->GetSize()));
        writer.WriteBytes(pEntry->GetData(), pEntry->GetSize());
    }
    if (pClient)
        pClient->SendPacket(&packet);
    else
        m_Machines.SendToAll(&packet);
}
