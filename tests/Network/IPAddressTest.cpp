#include <Network/IPAddress.h>

#include <arpa/inet.h>
#include <gtest/gtest.h>

using namespace Torvane3D;

TEST(IPAddress, TextIsTheAddressAloneCutToTheBuffer)
{
    CIPAddress address;
    EXPECT_EQ(address.GetFamily(), AF_INET);
    address.SetIPv4(inet_addr("192.168.100.200"), 22000);
    EXPECT_EQ(address.GetPort(), 22000);
    EXPECT_EQ(address.GetIPv4(), inet_addr("192.168.100.200"));

    char szText[64];
    ASSERT_TRUE(address.ToString(szText, sizeof(szText)));
    EXPECT_STREQ(szText, "192.168.100.200");

    char szShort[8];
    memset(szShort, 'x', sizeof(szShort));
    ASSERT_TRUE(address.ToString(szShort, sizeof(szShort)));
    EXPECT_STREQ(szShort, "192.168");
    EXPECT_FALSE(address.ToString(szText, 0));
}
