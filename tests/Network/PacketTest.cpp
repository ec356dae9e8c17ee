#include <Engine/BinaryIO.h>
#include <Network/Packet.h>

#include <gtest/gtest.h>

using namespace Torvane3D;

TEST(Packet, HeaderBytes)
{
    Packet packet(20);
    ASSERT_EQ(packet.GetLength(), 8);
    const unsigned char expected[] = {0x02, 0x34, 0x52, 0x54, 0x14, 0x00, 0x00, 0x00};
    EXPECT_EQ(memcmp(packet.GetData(), expected, 8), 0);
    EXPECT_EQ(packet.GetId(), 20u);
}

TEST(Packet, PayloadFollowsHeaderAndSmallPacketsStayInline)
{
    Packet packet(5);
    const unsigned char* pInline = packet.GetData();
    CBinaryWriter w(&packet);
    w.WriteString("hi");
    EXPECT_EQ(packet.GetLength(), 11);
    EXPECT_EQ(packet.GetData()[8], 2);
    EXPECT_EQ(packet.GetData(), pInline);
}
