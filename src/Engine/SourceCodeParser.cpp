#include <Engine/SourceCodeParser.h>

#include <Engine/Context.h>
#include <Engine/DefineHandlers.h>
#include <Engine/TextReader.h>

#include <cstdio>

namespace Torvane3D
{
    // Names a token for a message. A byte of a multi-byte character arrives as a token of
    // its own; it is shown as \xNN so the log never receives a broken UTF-8 sequence.
    static const char* TokenName(int iToken, char (&szBuffer)[8])
    {
        if (iToken >= 0x80 && iToken < 0x100) {
            snprintf(szBuffer, sizeof(szBuffer), "\\x%02X", static_cast<unsigned>(iToken));
            return szBuffer;
        }
        char szChar[2];
        const char* szName = CLexer::GetTokenName(iToken, szChar);
        if (szName != szChar)
            return szName;
        szBuffer[0] = szChar[0];
        szBuffer[1] = 0;
        return szBuffer;
    }

    CSourceCodeParser::CSourceCodeParser() : m_Lexer(CLexer::DefineHeaderConfig())
    {
    }

    void CSourceCodeParser::RegisterType(const char* szName, int iSize)
    {
        if (szName)
            m_Types.insert_or_assign(szName, iSize);
    }

    bool CSourceCodeParser::Assemble(Stream* pStream, const char* szFileName, CDefineHandlers* pHandlers)
    {
        if (!szFileName)
            szFileName = "";
        if (!pStream || !pHandlers)
            return false;
        CTextReader reader(pStream);
        const std::string* pText = reader.GetText();
        if (!pText) {
            bool bEncoding = reader.GetEncoding() != TEXT_ENCODING_UTF8 || reader.IsBigEndian();
            LogMessage(LOG_ERROR, "%s(%d): %s", szFileName, 1,
                bEncoding ? "unsupported text encoding" : "text too large");
            return false;
        }
        m_pHandlers = pHandlers;
        m_Enumerators.clear();
        m_Lexer.SetSource(pText->data(), pText->size());
        bool bResult = true;
        try {
            while (int iToken = m_Lexer.Lex()) {
                if (iToken != TK_ENUM)
                    Unexpected(iToken);
                ParseEnum();
            }
        } catch (const char* szMessage) {
            LogMessage(LOG_ERROR, "%s(%d): %s", szFileName, m_Lexer.GetLine(), szMessage);
            bResult = false;
        }
        m_Lexer.SetSource(nullptr, 0);
        m_pHandlers = nullptr;
        return bResult;
    }

    // After the keyword: a name, then a forward declaration or a body with an optional type.
    void CSourceCodeParser::ParseEnum()
    {
        Expect(TK_IDENTIFIER); // the enum's name groups its enumerators; it is no constant
        int iToken = m_Lexer.Lex();
        if (iToken == ';')
            return;
        if (iToken == ':') {
            ScanType();
            Expect('{');
        } else if (iToken != '{') {
            Unexpected(iToken);
        }
        ParseBody();
        Expect(';');
    }

    // Modifiers ask for a further word; the first sized type ends the type.
    void CSourceCodeParser::ScanType()
    {
        for (;;) {
            Expect(TK_IDENTIFIER);
            auto it = m_Types.find(m_Lexer.GetString());
            if (it == m_Types.end())
                Unexpected(TK_IDENTIFIER);
            if (it->second > 0)
                return;
        }
    }

    // From after '{' to the closing '}'.
    void CSourceCodeParser::ParseBody()
    {
        m_uiValue = 0;
        int iToken = m_Lexer.Lex();
        if (iToken == '}')
            return;
        if (iToken != TK_IDENTIFIER)
            Unexpected(iToken);
        std::string strName;
        for (;;) {
            strName = m_Lexer.GetString();
            iToken = m_Lexer.Lex();
            if (iToken == '}') {
                DefineEnumerator(strName, m_uiValue);
                return;
            }
            if (iToken == ',') {
                DefineEnumerator(strName, m_uiValue++);
            } else if (iToken == '=') {
                uint32_t uiValue = ScanValue();
                DefineEnumerator(strName, uiValue);
                m_uiValue = uiValue + 1;
                iToken = m_Lexer.Lex();
                if (iToken == '}')
                    return;
                if (iToken != ',')
                    ExpectFailed(iToken, ',');
            } else {
                // Anything else after a name is reported rather than skipped.
                Unexpected(iToken);
            }
            iToken = m_Lexer.Lex();
            if (iToken == '}')
                return;
            if (iToken != TK_IDENTIFIER)
                Unexpected(iToken);
        }
    }

    // The value after '=': an integer literal (its 32 bits), or an earlier enumerator.
    uint32_t CSourceCodeParser::ScanValue()
    {
        int iToken = m_Lexer.Lex();
        if (iToken == TK_INTEGER)
            return static_cast<uint32_t>(m_Lexer.GetInteger());
        if (iToken == TK_IDENTIFIER) {
            auto it = m_Enumerators.find(m_Lexer.GetString());
            if (it != m_Enumerators.end())
                return static_cast<uint32_t>(it->second);
        }
        Unexpected(iToken);
    }

    void CSourceCodeParser::DefineEnumerator(const std::string& strName, uint32_t uiValue)
    {
        int32_t iValue = static_cast<int32_t>(uiValue);
        m_pHandlers->Define(strName.c_str(), iValue);
        m_Enumerators.insert_or_assign(strName, iValue);
    }

    void CSourceCodeParser::Expect(int iToken)
    {
        int iGot = m_Lexer.Lex();
        if (iGot != iToken)
            ExpectFailed(iGot, iToken);
    }

    void CSourceCodeParser::ExpectFailed(int iGot, int iWanted)
    {
        char szGot[8], szWanted[8];
        m_Lexer.Error("got '%s' expected '%s'", TokenName(iGot, szGot), TokenName(iWanted, szWanted));
    }

    void CSourceCodeParser::Unexpected(int iToken)
    {
        if (iToken == TK_IDENTIFIER)
            m_Lexer.Error("unexpected identifier '%s'", m_Lexer.GetString().c_str());
        char szName[8];
        m_Lexer.Error("unexpected '%s'", TokenName(iToken, szName));
    }
}
