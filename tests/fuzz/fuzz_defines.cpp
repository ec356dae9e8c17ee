// Fuzzes the define-header reader: byte-order marks and decoding, the tokenizer and the
// enum grammar. Beyond not crashing, every input must end either cleanly or with exactly
// one error line of the form "fuzz.h(line): message" that holds only printable ASCII.
#include <Engine/Context.h>
#include <Engine/DefineHandlers.h>
#include <Engine/Lexer.h>
#include <Engine/Stream.h>

#include <cstdio>
#include <cstring>
#include <string>

using namespace Torvane3D;

namespace
{
    struct CErrorLines : ILogListener
    {
        void OnLogMessage(eLogType level, const char* szText) override
        {
            if (level >= LOG_WARN) {
                ++m_iCount;
                m_strLast = szText;
            }
        }
        int m_iCount = 0;
        std::string m_strLast;
    };

    CErrorLines g_Errors;

    bool IsWellFormed(const std::string& strLine)
    {
        if (strLine.rfind("fuzz.h(", 0) != 0)
            return false;
        size_t pos = 7;
        while (pos < strLine.size() && strLine[pos] >= '0' && strLine[pos] <= '9')
            ++pos;
        if (pos == 7 || strLine.compare(pos, 3, "): ") != 0)
            return false;
        for (unsigned char c : strLine)
            if (c < 0x20 || c >= 0x7F)
                return false;
        return true;
    }
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Every failed parse logs a line; the console copy would only slow the run down.
    if (!freopen("/dev/null", "w", stdout))
        return 0;
    AddLogListener(&g_Errors);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t size)
{
    g_Errors.m_iCount = 0;
    CDefineHandlers handlers;
    CMemoryStream stream(pData, size);
    bool bParsed = handlers.Process(&stream, "fuzz.h");
    if (bParsed ? g_Errors.m_iCount != 0 : g_Errors.m_iCount != 1)
        __builtin_trap();
    if (!bParsed && !IsWellFormed(g_Errors.m_strLast))
        __builtin_trap();
    // Each enumerator takes at least one byte of the text (UTF-16 takes two).
    if (handlers.GetCount() > size)
        __builtin_trap();

    // The tokenizer alone, in the Squirrel configuration too: every token it returns has a name.
    for (const SLexerConfig* pConfig : {&CLexer::DefineHeaderConfig(), &CLexer::SquirrelConfig()}) {
        CLexer lexer(*pConfig);
        lexer.SetSource(reinterpret_cast<const char*>(pData), size);
        try {
            char szBuffer[2];
            for (int iToken; (iToken = lexer.Lex()) != 0;)
                if (!CLexer::GetTokenName(iToken, szBuffer)[0])
                    __builtin_trap();
        } catch (const char* szMessage) {
            if (szMessage != lexer.GetErrorMessage() || !szMessage[0])
                __builtin_trap();
        }
    }
    return 0;
}
