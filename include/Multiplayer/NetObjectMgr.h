// The element manager: owns every element of the server, gives them network ids, keeps the
// id and name indexes, decides which elements exist on which client (dimension, permission,
// distance), creates and deletes them there, chooses syncers, relays sync data between
// clients and destroys elements. One per server; everything runs on the main thread.
#pragma once

#include <Engine/NetObjectResolver.h>
#include <Multiplayer/ElementEvents.h>
#include <Multiplayer/NetObject.h>
#include <Multiplayer/NetObjectSender.h>
#include <Multiplayer/ScratchStream.h>
#include <Multiplayer/StreamGrid.h>

#include <bit>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace Torvane3D
{
    class CNetMachines;

    class CNetObjectMgr : public INetObjectResolver
    {
        friend class CNetObject;

    public:
        static constexpr size_t DEFAULT_POOL_CAPACITY = 16384;
        // Ids run 1 to this, then start again at 1, skipping ids in use.
        static constexpr int32_t MAX_ALLOCATED_ID = 32767;

        // The capacity is fixed for the manager's life (at most 65535: a packet counts its
        // records in 16 bits).
        explicit CNetObjectMgr(CNetMachines* pMachines, size_t capacity = DEFAULT_POOL_CAPACITY);
        ~CNetObjectMgr() override;
        CNetObjectMgr(const CNetObjectMgr&) = delete;
        CNetObjectMgr& operator=(const CNetObjectMgr&) = delete;

        CNetMachines* GetMachines() const { return m_pMachines; }
        // Null puts back the default (through the client records).
        void SetSender(INetObjectSender* pSender) { m_pSender = pSender ? pSender : &m_DefaultSender; }
        INetObjectSender* GetSender() const { return m_pSender; }
        // Null puts back the defaults (nothing raised, nothing cancelled).
        void SetEvents(IElementEvents* pEvents) { m_pEvents = pEvents ? pEvents : &m_DefaultEvents; }
        IElementEvents* GetEvents() const { return m_pEvents; }
        bool IsServerMode() const { return m_bServerMode; }

        // The element factory; the game manager builds the class for the type mask.
        virtual CNetObject* Create(int32_t iType);

        // Registration: false when the pool is full (the element stays local).
        bool RegisterNetObject(CNetObject* pElement);
        // Destruction; inform has no effect on the server, force only matters for local elements.
        bool DestroyObject(CNetObject* pElement, bool bInform, bool bForce);
        // Shut-down: drops the element event handlers and destroys every element in pool order.
        void Shutdown();

        // Lookups. A negative id finds nothing; the name map holds the element named last.
        CNetObject* GetObjectFromId(int32_t iId) const;
        CNetObject* GetObjectFromName(std::string_view name) const;
        // Every registered element whose type contains the mask, in pool order.
        void GetObjectsOfType(int32_t iTypeMask, std::vector<CNetObject*>& elements) const;
        size_t GetCount() const { return m_Count; }
        size_t GetCapacity() const { return m_Capacity; }
        CNetObject* GetObjectInSlot(size_t slot) const { return slot < m_Capacity ? m_Slots[slot] : nullptr; }

        // Streaming.
        bool OnStreamObjectInForClient(CNetObject* pElement, CNetMachine* pClient);
        void CreateObjectsAsNeeded(CNetMachine* pClient, int32_t iTypeMask);
        void DeleteFarAwayStuff(CNetMachine* pClient);
        void SendCreatePacket(CNetMachine* pClient, CNetObject* pElement);
        // The three streaming steps for one client, on demand.
        void ManageElements(CNetMachine* pClient);
        // The main loop's stream step: every joined client, then the syncer pass.
        void StreamPass();
        void SyncerPass();

        // Sync to one client, and the main loop's sync step to every joined client.
        void SendSync(CNetMachine* pClient, ePacketPriority priority, ePacketFlags flags);
        void SyncPass(ePacketPriority priority, ePacketFlags flags);
        // With reply sync (sync method 2) a client is answered right after each sync it sends,
        // with the configured sync priority and flags.
        void SetReplySync(bool bReply, ePacketPriority priority = PACKET_PRIORITY_LOW,
            ePacketFlags flags = PACKET_FLAG_NONE)
        {
            m_bReplySync = bReply;
            m_ReplyPriority = priority;
            m_ReplyFlags = flags;
        }

        // Sends.
        void SendDeletePacket(CNetObject* pElement);
        void SendObjectRelatedPacket(Packet* pPacket, CNetObject* pElement);
        // To every accepted client (the console and peers still in the handshake excluded).
        void SendEveryonePacket(Packet* pPacket);
        void SendPacketExcluding(Packet* pPacket, CNetMachine* pExcept);

        // The element data encoding of create payloads: uint16 count, then key string, type
        // code and payload per entry. Writing fails for more than 65535 entries or a value
        // without an encoding; reading stops at the first entry that cannot be read.
        bool WriteData(const CArgumentMap& data, Stream* pStream);
        bool ReadData(CArgumentMap& data, Stream* pStream);
        // The set rule: null or code 0 removes the key, else a copy is stored (false when the
        // value cannot be copied).
        bool SetData(CArgumentMap& data, std::string_view key, const CArgument* pValue);

        // Element packets from a client: 4 (sync), 12 (delete report), 31 (syncer request) and
        // 33 (streaming switch). False for any other id.
        bool ProcessPacket(CNetMachine* pClient, unsigned uiPacketId, Stream* pStream);
        void ProcessSync(CNetMachine* pClient, Stream* pStream);
        void ProcessDeleteReport(CNetMachine* pClient, Stream* pStream);
        void ProcessSyncerRequest(CNetMachine* pClient, Stream* pStream);
        void ProcessStreamingSwitch(CNetMachine* pClient, Stream* pStream);
        // A client leaves: its syncer roles, created state and per-client state go, transient
        // elements nobody has any more are destroyed, then its player element.
        void OnClientDeparture(CNetMachine* pClient);

        // The client's player element, or null.
        CNetObject* GetPlayerElement(CNetMachine* pClient) const;
        // The effective dimension of the client's player element; -1 without one.
        int32_t GetClientDimension(CNetMachine* pClient) const;

        // Off: every pass walks all elements for every client and writes each sync record
        // once per recipient. Sends the same packets; kept for comparison in benchmarks and
        // tests.
        void SetFastPaths(bool bFast) { m_bFastPaths = bFast; }
        bool HasFastPaths() const { return m_bFastPaths; }

        // INetObjectResolver
        CBaseObject* FindNetObject(int32_t iId) override { return GetObjectFromId(iId); }
        bool GetNetObjectId(CBaseObject* pElement, int32_t& iId) override;

    private:
        // Called by CNetObject.
        void MapId(CNetObject* pElement, int32_t iOldId, int32_t iNewId);
        void MapName(CNetObject* pElement, const std::string* pOldName, const std::string* pNewName);
        void OnCreatedChanged(CNetObject* pElement, int iIndex, bool bCreated);
        void OnPendingParentChanged(CNetObject* pElement, int32_t iOldId, int32_t iNewId);
        // The size of the element's full create record, as it would be written now.
        bool MeasureCreateRecord(CNetObject* pElement, size_t& size);
        // Builds the element's full create record (identifier, create and sync payload) in the
        // scratch buffer; false when writing fails or the record exceeds the 16-bit size.
        bool BuildCreateRecord(CNetObject* pElement, CScratchStream& scratch);

        // Pool.
        bool IsSlotUsed(size_t slot) const { return (m_UsedBits[slot >> 6] >> (slot & 63)) & 1; }
        size_t FindFreeSlot() const;
        void ResolveParents(CNetObject* pElement);

        // Streaming.
        bool CanStreamToClient(CNetMachine* pClient) const;
        bool PassesStreamInChecks(CNetObject* pElement, CNetMachine* pClient);
        bool ShouldStreamOut(CNetObject* pElement, CNetMachine* pClient);
        // One element of CreateObjectsAsNeeded: true when a record was written.
        bool TryCreateFor(CNetObject* pElement, CNetMachine* pClient, int32_t iTypeMask, Packet& packet,
            bool& bOwnPlayer);
        // One element of DeleteFarAwayStuff: true when its id was written.
        bool TryDeleteFor(CNetObject* pElement, CNetMachine* pClient, Packet& packet);
        void BuildStreamIndex();
        void GatherCandidates(CNetMachine* pClient, int32_t iTypeMask, std::vector<uint32_t>& slots);
        bool IsCreatedBit(int iIndex, size_t slot) const
        {
            return (m_CreatedBits[static_cast<size_t>(iIndex) * m_Words + (slot >> 6)] >> (slot & 63)) & 1;
        }
        // Calls fn(slot) for every slot whose created bit is set for the client, in pool order,
        // seeing bits changed by earlier calls.
        template <class F>
        void ForEachCreated(int iIndex, F fn)
        {
            const uint64_t* pWords = &m_CreatedBits[static_cast<size_t>(iIndex) * m_Words];
            for (size_t w = 0; w < m_Words; ++w) {
                uint64_t bits = pWords[w];
                while (bits) {
                    int b = std::countr_zero(bits);
                    fn(w * 64 + static_cast<size_t>(b));
                    // Re-read: fn may have changed later bits of this word.
                    bits = b == 63 ? 0 : (pWords[w] & (~uint64_t(0) << (b + 1)));
                }
            }
        }

        // Sync.
        void SendSyncTo(CNetMachine* pClient, ePacketPriority priority, ePacketFlags flags);
        void BeginSyncGeneration();
        bool AppendSyncRecord(CNetObject* pElement, Packet& packet);
        bool AppendSyncRecordUncached(CNetObject* pElement, Packet& packet);

        // Packet helpers: a count placeholder after the header, filled in at the end.
        static void BeginCounted(Packet& packet);
        static void EndCounted(Packet& packet, uint16_t usCount);
        static bool AppendRecord(Packet& packet, const CScratchStream& scratch);

        CNetMachines* m_pMachines;
        bool m_bServerMode = true;
        CMachineSender m_DefaultSender;
        INetObjectSender* m_pSender = &m_DefaultSender;
        IElementEvents m_DefaultEvents;
        IElementEvents* m_pEvents = &m_DefaultEvents;

        size_t m_Capacity;
        size_t m_Words; // 64-bit words per slot bitset
        std::vector<CNetObject*> m_Slots;
        std::vector<uint64_t> m_UsedBits;
        size_t m_Count = 0;

        std::unordered_map<int32_t, CNetObject*> m_IdMap;
        std::unordered_map<std::string, CNetObject*, CArgumentMap::KeyHash, std::equal_to<>> m_NameMap;
        // Elements whose pending parent id names no registered element yet, by that id.
        std::unordered_map<int32_t, std::vector<CNetObject*>> m_WaitingChildren;
        int32_t m_iNextId = 0;

        // Per client index, a bitset over pool slots of the elements created there.
        std::vector<uint64_t> m_CreatedBits;

        bool m_bFastPaths = true;
        bool m_bReplySync = false;
        ePacketPriority m_ReplyPriority = PACKET_PRIORITY_LOW;
        ePacketFlags m_ReplyFlags = PACKET_FLAG_NONE;

        // The stream index, valid during StreamPass only.
        bool m_bIndexLive = false;
        CStreamGrid m_Grid;
        std::vector<CStreamGrid::Entry> m_GridEntries;
        std::vector<uint32_t> m_AlwaysSlots; // tested against every client
        std::vector<uint32_t> m_LateSlots;   // registered while the index was live

        // Sync records written once per sync pass: per slot, the stamp of the pass that wrote
        // it and where its bytes (identifier and payload) sit in the arena.
        uint32_t m_uiSyncStamp = 0;
        std::vector<uint32_t> m_SyncStampOf;
        std::vector<uint32_t> m_SyncOffset;
        std::vector<uint32_t> m_SyncLength; // 0: the element could not write a record
        std::vector<unsigned char> m_SyncArena;

        CScratchStream m_Scratch;
    };
}
