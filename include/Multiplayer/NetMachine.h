// One client of the server: its transport peer, identity, rights and session state.
// The console pseudo-client ("Console", slot 255) is a machine too, without a peer.
#pragma once

#include <Engine/Arguments.h>
#include <Engine/RefCounted.h>
#include <Network/NetServer.h>

#include <cstdint>
#include <string>

namespace Torvane3D
{
    class CNetMachines;
    class CNetObjectMgr;
    class Packet;
    class Stream;

    class CNetMachine : public CBaseObject
    {
    public:
        CNetMachine(CNetObjectMgr* pManager, CNetMachines* pMachines);
        ~CNetMachine() override;

        // Forwards to the transport for this client's peer; does nothing for the console
        // or a machine without a peer.
        bool SendPacket(Packet* pPacket, ePacketPriority priority = PACKET_PRIORITY_LOW,
            ePacketFlags flags = PACKET_FLAG_RELIABLE, unsigned char ucChannel = 0);

        // The client description of packets 19 and 20: flags, game, player id, name, data.
        bool Write(Stream* pStream) const;
        uint8_t GetFlags() const;

        // Packet 5 to this client: the id of its own player element, or -1.
        void SendPlayer();
        // Packet 34 to every client: this client's flags.
        void SendUpdate();
        // Changes the player element and sends packet 26 to every client.
        void SetPlayer(CBaseObject* pPlayer, int32_t iPlayerId);
        // The client's script data. SetData stores a copy of the value (a null value or
        // code 0 removes the key) and, with bSend, tells every client (packet 24); false when
        // the value cannot be stored, in which case nothing changes and nothing is sent.
        bool SetData(std::string_view key, const CArgument* pValue, bool bSend);
        // Removes a present key and tells every client (packet 24, type 0); an absent key
        // sends nothing.
        bool RemoveData(std::string_view key);
        // Empties the data and tells every client (packet 25).
        void ClearData();
        const CArgumentMap& GetData() const { return m_Data; }

        CNetObjectMgr* GetManager() const { return m_pManager; }
        CNetMachines* GetMachines() const { return m_pMachines; }
        Peer_t GetPeer() const { return m_pPeer; }
        void SetPeer(Peer_t pPeer) { m_pPeer = pPeer; }
        const CIPAddress& GetAddress() const { return m_Address; }
        void SetAddress(const CIPAddress& address) { m_Address = address; }
        const std::string& GetGameName() const { return m_strGameName; }
        void SetGameName(const std::string& name) { m_strGameName = name; }
        int32_t GetGame() const { return m_iGame; }
        void SetGame(int32_t iGame) { m_iGame = iGame; }
        int32_t GetIndex() const { return m_iIndex; }
        void SetIndex(int32_t iIndex) { m_iIndex = iIndex; }
        const std::string& GetName() const { return m_strName; }
        void SetName(const std::string& name) { m_strName = name; }
        CBaseObject* GetPlayer() const { return m_pPlayer.Get(); }
        int32_t GetPlayerId() const { return m_pPlayer ? m_iPlayerId : -1; }
        bool IsJoined() const { return m_bJoined; }
        void SetJoined(bool bJoined) { m_bJoined = bJoined; }
        bool IsAdministrator() const { return m_bAdministrator; }
        void SetAdministrator(bool bAdministrator) { m_bAdministrator = bAdministrator; }
        bool IsConsole() const { return m_bConsole; }
        void SetConsole(bool bConsole) { m_bConsole = bConsole; }
        bool IsStreaming() const { return m_bStreaming; }
        void SetStreaming(bool bStreaming) { m_bStreaming = bStreaming; }
        // Set once the departure has begun, so it runs only once.
        bool IsDeparting() const { return m_bDeparting; }
        void SetDeparting(bool bDeparting) { m_bDeparting = bDeparting; }

        // Warnings caused by this client's packets are limited, so that one client cannot
        // flood the log: a burst of WARNING_BURST, then one a second.
        static constexpr uint32_t WARNING_BURST = 10;
        bool AllowWarning(uint64_t ullNowMs);

    protected:
        CNetObjectMgr* m_pManager;
        CNetMachines* m_pMachines;
        Peer_t m_pPeer = nullptr;
        CIPAddress m_Address;
        std::string m_strGameName;
        int32_t m_iGame = -1;
        int32_t m_iIndex = -1;
        std::string m_strName;
        CArgumentMap m_Data;
        Weak<CBaseObject> m_pPlayer;
        int32_t m_iPlayerId = -1;
        bool m_bJoined = false;
        bool m_bAdministrator = false;
        bool m_bConsole = false;
        bool m_bStreaming = true;
        bool m_bDeparting = false;
        uint32_t m_uiWarningTokens = WARNING_BURST;
        uint64_t m_ullWarningTime = 0;
    };

    // The game server's client record.
    class CGameClient : public CNetMachine
    {
    public:
        CGameClient(CNetObjectMgr* pManager, CNetMachines* pMachines) : CNetMachine(pManager, pMachines) {}

        // The anticheat answer was accepted.
        bool IsVerified() const { return m_bVerified; }
        void SetVerified(bool bVerified) { m_bVerified = bVerified; }
        // Milliseconds (64-bit clock) when the anticheat request was sent; 0 before.
        uint64_t GetAnticheatSentTime() const { return m_ullAnticheatSentMs; }
        void SetAnticheatSentTime(uint64_t ullMs) { m_ullAnticheatSentMs = ullMs; }
        uint8_t GetCameraInterior() const { return m_ucCameraInterior; }
        void SetCameraInterior(uint8_t ucInterior) { m_ucCameraInterior = ucInterior; }
        bool AreTrainersAllowed() const { return m_bTrainers; }
        void SetTrainersAllowed(bool bTrainers) { m_bTrainers = bTrainers; }

    private:
        bool m_bVerified = false;
        uint64_t m_ullAnticheatSentMs = 0;
        uint8_t m_ucCameraInterior = 0;
        bool m_bTrainers = true;
    };
}
