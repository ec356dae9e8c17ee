// The game-independent server: configuration, transport, sessions, the main loop.
#pragma once

#include "Rules.h"

#include <Engine/CVars.h>
#include <Engine/DefineHandlers.h>
#include <Engine/Lockable.h>
#include <Engine/Password.h>
#include <Network/ENetSystem.h>
#include <Network/NetCompatibilityShim.h>
#include <Multiplayer/NetMachines.h>
#include <Multiplayer/NetObjectMgr.h>
#include <Multiplayer/ServerEvents.h>
#include <Scripting/CommandHandlers.h>
#include <Scripting/ConsoleInput.h>

#include "BanList.h"
#include "JoinRateLimiter.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CServerConfiguration;
struct CCommandLineOverrides;

#define SERVER_VERSION_MAJOR 1
#define SERVER_VERSION_MINOR 7
#define SERVER_VERSION_PATCH 1
#define SERVER_VERSION_TEXT "1.7.1"

// What one frame hands to the per-frame hook.
struct FrameTimeInfo
{
    int32_t m_iStepCount = 0;
    double m_dFixedStep = 1.0 / 60.0;
    double m_dDelta = 0.0;          // scaled and clamped time since the previous frame
    double m_dMaxDelta = 0.0625;    // a stalled frame never makes one huge step
    double m_dTimeScale = 1.0;
};

// Measures frames on a monotonic counter and cuts them into fixed steps.
class CFrameTimer
{
public:
    void Initialise(uint64_t ullCounter, uint64_t ullFrequency);
    // Advances to the counter, filling the frame's delta and step count.
    void Advance(uint64_t ullCounter, FrameTimeInfo& info);
    // Milliseconds since Initialise, in 64 bits: never wraps.
    uint64_t GetMilliseconds(uint64_t ullCounter) const;

    double m_dAccumulator = 0.0;
    uint64_t m_ullFrequency = 1000000000;
    uint64_t m_ullStartCounter = 0;
    uint64_t m_ullLastCounter = 0;
};

// A periodic deadline on the 64-bit millisecond clock. The 32-bit process clock wraps
// after 49.7 days; a deadline kept there would either fire on every frame or stall for
// weeks across the wrap, so intervals never use it.
class CIntervalClock
{
public:
    // True when the deadline has passed; the next one is then now + interval.
    bool Poll(uint64_t ullNow, uint32_t uiInterval)
    {
        if (ullNow <= m_ullNext)
            return false;
        m_ullNext = ullNow + uiInterval;
        return true;
    }
    uint64_t GetNext() const { return m_ullNext; }

private:
    uint64_t m_ullNext = 0;
};

enum eSyncMethod
{
    SYNC_METHOD_NONE = 0,
    SYNC_METHOD_INTERVAL = 1,
    SYNC_METHOD_REPLAY = 2,
};

class CBaseServer : public Torvane3D::CNetServerCompatibilityShim
{
public:
    CBaseServer();
    ~CBaseServer() override;

    // Runs frames until a quit is requested.
    virtual void MainLoop();
    // One frame without its closing sleep; false when a quit ended it.
    bool Frame();
    // The closing sleep of a frame: short while anyone is connected, long when idle.
    uint32_t GetFrameSleepMilliseconds() const;

    // The per-frame hook.
    virtual void OnProcess(const FrameTimeInfo* pFrameInfo);

    // Set by the quit and exit commands and the shutdown native.
    void SetQuit() { m_bQuit = true; }
    bool IsQuitRequested() const { return m_bQuit || m_bQuitSignal; }
    // The interrupt handler's flag: async-signal-safe, polled by the main loop.
    void RaiseQuitSignal() { m_bQuitSignal = true; }

    // Start-up: the game transport on the configured port and address.
    bool StartNetwork();
    // Start-up: the console input thread; false leaves the server without typed input.
    bool StartInputThread();
    // Shut-down: lets the input thread go (it is never waited for).
    void StopInputThread();
    // Runs the typed lines queued since the last frame.
    void PumpConsoleInput();
    void ClearConsoleInput();

    void InitialiseFrameTimer();

    Torvane3D::CENetServer* GetNetServer() const { return m_pNetServer.get(); }
    Torvane3D::CCommandHandlers* GetCommandHandlers() const { return m_pCommandHandlers.get(); }
    const std::shared_ptr<Torvane3D::CPumpedEventLoop>& GetConsoleQueue() const { return m_pConsoleQueue; }
    int GetPlayerCount() const { return m_iPlayerCount; }
    const FrameTimeInfo& GetFrameTimeInfo() const { return m_FrameTime; }

    // Transport events. ProcessPacket handles the base packets 1, 3, 6, 7, 10 and 16 (the
    // element and key packets come with their modules) and drops the rest; the departure
    // (OnPlayerDisconnect) runs for every transport disconnect, whatever reason the far
    // side gave. Client sessions implement them (ServerSession.cpp, ServerPackets.cpp).
    bool ReceiveDatagram(Torvane3D::INetSocket* pSocket) override;
    void ProcessPacket(Torvane3D::Peer_t pPeer, unsigned int uiPacketId, Torvane3D::Stream* pStream) override;
    bool OnPlayerConnect(Torvane3D::Peer_t pPeer) override;
    void OnPlayerDisconnect(Torvane3D::Peer_t pPeer, unsigned int uiReason) override;

    // ---- Configuration (server.xml; read by ParseConfig in BaseServerConfig.cpp) ----
    // Reads the game-independent keys in their fixed order. False when a fatal check fails;
    // the reason has been logged and the settings read before it stay applied.
    virtual bool ParseConfig(const CServerConfiguration& config);
    // Applies the command-line switches over the parsed configuration. False (logged) when
    // they make the remote-console port equal the HTTP port with the remote console on.
    bool ApplyOverrides(const CCommandLineOverrides& overrides);

    // Replaces the value of the rule with that name, or appends the pair.
    void SetRule(const char* szName, const char* szValue) { m_Rules.Set(szName, szValue); }
    const std::string* GetRule(const char* szName) const { return m_Rules.Get(szName); }

    // The values are the defaults; the command line overrides some after parsing.
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
    Torvane3D::CPasswordVerifier m_RConPassword;       // none unless rcon is on and one is set
    uint16_t m_usSyncInterval = 30;
    eSyncMethod m_SyncMethod = SYNC_METHOD_INTERVAL;
    uint8_t m_ucSyncPacketPriority = 3;                // ePacketPriority: low
    uint8_t m_ucSyncPacketFlags = 0;                   // ePacketFlags: 1 reliable, 2 unsequenced
    bool m_bDuplicateNames = false;
    bool m_bMultithreaded = true;
    // ENet peers allowed from one address (`maxpeersperaddress`).
    uint32_t m_uiMaxPeersPerAddress = Torvane3D::CENetLimits::DEFAULT_MAX_PEERS_PER_ADDRESS;
    uint32_t m_uiMaxJoinsPerAddress = 30;              // handshakes per address per minute
    uint32_t m_uiMinClientVersion[4] = {1, 0, 0, 0};
    Torvane3D::CPasswordVerifier m_Password;           // the join password; none when not set
    std::vector<std::string> m_StartResources;         // resource names to start, in order
    Torvane3D::CVarSystem m_CVars;
    CRules m_Rules;
    std::string m_strGame = "gta:iii";
    int32_t m_iGame = 1;                               // -1 for a name no game has
    float m_fStreamInDistance = 100.0f;
    float m_fStreamOutDistance = 200.0f;
    uint16_t m_usStreamInterval = 1000;                // 500..5000
    // ---- End of configuration ----

    // ---- Define list ----
    // The integer constants every script environment receives, in list order: the program's
    // own, those of native modules and the game's define header (read by ParseConfig).
    Torvane3D::CDefineHandlers m_DefineHandlers;
    // ---- End of define list ----

    // ---- Client sessions (ServerSession.cpp, ServerPackets.cpp) ----
    // Creates a client record; the game server makes a CGameClient.
    virtual Torvane3D::CNetMachine* NewMachine(Torvane3D::CNetObjectMgr* pManager);
    // Called during acceptance and in the client-ready step.
    virtual void OnPlayerJoin(Torvane3D::CNetMachine* pClient);
    virtual void OnPlayerJoined(Torvane3D::CNetMachine* pClient);
    // Once per frame: session deadlines.
    virtual void ProcessSessions() {}
    // Start-up: the console client "Console" in slot 255.
    void CreateConsoleMachine();

    // The chat line "name: text": "OnPlayerChat", then logged and sent to every client.
    void UserChat(Torvane3D::CNetMachine* pClient, const char* pText, size_t length);
    // With no client these go to every accepted client.
    void SendChat(Torvane3D::CNetMachine* pClient, const char* pText, size_t length, uint32_t uiColour);
    void SendChatExcept(Torvane3D::CNetMachine* pClient, const char* pText, size_t length, uint32_t uiColour);
    void SendGameMode(Torvane3D::CNetMachine* pClient);
    void SendServerName(Torvane3D::CNetMachine* pClient);
    void SendCVars(Torvane3D::CNetMachine* pClient);
    // Ends a session from the server's side: the departure now, then the transport disconnect.
    void DropClient(Torvane3D::CNetMachine* pClient, uint32_t uiReason);

    Torvane3D::CNetMachines& GetMachines() { return m_Machines; }
    Torvane3D::CNetMachine* GetConsoleMachine() const { return m_pConsoleMachine; }
    CBanList& GetBanList() { return m_BanList; }
    // The scripting layer's events; none puts back the defaults (nothing is ever cancelled).
    void SetServerEvents(Torvane3D::IServerEvents* pEvents) { m_pServerEvents = pEvents ? pEvents : &m_DefaultEvents; }
    Torvane3D::IServerEvents* GetServerEvents() const { return m_pServerEvents; }

    // A client password longer than this is refused before anything is read or hashed.
    static constexpr uint32_t MAX_PASSWORD_LENGTH = 256;

protected:
    void HandleConnect(Torvane3D::Peer_t pPeer, Torvane3D::Stream* pStream);
    void HandleClientReady(Torvane3D::CNetMachine* pClient);
    void HandleChat(Torvane3D::CNetMachine* pClient, Torvane3D::Stream* pStream);
    void HandleCommand(Torvane3D::CNetMachine* pClient, Torvane3D::Stream* pStream);
    void HandleNetworkEvent(Torvane3D::CNetMachine* pClient, Torvane3D::Stream* pStream);
    void HandleClientQuit(Torvane3D::CNetMachine* pClient, Torvane3D::Stream* pStream);
    // Logs "CONNECT: <who> revoked connection [<tag>]" and disconnects the peer.
    void RefuseConnection(Torvane3D::Peer_t pPeer, uint32_t uiReason, const char* szTag, const std::string& who);
    // The peer's address as text (no port); false when it cannot be formed.
    bool GetAddressText(Torvane3D::Peer_t pPeer, std::string& text, Torvane3D::CIPAddress* pAddress = nullptr);
    bool CheckJoinPassword(const std::string& password) const;
    // Packet 8 with every running resource.
    virtual void SendResourceInfo(Torvane3D::CNetMachine* pClient);
    // The departure of an accepted client.
    void RemoveClient(Torvane3D::CNetMachine* pClient, uint32_t uiReason);
    // The transport the sessions use (the client table's).
    Torvane3D::CNetServer* GetTransport() const { return m_Machines.GetNetServer(); }

    Torvane3D::CNetMachines m_Machines;
    Torvane3D::Strong<Torvane3D::CNetMachine> m_pConsoleMachine;
    CBanList m_BanList;
    CJoinRateLimiter m_JoinLimiter;
    Torvane3D::IServerEvents m_DefaultEvents;
    Torvane3D::IServerEvents* m_pServerEvents = &m_DefaultEvents;
    // ---- End of client sessions ----

    // ---- Elements (ServerElements.cpp) ----
    // The element manager; none until the game server creates it.
    Torvane3D::CNetObjectMgr* GetNetObjectMgr() const { return m_pNetObjectMgr.get(); }
    // The main loop's steps: the stream pass, and sync to every joined client.
    void StreamElements();
    void SyncElements();
    // Packets 4, 12, 31 and 33 of a client; with sync method 2 a sync is answered at once.
    void HandleElementPacket(Torvane3D::CNetMachine* pClient, unsigned int uiPacketId, Torvane3D::Stream* pStream);

protected:
    std::unique_ptr<Torvane3D::CNetObjectMgr> m_pNetObjectMgr;
    // ---- End of elements ----

protected:
    std::atomic<bool> m_bQuit{false};
    std::atomic<bool> m_bQuitSignal{false};

    std::unique_ptr<Torvane3D::CENetServer> m_pNetServer;
    // Seam: the resource manager creates and owns the registry once it exists.
    std::unique_ptr<Torvane3D::CCommandHandlers> m_pCommandHandlers;
    // Co-owned by the input thread, which may outlive the server at shut-down.
    std::shared_ptr<Torvane3D::CPumpedEventLoop> m_pConsoleQueue;
    std::unique_ptr<Torvane3D::CConsoleInput> m_pConsoleInput;

    // Held for a frame up to the query refresh.
    Torvane3D::CLockable m_ServerLock;
    // Guards the query block, which the query handler reads from the network thread.
    Torvane3D::CLockable m_QueryInfoLock;

    CFrameTimer m_FrameTimer;
    FrameTimeInfo m_FrameTime;
    CIntervalClock m_StreamClock;
    CIntervalClock m_SyncClock;
    // Connected players (accepted clients).
    int m_iPlayerCount = 0;
};

extern CBaseServer* g_pServer;
