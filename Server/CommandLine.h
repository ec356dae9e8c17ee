// The server's command line: switches that override configuration keys after it is read.
#pragma once

#include <cstdint>
#include <string>

struct CCommandLineOverrides
{
    bool m_bPortGiven = false;
    uint16_t m_usPort = 0;
    bool m_bHTTPPortGiven = false;
    uint16_t m_usHTTPPort = 0;
    bool m_bRConPortGiven = false;
    uint16_t m_usRConPort = 0;
    bool m_bMaxPlayersGiven = false;
    int32_t m_iMaxPlayers = 0;
    bool m_bBindIPGiven = false;
    std::string m_strBindIP; // at most 63 bytes
    bool m_bMultithreadedGiven = false;
    bool m_bMultithreaded = false;
    bool m_bNoInput = false;
    bool m_bDumpDoc = false;
    std::string m_strConfigPath = "server.xml";
};

// Reads argv left to right (argv[0] included). Switch names are case-insensitive; a value
// switch takes the next argument verbatim and is ignored at the end of the line; unknown
// arguments are ignored. A port outside 1..65535, a maximum player count outside 1..127 or
// a number with trailing text is refused: false, with the reason in strError.
bool ParseCommandLine(int argc, const char* const* argv, CCommandLineOverrides& overrides, std::string& strError);
