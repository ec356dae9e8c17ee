// Peds: health, armour, weapons, a heading and their place in a vehicle. The ped's syncer
// reports all of it in the ped sync; the server stores it and relays it.
#pragma once

#include "Elements/Physical.h"

#include <cstddef>
#include <cstdint>

class CServerVehicle;

// Where a ped stands with a vehicle; sent as one byte.
enum eVehicleEnteringState : int32_t
{
    VEHICLE_STATE_NONE = 0,
    VEHICLE_STATE_ENTERING = 1,   // 1 and 2 both mean entering
    VEHICLE_STATE_ENTERING_2 = 2,
    VEHICLE_STATE_INSIDE = 3,     // the ped occupies the vehicle
    VEHICLE_STATE_EXITING = 4,
};

// Seats 0 (the driver) to 8.
constexpr size_t MAX_VEHICLE_SEATS = 9;

// Opaque game data that clients attach to the ped sync; the server relays it unread.
struct CGameBlob
{
    static constexpr size_t CAPACITY = 1024;
    bool HasData() const { return m_usLength >= 1 && m_usLength <= CAPACITY; }
    uint16_t m_usLength = 0; // the length as read, even when too long to be kept
    uint8_t m_Data[CAPACITY];
};

class CServerPed : public CServerPhysical
{
public:
    explicit CServerPed(CGTAServerManager* pManager);

    // Sets the rotation and both heading fields / the heading field.
    void SetHeading(float fHeading) override;
    float GetHeading() override { return m_fHeading; }
    float GetCurrentHeading() const { return m_fCurrentHeading; }

    // The usual rules, and a ped in a vehicle exists only where its vehicle has been created.
    bool CanExistForMachine(Torvane3D::CNetMachine* pClient) override;

    // Stores the state (and with a vehicle its id and the seat) and tells the clients
    // (packet 101); the syncer learns of the vehicle first.
    void SetVehicleEnteringState(CServerVehicle* pVehicle, uint8_t ucSeat, eVehicleEnteringState state);
    eVehicleEnteringState GetVehicleEnteringState() const { return m_VehicleEnteringState; }
    bool IsEnteringVehicle() const
    {
        return m_VehicleEnteringState == VEHICLE_STATE_ENTERING || m_VehicleEnteringState == VEHICLE_STATE_ENTERING_2;
    }
    bool IsExitingVehicle() const { return m_VehicleEnteringState == VEHICLE_STATE_EXITING; }
    int32_t GetVehicleId() const { return m_iVehicleId; }
    uint8_t GetSeat() const { return m_ucSeat; }
    // The registered vehicle the vehicle id names, or null.
    CServerVehicle* GetVehicle() const;

    // With bSetCurrent the weapon and ammunition become the current ones; the clients that
    // have the ped are told either way (packet 129).
    void GiveWeapon(uint32_t uiWeapon, uint32_t uiAmmunition, bool bSetCurrent);

    // The ped has been spawned.
    void OnSpawned();

    int32_t GetPedType() const { return m_iPedType; }
    void SetPedType(int32_t iType) { m_iPedType = iType; }
    float GetHealth() const { return m_fHealth; }
    void SetHealth(float fHealth) { m_fHealth = fHealth; }
    float GetArmour() const { return m_fArmour; }
    void SetArmour(float fArmour) { m_fArmour = fArmour; }
    uint16_t GetWeapon() const { return m_usWeapon; }
    uint16_t GetAmmunition() const { return m_usAmmunition; }
    uint16_t GetClipAmmunition() const { return m_usClipAmmunition; }
    uint8_t GetWeaponState() const { return m_ucWeaponState; }
    int32_t GetPedState() const { return m_iPedState; }
    const Torvane3D::CVector3D& GetPedVector() const { return m_vecPedVector; }
    uint8_t GetPedByte() const { return m_ucPedByte; }
    const CGameBlob& GetBlobA() const { return m_BlobA; }
    const CGameBlob& GetBlobB() const { return m_BlobB; }

    // Create: the entity payload, then the ped type.
    bool ReadCreatePacket(Torvane3D::Stream* pStream) override;
    bool WriteCreatePacket(Torvane3D::Stream* pStream) override;
    // Sync: state, position, vector, velocity, headings, health, vehicle, seat, weapon, then
    // blob A on GTA IV or the ammunition, armour and blob B on the other games.
    bool ReadSyncPacket(Torvane3D::Stream* pStream) override;
    bool WriteSyncPacket(Torvane3D::Stream* pStream) override;

protected:
    bool IsGameIV() const;

    int32_t m_iPedState = -1;
    Torvane3D::CVector3D m_vecPedVector;
    int32_t m_iPedType = 0;
    float m_fCurrentHeading = 0.0f;
    float m_fHeading = 0.0f;
    float m_fHealth = 100.0f;
    float m_fArmour = 0.0f;
    uint8_t m_ucPedByte = 0;
    eVehicleEnteringState m_VehicleEnteringState = VEHICLE_STATE_NONE;
    int32_t m_iVehicleId = Torvane3D::INVALID_NETWORK_ID;
    uint8_t m_ucSeat = 0;
    uint16_t m_usWeapon = 0;
    uint16_t m_usAmmunition = 0;
    uint16_t m_usClipAmmunition = 0;
    uint8_t m_ucWeaponState = 0;
    CGameBlob m_BlobA; // GTA IV
    CGameBlob m_BlobB; // the other games
};
