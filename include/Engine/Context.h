// The engine context: the log, the virtual file system and the user-agent text.
// One exists per process, created first in main; logging works without one (console only).
#pragma once

#include <Engine/FileSystem.h>
#include <Engine/Torvane.h>

#include <cstdarg>
#include <mutex>
#include <string>

namespace Torvane3D
{
    enum eLogType
    {
        LOG_NONE = 0,
        LOG_VERBOSE = 1,
        LOG_DEBUG = 2,
        LOG_INFO = 3,
        LOG_WARN = 4,
        LOG_ERROR = 5,
        LOG_CRITICAL = 6,
    };

    // Receives every logged line after formatting; used by tests and by log mirrors.
    class ILogListener
    {
    public:
        virtual ~ILogListener() = default;
        virtual void OnLogMessage(eLogType level, const char* szText) = 0;
    };

    class Context
    {
    public:
        Context();
        ~Context();

        void LogMessage(eLogType level, const char* szFormat, ...) TORVANE_PRINTF(3, 4);
        void LogMessageV(eLogType level, const char* szFormat, va_list args);
        void Log(const char* szFormat, ...) TORVANE_PRINTF(2, 3);
        void LogWarn(const char* szFormat, ...) TORVANE_PRINTF(2, 3);
        void LogError(const char* szFormat, ...) TORVANE_PRINTF(2, 3);

        void AddUserAgent(const char* szPiece);
        const std::string& GetUserAgent() const { return m_strUserAgent; }

        // The context holds a reference to its file system.
        CFileSystem* GetFileSystem() const { return m_pFileSystem; }
        void SetFileSystem(CFileSystem* pFileSystem) { m_pFileSystem = pFileSystem; }

    private:
        std::string m_strUserAgent;
        Strong<CFileSystem> m_pFileSystem;
    };

    extern Context* g_pContext;

    // Process-wide logging; routes through the context when one exists.
    void LogMessage(eLogType level, const char* szFormat, ...) TORVANE_PRINTF(2, 3);
    void LogMessageV(eLogType level, const char* szFormat, va_list args);
    // Writes an already formatted line (no format processing at all).
    void LogText(eLogType level, const char* szText);

    // Listeners see every line; adding and removing is thread-safe.
    void AddLogListener(ILogListener* pListener);
    void RemoveLogListener(ILogListener* pListener);

    // The console colour sequence of a level.
    const char* GetLogColour(eLogType level);
}
