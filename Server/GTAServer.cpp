#include "GTAServer.h"
#include "GTAServerManager.h"

CGTAServer::CGTAServer()
{
    m_pNetObjectMgr = std::make_unique<CGTAServerManager>(&m_Machines, this);
    // Seam: the script API, the games list and the world.
    SetRule("Version", SERVER_VERSION_TEXT);
}

CGTAServer::~CGTAServer() = default;

void CGTAServer::OnProcess(const FrameTimeInfo* pFrameInfo)
{
    // Seam: the world advances (game clock, weather) before the event.
    CBaseServer::OnProcess(pFrameInfo);
}
