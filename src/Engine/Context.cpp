#include <Engine/Context.h>

#include "LogLock.h"

namespace Torvane3D
{
    Context* g_pContext = nullptr;

    Context::Context() = default;

    Context::~Context()
    {
        std::lock_guard<std::recursive_mutex> lock(GetLogMutex());
        m_FileLog.Close();
        if (g_pContext == this)
            g_pContext = nullptr;
    }

    void Context::AddUserAgent(const char* szPiece)
    {
        if (!m_strUserAgent.empty())
            m_strUserAgent += ' ';
        m_strUserAgent += szPiece;
    }
}
