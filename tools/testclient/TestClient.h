// The project's test client: one game client speaking the protocol from the client side
// over its own ENet host. Used by the end-to-end tests and by the load generator.
// It knows only the wire format (packet header, binary encoding), never the server's code.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

typedef struct _ENetHost ENetHost;
typedef struct _ENetPeer ENetPeer;

namespace TestClient
{
    // Packet ids the client sends or looks for (the server's catalogue has the full list).
    enum : uint32_t
    {
        ID_CONNECT = 1,
        ID_CONNECT_ACCEPTED = 2,
        ID_CLIENT_READY = 3,
        ID_CLIENT_PLAYER = 5,
        ID_CHAT = 6,
        ID_COMMAND = 7,
        ID_RESOURCES = 8,
        ID_NETWORK_EVENT = 10,
        ID_JOIN_COMPLETE = 14,
        ID_CLIENT_QUIT = 16,
        ID_GAME_MODE = 17,
        ID_CLIENT_LIST = 19,
        ID_CLIENT_JOINED = 20,
        ID_CLIENT_LEFT = 21,
        ID_SERVER_NAME = 29,
        ID_CVARS = 30,
        ID_ANTICHEAT = 149,
        // A received message too short for a header or with a foreign magic.
        ID_MALFORMED = 0xFFFFFFFF,
    };

    constexpr uint32_t PROTOCOL_VERSION = 29;

    // The text of a disconnect reason code the server sends.
    const char* DescribeReason(uint32_t reason);

    struct CJoinOptions
    {
        std::string strName = "Bot";
        uint8_t ucGame = 1;
        uint32_t uiProtocol = PROTOCOL_VERSION;
        uint32_t uiVersion[4] = {1, 0, 0, 0};
        std::string strPassword;
        // Game path -> local file whose MD5 answers the anticheat request for that path.
        // A requested path without a file is answered with an all-zero digest.
        std::map<std::string, std::string> anticheatFiles;
        // Answer packet 149 as soon as it arrives.
        bool bAutoAnswerAnticheat = true;
    };

    struct CReceivedPacket
    {
        uint8_t ucChannel = 0;
        uint32_t uiId = ID_MALFORMED;
        std::vector<uint8_t> payload; // after the 8-byte header (the whole message when malformed)
        uint64_t ullTimeMs = 0;       // monotonic time of arrival
    };

    // A chat packet (6) from the server, decoded.
    struct CChatLine
    {
        uint32_t uiColour = 0;
        std::string strText;
    };

    class CTestClient
    {
    public:
        explicit CTestClient(size_t channelCount = 32);
        ~CTestClient();
        CTestClient(const CTestClient&) = delete;
        CTestClient& operator=(const CTestClient&) = delete;

        // Starts the ENet connection and, with a timeout, services until it is established.
        bool Connect(const std::string& host, uint16_t port, unsigned timeoutMs = 5000);
        // Starts the connection without waiting (load generation).
        bool ConnectAsync(const std::string& host, uint16_t port);
        bool IsConnected() const { return m_bConnected; }
        bool IsDisconnected() const { return m_bDisconnected; }
        // Packet 19 (the client list, last of acceptance) and packet 14 (join complete) arrived.
        bool IsAccepted() const { return m_bAccepted; }
        bool IsJoined() const { return m_ullJoinCompleteMs != 0; }
        // The host's UDP socket, for callers that wait on many clients at once.
        int GetSocket() const;
        // The data of the server's disconnect (the reason code), 0 for a time-out.
        uint32_t GetDisconnectReason() const { return m_uiDisconnectReason; }
        // Graceful disconnect with the given data; services until confirmed or timeoutMs passes.
        void Disconnect(uint32_t data = 0, unsigned timeoutMs = 1000);

        // Sends a packet: header with the id, then the payload bytes.
        bool SendPacket(uint32_t id, const void* pPayload, size_t length, uint8_t channel = 0, bool bReliable = true);
        bool SendPacket(uint32_t id, const std::vector<uint8_t>& payload, uint8_t channel = 0, bool bReliable = true)
        {
            return SendPacket(id, payload.data(), payload.size(), channel, bReliable);
        }
        // Sends bytes as they are, no header added.
        bool SendRaw(const void* pData, size_t length, uint8_t channel = 0, bool bReliable = true);

        bool SendHandshake(const CJoinOptions& options);
        // Answers with the digests of the given options' files, for the given game paths.
        bool SendAnticheatAnswer(const std::vector<std::string>& gamePaths, const CJoinOptions& options);
        bool SendClientReady();
        bool SendChat(std::string_view text);
        bool SendCommand(std::string_view name, std::string_view arguments);
        bool SendQuit(uint32_t reason);
        bool SendQuitWithoutReason();

        // Services the host once, waiting at most timeoutMs for the first event.
        void Service(unsigned timeoutMs = 0);
        // Services until pred is true or timeoutMs passes; returns pred's last value.
        bool WaitFor(const std::function<bool()>& pred, unsigned timeoutMs);
        // Waits until a packet with the id arrived at index fromIndex or later.
        bool WaitForPacket(uint32_t id, unsigned timeoutMs, size_t fromIndex = 0);
        bool WaitForDisconnect(unsigned timeoutMs);

        // Connect, handshake and wait for the client list (19), the last packet of acceptance.
        // With auto-answer on, the anticheat request is answered on the way.
        bool Join(const std::string& host, uint16_t port, const CJoinOptions& options, unsigned timeoutMs = 5000);
        // Sends client-ready and waits for the join-complete packet (14).
        bool Ready(unsigned timeoutMs = 5000);

        const std::vector<CReceivedPacket>& GetPackets() const { return m_Packets; }
        std::vector<uint32_t> GetPacketIds(size_t fromIndex = 0) const;
        size_t CountPackets(uint32_t id) const;
        // The last packet with the id, or null.
        const CReceivedPacket* FindLast(uint32_t id) const;
        void ClearPackets() { m_Packets.clear(); }
        // Every chat packet received, decoded in order.
        std::vector<CChatLine> GetChatLines() const;
        // The client index given in packet 2, or -1.
        int32_t GetIndex() const { return m_iIndex; }
        // Chat packets counted as they arrive (kept even when packets are not recorded).
        uint64_t GetChatCount() const { return m_ullChatCount; }
        // Load generation keeps memory flat by counting instead of recording.
        void SetRecording(bool bRecord) { m_bRecord = bRecord; }
        // Monotonic milliseconds of the join-complete packet, or 0.
        uint64_t GetJoinCompleteTime() const { return m_ullJoinCompleteMs; }
        const CJoinOptions& GetOptions() const { return m_Options; }
        // Called with every packet as it arrives, recorded or not (the element bot's decoder).
        void SetPacketListener(std::function<void(const CReceivedPacket&)> fn) { m_OnPacket = std::move(fn); }

    private:
        void HandleReceive(const uint8_t* pData, size_t length, uint8_t channel);

        ENetHost* m_pHost = nullptr;
        ENetPeer* m_pPeer = nullptr;
        size_t m_ChannelCount;
        bool m_bConnected = false;
        bool m_bDisconnected = false;
        bool m_bAccepted = false;
        uint32_t m_uiDisconnectReason = 0;
        int32_t m_iIndex = -1;
        bool m_bRecord = true;
        uint64_t m_ullChatCount = 0;
        uint64_t m_ullJoinCompleteMs = 0;
        CJoinOptions m_Options;
        std::vector<CReceivedPacket> m_Packets;
        std::function<void(const CReceivedPacket&)> m_OnPacket;
    };

    // Monotonic milliseconds.
    uint64_t NowMs();
    // The MD5 digest of a file's bytes; false when it cannot be read.
    bool FileMd5(const std::string& path, uint8_t digest[16]);

    // Little-endian reader over a received payload; every read is bounded.
    class CPayloadReader
    {
    public:
        explicit CPayloadReader(const std::vector<uint8_t>& payload) : m_Data(payload) {}
        bool U8(uint8_t& v) { return Bytes(&v, 1); }
        bool U16(uint16_t& v) { return Bytes(&v, 2); }
        bool U32(uint32_t& v) { return Bytes(&v, 4); }
        bool I32(int32_t& v) { return Bytes(&v, 4); }
        bool Bytes(void* p, size_t n);
        bool CompactLength(uint32_t& n);
        bool String(std::string& text);
        size_t Remaining() const { return m_Data.size() - m_Pos; }

    private:
        const std::vector<uint8_t>& m_Data;
        size_t m_Pos = 0;
    };

    // Builds payloads in the wire encoding.
    class CPayloadWriter
    {
    public:
        CPayloadWriter& U8(uint8_t v) { return Bytes(&v, 1); }
        CPayloadWriter& U16(uint16_t v) { return Bytes(&v, 2); }
        CPayloadWriter& U32(uint32_t v) { return Bytes(&v, 4); }
        CPayloadWriter& I32(int32_t v) { return Bytes(&v, 4); }
        CPayloadWriter& Bytes(const void* p, size_t n);
        CPayloadWriter& CompactLength(uint32_t n);
        CPayloadWriter& String(std::string_view text);
        const std::vector<uint8_t>& Data() const { return m_Data; }

    private:
        std::vector<uint8_t> m_Data;
    };
}
