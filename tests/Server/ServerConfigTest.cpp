#include "CommandLine.h"
#include "ConfigTestFileSystem.h"
#include "ConfigXmlTree.h"
#include "GTAServer.h"
#include "ServerConfiguration.h"

#include <Engine/Context.h>
#include <Engine/Password.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

using namespace Torvane3D;
using namespace TestSupport;

namespace
{
    using tLine = std::pair<eLogType, std::string>;

    class CLogCapture : public ILogListener
    {
    public:
        CLogCapture() { AddLogListener(this); }
        ~CLogCapture() override { RemoveLogListener(this); }
        void OnLogMessage(eLogType level, const char* szText) override { m_Lines.emplace_back(level, szText); }

        std::vector<tLine> Problems() const
        {
            std::vector<tLine> lines;
            for (const tLine& line : m_Lines) {
                if (line.first >= LOG_WARN)
                    lines.push_back(line);
            }
            return lines;
        }
        bool Has(eLogType level, const std::string& text) const
        {
            for (const tLine& line : m_Lines) {
                if (line.first == level && line.second == text)
                    return true;
            }
            return false;
        }

        std::vector<tLine> m_Lines;
    };

    struct Case
    {
        const char* szName;
        std::string body; // children of the root element
        bool bResult;
        std::vector<tLine> problems; // every warning and error, in order
        std::function<void(const CGTAServer&)> check;
    };

    const char MAXPLAYERS_LOW[] = "The max players should at least be 1!";
    const char MAXPLAYERS_HIGH[] = "The max players should not be set to anything more than 127!";
    const char RCON_PORT[] = "The rconport and httpport cannot match!";
    const char STREAMINTERVAL[] =
        "The streaminterval must be greater than or equal to 500 and less than or equal to 5000!";

    std::vector<uint32_t> Version(const CGTAServer& s)
    {
        return {s.m_uiMinClientVersion[0], s.m_uiMinClientVersion[1], s.m_uiMinClientVersion[2],
            s.m_uiMinClientVersion[3]};
    }

    void RunCases(const std::vector<Case>& cases, std::function<bool(CGTAServer&, const CServerConfiguration&)> parse)
    {
        for (const Case& c : cases) {
            SCOPED_TRACE(c.szName);
            auto pRoot = LoadConfigXml("<config>" + c.body + "</config>");
            ASSERT_NE(pRoot, nullptr);
            CServerConfiguration config(*pRoot);
            CGTAServer server;
            CLogCapture log;
            EXPECT_EQ(parse(server, config), c.bResult);
            EXPECT_EQ(log.Problems(), c.problems);
            if (c.check)
                c.check(server);
        }
    }

    bool ParseBase(CGTAServer& server, const CServerConfiguration& config)
    {
        return server.CBaseServer::ParseConfig(config);
    }
}

TEST(ServerConfig, BaseKeysFatalChecksAndFallbacks)
{
    const std::string longName(100, 'n');
    const std::vector<Case> cases = {
        {"defaults", "", true, {},
            [](const CGTAServer& s) {
                EXPECT_EQ(s.m_iMaxPlayers, 32);
                EXPECT_EQ(s.m_usPort, 22000);
                EXPECT_EQ(s.m_usHTTPPort, 22000);
                EXPECT_EQ(s.m_usRConPort, 23000);
                EXPECT_TRUE(s.m_bHTTPServer);
                EXPECT_FALSE(s.m_bRCon);
                EXPECT_FALSE(s.m_bServerBrowser);
                EXPECT_EQ(s.m_usSyncInterval, 30);
                EXPECT_EQ(s.m_SyncMethod, SYNC_METHOD_INTERVAL);
                EXPECT_EQ(s.m_ucSyncPacketPriority, 3);
                EXPECT_EQ(s.m_ucSyncPacketFlags, 0);
                EXPECT_FALSE(s.m_bDuplicateNames);
                EXPECT_TRUE(s.m_bMultithreaded);
                EXPECT_EQ(s.m_uiMaxPeersPerAddress, 16u);
                EXPECT_EQ(s.m_uiMaxJoinsPerAddress, 30u);
                EXPECT_EQ(Version(s), (std::vector<uint32_t>{1, 0, 0, 0}));
                EXPECT_STREQ(s.m_szLogTimestamp, "%d/%m/%Y - %X");
                EXPECT_EQ(s.m_strGame, "gta:iii");
                EXPECT_EQ(s.m_iGame, 1);
                EXPECT_FLOAT_EQ(s.m_fStreamInDistance, 100.0f);
                EXPECT_FLOAT_EQ(s.m_fStreamOutDistance, 200.0f);
                EXPECT_EQ(s.m_usStreamInterval, 1000);
                EXPECT_TRUE(s.m_StartResources.empty());
            }},
        {"maxplayers text", "<servername>kept</servername><maxplayers>abc</maxplayers>", false,
            {{LOG_ERROR, MAXPLAYERS_LOW}},
            // Settings read before the fatal check stay applied.
            [](const CGTAServer& s) { EXPECT_STREQ(s.m_szServerName, "kept"); }},
        {"maxplayers 128", "<maxplayers>128</maxplayers>", false, {{LOG_ERROR, MAXPLAYERS_HIGH}}, nullptr},
        {"maxplayers -1", "<maxplayers>-1</maxplayers>", false, {{LOG_ERROR, MAXPLAYERS_HIGH}}, nullptr},
        {"maxplayers cut to 1", "<maxplayers>4294967297</maxplayers>", false, {{LOG_ERROR, MAXPLAYERS_HIGH}},
            nullptr},
        {"maxplayers 127", "<maxplayers> 127x</maxplayers>", true, {},
            [](const CGTAServer& s) { EXPECT_EQ(s.m_iMaxPlayers, 127); }},
        {"names ignore case, first wins", "<Port>23000</Port><port>24000</port><PORT>25000</PORT>", true, {},
            [](const CGTAServer& s) { EXPECT_EQ(s.m_usPort, 23000); }},
        {"empty element is absent", "<port/><port>1</port><maxplayers></maxplayers>", true, {},
            [](const CGTAServer& s) {
                EXPECT_EQ(s.m_usPort, 22000);
                EXPECT_EQ(s.m_iMaxPlayers, 32);
            }},
        {"port cut to 16 bits", "<port>87000</port><httpport>-1</httpport>", true,
            {{LOG_WARN, "The port 87000 does not fit in 16 bits and is used as 21464!"},
                {LOG_WARN, "The httpport -1 does not fit in 16 bits and is used as 65535!"}},
            [](const CGTAServer& s) {
                EXPECT_EQ(s.m_usPort, 21464);
                EXPECT_EQ(s.m_usHTTPPort, 65535);
            }},
        {"booleans", "<httpserver>TRUE</httpserver><rcon>yes</rcon><serverbrowser>1</serverbrowser>"
                     "<duplicatenames>true</duplicatenames><multithreaded>0</multithreaded>"
                     "<syncpacketreliable>false</syncpacketreliable><syncpacketunsequenced>True</syncpacketunsequenced>",
            true, {},
            [](const CGTAServer& s) {
                EXPECT_TRUE(s.m_bHTTPServer); // "TRUE" is no boolean: default
                EXPECT_FALSE(s.m_bRCon);      // "yes" is no boolean: default
                EXPECT_TRUE(s.m_bServerBrowser);
                EXPECT_TRUE(s.m_bDuplicateNames);
                EXPECT_FALSE(s.m_bMultithreaded);
                EXPECT_EQ(s.m_ucSyncPacketFlags, 0);
            }},
        {"rcon port equals http port", "<rcon>true</rcon><rconport>22000</rconport><httpserver>false</httpserver>",
            false, {{LOG_ERROR, RCON_PORT}}, nullptr},
        {"rcon off, ports may match", "<rconport>22000</rconport>", true, {}, nullptr},
        {"rcon on, distinct ports", "<rcon>1</rcon><rconport>23001</rconport>", true, {},
            [](const CGTAServer& s) {
                EXPECT_TRUE(s.m_bRCon);
                EXPECT_EQ(s.m_usRConPort, 23001);
            }},
        {"sync settings", "<syncinterval>50</syncinterval><syncmethod>Replay</syncmethod>"
                          "<syncpacketpriority>High</syncpacketpriority>"
                          "<syncpacketreliable>true</syncpacketreliable><syncpacketunsequenced>1</syncpacketunsequenced>",
            true, {},
            [](const CGTAServer& s) {
                EXPECT_EQ(s.m_usSyncInterval, 50);
                EXPECT_EQ(s.m_SyncMethod, SYNC_METHOD_REPLAY);
                EXPECT_EQ(s.m_ucSyncPacketPriority, 1);
                EXPECT_EQ(s.m_ucSyncPacketFlags, 3);
            }},
        {"sync words unknown", "<syncmethod>fast</syncmethod><syncpacketpriority>urgent</syncpacketpriority>", true,
            {{LOG_ERROR, "Invalid syncmethod specified, using interval!"},
                {LOG_ERROR, "Invalid syncpriority specified, using low!"}},
            [](const CGTAServer& s) {
                EXPECT_EQ(s.m_SyncMethod, SYNC_METHOD_INTERVAL);
                EXPECT_EQ(s.m_ucSyncPacketPriority, 3);
            }},
        {"sync none, immediate", "<syncmethod>NONE</syncmethod><syncpacketpriority>immediate</syncpacketpriority>",
            true, {},
            [](const CGTAServer& s) {
                EXPECT_EQ(s.m_SyncMethod, SYNC_METHOD_NONE);
                EXPECT_EQ(s.m_ucSyncPacketPriority, 0);
            }},
        {"texts cut to 63 bytes", "<servername>" + longName + "</servername><gamemode>Race</gamemode>"
                                  "<bindip>127.0.0.1</bindip><logtimestamp>%X</logtimestamp>"
                                  "<httpurl>http://example.test/" + longName + "</httpurl>",
            true, {},
            [longName](const CGTAServer& s) {
                EXPECT_EQ(std::string(s.m_szServerName), longName.substr(0, 63));
                EXPECT_STREQ(s.m_szGameMode, "Race");
                EXPECT_STREQ(s.m_szBindIP, "127.0.0.1");
                EXPECT_STREQ(s.m_szLogTimestamp, "%X");
                EXPECT_EQ(s.m_strHTTPURL, "http://example.test/" + longName); // no length limit
            }},
        {"logpath too long", "<logpath>/" + std::string(5000, 'l') + "</logpath>", false,
            {{LOG_ERROR, "The logpath is too long (5001 bytes, at most 4081)!"}}, nullptr},
        {"address limits", "<maxpeersperaddress>4</maxpeersperaddress><maxjoinsperaddress>100</maxjoinsperaddress>",
            true, {},
            [](const CGTAServer& s) {
                EXPECT_EQ(s.m_uiMaxPeersPerAddress, 4u);
                EXPECT_EQ(s.m_uiMaxJoinsPerAddress, 100u);
            }},
        {"maxpeersperaddress 0", "<maxpeersperaddress>0</maxpeersperaddress>", false,
            {{LOG_ERROR, "The maxpeersperaddress must be at least 1 and at most 4095!"}}, nullptr},
        {"maxjoinsperaddress too high", "<maxjoinsperaddress>65536</maxjoinsperaddress>", false,
            {{LOG_ERROR, "The maxjoinsperaddress must be at least 1 and at most 65535!"}}, nullptr},
        {"streaminterval 499", "<streaminterval>499</streaminterval>", false, {{LOG_ERROR, STREAMINTERVAL}},
            nullptr},
        {"streaminterval 5001", "<streaminterval>5001</streaminterval>", false, {{LOG_ERROR, STREAMINTERVAL}},
            nullptr},
        {"streaminterval 500", "<streaminterval>500</streaminterval>", true, {},
            [](const CGTAServer& s) { EXPECT_EQ(s.m_usStreamInterval, 500); }},
        {"streaminterval 5000", "<streaminterval>5000</streaminterval>", true, {},
            [](const CGTAServer& s) { EXPECT_EQ(s.m_usStreamInterval, 5000); }},
        {"streaminterval passing only when cut", "<streaminterval>66036</streaminterval>", false,
            {{LOG_WARN, "The streaminterval 66036 does not fit in 16 bits and is used as 500!"},
                {LOG_ERROR, STREAMINTERVAL}},
            nullptr},
        {"stream distances", "<streamindistance>50.5</streamindistance><streamoutdistance>1e3</streamoutdistance>",
            true, {},
            [](const CGTAServer& s) {
                EXPECT_FLOAT_EQ(s.m_fStreamInDistance, 50.5f);
                EXPECT_FLOAT_EQ(s.m_fStreamOutDistance, 1000.0f);
            }},
        {"game name ignores case", "<game>GTA:VC</game>", true, {},
            [](const CGTAServer& s) {
                EXPECT_EQ(s.m_strGame, "GTA:VC");
                EXPECT_EQ(s.m_iGame, 2);
            }},
        {"game unknown", "<game>gta:lcs</game>", true, {}, [](const CGTAServer& s) { EXPECT_EQ(s.m_iGame, -1); }},
    };
    RunCases(cases, ParseBase);
}

TEST(ServerConfig, MinClientVersionPartialForms)
{
    const std::vector<std::pair<const char*, std::vector<uint32_t>>> forms = {
        {"1.2", {1, 2, 0, 0}},
        {"2.3.4.5", {2, 3, 4, 5}},
        {"0.9.9.9", {0, 9, 9, 9}},
        {"3", {3, 0, 0, 0}},
        {"abc", {1, 0, 0, 0}},
        {"1..3", {1, 0, 0, 0}},
        {"4.5x.6", {4, 5, 0, 0}},
        {" 7. 8", {7, 8, 0, 0}},
        {"2.3.4.5.6", {2, 3, 4, 5}},
    };
    std::vector<Case> cases;
    for (const auto& form : forms) {
        std::vector<uint32_t> expected = form.second;
        cases.push_back({form.first, std::string("<minclientversion>") + form.first + "</minclientversion>", true, {},
            [expected](const CGTAServer& s) { EXPECT_EQ(Version(s), expected); }});
    }
    cases.push_back({"part beyond 32 bits", "<minclientversion>1.4294967296</minclientversion>", true,
        {{LOG_WARN, "The minclientversion part 4294967296 does not fit in 32 bits and is used as 0!"}},
        [](const CGTAServer& s) { EXPECT_EQ(Version(s), (std::vector<uint32_t>{1, 0, 0, 0})); }});
    RunCases(cases, ParseBase);
}

TEST(ServerConfig, ListsModulesCVarsAndRules)
{
    const std::vector<Case> cases = {
        {"resources with foreign element names",
            "<resources><x src='before'/><resource src='a'/><foo src='b'/><resource/>"
            "<resource src='c' privileged='true'/></resources><resources><resource src='ignored'/></resources>",
            true, {},
            [](const CGTAServer& s) {
                EXPECT_EQ(s.m_StartResources, (std::vector<std::string>{"a", "b", "c"}));
            }},
        {"resources without an entry of that name", "<resources><foo src='a'/></resources>", true, {},
            [](const CGTAServer& s) { EXPECT_TRUE(s.m_StartResources.empty()); }},
        {"modules without entries", "<modules/>", true, {}, nullptr},
        {"module entries", "<modules><module/><other src='lib/sub\\foo'/></modules>", true,
            {{LOG_ERROR, "Error loading module: attribute src not defined!"},
                {LOG_WARN, "Module foo failed to load!"}, {LOG_ERROR, "Error loading module lib/sub\\foo!"},
                {LOG_WARN, "0/2 Modules loaded, 2 failed"}},
            nullptr},
        {"cvars", "<cvar name='Trainers' value='0'/><cvar value='1'/><cvar name='x'/>"
                  "<CVar name='TRAINERS' value='1'/><cvar name='empty' value=''/>",
            true,
            {{LOG_ERROR, "CVar in config without name attribute!"},
                {LOG_ERROR, "CVar x in config without value attribute!"}},
            [](const CGTAServer& s) {
                ASSERT_EQ(s.m_CVars.GetCount(), 2u);
                const CVar* pVar = s.m_CVars.Find("trainers");
                ASSERT_NE(pVar, nullptr);
                EXPECT_EQ(pVar->m_strName, "Trainers");
                EXPECT_EQ(pVar->m_strValue, "1");
                EXPECT_TRUE(pVar->m_bReadOnly);
                EXPECT_TRUE(s.m_CVars.Find("empty")->m_bReadOnly);
            }},
        {"rules after Version", "<rule name='map' value='docks'/><rule value='x'/><rule name='y'/>"
                                "<RULE name='Version' value='2'/><rule name='mode' value='race'/>",
            true,
            {{LOG_ERROR, "Rule in config without name attribute!"},
                {LOG_ERROR, "Rule y in config without value attribute!"}},
            [](const CGTAServer& s) {
                ASSERT_EQ(s.m_Rules.GetCount(), 3u);
                EXPECT_EQ(s.m_Rules.GetRule(0).m_strName, "Version");
                EXPECT_EQ(s.m_Rules.GetRule(0).m_strValue, "2");
                EXPECT_EQ(s.m_Rules.GetRule(1).m_strName, "map");
                EXPECT_EQ(s.m_Rules.GetRule(2).m_strName, "mode");
            }},
    };
    RunCases(cases, ParseBase);
}

TEST(ServerConfig, ModulesSummaryIsInformationWhenNothingFails)
{
    auto pRoot = LoadConfigXml("<config><modules/></config>");
    CServerConfiguration config(*pRoot);
    CGTAServer server;
    CLogCapture log;
    ASSERT_TRUE(server.CBaseServer::ParseConfig(config));
    EXPECT_TRUE(log.Has(LOG_INFO, "Loading modules..."));
    EXPECT_TRUE(log.Has(LOG_INFO, "0/0 Modules loaded, 0 failed"));
}

TEST(ServerConfig, VersionRuleComesFirst)
{
    CGTAServer server;
    ASSERT_EQ(server.m_Rules.GetCount(), 1u);
    EXPECT_EQ(server.m_Rules.GetRule(0).m_strName, "Version");
    EXPECT_EQ(server.m_Rules.GetRule(0).m_strValue, "1.7.1");
}

TEST(ServerConfig, BundledFileHoldsTheDefaults)
{
    std::string path = __FILE__;
    path = path.substr(0, path.rfind("/tests/")) + "/config/server.xml";
    FILE* pFile = fopen(path.c_str(), "rb");
    ASSERT_NE(pFile, nullptr) << path;
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), pFile)) > 0)
        text.append(buffer, n);
    fclose(pFile);

    auto pRoot = LoadConfigXml(text);
    ASSERT_NE(pRoot, nullptr);
    CServerConfiguration config(*pRoot);
    CGTAServer bundled, defaults;
    CLogCapture log;
    ASSERT_TRUE(bundled.CBaseServer::ParseConfig(config));
    EXPECT_TRUE(log.Problems().empty());
    // Every key the parser reads is present with a value, apart from the ones whose
    // default is "none" and minuteduration, which depends on the game.
    const char* const keys[] = {"logtimestamp", "serverbrowser", "maxplayers", "port", "httpport", "rconport",
        "httpserver", "rcon", "syncinterval", "syncmethod", "syncpacketpriority", "syncpacketreliable",
        "syncpacketunsequenced", "duplicatenames", "multithreaded", "maxpeersperaddress", "maxjoinsperaddress",
        "minclientversion", "game", "streamindistance", "streamoutdistance", "streaminterval", "synclocalentities",
        "pickupstreamindistance", "pickupstreamoutdistance", "timesync", "weathersync", "iv_nativemultiplayer",
        "iv_gamemode", "iv_episode"};
    for (const char* szKey : keys)
        EXPECT_NE(config.GetValue(szKey), nullptr) << szKey;
    const char* const emptyKeys[] = {"logpath", "bindip", "servername", "gamemode", "serverlistingurl", "httpurl",
        "rconpassword", "password", "modules", "resources", "anticheat"};
    for (const char* szKey : emptyKeys)
        EXPECT_NE(config.FindElement(szKey), nullptr) << szKey;
    EXPECT_EQ(config.FindElement("minuteduration"), nullptr);

    EXPECT_EQ(bundled.m_iMaxPlayers, defaults.m_iMaxPlayers);
    EXPECT_EQ(bundled.m_usPort, defaults.m_usPort);
    EXPECT_EQ(bundled.m_usHTTPPort, defaults.m_usHTTPPort);
    EXPECT_EQ(bundled.m_usRConPort, defaults.m_usRConPort);
    EXPECT_EQ(bundled.m_bHTTPServer, defaults.m_bHTTPServer);
    EXPECT_EQ(bundled.m_bRCon, defaults.m_bRCon);
    EXPECT_EQ(bundled.m_usSyncInterval, defaults.m_usSyncInterval);
    EXPECT_EQ(bundled.m_SyncMethod, defaults.m_SyncMethod);
    EXPECT_EQ(bundled.m_ucSyncPacketPriority, defaults.m_ucSyncPacketPriority);
    EXPECT_EQ(bundled.m_ucSyncPacketFlags, defaults.m_ucSyncPacketFlags);
    EXPECT_EQ(bundled.m_bMultithreaded, defaults.m_bMultithreaded);
    EXPECT_EQ(bundled.m_uiMaxPeersPerAddress, defaults.m_uiMaxPeersPerAddress);
    EXPECT_EQ(bundled.m_uiMaxJoinsPerAddress, defaults.m_uiMaxJoinsPerAddress);
    EXPECT_EQ(Version(bundled), Version(defaults));
    EXPECT_STREQ(bundled.m_szLogTimestamp, defaults.m_szLogTimestamp);
    EXPECT_EQ(bundled.m_iGame, 1);
    EXPECT_EQ(bundled.m_usStreamInterval, defaults.m_usStreamInterval);
    EXPECT_FLOAT_EQ(bundled.m_fStreamInDistance, defaults.m_fStreamInDistance);
    EXPECT_FLOAT_EQ(bundled.m_fStreamOutDistance, defaults.m_fStreamOutDistance);
}

TEST(ServerConfig, CommandLineOverridesApplyAfterParsing)
{
    auto pRoot = LoadConfigXml("<config><port>22000</port><maxplayers>10</maxplayers><rcon>true</rcon>"
                               "<multithreaded>false</multithreaded></config>");
    CServerConfiguration config(*pRoot);
    CGTAServer server;
    ASSERT_TRUE(server.CBaseServer::ParseConfig(config));
    CCommandLineOverrides overrides;
    overrides.m_bPortGiven = true;
    overrides.m_usPort = 22001;
    overrides.m_bMaxPlayersGiven = true;
    overrides.m_iMaxPlayers = 64;
    overrides.m_bBindIPGiven = true;
    overrides.m_strBindIP = "127.0.0.1";
    overrides.m_bMultithreadedGiven = true;
    overrides.m_bMultithreaded = true;
    EXPECT_TRUE(server.ApplyOverrides(overrides));
    EXPECT_EQ(server.m_usPort, 22001);
    EXPECT_EQ(server.m_iMaxPlayers, 64);
    EXPECT_STREQ(server.m_szBindIP, "127.0.0.1");
    EXPECT_TRUE(server.m_bMultithreaded);
    EXPECT_EQ(server.m_usHTTPPort, 22000); // not given: the file's value stays

    // With the remote console on, switches that make its port the HTTP port are refused.
    CCommandLineOverrides clash;
    clash.m_bRConPortGiven = true;
    clash.m_usRConPort = 22000;
    CLogCapture log;
    EXPECT_FALSE(server.ApplyOverrides(clash));
    EXPECT_EQ(log.Problems(), (std::vector<tLine>{{LOG_ERROR, RCON_PORT}}));
}

namespace
{
    bool ParseFull(CGTAServer& server, const CServerConfiguration& config)
    {
        return server.ParseConfig(config);
    }
}

TEST(ServerConfig, GamesPickTheirHeaderAndColourTable)
{
    CConfigTestFileSystem files;
    // Each game's table is replaced beside the executable by one holding a marker model.
    files.Folder().Write("vehiclecolours.conf", "# marker\n1000 1 1\n");
    files.Folder().Write("vehiclecolours_vc.conf", "2000 2 2\n");
    files.Folder().Write("vehiclecolours_sa.conf", "3000 3 3\n");
    files.Folder().Write("vehiclecolours_iv.conf", "5000 5 5\n");
    auto markers = [](CGTAServer& s) {
        std::vector<uint32_t> found;
        for (uint32_t model : {1000u, 2000u, 3000u, 5000u}) {
            if (!s.m_VehicleColours.FindDefinitions(model).empty())
                found.push_back(model);
        }
        return found;
    };
    const std::vector<Case> cases = {
        {"default game", "", true, {},
            [&](const CGTAServer& c) {
                CGTAServer& s = const_cast<CGTAServer&>(c);
                EXPECT_EQ(markers(s), (std::vector<uint32_t>{1000}));
                EXPECT_FALSE(s.m_bIVNativeMultiplayer);
                EXPECT_FLOAT_EQ(s.m_fMinuteDuration, 1.0f);
            }},
        {"gta:vc", "<game>gta:vc</game><iv_nativemultiplayer>true</iv_nativemultiplayer>", true, {},
            [&](const CGTAServer& c) {
                CGTAServer& s = const_cast<CGTAServer&>(c);
                EXPECT_EQ(markers(s), (std::vector<uint32_t>{2000}));
                EXPECT_FALSE(s.m_bIVNativeMultiplayer); // read only for GTA IV
            }},
        {"GTA:SA", "<game>GTA:SA</game><minuteduration>0.5</minuteduration>", true, {},
            [&](const CGTAServer& c) {
                CGTAServer& s = const_cast<CGTAServer&>(c);
                EXPECT_EQ(markers(s), (std::vector<uint32_t>{3000}));
                EXPECT_FLOAT_EQ(s.m_fMinuteDuration, 0.5f);
            }},
        {"gta:iv", "<game>gta:iv</game><iv_nativemultiplayer>false</iv_nativemultiplayer>"
                   "<iv_gamemode>3</iv_gamemode><iv_episode>4294967298</iv_episode>",
            true, {{LOG_WARN, "The iv_episode 4294967298 does not fit in 32 bits and is used as 2!"}},
            [&](const CGTAServer& c) {
                CGTAServer& s = const_cast<CGTAServer&>(c);
                EXPECT_EQ(markers(s), (std::vector<uint32_t>{5000}));
                EXPECT_FALSE(s.m_bIVNativeMultiplayer);
                EXPECT_EQ(s.m_iIVGameMode, 3);
                EXPECT_EQ(s.m_iIVEpisode, 2);
                EXPECT_FLOAT_EQ(s.m_fMinuteDuration, 2.0f);
            }},
        {"bully", "<game>bully</game>", false, {{LOG_ERROR, "Failed to load vehicle colours!"}},
            [](const CGTAServer& s) { EXPECT_EQ(s.m_iGame, 7); }},
        {"unknown game", "<game>gta:lcs</game>", false, {{LOG_ERROR, "Failed to load vehicle colours!"}}, nullptr},
        {"base failure stops the game part", "<maxplayers>0</maxplayers><synclocalentities>1</synclocalentities>",
            false, {{LOG_ERROR, MAXPLAYERS_LOW}},
            [](const CGTAServer& s) { EXPECT_FALSE(s.m_bSyncLocalEntities); }},
        {"game keys", "<synclocalentities>1</synclocalentities><pickupstreamindistance>20</pickupstreamindistance>"
                      "<pickupstreamoutdistance>40</pickupstreamoutdistance><timesync>false</timesync>"
                      "<weathersync>0</weathersync>",
            true, {},
            [](const CGTAServer& s) {
                EXPECT_TRUE(s.m_bSyncLocalEntities);
                EXPECT_FLOAT_EQ(s.m_fPickupStreamInDistance, 20.0f);
                EXPECT_FLOAT_EQ(s.m_fPickupStreamOutDistance, 40.0f);
                EXPECT_FALSE(s.m_bTimeSync);
                EXPECT_FALSE(s.m_bWeatherSync);
            }},
    };
    RunCases(cases, ParseFull);

    // The define header of each game is in the built-in archive under the name it is looked up by.
    EXPECT_STREQ(CGTAServer::GetGameFiles(2).m_szDefineHeader, "/GTAInterface/GTAVCEnums.h");
    EXPECT_STREQ(CGTAServer::GetGameFiles(2).m_szDefineHeaderName, "GTAVCEnums.h");
    for (int32_t iGame : {1, 2, 3, 5})
        EXPECT_TRUE(files.FileSystem().Exists(CGTAServer::GetGameFiles(iGame).m_szDefineHeader, true, false)) << iGame;
    EXPECT_EQ(CGTAServer::GetGameFiles(7).m_szVehicleColours, nullptr);
}

TEST(ServerConfig, BuiltinTablesServeEveryGame)
{
    CConfigTestFileSystem files;
    const std::vector<Case> cases = {
        {"gta:iii", "<game>gta:iii</game>", true, {},
            [](const CGTAServer& c) {
                EXPECT_EQ(const_cast<CGTAServer&>(c).m_VehicleColours.FindDefinitions(106).size(), 1u);
            }},
        {"gta:vc", "<game>gta:vc</game>", true, {}, nullptr},
        {"gta:sa", "<game>gta:sa</game>", true, {},
            [](const CGTAServer& c) {
                EXPECT_EQ(const_cast<CGTAServer&>(c).m_VehicleColours.FindDefinitions(446).size(), 5u);
            }},
        {"gta:iv", "<game>gta:iv</game>", true, {},
            [](const CGTAServer& s) { EXPECT_EQ(s.m_VehicleColours.GetDefinitionCount(), 0u); }},
    };
    RunCases(cases, ParseFull);
}

TEST(ServerConfig, AnticheatList)
{
    CConfigTestFileSystem files;
    files.Folder().Write("anticheat/handling.cfg", "abc");
    files.Folder().Write("anticheat/empty.dat", "");
    const std::vector<Case> cases = {
        {"entries",
            "<anticheat><x path='ignored' src='ignored'/><file src='anticheat/handling.cfg'/>"
            "<file path='data/a.dat'/><file path='data/b.dat' src=''/>"
            "<file path='data/c.dat' src='anticheat/missing.dat'/>"
            "<other path='data/handling.cfg' src='anticheat/handling.cfg'/>"
            "<file path='data/empty.dat' src='/anticheat/empty.dat'/></anticheat>",
            true,
            {{LOG_ERROR, "Anticheat file in config without path attribute!"},
                {LOG_ERROR, "Anticheat file data/a.dat in config without src attribute!"},
                {LOG_WARN, "An anticheat file path is blank."},
                {LOG_WARN, "Failed to read anticheat file anticheat/missing.dat."}},
            [](const CGTAServer& s) {
                ASSERT_EQ(s.m_AnticheatFiles.size(), 2u);
                EXPECT_EQ(s.m_AnticheatFiles[0].m_strPath, "data/handling.cfg");
                EXPECT_EQ(s.m_AnticheatFiles[0].m_strSrc, "anticheat/handling.cfg");
                const uint8_t abc[16] = {0x90, 0x01, 0x50, 0x98, 0x3c, 0xd2, 0x4f, 0xb0, 0xd6, 0x96, 0x3f, 0x7d,
                    0x28, 0xe1, 0x7f, 0x72};
                EXPECT_EQ(memcmp(s.m_AnticheatFiles[0].m_Digest, abc, 16), 0);
                EXPECT_EQ(s.m_AnticheatFiles[1].m_strSrc, "/anticheat/empty.dat");
                const uint8_t empty[16] = {0xd4, 0x1d, 0x8c, 0xd9, 0x8f, 0x00, 0xb2, 0x04, 0xe9, 0x80, 0x09, 0x98,
                    0xec, 0xf8, 0x42, 0x7e};
                EXPECT_EQ(memcmp(s.m_AnticheatFiles[1].m_Digest, empty, 16), 0);
            }},
    };
    RunCases(cases, ParseFull);
}

TEST(ServerConfig, PasswordsAreKeptOnlyAsVerifiers)
{
    const std::string tooLong(73, 'p');
    const std::vector<Case> cases = {
        {"join and remote-console passwords",
            "<password>secret</password><rcon>true</rcon><rconport>23001</rconport><rconpassword>admin</rconpassword>",
            true, {},
            [](const CGTAServer& s) {
                ASSERT_TRUE(s.m_Password.IsSet());
                EXPECT_EQ(s.m_Password.GetKind(), 'b');
                EXPECT_EQ(s.m_Password.GetHash().size(), 60u);
                EXPECT_EQ(s.m_Password.GetHash().rfind("$2a$10$", 0), 0u);
                EXPECT_EQ(s.m_Password.GetLength(), 61u);
                EXPECT_TRUE(VerifyPassword("secret", s.m_Password));
                EXPECT_FALSE(VerifyPassword("secrets", s.m_Password));
                EXPECT_TRUE(VerifyPassword("admin", s.m_RConPassword));
            }},
        {"empty password is none", "<password></password><rconpassword>admin</rconpassword>", true, {},
            [](const CGTAServer& s) {
                EXPECT_FALSE(s.m_Password.IsSet());
                EXPECT_FALSE(s.m_RConPassword.IsSet()); // read only with rcon on
            }},
        {"password bcrypt cannot hold", "<password>" + tooLong + "</password>", false,
            {{LOG_ERROR, "The password cannot be used: the password is longer than 72 bytes; bcrypt would ignore "
                         "the rest"}},
            [](const CGTAServer& s) { EXPECT_FALSE(s.m_Password.IsSet()); }},
    };
    RunCases(cases, ParseBase);
}

TEST(ServerConfig, LogFileUsesTheWholePath)
{
    CConfigTestFileSystem files;
    // "<logpath>/ServerLog.log" is longer than 63 bytes: nothing may be cut from it.
    const std::string logPath = "logs/" + std::string(60, 'd');
    auto pRoot = LoadConfigXml("<config><logpath>" + logPath + "</logpath><logtimestamp>T</logtimestamp></config>");
    CServerConfiguration config(*pRoot);
    CGTAServer server;
    ASSERT_TRUE(server.CBaseServer::ParseConfig(config));
    EXPECT_EQ(server.m_strLogPath, logPath);
    EXPECT_STREQ(server.m_szLogTimestamp, "T");
    LogMessage(LOG_WARN, "into the file");
    g_pContext->CloseLogFile();

    std::ifstream in(files.Folder().File(logPath + "/ServerLog.log"), std::ios::binary);
    ASSERT_TRUE(in.good());
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(content.find("Logging Started"), std::string::npos);
    // The configured timestamp format, then the tag.
    EXPECT_NE(content.find("\r\n<T> [WARN]    into the file\r\n"), std::string::npos);
}
