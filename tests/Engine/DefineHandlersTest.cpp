// The define list and the define-header reader: the grammar's edge cases, the messages
// with their file name and line, byte-order marks, and every header the program carries.
#include <Engine/BuiltinArchive.h>
#include <Engine/Context.h>
#include <Engine/DefineHandlers.h>
#include <Engine/Stream.h>
#include <Engine/TARArchive.h>

#include <gtest/gtest.h>

#include <map>
#include <mutex>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

using namespace Torvane3D;

namespace
{
    struct CLogCapture : ILogListener
    {
        CLogCapture() { AddLogListener(this); }
        ~CLogCapture() override { RemoveLogListener(this); }
        void OnLogMessage(eLogType level, const char* szText) override
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            if (level >= LOG_WARN)
                m_Problems.emplace_back(szText);
        }
        std::mutex m_Mutex;
        std::vector<std::string> m_Problems;
    };

    typedef std::vector<std::pair<std::string, int32_t>> tDefines;

    enum eMark
    {
        MARK_NONE,
        MARK_UTF8,
        MARK_UTF16LE,
    };

    std::string Encode(const std::string& strText, eMark mark)
    {
        if (mark == MARK_UTF8)
            return "\xEF\xBB\xBF" + strText;
        if (mark == MARK_NONE)
            return strText;
        std::string strOut = "\xFF\xFE"; // the cases are ASCII: one unit per byte
        for (char c : strText) {
            strOut += c;
            strOut += '\0';
        }
        return strOut;
    }

    // Processes the text after a program constant and returns the header's entries and
    // the logged problems.
    tDefines Process(const std::string& strData, const char* szFileName, std::vector<std::string>& problems,
                     bool* pbResult = nullptr)
    {
        CDefineHandlers handlers;
        handlers.Define("PROGRAM_CONSTANT", 3);
        CMemoryStream stream(strData.data(), strData.size());
        CLogCapture log;
        bool bResult = handlers.Process(&stream, szFileName);
        if (pbResult)
            *pbResult = bResult;
        problems = log.m_Problems;
        tDefines defines;
        for (size_t i = 1; i < handlers.GetCount(); ++i) {
            EXPECT_FALSE(handlers.Get(i).m_bUnsigned) << handlers.Get(i).m_strName;
            defines.emplace_back(handlers.Get(i).m_strName, handlers.Get(i).GetSigned());
        }
        return defines;
    }
}

TEST(DefineHandlers, DefineKeepsOrderFlagsAndDuplicates)
{
    CDefineHandlers handlers;
    handlers.Define("A", -1);
    handlers.Define("B", 0xFFFFFFFFu);
    handlers.Define("A", 7);
    handlers.Define(nullptr, 1);
    ASSERT_EQ(handlers.GetCount(), 3u);
    EXPECT_EQ(handlers.Get(0).m_strName, "A");
    EXPECT_FALSE(handlers.Get(0).m_bUnsigned);
    EXPECT_EQ(handlers.Get(0).GetValue(), -1);
    EXPECT_TRUE(handlers.Get(1).m_bUnsigned);
    EXPECT_EQ(handlers.Get(1).GetValue(), 4294967295LL);
    EXPECT_EQ(handlers.Get(1).GetSigned(), -1);
    std::vector<std::string> names;
    for (const IntDefine& define : handlers)
        names.push_back(define.m_strName);
    EXPECT_EQ(names, (std::vector<std::string>{"A", "B", "A"}));
}

TEST(DefineHandlers, HeaderGrammar)
{
    struct Case
    {
        const char* szText;
        tDefines defines;
        const char* szError; // the logged line, or null when none
        eMark mark = MARK_NONE;
    };
    const Case cases[] = {
        // Forward declarations and empty bodies define nothing.
        {"enum E;", {}, nullptr},
        {"enum E { };", {}, nullptr},
        {"enum E;\nenum E : uint8_t;", {}, "t.h(2): got ';' expected '{'"},
        {"", {}, nullptr},
        // Underlying types and modifiers.
        {"enum E : unsigned int { A, };", {{"A", 0}}, nullptr},
        {"enum E : signed char { A, };", {{"A", 0}}, nullptr},
        {"enum E : unsigned unsigned long { A, };", {{"A", 0}}, nullptr},
        {"enum E : Uint16 { A, };", {{"A", 0}}, nullptr},
        {"enum E : unsigned { A, };", {}, "t.h(1): got '{' expected 'identifier'"},
        {"enum E : DWORD { A, };", {}, "t.h(1): unexpected identifier 'DWORD'"},
        {"enum E : long long { A, };", {}, "t.h(1): got 'identifier' expected '{'"},
        {"enum E : 5 { A, };", {}, "t.h(1): got 'integer' expected 'identifier'"},
        // Running values, within and across enums; the 32 bits wrap.
        {"enum E { A, B = 5, C, };\nenum F { D, };", {{"A", 0}, {"B", 5}, {"C", 6}, {"D", 0}}, nullptr},
        {"enum E { A, B }\n;", {{"A", 0}, {"B", 1}}, nullptr},
        {"enum E { A = 1 };", {{"A", 1}}, nullptr},
        {"enum E { A = 0x7FFFFFFF, B };", {{"A", INT32_MAX}, {"B", INT32_MIN}}, nullptr},
        // References to earlier enumerators of the same header only.
        {"enum E { A = 7, };\nenum F { B = A, C, };", {{"A", 7}, {"B", 7}, {"C", 8}}, nullptr},
        {"enum E { A = 1, };\nenum F { A = 2, B = A };", {{"A", 1}, {"A", 2}, {"B", 2}}, nullptr},
        {"enum E { A = B, };", {}, "t.h(1): unexpected identifier 'B'"},
        {"enum E { A = PROGRAM_CONSTANT, };\nenum F { G, };", {}, "t.h(1): unexpected identifier 'PROGRAM_CONSTANT'"},
        {"enum E { A, B, C = Z, D, };\nenum F { G, };", {{"A", 0}, {"B", 1}}, "t.h(1): unexpected identifier 'Z'"},
        // Hexadecimal, octal and character values; literals of other kinds.
        {"enum E { A = 0xFFFFFFFF, B = 0x80000000, C = 0X1f };", {{"A", -1}, {"B", INT32_MIN}, {"C", 31}}, nullptr},
        {"enum E { A = 4294967297, B = 010 };", {{"A", 1}, {"B", 8}}, nullptr},
        {"enum E { A = 0x123456789, };", {}, "t.h(1): too many digits for an Hex number"},
        {"enum E { A = -1, };", {}, "t.h(1): unexpected '-'"},
        {"enum E { A = 1.5, };", {}, "t.h(1): unexpected 'float'"},
        {"enum E { A = \"x\", };", {}, "t.h(1): unexpected 'string'"},
        {"enum E { A = 'x', B };", {{"A", 120}, {"B", 121}}, nullptr},
        {"enum E { A = '', };", {}, "t.h(1): empty constant"},
        // Other declarations stop the parse; '#' lines and comments vanish.
        {"typedef int T;\nenum E { A, };", {}, "t.h(1): unexpected identifier 'typedef'"},
        {"enum E { A, };\nstruct S { int a; };", {{"A", 0}}, "t.h(2): unexpected identifier 'struct'"},
        {"#pragma once\n#include <inttypes.h>\n#define X 5\n// c\n/* d\n*/enum E { A, };", {{"A", 0}}, nullptr},
        {"enum E { A, /* open", {{"A", 0}}, "t.h(1): missing \"*/\" in comment"},
        // Keyword names.
        {"enum E { default, };", {}, "t.h(1): unexpected 'TK_DEFAULT'"},
        {"enum E { A, end, };", {{"A", 0}}, "t.h(1): unexpected 'end'"},
        {"enum E { A = 1, in = 2 };", {{"A", 1}}, "t.h(1): unexpected 'TK_IN'"},
        {"enum let { A };", {}, "t.h(1): got 'let' expected 'identifier'"},
        {"enum E { local, Let };", {{"local", 0}, {"Let", 1}}, nullptr},
        // Malformed bodies.
        {"enum E { A }", {{"A", 0}}, "t.h(1): got '' expected ';'"},
        {"enum E { A = 1 B };", {{"A", 1}}, "t.h(1): got 'identifier' expected ','"},
        {"enum E { A = 1, 2 };", {{"A", 1}}, "t.h(1): unexpected 'integer'"},
        {"enum E { A B };", {}, "t.h(1): unexpected identifier 'B'"},
        {"enum E { A, , };", {{"A", 0}}, "t.h(1): unexpected ','"},
        {"enum E { A,", {{"A", 0}}, "t.h(1): unexpected ''"},
        {"enum { A };", {}, "t.h(1): got '{' expected 'identifier'"},
        {"enum E ( A );", {}, "t.h(1): unexpected '('"},
        {"enum E { A };;", {{"A", 0}}, "t.h(1): unexpected ';'"},
        {"enum E { \xC3\xA9 };", {}, "t.h(1): unexpected '\\xC3'"},
        // The line of the message.
        {"enum E\n{\n    A,\n\n    B = Q,\n};", {{"A", 0}}, "t.h(5): unexpected identifier 'Q'"},
        {"#pragma once\r\n\r\nenum E\r\n{\r\n    A = 1,\r\n    B = x1\r\n};\r\n", {{"A", 1}}, "t.h(6): unexpected identifier 'x1'"},
        // Byte-order marks.
        {"enum E { A = 2, B };", {{"A", 2}, {"B", 3}}, nullptr, MARK_UTF8},
        {"enum E { A = 2, B };", {{"A", 2}, {"B", 3}}, nullptr, MARK_UTF16LE},
        {"enum E\n{\n    A = Q\n};", {}, "t.h(3): unexpected identifier 'Q'", MARK_UTF16LE},
    };
    for (const Case& c : cases) {
        std::vector<std::string> problems;
        bool bResult = false;
        tDefines defines = Process(Encode(c.szText, c.mark), "t.h", problems, &bResult);
        EXPECT_EQ(defines, c.defines) << c.szText;
        EXPECT_EQ(bResult, c.szError == nullptr) << c.szText;
        if (c.szError)
            EXPECT_EQ(problems, std::vector<std::string>{c.szError}) << c.szText;
        else
            EXPECT_TRUE(problems.empty()) << c.szText << ": " << (problems.empty() ? "" : problems[0]);
    }
}

TEST(DefineHandlers, UnreadableEncodingIsReported)
{
    std::vector<std::string> problems;
    const std::string strBigEndian("\xFE\xFF\0e\0n\0u\0m", 10);
    EXPECT_TRUE(Process(strBigEndian, "be.h", problems).empty());
    EXPECT_EQ(problems, std::vector<std::string>{"be.h(1): unsupported text encoding"});

    CDefineHandlers handlers;
    EXPECT_FALSE(handlers.Process(nullptr, "none.h"));
    EXPECT_EQ(handlers.GetCount(), 0u);
}

namespace
{
    std::string ReadAll(Stream* pStream)
    {
        std::string strData;
        char buffer[4096];
        while (size_t n = pStream->Read(buffer, sizeof(buffer)))
            strData.append(buffer, n);
        return strData;
    }

    CTARArchive& BuiltinArchive()
    {
        static CTARArchive* s_pArchive = [] {
            auto* pArchive = new CTARArchive();
            EXPECT_TRUE(pArchive->Read(MakeStrong<CMemoryStream>(g_BuiltinArchive, g_BuiltinArchiveSize)));
            return pArchive;
        }();
        return *s_pArchive;
    }

    const char* const g_szHeaders[] = {"GTAIIIEnums.h", "GTAVCEnums.h", "GTASAEnums.h", "GTAIVEnums.h"};
}

// Every header the program carries parses without a message, and yields exactly the
// enumerators its lines declare, with the values written there.
TEST(DefineHandlers, BuiltinHeadersParse)
{
    const std::regex enumerator(R"(^\s*([A-Za-z_]\w*)\s*(=\s*(\w+))?\s*,?\s*$)");
    for (const char* szHeader : g_szHeaders) {
        std::string strPath = std::string("/GTAInterface/") + szHeader;
        Strong<Stream> pStream = BuiltinArchive().Open(strPath.c_str(), false);
        ASSERT_TRUE(pStream) << strPath;
        std::string strText = ReadAll(pStream);

        std::vector<std::string> problems;
        bool bResult = false;
        tDefines defines = Process(strText, szHeader, problems, &bResult);
        EXPECT_TRUE(bResult) << szHeader;
        EXPECT_TRUE(problems.empty()) << szHeader << ": " << (problems.empty() ? "" : problems[0]);

        // An independent reading of the one-enumerator-per-line shape.
        std::istringstream lines(strText);
        std::string strLine;
        size_t n = 0;
        uint32_t uiRunning = 0;
        std::map<std::string, int32_t> seen;
        while (std::getline(lines, strLine)) {
            if (!strLine.empty() && strLine.back() == '\r')
                strLine.pop_back();
            if (strLine.rfind("enum ", 0) == 0)
                uiRunning = 0;
            std::smatch match;
            if (!std::regex_match(strLine, match, enumerator))
                continue;
            std::string strValue = match[3].str();
            uint32_t uiValue = uiRunning;
            if (!strValue.empty() && isdigit(static_cast<unsigned char>(strValue[0])))
                uiValue = static_cast<uint32_t>(std::stoull(strValue, nullptr, 0));
            else if (!strValue.empty())
                uiValue = static_cast<uint32_t>(seen.at(strValue));
            ASSERT_LT(n, defines.size()) << szHeader << ": " << strLine;
            EXPECT_EQ(defines[n], std::make_pair(match[1].str(), static_cast<int32_t>(uiValue))) << szHeader;
            seen[match[1].str()] = static_cast<int32_t>(uiValue);
            uiRunning = uiValue + 1;
            ++n;
        }
        EXPECT_EQ(n, defines.size()) << szHeader;
        EXPECT_GT(n, 100u) << szHeader;
    }
}

// A failure far into a real header names the header by its bare file name and the line.
TEST(DefineHandlers, FailureInBuiltinHeaderNamesFileAndLine)
{
    Strong<Stream> pStream = BuiltinArchive().Open("/GTAInterface/GTAVCEnums.h", false);
    ASSERT_TRUE(pStream);
    std::string strText = ReadAll(pStream);
    // A stray word on line 12, and a bad value further down: the header stops at the first.
    size_t pos = 0;
    for (int i = 1; i < 12; ++i)
        pos = strText.find('\n', pos) + 1;
    strText.insert(pos, "bogus ");
    std::vector<std::string> problems;
    tDefines defines = Process(strText, "GTAVCEnums.h", problems);
    EXPECT_EQ(problems, std::vector<std::string>{"GTAVCEnums.h(12): unexpected identifier 'bogus'"});
    EXPECT_TRUE(defines.empty());

    // A failure inside a later enum keeps every enumerator before it.
    strText.erase(pos, 6);
    pos = strText.find("STATUS_SIMPLE = 2,");
    ASSERT_NE(pos, std::string::npos);
    strText.replace(pos, 18, "STATUS_SIMPLE = -2,");
    defines = Process(strText, "GTAVCEnums.h", problems);
    EXPECT_EQ(problems, std::vector<std::string>{"GTAVCEnums.h(16): unexpected '-'"});
    EXPECT_EQ(defines, (tDefines{{"STATUS_PLAYER", 0}, {"STATUS_PLAYER_PLAYBACKFROMBUFFER", 1}}));
}
