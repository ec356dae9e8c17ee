#include "GTAServer.h"

CGTAServer::CGTAServer()
{
    // Seam: the element manager, the script API, the games list, the world and the rule "Version".
}

CGTAServer::~CGTAServer() = default;

void CGTAServer::OnProcess(const FrameTimeInfo* pFrameInfo)
{
    // Seam: the world advances (game clock, weather) before the event.
    CBaseServer::OnProcess(pFrameInfo);
}
