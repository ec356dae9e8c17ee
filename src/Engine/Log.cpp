#include <Engine/Context.h>

#include "LogLock.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <vector>

namespace Torvane3D
{
    static constexpr size_t LOG_BUFFER_SIZE = 4096;

    std::recursive_mutex& GetLogMutex()
    {
        static std::recursive_mutex s_Mutex;
        return s_Mutex;
    }

    static std::vector<ILogListener*>& Listeners()
    {
        static std::vector<ILogListener*> s_Listeners;
        return s_Listeners;
    }

    static std::atomic<bool> s_bConsoleLogging{true};

    void SetConsoleLogging(bool bEnabled)
    {
        s_bConsoleLogging = bEnabled;
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
        std::lock_guard<std::recursive_mutex> lock(GetLogMutex());
        Listeners().push_back(pListener);
    }

    void RemoveLogListener(ILogListener* pListener)
    {
        std::lock_guard<std::recursive_mutex> lock(GetLogMutex());
        auto& list = Listeners();
        list.erase(std::remove(list.begin(), list.end(), pListener), list.end());
    }

    // One message: the file line, the console line (flushed, so that a process reading the
    // output sees it at once) and the listeners, all under the log's lock. A null context
    // means the process-wide one, which is read under the lock: the context clears it under
    // the same lock when it goes.
    static void EmitLine(Context* pContext, eLogType level, const char* szText)
    {
        char szLine[LOG_BUFFER_SIZE];
        snprintf(szLine, sizeof(szLine), "%s", szText ? szText : "");
        size_t length = strlen(szLine);
        if (length > 0 && szLine[length - 1] == '\n')
            szLine[length - 1] = '\0';

        std::lock_guard<std::recursive_mutex> lock(GetLogMutex());
        if (!pContext)
            pContext = g_pContext;
        if (pContext)
            pContext->GetFileLog().WriteToLog(level, szLine);
        if (s_bConsoleLogging) {
            fprintf(stdout, "%s%s\033[0;0m\n", GetLogColour(level), szLine);
            fflush(stdout);
        }
        for (ILogListener* pListener : Listeners())
            pListener->OnLogMessage(level, szLine);
    }

    void LogText(eLogType level, const char* szText)
    {
        EmitLine(nullptr, level, szText);
    }

    void LogMessageV(eLogType level, const char* szFormat, va_list args)
    {
        char szBuffer[LOG_BUFFER_SIZE];
        vsnprintf(szBuffer, sizeof(szBuffer), szFormat, args);
        EmitLine(nullptr, level, szBuffer);
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
        char szBuffer[LOG_BUFFER_SIZE];
        vsnprintf(szBuffer, sizeof(szBuffer), szFormat, args);
        EmitLine(this, level, szBuffer);
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

    void Logger::Log(eLogType level, const char* szText)
    {
        LogText(level, szText);
    }

    void Logger::LogFormatted(eLogType level, const char* szFormat, ...)
    {
        char szBuffer[LOG_BUFFER_SIZE];
        va_list args;
        va_start(args, szFormat);
        vsnprintf(szBuffer, sizeof(szBuffer), szFormat, args);
        va_end(args);
        Log(level, szBuffer);
    }

    std::string EscapeControlCharacters(std::string_view text)
    {
        std::string strResult;
        strResult.reserve(text.size());
        const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
        size_t n = text.size();
        char szEscape[8];
        for (size_t i = 0; i < n;) {
            unsigned char c = p[i];
            if (c >= 0x20 && c < 0x7F) {
                strResult += static_cast<char>(c);
                i++;
                continue;
            }
            switch (c) {
            case '\n': strResult += "\\n"; i++; continue;
            case '\r': strResult += "\\r"; i++; continue;
            case '\t': strResult += "\\t"; i++; continue;
            default: break;
            }
            size_t length = 0;
            if (c >= 0xC2 && c <= 0xDF)
                length = 2;
            else if (c >= 0xE0 && c <= 0xEF)
                length = 3;
            else if (c >= 0xF0 && c <= 0xF4)
                length = 4;
            bool bValid = length > 0 && length <= n - i;
            for (size_t k = 1; bValid && k < length; k++)
                bValid = (p[i + k] & 0xC0) == 0x80;
            if (bValid && length == 3) {
                uint32_t cp = ((c & 0x0F) << 12) | ((p[i + 1] & 0x3F) << 6);
                bValid = cp >= 0x800 && (cp < 0xD800 || cp > 0xDFFF);
            } else if (bValid && length == 4) {
                uint32_t cp = ((c & 0x07) << 18) | ((p[i + 1] & 0x3F) << 12);
                bValid = cp >= 0x10000 && cp <= 0x10FFFF;
            }
            if (!bValid) { // a control byte, DEL, or a byte that is not UTF-8
                snprintf(szEscape, sizeof(szEscape), "\\x%02x", c);
                strResult += szEscape;
                i++;
            } else if (length == 2 && c == 0xC2 && p[i + 1] < 0xA0) { // U+0080 to U+009F
                snprintf(szEscape, sizeof(szEscape), "\\u%04x", p[i + 1]);
                strResult += szEscape;
                i += 2;
            } else {
                strResult.append(reinterpret_cast<const char*>(p + i), length);
                i += length;
            }
        }
        return strResult;
    }
}
