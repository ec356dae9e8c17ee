// Builds TAR archives in memory for tests and fuzz seeds.
#pragma once

#include <cstdio>
#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace TestSupport
{
    struct tTarMember
    {
        tTarMember(std::string strName, std::string strData, char cType = '0')
            : m_strName(std::move(strName)), m_strData(std::move(strData)), m_cType(cType)
        {
        }

        std::string m_strName;
        std::string m_strData;
        char m_cType = '0';
        std::string m_strPrefix;     // ustar prefix (only written with bUstar)
        bool m_bUstar = true;
        bool m_bSignedChecksum = false; // store the sum of the bytes taken as signed
        int m_iChecksumError = 0;       // added to the stored checksum
    };

    inline void AppendTarMember(std::vector<unsigned char>& tar, const tTarMember& m)
    {
        unsigned char header[512] = {};
        char* h = reinterpret_cast<char*>(header);
        memcpy(h, m.m_strName.data(), std::min<size_t>(m.m_strName.size(), 100));
        snprintf(h + 100, 8, "%07o", 0644);
        snprintf(h + 124, 12, "%011llo", static_cast<unsigned long long>(m.m_strData.size()));
        memset(h + 148, ' ', 8);
        h[156] = m.m_cType;
        if (m.m_bUstar) {
            memcpy(h + 257, "ustar", 6);
            memcpy(h + 263, "00", 2);
            memcpy(h + 345, m.m_strPrefix.data(), std::min<size_t>(m.m_strPrefix.size(), 155));
        }
        long sum = 0;
        for (unsigned char c : header)
            sum += m.m_bSignedChecksum ? static_cast<signed char>(c) : c;
        snprintf(h + 148, 8, "%06lo", static_cast<unsigned long>(sum + m.m_iChecksumError) & 0777777);
        h[155] = ' ';
        tar.insert(tar.end(), header, header + 512);
        tar.insert(tar.end(), m.m_strData.begin(), m.m_strData.end());
        tar.resize((tar.size() + 511) / 512 * 512, 0);
    }

    inline std::vector<unsigned char> BuildTar(const std::vector<tTarMember>& members, bool bEndBlocks = true)
    {
        std::vector<unsigned char> tar;
        for (const tTarMember& m : members)
            AppendTarMember(tar, m);
        if (bEndBlocks)
            tar.resize(tar.size() + 1024, 0);
        return tar;
    }
}
