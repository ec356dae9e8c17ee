// Pickups: a position, a model, a pickup type and a value; no sync relay.
#pragma once

// (NetObject.h needs the client class complete for its inline syncer getter.)
#include <Multiplayer/NetMachine.h>
#include <Multiplayer/NetObject.h>

#include <cstdint>

class CGTAServerManager;

class CServerPickup : public Torvane3D::CNetObject
{
public:
    explicit CServerPickup(CGTAServerManager* pManager);

    bool SetPosition(const Torvane3D::CVector3D& vecPosition) override;
    bool GetPosition(Torvane3D::CVector3D& vecPosition) override;

    // Create: position, model, pickup type, value.
    bool WriteCreatePacket(Torvane3D::Stream* pStream) override;

    Torvane3D::CVector3D m_vecPosition;
    int32_t m_iModel = 0;
    uint8_t m_ucPickupType = 2;
    int32_t m_iValue = 0;
};
