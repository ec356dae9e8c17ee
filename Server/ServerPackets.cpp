// Packet dispatch and the base server's packet handlers: chat, commands, network events, quit.
#include "BaseServer.h"

#include <Engine/Arguments.h>
#include <Engine/BinaryIO.h>
#include <Engine/Clock.h>
#include <Engine/Context.h>
#include <Multiplayer/PacketIds.h>
#include <Multiplayer/SafeText.h>

#include <cstring>

using namespace Torvane3D;

void CBaseServer::ProcessPacket(Peer_t pPeer, unsigned int uiPacketId, Stream* pStream)
{
    CNetMachine* pClient = m_Machines.GetMachineFromPeer(pPeer);
    if (uiPacketId == PACKET_CONNECT) {
        // A second handshake from an accepted peer is ignored.
        if (!pClient)
            HandleConnect(pPeer, pStream);
        return;
    }
    if (!pClient)
        return;
    switch (uiPacketId) {
    case PACKET_CLIENT_READY:
        HandleClientReady(pClient);
        break;
    case PACKET_CHAT:
        HandleChat(pClient, pStream);
        break;
    case PACKET_COMMAND:
        HandleCommand(pClient, pStream);
        break;
    case PACKET_NETWORK_EVENT:
        HandleNetworkEvent(pClient, pStream);
        break;
    case PACKET_CLIENT_QUIT:
        HandleClientQuit(pClient, pStream);
        break;
    case PACKET_ELEMENT_SYNC:
    case PACKET_ELEMENT_DELETE:
    case PACKET_REQUEST_SYNCER:
    case PACKET_ELEMENT_STREAMING:
        HandleElementPacket(pClient, uiPacketId, pStream);
        break;
    // Seam: PACKET_KEY_EVENT goes to the key binds.
    default:
        break;
    }
}

// A text with a uint32 byte count in minLength..MAX_CHAT_LENGTH; false when the count is out
// of range or the packet ends before the text.
static bool ReadCountedText(CBinaryReader& reader, std::string& text, uint32_t minLength)
{
    uint32_t length;
    return reader.ReadUInt32(length) && length >= minLength && length <= MAX_CHAT_LENGTH &&
        reader.ReadStringOfLength(text, length);
}

void CBaseServer::HandleChat(CNetMachine* pClient, Stream* pStream)
{
    CBinaryReader reader(pStream);
    std::string text;
    if (!ReadCountedText(reader, text, 1))
        return;
    // The text ends at a NUL byte, as clients show it.
    text.resize(strnlen(text.c_str(), text.size()));
    if (text.empty())
        return;
    UserChat(pClient, text.data(), text.size());
}

void CBaseServer::HandleCommand(CNetMachine* pClient, Stream* pStream)
{
    CBinaryReader reader(pStream);
    std::string command, arguments;
    if (!ReadCountedText(reader, command, 1) || !ReadCountedText(reader, arguments, 0))
        return;
    Strong<CNetMachine> pKeep = pClient;
    if (!m_pServerEvents->OnPlayerCommand(pClient, command.c_str(), arguments.c_str()))
        return;
    // The registry would cut longer arguments and run the command on the rest.
    if (arguments.size() > MAX_COMMAND_ARGUMENTS_RUN || pClient->GetIndex() < 0)
        return;
    if (CCommandHandlers* pCommands = GetCommandHandlers())
        pCommands->Trigger(command.c_str(), arguments.c_str(), pClient, pClient->IsAdministrator());
}

void CBaseServer::HandleNetworkEvent(CNetMachine* pClient, Stream* pStream)
{
    CBinaryReader reader(pStream);
    std::string name;
    if (!reader.ReadString(name))
        return;
    Strong<CArgumentArray> pArguments = MakeStrong<CArgumentArray>();
    pArguments->SetNetObjectResolver(m_pNetObjectMgr.get());
    if (!pArguments->Read(pStream)) {
        if (pClient->AllowWarning(GetTickCount64()))
            LogMessage(LOG_WARN, "Failed to read network arguments for network event %s.",
                EscapeControlCharacters(name).c_str());
        return;
    }
    Strong<CNetMachine> pKeep = pClient;
    if (!m_pServerEvents->OnNetworkEvent(pClient, name.c_str(), pArguments) && pClient->AllowWarning(GetTickCount64()))
        LogMessage(LOG_WARN, "Network event %s not bound serverside", EscapeControlCharacters(name).c_str());
}

void CBaseServer::HandleClientQuit(CNetMachine* pClient, Stream* pStream)
{
    uint32_t uiReason;
    if (!CBinaryReader(pStream).ReadUInt32(uiReason))
        uiReason = DISCONNECT_QUIT;
    DropClient(pClient, uiReason);
}
