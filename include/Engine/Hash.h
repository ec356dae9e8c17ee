// Hash functions: CRC-32 (table keys, file checksums), SHA-256 (staged file names) and MD5
// (anticheat digests).
#pragma once

#include <Engine/Torvane.h>

#include <array>
#include <string>
#include <string_view>

namespace Torvane3D
{
    // The reflected CRC-32 table (polynomial 0xEDB88320).
    extern const std::array<uint32_t, 256> g_rguiCRC32Table;

    // A CRC-32 register. It starts at 0xFFFFFFFF; GetHash() gives the final, inverted value.
    class CRC32Hash
    {
    public:
        void Add(const void* pData, size_t length);
        // Feeds the text up to its first zero byte; with bLower each byte goes through
        // the C locale's tolower first. A null text feeds nothing.
        void AddString(const char* szText, bool bLower);
        // The same, stopping after length bytes or at the first zero byte.
        void AddString(const char* szText, size_t length, bool bLower);

        uint32_t GetHash() const { return ~m_uiRegister; }

        uint32_t m_uiRegister = 0xFFFFFFFF;
    };

    uint32_t CRC32(const void* pData, size_t length);
    // The key of a name: its CRC-32, with ASCII letters lowered when bLower is set.
    uint32_t CRC32Name(std::string_view name, bool bLower);

    // A message digest through OpenSSL's EVP interface.
    class CDigest
    {
    public:
        CDigest(const CDigest&) = delete;
        CDigest& operator=(const CDigest&) = delete;
        ~CDigest();

        void Add(const void* pData, size_t length);
        void Add(std::string_view text) { Add(text.data(), text.size()); }
        // The digest of everything added; the hash starts over afterwards.
        std::string Finish();
        std::string FinishHex() { return ToHex(Finish()); }

        static std::string ToHex(std::string_view bytes);

    protected:
        explicit CDigest(const void* pAlgorithm);

    private:
        void Start();

        const void* m_pAlgorithm;
        void* m_pContext;
    };

    // FIPS 180-4 SHA-256: 32-byte digests (names of staged client files).
    class CSHA256 : public CDigest
    {
    public:
        static constexpr size_t DIGEST_SIZE = 32;
        CSHA256();
        static std::string Hash(std::string_view data);
    };

    // RFC 1321 MD5: 16-byte digests (anticheat file list).
    class CMD5Hash : public CDigest
    {
    public:
        static constexpr size_t DIGEST_SIZE = 16;
        CMD5Hash();
        static std::string Hash(std::string_view data);
    };
}
