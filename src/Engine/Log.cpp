#include <Engine/Context.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace Torvane3D
{
    static constexpr size_t LOG_BUFFER_SIZE = 4096;

    // One lock serialises every console line and every listener call, so that lines
    // from other threads never interleave.
    static std::recursive_mutex& LogMutex()
    {
        static std::recursive_mutex s_Mutex;
        return s_Mutex;
    }

    static std::vector<ILogListener*>& Listeners()
    {
        static std::vector<ILogListener*> s_Listeners;
        return s_Listeners;
    }

    const char* GetLogColour(eLogType level)
    {
        switch (level) {
        case LOG_WARN: return "\033[33;1m";
        case LOG_ERROR: return "\033[31;1m";
        case LOG_CRITICAL: return "\033[37;41m";
        default: return "\033[32;1m";
        }
    }

    void AddLogListener(ILogListener* pListener)
    {
        std::lock_guard<std::recursive_mutex> lock(LogMutex());
        Listeners().push_back(pListener);
    }

    void RemoveLogListener(ILogListener* pListener)
    {
        std::lock_guard<std::recursive_mutex> lock(LogMutex());
        auto& list = Listeners();
        list.erase(std::remove(list.begin(), list.end(), pListener), list.end());
    }

    void LogText(eLogType level, const char* szText)
    {
        char szLine[LOG_BUFFER_SIZE];
        snprintf(szLine, sizeof(szLine), "%s", szText ? szText : "");
        size_t length = strlen(szLine);
        if (length > 0 && szLine[length - 1] == '\n')
            szLine[length - 1] = '\0';

        std::lock_guard<std::recursive_mutex> lock(LogMutex());
        // Seam: the file log writes its line here once configuration opens it.
        fprintf(stdout, "%s%s\033[0;0m\n", GetLogColour(level), szLine);
        fflush(stdout);
        for (ILogListener* pListener : Listeners())
            pListener->OnLogMessage(level, szLine);
    }

    void LogMessageV(eLogType level, const char* szFormat, va_list args)
    {
        char szBuffer[LOG_BUFFER_SIZE];
        vsnprintf(szBuffer, sizeof(szBuffer), szFormat, args);
        LogText(level, szBuffer);
    }

    void LogMessage(eLogType level, const char* szFormat, ...)
    {
        va_list args;
        va_start(args, szFormat);
        LogMessageV(level, szFormat, args);
        va_end(args);
    }

    void Context::LogMessageV(eLogType level, const char* szFormat, va_list args)
    {
        Torvane3D::LogMessageV(level, szFormat, args);
    }

    void Context::LogMessage(eLogType level, const char* szFormat, ...)
    {
        va_list args;
        va_start(args, szFormat);
        LogMessageV(level, szFormat, args);
        va_end(args);
    }

#define TORVANE_CONTEXT_LOG(name, level)                 \
    void Context::name(const char* szFormat, ...)        \
    {                                                    \
        va_list args;                                    \
        va_start(args, szFormat);                        \
        LogMessageV(level, szFormat, args);              \
        va_end(args);                                    \
    }
    TORVANE_CONTEXT_LOG(Log, LOG_INFO)
    TORVANE_CONTEXT_LOG(LogWarn, LOG_WARN)
    TORVANE_CONTEXT_LOG(LogError, LOG_ERROR)
#undef TORVANE_CONTEXT_LOG
}
