// The standard libraries seen from an embedder: registration, the C side of blobs, format
// against the C library on random conversions, and rand() against glibc's sequence.
#include "StdLib/SqStdRandom.h"

#include <Squirrel/SqStdLib.h>
#include <Squirrel/Squirrel.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

using namespace Torvane3D::Squirrel;

namespace
{
    void Silent(CSqVM*, const char*, ...) {}

    class StdLib : public ::testing::Test
    {
    protected:
        void SetUp() override
        {
            m_pVM = CSqVM::Open(1024);
            m_pVM->SetPrintFunctions(Silent, Silent);
            RegisterStandardLibraries(m_pVM);
        }
        void TearDown() override { m_pVM->Close(); }

        // Runs the script; its result stays on the stack.
        bool Run(const char* szSource)
        {
            if (!m_pVM->Compile(szSource, strlen(szSource), "test.nut", false))
                return false;
            m_pVM->PushRootTable();
            bool bOk = m_pVM->Call(1, true, false);
            m_pVM->Remove(bOk ? -2 : -1);
            return bOk;
        }

        // Pushes the root slot.
        void PushGlobal(const char* szName)
        {
            m_pVM->PushRootTable();
            m_pVM->PushString(szName);
            ASSERT_TRUE(m_pVM->Get(-2)) << szName;
            m_pVM->Remove(-2);
        }

        std::string TopText()
        {
            const char* sz = "";
            size_t n = 0;
            std::string s = m_pVM->GetString(-1, &sz, &n) ? std::string(sz, n) : "(not a string)";
            m_pVM->Pop(1);
            return s;
        }

        std::string LastError()
        {
            m_pVM->PushLastError();
            return TopText();
        }

        CSqVM* m_pVM = nullptr;
    };
}

TEST_F(StdLib, RegistersEveryLibraryAndLeavesTheStack)
{
    EXPECT_EQ(m_pVM->GetTop(), 0);
    const char* const names[] = {
        "blob", "casti2f", "castf2i", "swap2", "swap4", "swapfloat", "file", "stdout", "stdin", "stderr", "loadfile",
        "dofile", "writeclosuretofile", "sqrt", "sin", "cos", "asin", "acos", "log", "log10", "tan", "atan", "atan2", "pow",
        "floor", "ceil", "exp", "srand", "rand", "fabs", "abs", "RAND_MAX", "PI", "clock", "time", "date", "getenv",
        "system", "remove", "rename", "regexp", "format", "printf", "strip", "lstrip", "rstrip", "split", "escape",
        "startswith", "endswith",
    };
    for (const char* szName : names) {
        m_pVM->PushRootTable();
        m_pVM->PushString(szName);
        EXPECT_TRUE(m_pVM->RawGet(-2)) << szName;
        m_pVM->SetTop(0);
    }
    // The binding deletes slots it does not want; the libraries must not depend on them.
    ASSERT_TRUE(Run("foreach (n in [\"file\", \"system\", \"remove\", \"rename\", \"loadfile\", \"dofile\"]) delete getroottable()[n];"
                    " local b = blob(); b.writen(1, 'i'); b.seek(0); return b.readblob(4).len() + format(\"%d\", b.len());"));
    EXPECT_EQ(TopText(), "44");
}

TEST_F(StdLib, BlobsFromTheEmbedder)
{
    void* pData = nullptr;
    ASSERT_TRUE(CreateBlob(m_pVM, 4, &pData));
    ASSERT_NE(pData, nullptr);
    memcpy(pData, "\x01\x02\x03\x04", 4);
    EXPECT_TRUE(IsBlob(m_pVM, -1));
    // A script sees the bytes and writes past the end; the embedder sees the new length.
    const char* szScript = "local b = vargv[0]; b.seek(0, 'e'); b.writen(0x0605, 'w'); return typeof b + b[3] + b.len();";
    ASSERT_TRUE(m_pVM->Compile(szScript, strlen(szScript), "t", false));
    m_pVM->PushRootTable();
    m_pVM->Push(-3);
    ASSERT_TRUE(m_pVM->Call(2, true, false)) << LastError();
    EXPECT_EQ(TopText(), "blob46");
    m_pVM->Pop(1); // the function
    void* pAfter = nullptr;
    SqInteger nSize = 0;
    ASSERT_TRUE(GetBlob(m_pVM, -1, &pAfter, &nSize));
    ASSERT_EQ(nSize, 6);
    EXPECT_EQ(memcmp(pAfter, "\x01\x02\x03\x04\x05\x06", 6), 0);
    m_pVM->Pop(1);

    // Zero size, and sizes the libraries refuse: nothing is pushed.
    EXPECT_TRUE(CreateBlob(m_pVM, 0, nullptr));
    EXPECT_TRUE(GetBlob(m_pVM, -1, nullptr, &nSize));
    EXPECT_EQ(nSize, 0);
    m_pVM->Pop(1);
    EXPECT_FALSE(CreateBlob(m_pVM, -1, &pData));
    EXPECT_FALSE(CreateBlob(m_pVM, SQ_BLOB_MAX_SIZE + 1, &pData));
    EXPECT_EQ(m_pVM->GetTop(), 0);

    // Only blobs (and instances of classes derived from blob) are blobs.
    ASSERT_TRUE(Run("class P extends blob { constructor() { base.constructor(3); } } return [blob(2), P(), regexp(\"a\"), stdout, {}, 5, blob.instance()];"));
    const bool expected[] = {true, true, false, false, false, false, false};
    for (int i = 0; i < 7; ++i) {
        m_pVM->PushInteger(i);
        ASSERT_TRUE(m_pVM->Get(-2));
        EXPECT_EQ(IsBlob(m_pVM, -1), expected[i]) << i;
        EXPECT_EQ(GetBlob(m_pVM, -1, &pData, &nSize), expected[i]) << i;
        m_pVM->Pop(1);
    }
    m_pVM->Pop(1);

    // A VM without the libraries cannot make blobs.
    CSqVM* pBare = CSqVM::Open(64);
    EXPECT_FALSE(CreateBlob(pBare, 4, &pData));
    EXPECT_EQ(pBare->GetTop(), 0);
    pBare->Close();
}

TEST_F(StdLib, RandomIsGlibcsSequence)
{
    for (uint32_t uSeed : {0u, 1u, 2u, 42u, 12345u, 0x7FFFFFFFu, 0x80000000u, 0x80000001u, 0xDEADBEEFu, 0xFFFFFFFFu}) {
        CSqRandom random;
        random.Seed(uSeed);
        srand(uSeed);
        for (int i = 0; i < 400; ++i)
            ASSERT_EQ(random.Next(), rand()) << "seed " << uSeed << " draw " << i;
    }
    // Unseeded, as the C library starts.
    CSqRandom fresh;
    srand(1);
    EXPECT_EQ(fresh.Next(), rand());
}

// Random valid conversions give what the C library gives for the same conversion written
// with the flags the C standard defines for it.
TEST_F(StdLib, FormatAgreesWithTheCLibrary)
{
    std::mt19937 random(99);
    const std::string conversions = "diuoxXcefgEGs";
    const char* const texts[] = {"", "a", "hello", "with space", "\xc3\xa9t\xc3\xa9"};
    const double floats[] = {0.0, -0.0, 1.0, -1.5, 3.14159, 1e-7, 123456.0, 1e20, -3.4e38, 0.1};
    const long long integers[] = {0, 1, -1, 42, -42, 255, 65536, 9223372036854775807LL, -9223372036854775807LL - 1};
    for (int i = 0; i < 5000; ++i) {
        char cConversion = conversions[random() % conversions.size()];
        std::string strFlags;
        for (int k = random() % 4; k > 0; --k)
            strFlags += "-+ #0"[random() % 5];
        std::string strWidth = random() % 2 ? std::to_string(random() % 100) : "";
        std::string strPrecision = random() % 2 ? "." + std::to_string(random() % 100) : "";
        std::string strConversion = "%" + strFlags + strWidth + strPrecision + cConversion;

        // The C form: 64-bit length, and only defined flags for the conversion.
        bool bSigned = cConversion == 'd' || cConversion == 'i';
        bool bFloat = strchr("efgEG", cConversion) != nullptr;
        bool bText = cConversion == 's' || cConversion == 'c';
        std::string strCFlags;
        for (char f : strFlags) {
            if ((f == '+' || f == ' ') && !(bSigned || bFloat))
                continue;
            if (f == '#' && (bSigned || bText || cConversion == 'u'))
                continue;
            if (f == '0' && bText)
                continue;
            strCFlags += f;
        }
        std::string strC = "%" + strCFlags + strWidth + (cConversion == 'c' ? "" : strPrecision) +
                           (bSigned || strchr("uoxX", cConversion) ? "ll" : "") + cConversion;

        char szExpected[512];
        PushGlobal("format");
        m_pVM->PushRootTable();
        m_pVM->PushString(strConversion.c_str());
        if (bFloat) {
            float f = static_cast<float>(floats[random() % 10]);
            snprintf(szExpected, sizeof(szExpected), strC.c_str(), static_cast<double>(f));
            m_pVM->PushFloat(f);
        } else if (cConversion == 's') {
            const char* sz = texts[random() % 5];
            snprintf(szExpected, sizeof(szExpected), strC.c_str(), sz);
            m_pVM->PushString(sz);
        } else if (cConversion == 'c') {
            int c = 'A' + static_cast<int>(random() % 26);
            snprintf(szExpected, sizeof(szExpected), strC.c_str(), c);
            m_pVM->PushInteger(c);
        } else {
            long long v = integers[random() % 9];
            snprintf(szExpected, sizeof(szExpected), strC.c_str(), v);
            m_pVM->PushInteger(v);
        }
        ASSERT_TRUE(m_pVM->Call(3, true, false)) << strConversion << ": " << LastError();
        EXPECT_EQ(TopText(), szExpected) << strConversion << " as " << strC;
        m_pVM->SetTop(0);
    }
}

TEST_F(StdLib, ArbitraryFormatStringsGiveTextOrAKnownError)
{
    std::mt19937 random(5);
    const char alphabet[] = "%%%-+ #0123456789.dsfxcglLhnpqz*$";
    const std::string known[] = {
        "invalid format", "width format too long", "precision format too long",
        "not enough parameters for the given format string", "integer expected for the specified format",
        "float expected for the specified format", "string expected for the specified format",
    };
    for (int i = 0; i < 20000; ++i) {
        std::string strFormat;
        for (int k = random() % 10; k > 0; --k)
            strFormat += alphabet[random() % (sizeof(alphabet) - 1)];
        PushGlobal("format");
        m_pVM->PushRootTable();
        m_pVM->PushString(strFormat.data(), strFormat.size());
        int nArgs = static_cast<int>(random() % 3);
        for (int k = 0; k < nArgs; ++k) {
            switch (random() % 4) {
            case 0: m_pVM->PushInteger(static_cast<SqInteger>(random()) - 1000000); break;
            case 1: m_pVM->PushFloat(static_cast<float>(random()) / 7.0f); break;
            case 2: m_pVM->PushString("txt"); break;
            default: m_pVM->PushNull(); break;
            }
        }
        if (!m_pVM->Call(2 + nArgs, true, false)) {
            std::string strError = LastError();
            bool bKnown = false;
            for (const std::string& s : known)
                bKnown = bKnown || s == strError;
            EXPECT_TRUE(bKnown) << strFormat << ": " << strError;
        } else {
            EXPECT_EQ(m_pVM->GetType(-1), SQ_STRING) << strFormat;
        }
        m_pVM->SetTop(0);
    }
}
