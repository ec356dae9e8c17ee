#include <Engine/BinaryIO.h>
#include <Network/NetCompatibilityShim.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Torvane3D;

namespace
{
    struct CRecordingShim : CNetServerCompatibilityShim
    {
        struct CCall
        {
            unsigned int m_uiId;
            std::string m_strPayload;
        };
        std::vector<CCall> m_Calls;

        void ProcessPacket(Peer_t, unsigned int uiId, Stream* pStream) override
        {
            std::string payload(static_cast<size_t>(pStream->GetRemaining()), '\0');
            pStream->Read(payload.data(), payload.size());
            m_Calls.push_back({uiId, payload});
        }
    };
}

TEST(NetCompatibilityShim, HeaderDecoding)
{
    struct CCase
    {
        const char* m_szName;
        std::vector<unsigned char> m_Bytes;
        bool m_bDelivered;
        unsigned int m_uiId;
        std::string m_strPayload;
    };
    const std::vector<CCase> cases = {
        {"empty", {}, false, 0, ""},
        {"short magic", {0x02, 0x34, 0x52}, false, 0, ""},
        {"magic only", {0x02, 0x34, 0x52, 0x54}, false, 0, ""},
        {"partial id", {0x02, 0x34, 0x52, 0x54, 0x07, 0x00}, false, 0, ""},
        {"wrong magic", {0x02, 0x34, 0x52, 0x55, 0x07, 0x00, 0x00, 0x00}, false, 0, ""},
        {"big-endian magic", {0x54, 0x52, 0x34, 0x02, 0x07, 0x00, 0x00, 0x00}, false, 0, ""},
        {"header only", {0x02, 0x34, 0x52, 0x54, 0x07, 0x00, 0x00, 0x00}, true, 7, ""},
        {"with payload", {0x02, 0x34, 0x52, 0x54, 0x99, 0x00, 0x00, 0x00, 'h', 'i', 0}, true, 0x99,
            std::string("hi\0", 3)},
        {"large id", {0x02, 0x34, 0x52, 0x54, 0xFF, 0xFF, 0xFF, 0xFF, 1}, true, 0xFFFFFFFFu, "\x01"},
    };
    for (const CCase& c : cases) {
        CRecordingShim shim;
        shim.PacketEvent(nullptr, c.m_Bytes.data(), c.m_Bytes.size());
        ASSERT_EQ(shim.m_Calls.size(), c.m_bDelivered ? 1u : 0u) << c.m_szName;
        if (c.m_bDelivered) {
            EXPECT_EQ(shim.m_Calls[0].m_uiId, c.m_uiId) << c.m_szName;
            EXPECT_EQ(shim.m_Calls[0].m_strPayload, c.m_strPayload) << c.m_szName;
        }
    }
}

TEST(NetCompatibilityShim, DefaultsForwardConnectsAndKeepDatagramsForTheTransport)
{
    struct CSink : CNetServerCompatibilityShim
    {
        int m_iConnects = 0;
        unsigned int m_uiReason = 0;
        bool OnPlayerConnect(Peer_t) override { return ++m_iConnects > 0; }
        void OnPlayerDisconnect(Peer_t, unsigned int uiReason) override { m_uiReason = uiReason; }
    } sink;
    sink.OnConnect(nullptr);
    sink.OnDisconnect(nullptr, 6);
    EXPECT_EQ(sink.m_iConnects, 1);
    EXPECT_EQ(sink.m_uiReason, 6u);
    EXPECT_FALSE(sink.CNetServerCompatibilityShim::ReceiveDatagram(nullptr));
}
