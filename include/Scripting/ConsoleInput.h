// Typed console lines: the input thread "InputThread" reads standard input into a queue
// that the main loop drains once per frame.
#pragma once

#include <Engine/Lockable.h>
#include <Engine/Signalable.h>
#include <Engine/Thread.h>

#include <memory>
#include <string>
#include <vector>

namespace Torvane3D
{
    // The console-input queue: lines cross from the input thread to the main thread.
    class CPumpedEventLoop
    {
    public:
        void Post(std::string line);
        // Moves every pending line out, in order; false (and nothing taken) when none waits.
        bool Take(std::vector<std::string>& lines);
        void Clear();

    private:
        CLockable m_Lock;
        Signalable m_Signal; // manual reset: raised by Post, reset by Take
        std::vector<std::string> m_Pending;
    };

    // Cuts a byte stream into lines the way the console reads them: a line holds at most
    // BUFFER_SIZE - 1 bytes, its line feed included. A longer line is dropped whole, so no
    // piece of it can ever run as a command of its own.
    class CInputLineAssembler
    {
    public:
        static constexpr size_t BUFFER_SIZE = 4096;

        // Appends the complete lines found in the bytes to lines (each keeps its line feed).
        void Feed(const char* pData, size_t length, std::vector<std::string>& lines);
        // End of input: a last line without a line feed is complete now.
        void Finish(std::vector<std::string>& lines);

    private:
        std::string m_strLine;
        bool m_bDiscarding = false;
    };

    class CConsoleInput
    {
    public:
        static constexpr uint32_t LINE_PAUSE_MS = 100; // at most ten typed lines a second
        static constexpr uint32_t IDLE_PAUSE_MS = 1000; // after end of input or a read error
        static constexpr int POLL_MS = 200;

        // Reads fd (standard input by default) into the queue, which the thread co-owns.
        explicit CConsoleInput(std::shared_ptr<CPumpedEventLoop> pQueue, int iFd = 0);
        // Stops and detaches: the thread may be inside a read, so it is never waited for; it
        // owns everything it touches and ends at its next check.
        ~CConsoleInput();
        CConsoleInput(const CConsoleInput&) = delete;
        CConsoleInput& operator=(const CConsoleInput&) = delete;

        bool Start();
        void Stop();

    private:
        struct CState
        {
            std::shared_ptr<CPumpedEventLoop> m_pQueue;
            int m_iFd;
            Signalable m_Stop;
        };

        // The body of "InputThread".
        static void InputThread(std::shared_ptr<CState> pState);

        std::shared_ptr<CState> m_pState;
        std::unique_ptr<Thread> m_pThread;
    };
}
