#include <Engine/Lexer.h>

#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace Torvane3D
{
    const char* const rgpszTokens[TK_LAST - TK_FIRST] = {
        "identifier", "string", "integer", "float",
        "TK_WHILE", "TK_DO", "TK_IF", "TK_ELSE", "TK_BREAK", "TK_CONTINUE", "TK_RETURN", "TK_NULL",
        "TK_FUNCTION", "TK_LOCAL", "let", "TK_FOR", "TK_FOREACH", "TK_IN", "TK_TYPEOF", "base", "delete",
        "TK_TRY", "TK_CATCH", "TK_THROW", "TK_CLONE", "yield", "TK_RESUME", "TK_SWITCH", "TK_CASE",
        "TK_DEFAULT", "TK_THIS", "TK_CLASS", "TK_EXTENDS", "TK_CONSTRUCTOR", "TK_INSTANCEOF", "TK_TRUE",
        "TK_FALSE", "TK_STATIC", "TK_ENUM", "TK_CONST", "TK___LINE__", "TK___FILE__", "TK_RAWCALL", "end",
        "TK_EQ", "TK_NE", "TK_LE", "TK_GE", "TK_AND", "TK_OR", "TK_NEWSLOT", "TK_PLUSEQ", "TK_MINUSEQ",
        "TK_MULEQ", "TK_DIVEQ", "TK_MODEQ", "TK_PLUSPLUS", "TK_MINUSMINUS", "TK_SHIFTL", "TK_SHIFTR",
        "TK_USHIFTR", "TK_3WAYSCMP", "TK_DOUBLE_COLON", "TK_VARPARAMS", "TK_ATTR_OPEN", "TK_ATTR_CLOSE",
    };

    static const SLexerKeyword g_DefineKeywords[] = {
        {"while", TK_WHILE}, {"do", TK_DO}, {"if", TK_IF}, {"else", TK_ELSE}, {"break", TK_BREAK},
        {"continue", TK_CONTINUE}, {"return", TK_RETURN}, {"null", TK_NULL}, {"function", TK_FUNCTION},
        {"let", TK_LET}, {"for", TK_FOR}, {"foreach", TK_FOREACH}, {"in", TK_IN}, {"typeof", TK_TYPEOF},
        {"base", TK_BASE}, {"delete", TK_DELETE}, {"try", TK_TRY}, {"catch", TK_CATCH}, {"throw", TK_THROW},
        {"clone", TK_CLONE}, {"yield", TK_YIELD}, {"resume", TK_RESUME}, {"switch", TK_SWITCH},
        {"case", TK_CASE}, {"default", TK_DEFAULT}, {"this", TK_THIS}, {"class", TK_CLASS},
        {"extends", TK_EXTENDS}, {"constructor", TK_CONSTRUCTOR}, {"instanceof", TK_INSTANCEOF},
        {"true", TK_TRUE}, {"false", TK_FALSE}, {"static", TK_STATIC}, {"enum", TK_ENUM}, {"const", TK_CONST},
        {"__LINE__", TK___LINE__}, {"__FILE__", TK___FILE__}, {"rawcall", TK_RAWCALL}, {"end", TK_END},
    };
    static_assert(sizeof(g_DefineKeywords) / sizeof(g_DefineKeywords[0]) == 39);

    static const SLexerKeyword g_SquirrelKeywords[] = {
        {"while", TK_WHILE}, {"do", TK_DO}, {"if", TK_IF}, {"else", TK_ELSE}, {"break", TK_BREAK},
        {"continue", TK_CONTINUE}, {"return", TK_RETURN}, {"null", TK_NULL}, {"function", TK_FUNCTION},
        {"local", TK_LOCAL}, {"for", TK_FOR}, {"foreach", TK_FOREACH}, {"in", TK_IN}, {"typeof", TK_TYPEOF},
        {"base", TK_BASE}, {"delete", TK_DELETE}, {"try", TK_TRY}, {"catch", TK_CATCH}, {"throw", TK_THROW},
        {"clone", TK_CLONE}, {"yield", TK_YIELD}, {"resume", TK_RESUME}, {"switch", TK_SWITCH},
        {"case", TK_CASE}, {"default", TK_DEFAULT}, {"this", TK_THIS}, {"class", TK_CLASS},
        {"extends", TK_EXTENDS}, {"constructor", TK_CONSTRUCTOR}, {"instanceof", TK_INSTANCEOF},
        {"true", TK_TRUE}, {"false", TK_FALSE}, {"static", TK_STATIC}, {"enum", TK_ENUM}, {"const", TK_CONST},
        {"__LINE__", TK___LINE__}, {"__FILE__", TK___FILE__}, {"rawcall", TK_RAWCALL},
    };

    const SLexerConfig& CLexer::DefineHeaderConfig()
    {
        static const SLexerConfig config = {g_DefineKeywords, sizeof(g_DefineKeywords) / sizeof(g_DefineKeywords[0]), 32, 8};
        return config;
    }

    const SLexerConfig& CLexer::SquirrelConfig()
    {
        static const SLexerConfig config = {g_SquirrelKeywords, sizeof(g_SquirrelKeywords) / sizeof(g_SquirrelKeywords[0]), 64, 16};
        return config;
    }

    static bool IsDigit(int c) { return c >= '0' && c <= '9'; }
    static bool IsAlpha(int c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
    static bool IsControl(int c) { return (c >= 0 && c < 32) || c == 127; }
    static int HexValue(int c)
    {
        if (IsDigit(c))
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    CLexer::CLexer(const SLexerConfig& config) : m_Config(config)
    {
    }

    void CLexer::SetSource(const char* pText, size_t nLength)
    {
        m_pBegin = m_pCur = pText;
        m_pEnd = pText + nLength;
        m_iToken = 0;
        m_iLine = 1;
        m_iColumn = 0;
        m_iTokenLine = 1;
        m_bNewLineBefore = false;
    }

    void CLexer::Error(const char* szFormat, ...)
    {
        va_list args;
        va_start(args, szFormat);
        vsnprintf(m_szError, sizeof(m_szError), szFormat, args);
        va_end(args);
        throw static_cast<const char*>(m_szError);
    }

    const char* CLexer::GetTokenName(int iToken, char (&szBuffer)[2])
    {
        if (iToken > 0 && iToken < 256) {
            szBuffer[0] = static_cast<char>(iToken);
            szBuffer[1] = 0;
            return szBuffer;
        }
        if (iToken >= TK_FIRST && iToken < TK_LAST)
            return rgpszTokens[iToken - TK_FIRST];
        return "";
    }

    // A line feed outside literals and comments starts the column count again; inside a
    // block comment or a verbatim string only the line advances.
    void CLexer::NewLine(bool bResetColumn)
    {
        ++m_iLine;
        if (bResetColumn)
            m_iColumn = 1;
    }

    int CLexer::Lex()
    {
        m_bNewLineBefore = false;
        m_iToken = LexToken();
        return m_iToken;
    }

    int CLexer::LexToken()
    {
        for (;;) {
            m_iTokenLine = m_iLine;
            int c = Peek();
            switch (c) {
            case -1:
                return 0;
            case '\n':
                Next();
                NewLine(true);
                m_bNewLineBefore = true;
                continue;
            case '\r':
                ++m_pCur; // carriage returns take no column
                continue;
            case ' ':
            case '\t':
                Next();
                continue;
            case '#':
                while (Peek() != -1 && Peek() != '\n')
                    Next();
                continue;
            case '/':
                Next();
                switch (Peek()) {
                case '/':
                    while (Peek() != -1 && Peek() != '\n')
                        Next();
                    continue;
                case '*':
                    Next();
                    SkipBlockComment();
                    continue;
                case '=':
                    Next();
                    return TK_DIVEQ;
                case '>':
                    Next();
                    return TK_ATTR_CLOSE;
                default:
                    return '/';
                }
            case '=':
                Next();
                if (Peek() == '=') {
                    Next();
                    return TK_EQ;
                }
                return '=';
            case '<':
                Next();
                switch (Peek()) {
                case '=':
                    Next();
                    if (Peek() == '>') {
                        Next();
                        return TK_3WAYSCMP;
                    }
                    return TK_LE;
                case '-':
                    Next();
                    return TK_NEWSLOT;
                case '<':
                    Next();
                    return TK_SHIFTL;
                case '/':
                    Next();
                    return TK_ATTR_OPEN;
                default:
                    return '<';
                }
            case '>':
                Next();
                if (Peek() == '=') {
                    Next();
                    return TK_GE;
                }
                if (Peek() == '>') {
                    Next();
                    if (Peek() == '>') {
                        Next();
                        return TK_USHIFTR;
                    }
                    return TK_SHIFTR;
                }
                return '>';
            case '!':
                Next();
                if (Peek() == '=') {
                    Next();
                    return TK_NE;
                }
                return '!';
            case '@':
                Next();
                if (Peek() != '"')
                    return '@';
                if (ReadString('"', true) != TK_STRING_LITERAL)
                    Error("error parsing the string");
                return TK_STRING_LITERAL;
            case '"':
            case '\'':
                return ReadString(c, false);
            case '{': case '}': case '(': case ')': case '[': case ']': case ';': case ',': case '?':
            case '^': case '~':
                Next();
                return c;
            case '.':
                Next();
                if (Peek() != '.')
                    return '.';
                Next();
                if (Peek() != '.')
                    Error("invalid token '..'");
                Next();
                return TK_VARPARAMS;
            case '&':
                Next();
                if (Peek() == '&') {
                    Next();
                    return TK_AND;
                }
                return '&';
            case '|':
                Next();
                if (Peek() == '|') {
                    Next();
                    return TK_OR;
                }
                return '|';
            case ':':
                Next();
                if (Peek() == ':') {
                    Next();
                    return TK_DOUBLE_COLON;
                }
                return ':';
            case '*':
                Next();
                if (Peek() == '=') {
                    Next();
                    return TK_MULEQ;
                }
                return '*';
            case '%':
                Next();
                if (Peek() == '=') {
                    Next();
                    return TK_MODEQ;
                }
                return '%';
            case '-':
                Next();
                if (Peek() == '=') {
                    Next();
                    return TK_MINUSEQ;
                }
                if (Peek() == '-') {
                    Next();
                    return TK_MINUSMINUS;
                }
                return '-';
            case '+':
                Next();
                if (Peek() == '=') {
                    Next();
                    return TK_PLUSEQ;
                }
                if (Peek() == '+') {
                    Next();
                    return TK_PLUSPLUS;
                }
                return '+';
            default:
                if (IsDigit(c))
                    return ReadNumber();
                if (IsAlpha(c) || c == '_')
                    return ReadIdentifier();
                if (IsControl(c))
                    Error("unexpected character(control)");
                Next();
                return c;
            }
        }
    }

    void CLexer::SkipBlockComment()
    {
        for (;;) {
            int c = Peek();
            if (c == -1)
                Error("missing \"*/\" in comment");
            Next();
            if (c == '*' && Peek() == '/') {
                Next();
                return;
            }
            if (c == '\n')
                NewLine(false);
        }
    }

    int CLexer::ReadIdentifier()
    {
        const char* pStart = m_pCur;
        while (IsAlpha(Peek()) || IsDigit(Peek()) || Peek() == '_')
            Next();
        size_t nLength = static_cast<size_t>(m_pCur - pStart);
        m_strValue.assign(pStart, nLength);
        for (size_t i = 0; i < m_Config.nKeywords; ++i) {
            const char* szName = m_Config.pKeywords[i].szName;
            if (szName[0] == pStart[0] && strlen(szName) == nLength && memcmp(szName, pStart, nLength) == 0)
                return m_Config.pKeywords[i].iToken;
        }
        return TK_IDENTIFIER;
    }

    int CLexer::ReadNumber()
    {
        const uint64_t uMask = m_Config.iIntegerBits >= 64 ? ~uint64_t(0) : (uint64_t(1) << m_Config.iIntegerBits) - 1;
        uint64_t uValue = 0;
        if (Peek() == '0' && (PeekAt(1) == 'x' || PeekAt(1) == 'X')) {
            Next();
            Next();
            int nDigits = 0;
            for (int d; (d = HexValue(Peek())) >= 0; Next(), ++nDigits)
                uValue = (uValue << 4) | static_cast<uint64_t>(d);
            if (nDigits > m_Config.iMaxHexDigits)
                Error("too many digits for an Hex number");
            m_iIntValue = static_cast<int64_t>(uValue & uMask);
            return TK_INTEGER;
        }
        if (Peek() == '0' && PeekAt(1) >= '0' && PeekAt(1) <= '7') {
            Next();
            while (IsDigit(Peek())) {
                if (Peek() > '7')
                    Error("invalid octal number");
                uValue = (uValue << 3) | static_cast<uint64_t>(Peek() - '0');
                Next();
            }
            m_iIntValue = static_cast<int64_t>(uValue & uMask);
            return TK_INTEGER;
        }
        // Decimal: digits and dots are taken greedily; the value is the longest valid prefix,
        // so "1.2.3" reads as 1.2.
        const char* pStart = m_pCur;
        bool bFloat = false;
        while (IsDigit(Peek()) || Peek() == '.') {
            if (Peek() == '.')
                bFloat = true;
            else if (!bFloat)
                uValue = uValue * 10 + static_cast<uint64_t>(Peek() - '0');
            Next();
        }
        if (Peek() == 'e' || Peek() == 'E') {
            bFloat = true;
            Next();
            if (Peek() == '+' || Peek() == '-')
                Next();
            if (!IsDigit(Peek()))
                Error("exponent expected");
            while (IsDigit(Peek()))
                Next();
        }
        if (!bFloat) {
            m_iIntValue = static_cast<int64_t>(uValue & uMask);
            return TK_INTEGER;
        }
        double fValue = 0;
        auto result = std::from_chars(pStart, m_pCur, fValue);
        if (result.ec == std::errc::result_out_of_range) {
            // Too large or too small for a double: infinity, or zero for a negative exponent.
            const char* pExp = pStart;
            while (pExp < m_pCur && *pExp != 'e' && *pExp != 'E')
                ++pExp;
            bool bNegativeExp = pExp + 1 < m_pCur && pExp[1] == '-';
            fValue = bNegativeExp ? 0.0 : HUGE_VAL;
        }
        m_fFloatValue = fValue;
        return TK_FLOAT;
    }

    void CLexer::AppendCodePoint(uint32_t uCode)
    {
        if (uCode < 0x80) {
            m_strValue += static_cast<char>(uCode);
            return;
        }
        // Classic UTF-8 with up to six bytes, so every value an escape can give is encoded.
        int nBytes = uCode < 0x800 ? 2 : uCode < 0x10000 ? 3 : uCode < 0x200000 ? 4 : uCode < 0x4000000 ? 5 : 6;
        static const unsigned char s_ucLead[7] = {0, 0, 0xC0, 0xE0, 0xF0, 0xF8, 0xFC};
        char buffer[6];
        for (int i = nBytes - 1; i > 0; --i) {
            buffer[i] = static_cast<char>(0x80 | (uCode & 0x3F));
            uCode >>= 6;
        }
        buffer[0] = static_cast<char>(s_ucLead[nBytes] | uCode);
        m_strValue.append(buffer, static_cast<size_t>(nBytes));
    }

    void CLexer::ReadEscape()
    {
        Next(); // the backslash
        int c = Peek();
        int nMaxDigits = 0;
        switch (c) {
        case -1:
            Error("unfinished string");
        case 't': m_strValue += '\t'; break;
        case 'a': m_strValue += '\a'; break;
        case 'b': m_strValue += '\b'; break;
        case 'n': m_strValue += '\n'; break;
        case 'r': m_strValue += '\r'; break;
        case 'v': m_strValue += '\v'; break;
        case 'f': m_strValue += '\f'; break;
        case '0': m_strValue += '\0'; break;
        case '\\': case '"': case '\'':
            m_strValue += static_cast<char>(c);
            break;
        case 'x': nMaxDigits = 2; break;
        case 'u': nMaxDigits = 4; break;
        case 'U': nMaxDigits = 8; break;
        default:
            Error("unrecognised escaper char");
        }
        Next();
        if (nMaxDigits == 0)
            return;
        if (HexValue(Peek()) < 0)
            Error("hexadecimal number expected");
        uint32_t uCode = 0;
        for (int i = 0, d; i < nMaxDigits && (d = HexValue(Peek())) >= 0; ++i, Next())
            uCode = (uCode << 4) | static_cast<uint32_t>(d);
        if (c == 'x')
            m_strValue += static_cast<char>(uCode);
        else
            AppendCodePoint(uCode);
    }

    int CLexer::ReadString(int iDelimiter, bool bVerbatim)
    {
        Next(); // the opening delimiter
        m_strValue.clear();
        for (;;) {
            int c = Peek();
            if (c == -1)
                Error("unfinished string");
            if (c == iDelimiter) {
                Next();
                if (bVerbatim && Peek() == iDelimiter) {
                    m_strValue += static_cast<char>(c);
                    Next();
                    continue;
                }
                break;
            }
            if (c == '\n') {
                if (!bVerbatim)
                    Error("newline in a constant");
                m_strValue += '\n';
                Next();
                NewLine(false);
                continue;
            }
            if (c == '\\' && !bVerbatim) {
                ReadEscape();
                continue;
            }
            m_strValue += static_cast<char>(c);
            Next();
        }
        if (iDelimiter == '"')
            return TK_STRING_LITERAL;
        // A character constant is an integer with the (signed) code of its one character.
        if (m_strValue.empty())
            Error("empty constant");
        if (m_strValue.size() > 1)
            Error("constant too long");
        const uint64_t uMask = m_Config.iIntegerBits >= 64 ? ~uint64_t(0) : (uint64_t(1) << m_Config.iIntegerBits) - 1;
        int64_t iCode = static_cast<signed char>(m_strValue[0]);
        m_iIntValue = static_cast<int64_t>(static_cast<uint64_t>(iCode) & uMask);
        return TK_INTEGER;
    }
}
