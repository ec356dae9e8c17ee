#include "TestClient.h"

#include <enet/enet.h>
#include <openssl/evp.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace TestClient
{
    static constexpr uint32_t PACKET_MAGIC = 0x54523402;

    static void InitialiseENet()
    {
        static std::once_flag s_Once;
        std::call_once(s_Once, [] {
            if (enet_initialize() == 0)
                atexit(enet_deinitialize);
        });
    }

    uint64_t NowMs()
    {
        using namespace std::chrono;
        return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
    }

    const char* DescribeReason(uint32_t reason)
    {
        switch (reason) {
        case 0: return "connection lost or closed";
        case 1: return "server full";
        case 2: return "unsupported client";
        case 3: return "wrong game";
        case 4: return "wrong password";
        case 6: return "quit";
        case 7: return "banned";
        case 8: return "address not readable";
        case 9: return "invalid nickname";
        case 12: return "nickname in use";
        case 14: return "anticheat check failed";
        default: return "unknown reason";
        }
    }

    bool FileMd5(const std::string& path, uint8_t digest[16])
    {
        FILE* pFile = fopen(path.c_str(), "rb");
        if (!pFile)
            return false;
        EVP_MD_CTX* pCtx = EVP_MD_CTX_new();
        bool bOk = pCtx && EVP_DigestInit_ex(pCtx, EVP_md5(), nullptr) == 1;
        unsigned char buffer[4096];
        size_t n;
        while (bOk && (n = fread(buffer, 1, sizeof(buffer), pFile)) > 0)
            bOk = EVP_DigestUpdate(pCtx, buffer, n) == 1;
        bOk = bOk && !ferror(pFile);
        unsigned int length = 0;
        bOk = bOk && EVP_DigestFinal_ex(pCtx, digest, &length) == 1 && length == 16;
        EVP_MD_CTX_free(pCtx);
        fclose(pFile);
        return bOk;
    }

    bool CPayloadReader::Bytes(void* p, size_t n)
    {
        if (n > Remaining())
            return false;
        if (n)
            memcpy(p, m_Data.data() + m_Pos, n);
        m_Pos += n;
        return true;
    }

    bool CPayloadReader::CompactLength(uint32_t& n)
    {
        n = 0;
        for (unsigned shift = 0; shift < 35; shift += 7) {
            uint8_t b;
            if (!U8(b))
                return false;
            n |= static_cast<uint32_t>(b & 0x7f) << shift;
            if (!(b & 0x80))
                return true;
        }
        return false;
    }

    bool CPayloadReader::String(std::string& text)
    {
        uint32_t n;
        if (!CompactLength(n) || n > Remaining())
            return false;
        text.assign(reinterpret_cast<const char*>(m_Data.data() + m_Pos), n);
        m_Pos += n;
        return true;
    }

    CPayloadWriter& CPayloadWriter::Bytes(const void* p, size_t n)
    {
        const uint8_t* pBytes = static_cast<const uint8_t*>(p);
        m_Data.insert(m_Data.end(), pBytes, pBytes + n);
        return *this;
    }

    CPayloadWriter& CPayloadWriter::CompactLength(uint32_t n)
    {
        while (n > 127) {
            U8(static_cast<uint8_t>((n & 0x7f) | 0x80));
            n >>= 7;
        }
        return U8(static_cast<uint8_t>(n));
    }

    CPayloadWriter& CPayloadWriter::String(std::string_view text)
    {
        CompactLength(static_cast<uint32_t>(text.size()));
        return Bytes(text.data(), text.size());
    }

    CTestClient::CTestClient(size_t channelCount) : m_ChannelCount(channelCount)
    {
        InitialiseENet();
        m_pHost = enet_host_create(nullptr, 1, channelCount, 0, 0);
        // The server compresses every datagram with the range coder; without it we would
        // drop everything it sends.
        if (m_pHost)
            enet_host_compress_with_range_coder(m_pHost);
    }

    CTestClient::~CTestClient()
    {
        if (m_pPeer && m_bConnected)
            enet_peer_disconnect_now(m_pPeer, 0);
        if (m_pHost)
            enet_host_destroy(m_pHost);
    }

    bool CTestClient::ConnectAsync(const std::string& host, uint16_t port)
    {
        if (!m_pHost || m_pPeer)
            return false;
        ENetAddress address{};
        if (enet_address_set_host(&address, host.c_str()) != 0)
            return false;
        address.port = port;
        m_pPeer = enet_host_connect(m_pHost, &address, m_ChannelCount, 0);
        return m_pPeer != nullptr;
    }

    bool CTestClient::Connect(const std::string& host, uint16_t port, unsigned timeoutMs)
    {
        return ConnectAsync(host, port) && WaitFor([this] { return m_bConnected || m_bDisconnected; }, timeoutMs) &&
            m_bConnected;
    }

    int CTestClient::GetSocket() const
    {
        return m_pHost ? static_cast<int>(m_pHost->socket) : -1;
    }

    void CTestClient::Disconnect(uint32_t data, unsigned timeoutMs)
    {
        if (!m_pPeer || !m_bConnected)
            return;
        enet_peer_disconnect(m_pPeer, data);
        WaitFor([this] { return m_bDisconnected; }, timeoutMs);
        if (!m_bDisconnected)
            enet_peer_reset(m_pPeer);
        m_bConnected = false;
        m_bDisconnected = true;
    }

    void CTestClient::Service(unsigned timeoutMs)
    {
        if (!m_pHost)
            return;
        ENetEvent event;
        int result = enet_host_service(m_pHost, &event, timeoutMs);
        while (result > 0) {
            switch (event.type) {
            case ENET_EVENT_TYPE_CONNECT:
                m_bConnected = true;
                break;
            case ENET_EVENT_TYPE_DISCONNECT:
                m_bConnected = false;
                m_bDisconnected = true;
                m_uiDisconnectReason = event.data;
                break;
            case ENET_EVENT_TYPE_RECEIVE:
                HandleReceive(event.packet->data, event.packet->dataLength, event.channelID);
                enet_packet_destroy(event.packet);
                break;
            default:
                break;
            }
            result = enet_host_check_events(m_pHost, &event);
        }
        enet_host_flush(m_pHost);
    }

    void CTestClient::HandleReceive(const uint8_t* pData, size_t length, uint8_t channel)
    {
        CReceivedPacket packet;
        packet.ucChannel = channel;
        packet.ullTimeMs = NowMs();
        uint32_t header[2] = {0, 0};
        if (length >= sizeof(header))
            memcpy(header, pData, sizeof(header));
        if (length >= sizeof(header) && header[0] == PACKET_MAGIC) {
            packet.uiId = header[1];
            packet.payload.assign(pData + sizeof(header), pData + length);
        } else {
            packet.payload.assign(pData, pData + length);
        }

        switch (packet.uiId) {
        case ID_CONNECT_ACCEPTED: {
            CPayloadReader reader(packet.payload);
            uint32_t index;
            if (reader.U32(index))
                m_iIndex = static_cast<int32_t>(index);
            break;
        }
        case ID_CHAT:
            ++m_ullChatCount;
            break;
        case ID_CLIENT_LIST:
            m_bAccepted = true;
            break;
        case ID_JOIN_COMPLETE:
            m_ullJoinCompleteMs = packet.ullTimeMs;
            break;
        case ID_ANTICHEAT:
            if (m_Options.bAutoAnswerAnticheat) {
                CPayloadReader reader(packet.payload);
                uint32_t count = 0;
                std::vector<std::string> paths;
                bool bOk = reader.U32(count);
                for (uint32_t i = 0; bOk && i < count; ++i) {
                    std::string path;
                    bOk = reader.String(path);
                    paths.push_back(path);
                }
                if (bOk)
                    SendAnticheatAnswer(paths, m_Options);
            }
            break;
        default:
            break;
        }
        if (m_OnPacket)
            m_OnPacket(packet);
        if (m_bRecord)
            m_Packets.push_back(std::move(packet));
    }

    bool CTestClient::WaitFor(const std::function<bool()>& pred, unsigned timeoutMs)
    {
        uint64_t deadline = NowMs() + timeoutMs;
        for (;;) {
            if (pred())
                return true;
            uint64_t now = NowMs();
            if (now >= deadline)
                return pred();
            Service(static_cast<unsigned>(std::min<uint64_t>(deadline - now, 10)));
        }
    }

    bool CTestClient::WaitForPacket(uint32_t id, unsigned timeoutMs, size_t fromIndex)
    {
        return WaitFor(
            [&] {
                for (size_t i = fromIndex; i < m_Packets.size(); ++i)
                    if (m_Packets[i].uiId == id)
                        return true;
                return false;
            },
            timeoutMs);
    }

    bool CTestClient::WaitForDisconnect(unsigned timeoutMs)
    {
        return WaitFor([this] { return m_bDisconnected; }, timeoutMs);
    }

    bool CTestClient::SendRaw(const void* pData, size_t length, uint8_t channel, bool bReliable)
    {
        if (!m_pPeer || !m_bConnected)
            return false;
        ENetPacket* pPacket = enet_packet_create(pData, length, bReliable ? ENET_PACKET_FLAG_RELIABLE : 0);
        if (!pPacket)
            return false;
        if (enet_peer_send(m_pPeer, channel, pPacket) != 0) {
            enet_packet_destroy(pPacket);
            return false;
        }
        enet_host_flush(m_pHost);
        return true;
    }

    bool CTestClient::SendPacket(uint32_t id, const void* pPayload, size_t length, uint8_t channel, bool bReliable)
    {
        std::vector<uint8_t> message(8 + length);
        uint32_t header[2] = {PACKET_MAGIC, id};
        memcpy(message.data(), header, sizeof(header));
        if (length)
            memcpy(message.data() + 8, pPayload, length);
        return SendRaw(message.data(), message.size(), channel, bReliable);
    }

    bool CTestClient::SendHandshake(const CJoinOptions& options)
    {
        m_Options = options;
        CPayloadWriter w;
        w.U32(options.uiProtocol);
        for (uint32_t part : options.uiVersion)
            w.U32(part);
        w.String(options.strPassword);
        w.U16(static_cast<uint16_t>(options.strName.size()));
        w.Bytes(options.strName.data(), options.strName.size());
        w.U8(options.ucGame);
        return SendPacket(ID_CONNECT, w.Data());
    }

    bool CTestClient::SendAnticheatAnswer(const std::vector<std::string>& gamePaths, const CJoinOptions& options)
    {
        CPayloadWriter w;
        w.U32(static_cast<uint32_t>(gamePaths.size()));
        for (const std::string& path : gamePaths) {
            uint8_t digest[16] = {};
            auto it = options.anticheatFiles.find(path);
            if (it != options.anticheatFiles.end() && !FileMd5(it->second, digest))
                memset(digest, 0, sizeof(digest));
            w.Bytes(digest, sizeof(digest));
        }
        return SendPacket(ID_ANTICHEAT, w.Data());
    }

    bool CTestClient::SendClientReady()
    {
        return SendPacket(ID_CLIENT_READY, nullptr, 0);
    }

    bool CTestClient::SendChat(std::string_view text)
    {
        CPayloadWriter w;
        w.U32(static_cast<uint32_t>(text.size())).Bytes(text.data(), text.size());
        return SendPacket(ID_CHAT, w.Data());
    }

    bool CTestClient::SendCommand(std::string_view name, std::string_view arguments)
    {
        CPayloadWriter w;
        w.U32(static_cast<uint32_t>(name.size())).Bytes(name.data(), name.size());
        w.U32(static_cast<uint32_t>(arguments.size())).Bytes(arguments.data(), arguments.size());
        return SendPacket(ID_COMMAND, w.Data());
    }

    bool CTestClient::SendQuit(uint32_t reason)
    {
        CPayloadWriter w;
        w.U32(reason);
        return SendPacket(ID_CLIENT_QUIT, w.Data());
    }

    bool CTestClient::SendQuitWithoutReason()
    {
        return SendPacket(ID_CLIENT_QUIT, nullptr, 0);
    }

    bool CTestClient::Join(const std::string& host, uint16_t port, const CJoinOptions& options, unsigned timeoutMs)
    {
        uint64_t start = NowMs();
        if (!Connect(host, port, timeoutMs) || !SendHandshake(options))
            return false;
        uint64_t spent = NowMs() - start;
        unsigned left = spent >= timeoutMs ? 0 : static_cast<unsigned>(timeoutMs - spent);
        return WaitFor([this] { return m_bDisconnected || m_bAccepted; }, left) && !m_bDisconnected;
    }

    bool CTestClient::Ready(unsigned timeoutMs)
    {
        m_ullJoinCompleteMs = 0;
        return SendClientReady() && WaitFor([this] { return IsJoined() || m_bDisconnected; }, timeoutMs) &&
            IsJoined();
    }

    std::vector<uint32_t> CTestClient::GetPacketIds(size_t fromIndex) const
    {
        std::vector<uint32_t> ids;
        for (size_t i = fromIndex; i < m_Packets.size(); ++i)
            ids.push_back(m_Packets[i].uiId);
        return ids;
    }

    size_t CTestClient::CountPackets(uint32_t id) const
    {
        size_t n = 0;
        for (const CReceivedPacket& p : m_Packets)
            n += p.uiId == id;
        return n;
    }

    const CReceivedPacket* CTestClient::FindLast(uint32_t id) const
    {
        for (size_t i = m_Packets.size(); i-- > 0;)
            if (m_Packets[i].uiId == id)
                return &m_Packets[i];
        return nullptr;
    }

    std::vector<CChatLine> CTestClient::GetChatLines() const
    {
        std::vector<CChatLine> lines;
        for (const CReceivedPacket& p : m_Packets) {
            if (p.uiId != ID_CHAT)
                continue;
            CPayloadReader reader(p.payload);
            uint32_t count;
            CChatLine line;
            if (!reader.U32(count) || !reader.U32(line.uiColour) || count > reader.Remaining())
                continue;
            line.strText.resize(count);
            reader.Bytes(line.strText.data(), count);
            lines.push_back(std::move(line));
        }
        return lines;
    }
}
