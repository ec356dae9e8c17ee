// Elements that clients create in their own copy of the game and hand to the server: with
// `synclocalentities` on, a client's local ped (packet 116) or vehicle (packet 111) becomes a
// networked element synced by that client, and the client learns its id (packet 112).
#pragma once

#include <Engine/RefCounted.h>
#include <Multiplayer/NetMachine.h>
#include <Multiplayer/NetObject.h>
#include <Network/NetServer.h>

#include <cstddef>
#include <cstdint>
#include <vector>

class CGTAServerManager;

namespace Torvane3D
{
    class Stream;
    struct CVector3D;
}

class CPeer2PeerSystem
{
public:
    // Elements one client may have handed over that still exist. A game keeps about 140 peds
    // and 110 vehicles of its own, so this covers a whole game's pools while keeping one
    // client from filling the server's element pool.
    static constexpr size_t MAX_ELEMENTS_PER_CLIENT = 256;
    // A vehicle whose entity flag byte is 1 or 3 is refused this close to another entity.
    static constexpr float MIN_VEHICLE_DISTANCE = 10.0f;
    static constexpr size_t REQUEST_TAG_SIZE = 8;

    explicit CPeer2PeerSystem(CGTAServerManager* pManager) : m_pManager(pManager) {}

    // Offered every packet of a verified client before the game handlers. Acts on 111 and
    // 116 while `synclocalentities` is on; the stream is left where it was for the rest of
    // the dispatch.
    void ProcessPacket(Torvane3D::Peer_t pPeer, unsigned int uiPacketId, Torvane3D::Stream* pStream);
    // The same for a known client.
    void ProcessClientPacket(Torvane3D::CNetMachine* pClient, unsigned int uiPacketId, Torvane3D::Stream* pStream);

    // Elements the client handed over that still exist.
    size_t CountRequestedElements(Torvane3D::CNetMachine* pClient);

private:
    struct tRequest
    {
        int32_t m_iType;
        uint32_t m_uiHandle;
        uint8_t m_Tag[REQUEST_TAG_SIZE];
    };

    void HandleRequest(Torvane3D::CNetMachine* pClient, int32_t iType, Torvane3D::Stream* pStream);
    // Packet 112; the id is -1 for a refused vehicle.
    void SendResult(Torvane3D::CNetMachine* pClient, const tRequest& request, int32_t iId);
    // Refuses a request: a vehicle is answered with -1, a ped gets no answer.
    void Refuse(Torvane3D::CNetMachine* pClient, const tRequest& request);
    // Whether a registered entity stands closer than MIN_VEHICLE_DISTANCE to the position.
    bool IsCrowded(const Torvane3D::CVector3D& vecPosition);
    std::vector<Torvane3D::Weak<Torvane3D::CNetObject>>& RequestedBy(Torvane3D::CNetMachine* pClient);

    CGTAServerManager* m_pManager;
    // Per client slot: who the list belongs to, and what that client handed over.
    struct tClientRequests
    {
        Torvane3D::Weak<Torvane3D::CNetMachine> m_pClient;
        std::vector<Torvane3D::Weak<Torvane3D::CNetObject>> m_Elements;
    };
    tClientRequests m_Clients[256];
};
