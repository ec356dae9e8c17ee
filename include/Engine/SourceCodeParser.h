// The define-header reader: a C header made only of enum declarations, whose enumerators
// become signed 32-bit constants.
#pragma once

#include <Engine/Lexer.h>

#include <string>
#include <unordered_map>

namespace Torvane3D
{
    class Stream;
    class CDefineHandlers;

    class CSourceCodeParser
    {
    public:
        CSourceCodeParser();

        // A type name usable after ':'. Size 0 marks a modifier ("unsigned"), which needs
        // a sized type after it; the type only validates the declaration.
        void RegisterType(const char* szName, int iSize);

        // Reads the whole stream (encoding from its byte-order mark) and defines its
        // enumerators in order. On an error the message is logged as "file(line): message"
        // and parsing stops; whatever was defined before stays. False on an error.
        bool Assemble(Stream* pStream, const char* szFileName, CDefineHandlers* pHandlers);

    private:
        void ParseEnum();
        void ParseBody();
        void ScanType();
        uint32_t ScanValue();
        void DefineEnumerator(const std::string& strName, uint32_t uiValue);
        // Reads the next token and requires it.
        void Expect(int iToken);
        [[noreturn]] void ExpectFailed(int iGot, int iWanted);
        [[noreturn]] void Unexpected(int iToken);

        CLexer m_Lexer;
        CDefineHandlers* m_pHandlers = nullptr;
        std::unordered_map<std::string, int> m_Types;
        // Every enumerator of this header so far, for values that name an earlier one.
        std::unordered_map<std::string, int32_t> m_Enumerators;
        // What the next enumerator without '=' receives; 32 bits, wrapping.
        uint32_t m_uiValue = 0;
    };
}
