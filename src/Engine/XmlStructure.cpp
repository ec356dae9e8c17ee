#include <Engine/XmlStructure.h>

#include <string>
#include <vector>

namespace Torvane3D
{
    // The parser looks for a repeated name among an element's attributes one by one.
    static constexpr int MAX_ATTRIBUTES = 1024;

    bool IsValidUTF8(std::string_view text)
    {
        const unsigned char* p = reinterpret_cast<const unsigned char*>(text.data());
        size_t n = text.size();
        for (size_t i = 0; i < n;) {
            unsigned char c = p[i];
            if (c < 0x80) {
                i++;
                continue;
            }
            size_t length;
            unsigned char lowest = 0x80, highest = 0xBF; // range of the second byte
            if (c >= 0xC2 && c <= 0xDF) {
                length = 2;
            } else if (c >= 0xE0 && c <= 0xEF) {
                length = 3;
                if (c == 0xE0)
                    lowest = 0xA0; // overlong
                else if (c == 0xED)
                    highest = 0x9F; // surrogates
            } else if (c >= 0xF0 && c <= 0xF4) {
                length = 4;
                if (c == 0xF0)
                    lowest = 0x90;
                else if (c == 0xF4)
                    highest = 0x8F;
            } else {
                return false;
            }
            if (length > n - i || p[i + 1] < lowest || p[i + 1] > highest)
                return false;
            for (size_t k = 2; k < length; k++) {
                if ((p[i + k] & 0xC0) != 0x80)
                    return false;
            }
            i += length;
        }
        return true;
    }

    namespace
    {
        class CXmlScanner
        {
        public:
            CXmlScanner(std::string_view text, int iMaxDepth) : m_Text(text), m_iMaxDepth(iMaxDepth) {}

            bool Run();
            const tXmlStructure& GetInfo() const { return m_Info; }

        private:
            static bool IsSpace(unsigned char c)
            {
                return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
            }
            static bool IsAlpha(unsigned char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
            static bool IsDigit(unsigned char c) { return c >= '0' && c <= '9'; }
            static bool IsHexDigit(unsigned char c)
            {
                return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
            }
            // The parser takes every byte from 127 up as a letter.
            static bool IsNameStart(unsigned char c) { return c >= 127 || IsAlpha(c) || c == '_'; }
            static bool IsNameChar(unsigned char c)
            {
                return c >= 127 || IsAlpha(c) || IsDigit(c) || c == '_' || c == '-' || c == '.' || c == ':';
            }

            bool AtEnd() const { return m_Pos >= m_Text.size(); }
            unsigned char Peek() const { return static_cast<unsigned char>(m_Text[m_Pos]); }
            bool StartsWith(std::string_view s) const { return m_Text.substr(m_Pos).starts_with(s); }
            bool StartsWithIgnoringCase(std::string_view s) const;
            void SkipSpace()
            {
                while (!AtEnd() && IsSpace(Peek()))
                    m_Pos++;
            }
            bool SkipPast(std::string_view end)
            {
                size_t found = m_Text.find(end, m_Pos);
                if (found == std::string_view::npos)
                    return false;
                m_Pos = found + end.size();
                return true;
            }
            std::string_view ReadName();
            bool CheckEntities(size_t start, size_t end) const;
            bool QuotedValue(bool bPlain);

            bool Markup();
            bool EndTag();
            bool StartTag();
            bool Declaration();

            std::string_view m_Text;
            size_t m_Pos = 0;
            int m_iMaxDepth;
            std::vector<std::string_view> m_Open;
            tXmlStructure m_Info;
        };

        bool CXmlScanner::StartsWithIgnoringCase(std::string_view s) const
        {
            if (m_Text.size() - m_Pos < s.size())
                return false;
            for (size_t i = 0; i < s.size(); i++) {
                unsigned char a = static_cast<unsigned char>(m_Text[m_Pos + i]);
                if (a >= 'A' && a <= 'Z')
                    a = static_cast<unsigned char>(a - 'A' + 'a');
                if (a != static_cast<unsigned char>(s[i]))
                    return false;
            }
            return true;
        }

        std::string_view CXmlScanner::ReadName()
        {
            size_t start = m_Pos;
            if (AtEnd() || !IsNameStart(Peek()))
                return {};
            m_Pos++;
            while (!AtEnd() && IsNameChar(Peek()))
                m_Pos++;
            return m_Text.substr(start, m_Pos - start);
        }

        // The parser resolves '&#' references by searching for the next ';' wherever it is,
        // so only the strict forms "&#123;" and "&#x1F;" are let through.
        bool CXmlScanner::CheckEntities(size_t start, size_t end) const
        {
            for (size_t i = start; i < end; i++) {
                if (m_Text[i] != '&' || i + 1 >= end || m_Text[i + 1] != '#')
                    continue;
                size_t j = i + 2;
                bool bHex = j < end && m_Text[j] == 'x';
                if (bHex)
                    j++;
                size_t digits = j;
                while (j < end && (bHex ? IsHexDigit(m_Text[j]) : IsDigit(m_Text[j])))
                    j++;
                if (j == digits || j >= end || m_Text[j] != ';')
                    return false;
                i = j;
            }
            return true;
        }

        // A quoted attribute value. In a declaration (bPlain) values hold no blanks, markup,
        // quotes or references, so that the parser's token skipping stays in step.
        bool CXmlScanner::QuotedValue(bool bPlain)
        {
            if (AtEnd() || (Peek() != '"' && Peek() != '\''))
                return false;
            char quote = m_Text[m_Pos++];
            size_t end = m_Text.find(quote, m_Pos);
            if (end == std::string_view::npos)
                return false;
            for (size_t i = m_Pos; bPlain && i < end; i++) {
                unsigned char c = static_cast<unsigned char>(m_Text[i]);
                if (IsSpace(c) || c == '<' || c == '>' || c == '"' || c == '\'' || c == '&')
                    return false;
            }
            if (!CheckEntities(m_Pos, end))
                return false;
            m_Pos = end + 1;
            return true;
        }

        bool CXmlScanner::Run()
        {
            for (;;) {
                if (m_Open.empty()) {
                    SkipSpace(); // only blanks between top-level nodes
                    if (AtEnd())
                        break;
                    if (Peek() != '<')
                        return false;
                } else {
                    size_t lt = m_Text.find('<', m_Pos);
                    if (lt == std::string_view::npos || !CheckEntities(m_Pos, lt))
                        return false;
                    m_Pos = lt;
                }
                if (!Markup())
                    return false;
            }
            return m_Info.m_uiElements > 0;
        }

        // At a '<': the same order of tests as the parser.
        bool CXmlScanner::Markup()
        {
            if (StartsWith("</"))
                return EndTag();
            if (StartsWithIgnoringCase("<?xml"))
                return Declaration();
            if (StartsWith("<!--")) {
                m_Pos += 4;
                return SkipPast("-->");
            }
            if (StartsWith("<![CDATA[")) {
                m_Pos += 9;
                return !m_Open.empty() && SkipPast("]]>");
            }
            if (StartsWith("<!") || StartsWith("<?"))
                return SkipPast(">"); // read up to the first '>', quotes or not
            if (m_Pos + 1 < m_Text.size() && IsNameStart(static_cast<unsigned char>(m_Text[m_Pos + 1])))
                return StartTag();
            return false;
        }

        bool CXmlScanner::EndTag()
        {
            if (m_Open.empty())
                return false;
            m_Pos += 2;
            if (ReadName() != m_Open.back())
                return false;
            SkipSpace();
            if (AtEnd() || Peek() != '>')
                return false;
            m_Pos++;
            m_Open.pop_back();
            return true;
        }

        bool CXmlScanner::StartTag()
        {
            m_Pos++;
            std::string_view name = ReadName();
            int iDepth = static_cast<int>(m_Open.size()) + 1;
            if (iDepth > m_iMaxDepth)
                return false;
            m_Info.m_uiElements++;
            if (iDepth > m_Info.m_iMaxDepth)
                m_Info.m_iMaxDepth = iDepth;
            for (int iAttributes = 0;; iAttributes++) {
                SkipSpace();
                if (AtEnd())
                    return false;
                if (Peek() == '/') {
                    if (!StartsWith("/>"))
                        return false;
                    m_Pos += 2;
                    return true;
                }
                if (Peek() == '>') {
                    m_Pos++;
                    m_Open.push_back(name);
                    return true;
                }
                if (iAttributes >= MAX_ATTRIBUTES || ReadName().empty())
                    return false;
                SkipSpace();
                if (AtEnd() || Peek() != '=')
                    return false;
                m_Pos++;
                SkipSpace();
                if (!QuotedValue(false))
                    return false;
            }
        }

        // "<?xml" then blank-separated name="value" tokens, then "?>".
        bool CXmlScanner::Declaration()
        {
            m_Pos += 5;
            if (!AtEnd() && !IsSpace(Peek()) && Peek() != '?')
                return false;
            for (;;) {
                SkipSpace();
                if (AtEnd())
                    return false;
                if (Peek() == '?') {
                    if (!StartsWith("?>"))
                        return false;
                    m_Pos += 2;
                    return true;
                }
                if (ReadName().empty() || AtEnd() || Peek() != '=')
                    return false;
                m_Pos++;
                if (!QuotedValue(true))
                    return false;
                if (!AtEnd() && !IsSpace(Peek()) && Peek() != '?')
                    return false;
            }
        }
    }

    bool CheckXmlStructure(std::string_view text, int iMaxDepth, tXmlStructure* pInfo)
    {
        if (text.find('\0') != std::string_view::npos || !IsValidUTF8(text))
            return false;
        CXmlScanner scanner(text, iMaxDepth);
        if (!scanner.Run())
            return false;
        if (pInfo)
            *pInfo = scanner.GetInfo();
        return true;
    }
}
