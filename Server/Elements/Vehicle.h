// Vehicles: occupants, colours, a lock status and a large sync payload with a packed damage
// state. A vehicle relays its sync only while somebody sits in it.
#pragma once

#include "Elements/Ped.h"
#include "Elements/Physical.h"

#include <Engine/RefCounted.h>

#include <cstdint>

// The damage state a client reports: a kind (0 to 3) and the values that kind carries.
// Kind 1 packs groups A, B and C into a 32-bit word after the kind and group D into one more
// byte; kind 2 packs the kind and the first two values of group D into one byte; kinds 0 and 3
// are the kind alone.
struct CVehicleDamage
{
    uint8_t m_ucKind = 0;
    uint8_t m_GroupA[6] = {}; // 2 bits each
    uint8_t m_GroupB[4] = {}; // 1 bit each
    uint8_t m_GroupC[7] = {}; // 2 bits each
    uint8_t m_GroupD[4] = {}; // 2 bits each

    bool Write(Torvane3D::CBinaryWriter& writer) const;
    // Stores every value masked to its width; false on a short read.
    bool Read(Torvane3D::CBinaryReader& reader);
    bool operator==(const CVehicleDamage&) const = default;
};

enum eVehicleCreateFlags : int32_t
{
    VEHICLE_CREATE_STRONG_GRIP = 1 << 0,
    VEHICLE_CREATE_RGB_COLOURS = 1 << 1,
    VEHICLE_CREATE_ENGINE = 1 << 2,
};

class CServerVehicle : public CServerPhysical
{
public:
    static constexpr float FULL_HEALTH = 1000.0f;
    static constexpr uint32_t MAX_LOCK_STATUS = 6;

    explicit CServerVehicle(CGTAServerManager* pManager);

    // The ped in the seat, if it still says that it sits there; null for a seat above 8.
    CServerPed* GetOccupant(size_t seat) const;
    void SetOccupant(size_t seat, CServerPed* pPed);
    bool HasOccupant() const;

    // An empty vehicle relays no sync to anybody.
    bool CanSendSync() override;
    bool CanSendSync(Torvane3D::CNetMachine* pClient) override;

    // Stores the model (packet 105), picks the new model's colours and sends them (packet 117).
    void SetModelIndex(int32_t iModel) override;
    // Picks one of the model's colour schemes at random; false (with a warning) when the model
    // has none. Sends nothing.
    bool RandomiseColours();
    // Tells the clients that have the vehicle its colours (packet 117).
    void ApplyColourChanges();
    // Full health, and the clients are told (packet 118).
    void Fix();
    // Each sends its packet (119, 120) only when the value changes.
    void SetDoorsLocked(uint32_t uiStatus);
    void SetEngine(bool bOn);

    // Players and resource-owned peds inside leave the vehicle, other peds inside go with it,
    // and every ped entering or leaving it forgets it. Then the element's own removal.
    void Remove() override;

    // Create: the entity payload, flags, lock status, colours.
    bool ReadCreatePacket(Torvane3D::Stream* pStream) override;
    bool WriteCreatePacket(Torvane3D::Stream* pStream) override;
    // Sync: the physical payload, then the vehicle part (shorter on GTA IV).
    bool ReadSyncPacket(Torvane3D::Stream* pStream) override;
    bool WriteSyncPacket(Torvane3D::Stream* pStream) override;

    float m_fHealth = FULL_HEALTH;
    float m_fValues[3] = {};
    bool m_bSyncFlag = false;
    bool m_bStrongGrip = false;
    bool m_bEngine = false;
    uint8_t m_ucSwitch = 0;
    uint8_t m_ucColours[4] = {};
    bool m_bRGBColours = false;
    uint32_t m_uiRGBColours[4] = {}; // ARGB
    int32_t m_iLockStatus = 1;       // 1 unlocked, 2 locked
    bool m_bVehicleByte = false;
    uint32_t m_uiVehicleWord = 0;
    CVehicleDamage m_Damage;
    uint8_t m_ucExtraFlags = 0;      // bit 0: the two extra singles follow in the sync
    float m_fExtra[2] = {};

protected:
    bool ReadVehicleCreate(Torvane3D::CBinaryReader& reader);
    bool WriteVehicleCreate(Torvane3D::CBinaryWriter& writer) const;

private:
    Torvane3D::Weak<CServerPed> m_Occupants[MAX_VEHICLE_SEATS];
};
