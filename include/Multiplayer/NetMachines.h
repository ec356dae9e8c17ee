// The client table: 256 slots of counted client references, indexed by the client index.
// Slot 255 holds the console client; slots 0 to 254 hold accepted game clients.
#pragma once

#include <Multiplayer/NetMachine.h>

#include <string_view>

namespace Torvane3D
{
    class CNetMachines
    {
    public:
        static constexpr int SLOT_COUNT = 256;
        static constexpr int CONSOLE_SLOT = 255;

        explicit CNetMachines(CNetServer* pNetServer = nullptr) : m_pNetServer(pNetServer) {}
        ~CNetMachines();
        CNetMachines(const CNetMachines&) = delete;
        CNetMachines& operator=(const CNetMachines&) = delete;

        CNetServer* GetNetServer() const { return m_pNetServer; }
        void SetNetServer(CNetServer* pNetServer) { m_pNetServer = pNetServer; }

        // The client in a slot, or null (also for an index outside the table).
        CNetMachine* Get(int iIndex) const;
        // Puts a client in a slot (taking a count) and sets its index; false when out of range.
        bool Set(int iIndex, CNetMachine* pMachine);
        // Empties a slot, releasing the table's count.
        void Clear(int iIndex);
        // Releases every slot, from 255 down to 0.
        void ClearAll();

        // The client of a transport peer, or null. A null peer matches nothing.
        CNetMachine* GetMachineFromPeer(Peer_t pPeer) const;
        // The lowest free slot below the console's, or -1.
        int FindFreeSlot() const;
        // A client in any slot, the console included, whose name matches without regard to
        // the case of ASCII letters; null when none.
        CNetMachine* FindByName(std::string_view name) const;
        // Occupied slots, the console included.
        int CountOccupied() const;

        // Sends to every accepted client (a client with a peer), optionally except one.
        // Peers that have not completed the handshake never receive these packets.
        void SendToAll(Packet* pPacket, CNetMachine* pExcept = nullptr, ePacketPriority priority = PACKET_PRIORITY_LOW,
            ePacketFlags flags = PACKET_FLAG_RELIABLE, unsigned char ucChannel = 0);

    private:
        CNetServer* m_pNetServer;
        Strong<CNetMachine> m_Slots[SLOT_COUNT];
    };
}
