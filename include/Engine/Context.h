// The engine context: the log, the virtual file system and the user-agent text.
// One exists per process, created first in main; logging works without one (console only).
#pragma once

#include <Engine/FileLog.h>
#include <Engine/FileSystem.h>
#include <Engine/Torvane.h>

#include <cstdarg>
#include <string>
#include <string_view>

namespace Torvane3D
{
    enum eLogType : int
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

    // Every message goes to the log file (when one is open) and to the console. Logging is
    // safe from any thread: one lock covers the file line, the console line and the listeners.
    // Text that came from a client or a script is passed as an argument ("%s"), never as the
    // format, and goes through EscapeControlCharacters first.
    class Context
    {
    public:
        Context();
        // Writes the log file's footer and closes it.
        ~Context();

        // Formats (at most 4095 bytes are kept) and drops one trailing line feed.
        void LogMessage(eLogType level, const char* szFormat, ...) TORVANE_PRINTF(3, 4);
        void LogMessageV(eLogType level, const char* szFormat, va_list args);
        void Log(const char* szFormat, ...) TORVANE_PRINTF(2, 3);
        void LogWarn(const char* szFormat, ...) TORVANE_PRINTF(2, 3);
        void LogError(const char* szFormat, ...) TORVANE_PRINTF(2, 3);

        // The log file, opened by configuration (the "ServerLog.log" of the log folder); false
        // when it can be neither opened nor created, and logging goes on to the console only.
        bool OpenLogFile(const char* szPath) { return m_FileLog.Open(szPath); }
        void CloseLogFile() { m_FileLog.Close(); }
        void SetLogTimestampFormat(const char* szFormat) { m_FileLog.SetTimestampFormat(szFormat); }
        CFileLog& GetFileLog() { return m_FileLog; }

        void AddUserAgent(const char* szPiece);
        const std::string& GetUserAgent() const { return m_strUserAgent; }

        // The context holds a reference to its file system.
        CFileSystem* GetFileSystem() const { return m_pFileSystem; }
        void SetFileSystem(CFileSystem* pFileSystem) { m_pFileSystem = pFileSystem; }

    private:
        std::string m_strUserAgent;
        Strong<CFileSystem> m_pFileSystem;
        CFileLog m_FileLog{this};
    };

    // A log sink that can be swapped: command replies and the remote console log through one.
    class Logger
    {
    public:
        virtual void Log(eLogType level, const char* szText);
        virtual ~Logger() = default;

        // Formats (4096-byte limit) and hands the text to Log.
        void LogFormatted(eLogType level, const char* szFormat, ...) TORVANE_PRINTF(3, 4);
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

    // Console output can be switched off (fuzzing, benchmarks); the file and listeners still
    // receive every line.
    void SetConsoleLogging(bool bEnabled);

    // Client or script text made safe for the console and the file: control characters
    // (C0, DEL and the C1 range) and bytes that are not UTF-8 become escapes ("\n", "\x1b",
    // "\u009b"), so such text can neither break a line nor drive the terminal.
    std::string EscapeControlCharacters(std::string_view text);
}
