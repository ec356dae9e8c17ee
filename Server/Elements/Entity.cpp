#include "Elements/Entity.h"

#include "GTAServerManager.h"

#include <Engine/BinaryIO.h>
#include <Multiplayer/PacketIds.h>
#include <Network/Packet.h>

#include <algorithm>
#include <cmath>

using namespace Torvane3D;

CServerEntity::CServerEntity(CGTAServerManager* pManager) : CNetObject(pManager), m_pGameManager(pManager)
{
    SetType(ELEMENT_ENTITY);
}

// ---- Transform ----

bool CServerEntity::SetPosition(const CVector3D& vecPosition)
{
    m_Matrix.At(3, 0) = vecPosition.x;
    m_Matrix.At(3, 1) = vecPosition.y;
    m_Matrix.At(3, 2) = vecPosition.z;
    return true;
}

bool CServerEntity::GetPosition(CVector3D& vecPosition)
{
    vecPosition = m_Matrix.GetRow3(3);
    return true;
}

bool CServerEntity::SetRotation(const CVector3D& vecRotation)
{
    CMatrix4x4 rotation = CMatrix4x4::Rotation(vecRotation);
    for (unsigned r = 0; r < 3; ++r)
        for (unsigned c = 0; c < 4; ++c)
            m_Matrix.At(r, c) = rotation.At(r, c);
    return true;
}

bool CServerEntity::GetRotation(CVector3D& vecRotation)
{
    vecRotation = GetRotationAngles(m_Matrix);
    return true;
}

CVector3D CServerEntity::GetRotationAngles(const CMatrix4x4& matrix)
{
    // Points are row vectors here, so the usual column-vector formulas read the transpose.
    auto C = [&](unsigned r, unsigned c) { return matrix.At(c, r); };
    float w, x, y, z;
    float trace = C(0, 0) + C(1, 1) + C(2, 2);
    if (trace > 0.0f) {
        float s = 0.5f / std::sqrt(trace + 1.0f);
        w = 0.25f / s;
        x = (C(2, 1) - C(1, 2)) * s;
        y = (C(0, 2) - C(2, 0)) * s;
        z = (C(1, 0) - C(0, 1)) * s;
    } else if (C(0, 0) > C(1, 1) && C(0, 0) > C(2, 2)) {
        float s = 2.0f * std::sqrt(1.0f + C(0, 0) - C(1, 1) - C(2, 2));
        w = (C(2, 1) - C(1, 2)) / s;
        x = 0.25f * s;
        y = (C(0, 1) + C(1, 0)) / s;
        z = (C(0, 2) + C(2, 0)) / s;
    } else if (C(1, 1) > C(2, 2)) {
        float s = 2.0f * std::sqrt(1.0f + C(1, 1) - C(0, 0) - C(2, 2));
        w = (C(0, 2) - C(2, 0)) / s;
        x = (C(0, 1) + C(1, 0)) / s;
        y = 0.25f * s;
        z = (C(1, 2) + C(2, 1)) / s;
    } else {
        float s = 2.0f * std::sqrt(1.0f + C(2, 2) - C(0, 0) - C(1, 1));
        w = (C(1, 0) - C(0, 1)) / s;
        x = (C(0, 2) + C(2, 0)) / s;
        y = (C(1, 2) + C(2, 1)) / s;
        z = 0.25f * s;
    }
    CVector3D angles;
    angles.x = std::atan2(2.0f * (w * x + y * z), 1.0f - 2.0f * (x * x + y * y));
    // Rounding can push the sine just past 1; the pitch stays within a quarter turn.
    angles.y = std::asin(std::clamp(2.0f * (w * y - z * x), -1.0f, 1.0f));
    angles.z = std::atan2(2.0f * (w * z + x * y), 1.0f - 2.0f * (y * y + z * z));
    return angles;
}

void CServerEntity::SetHeadingRows(CMatrix4x4& matrix, float fHeading)
{
    float c = std::cos(fHeading), s = std::sin(fHeading);
    const float rows[3][4] = {{c, s, 0.0f, 0.0f}, {-s, c, 0.0f, 0.0f}, {0.0f, 0.0f, 1.0f, 0.0f}};
    for (unsigned r = 0; r < 3; ++r)
        for (unsigned col = 0; col < 4; ++col)
            matrix.At(r, col) = rows[r][col];
}

void CServerEntity::SetHeading(float fHeading)
{
    SetHeadingRows(m_Matrix, fHeading);
}

float CServerEntity::GetHeading()
{
    return std::atan2(m_Matrix.At(0, 1), m_Matrix.At(0, 0));
}

// ---- Setters with packets ----

void CServerEntity::SetModelIndex(int32_t iModel)
{
    m_iModelIndex = iModel;
    Packet packet(PACKET_ENTITY_MODEL);
    CBinaryWriter writer(&packet);
    writer.WriteInt32(GetId());
    writer.WriteInt32(iModel);
    SendRelated(&packet);
}

void CServerEntity::SetInterior(uint8_t ucInterior)
{
    m_ucInterior = ucInterior;
    Packet packet(PACKET_ENTITY_INTERIOR);
    CBinaryWriter writer(&packet);
    writer.WriteInt32(GetId());
    writer.WriteUInt8(ucInterior);
    SendRelated(&packet);
}

// ---- Payloads ----

bool CServerEntity::ReadTransform(CBinaryReader& reader)
{
    CMatrix4x4 matrix;
    if (!reader.ReadBytes(matrix.m, sizeof(matrix.m)))
        return false;
    m_Matrix = matrix;
    return true;
}

bool CServerEntity::WriteTransform(CBinaryWriter& writer) const
{
    return writer.WriteBytes(m_Matrix.m, sizeof(m_Matrix.m));
}

bool CServerEntity::ReadCreatePacket(Stream* pStream)
{
    if (!CNetObject::ReadCreatePacket(pStream))
        return false;
    CBinaryReader reader(pStream);
    int32_t iModel;
    uint8_t ucInterior, ucFlags;
    if (!reader.ReadInt32(iModel) || !reader.ReadUInt8(ucInterior) || !reader.ReadUInt8(ucFlags))
        return false;
    m_iModelIndex = iModel;
    m_ucInterior = ucInterior;
    m_ucEntityFlags = ucFlags;
    return true;
}

bool CServerEntity::WriteCreatePacket(Stream* pStream)
{
    if (!CNetObject::WriteCreatePacket(pStream))
        return false;
    CBinaryWriter writer(pStream);
    return writer.WriteInt32(m_iModelIndex) && writer.WriteUInt8(m_ucInterior) && writer.WriteUInt8(m_ucEntityFlags);
}

bool CServerEntity::ReadSyncPacket(Stream* pStream)
{
    CNetObject::ReadSyncPacket(pStream);
    CBinaryReader reader(pStream);
    return ReadTransform(reader);
}

bool CServerEntity::WriteSyncPacket(Stream* pStream)
{
    CNetObject::WriteSyncPacket(pStream);
    CBinaryWriter writer(pStream);
    return WriteTransform(writer);
}
