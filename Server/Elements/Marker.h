// Markers: a position and a size; no sync relay.
#pragma once

// (NetObject.h needs the client class complete for its inline syncer getter.)
#include <Multiplayer/NetMachine.h>
#include <Multiplayer/NetObject.h>

class CGTAServerManager;

class CServerMarker : public Torvane3D::CNetObject
{
public:
    explicit CServerMarker(CGTAServerManager* pManager);

    bool SetPosition(const Torvane3D::CVector3D& vecPosition) override;
    bool GetPosition(Torvane3D::CVector3D& vecPosition) override;

    // Create: position, size.
    bool WriteCreatePacket(Torvane3D::Stream* pStream) override;

    Torvane3D::CVector3D m_vecPosition;
    float m_fSize = 1.0f;
};
