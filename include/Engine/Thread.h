// A named operating-system thread. The name shows in /proc/<pid>/task/*/comm and debuggers.
#pragma once

#include <functional>
#include <pthread.h>
#include <string>

namespace Torvane3D
{
    class Thread
    {
    public:
        // Names longer than 15 bytes are cut (the kernel's limit).
        explicit Thread(const char* szName);
        // Joins a thread that was neither joined nor detached, so its body never outlives
        // what it uses. Owners of a thread that may block forever must Detach it first.
        ~Thread();
        Thread(const Thread&) = delete;
        Thread& operator=(const Thread&) = delete;

        // Runs body on a new thread; false when the thread cannot be created or already ran.
        bool Start(std::function<void()> body);
        void Join();
        // Lets the thread run on alone; its body must own (not borrow) everything it touches.
        void Detach();

        bool IsStarted() const { return m_bStarted; }
        const std::string& GetName() const { return m_strName; }

    private:
        static void* Entry(void* pParameter);

        std::string m_strName;
        pthread_t m_Thread{};
        bool m_bStarted = false;
        bool m_bOwned = false; // started and neither joined nor detached
    };
}
