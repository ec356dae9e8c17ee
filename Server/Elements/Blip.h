// Radar blips: a position (or the position of the entity they are attached to), display
// flags, a size and an icon or colour.
#pragma once

// (NetObject.h needs the client class complete for its inline syncer getter.)
#include <Multiplayer/NetMachine.h>
#include <Multiplayer/NetObject.h>

#include <cstdint>

class CGTAServerManager;

enum eBlipFlags : uint8_t
{
    BLIP_FLAG_DISPLAY_A = 1 << 0, // set from createBlipAttachedTo's fifth argument
    BLIP_FLAG_DISPLAY_B = 1 << 1, // set from its sixth argument
    BLIP_FLAG_ICON = 1 << 2,      // the value is an icon, not a colour
};

class CServerBlip : public Torvane3D::CNetObject
{
public:
    explicit CServerBlip(CGTAServerManager* pManager);

    bool SetPosition(const Torvane3D::CVector3D& vecPosition) override;
    // The parent's position when the parent has one, else the blip's own.
    bool GetPosition(Torvane3D::CVector3D& vecPosition) override;

    // Create: position, flags, size, value. Sync: the position, taken from a client only
    // while the blip has no parent.
    bool WriteCreatePacket(Torvane3D::Stream* pStream) override;
    bool ReadSyncPacket(Torvane3D::Stream* pStream) override;
    bool WriteSyncPacket(Torvane3D::Stream* pStream) override;

    Torvane3D::CVector3D m_vecPosition;
    uint8_t m_ucFlags = BLIP_FLAG_DISPLAY_A;
    uint8_t m_ucSize = 3;
    uint32_t m_uiValue = 0xFF00FF;
};
