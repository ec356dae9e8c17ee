#include <Engine/Hash.h>
#include <Scripting/CommandHandlers.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace Torvane3D
{
    void CCommandReplyLogger::LogFormatted(eLogType level, const char* szFormat, ...)
    {
        char szText[4096];
        va_list args;
        va_start(args, szFormat);
        vsnprintf(szText, sizeof(szText), szFormat, args);
        va_end(args);
        Log(level, szText);
    }

    CCommandHandlers::CCommandHandlers() = default;

    CCommandHandlers::~CCommandHandlers()
    {
        for (auto& entry : m_Handlers)
            entry.second->m_pOwner = nullptr;
    }

    uint32_t CCommandHandlers::GetCommandKey(const char* szName)
    {
        CRC32Hash hash;
        hash.AddString(szName, true);
        return hash.GetHash();
    }

    bool CCommandHandlers::AddCommandHandler(CCommandHandler* pHandler, const char* szName)
    {
        return AddResourceCommandHandler(pHandler, szName, nullptr, false);
    }

    bool CCommandHandlers::AddResourceCommandHandler(CCommandHandler* pHandler, const char* szName,
        CResource* pResource, bool bReplace)
    {
        Strong<CCommandHandler> pNew = Strong<CCommandHandler>::Adopt(pHandler);
        if (!pNew)
            return false;
        uint32_t uiKey = GetCommandKey(szName);
        auto it = m_Handlers.find(uiKey);
        if (it != m_Handlers.end()) {
            CCommandHandler* pOld = it->second;
            if (!bReplace || !pResource || pOld->m_pResource != pResource)
                return false;
            pOld->m_pOwner = nullptr;
            m_Handlers.erase(it);
        }
        pNew->m_pOwner = this;
        pNew->m_pResource = pResource;
        pNew->m_uiKey = uiKey;
        pNew->m_strName = szName ? szName : "";
        m_Handlers.emplace(uiKey, std::move(pNew));
        return true;
    }

    bool CCommandHandlers::RemoveCommandHandler(const char* szName, CResource* pCaller)
    {
        auto it = m_Handlers.find(GetCommandKey(szName));
        if (it == m_Handlers.end())
            return false;
        if (pCaller && it->second->m_pResource != pCaller)
            return false;
        // A handler running right now keeps its own count (Trigger) and finishes safely.
        it->second->m_pOwner = nullptr;
        m_Handlers.erase(it);
        return true;
    }

    bool CCommandHandlers::HasCommandHandler(const char* szName) const
    {
        return m_Handlers.count(GetCommandKey(szName)) != 0;
    }

    CCommandHandler* CCommandHandlers::GetCommandHandler(const char* szName) const
    {
        auto it = m_Handlers.find(GetCommandKey(szName));
        return it == m_Handlers.end() ? nullptr : it->second.Get();
    }

    void CCommandHandlers::RemoveHandlers(CResource* pResource)
    {
        if (!pResource)
            return;
        for (auto it = m_Handlers.begin(); it != m_Handlers.end();) {
            if (it->second->m_pResource == pResource) {
                it->second->m_pOwner = nullptr;
                it = m_Handlers.erase(it);
            } else {
                ++it;
            }
        }
    }

    void CCommandHandlers::SetUnhandledCommandHandler(CUnhandledCommandHandler* pHandler)
    {
        m_pUnhandled = Strong<CUnhandledCommandHandler>::Adopt(pHandler);
        if (m_pUnhandled)
            m_pUnhandled->m_pOwner = this;
    }

    CCommandReplyLogger* CCommandHandlers::SetReplyLogger(CCommandReplyLogger* pLogger)
    {
        CCommandReplyLogger* pPrevious = m_pReplyLogger;
        m_pReplyLogger = pLogger;
        return pPrevious;
    }

    bool CCommandHandlers::Trigger(const char* szCommand, const char* szArguments, CBaseObject* pSource,
        bool bAdministrator)
    {
        auto it = m_Handlers.find(GetCommandKey(szCommand));
        if (it == m_Handlers.end())
            return false;
        // Held for the call: the handler may remove itself, or stop its resource, as it runs.
        Strong<CCommandHandler> pHandler = it->second;
        if (pHandler->m_bAdministratorOnly && !bAdministrator)
            return false;
        char szBuffer[MAX_ARGUMENTS_LENGTH + 1];
        snprintf(szBuffer, sizeof(szBuffer), "%s", szArguments ? szArguments : "");
        size_t length = strlen(szBuffer);
        while (length > 0 && (szBuffer[length - 1] == '\r' || szBuffer[length - 1] == '\n'))
            szBuffer[--length] = '\0';
        pHandler->Execute(szCommand ? szCommand : "", szBuffer, pSource);
        return true;
    }

    void CCommandHandlers::Unhandled(const char* szCommand, const char* szArguments, CBaseObject* pSource,
        bool bAdministrator)
    {
        Strong<CUnhandledCommandHandler> pFallback = m_pUnhandled;
        if (pFallback && (!pFallback->m_bAdministratorOnly || bAdministrator))
            pFallback->Execute(szCommand, szArguments, pSource);
    }

    bool CCommandHandlers::ConsoleCommandOnly(const char* szLine, CBaseObject* pSource, bool bAdministrator)
    {
        char szBuffer[MAX_LINE_LENGTH + 1];
        snprintf(szBuffer, sizeof(szBuffer), "%s", szLine ? szLine : "");
        const char* szArguments = "";
        size_t separator = strcspn(szBuffer, " \r\n");
        if (szBuffer[separator] != '\0') {
            szBuffer[separator] = '\0';
            szArguments = szBuffer + separator + 1;
        }
        if (Trigger(szBuffer, szArguments, pSource, bAdministrator))
            return true;
        Unhandled(szBuffer, szArguments, pSource, bAdministrator);
        return false;
    }

    bool CCommandHandlers::ConsoleCommand(const char* szText, CBaseObject* pSource, bool bAdministrator)
    {
        if (!szText)
            return false;
        size_t length = strlen(szText);
        if (length == 0 || length > MAX_TEXT_LENGTH)
            return false;
        if (szText[0] != '/') {
            bool bResult = Trigger("say", szText, pSource, bAdministrator);
            if (!bResult)
                Unhandled("say", szText, pSource, bAdministrator);
            return bResult;
        }
        if (length == 1)
            return false;
        return ConsoleCommandOnly(szText + 1, pSource, bAdministrator);
    }
}
