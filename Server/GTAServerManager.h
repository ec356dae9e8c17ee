// The game server's element manager: the element factory over CNetObjectMgr, the settings
// the element classes read from the server, and the peer-to-peer element requests.
#pragma once

#include "Peer2PeerSystem.h"

#include <Multiplayer/NetObjectMgr.h>

#include <cstdint>

class CGTAServer;
class CVehicleColours;

// Game numbers the element payloads depend on.
constexpr int32_t GAME_GTA_IV = 5;

class CGTAServerManager : public Torvane3D::CNetObjectMgr
{
public:
    // The server supplies the stream distances, the game, the colour table and the
    // peer-to-peer switch; it must outlive the manager.
    CGTAServerManager(Torvane3D::CNetMachines* pMachines, CGTAServer* pServer,
        size_t capacity = DEFAULT_POOL_CAPACITY);

    // A new, unregistered element of the class for the type mask, with its flags and stream
    // distances; null for a mask no class has.
    Torvane3D::CNetObject* Create(int32_t iType) override;

    CGTAServer* GetServer() const { return m_pServer; }
    int32_t GetGame() const;
    bool IsGameIV() const { return GetGame() == GAME_GTA_IV; }
    CVehicleColours& GetVehicleColours() const;
    bool IsSyncingLocalEntities() const;
    CPeer2PeerSystem& GetPeer2PeerSystem() { return m_Peer2Peer; }

private:
    CGTAServer* m_pServer;
    CPeer2PeerSystem m_Peer2Peer;
};
