#include "CommandLine.h"

#include <cerrno>
#include <cstdlib>
#include <strings.h>

static bool ParseNumber(const char* szSwitch, const char* szValue, long lMin, long lMax, long& lOut,
    std::string& strError)
{
    errno = 0;
    char* pEnd = nullptr;
    long lValue = strtol(szValue, &pEnd, 10);
    if (pEnd == szValue || *pEnd != '\0' || errno == ERANGE || lValue < lMin || lValue > lMax) {
        strError = std::string("Invalid value '") + szValue + "' for " + szSwitch + ": expected a number from " +
                   std::to_string(lMin) + " to " + std::to_string(lMax);
        return false;
    }
    lOut = lValue;
    return true;
}

bool ParseCommandLine(int argc, const char* const* argv, CCommandLineOverrides& o, std::string& strError)
{
    struct PortSwitch
    {
        const char* szName;
        bool CCommandLineOverrides::*pGiven;
        uint16_t CCommandLineOverrides::*pValue;
    };
    static const PortSwitch s_Ports[] = {
        {"-port", &CCommandLineOverrides::m_bPortGiven, &CCommandLineOverrides::m_usPort},
        {"-httpport", &CCommandLineOverrides::m_bHTTPPortGiven, &CCommandLineOverrides::m_usHTTPPort},
        {"-rconport", &CCommandLineOverrides::m_bRConPortGiven, &CCommandLineOverrides::m_usRConPort},
    };

    for (int i = 0; i < argc; ++i) {
        const char* szArg = argv[i];
        const char* szValue = (i + 1 < argc) ? argv[i + 1] : nullptr;
        auto is = [szArg](const char* szName) { return strcasecmp(szArg, szName) == 0; };

        if (is("-config")) {
            if (szValue) {
                o.m_strConfigPath = szValue;
                ++i;
            }
        } else if (is("-noinput")) {
            o.m_bNoInput = true;
        } else if (is("-dumpdoc")) {
            o.m_bDumpDoc = true;
        } else if (is("-multithreaded")) {
            o.m_bMultithreadedGiven = true;
            o.m_bMultithreaded = true;
        } else if (is("-disablemultithreaded")) {
            o.m_bMultithreadedGiven = true;
            o.m_bMultithreaded = false;
        } else if (is("-maxplayers")) {
            if (szValue) {
                long lValue;
                if (!ParseNumber("-maxplayers", szValue, 1, 127, lValue, strError))
                    return false;
                o.m_bMaxPlayersGiven = true;
                o.m_iMaxPlayers = static_cast<int32_t>(lValue);
                ++i;
            }
        } else if (is("-bindip")) {
            if (szValue) {
                o.m_bBindIPGiven = true;
                o.m_strBindIP.assign(szValue, 0, 63);
                ++i;
            }
        } else {
            for (const PortSwitch& port : s_Ports) {
                if (!is(port.szName))
                    continue;
                if (szValue) {
                    long lValue;
                    if (!ParseNumber(port.szName, szValue, 1, 65535, lValue, strError))
                        return false;
                    o.*port.pGiven = true;
                    o.*port.pValue = static_cast<uint16_t>(lValue);
                    ++i;
                }
                break;
            }
        }
    }
    return true;
}
