#include "Elements/Physical.h"

#include <Engine/BinaryIO.h>

using namespace Torvane3D;

CServerPhysical::CServerPhysical(CGTAServerManager* pManager) : CServerEntity(pManager)
{
    SetType(ELEMENT_PHYSICAL);
}

bool CServerPhysical::ReadSyncPacket(Stream* pStream)
{
    if (!CServerEntity::ReadSyncPacket(pStream))
        return false;
    CBinaryReader reader(pStream);
    CVector3D vecVelocity, vecTurnVelocity;
    if (!reader.ReadVector3D(vecVelocity))
        return false;
    m_vecVelocity = vecVelocity;
    if (!reader.ReadVector3D(vecTurnVelocity))
        return false;
    m_vecTurnVelocity = vecTurnVelocity;
    return true;
}

bool CServerPhysical::WriteSyncPacket(Stream* pStream)
{
    if (!CServerEntity::WriteSyncPacket(pStream))
        return false;
    CBinaryWriter writer(pStream);
    return writer.WriteVector3D(m_vecVelocity) && writer.WriteVector3D(m_vecTurnVelocity);
}
