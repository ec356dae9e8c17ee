// Passwords (the join password, the remote-console password) are kept only as verifiers:
// a kind byte and a bcrypt hash string ("$2a$10$", 22 salt and 31 hash characters).
#pragma once

#include <Engine/Torvane.h>

#include <string>
#include <string_view>

namespace Torvane3D
{
    // bcrypt reads no more than 72 bytes of a password, so longer ones are refused rather
    // than silently shortened.
    constexpr size_t BCRYPT_MAX_PASSWORD_LENGTH = 72;
    constexpr unsigned BCRYPT_COST = 10;
    constexpr char PASSWORD_KIND_BCRYPT = 'b';

    class BCrypt
    {
    public:
        // The hash string of a password for a salt text (at least the first 29 characters of
        // a hash string); ":" when the salt cannot be used, or the password is longer than 72
        // bytes or holds a zero byte.
        static void bcrypt(std::string_view password, const char* szSalt, std::string& strOutput);
        // A new salt text "$2a$<cost>$..." from 16 random bytes; false when no random source
        // is available.
        static bool MakeSalt(unsigned uiCost, std::string& strSalt);
    };

    // The cryptographic random source for salts (OpenSSL's by default). Returns false when it
    // cannot deliver; there is deliberately no weaker fallback.
    typedef bool (*PasswordRandomSource)(unsigned char* pBuffer, size_t length);
    void SetPasswordRandomSource(PasswordRandomSource source); // null restores the default

    class CPasswordVerifier
    {
    public:
        // An empty password clears the verifier (no password). Otherwise a new verifier with
        // a fresh salt. False, with a message and the verifier unchanged, for a password longer
        // than 72 bytes or holding a zero byte, or when no random source is available.
        bool Set(std::string_view password, std::string* pstrError = nullptr);
        void Clear();

        bool IsSet() const { return m_Length != 0; }
        char GetKind() const { return m_cKind; }
        const std::string& GetHash() const { return m_strHash; }
        // The hash text's length with its terminating zero; 0 when no password is set.
        size_t GetLength() const { return m_Length; }
        // The kind byte followed by the hash text.
        std::string GetText() const { return IsSet() ? std::string(1, m_cKind) + m_strHash : std::string(); }

    private:
        char m_cKind = 0;
        std::string m_strHash;
        size_t m_Length = 0;
    };

    // True when the password matches. Malformed verifiers, passwords longer than 72 bytes and
    // passwords holding a zero byte give false (the latter two without hashing).
    bool VerifyPassword(std::string_view password, const CPasswordVerifier& verifier);
    // The same against a verifier's text: the kind byte 'b', then the hash string.
    bool VerifyPassword(std::string_view password, std::string_view verifier);
}
