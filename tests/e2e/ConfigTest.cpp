// Start-up through server.xml: the bundled default file, fatal settings, files that do not load,
// and command-line switches applied over the file.
#include "ServerProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sstream>

using namespace TestSupport;
using namespace std::chrono_literals;

namespace
{
    std::string ReadBundledConfiguration()
    {
        std::string path = __FILE__;
        path = path.substr(0, path.rfind("/tests/")) + "/config/server.xml";
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    void ExpectFailedStart(CServerProcess& server, const std::string& message)
    {
        EXPECT_EQ(server.Wait(20s), 1) << server.Output();
        std::string out = server.Output();
        EXPECT_NE(out.find(message), std::string::npos) << out;
        EXPECT_NE(out.find("Press any key to continue ..."), std::string::npos) << out;
        EXPECT_EQ(out.find("Server is starting..."), std::string::npos) << out;
    }
}

TEST(ConfigStartup, BundledConfigurationGetsPastConfiguration)
{
    std::string text = ReadBundledConfiguration();
    ASSERT_NE(text.find("<server>"), std::string::npos);
    CTempDir root;
    root.Write("server.xml", text);
    CServerProcess server(root);
    // Free ports, so that the test never meets another server on the defaults.
    const std::string port = std::to_string(FindFreePort());
    ASSERT_TRUE(server.Start({"-port", port, "-httpport", port, "-bindip", "127.0.0.1", "-noinput"}));
    ASSERT_TRUE(server.WaitForOutput("Server is starting...", 20s)) << server.Output();
    EXPECT_TRUE(server.WaitForOutput("Multithreading: enabled", 5s)) << server.Output();
    std::string out = server.Output();
    EXPECT_EQ(out.find("bad syntax"), std::string::npos) << out;
    EXPECT_EQ(out.find("does not fit"), std::string::npos) << out;
    server.Signal(SIGINT);
    if (server.Wait(20s) < 0)
        server.Signal(SIGKILL);
}

TEST(ConfigStartup, RejectedConfigurationsFailWithTheirMessage)
{
    const struct
    {
        const char* szFile;
        const char* szMessage;
    } cases[] = {
        {"<server><maxplayers>0</maxplayers></server>", "The max players should at least be 1!"},
        {"<server><streaminterval>66036</streaminterval></server>",
            "The streaminterval must be greater than or equal to 500 and less than or equal to 5000!"},
        {"<server><game>bully</game></server>", "Failed to load vehicle colours!"},
        {"<server><maxplayers>1</maxplayers>", "I can't start because server.xml failed to parse..."},
        {"", "I can't start because server.xml failed to parse..."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.szFile);
        CTempDir root;
        root.Write("server.xml", c.szFile);
        CServerProcess server(root);
        ASSERT_TRUE(server.Start({}, true));
        ExpectFailedStart(server, c.szMessage);
    }
}

TEST(ConfigStartup, SwitchesApplyOverTheFile)
{
    CTempDir root;
    const std::string port = std::to_string(FindFreePort());
    root.Write("other.xml", "<server><port>1</port><bindip>10.255.255.1</bindip><maxplayers>5</maxplayers>"
                            "<multithreaded>true</multithreaded><httpserver>false</httpserver></server>");
    CServerProcess server(root);
    ASSERT_TRUE(server.Start({"-config", "other.xml", "-port", port, "-bindip", "127.0.0.1", "-maxplayers", "7",
        "-disablemultithreaded", "-noinput"}));
    ASSERT_TRUE(server.WaitForOutput("Server is now listening on port " + port + " max players 7...", 20s))
        << server.Output();
    EXPECT_NE(server.Output().find("Multithreading: disabled"), std::string::npos);
    server.Signal(SIGINT);
    EXPECT_EQ(server.Wait(20s), 0) << server.Output();
}

TEST(ConfigStartup, SwitchesThatBringRConOntoTheHTTPPortAreRefused)
{
    CTempDir root;
    root.Write("server.xml", "<server><rcon>true</rcon><rconport>23001</rconport><httpport>22001</httpport></server>");
    CServerProcess server(root);
    ASSERT_TRUE(server.Start({"-rconport", "22001"}, true));
    ExpectFailedStart(server, "The rconport and httpport cannot match!");
}
