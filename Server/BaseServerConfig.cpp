// CBaseServer::ParseConfig: the game-independent keys of server.xml, in their fixed order.
#include "BaseServer.h"
#include "CommandLine.h"
#include "ServerConfiguration.h"

#include <Engine/Context.h>
#include <Engine/Password.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <strings.h>

using namespace Torvane3D;

static const char LOG_FILE_NAME[] = "/ServerLog.log";

// The games the server knows, by name (compared ignoring case).
// Seam: the element manager's games list answers this once it exists.
static int32_t FindGameNumber(const char* szName)
{
    static const struct
    {
        const char* m_szName;
        int32_t m_iNumber;
    } s_Games[] = {{"gta:iii", 1}, {"gta:vc", 2}, {"gta:sa", 3}, {"gta:iv", 5}, {"bully", 7}};
    for (const auto& game : s_Games) {
        if (strcasecmp(game.m_szName, szName) == 0)
            return game.m_iNumber;
    }
    return -1;
}

// Scans "%d.%d.%d.%d"; parts that do not scan keep their value.
static void ScanVersion(const char* szText, uint32_t (&version)[4])
{
    const char* p = szText;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (*p != '.')
                return;
            ++p;
        }
        char* pEnd;
        long long value = strtoll(p, &pEnd, 10);
        if (pEnd == p)
            return;
        version[i] = static_cast<uint32_t>(value);
        if (value != version[i])
            LogMessage(LOG_WARN, "The minclientversion part %lld does not fit in 32 bits and is used as %u!", value,
                version[i]);
        p = pEnd;
    }
}

static bool ReadLogSettings(CBaseServer& server, const CServerConfiguration& config)
{
    server.m_strLogPath = config.GetStringValue("logpath", "");
    config.GetText64("logtimestamp", server.m_szLogTimestamp, "%d/%m/%Y - %X");
    if (g_pContext)
        g_pContext->SetLogTimestampFormat(server.m_szLogTimestamp);
    if (server.m_strLogPath.empty())
        return true;
    // The whole path is used: a path cut short would put the log somewhere else.
    size_t maxLength = PATH_MAX - sizeof(LOG_FILE_NAME);
    if (server.m_strLogPath.size() > maxLength) {
        LogMessage(LOG_ERROR, "The logpath is too long (%zu bytes, at most %zu)!", server.m_strLogPath.size(),
            maxLength);
        return false;
    }
    // A file that can be neither opened nor created leaves the log on the console only.
    if (g_pContext)
        g_pContext->OpenLogFile((server.m_strLogPath + LOG_FILE_NAME).c_str());
    return true;
}

static bool ReadPlayerLimits(CBaseServer& server, const CServerConfiguration& config)
{
    // The full value is checked, so a number that only fits after being cut is refused too.
    long lMaxPlayers = 32;
    config.GetIntegerValue("maxplayers", lMaxPlayers);
    if (lMaxPlayers == 0) {
        LogMessage(LOG_ERROR, "The max players should at least be 1!");
        return false;
    }
    if (lMaxPlayers < 0 || lMaxPlayers > 127) {
        LogMessage(LOG_ERROR, "The max players should not be set to anything more than 127!");
        return false;
    }
    server.m_iMaxPlayers = static_cast<int32_t>(lMaxPlayers);
    return true;
}

// A password is kept only as its bcrypt verifier. One that cannot be hashed is fatal: going on
// would leave the server without the password its owner set.
static bool SetPassword(CPasswordVerifier& verifier, const char* szKey, const CServerConfiguration& config)
{
    std::string strError;
    if (verifier.Set(config.GetStringValue(szKey, ""), &strError))
        return true;
    LogMessage(LOG_ERROR, "The %s cannot be used: %s", szKey, strError.c_str());
    return false;
}

static bool ReadPorts(CBaseServer& server, const CServerConfiguration& config)
{
    server.m_usPort = config.GetUInt16Value("port", 22000);
    server.m_usHTTPPort = config.GetUInt16Value("httpport", 22000);
    server.m_strHTTPURL = config.GetStringValue("httpurl", "");
    server.m_usRConPort = config.GetUInt16Value("rconport", 23000);
    server.m_bHTTPServer = config.GetBoolValue("httpserver", true);
    server.m_bRCon = config.GetBoolValue("rcon", false);
    if (server.m_bRCon) {
        if (server.m_usRConPort == server.m_usHTTPPort) {
            LogMessage(LOG_ERROR, "The rconport and httpport cannot match!");
            return false;
        }
        if (!SetPassword(server.m_RConPassword, "rconpassword", config))
            return false;
    }
    return true;
}

static void ReadSyncSettings(CBaseServer& server, const CServerConfiguration& config)
{
    server.m_usSyncInterval = config.GetUInt16Value("syncinterval", 30);

    server.m_SyncMethod = SYNC_METHOD_INTERVAL;
    if (const char* szMethod = config.GetValue("syncmethod")) {
        if (strcasecmp(szMethod, "none") == 0)
            server.m_SyncMethod = SYNC_METHOD_NONE;
        else if (strcasecmp(szMethod, "replay") == 0)
            server.m_SyncMethod = SYNC_METHOD_REPLAY;
        else if (strcasecmp(szMethod, "interval") != 0)
            LogMessage(LOG_ERROR, "Invalid syncmethod specified, using interval!");
    }

    server.m_ucSyncPacketPriority = 3;
    if (const char* szPriority = config.GetValue("syncpacketpriority")) {
        static const char* const s_Priorities[] = {"immediate", "high", "medium", "low"};
        bool bFound = false;
        for (uint8_t i = 0; i < 4 && !bFound; ++i) {
            if (strcasecmp(szPriority, s_Priorities[i]) == 0) {
                server.m_ucSyncPacketPriority = i;
                bFound = true;
            }
        }
        if (!bFound)
            LogMessage(LOG_ERROR, "Invalid syncpriority specified, using low!");
    }

    server.m_ucSyncPacketFlags = 0;
    if (config.GetBoolValue("syncpacketreliable", false))
        server.m_ucSyncPacketFlags |= 1;
    if (config.GetBoolValue("syncpacketunsequenced", false))
        server.m_ucSyncPacketFlags |= 2;
}

// Keys this server adds: bounds on what one address can make the transport hold.
static bool ReadAddressLimits(CBaseServer& server, const CServerConfiguration& config)
{
    long lPeers = server.m_uiMaxPeersPerAddress;
    config.GetIntegerValue("maxpeersperaddress", lPeers);
    if (lPeers < 1 || lPeers > 4095) {
        LogMessage(LOG_ERROR, "The maxpeersperaddress must be at least 1 and at most 4095!");
        return false;
    }
    long lJoins = server.m_uiMaxJoinsPerAddress;
    config.GetIntegerValue("maxjoinsperaddress", lJoins);
    if (lJoins < 1 || lJoins > 65535) {
        LogMessage(LOG_ERROR, "The maxjoinsperaddress must be at least 1 and at most 65535!");
        return false;
    }
    server.m_uiMaxPeersPerAddress = static_cast<uint32_t>(lPeers);
    server.m_uiMaxJoinsPerAddress = static_cast<uint32_t>(lJoins);
    return true;
}

static void LoadModules(const CServerConfiguration& config)
{
    if (!config.FindElement("modules"))
        return;
    LogMessage(LOG_INFO, "Loading modules...");
    int iEntries = 0, iLoaded = 0, iFailed = 0;
    for (const IConfigElement* pEntry : config.GetList("modules", "module")) {
        ++iEntries;
        const char* szSrc = pEntry->GetAttribute("src");
        if (!szSrc) {
            LogMessage(LOG_ERROR, "Error loading module: attribute src not defined!");
            ++iFailed;
            continue;
        }
        // Seam: the native module loader opens "<src>.so" here; until it exists no module loads.
        const char* szDisplayName = szSrc;
        for (const char* p = szSrc; *p; ++p) {
            if (*p == '/' || *p == '\\')
                szDisplayName = p + 1;
        }
        LogMessage(LOG_WARN, "Module %s failed to load!", szDisplayName);
        LogMessage(LOG_ERROR, "Error loading module %s!", szSrc);
        ++iFailed;
    }
    LogMessage(iFailed ? LOG_WARN : LOG_INFO, "%i/%i Modules loaded, %i failed", iLoaded, iEntries, iFailed);
}

static void ReadResources(CBaseServer& server, const CServerConfiguration& config)
{
    // Seam: the resource manager refreshes its list quietly (RefreshResources(false)) here.
    for (const IConfigElement* pEntry : config.GetList("resources", "resource")) {
        const char* szSrc = pEntry->GetAttribute("src");
        if (!szSrc)
            continue;
        // Seam: a known resource takes its privileged flag from the entry (boolean rule;
        // other text leaves it unchanged) here.
        server.m_StartResources.push_back(szSrc);
    }
}

static void ReadCVarsAndRules(CBaseServer& server, const CServerConfiguration& config)
{
    for (const IConfigElement* pCVar : config.GetAll("cvar")) {
        const char* szName = pCVar->GetAttribute("name");
        const char* szValue = pCVar->GetAttribute("value");
        if (!szName)
            LogMessage(LOG_ERROR, "CVar in config without name attribute!");
        else if (!szValue)
            LogMessage(LOG_ERROR, "CVar %s in config without value attribute!", szName);
        else
            server.m_CVars.Set(szName, szValue)->m_bReadOnly = true;
    }
    for (const IConfigElement* pRule : config.GetAll("rule")) {
        const char* szName = pRule->GetAttribute("name");
        const char* szValue = pRule->GetAttribute("value");
        if (!szName)
            LogMessage(LOG_ERROR, "Rule in config without name attribute!");
        else if (!szValue)
            LogMessage(LOG_ERROR, "Rule %s in config without value attribute!", szName);
        else
            server.SetRule(szName, szValue);
    }
}

static bool ReadStreaming(CBaseServer& server, const CServerConfiguration& config)
{
    server.m_fStreamInDistance = config.GetRealValue("streamindistance", 100.0f);
    server.m_fStreamOutDistance = config.GetRealValue("streamoutdistance", 200.0f);
    // The full value must lie in the range: one that only passes after being cut is refused.
    long lInterval;
    uint16_t usInterval = config.GetUInt16Value("streaminterval", 1000, &lInterval);
    if (lInterval < 500 || lInterval > 5000) {
        LogMessage(LOG_ERROR, "The streaminterval must be greater than or equal to 500 and less than or equal to 5000!");
        return false;
    }
    server.m_usStreamInterval = usInterval;
    return true;
}

bool CBaseServer::ParseConfig(const CServerConfiguration& config)
{
    if (!ReadLogSettings(*this, config))
        return false;

    config.GetText64("bindip", m_szBindIP, "");
    config.GetText64("servername", m_szServerName, "");
    config.GetText64("gamemode", m_szGameMode, "");
    config.GetText64("serverlistingurl", m_szServerListingURL, "");
    // Seam: the listing announcer replaces an empty listing address by its built-in endpoint.

    m_bServerBrowser = config.GetBoolValue("serverbrowser", false);
    if (!ReadPlayerLimits(*this, config) || !ReadPorts(*this, config))
        return false;
    ReadSyncSettings(*this, config);

    m_bDuplicateNames = config.GetBoolValue("duplicatenames", false);
    m_bMultithreaded = config.GetBoolValue("multithreaded", true);
    if (!ReadAddressLimits(*this, config))
        return false;
    uint32_t version[4] = {1, 0, 0, 0};
    if (const char* szVersion = config.GetValue("minclientversion"))
        ScanVersion(szVersion, version);
    memcpy(m_uiMinClientVersion, version, sizeof(version));

    if (!SetPassword(m_Password, "password", config))
        return false;

    LoadModules(config);
    // Seam: every script engine defines its classes here; a failure logs the error
    // "Unable to define all classes" and ParseConfig returns false.
    ReadResources(*this, config);
    ReadCVarsAndRules(*this, config);

    m_strGame = config.GetStringValue("game", "gta:iii");
    m_iGame = FindGameNumber(m_strGame.c_str());
    // Seam: the listing announcer's list of games is reset to m_iGame here.

    return ReadStreaming(*this, config);
}

bool CBaseServer::ApplyOverrides(const CCommandLineOverrides& overrides)
{
    if (overrides.m_bPortGiven)
        m_usPort = overrides.m_usPort;
    if (overrides.m_bHTTPPortGiven)
        m_usHTTPPort = overrides.m_usHTTPPort;
    if (overrides.m_bRConPortGiven)
        m_usRConPort = overrides.m_usRConPort;
    if (overrides.m_bMaxPlayersGiven)
        m_iMaxPlayers = overrides.m_iMaxPlayers;
    if (overrides.m_bBindIPGiven)
        CopyText64(m_szBindIP, overrides.m_strBindIP.c_str());
    if (overrides.m_bMultithreadedGiven)
        m_bMultithreaded = overrides.m_bMultithreaded;
    // The switches may bring the two ports together again; refuse that as clearly as the file.
    if (m_bRCon && m_usRConPort == m_usHTTPPort) {
        LogMessage(LOG_ERROR, "The rconport and httpport cannot match!");
        return false;
    }
    return true;
}
