#include "GTAServer.h"

CGTAServer::CGTAServer()
{
    // Seam: the element manager, the script API, the games list and the world.
    SetRule("Version", SERVER_VERSION_TEXT);
}

CGTAServer::~CGTAServer() = default;
