#include "Elements/Train.h"

#include <Engine/BinaryIO.h>

using namespace Torvane3D;

CServerTrain::CServerTrain(CGTAServerManager* pManager) : CServerVehicle(pManager)
{
    SetType(ELEMENT_TRAIN);
    SetFlag(NETOBJECT_DISTANCE_STREAMING, false);
    SetFlag(NETOBJECT_ALWAYS_EXIST_FOR_SYNCER, true);
}

uint8_t CServerTrain::GetTrainFlags() const
{
    return static_cast<uint8_t>((m_bTrainFlag ? TRAIN_FLAG_TRAIN : 0) | (m_bDerailed ? TRAIN_FLAG_DERAILED : 0) |
        (m_bHeadlights ? TRAIN_FLAG_HEADLIGHTS : 0) | (m_bTaillights ? TRAIN_FLAG_TAILLIGHTS : 0));
}

void CServerTrain::SetTrainFlags(uint8_t ucFlags)
{
    m_bTrainFlag = (ucFlags & TRAIN_FLAG_TRAIN) != 0;
    m_bDerailed = (ucFlags & TRAIN_FLAG_DERAILED) != 0;
    m_bHeadlights = (ucFlags & TRAIN_FLAG_HEADLIGHTS) != 0;
    m_bTaillights = (ucFlags & TRAIN_FLAG_TAILLIGHTS) != 0;
}

bool CServerTrain::ReadCreatePacket(Stream* pStream)
{
    if (!CServerVehicle::ReadCreatePacket(pStream))
        return false;
    CBinaryReader reader(pStream);
    uint8_t ucFlags, ucTrack;
    if (!reader.ReadUInt8(ucFlags) || !reader.ReadUInt8(ucTrack))
        return false;
    SetTrainFlags(ucFlags);
    m_ucTrack = ucTrack;
    return true;
}

bool CServerTrain::WriteCreatePacket(Stream* pStream)
{
    if (!CServerVehicle::WriteCreatePacket(pStream))
        return false;
    CBinaryWriter writer(pStream);
    return writer.WriteUInt8(GetTrainFlags()) && writer.WriteUInt8(m_ucTrack);
}

bool CServerTrain::ReadSyncPacket(Stream* pStream)
{
    CNetObject::ReadSyncPacket(pStream);
    CBinaryReader reader(pStream);
    uint8_t ucFlags;
    if (!reader.ReadUInt8(ucFlags))
        return false;
    m_bDerailed = (ucFlags & TRAIN_FLAG_DERAILED) != 0;
    if (m_bDerailed)
        return CServerVehicle::ReadSyncPacket(pStream);
    return reader.ReadSingle(m_fTrackPosition) && reader.ReadSingle(m_fSpeed);
}

bool CServerTrain::WriteSyncPacket(Stream* pStream)
{
    CNetObject::WriteSyncPacket(pStream);
    CBinaryWriter writer(pStream);
    if (!writer.WriteUInt8(GetTrainFlags()))
        return false;
    if (m_bDerailed)
        return CServerVehicle::WriteSyncPacket(pStream);
    return writer.WriteSingle(m_fTrackPosition) && writer.WriteSingle(m_fSpeed);
}
