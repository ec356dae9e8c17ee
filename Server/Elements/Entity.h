// Things in the world: a transform, a model and an interior. Entities are the base of peds,
// vehicles, objects and buildings.
#pragma once

#include <Engine/Mathematics/Matrix.h>
// (NetObject.h needs the client class complete for its inline syncer getter.)
#include <Multiplayer/NetMachine.h>
#include <Multiplayer/NetObject.h>

#include <cstdint>

class CGTAServerManager;

namespace Torvane3D
{
    class CBinaryReader;
    class CBinaryWriter;
}

class CServerEntity : public Torvane3D::CNetObject
{
public:
    explicit CServerEntity(CGTAServerManager* pManager);

    CGTAServerManager* GetGameManager() const { return m_pGameManager; }

    // Row 3 of the transform.
    bool SetPosition(const Torvane3D::CVector3D& vecPosition) override;
    bool GetPosition(Torvane3D::CVector3D& vecPosition) override;
    // Angles in radians: the rotation rows become Rx(x) Ry(y) Rz(z); the position stays.
    bool SetRotation(const Torvane3D::CVector3D& vecRotation) override;
    bool GetRotation(Torvane3D::CVector3D& vecRotation) override;

    // A rotation about Z (pitch and roll are dropped) / atan2 of the right vector.
    virtual void SetHeading(float fHeading);
    virtual float GetHeading();
    // Stores the model and tells the clients that have the element (packet 105).
    virtual void SetModelIndex(int32_t iModel);
    int32_t GetModelIndex() const { return m_iModelIndex; }

    // Stores the interior and tells the clients that have the element (packet 150).
    void SetInterior(uint8_t ucInterior);
    uint8_t GetInterior() const { return m_ucInterior; }

    const Torvane3D::CMatrix4x4& GetMatrix() const { return m_Matrix; }
    void SetMatrix(const Torvane3D::CMatrix4x4& matrix) { m_Matrix = matrix; }
    // The client's own byte, relayed in the create payload.
    uint8_t GetEntityFlags() const { return m_ucEntityFlags; }
    void SetEntityFlags(uint8_t ucFlags) { m_ucEntityFlags = ucFlags; }
    // The handle a client gave an element it created itself; -1 for the server's own.
    int32_t GetLocalHandle() const { return m_iLocalHandle; }
    void SetLocalHandle(int32_t iHandle) { m_iLocalHandle = iHandle; }

    // Create: the base part, model, interior, entity flag byte. Sync: the transform.
    bool ReadCreatePacket(Torvane3D::Stream* pStream) override;
    bool WriteCreatePacket(Torvane3D::Stream* pStream) override;
    bool ReadSyncPacket(Torvane3D::Stream* pStream) override;
    bool WriteSyncPacket(Torvane3D::Stream* pStream) override;

    // The rotation rows of a heading about Z: (cos h, sin h, 0), (-sin h, cos h, 0), (0, 0, 1).
    static void SetHeadingRows(Torvane3D::CMatrix4x4& matrix, float fHeading);
    // Angles (x, y, z) of the rotation rows, through a quaternion.
    static Torvane3D::CVector3D GetRotationAngles(const Torvane3D::CMatrix4x4& matrix);

protected:
    bool ReadTransform(Torvane3D::CBinaryReader& reader);
    bool WriteTransform(Torvane3D::CBinaryWriter& writer) const;

    CGTAServerManager* m_pGameManager;
    Torvane3D::CMatrix4x4 m_Matrix = Torvane3D::CMatrix4x4::Identity();
    int32_t m_iModelIndex = -1;
    uint8_t m_ucInterior = 0;
    uint8_t m_ucEntityFlags = 0;
    int32_t m_iLocalHandle = -1;
};
