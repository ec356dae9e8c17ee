// The game-independent server: configuration, transport, sessions, the main loop.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#define SERVER_VERSION_MAJOR 1
#define SERVER_VERSION_MINOR 7
#define SERVER_VERSION_PATCH 1
#define SERVER_VERSION_TEXT "1.7.1"

class CBaseServer
{
public:
    CBaseServer();
    virtual ~CBaseServer();

    // Runs frames until a quit is requested.
    virtual void MainLoop();

    // Set by the quit and exit commands and the shutdown native.
    void SetQuit() { m_bQuit = true; }
    bool IsQuitRequested() const { return m_bQuit || m_bQuitSignal; }
    // The interrupt handler's flag: async-signal-safe, polled by the main loop.
    void RaiseQuitSignal() { m_bQuitSignal = true; }

protected:
    std::atomic<bool> m_bQuit{false};
    std::atomic<bool> m_bQuitSignal{false};
};

extern CBaseServer* g_pServer;
