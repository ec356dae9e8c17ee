#include "GTAServerManager.h"

#include "Elements/Blip.h"
#include "Elements/Building.h"
#include "Elements/Dummy.h"
#include "Elements/Marker.h"
#include "Elements/Object.h"
#include "Elements/Pickup.h"
#include "Elements/Player.h"
#include "Elements/Train.h"
#include "GTAServer.h"

using namespace Torvane3D;

CGTAServerManager::CGTAServerManager(CNetMachines* pMachines, CGTAServer* pServer, size_t capacity)
    : CNetObjectMgr(pMachines, capacity), m_pServer(pServer), m_Peer2Peer(this)
{
}

int32_t CGTAServerManager::GetGame() const
{
    return m_pServer->m_iGame;
}

CVehicleColours& CGTAServerManager::GetVehicleColours() const
{
    return m_pServer->m_VehicleColours;
}

bool CGTAServerManager::IsSyncingLocalEntities() const
{
    return m_pServer->m_bSyncLocalEntities;
}

CNetObject* CGTAServerManager::Create(int32_t iType)
{
    CNetObject* pElement = nullptr;
    switch (iType) {
    case ELEMENT_PED: pElement = new CServerPed(this); break;
    case ELEMENT_PLAYER: pElement = new CServerPlayer(this); break;
    case ELEMENT_VEHICLE: pElement = new CServerVehicle(this); break;
    case ELEMENT_TRAIN: pElement = new CServerTrain(this); break;
    case ELEMENT_BLIP: pElement = new CServerBlip(this); break;
    case ELEMENT_OBJECT: pElement = new CServerObject(this); break;
    case ELEMENT_BUILDING: pElement = new CServerBuilding(this); break;
    case ELEMENT_PICKUP: pElement = new CServerPickup(this); break;
    case ELEMENT_MARKER: pElement = new CServerMarker(this); break;
    case ELEMENT_DUMMY: pElement = new CServerDummy(this); break;
    default: return nullptr;
    }
    // The server's distances as they are now: a later change affects only newer elements.
    bool bPickup = iType == ELEMENT_PICKUP;
    pElement->SetStreamInDistance(bPickup ? m_pServer->m_fPickupStreamInDistance : m_pServer->m_fStreamInDistance);
    pElement->SetStreamOutDistance(bPickup ? m_pServer->m_fPickupStreamOutDistance : m_pServer->m_fStreamOutDistance);
    return pElement;
}
