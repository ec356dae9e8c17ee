// Dummies: a position that stays on the server (it streams them by it, but never sends it).
#pragma once

// (NetObject.h needs the client class complete for its inline syncer getter.)
#include <Multiplayer/NetMachine.h>
#include <Multiplayer/NetObject.h>

class CGTAServerManager;

class CServerDummy : public Torvane3D::CNetObject
{
public:
    explicit CServerDummy(CGTAServerManager* pManager);

    bool SetPosition(const Torvane3D::CVector3D& vecPosition) override;
    bool GetPosition(Torvane3D::CVector3D& vecPosition) override;

    Torvane3D::CVector3D m_vecPosition;
};
