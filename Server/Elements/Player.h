// A client's own ped. Its sync carries a player block on the games other than GTA IV, and a
// player driving a vehicle takes over the vehicle's sync.
#pragma once

#include "Elements/Ped.h"

class CServerPlayer : public CServerPed
{
public:
    static constexpr size_t PLAYER_BLOCK_SIZE = 48;

    explicit CServerPlayer(CGTAServerManager* pManager);

    // Stores the position and moves the player on the clients that have it (packet 180).
    bool SetPosition(const Torvane3D::CVector3D& vecPosition) override;

    // The ped sync, then (not on GTA IV) the player block.
    bool ReadSyncPacket(Torvane3D::Stream* pStream) override;
    bool WriteSyncPacket(Torvane3D::Stream* pStream) override;

    // The player block, relayed unread.
    uint16_t m_usBlockValue1 = 0;
    uint8_t m_Block[PLAYER_BLOCK_SIZE] = {};
    uint32_t m_uiBlockValue2 = 0;
    bool m_bBlockFlag = true;
    uint16_t m_usBlockValue3 = 4;

private:
    // A driver syncs the vehicle it drives when its client has that vehicle, unless a script
    // fixed the vehicle's syncer.
    void TakeOverDrivenVehicle();
};
