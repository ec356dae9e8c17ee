#include <Engine/Lexer.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

using namespace Torvane3D;

namespace
{
    enum eConfig
    {
        DEFINE,
        SQUIRREL
    };

    const SLexerConfig& ConfigOf(eConfig e)
    {
        return e == DEFINE ? CLexer::DefineHeaderConfig() : CLexer::SquirrelConfig();
    }

    // Token codes of a whole text; an error ends the list with -1 and fills szError/iLine.
    std::vector<int> Tokens(eConfig config, const std::string& strText, std::string* pError = nullptr, int* pLine = nullptr,
                            int* pColumn = nullptr)
    {
        CLexer lexer(ConfigOf(config));
        lexer.SetSource(strText.data(), strText.size());
        std::vector<int> tokens;
        try {
            while (int t = lexer.Lex())
                tokens.push_back(t);
        } catch (const char* szMessage) {
            tokens.push_back(-1);
            if (pError)
                *pError = szMessage;
        }
        if (pLine)
            *pLine = lexer.GetLine();
        if (pColumn)
            *pColumn = lexer.GetColumn();
        return tokens;
    }

    std::string Name(int iToken)
    {
        char buffer[2];
        return CLexer::GetTokenName(iToken, buffer);
    }
}

TEST(Lexer, OperatorsAndPunctuation)
{
    struct Case
    {
        const char* szText;
        std::vector<int> tokens;
    };
    const Case cases[] = {
        {"== != <= >= && ||", {TK_EQ, TK_NE, TK_LE, TK_GE, TK_AND, TK_OR}},
        {"<- += -= *= /= %=", {TK_NEWSLOT, TK_PLUSEQ, TK_MINUSEQ, TK_MULEQ, TK_DIVEQ, TK_MODEQ}},
        {"++ -- << >> >>> <=>", {TK_PLUSPLUS, TK_MINUSMINUS, TK_SHIFTL, TK_SHIFTR, TK_USHIFTR, TK_3WAYSCMP}},
        {":: ... </ />", {TK_DOUBLE_COLON, TK_VARPARAMS, TK_ATTR_OPEN, TK_ATTR_CLOSE}},
        {"a<-1", {TK_IDENTIFIER, TK_NEWSLOT, TK_INTEGER}},
        {"x+++y", {TK_IDENTIFIER, TK_PLUSPLUS, '+', TK_IDENTIFIER}},
        {"{}()[];,?:.=<>!&|^~+-*/%@$`\\", {'{', '}', '(', ')', '[', ']', ';', ',', '?', ':', '.', '=', '<', '>', '!', '&', '|',
                                             '^', '~', '+', '-', '*', '/', '%', '@', '$', '`', '\\'}},
        {"a // comment\nb /* multi\nline */ c # line\nd", {TK_IDENTIFIER, TK_IDENTIFIER, TK_IDENTIFIER, TK_IDENTIFIER}},
        {"#pragma once\n#include <inttypes.h>\nenum", {TK_ENUM}},
        {"\xC3\xA9", {0xC3, 0xA9}},
        {"", {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Tokens(DEFINE, c.szText), c.tokens) << c.szText;
        EXPECT_EQ(Tokens(SQUIRREL, c.szText), c.tokens) << c.szText;
    }
}

TEST(Lexer, KeywordTablesPerConfiguration)
{
    const SLexerConfig& define = CLexer::DefineHeaderConfig();
    EXPECT_EQ(define.nKeywords, 39u);
    EXPECT_EQ(define.iIntegerBits, 32);
    EXPECT_EQ(define.iMaxHexDigits, 8);
    const SLexerConfig& squirrel = CLexer::SquirrelConfig();
    EXPECT_EQ(squirrel.iIntegerBits, 64);

    struct Case
    {
        const char* szWord;
        int iDefine;
        int iSquirrel;
    };
    const Case cases[] = {
        {"let", TK_LET, TK_IDENTIFIER},          {"end", TK_END, TK_IDENTIFIER},
        {"local", TK_IDENTIFIER, TK_LOCAL},      {"enum", TK_ENUM, TK_ENUM},
        {"__LINE__", TK___LINE__, TK___LINE__},  {"rawcall", TK_RAWCALL, TK_RAWCALL},
        {"constructor", TK_CONSTRUCTOR, TK_CONSTRUCTOR}, {"Enum", TK_IDENTIFIER, TK_IDENTIFIER},
        {"enumx", TK_IDENTIFIER, TK_IDENTIFIER}, {"_a1", TK_IDENTIFIER, TK_IDENTIFIER},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Tokens(DEFINE, c.szWord), std::vector<int>{c.iDefine}) << c.szWord;
        EXPECT_EQ(Tokens(SQUIRREL, c.szWord), std::vector<int>{c.iSquirrel}) << c.szWord;
    }
    // Every define keyword lexes as a keyword, and is named in messages as the table says.
    for (size_t i = 0; i < define.nKeywords; ++i)
        EXPECT_NE(Tokens(DEFINE, define.pKeywords[i].szName)[0], TK_IDENTIFIER) << define.pKeywords[i].szName;
}

TEST(Lexer, TokenNames)
{
    struct Case
    {
        int iToken;
        const char* szName;
    };
    const Case cases[] = {
        {TK_IDENTIFIER, "identifier"}, {TK_STRING_LITERAL, "string"}, {TK_INTEGER, "integer"}, {TK_FLOAT, "float"},
        {TK_ENUM, "TK_ENUM"},          {TK_IF, "TK_IF"},              {TK___LINE__, "TK___LINE__"},
        {TK_BASE, "base"},             {TK_DELETE, "delete"},         {TK_LET, "let"},
        {TK_YIELD, "yield"},           {TK_END, "end"},               {TK_DEFAULT, "TK_DEFAULT"},
        {TK_IN, "TK_IN"},              {TK_EQ, "TK_EQ"},              {TK_NEWSLOT, "TK_NEWSLOT"},
        {TK_USHIFTR, "TK_USHIFTR"},    {TK_3WAYSCMP, "TK_3WAYSCMP"},  {TK_DOUBLE_COLON, "TK_DOUBLE_COLON"},
        {TK_VARPARAMS, "TK_VARPARAMS"}, {TK_ATTR_OPEN, "TK_ATTR_OPEN"}, {TK_ATTR_CLOSE, "TK_ATTR_CLOSE"},
        {'{', "{"},                    {'-', "-"},                    {0, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Name(c.iToken), c.szName);
}

TEST(Lexer, IntegerLiteralsInBothWidths)
{
    struct Case
    {
        const char* szText;
        int64_t iDefine;
        int64_t iSquirrel;
    };
    const Case cases[] = {
        {"0", 0, 0},
        {"123456789012", 123456789012 & 0xFFFFFFFF, 123456789012},
        {"4294967296", 0, 4294967296},
        {"0xFFFFFFFF", 0xFFFFFFFF, 0xFFFFFFFF},
        {"0x80000000", 0x80000000, 0x80000000},
        {"0x", 0, 0},
        {"077", 63, 63},
        {"08", 8, 8},
        {"09", 9, 9},
        {"'a'", 97, 97},
        {"'\\n'", 10, 10},
        {"'\\x41'", 65, 65},
        {"'\\0'", 0, 0},
        {"'\\''", 39, 39},
        {"'\\xff'", 0xFFFFFFFF, -1},
        {"9223372036854775808", 0, INT64_MIN},
        {"18446744073709551615", 0xFFFFFFFF, -1},
    };
    for (const Case& c : cases) {
        for (eConfig e : {DEFINE, SQUIRREL}) {
            CLexer lexer(ConfigOf(e));
            lexer.SetSource(c.szText, strlen(c.szText));
            ASSERT_EQ(lexer.Lex(), TK_INTEGER) << c.szText;
            EXPECT_EQ(lexer.GetInteger(), e == DEFINE ? c.iDefine : c.iSquirrel) << c.szText;
            EXPECT_EQ(lexer.Lex(), 0) << c.szText;
        }
    }
    // 16 hexadecimal digits are fine for Squirrel only.
    std::string strError;
    EXPECT_EQ(Tokens(DEFINE, "0x123456789", &strError).back(), -1);
    EXPECT_EQ(strError, "too many digits for an Hex number");
    EXPECT_EQ(Tokens(SQUIRREL, "0xFFFFFFFFFFFFFFFF"), std::vector<int>{TK_INTEGER});
    EXPECT_EQ(Tokens(SQUIRREL, "0x1FFFFFFFFFFFFFFFF", &strError).back(), -1);
    EXPECT_EQ(strError, "too many digits for an Hex number");
}

TEST(Lexer, FloatLiterals)
{
    struct Case
    {
        const char* szText;
        double fValue;
        std::vector<int> tokens;
    };
    const Case cases[] = {
        {"1.5", 1.5, {TK_FLOAT}},
        {"1.", 1.0, {TK_FLOAT}},
        {"1.e2", 100.0, {TK_FLOAT}},
        {"1e+2", 100.0, {TK_FLOAT}},
        {"1E2", 100.0, {TK_FLOAT}},
        {"2e-1", 0.2, {TK_FLOAT}},
        {"1.2.3", 1.2, {TK_FLOAT}},
        {"1..2", 1.0, {TK_FLOAT}},
        {"1e400", HUGE_VAL, {TK_FLOAT}},
        {"1e-400", 0.0, {TK_FLOAT}},
        {"1f", 0, {TK_INTEGER, TK_IDENTIFIER}},
        {".5", 0, {'.', TK_INTEGER}},
    };
    for (const Case& c : cases) {
        CLexer lexer(CLexer::SquirrelConfig());
        lexer.SetSource(c.szText, strlen(c.szText));
        std::vector<int> tokens;
        while (int t = lexer.Lex()) {
            tokens.push_back(t);
            if (t == TK_FLOAT) {
                EXPECT_DOUBLE_EQ(lexer.GetFloat(), c.fValue) << c.szText;
            }
        }
        EXPECT_EQ(tokens, c.tokens) << c.szText;
    }
}

TEST(Lexer, StringLiteralsAndEscapes)
{
    struct Case
    {
        const char* szText;
        std::string strValue;
    };
    const Case cases[] = {
        {"\"abc\"", "abc"},
        {"\"\\t\\a\\b\\n\\r\\v\\f\"", "\t\a\b\n\r\v\f"},
        {"\"a\\0b\"", std::string("a\0b", 3)},
        {"\"\\\\\\\"\\'\"", "\\\"'"},
        {"\"\\x41\\x4a2\"", "AJ2"},
        {"\"\\x7\"", "\x07"},
        {"\"\\u00e9\"", "\xC3\xA9"},
        {"\"\\u20AC\"", "\xE2\x82\xAC"},
        {"\"\\U0001F600\"", "\xF0\x9F\x98\x80"},
        {"\"\\u41\"", "A"},
        {"@\"a\\nb\"", "a\\nb"},
        {"@\"say \"\"hi\"\"\"", "say \"hi\""},
        {"@\"two\nlines\"", "two\nlines"},
        {"\"\"", ""},
    };
    for (const Case& c : cases) {
        for (eConfig e : {DEFINE, SQUIRREL}) {
            CLexer lexer(ConfigOf(e));
            lexer.SetSource(c.szText, strlen(c.szText));
            ASSERT_EQ(lexer.Lex(), TK_STRING_LITERAL) << c.szText;
            EXPECT_EQ(lexer.GetString(), c.strValue) << c.szText;
            EXPECT_EQ(lexer.Lex(), 0);
        }
    }
}

TEST(Lexer, ErrorsWithLineNumbers)
{
    struct Case
    {
        const char* szText;
        const char* szMessage;
        int iLine;
    };
    const Case cases[] = {
        {"/* open", "missing \"*/\" in comment", 1},
        {"a\n/* open\n\n", "missing \"*/\" in comment", 4},
        {"0x123456789", "too many digits for an Hex number", 1},
        {"\n\n0779", "invalid octal number", 3},
        {"''", "empty constant", 1},
        {"'ab'", "constant too long", 1},
        {"1e", "exponent expected", 1},
        {"1e+;", "exponent expected", 1},
        {"\"abc", "unfinished string", 1},
        {"@\"abc\n", "unfinished string", 2},
        {"\n\"line\nbreak\"", "newline in a constant", 2},
        {"\"bad\\q\"", "unrecognised escaper char", 1},
        {"\"\\x\"", "hexadecimal number expected", 1},
        {"\"\\xZZ\"", "hexadecimal number expected", 1},
        {"\"\\u\"", "hexadecimal number expected", 1},
        {"'\\x'", "hexadecimal number expected", 1},
        {"a..b", "invalid token '..'", 1},
        {"a\n\x01", "unexpected character(control)", 2},
        {"\x7f", "unexpected character(control)", 1},
        {"\v", "unexpected character(control)", 1},
    };
    for (const Case& c : cases) {
        std::string strError;
        int iLine = 0;
        std::vector<int> tokens = Tokens(DEFINE, c.szText, &strError, &iLine);
        ASSERT_FALSE(tokens.empty()) << c.szText;
        EXPECT_EQ(tokens.back(), -1) << c.szText;
        EXPECT_EQ(strError, c.szMessage) << c.szText;
        EXPECT_EQ(iLine, c.iLine) << c.szText;
    }
}

TEST(Lexer, LongErrorMessageIsCut)
{
    CLexer lexer;
    std::string strLong(2000, 'x');
    try {
        lexer.Error("unexpected identifier '%s'", strLong.c_str());
        FAIL();
    } catch (const char* szMessage) {
        EXPECT_EQ(strlen(szMessage), 511u);
        EXPECT_EQ(szMessage, lexer.GetErrorMessage());
    }
}

TEST(Lexer, LinesColumnsAndNewLineFlag)
{
    // Columns: the last character read on the line; after a line feed counting restarts at 1,
    // while a line feed inside a block comment or verbatim string only advances the line.
    struct Case
    {
        const char* szText;
        int iTokens; // tokens to read
        int iLine;
        int iColumn;
    };
    const Case cases[] = {
        {"local x = ;", 4, 1, 11},
        {"local x = ==", 4, 1, 12},
        {"local x = else", 4, 1, 14},
        {"local a = 1;\nlocal x = ;", 9, 2, 12},
        {"local a = 1; /* multi\nline */ local x = ;", 9, 2, 41},
        {"local x = 1 +\n", 6, 2, 1},
        {"local x = 1 +", 6, 1, 13},
        {"a\r\nb", 2, 2, 2},
    };
    for (const Case& c : cases) {
        CLexer lexer(CLexer::SquirrelConfig());
        lexer.SetSource(c.szText, strlen(c.szText));
        for (int i = 0; i < c.iTokens; ++i)
            lexer.Lex();
        EXPECT_EQ(lexer.GetLine(), c.iLine) << c.szText;
        EXPECT_EQ(lexer.GetColumn(), c.iColumn) << c.szText;
    }

    CLexer lexer(CLexer::SquirrelConfig());
    const char* szText = "a b\n  c";
    lexer.SetSource(szText, strlen(szText));
    lexer.Lex();
    EXPECT_FALSE(lexer.IsNewLineBefore());
    lexer.Lex();
    EXPECT_FALSE(lexer.IsNewLineBefore());
    EXPECT_EQ(lexer.GetString(), "b");
    lexer.Lex();
    EXPECT_TRUE(lexer.IsNewLineBefore());
    EXPECT_EQ(lexer.GetTokenLine(), 2);
}
