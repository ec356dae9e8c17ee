// A networked element: everything the server shares with game clients. It has a network
// id, a type mask, a name, a dimension, a parent and up to eight children, a syncer client,
// network flags, per-client state for 256 clients, stream distances and script data. The
// game element classes derive from it and add their own create and sync payloads.
#pragma once

#include <Engine/Arguments.h>
#include <Engine/Mathematics/Vector.h>
#include <Engine/RefCounted.h>
#include <Multiplayer/NetMachine.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace Torvane3D
{
    class CNetMachine;
    class CNetObjectMgr;
    class Packet;
    class Stream;

    // Type masks: every class sets the bits of all its ancestors, so "is a T" is a mask test.
    enum eElementType : int32_t
    {
        ELEMENT_ELEMENT = 0,
        ELEMENT_TRANSFORMABLE = 2,
        ELEMENT_ENTITY = 6,
        ELEMENT_PHYSICAL = 14,
        ELEMENT_PED = 30,
        ELEMENT_PLAYER = 94,
        ELEMENT_VEHICLE = 142,
        ELEMENT_BLIP = 258,
        ELEMENT_OBJECT = 526,
        ELEMENT_BUILDING = 1030,
        ELEMENT_TRAIN = 2190,
        ELEMENT_PICKUP = 4098,
        ELEMENT_MARKER = 8194, // no script define
        ELEMENT_DUMMY = 16386,
    };

    constexpr int32_t INVALID_NETWORK_ID = -1;
    constexpr int MAX_NET_OBJECT_CLIENTS = 256;
    constexpr int MAX_NET_OBJECT_CHILDREN = 8;
    // Levels of an element tree, the root included. Destroying an element destroys its
    // subtree recursively, so the depth must stay well inside the stack.
    constexpr int MAX_NET_OBJECT_DEPTH = 64;
    // Create and sync records carry a 16-bit size.
    constexpr size_t MAX_NET_OBJECT_RECORD_SIZE = 65535;

    // The bits of NetObjectFlags; the comments give the script property of each.
    enum eNetObjectFlag : uint16_t
    {
        NETOBJECT_REGISTERED = 1 << 0,               // registered (read-only)
        NETOBJECT_DELETING = 1 << 1,                 // deleting (read-only)
        NETOBJECT_ON_ALL_DIMENSIONS = 1 << 2,        // onAllDimensions
        NETOBJECT_FORCED_SYNCER = 1 << 3,            // forcedSyncer
        NETOBJECT_FIND_SYNCER = 1 << 4,              // findSyncer
        NETOBJECT_SEND_SYNC = 1 << 5,                // sendSync
        NETOBJECT_DISTANCE_STREAMING = 1 << 6,       // distanceStreaming
        NETOBJECT_ALWAYS_EXIST_FOR_SYNCER = 1 << 7,  // alwaysExistForSyncer
        NETOBJECT_DEFAULT_EXISTANCE = 1 << 8,        // defaultExistance
        NETOBJECT_TRANSIENT = 1 << 9,                // transient
        NETOBJECT_ONLY_SYNC_IF_DETACHED = 1 << 10,   // onlySyncIfDetached
        NETOBJECT_NETWORKED = 1 << 11,               // networked
    };

    struct NetObjectFlags
    {
        static constexpr uint16_t DEFAULT =
            NETOBJECT_FIND_SYNCER | NETOBJECT_SEND_SYNC | NETOBJECT_DEFAULT_EXISTANCE | NETOBJECT_NETWORKED;

        bool Has(eNetObjectFlag flag) const { return (m_usBits & flag) != 0; }
        void Set(eNetObjectFlag flag, bool bSet)
        {
            m_usBits = static_cast<uint16_t>(bSet ? (m_usBits | flag) : (m_usBits & ~flag));
        }

        uint16_t m_usBits = DEFAULT;
    };

    // Per-client state bits (four per client).
    enum eNetObjectClientState : uint8_t
    {
        CLIENT_STATE_CREATED = 1,
        CLIENT_STATE_EXISTS = 4,
    };

    class CNetObject : public CBaseObject
    {
        friend class CNetObjectMgr;

    public:
        explicit CNetObject(CNetObjectMgr* pManager);
        ~CNetObject() override;

        // An element reference value (code 6) linked to the manager.
        CArgument* CreateArgument() override;

        // False when the parent is already this one, when the new parent has no free child
        // slot, when the new parent is this element or one of its descendants, or when the
        // tree would grow deeper than MAX_NET_OBJECT_DEPTH; in those cases nothing changes.
        // Sends the parent packet on success.
        virtual bool SetParent(CNetObject* pParent);
        // The detach step of destruction: parent, children (destroyed), name.
        virtual void Remove();

        // The payloads; each sets the last packet time and returns false on failure.
        virtual bool ReadCreatePacket(Stream* pStream);
        virtual bool ReadSyncPacket(Stream* pStream);
        virtual bool WriteCreatePacket(Stream* pStream);
        virtual bool WriteSyncPacket(Stream* pStream);

        virtual bool CanBeDeleted() { return true; }
        virtual bool CanSendSync();
        virtual bool CanSendSync(CNetMachine* pClient);
        virtual bool CanBeSyncer(CNetMachine* pClient);
        virtual bool CanExistForMachine(CNetMachine* pClient);

        // An element without a position: each returns false.
        virtual bool SetPosition(const CVector3D& vecPosition);
        virtual bool GetPosition(CVector3D& vecPosition);
        virtual bool SetRotation(const CVector3D& vecRotation);
        virtual bool GetRotation(CVector3D& vecRotation);

        // Hooks that registration calls; the server has nothing to do in them.
        virtual void OnCreated() {}
        virtual void CreateNetSyncData() {}
        virtual void CreateNetBlender() {}

        CNetObjectMgr* GetManager() const { return m_pManager; }

        int32_t GetType() const { return m_iType; }
        // Mask 0 matches every element.
        bool IsType(int32_t iMask) const { return (m_iType & iMask) == iMask; }
        size_t GetPoolSlot() const { return m_PoolSlot; }

        int32_t GetId() const { return m_iId; }
        // Keeps the manager's id map in step; -1 makes the element local.
        void SetId(int32_t iId);

        // Null when the element has no name. Names are byte strings (exact match).
        const char* GetName() const { return m_bHasName ? m_strName.c_str() : nullptr; }
        size_t GetNameLength() const { return m_strName.size(); }
        bool HasName() const { return m_bHasName; }
        void SetName(const char* szName);
        void SetName(const char* pName, size_t length);

        int32_t GetDimension() const { return m_iDimension; }
        void SetDimension(int32_t iDimension);
        // The parent's dimension when there is a parent (one level), else the own one.
        int32_t GetEffectiveDimension() const;

        CNetObject* GetParent() const { return m_pParent; }
        int GetChildCount() const { return m_iChildCount; }
        // The child in a slot (0 to 7), or null for a free slot.
        CNetObject* GetChild(int iSlot) const;

        int32_t GetPendingParentId() const { return m_iPendingParentId; }
        void SetPendingParentId(int32_t iId);

        CNetMachine* GetSyncer() const { return m_pSyncer.Get(); }
        void SetSyncer(CNetMachine* pClient, bool bForced);
        // Ignored while the syncer is forced; an index that names no client clears the syncer.
        void SetSyncerId(int32_t iIndex);

        const NetObjectFlags& GetFlags() const { return m_Flags; }
        bool HasFlag(eNetObjectFlag flag) const { return m_Flags.Has(flag); }
        // For the script-settable flags; registered and deleting belong to the manager.
        void SetFlag(eNetObjectFlag flag, bool bSet) { m_Flags.Set(flag, bSet); }
        bool IsRegistered() const { return m_Flags.Has(NETOBJECT_REGISTERED); }
        bool IsDeleting() const { return m_Flags.Has(NETOBJECT_DELETING); }
        bool IsNetworked() const { return m_Flags.Has(NETOBJECT_NETWORKED); }

        // Four bits per client index (0 to 255); 0 for an index outside the table.
        uint8_t GetClientState(int iIndex) const;
        bool IsCreatedFor(int iIndex) const { return (GetClientState(iIndex) & CLIENT_STATE_CREATED) != 0; }
        bool IsCreatedFor(const CNetMachine* pClient) const;
        void SetCreatedFor(CNetMachine* pClient, bool bCreated);
        void SetCreatedFor(int iIndex, bool bCreated);
        bool ExistsFor(const CNetMachine* pClient) const;
        void SetExistsFor(CNetMachine* pClient, bool bExists);
        // The lowest client index with the created bit, or -1.
        int32_t GetLowestCreatedClient() const { return m_iLowestCreatedClient; }

        float GetStreamInDistance() const { return m_fStreamInDistance; }
        void SetStreamInDistance(float fDistance) { m_fStreamInDistance = fDistance; }
        float GetStreamOutDistance() const { return m_fStreamOutDistance; }
        void SetStreamOutDistance(float fDistance) { m_fStreamOutDistance = fDistance; }

        // Straight-line distance to the client's player element; false without a player
        // or when either position is unknown.
        bool GetDistanceToMachine(CNetMachine* pClient, float& fDistance);

        // Script data. SetData refuses (false, with an error logged, nothing sent or stored)
        // a value that cannot be written or copied, or one that would push the element's
        // create record past the 16-bit record size. A null or code-0 value removes the key
        // (the packet then carries code 0).
        const CArgumentMap& GetData() const { return m_Data; }
        CArgument* GetDataValue(std::string_view key) const { return m_Data.Get(key); }
        bool SetData(const char* szKey, const CArgument* pValue, bool bSync);
        bool RemoveData(const char* szKey);
        void ClearData();

        CBaseObject* GetResource() const { return m_pResource.Get(); }
        void SetResource(CBaseObject* pResource) { m_pResource = pResource; }

        uint32_t GetLastPacketTime() const { return m_uiLastPacketTime; }
        void UpdateLastPacketTime();

        // Type and id.
        bool WriteIdentifier(Stream* pStream) const;

    protected:
        void SetType(int32_t iType) { m_iType = iType; }
        // Sends a change packet to the joined clients that have this element.
        void SendRelated(Packet* pPacket);

    private:
        void SetClientState(int iIndex, uint8_t ucState);
        void ResetClientStates();
        void DetachFromParent();
        bool IsAncestorOrSelf(const CNetObject* pOther) const;
        // Levels from the root down to this element (1 for a root).
        int GetDepth() const;
        // Levels of this element's subtree (1 without children).
        int GetSubtreeHeight() const;

        CNetObjectMgr* const m_pManager;
        Weak<CBaseObject> m_pResource;
        int32_t m_iType = ELEMENT_ELEMENT;
        size_t m_PoolSlot = SIZE_MAX;
        int32_t m_iId = INVALID_NETWORK_ID;
        Weak<CNetMachine> m_pSyncer;
        int32_t m_iPendingParentId = INVALID_NETWORK_ID;
        int32_t m_iDimension = 0;
        CNetObject* m_pParent = nullptr;
        struct ChildSlot
        {
            bool m_bUsed = false;
            CNetObject* m_pChild = nullptr;
        };
        ChildSlot m_Children[MAX_NET_OBJECT_CHILDREN];
        int m_iChildCount = 0;
        std::string m_strName;
        bool m_bHasName = false;
        uint32_t m_uiLastPacketTime = 0;
        NetObjectFlags m_Flags;
        int32_t m_iLowestCreatedClient = -1;
        // Two clients per byte, the lower index in the low nibble.
        uint8_t m_ClientStates[MAX_NET_OBJECT_CLIENTS / 2];
        float m_fStreamInDistance = 0.0f;
        float m_fStreamOutDistance;
        CArgumentMap m_Data;
        // An oversized record is reported once, not on every stream pass.
        bool m_bRecordRefusalLogged = false;
    };
}
