// Tokenizer of the C-like script language shared by the define-header reader and the
// Squirrel compiler. What differs between its users is configuration of each instance:
// the keyword table, the width of integer literals and the hexadecimal digit limit.
#pragma once

#include <Engine/Torvane.h>

#include <string>

namespace Torvane3D
{
    // Token codes. A single-character token is its character code (0..255); 0 is the end
    // of the text. Names of the codes below are in rgpszTokens, indexed by code - TK_FIRST.
    enum eToken : int
    {
        TK_FIRST = 258,
        TK_IDENTIFIER = TK_FIRST,
        TK_STRING_LITERAL,
        TK_INTEGER,
        TK_FLOAT,
        // Keywords.
        TK_WHILE,
        TK_DO,
        TK_IF,
        TK_ELSE,
        TK_BREAK,
        TK_CONTINUE,
        TK_RETURN,
        TK_NULL,
        TK_FUNCTION,
        TK_LOCAL,
        TK_LET,
        TK_FOR,
        TK_FOREACH,
        TK_IN,
        TK_TYPEOF,
        TK_BASE,
        TK_DELETE,
        TK_TRY,
        TK_CATCH,
        TK_THROW,
        TK_CLONE,
        TK_YIELD,
        TK_RESUME,
        TK_SWITCH,
        TK_CASE,
        TK_DEFAULT,
        TK_THIS,
        TK_CLASS,
        TK_EXTENDS,
        TK_CONSTRUCTOR,
        TK_INSTANCEOF,
        TK_TRUE,
        TK_FALSE,
        TK_STATIC,
        TK_ENUM,
        TK_CONST,
        TK___LINE__,
        TK___FILE__,
        TK_RAWCALL,
        TK_END,
        // Multi-character operators.
        TK_EQ,
        TK_NE,
        TK_LE,
        TK_GE,
        TK_AND,
        TK_OR,
        TK_NEWSLOT,
        TK_PLUSEQ,
        TK_MINUSEQ,
        TK_MULEQ,
        TK_DIVEQ,
        TK_MODEQ,
        TK_PLUSPLUS,
        TK_MINUSMINUS,
        TK_SHIFTL,
        TK_SHIFTR,
        TK_USHIFTR,
        TK_3WAYSCMP,
        TK_DOUBLE_COLON,
        TK_VARPARAMS,
        TK_ATTR_OPEN,
        TK_ATTR_CLOSE,
        TK_LAST
    };

    extern const char* const rgpszTokens[TK_LAST - TK_FIRST];

    struct SLexerKeyword
    {
        const char* szName;
        int iToken;
    };

    // Per-instance configuration. The keyword table must outlive the lexer.
    struct SLexerConfig
    {
        const SLexerKeyword* pKeywords;
        size_t nKeywords;
        int iIntegerBits;  // 32 or 64: integer literals are accumulated modulo 2^bits
        int iMaxHexDigits; // more hexadecimal digits fail with "too many digits for an Hex number"
    };

    class CLexer
    {
    public:
        // The define-header language: 39 keywords (with let and end, without local),
        // 32-bit integers, at most 8 hexadecimal digits.
        static const SLexerConfig& DefineHeaderConfig();
        // Squirrel: its own keywords (local, no let/end), 64-bit integers, 16 hex digits.
        static const SLexerConfig& SquirrelConfig();

        explicit CLexer(const SLexerConfig& config = DefineHeaderConfig());

        // The text is not copied: it must stay valid while the lexer runs.
        void SetSource(const char* pText, size_t nLength);

        // Reads the next token and returns its code; 0 at the end of the text.
        // A malformed token fails through Error.
        int Lex();

        int GetToken() const { return m_iToken; }
        // Text of the last identifier or string literal (a byte string; may hold zero bytes).
        const std::string& GetString() const { return m_strValue; }
        // Value of the last integer literal, reduced to the configured width (unsigned).
        int64_t GetInteger() const { return m_iIntValue; }
        double GetFloat() const { return m_fFloatValue; }
        // Line of the read position, from 1.
        int GetLine() const { return m_iLine; }
        // Column of the last character read on the current line.
        int GetColumn() const { return m_iColumn; }
        // Line on which the current token started, and whether a line feed preceded it.
        int GetTokenLine() const { return m_iTokenLine; }
        bool IsNewLineBefore() const { return m_bNewLineBefore; }
        const SLexerConfig& GetConfig() const { return m_Config; }

        // Formats the message into the lexer's 512-byte buffer (a longer one is cut) and
        // abandons the parse by throwing the buffer as a const char*.
        [[noreturn]] void Error(const char* szFormat, ...) TORVANE_PRINTF(2, 3);
        const char* GetErrorMessage() const { return m_szError; }

        // Name of a token for messages: a single character names itself, the others come
        // from rgpszTokens; the end of the text gives "".
        static const char* GetTokenName(int iToken, char (&szBuffer)[2]);

    private:
        int Peek() const { return m_pCur < m_pEnd ? static_cast<unsigned char>(*m_pCur) : -1; }
        int PeekAt(size_t n) const { return n < static_cast<size_t>(m_pEnd - m_pCur) ? static_cast<unsigned char>(m_pCur[n]) : -1; }
        void Next() { ++m_pCur; ++m_iColumn; }
        void NewLine(bool bResetColumn);
        int LexToken();
        int ReadIdentifier();
        int ReadNumber();
        int ReadString(int iDelimiter, bool bVerbatim);
        void ReadEscape();
        void AppendCodePoint(uint32_t uCode);
        void SkipBlockComment();

        SLexerConfig m_Config;
        const char* m_pBegin = nullptr;
        const char* m_pCur = nullptr;
        const char* m_pEnd = nullptr;
        int m_iToken = 0;
        int m_iLine = 1;
        int m_iColumn = 0;
        int m_iTokenLine = 1;
        bool m_bNewLineBefore = false;
        std::string m_strValue;
        int64_t m_iIntValue = 0;
        double m_fFloatValue = 0;
        char m_szError[512] = {};
    };
}
