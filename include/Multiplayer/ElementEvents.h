// The script-visible events of elements, as the element manager raises them. The scripting
// layer implements this interface; these defaults raise nothing and never cancel.
// Cancellable events return false when a handler prevented the default action.
#pragma once

namespace Torvane3D
{
    class CNetMachine;
    class CNetObject;

    // Names and description texts for registering the three event types.
    constexpr const char* ELEMENT_EVENT_STREAM_IN = "OnElementStreamIn";
    constexpr const char* ELEMENT_EVENT_STREAM_IN_TEXT = "Called when an element is about to stream in";
    constexpr const char* ELEMENT_EVENT_STREAM_OUT = "OnElementStreamOut";
    constexpr const char* ELEMENT_EVENT_STREAM_OUT_TEXT = "Called when an element is about to stream out";
    constexpr const char* ELEMENT_EVENT_DESTROY = "OnElementDestroy";
    constexpr const char* ELEMENT_EVENT_DESTROY_TEXT = "Called when an element is about to be destroyed";

    class IElementEvents
    {
    public:
        virtual ~IElementEvents() = default;

        // "OnElementStreamIn" (cancellable), with (element, client): the element is about
        // to be created on the client.
        virtual bool OnElementStreamIn(CNetObject* pElement, CNetMachine* pClient)
        {
            (void)pElement, (void)pClient;
            return true;
        }
        // "OnElementStreamOut" (cancellable), with (element, client): the element is about to
        // be removed from the client by streaming; preventing the default keeps it there.
        virtual bool OnElementStreamOut(CNetObject* pElement, CNetMachine* pClient)
        {
            (void)pElement, (void)pClient;
            return true;
        }
        // "OnElementDestroy" (cancellable), with (element). Only a local element can be kept.
        virtual bool OnElementDestroy(CNetObject* pElement)
        {
            (void)pElement;
            return true;
        }
        // A registered element is being destroyed: drop every handler bound to it as source.
        virtual void RemoveHandlersOfSource(CNetObject* pElement) { (void)pElement; }
        // The manager shuts down: drop every handler of the three events above.
        virtual void RemoveElementEventHandlers() {}
    };
}
