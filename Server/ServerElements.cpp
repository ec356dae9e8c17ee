// The server's side of the element manager: the main loop's stream and sync steps and the
// element packets of clients.
#include "BaseServer.h"

using namespace Torvane3D;

static ePacketPriority SyncPriority(uint8_t ucPriority)
{
    return ucPriority <= PACKET_PRIORITY_LOW ? static_cast<ePacketPriority>(ucPriority) : PACKET_PRIORITY_LOW;
}

void CBaseServer::StreamElements()
{
    if (m_pNetObjectMgr)
        m_pNetObjectMgr->StreamPass();
}

void CBaseServer::SyncElements()
{
    if (m_pNetObjectMgr)
        m_pNetObjectMgr->SyncPass(SyncPriority(m_ucSyncPacketPriority), static_cast<ePacketFlags>(m_ucSyncPacketFlags & 3));
}

void CBaseServer::HandleElementPacket(CNetMachine* pClient, unsigned int uiPacketId, Stream* pStream)
{
    if (!m_pNetObjectMgr)
        return;
    // The sync settings may change with the configuration; take them as they are now.
    m_pNetObjectMgr->SetReplySync(m_SyncMethod == SYNC_METHOD_REPLAY, SyncPriority(m_ucSyncPacketPriority),
        static_cast<ePacketFlags>(m_ucSyncPacketFlags & 3));
    m_pNetObjectMgr->ProcessPacket(pClient, uiPacketId, pStream);
}
