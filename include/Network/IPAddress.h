// A socket address of any family (128 bytes, like sockaddr_storage).
#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/socket.h>

namespace Torvane3D
{
    class CIPAddress
    {
    public:
        CIPAddress();

        // An IPv4 address in network byte order and a port in host byte order.
        void SetIPv4(uint32_t uiAddress, uint16_t usPort);

        int GetFamily() const { return m_Storage.ss_family; }
        uint16_t GetPort() const;
        // The IPv4 address in network byte order (0 for other families).
        uint32_t GetIPv4() const;

        // Writes the address alone (no port) in its usual text form, cut to the buffer and
        // always terminated; false when the family is unknown or the buffer is empty.
        bool ToString(char* szBuffer, size_t size) const;

        const sockaddr_storage& GetStorage() const { return m_Storage; }

    private:
        sockaddr_storage m_Storage;
    };

    static_assert(sizeof(CIPAddress) == 128, "CIPAddress is 128 bytes");
}
