#include <Engine/Hash.h>

#include <openssl/evp.h>

#include <cstdlib>

namespace Torvane3D
{
    static constexpr std::array<uint32_t, 256> MakeCRC32Table()
    {
        std::array<uint32_t, 256> table{};
        for (uint32_t i = 0; i < 256; i++) {
            uint32_t c = i;
            for (int k = 0; k < 8; k++)
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            table[i] = c;
        }
        return table;
    }

    constinit const std::array<uint32_t, 256> g_rguiCRC32Table = MakeCRC32Table();

    static inline uint32_t CRC32Step(uint32_t crc, unsigned char byte)
    {
        return g_rguiCRC32Table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
    }

    void CRC32Hash::Add(const void* pData, size_t length)
    {
        const unsigned char* p = static_cast<const unsigned char*>(pData);
        uint32_t crc = m_uiRegister;
        for (size_t i = 0; i < length; i++)
            crc = CRC32Step(crc, p[i]);
        m_uiRegister = crc;
    }

    void CRC32Hash::AddString(const char* szText, size_t length, bool bLower)
    {
        if (!szText)
            return;
        uint32_t crc = m_uiRegister;
        for (size_t i = 0; i < length && szText[i] != '\0'; i++) {
            unsigned char c = static_cast<unsigned char>(szText[i]);
            // Only ASCII letters change: the C locale's tolower, without depending on the
            // process locale.
            if (bLower && c >= 'A' && c <= 'Z')
                c = static_cast<unsigned char>(c - 'A' + 'a');
            crc = CRC32Step(crc, c);
        }
        m_uiRegister = crc;
    }

    void CRC32Hash::AddString(const char* szText, bool bLower)
    {
        AddString(szText, SIZE_MAX, bLower);
    }

    uint32_t CRC32(const void* pData, size_t length)
    {
        CRC32Hash hash;
        hash.Add(pData, length);
        return hash.GetHash();
    }

    uint32_t CRC32Name(std::string_view name, bool bLower)
    {
        CRC32Hash hash;
        hash.AddString(name.data(), name.size(), bLower);
        return hash.GetHash();
    }

    CDigest::CDigest(const void* pAlgorithm) : m_pAlgorithm(pAlgorithm), m_pContext(EVP_MD_CTX_new())
    {
        // Without a context the process cannot hash at all; that is not a state to go on in.
        if (!m_pContext)
            abort();
        Start();
    }

    CDigest::~CDigest()
    {
        EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(m_pContext));
    }

    void CDigest::Start()
    {
        EVP_DigestInit_ex(static_cast<EVP_MD_CTX*>(m_pContext), static_cast<const EVP_MD*>(m_pAlgorithm), nullptr);
    }

    void CDigest::Add(const void* pData, size_t length)
    {
        if (length > 0)
            EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(m_pContext), pData, length);
    }

    std::string CDigest::Finish()
    {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        EVP_DigestFinal_ex(static_cast<EVP_MD_CTX*>(m_pContext), digest, &length);
        Start();
        return std::string(reinterpret_cast<const char*>(digest), length);
    }

    std::string CDigest::ToHex(std::string_view bytes)
    {
        static const char s_Digits[] = "0123456789abcdef";
        std::string strHex;
        strHex.reserve(bytes.size() * 2);
        for (char c : bytes) {
            strHex += s_Digits[static_cast<unsigned char>(c) >> 4];
            strHex += s_Digits[static_cast<unsigned char>(c) & 15];
        }
        return strHex;
    }

    CSHA256::CSHA256() : CDigest(EVP_sha256())
    {
    }

    std::string CSHA256::Hash(std::string_view data)
    {
        CSHA256 hash;
        hash.Add(data);
        return hash.Finish();
    }

    CMD5Hash::CMD5Hash() : CDigest(EVP_md5())
    {
    }

    std::string CMD5Hash::Hash(std::string_view data)
    {
        CMD5Hash hash;
        hash.Add(data);
        return hash.Finish();
    }
}
