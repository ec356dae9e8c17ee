// The script-visible events of client sessions, as the session code raises them. The
// scripting layer implements this interface; these defaults raise nothing and never cancel.
// Cancellable events return false when a handler prevented the default action.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Torvane3D
{
    class CArgumentArray;
    class CNetMachine;

    class IServerEvents
    {
    public:
        virtual ~IServerEvents() = default;

        // "OnPlayerConnect" (cancellable): a peer connected at the transport; its address text.
        virtual bool OnPlayerConnect(const char* szAddress) { (void)szAddress; return true; }
        // "OnPlayerJoin": a client was accepted and put in its slot.
        virtual void OnPlayerJoin(CNetMachine* pClient) { (void)pClient; }
        // "OnPlayerJoined": the client finished joining (client-ready).
        virtual void OnPlayerJoined(CNetMachine* pClient) { (void)pClient; }
        // "OnPlayerQuit": the client is leaving, with the disconnect reason.
        virtual void OnPlayerQuit(CNetMachine* pClient, uint32_t uiReason) { (void)pClient, (void)uiReason; }
        // "OnPlayerChat" (cancellable): a chat line of the client, its bytes as sent.
        virtual bool OnPlayerChat(CNetMachine* pClient, const char* pText, size_t length)
        {
            (void)pClient, (void)pText, (void)length;
            return true;
        }
        // "OnPlayerCommand" (cancellable): a command the client sent, with its argument text.
        virtual bool OnPlayerCommand(CNetMachine* pClient, const char* szCommand, const char* szArguments)
        {
            (void)pClient, (void)szCommand, (void)szArguments;
            return true;
        }
        // A network event from a client: calls the handlers bound to the name; false when none is bound.
        virtual bool OnNetworkEvent(CNetMachine* pClient, const char* szName, CArgumentArray* pArguments)
        {
            (void)pClient, (void)szName, (void)pArguments;
            return false;
        }
    };
}
