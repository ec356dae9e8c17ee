// The log file: lines with an optional timestamp and a level tag, CR LF line ends, UTF-8
// with a byte-order mark when the file is new, framed by a header and a footer per run.
#pragma once

#include <Engine/Stream.h>
#include <Engine/Torvane.h>

namespace Torvane3D
{
    class Context;
    enum eLogType : int;

    class CFileLog
    {
    public:
        static constexpr size_t TIMESTAMP_FORMAT_SIZE = 64;
        static constexpr const char* DEFAULT_TIMESTAMP_FORMAT = "%d/%m/%Y - %X";

        explicit CFileLog(Context* pContext);
        ~CFileLog();

        // A strftime format (at most 63 bytes are kept); empty means no timestamp.
        void SetTimestampFormat(const char* szFormat);
        const char* GetTimestampFormat() const { return m_szTimestampFormat; }

        // Opens the file for appending (created when missing) through the context's file
        // system as a path the owner configured, and writes the header. A file already open
        // is closed first. False when the file can be neither opened nor created.
        bool Open(const char* szPath);
        // Writes the footer and closes the file.
        void Close();
        bool IsOpen() const { return m_pFile != nullptr; }

        // One line; nothing when no file is open.
        void WriteToLog(eLogType level, const char* szText);
        // One line at level 0 (no tag), as the header and footer are written.
        void Print(const char* szFormat, ...) TORVANE_PRINTF(2, 3);

    private:
        Strong<Stream> OpenForAppending(const char* szPath);

        Context* m_pContext;
        char m_szTimestampFormat[TIMESTAMP_FORMAT_SIZE];
        Strong<Stream> m_pFile;
    };

    // The ten-character file tag of a level ("" for level 0 and unknown levels).
    const char* GetLogTag(eLogType level);
}
