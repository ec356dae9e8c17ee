#include <Engine/Context.h>
#include <Engine/FileLog.h>
#include <Engine/TextWriter.h>

#include "LogLock.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <sys/utsname.h>

namespace Torvane3D
{
    static constexpr size_t LOG_BUFFER_SIZE = 4096;
    static constexpr size_t TIMESTAMP_SIZE = 512;
    static const char* const RULE = "------------------------------------------------------------";

    const char* GetLogTag(eLogType level)
    {
        switch (level) {
        case LOG_VERBOSE: return "[VERBOSE] ";
        case LOG_DEBUG: return "[DEBUG]   ";
        case LOG_INFO: return "[INFO]    ";
        case LOG_WARN: return "[WARN]    ";
        case LOG_ERROR: return "[ERROR]   ";
        case LOG_CRITICAL: return "[CRITICAL]";
        default: return "";
        }
    }

    CFileLog::CFileLog(Context* pContext) : m_pContext(pContext)
    {
        SetTimestampFormat(DEFAULT_TIMESTAMP_FORMAT);
    }

    CFileLog::~CFileLog()
    {
        Close();
    }

    void CFileLog::SetTimestampFormat(const char* szFormat)
    {
        std::lock_guard<std::recursive_mutex> lock(GetLogMutex());
        snprintf(m_szTimestampFormat, sizeof(m_szTimestampFormat), "%s", szFormat ? szFormat : "");
    }

    Strong<Stream> CFileLog::OpenForAppending(const char* szPath)
    {
        Strong<Stream> pFile;
        if (CFileSystem* pFileSystem = m_pContext ? m_pContext->GetFileSystem() : nullptr) {
            pFile = pFileSystem->Open(szPath, true, PATH_OWNER);
            if (!pFile)
                pFile = pFileSystem->Create(szPath, PATH_OWNER);
        } else {
            // No file system (tools, tests): the path as the operating system sees it.
            FILE* pHandle = fopen(szPath, "r+b");
            if (!pHandle)
                pHandle = fopen(szPath, "w+b");
            if (pHandle)
                pFile = Strong<Stream>::Adopt(new CStandardStream(pHandle));
        }
        if (pFile && !pFile->Seek(0, SEEK_ORIGIN_END))
            pFile = nullptr;
        return pFile;
    }

    bool CFileLog::Open(const char* szPath)
    {
        std::lock_guard<std::recursive_mutex> lock(GetLogMutex());
        Close();
        if (!szPath || !*szPath)
            return false;
        m_pFile = OpenForAppending(szPath);
        if (!m_pFile)
            return false;
        utsname name = {};
        uname(&name);
        Print("%s", RULE);
        Print("--------------------- Logging Started ----------------------");
        Print("%s", RULE);
        Print("Torvane %d.%d.%d", ENGINE_VERSION_MAJOR, ENGINE_VERSION_MINOR, ENGINE_VERSION_PATCH);
        Print("Platform: %s", "Linux");
        Print("%s %s", name.sysname, name.machine);
        Print("%s", RULE);
        return true;
    }

    void CFileLog::Close()
    {
        std::lock_guard<std::recursive_mutex> lock(GetLogMutex());
        if (!m_pFile)
            return;
        Print("%s", RULE);
        Print("---------------------- Logging Ended -----------------------");
        Print("%s", RULE);
        m_pFile = nullptr;
    }

    void CFileLog::WriteToLog(eLogType level, const char* szText)
    {
        std::lock_guard<std::recursive_mutex> lock(GetLogMutex());
        if (!m_pFile)
            return;
        Strong<Stream> pFile = m_pFile;
        std::string strLine;
        if (m_szTimestampFormat[0]) {
            char szTimestamp[TIMESTAMP_SIZE];
            time_t now = time(nullptr);
            tm local = {};
            localtime_r(&now, &local);
            if (strftime(szTimestamp, sizeof(szTimestamp), m_szTimestampFormat, &local) == 0)
                szTimestamp[0] = '\0';
            strLine += '<';
            strLine += szTimestamp;
            strLine += "> ";
        }
        strLine += GetLogTag(level);
        strLine += szText ? szText : "";
        strLine += "\r\n"; // always: a message cut to the buffer size still ends its line
        CTextWriter writer(pFile);
        writer.Write(strLine);
        if (CStandardStream* pStandard = dynamic_cast<CStandardStream*>(pFile.Get()))
            fflush(pStandard->GetFile());
    }

    void CFileLog::Print(const char* szFormat, ...)
    {
        char szBuffer[LOG_BUFFER_SIZE];
        va_list args;
        va_start(args, szFormat);
        vsnprintf(szBuffer, sizeof(szBuffer), szFormat, args);
        va_end(args);
        WriteToLog(LOG_NONE, szBuffer);
    }
}
