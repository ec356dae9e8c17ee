#include "BaseServer.h"

#include <Engine/Context.h>

#include <unistd.h>

CBaseServer* g_pServer = nullptr;

CBaseServer::CBaseServer()
{
    // Seam: transport, resource manager and registries, configuration defaults, remote console,
    // listing announcer, HTTP requests, console queue, query block, event types, console
    // commands, server natives and the script engines are created here by their modules.
}

CBaseServer::~CBaseServer()
{
    if (g_pServer == this)
        g_pServer = nullptr;
}

void CBaseServer::MainLoop()
{
    // Seam: the frame (events and timers, HTTP requests, remote console, transport, listing,
    // streaming and sync, the game hook, the query block, typed console lines).
    while (!IsQuitRequested())
        usleep(100 * 1000);
}
