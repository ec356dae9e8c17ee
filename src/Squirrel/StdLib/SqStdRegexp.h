// Our regular-expression engine for the regexp class: the dialect of Squirrel's standard
// library (classes \d \w \s \a \l \u \x \p \c and their negations, \b \B, the balanced
// pair \mXY) with leftmost-first backtracking semantics. Matching is byte based and
// bounded: a fixed step budget, an explicit backtracking stack of fixed maximum size, and
// memoisation of failed states on long searches, so no pattern can hang or crash the host.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Torvane3D::Squirrel
{
    class CSqRegexp
    {
    public:
        enum eResult
        {
            REGEXP_MATCH,
            REGEXP_NO_MATCH,
            REGEXP_TOO_COMPLEX,
        };
        static constexpr size_t UNSET = SIZE_MAX;
        // Work allowed for one Exec call, in engine steps.
        static constexpr uint64_t STEP_BUDGET = 10000000;

        // False with a message in strError when the pattern is invalid.
        bool Compile(const char* pPattern, size_t nLength, std::string& strError);
        // 1 (the whole match) + the number of capturing groups.
        size_t GetCaptureCount() const { return m_nCaptures; }
        // Finds the leftmost match starting at or after iStart; `^` matches at iStart. With
        // bFull the match must start at iStart and end at nLength. On a match, captures holds
        // begin/end pairs (UNSET for a group that did not take part), the whole match first.
        eResult Exec(const char* pText, size_t nLength, size_t iStart, bool bFull, std::vector<size_t>& captures) const;

    private:
        enum eOpcode : uint8_t
        {
            OP_CHAR,
            OP_SET,
            OP_BOL,
            OP_EOL,
            OP_WORDB,
            OP_NWORDB,
            OP_BALANCE,
            OP_SPLIT, // try x, then y
            OP_JMP,
            OP_SAVE,
            OP_MARK,  // start of an iteration of a loop whose body can match empty
            OP_CHECK, // fails when that iteration consumed nothing
            OP_REPEAT,
            OP_MATCH,
        };
        struct SInst
        {
            eOpcode eOp;
            bool bGreedy;
            int32_t x, y;
            uint32_t uMin, uMax;
        };
        using CSet = std::array<uint64_t, 4>;

        friend class CSqRegexpCompiler;
        friend class CSqRegexpMatcher;
        std::vector<SInst> m_Program;
        std::vector<CSet> m_Sets;
        size_t m_nCaptures = 1;
        size_t m_nMarks = 0;
        bool m_bAnchored = false;   // every match starts at the start position
        bool m_bCanBeEmpty = true;  // some match may be empty
        CSet m_FirstBytes{};        // bytes a non-empty match can start with
    };
}
