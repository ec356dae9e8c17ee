// The game-independent server: configuration, transport, sessions, the main loop.
#pragma once

#include "Rules.h"

#include <Engine/CVars.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

class CServerConfiguration;
struct CCommandLineOverrides;

#define SERVER_VERSION_MAJOR 1
#define SERVER_VERSION_MINOR 7
#define SERVER_VERSION_PATCH 1
#define SERVER_VERSION_TEXT "1.7.1"

class CBaseServer
{
public:
    CBaseServer();
    virtual ~CBaseServer();

    // Runs frames until a quit is requested.
    virtual void MainLoop();

    // Set by the quit and exit commands and the shutdown native.
    void SetQuit() { m_bQuit = true; }
    bool IsQuitRequested() const { return m_bQuit || m_bQuitSignal; }
    // The interrupt handler's flag: async-signal-safe, polled by the main loop.
    void RaiseQuitSignal() { m_bQuitSignal = true; }

    // ---- Configuration (server.xml; read by ParseConfig in BaseServerConfig.cpp) ----
    enum eSyncMethod : uint8_t
    {
        SYNC_METHOD_NONE = 0,
        SYNC_METHOD_INTERVAL = 1,
        SYNC_METHOD_REPLAY = 2,
    };

    // Reads the game-independent keys in their fixed order. False when a fatal check fails;
    // the reason has been logged and the settings read before it stay applied.
    virtual bool ParseConfig(const CServerConfiguration& config);
    // Applies the command-line switches over the parsed configuration. False (logged) when
    // they make the remote-console port equal the HTTP port with the remote console on.
    bool ApplyOverrides(const CCommandLineOverrides& overrides);

    // Replaces the value of the rule with that name, or appends the pair.
    void SetRule(const char* szName, const char* szValue) { m_Rules.Set(szName, szValue); }
    const std::string* GetRule(const char* szName) const { return m_Rules.Get(szName); }

    std::string m_strLogPath;                          // no log file when empty
    char m_szLogTimestamp[64] = "%d/%m/%Y - %X";
    char m_szBindIP[64] = "";                          // all interfaces when empty
    char m_szServerName[64] = "";
    char m_szGameMode[64] = "";
    char m_szServerListingURL[64] = "";
    bool m_bServerBrowser = false;
    int32_t m_iMaxPlayers = 32;                        // 1..127
    uint16_t m_usPort = 22000;
    uint16_t m_usHTTPPort = 22000;
    std::string m_strHTTPURL;
    uint16_t m_usRConPort = 23000;
    bool m_bHTTPServer = true;
    bool m_bRCon = false;
    uint16_t m_usSyncInterval = 30;
    eSyncMethod m_SyncMethod = SYNC_METHOD_INTERVAL;
    uint8_t m_ucSyncPacketPriority = 3;                // ePacketPriority: low
    uint8_t m_ucSyncPacketFlags = 0;                   // ePacketFlags: 1 reliable, 2 unsequenced
    bool m_bDuplicateNames = false;
    bool m_bMultithreaded = true;
    uint32_t m_uiMaxPeersPerAddress = 16;              // ENet peers one address may hold
    uint32_t m_uiMaxJoinsPerAddress = 30;              // handshakes per address per minute
    uint32_t m_uiMinClientVersion[4] = {1, 0, 0, 0};
    std::vector<std::string> m_StartResources;         // resource names to start, in order
    Torvane3D::CVarSystem m_CVars;
    CRules m_Rules;
    std::string m_strGame = "gta:iii";
    int32_t m_iGame = 1;                               // -1 for a name no game has
    float m_fStreamInDistance = 100.0f;
    float m_fStreamOutDistance = 200.0f;
    uint16_t m_usStreamInterval = 1000;                // 500..5000
    // ---- End of configuration ----

protected:
    std::atomic<bool> m_bQuit{false};
    std::atomic<bool> m_bQuitSignal{false};
};

extern CBaseServer* g_pServer;
