#include <Network/IPAddress.h>

#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <netinet/in.h>

namespace Torvane3D
{
    CIPAddress::CIPAddress()
    {
        memset(&m_Storage, 0, sizeof(m_Storage));
        m_Storage.ss_family = AF_INET;
    }

    void CIPAddress::SetIPv4(uint32_t uiAddress, uint16_t usPort)
    {
        memset(&m_Storage, 0, sizeof(m_Storage));
        sockaddr_in* pIn = reinterpret_cast<sockaddr_in*>(&m_Storage);
        pIn->sin_family = AF_INET;
        pIn->sin_port = htons(usPort);
        pIn->sin_addr.s_addr = uiAddress;
    }

    uint16_t CIPAddress::GetPort() const
    {
        if (m_Storage.ss_family == AF_INET)
            return ntohs(reinterpret_cast<const sockaddr_in*>(&m_Storage)->sin_port);
        if (m_Storage.ss_family == AF_INET6)
            return ntohs(reinterpret_cast<const sockaddr_in6*>(&m_Storage)->sin6_port);
        return 0;
    }

    uint32_t CIPAddress::GetIPv4() const
    {
        if (m_Storage.ss_family != AF_INET)
            return 0;
        return reinterpret_cast<const sockaddr_in*>(&m_Storage)->sin_addr.s_addr;
    }

    bool CIPAddress::ToString(char* szBuffer, size_t size) const
    {
        if (!szBuffer || size == 0)
            return false;
        char szText[INET6_ADDRSTRLEN];
        const char* szResult = nullptr;
        if (m_Storage.ss_family == AF_INET)
            szResult = inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&m_Storage)->sin_addr, szText,
                sizeof(szText));
        else if (m_Storage.ss_family == AF_INET6)
            szResult = inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&m_Storage)->sin6_addr, szText,
                sizeof(szText));
        if (!szResult) {
            szBuffer[0] = '\0';
            return false;
        }
        snprintf(szBuffer, size, "%s", szText);
        return true;
    }
}
