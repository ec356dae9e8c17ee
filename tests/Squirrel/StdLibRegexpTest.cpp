// The regexp engine behind the regexp class: results on the patterns where engines differ,
// agreement with the C++ library's ECMAScript engine on random patterns (both are
// leftmost-first backtracking), and bounded work on hostile patterns.
#include "StdLib/SqStdRegexp.h"

#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>
#include <vector>

using namespace Torvane3D::Squirrel;

namespace
{
    // "[begin,end]" per capture ("-" for a group that did not take part), or "none".
    std::string Spans(const char* szPattern, const std::string& strText, size_t iStart = 0, bool bFull = false)
    {
        CSqRegexp re;
        std::string strError;
        if (!re.Compile(szPattern, strlen(szPattern), strError))
            return "error: " + strError;
        std::vector<size_t> captures;
        switch (re.Exec(strText.data(), strText.size(), iStart, bFull, captures)) {
        case CSqRegexp::REGEXP_NO_MATCH: return "none";
        case CSqRegexp::REGEXP_TOO_COMPLEX: return "too complex";
        default: break;
        }
        std::string s;
        for (size_t k = 0; k < captures.size(); k += 2) {
            if (captures[k] == CSqRegexp::UNSET)
                s += "-";
            else
                s += strText.substr(captures[k], captures[k + 1] - captures[k]);
            s += "|";
        }
        return s;
    }
}

TEST(StdLibRegexp, ResultsWhereEnginesDiffer)
{
    struct SCase
    {
        const char* szPattern;
        const char* szText;
        const char* szExpected;
    };
    const SCase cases[] = {
        {"a.*b", "axxbyyb", "axxbyyb|"},
        {"(.*),", "a,b,c", "a,b,|a,b|"},
        {"(.*),", ",b", ",||"},
        {"a+a", "aaa", "aaa|"},
        {"(\\d+)(\\d)", "1234", "1234|123|4|"},
        {"(a*)(a*)", "aaa", "aaa|aaa||"},
        {"(a|ab)c", "abc", "abc|ab|"},
        {"(a?)a", "a", "a||"},
        {"(a|b)*c", "ababc", "ababc|b|"},
        {"^\\s*(\\S+)\\s*$", "  word  ", "  word  |word|"},
        {"^(\\d+)\\s+(\\d+)$", "12  34", "12  34|12|34|"},
        {"(a)|(b)", "b", "b|-|b|"},
        {"a*?b", "aab", "aab|"},
        {"(a+?)(a*)", "aaa", "aaa|a|aa|"},
        {"(a*)*b", "aab", "aab|aa|"},
        {"(a*)+$", "b", "||"},
        {"", "abc", "|"},
        {"x*$", "abc", "|"},
        {"a^b", "a^b", "a^b|"},
        {"(^a|b)c", "bc", "bc|b|"},
        {"\\m()", "x(a(b)c)y", "(a(b)c)|"},
        {"\\m\"\"", "a\"bc\"d", "\"bc\"|"},
        {"\\bfoo\\b", "afoo foo", "foo|"},
        {"[\\t-\\r]+", "a\t\n\rb", "\t\n\r|"},
    };
    for (const SCase& c : cases)
        EXPECT_EQ(Spans(c.szPattern, c.szText), c.szExpected) << c.szPattern << " on " << c.szText;
    // Zero bytes are data.
    EXPECT_EQ(Spans("a.c", std::string("xa\0c", 4)), std::string("a\0c|", 4));
    EXPECT_EQ(Spans("b", std::string("a\0b", 3)), "b|");
}

TEST(StdLibRegexp, StartPositionAndFullMatch)
{
    EXPECT_EQ(Spans("^o", "foo", 1), "o|");
    EXPECT_EQ(Spans("^o", "foo", 0), "none");
    EXPECT_EQ(Spans("o", "foo", 3), "none");
    EXPECT_EQ(Spans("o*", "foo", 3), "|");
    EXPECT_EQ(Spans("o", "foo", 4), "none");
    EXPECT_EQ(Spans("ab", "xab", 0, true), "none");
    EXPECT_EQ(Spans("a*", "", 0, true), "|");
    EXPECT_EQ(Spans("(a+)(b*)", "aaabb", 0, true), "aaabb|aaa|bb|");
    EXPECT_EQ(Spans("a|ab", "ab", 0, true), "ab|");
}

TEST(StdLibRegexp, CompileErrors)
{
    struct SCase
    {
        const char* szPattern;
        const char* szError;
    };
    const SCase cases[] = {
        {"(", "letter expected"}, {"[a", "letter expected"}, {"a|", "letter expected"}, {"|a", "letter expected"},
        {"()", "letter expected"}, {"\\", "letter expected for argument of escape sequence"},
        {"[a-]", "invalid range"}, {"[z-a]", "invalid range"}, {"[]a]", "empty class"}, {"a{,2}", "number expected"},
        {"a{2", ", or } expected"}, {"a**", "unexpected character"}, {"*a", "unexpected character"},
        {")", "unexpected character"}, {"(?=a)", "unexpected character"}, {"a{3,2}", "invalid range"},
        {"a{10001}", "repetition count too large"}, {"(a", "expected ')'"}, {"^*", "unexpected character"},
        {"((((((((((a{10}){10}){10}){10}){10}){10}){10}){10}){10}){10})", "regular expression too large"},
    };
    for (const SCase& c : cases)
        EXPECT_EQ(Spans(c.szPattern, "a"), std::string("error: ") + c.szError) << c.szPattern;
    std::string strDeep;
    for (int i = 0; i < 200; ++i)
        strDeep = "(" + strDeep + "a)";
    EXPECT_EQ(Spans(strDeep.c_str(), "a"), "error: too many nested groups");
}

// Random patterns over a small alphabet, compared with std::regex (ECMAScript). Captures sit
// only outside repetitions and repeated groups cannot match empty: there ECMAScript's rules
// (captures reset per iteration, empty-iteration checks) differ from Perl-style engines.
namespace
{
    class CPatternMaker
    {
    public:
        explicit CPatternMaker(uint32_t uSeed) : m_Random(uSeed) {}

        std::string Make()
        {
            m_nGroups = 0;
            bool bNullable;
            std::string s;
            if (Pick(5) == 0)
                s += "^";
            s += Alternation(0, true, &bNullable);
            if (Pick(5) == 0)
                s += "$";
            return s;
        }

        std::string Text()
        {
            std::string s;
            size_t n = Pick(9);
            for (size_t i = 0; i < n; ++i)
                s += "abc"[Pick(3)];
            return s;
        }

    private:
        size_t Pick(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(m_Random); }

        std::string Alternation(int iDepth, bool bCaptures, bool* pNullable)
        {
            std::string s = Sequence(iDepth, bCaptures, pNullable);
            while (iDepth < 2 && Pick(4) == 0) {
                bool bOther;
                s += "|" + Sequence(iDepth, bCaptures, &bOther);
                *pNullable = *pNullable || bOther;
            }
            return s;
        }

        std::string Sequence(int iDepth, bool bCaptures, bool* pNullable)
        {
            std::string s;
            *pNullable = true;
            size_t n = 1 + Pick(3);
            for (size_t i = 0; i < n; ++i) {
                bool bAtom;
                s += Item(iDepth, bCaptures, &bAtom);
                *pNullable = *pNullable && bAtom;
            }
            return s;
        }

        std::string Item(int iDepth, bool bCaptures, bool* pNullable)
        {
            std::string atom;
            bool bGroup = false, bCapture = false;
            *pNullable = false;
            switch (Pick(iDepth < 2 ? 7 : 5)) {
            case 0: atom = "a"; break;
            case 1: atom = "b"; break;
            case 2: atom = "."; break;
            case 3: atom = "[ab]"; break;
            case 4: atom = "[^a]"; break;
            default:
                bGroup = true;
                bCapture = bCaptures && Pick(2) == 0;
                // Groups inside a capture or a repetition capture nothing.
                atom = Alternation(iDepth + 1, false, pNullable);
                break;
            }
            if (bCapture) {
                ++m_nGroups;
                return "(" + atom + ")";
            }
            if (bGroup)
                atom = "(?:" + atom + ")";
            if (*pNullable || Pick(2) == 0)
                return atom;
            static const char* const s_Quantifiers[] = {"*", "+", "?", "{2}", "{1,2}", "{0,2}", "{2,}"};
            std::string q = s_Quantifiers[Pick(7)];
            *pNullable = q == "*" || q == "?" || q == "{0,2}";
            if (Pick(3) == 0)
                q += "?";
            return atom + q;
        }

        std::mt19937 m_Random;
        int m_nGroups = 0;
    };

    std::string StdSpans(const std::string& strPattern, const std::string& strText, bool bFull)
    {
        std::regex re(strPattern, std::regex::ECMAScript);
        std::smatch m;
        bool bFound = bFull ? std::regex_match(strText, m, re) : std::regex_search(strText, m, re);
        if (!bFound)
            return "none";
        std::string s;
        for (size_t k = 0; k < m.size(); ++k)
            s += (m[k].matched ? m[k].str() : std::string("-")) + "|";
        return s;
    }
}

TEST(StdLibRegexp, AgreesWithEcmaScriptOnRandomPatterns)
{
    CPatternMaker maker(12345);
    int nCompared = 0;
    for (int i = 0; i < 400; ++i) {
        std::string strPattern = maker.Make();
        for (int j = 0; j < 4; ++j) {
            std::string strText = maker.Text();
            for (bool bFull : {false, true}) {
                std::string strOurs = Spans(strPattern.c_str(), strText, 0, bFull);
                std::string strTheirs = StdSpans(strPattern, strText, bFull);
                ASSERT_EQ(strOurs, strTheirs) << "pattern " << strPattern << " text '" << strText << "' full " << bFull;
                ++nCompared;
            }
        }
    }
    EXPECT_EQ(nCompared, 3200);
}

TEST(StdLibRegexp, HostilePatternsFinishOrGiveUp)
{
    const std::string strAs(40, 'a');
    std::string strLong;
    for (int i = 0; i < 200000; ++i)
        strLong += "ab"[i % 2];
    struct SCase
    {
        const char* szPattern;
        const std::string* pText;
        const char* szExpected;
    };
    const std::string strAsC = strAs + "c";
    const SCase cases[] = {
        // Failed states are remembered: exponential patterns finish.
        {"(a+)+b", &strAsC, "none"},
        {"(a|aa)*b", &strAs, "none"},
        {"(a|a)*$", &strAs, nullptr},
        // A loop whose body can match empty cannot use that: the budget stops it.
        {"(a*)*b", &strAsC, "too complex"},
        // Long texts stay linear where a plain backtracker is quadratic.
        {"b\\w*c", &strLong, "none"},
        {"[ab]*c", &strLong, "none"},
        {"(a|b)*c", &strLong, "none"},
        {"(ab)*$", &strLong, nullptr},
    };
    for (const SCase& c : cases) {
        std::string strResult = Spans(c.szPattern, *c.pText);
        if (c.szExpected)
            EXPECT_EQ(strResult, c.szExpected) << c.szPattern;
        else
            EXPECT_NE(strResult.find('|'), std::string::npos) << c.szPattern;
    }
}

TEST(StdLibRegexp, ArbitraryBytesNeverCrash)
{
    std::mt19937 random(777);
    const char alphabet[] = "ab()[]{}*+?|^$.\\-,0123dwsmb:";
    for (int i = 0; i < 20000; ++i) {
        std::string strPattern;
        size_t n = random() % 12;
        for (size_t k = 0; k < n; ++k)
            strPattern += random() % 8 == 0 ? static_cast<char>(random()) : alphabet[random() % (sizeof(alphabet) - 1)];
        std::string strText;
        for (size_t k = random() % 10; k > 0; --k)
            strText += static_cast<char>("ab(),0\n"[random() % 7]);
        Spans(strPattern.c_str(), strText, random() % 3, random() % 2);
    }
}
