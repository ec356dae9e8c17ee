// An in-process server on a fake transport: packets go in through the transport's event
// sink, and everything the server sends or disconnects is recorded.
#pragma once

#include "GTAServer.h"

#include <Engine/Context.h>
#include <Network/Packet.h>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace SessionTest
{
    using namespace Torvane3D;

    struct tSent
    {
        Peer_t m_pPeer;
        uint32_t m_uiId;
        std::vector<uint8_t> m_Payload;
        unsigned char m_ucChannel;
        ePacketFlags m_Flags;
    };

    class CFakeTransport : public CNetServer
    {
    public:
        bool Initialise(unsigned short, const char*, bool) override { return true; }
        void Disconnect(Peer_t pPeer, unsigned int uiReason) override { m_Disconnects.emplace_back(pPeer, uiReason); }
        void Update() override {}
        bool SendPacket(Peer_t pPeer, Packet* pPacket, ePacketPriority, ePacketFlags flags, unsigned char ucChannel) override
        {
            const uint8_t* p = pPacket->GetData();
            m_Sent.push_back({pPeer, pPacket->GetId(), std::vector<uint8_t>(p + 8, p + pPacket->GetSize()), ucChannel, flags});
            return true;
        }
        bool SendEveryonePacket(Packet* pPacket, ePacketPriority priority, ePacketFlags flags, unsigned char ucChannel) override
        {
            return SendPacket(nullptr, pPacket, priority, flags, ucChannel);
        }
        bool GetIPAddress(Peer_t pPeer, CIPAddress& address) override
        {
            auto it = m_Addresses.find(pPeer);
            if (it == m_Addresses.end())
                return false;
            address.SetIPv4(inet_addr(it->second.c_str()), 40000);
            return true;
        }
        unsigned int GetLastPing(Peer_t) override { return 0; }

        std::vector<uint32_t> IdsTo(Peer_t pPeer) const
        {
            std::vector<uint32_t> ids;
            for (const tSent& s : m_Sent)
                if (s.m_pPeer == pPeer)
                    ids.push_back(s.m_uiId);
            return ids;
        }
        size_t Count(Peer_t pPeer, uint32_t uiId) const
        {
            size_t n = 0;
            for (const tSent& s : m_Sent)
                n += s.m_pPeer == pPeer && s.m_uiId == uiId;
            return n;
        }
        // The reason of the peer's last disconnect, or -1.
        long DisconnectReason(Peer_t pPeer) const
        {
            long reason = -1;
            for (auto& d : m_Disconnects)
                if (d.first == pPeer)
                    reason = d.second;
            return reason;
        }

        std::vector<tSent> m_Sent;
        std::vector<std::pair<Peer_t, unsigned>> m_Disconnects;
        std::map<Peer_t, std::string> m_Addresses;
    };

    class CLogCapture : public ILogListener
    {
    public:
        CLogCapture() { AddLogListener(this); }
        ~CLogCapture() override { RemoveLogListener(this); }
        void OnLogMessage(eLogType level, const char* szText) override
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            m_Lines.emplace_back(level, szText);
        }
        bool Has(eLogType level, const std::string& text)
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            for (auto& l : m_Lines)
                if (l.first == level && l.second == text)
                    return true;
            return false;
        }
        bool Contains(const std::string& part)
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            for (auto& l : m_Lines)
                if (l.second.find(part) != std::string::npos)
                    return true;
            return false;
        }

        std::mutex m_Mutex;
        std::vector<std::pair<eLogType, std::string>> m_Lines;
    };

    // Little-endian payload builder.
    class CBytes
    {
    public:
        CBytes& U8(uint8_t v) { return Raw(&v, 1); }
        CBytes& U16(uint16_t v) { return Raw(&v, 2); }
        CBytes& U32(uint32_t v) { return Raw(&v, 4); }
        CBytes& Raw(const void* p, size_t n)
        {
            const uint8_t* b = static_cast<const uint8_t*>(p);
            m_Data.insert(m_Data.end(), b, b + n);
            return *this;
        }
        CBytes& Text(const std::string& s) { return Raw(s.data(), s.size()); }
        CBytes& String(const std::string& s)
        {
            uint32_t n = static_cast<uint32_t>(s.size());
            while (n > 127) {
                U8(static_cast<uint8_t>((n & 0x7f) | 0x80));
                n >>= 7;
            }
            U8(static_cast<uint8_t>(n));
            return Text(s);
        }
        std::vector<uint8_t> m_Data;
    };

    inline CBytes Handshake(const std::string& name, uint8_t game = 1, const std::string& password = "",
        uint32_t protocol = 29)
    {
        CBytes b;
        b.U32(protocol).U32(1).U32(0).U32(0).U32(0).String(password);
        b.U16(static_cast<uint16_t>(name.size())).Text(name).U8(game);
        return b;
    }

    class CSessionFixture : public ::testing::Test
    {
    protected:
        void SetUp() override
        {
            m_Server.GetMachines().SetNetServer(&m_Transport);
            m_Server.CreateConsoleMachine();
        }
        void TearDown() override { m_Server.GetMachines().ClearAll(); }

        static Peer_t PeerOf(int n) { return reinterpret_cast<Peer_t>(static_cast<uintptr_t>(0x1000 + n)); }

        // Delivers one message (header and payload) as the transport would.
        void Deliver(Peer_t pPeer, uint32_t uiId, const std::vector<uint8_t>& payload)
        {
            std::vector<uint8_t> message(8);
            uint32_t header[2] = {PACKET_MAGIC, uiId};
            memcpy(message.data(), header, 8);
            message.insert(message.end(), payload.begin(), payload.end());
            m_Server.PacketEvent(pPeer, message.data(), message.size());
        }

        // Connects a peer from an address and sends its handshake.
        Peer_t Connect(int n, const CBytes& handshake, const std::string& address = "127.0.0.1")
        {
            Peer_t pPeer = PeerOf(n);
            m_Transport.m_Addresses[pPeer] = address;
            m_Server.OnConnect(pPeer);
            Deliver(pPeer, 1, handshake.m_Data);
            return pPeer;
        }

        // A client accepted, verified (empty anticheat list) and joined.
        Peer_t Join(int n, const std::string& name)
        {
            Peer_t pPeer = Connect(n, Handshake(name));
            Deliver(pPeer, 149, CBytes().U32(0).m_Data);
            Deliver(pPeer, 3, {});
            return pPeer;
        }

        CNetMachine* ClientOf(Peer_t pPeer) { return m_Server.GetMachines().GetMachineFromPeer(pPeer); }

        CFakeTransport m_Transport;
        CGTAServer m_Server;
        CLogCapture m_Log;
    };
}
