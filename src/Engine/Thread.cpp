#include <Engine/Thread.h>

#include <memory>

namespace Torvane3D
{
    Thread::Thread(const char* szName) : m_strName(szName ? szName : "")
    {
        if (m_strName.size() > 15)
            m_strName.resize(15);
    }

    Thread::~Thread()
    {
        if (m_bOwned)
            Join();
    }

    void* Thread::Entry(void* pParameter)
    {
        // The thread owns its body: a detached thread's object may be gone while it runs.
        std::unique_ptr<std::function<void()>> pBody(static_cast<std::function<void()>*>(pParameter));
        (*pBody)();
        return nullptr;
    }

    bool Thread::Start(std::function<void()> body)
    {
        if (m_bStarted || !body)
            return false;
        auto pBody = std::make_unique<std::function<void()>>(std::move(body));
        if (pthread_create(&m_Thread, nullptr, &Thread::Entry, pBody.get()) != 0)
            return false;
        pBody.release();
        // Named from here so the name is in place before Start returns.
        pthread_setname_np(m_Thread, m_strName.c_str());
        m_bStarted = true;
        m_bOwned = true;
        return true;
    }

    void Thread::Join()
    {
        if (!m_bOwned)
            return;
        pthread_join(m_Thread, nullptr);
        m_bOwned = false;
    }

    void Thread::Detach()
    {
        if (!m_bOwned)
            return;
        pthread_detach(m_Thread);
        m_bOwned = false;
    }
}
