#include "CommandLine.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
    bool Parse(std::vector<const char*> args, CCommandLineOverrides& o, std::string& err)
    {
        args.insert(args.begin(), "osprel-server");
        return ParseCommandLine(static_cast<int>(args.size()), args.data(), o, err);
    }
}

TEST(CommandLine, Switches)
{
    CCommandLineOverrides o;
    std::string err;
    ASSERT_TRUE(Parse({"-PORT", "23000", "-httpport", "8080", "-RconPort", "9000", "-maxplayers", "64", "-bindip",
                          "127.0.0.1", "-noinput", "-DUMPDOC", "-allowadmin", "whatever", "-config", "-port"},
        o, err))
        << err;
    EXPECT_TRUE(o.m_bPortGiven);
    EXPECT_EQ(o.m_usPort, 23000);
    EXPECT_EQ(o.m_usHTTPPort, 8080);
    EXPECT_EQ(o.m_usRConPort, 9000);
    EXPECT_EQ(o.m_iMaxPlayers, 64);
    EXPECT_EQ(o.m_strBindIP, "127.0.0.1");
    EXPECT_TRUE(o.m_bNoInput);
    EXPECT_TRUE(o.m_bDumpDoc);
    // A value switch takes the next argument verbatim, whatever it looks like.
    EXPECT_EQ(o.m_strConfigPath, "-port");
}

TEST(CommandLine, ValueSwitchAtEndChangesNothing)
{
    CCommandLineOverrides o;
    std::string err;
    ASSERT_TRUE(Parse({"-port"}, o, err));
    EXPECT_FALSE(o.m_bPortGiven);
    ASSERT_TRUE(Parse({"-config"}, o, err));
    EXPECT_EQ(o.m_strConfigPath, "server.xml");
}

TEST(CommandLine, MultithreadingLastWins)
{
    CCommandLineOverrides o;
    std::string err;
    ASSERT_TRUE(Parse({"-multithreaded", "-disablemultithreaded"}, o, err));
    EXPECT_TRUE(o.m_bMultithreadedGiven);
    EXPECT_FALSE(o.m_bMultithreaded);
}

TEST(CommandLine, BindIPCutTo63Bytes)
{
    CCommandLineOverrides o;
    std::string err;
    std::string longIP(100, '1');
    ASSERT_TRUE(Parse({"-bindip", longIP.c_str()}, o, err));
    EXPECT_EQ(o.m_strBindIP.size(), 63u);
}

TEST(CommandLine, BadNumbersRefused)
{
    const std::vector<std::vector<const char*>> bad = {
        {"-port", "abc"}, {"-port", "0"}, {"-port", "65536"}, {"-port", "22000x"}, {"-httpport", "-1"},
        {"-rconport", ""}, {"-maxplayers", "0"}, {"-maxplayers", "128"}, {"-maxplayers", "255"},
        {"-port", "99999999999999999999"},
    };
    for (const auto& args : bad) {
        CCommandLineOverrides o;
        std::string err;
        EXPECT_FALSE(Parse(args, o, err)) << args[0] << " " << args[1];
        EXPECT_NE(err.find(args[0]), std::string::npos) << err;
    }
    CCommandLineOverrides o;
    std::string err;
    EXPECT_TRUE(Parse({"-port", "65535", "-maxplayers", "127"}, o, err));
    EXPECT_TRUE(Parse({"-port", "1", "-maxplayers", "1"}, o, err));
}
