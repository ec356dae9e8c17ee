#include "ServerProcess.h"

#include <gtest/gtest.h>

using namespace TestSupport;
using namespace std::chrono_literals;

TEST(Startup, MissingConfigurationFailsWithPromptAndStatus1)
{
    const std::vector<std::vector<std::string>> argSets = {{}, {"-config", "other.xml"}};
    for (const auto& args : argSets) {
        CTempDir root;
        CServerProcess server(root);
        ASSERT_TRUE(server.Start(args, true));
        EXPECT_EQ(server.Wait(20s), 1);
        std::string out = server.Output();
        EXPECT_NE(out.find("I can't start because server.xml doesn't exist..."), std::string::npos) << out;
        EXPECT_NE(out.find("Press any key to continue ..."), std::string::npos) << out;
    }
}

TEST(Startup, BadCommandLineNumberFailsCleanly)
{
    CTempDir root;
    CServerProcess server(root);
    ASSERT_TRUE(server.Start({"-port", "abc"}, true));
    EXPECT_EQ(server.Wait(20s), 1);
    std::string out = server.Output();
    EXPECT_NE(out.find("-port"), std::string::npos) << out;
    EXPECT_NE(out.find("Press any key to continue ..."), std::string::npos) << out;
}
