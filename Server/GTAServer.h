// The server for the GTA games: the game-specific part over CBaseServer.
#pragma once

#include "BaseServer.h"
#include "VehicleColours.h"

#include <cstdint>
#include <string>
#include <vector>

class CGTAServer : public CBaseServer
{
public:
    CGTAServer();
    ~CGTAServer() override;

    void OnProcess(const FrameTimeInfo* pFrameInfo) override;

    // ---- Client sessions (GTAServerSession.cpp) ----
    // The gate: packet 1 only without a client, 149 only before the anticheat answer was
    // accepted, everything else only after it.
    void ProcessPacket(Torvane3D::Peer_t pPeer, unsigned int uiPacketId, Torvane3D::Stream* pStream) override;
    Torvane3D::CNetMachine* NewMachine(Torvane3D::CNetObjectMgr* pManager) override;
    // Sends the anticheat request (packet 149) and starts its answer deadline.
    void OnPlayerJoin(Torvane3D::CNetMachine* pClient) override;
    // Drops clients that have not answered the anticheat request in time.
    void ProcessSessions() override;

    // A client must answer the anticheat request within this time (milliseconds).
    static constexpr uint64_t ANTICHEAT_ANSWER_LIMIT_MS = 20000;
    uint64_t m_ullAnticheatAnswerLimitMs = ANTICHEAT_ANSWER_LIMIT_MS;

protected:
    void HandleAnticheatAnswer(Torvane3D::CGameClient* pClient, Torvane3D::Stream* pStream);
    // ---- End of client sessions ----

public:
    // ---- Configuration (server.xml; read by ParseConfig in GTAServerConfig.cpp) ----
    struct tAnticheatFile
    {
        std::string m_strPath; // the file's path in the game
        std::string m_strSrc;  // the server's copy
        uint8_t m_Digest[16];  // MD5 of the server's copy
    };

    // Runs the base's ParseConfig, then reads the game keys and loads the game's data.
    bool ParseConfig(const CServerConfiguration& config) override;
    // Appends a game file whose digest clients must match; false when src cannot be read.
    bool AddFileToAnticheat(const char* szPath, const char* szSrc);

    // The data files of a game number: its define header (path and the name it is processed
    // under) and its vehicle colour table; null members for a game without them.
    struct tGameFiles
    {
        const char* m_szDefineHeader;
        const char* m_szDefineHeaderName;
        const char* m_szVehicleColours;
    };
    static tGameFiles GetGameFiles(int32_t iGame);

    bool m_bSyncLocalEntities = false;
    std::vector<tAnticheatFile> m_AnticheatFiles;
    float m_fPickupStreamInDistance = 50.0f;
    float m_fPickupStreamOutDistance = 100.0f;
    bool m_bTimeSync = true;
    bool m_bWeatherSync = true;
    bool m_bIVNativeMultiplayer = true; // false for every game but GTA IV
    int32_t m_iIVGameMode = 8;
    int32_t m_iIVEpisode = -1;
    // Seam: the element manager owns the colour table once it exists.
    CVehicleColours m_VehicleColours;
    // Seam: handed to the world once it exists.
    float m_fMinuteDuration = 1.0f;
    // ---- End of configuration ----
};
