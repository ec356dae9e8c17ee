// The test client's view of networked elements: it decodes the create, delete, syncer and
// sync records of every element class, keeps the elements it has, builds the payloads of
// local peds and vehicles for peer-to-peer requests (packets 116, 111) and their sync
// (packet 4), and learns the ids the server gives them (packet 112).
// Like the rest of the test client it knows only the wire format.
#pragma once

#include "TestClient.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace TestClient
{
    enum : uint32_t
    {
        ID_ELEMENT_SYNC = 4,
        ID_ELEMENT_CREATE = 11,
        ID_ELEMENT_DELETE = 12,
        ID_ELEMENT_SYNCER = 13,
        ID_REQUEST_LOCAL_VEHICLE = 111,
        ID_LOCAL_ELEMENT_RESULT = 112,
        ID_REQUEST_LOCAL_PED = 116,
    };

    // Type masks of the element classes.
    enum : int32_t
    {
        TYPE_ENTITY = 6,
        TYPE_PHYSICAL = 14,
        TYPE_PED = 30,
        TYPE_PLAYER = 94,
        TYPE_VEHICLE = 142,
        TYPE_BLIP = 258,
        TYPE_OBJECT = 526,
        TYPE_BUILDING = 1030,
        TYPE_TRAIN = 2190,
        TYPE_PICKUP = 4098,
        TYPE_MARKER = 8194,
        TYPE_DUMMY = 16386,
    };

    constexpr uint8_t GAME_NUMBER_IV = 5;

    struct CBotVector
    {
        float x = 0, y = 0, z = 0;
        bool operator==(const CBotVector&) const = default;
    };

    // One element as a client knows it. Only the fields of its class mean anything.
    struct CBotElement
    {
        int32_t iType = 0;
        int32_t iId = -1;
        // Base part of the create payload.
        int32_t iSyncer = -1;
        int32_t iParent = -1;
        int32_t iDimension = 0;
        std::string strName;
        uint16_t usDataEntries = 0;
        // Entity.
        int32_t iModel = -1;
        uint8_t ucInterior = 0;
        uint8_t ucEntityFlags = 0;
        float matrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
        CBotVector velocity, turnVelocity;
        // Ped.
        int32_t iPedType = 0;
        int32_t iPedState = -1;
        CBotVector pedVector;
        float fCurrentHeading = 0, fHeading = 0, fHealth = 100, fArmour = 0;
        uint8_t ucVehicleState = 0;
        int32_t iVehicleId = -1;
        uint8_t ucSeat = 0;
        uint16_t usWeapon = 0, usAmmunition = 0, usClipAmmunition = 0;
        uint8_t ucWeaponState = 0, ucPedByte = 0;
        std::vector<uint8_t> blob;        // blob A on GTA IV, else blob B
        std::vector<uint8_t> playerBlock; // 57 bytes, not on GTA IV
        // Vehicle.
        int32_t iVehicleFlags = 0;
        uint8_t ucLockStatus = 1;
        uint8_t palette[4] = {};
        uint32_t rgb[4] = {};
        int32_t iSyncFlag = 0;
        float fVehicleHealth = 1000, values[3] = {};
        uint8_t ucVehicleByte = 0;
        uint32_t uiVehicleWord = 0;
        std::vector<uint8_t> damage = {0}; // as on the wire (kind in the low 2 bits of byte 0)
        uint8_t ucExtraFlags = 0;
        float extra[2] = {};
        // Train.
        uint8_t ucTrainFlags = 0x0C, ucTrack = 0;
        float fTrackPosition = 0, fSpeed = 0;
        // Blip, pickup, marker (their own position).
        CBotVector position;
        uint8_t ucBlipFlags = 1, ucBlipSize = 3;
        uint32_t uiBlipValue = 0xFF00FF;
        int32_t iPickupModel = 0;
        uint8_t ucPickupType = 2;
        int32_t iPickupValue = 0;
        float fMarkerSize = 1;

        bool Is(int32_t iMask) const { return (iType & iMask) == iMask; }
        CBotVector GetPosition() const;
        void SetPosition(const CBotVector& v);
        // A rotation about Z, as a ped's sync carries it.
        void SetHeading(float fHeading);
    };

    // Payloads in the wire encoding. The create payload here never carries element data.
    std::vector<uint8_t> EncodeCreatePayload(const CBotElement& e);
    std::vector<uint8_t> EncodeSyncPayload(const CBotElement& e, bool bIV);
    // Decoding a create record (type, id, create payload, sync payload) or a sync payload;
    // false for bytes that do not form one.
    bool DecodeCreateRecord(const uint8_t* pData, size_t length, bool bIV, CBotElement& e);
    bool DecodeSyncPayload(const uint8_t* pData, size_t length, bool bIV, CBotElement& e);

    // The request packets' payloads: handle, 8-byte tag, create payload, sync payload.
    std::vector<uint8_t> EncodeLocalRequest(uint32_t uiHandle, const uint8_t tag[8], const CBotElement& e, bool bIV);

    // The answer to a request (packet 112).
    struct CLocalResult
    {
        uint32_t uiType = 0;
        uint32_t uiHandle = 0;
        uint8_t tag[8] = {};
        int32_t iId = -1;
    };

    // Keeps a client's elements: install on a CTestClient with Attach.
    class CElementTracker
    {
    public:
        explicit CElementTracker(bool bIV) : m_bIV(bIV) {}

        // Decodes the client's packets from now on.
        void Attach(CTestClient& client);
        void OnPacket(const CReceivedPacket& packet);

        // Elements the server created on this client, by id.
        const std::map<int32_t, CBotElement>& GetElements() const { return m_Elements; }
        const CBotElement* Find(int32_t iId) const;
        // Answers to local requests, in arrival order.
        const std::vector<CLocalResult>& GetResults() const { return m_Results; }
        // The sync interval and method of packet 2 (30 ms and 1 until it arrives).
        uint16_t GetSyncInterval() const { return m_usSyncInterval; }
        uint8_t GetSyncMethod() const { return m_ucSyncMethod; }

        // Sends packet 116 or 111 for a local element.
        bool RequestLocal(CTestClient& client, uint32_t uiHandle, const uint8_t tag[8], const CBotElement& e);
        // Sends one sync packet (channel 1, unreliable) with a record per element.
        bool SendSync(CTestClient& client, const std::vector<const CBotElement*>& elements);

        uint64_t m_ullCreateRecords = 0;
        uint64_t m_ullDeleteRecords = 0;
        uint64_t m_ullSyncRecords = 0;
        uint64_t m_ullSyncPackets = 0;
        uint64_t m_ullBadRecords = 0;
        // Ids of elements this client owns (peds it handed over): a delete for one is noted.
        void Watch(int32_t iId) { m_Watched[iId] = false; }
        bool IsLost(int32_t iId) const
        {
            auto it = m_Watched.find(iId);
            return it != m_Watched.end() && it->second;
        }

        // Syncer packets (13) naming this client, by element id.
        std::map<int32_t, int32_t> m_Syncers;

    private:
        void OnCreate(const CReceivedPacket& packet);
        void OnDelete(const CReceivedPacket& packet);
        void OnSync(const CReceivedPacket& packet);

        bool m_bIV;
        std::map<int32_t, CBotElement> m_Elements;
        std::vector<CLocalResult> m_Results;
        std::map<int32_t, bool> m_Watched; // id -> deleted
        uint16_t m_usSyncInterval = 30;
        uint8_t m_ucSyncMethod = 1;
    };
}
