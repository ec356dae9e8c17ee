// The server for the GTA games: the game-specific part over CBaseServer.
#pragma once

#include "BaseServer.h"

class CGTAServer : public CBaseServer
{
public:
    CGTAServer();
    ~CGTAServer() override;

    void OnProcess(const FrameTimeInfo* pFrameInfo) override;
};
