// Entities that move: a velocity and a turn velocity, relayed with the transform.
#pragma once

#include "Elements/Entity.h"

class CServerPhysical : public CServerEntity
{
public:
    explicit CServerPhysical(CGTAServerManager* pManager);

    const Torvane3D::CVector3D& GetVelocity() const { return m_vecVelocity; }
    void SetVelocity(const Torvane3D::CVector3D& vecVelocity) { m_vecVelocity = vecVelocity; }
    const Torvane3D::CVector3D& GetTurnVelocity() const { return m_vecTurnVelocity; }
    void SetTurnVelocity(const Torvane3D::CVector3D& vecVelocity) { m_vecTurnVelocity = vecVelocity; }

    // Sync: the transform, the velocity, the turn velocity.
    bool ReadSyncPacket(Torvane3D::Stream* pStream) override;
    bool WriteSyncPacket(Torvane3D::Stream* pStream) override;

protected:
    Torvane3D::CVector3D m_vecVelocity;
    Torvane3D::CVector3D m_vecTurnVelocity;
};
