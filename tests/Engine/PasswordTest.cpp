#include <Engine/Password.h>

#include <gtest/gtest.h>

using namespace Torvane3D;

TEST(BCrypt, KnownAnswers)
{
    const std::pair<const char*, const char*> vectors[] = {
        {"U*U", "$2a$05$CCCCCCCCCCCCCCCCCCCCC.E5YPO9kmyuRGyh0XouQYb4YMJKvyOeW"},
        {"U*U*", "$2a$05$CCCCCCCCCCCCCCCCCCCCC.VGOzA784oUp/Z0DY336zx7pLYAy0lwK"},
        {"U*U*U", "$2a$05$XXXXXXXXXXXXXXXXXXXXXOAcXxm9kjPGEMsLznoKqmqw7tc8WCx4a"},
        {"", "$2a$05$CCCCCCCCCCCCCCCCCCCCC.7uG0VCzI2bS7j6ymqJi9CdcdxiRTWNy"},
    };
    for (const auto& [szPassword, szHash] : vectors) {
        std::string strOut;
        BCrypt::bcrypt(szPassword, std::string(szHash, 29).c_str(), strOut);
        EXPECT_EQ(strOut, szHash) << szPassword;
        BCrypt::bcrypt(szPassword, szHash, strOut); // the whole hash string works as the salt
        EXPECT_EQ(strOut, szHash) << szPassword;
        EXPECT_TRUE(VerifyPassword(szPassword, std::string("b") + szHash)) << szPassword;
    }
    std::string strOut;
    for (const char* szBadSalt : {"", "$2a$", "$2a$05$short", "$1$abcdefgh$", "$2a$03$CCCCCCCCCCCCCCCCCCCCC.",
             "$2a$32$CCCCCCCCCCCCCCCCCCCCC."}) {
        BCrypt::bcrypt("U*U", szBadSalt, strOut);
        EXPECT_EQ(strOut, ":") << szBadSalt;
    }
}

TEST(PasswordVerifier, MadeFromOnePasswordRefusesAnother)
{
    CPasswordVerifier first, second;
    ASSERT_TRUE(first.Set("hunter2"));
    ASSERT_TRUE(second.Set("hunter2"));
    EXPECT_EQ(first.GetKind(), 'b');
    EXPECT_EQ(first.GetHash().size(), 60u);
    EXPECT_EQ(first.GetHash().compare(0, 7, "$2a$10$"), 0);
    EXPECT_EQ(first.GetLength(), 61u);
    EXPECT_NE(first.GetHash(), second.GetHash()); // fresh salts
    EXPECT_TRUE(VerifyPassword("hunter2", first));
    EXPECT_TRUE(VerifyPassword("hunter2", second));
    EXPECT_FALSE(VerifyPassword("hunter3", first));
    EXPECT_FALSE(VerifyPassword("hunter2x", first));
    EXPECT_FALSE(VerifyPassword("", first));

    std::string strText = first.GetText();
    EXPECT_TRUE(VerifyPassword("hunter2", strText));
    for (std::string strBad : {std::string("x") + first.GetHash(), first.GetHash(), std::string(""), std::string("b")}) {
        EXPECT_FALSE(VerifyPassword("hunter2", strBad)) << strBad;
    }
    // A cost outside 04..31 never verifies.
    for (const char* szCost : {"03", "32", "99"}) {
        std::string strBad = strText;
        strBad.replace(5, 2, szCost);
        EXPECT_FALSE(VerifyPassword("hunter2", strBad)) << szCost;
    }

    EXPECT_TRUE(first.Set("")); // an empty password clears
    EXPECT_FALSE(first.IsSet());
    EXPECT_EQ(first.GetLength(), 0u);
    EXPECT_FALSE(VerifyPassword("", first));
}

TEST(PasswordVerifier, LongPasswordsAndZeroBytesAreRefused)
{
    std::string str72(72, 'p'), str73 = str72 + "q";
    CPasswordVerifier verifier;
    ASSERT_TRUE(verifier.Set(str72));
    EXPECT_TRUE(VerifyPassword(str72, verifier));
    // bcrypt would see only the first 72 bytes: a longer password is a wrong password.
    EXPECT_FALSE(VerifyPassword(str73, verifier));

    std::string strError;
    CPasswordVerifier kept = verifier;
    EXPECT_FALSE(kept.Set(str73, &strError));
    EXPECT_NE(strError.find("72"), std::string::npos) << strError;
    EXPECT_EQ(kept.GetHash(), verifier.GetHash()); // unchanged

    std::string strZero("abc\0def", 7);
    EXPECT_FALSE(kept.Set(strZero, &strError));
    CPasswordVerifier abc;
    ASSERT_TRUE(abc.Set("abc"));
    EXPECT_FALSE(VerifyPassword(strZero, abc)); // not cut at the zero byte
    std::string strOut;
    BCrypt::bcrypt(str73, "$2a$05$CCCCCCCCCCCCCCCCCCCCC.", strOut);
    EXPECT_EQ(strOut, ":");
}

TEST(PasswordVerifier, NoRandomSourceNoPassword)
{
    CPasswordVerifier verifier;
    ASSERT_TRUE(verifier.Set("before"));
    std::string strHash = verifier.GetHash();
    SetPasswordRandomSource([](unsigned char*, size_t) { return false; });
    std::string strError;
    EXPECT_FALSE(verifier.Set("after", &strError));
    std::string strSalt;
    EXPECT_FALSE(BCrypt::MakeSalt(BCRYPT_COST, strSalt));
    SetPasswordRandomSource(nullptr);
    EXPECT_NE(strError.find("random"), std::string::npos) << strError;
    EXPECT_EQ(verifier.GetHash(), strHash);
    EXPECT_TRUE(VerifyPassword("before", verifier));

    // The salt is the random bytes in bcrypt's base-64 form.
    SetPasswordRandomSource([](unsigned char* p, size_t n) {
        for (size_t i = 0; i < n; i++)
            p[i] = 0;
        return true;
    });
    EXPECT_TRUE(BCrypt::MakeSalt(BCRYPT_COST, strSalt));
    SetPasswordRandomSource(nullptr);
    EXPECT_EQ(strSalt, "$2a$10$......................");
}
