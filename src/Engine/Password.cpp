#include <Engine/Password.h>

#include <crypt.h>
#include <openssl/crypto.h>
#include <openssl/rand.h>

#include <atomic>
#include <memory>

namespace Torvane3D
{
    static constexpr size_t SALT_BYTES = 16;
    static constexpr size_t BCRYPT_HASH_LENGTH = 60;

    static bool OpenSSLRandom(unsigned char* pBuffer, size_t length)
    {
        return length <= INT32_MAX && RAND_bytes(pBuffer, static_cast<int>(length)) == 1;
    }

    static std::atomic<PasswordRandomSource> s_RandomSource{OpenSSLRandom};

    void SetPasswordRandomSource(PasswordRandomSource source)
    {
        s_RandomSource = source ? source : OpenSSLRandom;
    }

    static bool UsablePassword(std::string_view password)
    {
        return password.size() <= BCRYPT_MAX_PASSWORD_LENGTH && password.find('\0') == std::string_view::npos;
    }

    // "$2a$" (or the 2b and 2y spellings of the same algorithm), two cost digits from 04 to
    // 31, "$", then 53 characters of salt and hash in bcrypt's alphabet.
    static bool IsBcryptHash(std::string_view hash)
    {
        if (hash.size() != BCRYPT_HASH_LENGTH || hash.substr(0, 2) != "$2" ||
            (hash[2] != 'a' && hash[2] != 'b' && hash[2] != 'y') || hash[3] != '$' || hash[6] != '$')
            return false;
        if (hash[4] < '0' || hash[4] > '9' || hash[5] < '0' || hash[5] > '9')
            return false;
        int iCost = (hash[4] - '0') * 10 + (hash[5] - '0');
        if (iCost < 4 || iCost > 31)
            return false;
        for (char c : hash.substr(7)) {
            bool bAlphabet = c == '.' || c == '/' || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                (c >= '0' && c <= '9');
            if (!bAlphabet)
                return false;
        }
        return true;
    }

    void BCrypt::bcrypt(std::string_view password, const char* szSalt, std::string& strOutput)
    {
        strOutput = ":";
        if (!szSalt || !UsablePassword(password))
            return;
        std::string strPassword(password);
        auto pData = std::make_unique<crypt_data>(); // large; zeroed
        const char* szHash = crypt_rn(strPassword.c_str(), szSalt, pData.get(), sizeof(crypt_data));
        OPENSSL_cleanse(strPassword.data(), strPassword.size());
        if (szHash && szHash[0] == '$' && IsBcryptHash(szHash))
            strOutput = szHash;
        OPENSSL_cleanse(pData.get(), sizeof(crypt_data));
    }

    bool BCrypt::MakeSalt(unsigned uiCost, std::string& strSalt)
    {
        unsigned char random[SALT_BYTES];
        if (!s_RandomSource.load()(random, sizeof(random)))
            return false;
        char szSalt[CRYPT_GENSALT_OUTPUT_SIZE];
        const char* szResult = crypt_gensalt_rn("$2a$", uiCost, reinterpret_cast<const char*>(random), sizeof(random),
            szSalt, sizeof(szSalt));
        OPENSSL_cleanse(random, sizeof(random));
        if (!szResult)
            return false;
        strSalt = szResult;
        return true;
    }

    bool CPasswordVerifier::Set(std::string_view password, std::string* pstrError)
    {
        auto Fail = [&](const char* szMessage) {
            if (pstrError)
                *pstrError = szMessage;
            return false;
        };
        if (password.empty()) {
            Clear();
            return true;
        }
        if (password.size() > BCRYPT_MAX_PASSWORD_LENGTH)
            return Fail("the password is longer than 72 bytes; bcrypt would ignore the rest");
        if (password.find('\0') != std::string_view::npos)
            return Fail("the password holds a zero byte");
        std::string strSalt, strHash;
        if (!BCrypt::MakeSalt(BCRYPT_COST, strSalt))
            return Fail("no cryptographic random source is available for the password's salt");
        BCrypt::bcrypt(password, strSalt.c_str(), strHash);
        if (strHash.size() != BCRYPT_HASH_LENGTH)
            return Fail("the password could not be hashed");
        m_cKind = PASSWORD_KIND_BCRYPT;
        m_strHash = strHash;
        m_Length = strHash.size() + 1;
        return true;
    }

    void CPasswordVerifier::Clear()
    {
        m_cKind = 0;
        m_strHash.clear();
        m_Length = 0;
    }

    bool VerifyPassword(std::string_view password, std::string_view verifier)
    {
        if (verifier.empty() || verifier[0] != PASSWORD_KIND_BCRYPT)
            return false;
        std::string strHash(verifier.substr(1));
        if (!IsBcryptHash(strHash) || !UsablePassword(password))
            return false;
        std::string strComputed;
        BCrypt::bcrypt(password, strHash.c_str(), strComputed);
        return strComputed.size() == strHash.size() && CRYPTO_memcmp(strComputed.data(), strHash.data(), strHash.size()) == 0;
    }

    bool VerifyPassword(std::string_view password, const CPasswordVerifier& verifier)
    {
        return verifier.IsSet() && VerifyPassword(password, verifier.GetText());
    }
}
