// The regexp engine: a recursive-descent parser to a small tree, code generation for a
// backtracking machine, and the machine itself (explicit stack, no C recursion).
#include "SqStdRegexp.h"

#include <algorithm>
#include <cstring>

namespace Torvane3D::Squirrel
{
    namespace
    {
        constexpr uint32_t INFINITE = UINT32_MAX;
        constexpr uint32_t MAX_COUNT = 10000;     // largest {n,m} count
        constexpr int MAX_NESTING = 100;          // groups inside groups
        constexpr size_t MAX_PROGRAM = 20000;     // instructions after expanding counts
        constexpr size_t MAX_STACK = 1u << 20;    // backtracking entries (12 bytes each)
        constexpr uint64_t MEMO_AFTER = 50000;    // steps before failed states are remembered
        constexpr uint64_t MEMO_MAX_BITS = 64u << 20;

        using CSet = std::array<uint64_t, 4>;

        void SetAdd(CSet& s, uint8_t c) { s[c >> 6] |= uint64_t(1) << (c & 63); }
        bool SetHas(const CSet& s, uint8_t c) { return (s[c >> 6] >> (c & 63)) & 1; }
        void SetAddRange(CSet& s, int iFrom, int iTo)
        {
            for (int c = iFrom; c <= iTo; ++c)
                SetAdd(s, static_cast<uint8_t>(c));
        }
        void SetUnion(CSet& s, const CSet& o)
        {
            for (size_t i = 0; i < 4; ++i)
                s[i] |= o[i];
        }
        void SetInvert(CSet& s)
        {
            for (uint64_t& w : s)
                w = ~w;
        }

        bool IsWordByte(uint8_t c)
        {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
        }

        // The class of a class escape letter (ASCII, as the C locale sees it); false for
        // letters that are not class escapes.
        bool EscapeClass(char cLetter, CSet& out)
        {
            CSet s{};
            char cLower = static_cast<char>(cLetter | 0x20);
            switch (cLower) {
            case 'd': SetAddRange(s, '0', '9'); break;
            case 'w':
                SetAddRange(s, 'a', 'z');
                SetAddRange(s, 'A', 'Z');
                SetAddRange(s, '0', '9');
                SetAdd(s, '_');
                break;
            case 's':
                SetAdd(s, ' ');
                SetAddRange(s, '\t', '\r');
                break;
            case 'a':
                SetAddRange(s, 'a', 'z');
                SetAddRange(s, 'A', 'Z');
                break;
            case 'x':
                SetAddRange(s, '0', '9');
                SetAddRange(s, 'a', 'f');
                SetAddRange(s, 'A', 'F');
                break;
            case 'p':
                SetAddRange(s, 33, 47);
                SetAddRange(s, 58, 64);
                SetAddRange(s, 91, 96);
                SetAddRange(s, 123, 126);
                break;
            case 'c':
                SetAddRange(s, 0, 31);
                SetAdd(s, 127);
                break;
            case 'l':
                // \l lowercase, \u uppercase: no negated forms.
                if (cLetter != 'l')
                    return false;
                SetAddRange(s, 'a', 'z');
                break;
            case 'u':
                if (cLetter != 'u')
                    return false;
                SetAddRange(s, 'A', 'Z');
                break;
            default: return false;
            }
            // Upper-case letters negate (\D \W \S \A \X), except \P and \C which are not classes.
            if (cLetter != cLower && cLower != 'l' && cLower != 'u') {
                if (cLower == 'p' || cLower == 'c')
                    return false;
                SetInvert(s);
            }
            out = s;
            return true;
        }

        // Escaped single characters (\t and friends); others stand for themselves.
        uint8_t EscapeChar(char c)
        {
            switch (c) {
            case 't': return '\t';
            case 'n': return '\n';
            case 'r': return '\r';
            case 'f': return '\f';
            case 'v': return '\v';
            default: return static_cast<uint8_t>(c);
            }
        }
    }

    // ---------------------------------------------------------------- compiler
    class CSqRegexpCompiler
    {
    public:
        CSqRegexpCompiler(CSqRegexp& re, const char* p, size_t n) : m_Re(re), m_pText(p), m_nLength(n) {}

        bool Run(std::string& strError)
        {
            int iRoot;
            if (m_nLength == 0) {
                iRoot = NewNode(N_EMPTY);
            } else {
                iRoot = ParseAlternation(0);
                if (iRoot >= 0 && m_iPos < m_nLength)
                    iRoot = Fail("unexpected character");
            }
            if (iRoot < 0) {
                strError = m_strError;
                return false;
            }
            m_Re.m_nCaptures = m_nGroups + 1;
            Emit(SQ(CSqRegexp::OP_SAVE, 0));
            if (!Generate(iRoot)) {
                strError = m_strError;
                return false;
            }
            Emit(SQ(CSqRegexp::OP_SAVE, 1));
            Emit(SQ(CSqRegexp::OP_MATCH, 0));
            m_Re.m_nMarks = m_nMarks;
            m_Re.m_bAnchored = IsAnchored(iRoot);
            bool bNullable = false;
            m_Re.m_FirstBytes = First(iRoot, &bNullable);
            m_Re.m_bCanBeEmpty = bNullable;
            return true;
        }

    private:
        enum eNodeKind
        {
            N_EMPTY,
            N_CHAR,
            N_SET,
            N_BOL,
            N_EOL,
            N_WORDB,
            N_NWORDB,
            N_BALANCE,
            N_CAT,
            N_ALT,
            N_GROUP,
            N_REPEAT,
        };
        struct SNode
        {
            eNodeKind eKind;
            int a = 0, b = 0; // char / set / group index / balance pair
            uint32_t uMin = 0, uMax = 0;
            bool bGreedy = true;
            bool bCapture = false;
            std::vector<int> kids;
        };

        using SInst = CSqRegexp::SInst;
        static SInst SQ(CSqRegexp::eOpcode eOp, int x, int y = 0)
        {
            SInst i{};
            i.eOp = eOp;
            i.x = x;
            i.y = y;
            return i;
        }

        int Fail(const char* szMessage)
        {
            if (m_strError.empty())
                m_strError = szMessage;
            return -1;
        }

        int NewNode(eNodeKind eKind)
        {
            m_Nodes.push_back(SNode());
            m_Nodes.back().eKind = eKind;
            return static_cast<int>(m_Nodes.size()) - 1;
        }

        int NewSet(const CSet& s)
        {
            m_Re.m_Sets.push_back(s);
            return static_cast<int>(m_Re.m_Sets.size()) - 1;
        }

        bool AtEnd() const { return m_iPos >= m_nLength; }
        char Peek() const { return m_pText[m_iPos]; }

        // alternation := sequence ('|' sequence)*; no alternative may be empty.
        int ParseAlternation(int iDepth)
        {
            if (iDepth > MAX_NESTING)
                return Fail("too many nested groups");
            int iFirst = ParseSequence(iDepth);
            if (iFirst < 0 || AtEnd() || Peek() != '|')
                return iFirst;
            int iAlt = NewNode(N_ALT);
            m_Nodes[iAlt].kids.push_back(iFirst);
            while (!AtEnd() && Peek() == '|') {
                ++m_iPos;
                int iNext = ParseSequence(iDepth);
                if (iNext < 0)
                    return -1;
                m_Nodes[iAlt].kids.push_back(iNext);
            }
            return iAlt;
        }

        int ParseSequence(int iDepth)
        {
            int iCat = NewNode(N_CAT);
            while (!AtEnd() && Peek() != '|') {
                if (Peek() == ')') {
                    if (iDepth == 0)
                        return Fail("unexpected character");
                    break;
                }
                // `^` is an anchor at the start of an alternative, a plain character elsewhere.
                int iAtom;
                if (Peek() == '^' && m_Nodes[iCat].kids.empty()) {
                    ++m_iPos;
                    iAtom = NewNode(N_BOL);
                } else {
                    iAtom = ParseAtom(iDepth);
                }
                if (iAtom < 0)
                    return -1;
                iAtom = ParseQuantifier(iAtom);
                if (iAtom < 0)
                    return -1;
                m_Nodes[iCat].kids.push_back(iAtom);
            }
            if (m_Nodes[iCat].kids.empty())
                return Fail("letter expected");
            return m_Nodes[iCat].kids.size() == 1 ? m_Nodes[iCat].kids[0] : iCat;
        }

        int ParseAtom(int iDepth)
        {
            char c = m_pText[m_iPos++];
            switch (c) {
            case '(': {
                bool bCapture = true;
                if (!AtEnd() && Peek() == '?') {
                    if (m_iPos + 1 >= m_nLength || m_pText[m_iPos + 1] != ':')
                        return Fail("unexpected character");
                    m_iPos += 2;
                    bCapture = false;
                }
                int iGroupIndex = bCapture ? ++m_nGroups : 0;
                int iInner = ParseAlternation(iDepth + 1);
                if (iInner < 0)
                    return -1;
                if (AtEnd() || Peek() != ')')
                    return Fail("expected ')'");
                ++m_iPos;
                int iGroup = NewNode(N_GROUP);
                m_Nodes[iGroup].a = iGroupIndex;
                m_Nodes[iGroup].bCapture = bCapture;
                m_Nodes[iGroup].kids.push_back(iInner);
                return iGroup;
            }
            case '[': return ParseClass();
            case '.': {
                CSet s;
                s.fill(~uint64_t(0));
                int n = NewNode(N_SET);
                m_Nodes[n].a = NewSet(s);
                return n;
            }
            case '$': return NewNode(N_EOL);
            case '\\': return ParseEscape();
            case '*':
            case '+':
            case '?':
            case '{': return Fail("unexpected character");
            default: {
                int n = NewNode(N_CHAR);
                m_Nodes[n].a = static_cast<uint8_t>(c);
                return n;
            }
            }
        }

        int ParseEscape()
        {
            if (AtEnd())
                return Fail("letter expected for argument of escape sequence");
            char c = m_pText[m_iPos++];
            CSet s;
            if (EscapeClass(c, s)) {
                int n = NewNode(N_SET);
                m_Nodes[n].a = NewSet(s);
                return n;
            }
            if (c == 'b')
                return NewNode(N_WORDB);
            if (c == 'B')
                return NewNode(N_NWORDB);
            if (c == 'm') {
                if (m_iPos + 2 > m_nLength)
                    return Fail("letter expected for argument of escape sequence");
                int n = NewNode(N_BALANCE);
                m_Nodes[n].a = static_cast<uint8_t>(m_pText[m_iPos]);
                m_Nodes[n].b = static_cast<uint8_t>(m_pText[m_iPos + 1]);
                m_iPos += 2;
                return n;
            }
            int n = NewNode(N_CHAR);
            m_Nodes[n].a = EscapeChar(c);
            return n;
        }

        // One character of a class (after an optional backslash); -1 with *pSet filled for a
        // class escape, -2 on error.
        int ClassChar(CSet* pSet)
        {
            if (AtEnd()) {
                Fail("letter expected");
                return -2;
            }
            char c = m_pText[m_iPos++];
            if (c != '\\')
                return static_cast<uint8_t>(c);
            if (AtEnd()) {
                Fail("letter expected for argument of escape sequence");
                return -2;
            }
            c = m_pText[m_iPos++];
            if (EscapeClass(c, *pSet))
                return -1;
            return EscapeChar(c);
        }

        int ParseClass()
        {
            CSet s{};
            bool bNegate = !AtEnd() && Peek() == '^';
            if (bNegate)
                ++m_iPos;
            if (!AtEnd() && Peek() == ']')
                return Fail("empty class");
            while (true) {
                if (AtEnd())
                    return Fail("letter expected");
                if (Peek() == ']') {
                    ++m_iPos;
                    break;
                }
                CSet escaped{};
                int iFrom = ClassChar(&escaped);
                if (iFrom == -2)
                    return -1;
                if (iFrom == -1) {
                    SetUnion(s, escaped);
                    continue;
                }
                if (!AtEnd() && Peek() == '-') {
                    ++m_iPos;
                    if (AtEnd() || Peek() == ']')
                        return Fail("invalid range");
                    int iTo = ClassChar(&escaped);
                    if (iTo == -2)
                        return -1;
                    if (iTo < 0 || iTo < iFrom)
                        return Fail("invalid range");
                    SetAddRange(s, iFrom, iTo);
                } else {
                    SetAdd(s, static_cast<uint8_t>(iFrom));
                }
            }
            if (bNegate)
                SetInvert(s);
            int n = NewNode(N_SET);
            m_Nodes[n].a = NewSet(s);
            return n;
        }

        bool ParseCount(uint32_t* pOut)
        {
            if (AtEnd() || Peek() < '0' || Peek() > '9')
                return false;
            uint32_t u = 0;
            while (!AtEnd() && Peek() >= '0' && Peek() <= '9') {
                u = u * 10 + static_cast<uint32_t>(Peek() - '0');
                if (u > MAX_COUNT)
                    u = MAX_COUNT + 1;
                ++m_iPos;
            }
            *pOut = u;
            return true;
        }

        int ParseQuantifier(int iAtom)
        {
            if (AtEnd())
                return iAtom;
            uint32_t uMin, uMax;
            switch (Peek()) {
            case '*': uMin = 0, uMax = INFINITE; break;
            case '+': uMin = 1, uMax = INFINITE; break;
            case '?': uMin = 0, uMax = 1; break;
            case '{': break;
            default: return iAtom;
            }
            if (Peek() == '{') {
                ++m_iPos;
                if (!ParseCount(&uMin))
                    return Fail("number expected");
                uMax = uMin;
                if (!AtEnd() && Peek() == ',') {
                    ++m_iPos;
                    uMax = INFINITE;
                    if (!AtEnd() && Peek() != '}' && !ParseCount(&uMax))
                        return Fail("} expected");
                }
                if (AtEnd() || Peek() != '}')
                    return Fail(", or } expected");
                if (uMin > MAX_COUNT || (uMax != INFINITE && uMax > MAX_COUNT))
                    return Fail("repetition count too large");
                if (uMax < uMin)
                    return Fail("invalid range");
            }
            ++m_iPos;
            eNodeKind eAtom = m_Nodes[iAtom].eKind;
            if (eAtom == N_BOL || eAtom == N_EOL || eAtom == N_WORDB || eAtom == N_NWORDB)
                return Fail("unexpected character");
            bool bGreedy = true;
            if (!AtEnd() && Peek() == '?') {
                bGreedy = false;
                ++m_iPos;
            }
            if (!AtEnd() && (Peek() == '*' || Peek() == '+' || Peek() == '?' || Peek() == '{'))
                return Fail("unexpected character");
            int n = NewNode(N_REPEAT);
            m_Nodes[n].uMin = uMin;
            m_Nodes[n].uMax = uMax;
            m_Nodes[n].bGreedy = bGreedy;
            m_Nodes[n].kids.push_back(iAtom);
            return n;
        }

        // ---- analysis ----
        bool Nullable(int iNode) const
        {
            const SNode& n = m_Nodes[iNode];
            switch (n.eKind) {
            case N_CHAR:
            case N_SET:
            case N_BALANCE: return false;
            case N_CAT:
                for (int k : n.kids)
                    if (!Nullable(k))
                        return false;
                return true;
            case N_ALT:
                for (int k : n.kids)
                    if (Nullable(k))
                        return true;
                return false;
            case N_GROUP: return Nullable(n.kids[0]);
            case N_REPEAT: return n.uMin == 0 || Nullable(n.kids[0]);
            default: return true;
            }
        }

        // Bytes a match of the node can start with; *pNullable when it can match empty.
        CSet First(int iNode, bool* pNullable) const
        {
            const SNode& n = m_Nodes[iNode];
            CSet s{};
            *pNullable = false;
            switch (n.eKind) {
            case N_CHAR: SetAdd(s, static_cast<uint8_t>(n.a)); break;
            case N_SET: s = m_Re.m_Sets[static_cast<size_t>(n.a)]; break;
            case N_BALANCE: SetAdd(s, static_cast<uint8_t>(n.a)); break;
            case N_CAT:
                *pNullable = true;
                for (int k : n.kids) {
                    bool bKid;
                    SetUnion(s, First(k, &bKid));
                    if (!bKid) {
                        *pNullable = false;
                        break;
                    }
                }
                break;
            case N_ALT:
                for (int k : n.kids) {
                    bool bKid;
                    SetUnion(s, First(k, &bKid));
                    *pNullable = *pNullable || bKid;
                }
                break;
            case N_GROUP: s = First(n.kids[0], pNullable); break;
            case N_REPEAT:
                s = First(n.kids[0], pNullable);
                *pNullable = *pNullable || n.uMin == 0;
                break;
            default: *pNullable = true; break;
            }
            return s;
        }

        bool IsAnchored(int iNode) const
        {
            const SNode& n = m_Nodes[iNode];
            switch (n.eKind) {
            case N_BOL: return true;
            case N_CAT: return IsAnchored(n.kids[0]);
            case N_GROUP: return IsAnchored(n.kids[0]);
            case N_ALT:
                for (int k : n.kids)
                    if (!IsAnchored(k))
                        return false;
                return true;
            default: return false;
            }
        }

        // ---- code generation ----
        int Here() const { return static_cast<int>(m_Re.m_Program.size()); }
        void Emit(const SInst& i) { m_Re.m_Program.push_back(i); }

        bool Generate(int iNode)
        {
            if (m_Re.m_Program.size() > MAX_PROGRAM) {
                Fail("regular expression too large");
                return false;
            }
            const SNode& n = m_Nodes[iNode];
            switch (n.eKind) {
            case N_EMPTY: return true;
            case N_CHAR: Emit(SQ(CSqRegexp::OP_CHAR, n.a)); return true;
            case N_SET: Emit(SQ(CSqRegexp::OP_SET, n.a)); return true;
            case N_BOL: Emit(SQ(CSqRegexp::OP_BOL, 0)); return true;
            case N_EOL: Emit(SQ(CSqRegexp::OP_EOL, 0)); return true;
            case N_WORDB: Emit(SQ(CSqRegexp::OP_WORDB, 0)); return true;
            case N_NWORDB: Emit(SQ(CSqRegexp::OP_NWORDB, 0)); return true;
            case N_BALANCE: Emit(SQ(CSqRegexp::OP_BALANCE, n.a, n.b)); return true;
            case N_CAT:
                for (int k : n.kids)
                    if (!Generate(k))
                        return false;
                return true;
            case N_ALT: return GenerateAlternation(n);
            case N_GROUP:
                if (n.bCapture)
                    Emit(SQ(CSqRegexp::OP_SAVE, 2 * n.a));
                if (!Generate(n.kids[0]))
                    return false;
                if (n.bCapture)
                    Emit(SQ(CSqRegexp::OP_SAVE, 2 * n.a + 1));
                return true;
            case N_REPEAT: return GenerateRepeat(n);
            }
            return true;
        }

        bool GenerateAlternation(const SNode& n)
        {
            std::vector<int> jumps;
            for (size_t k = 0; k < n.kids.size(); ++k) {
                int iSplit = -1;
                if (k + 1 < n.kids.size()) {
                    iSplit = Here();
                    Emit(SQ(CSqRegexp::OP_SPLIT, iSplit + 1, 0));
                }
                if (!Generate(n.kids[k]))
                    return false;
                if (iSplit >= 0) {
                    jumps.push_back(Here());
                    Emit(SQ(CSqRegexp::OP_JMP, 0));
                    m_Re.m_Program[static_cast<size_t>(iSplit)].y = Here();
                }
            }
            for (int j : jumps)
                m_Re.m_Program[static_cast<size_t>(j)].x = Here();
            return true;
        }

        // A SPLIT preferring the next instruction (greedy) or the target (lazy).
        int EmitSplit()
        {
            int i = Here();
            Emit(SQ(CSqRegexp::OP_SPLIT, 0, 0));
            return i;
        }
        void PatchSplit(int iSplit, int iBody, int iExit, bool bGreedy)
        {
            SInst& in = m_Re.m_Program[static_cast<size_t>(iSplit)];
            in.x = bGreedy ? iBody : iExit;
            in.y = bGreedy ? iExit : iBody;
        }

        bool GenerateRepeat(const SNode& n)
        {
            const SNode& kid = m_Nodes[n.kids[0]];
            if (kid.eKind == N_CHAR || kid.eKind == N_SET) {
                int iSet = kid.a;
                if (kid.eKind == N_CHAR) {
                    CSet s{};
                    SetAdd(s, static_cast<uint8_t>(kid.a));
                    iSet = NewSet(s);
                }
                SInst in = SQ(CSqRegexp::OP_REPEAT, iSet);
                in.uMin = n.uMin;
                in.uMax = n.uMax;
                in.bGreedy = n.bGreedy;
                Emit(in);
                return true;
            }
            for (uint32_t i = 0; i < n.uMin; ++i)
                if (!Generate(n.kids[0]))
                    return false;
            if (n.uMax == INFINITE) {
                // loop: SPLIT body, exit; body: [MARK] kid [CHECK]; JMP loop
                bool bNullable = Nullable(n.kids[0]);
                int iLoop = EmitSplit();
                int iMark = static_cast<int>(m_nMarks);
                if (bNullable) {
                    ++m_nMarks;
                    Emit(SQ(CSqRegexp::OP_MARK, iMark));
                }
                if (!Generate(n.kids[0]))
                    return false;
                if (bNullable)
                    Emit(SQ(CSqRegexp::OP_CHECK, iMark));
                Emit(SQ(CSqRegexp::OP_JMP, iLoop));
                PatchSplit(iLoop, iLoop + 1, Here(), n.bGreedy);
                return true;
            }
            std::vector<int> splits;
            for (uint32_t i = n.uMin; i < n.uMax; ++i) {
                splits.push_back(EmitSplit());
                if (!Generate(n.kids[0]))
                    return false;
            }
            for (int iSplit : splits)
                PatchSplit(iSplit, iSplit + 1, Here(), n.bGreedy);
            return true;
        }

        CSqRegexp& m_Re;
        const char* m_pText;
        size_t m_nLength;
        size_t m_iPos = 0;
        int m_nGroups = 0;
        size_t m_nMarks = 0;
        std::vector<SNode> m_Nodes;
        std::string m_strError;
    };

    bool CSqRegexp::Compile(const char* pPattern, size_t nLength, std::string& strError)
    {
        *this = CSqRegexp();
        CSqRegexpCompiler compiler(*this, pPattern, nLength);
        if (compiler.Run(strError))
            return true;
        *this = CSqRegexp();
        return false;
    }

    // ---------------------------------------------------------------- matcher
    class CSqRegexpMatcher
    {
    public:
        CSqRegexpMatcher(const CSqRegexp& re, const uint8_t* p, size_t n, size_t iStart, bool bFull)
            : m_Re(re), m_pText(p), m_nLength(n), m_iStart(iStart), m_bFull(bFull)
        {
            m_Captures.assign(2 * re.m_nCaptures, CSqRegexp::UNSET);
            m_Marks.assign(re.m_nMarks, CSqRegexp::UNSET);
            m_Runs.resize(re.m_Program.size());
        }

        CSqRegexp::eResult Search(std::vector<size_t>& captures)
        {
            // Only the start position can begin a full or anchored match; elsewhere, skip
            // bytes no match can begin with.
            const bool bOnlyStart = m_bFull || m_Re.m_bAnchored;
            const bool bFilter = !m_Re.m_bCanBeEmpty && !bOnlyStart;
            for (size_t iPos = m_iStart; iPos <= m_nLength; ++iPos) {
                if (bFilter) {
                    // Skip to the next byte a match can begin with.
                    while (iPos < m_nLength && !SetHas(m_Re.m_FirstBytes, m_pText[iPos]))
                        ++iPos;
                    if (iPos >= m_nLength)
                        break;
                }
                CSqRegexp::eResult r = Run(iPos);
                if (r == CSqRegexp::REGEXP_MATCH) {
                    captures = m_Captures;
                    return r;
                }
                if (r == CSqRegexp::REGEXP_TOO_COMPLEX)
                    return r;
                if (bOnlyStart)
                    break;
                iPos = SkipLeadingRun(iPos);
            }
            return CSqRegexp::REGEXP_NO_MATCH;
        }

    private:
        // After a failed attempt at iPos of a pattern that begins with an unbounded greedy
        // repetition of a set: every later start inside the same run of set bytes would retry
        // a subset of the same continuations, so the search resumes at the end of the run.
        size_t SkipLeadingRun(size_t iPos) const
        {
            const CSqRegexp::SInst& in = m_Re.m_Program[1];
            if (in.eOp != CSqRegexp::OP_REPEAT || !in.bGreedy || in.uMax != INFINITE)
                return iPos;
            const CSet& s = m_Re.m_Sets[static_cast<size_t>(in.x)];
            size_t iEnd = iPos;
            while (iEnd < m_nLength && SetHas(s, m_pText[iEnd]))
                ++iEnd;
            return iEnd > iPos + 1 ? iEnd - 1 : iPos;
        }

        enum eFrame : uint8_t
        {
            F_ALT,
            F_CAPTURE,
            F_MARK,
            F_GREEDY,
            F_LAZY,
            F_RUN_DONE, // every continuation of a repetition failed
        };
        // The last run scanned by an unbounded greedy repetition (see OP_REPEAT).
        struct SRun
        {
            size_t uStart = CSqRegexp::UNSET;
            size_t uEnd = 0;
            bool bExhausted = false;
        };
        struct SFrame
        {
            uint32_t uKindPc; // kind in the low 3 bits
            uint32_t a, b;
        };

        bool Push(eFrame eKind, size_t uPc, size_t a, size_t b = 0)
        {
            if (m_Stack.size() >= MAX_STACK)
                return false;
            m_Stack.push_back(SFrame{static_cast<uint32_t>(uPc << 3 | eKind), static_cast<uint32_t>(a), static_cast<uint32_t>(b)});
            return true;
        }

        // Positions and capture values fit 32 bits (strings are shorter than 4 GiB);
        // UNSET is kept as UINT32_MAX on the stack.
        static uint32_t Pack(size_t v) { return v == CSqRegexp::UNSET ? UINT32_MAX : static_cast<uint32_t>(v); }
        static size_t Unpack(uint32_t v) { return v == UINT32_MAX ? CSqRegexp::UNSET : v; }

        bool Visited(size_t uPc, size_t uPos)
        {
            if (m_Memo.empty()) {
                if (m_uSteps < MEMO_AFTER || m_bNoMemo)
                    return false;
                // Failed states fail again (matching depends on the position only), so a
                // long search remembers them; loops with empty-iteration checks do not qualify.
                uint64_t uBits = static_cast<uint64_t>(m_Re.m_Program.size()) * (m_nLength - m_iStart + 1);
                if (m_Re.m_nMarks > 0 || uBits > MEMO_MAX_BITS) {
                    m_bNoMemo = true;
                    return false;
                }
                m_Memo.assign(static_cast<size_t>((uBits + 63) / 64), 0);
            }
            size_t uBit = uPc * (m_nLength - m_iStart + 1) + (uPos - m_iStart);
            uint64_t& w = m_Memo[uBit >> 6];
            uint64_t uMask = uint64_t(1) << (uBit & 63);
            if (w & uMask)
                return true;
            w |= uMask;
            return false;
        }

        CSqRegexp::eResult Run(size_t iBegin)
        {
            const std::vector<CSqRegexp::SInst>& prog = m_Re.m_Program;
            size_t uPc = 0, uPos = iBegin;
            m_Stack.clear();
            while (true) {
                if (++m_uSteps > CSqRegexp::STEP_BUDGET)
                    return CSqRegexp::REGEXP_TOO_COMPLEX;
                bool bOk = !Visited(uPc, uPos);
                const CSqRegexp::SInst& in = prog[uPc];
                if (bOk) {
                    switch (in.eOp) {
                    case CSqRegexp::OP_CHAR:
                        bOk = uPos < m_nLength && m_pText[uPos] == static_cast<uint8_t>(in.x);
                        uPos += bOk;
                        ++uPc;
                        break;
                    case CSqRegexp::OP_SET:
                        bOk = uPos < m_nLength && SetHas(m_Re.m_Sets[static_cast<size_t>(in.x)], m_pText[uPos]);
                        uPos += bOk;
                        ++uPc;
                        break;
                    case CSqRegexp::OP_BOL:
                        bOk = uPos == m_iStart;
                        ++uPc;
                        break;
                    case CSqRegexp::OP_EOL:
                        bOk = uPos == m_nLength;
                        ++uPc;
                        break;
                    case CSqRegexp::OP_WORDB:
                    case CSqRegexp::OP_NWORDB: {
                        bool bBefore = uPos > 0 && IsWordByte(m_pText[uPos - 1]);
                        bool bAfter = uPos < m_nLength && IsWordByte(m_pText[uPos]);
                        bOk = (bBefore != bAfter) == (in.eOp == CSqRegexp::OP_WORDB);
                        ++uPc;
                        break;
                    }
                    case CSqRegexp::OP_BALANCE:
                        bOk = Balance(in.x, in.y, &uPos);
                        ++uPc;
                        break;
                    case CSqRegexp::OP_SPLIT:
                        if (!Push(F_ALT, static_cast<size_t>(in.y), uPos))
                            return CSqRegexp::REGEXP_TOO_COMPLEX;
                        uPc = static_cast<size_t>(in.x);
                        break;
                    case CSqRegexp::OP_JMP: uPc = static_cast<size_t>(in.x); break;
                    case CSqRegexp::OP_SAVE: {
                        size_t& slot = m_Captures[static_cast<size_t>(in.x)];
                        if (!Push(F_CAPTURE, static_cast<size_t>(in.x), Pack(slot)))
                            return CSqRegexp::REGEXP_TOO_COMPLEX;
                        slot = uPos;
                        ++uPc;
                        break;
                    }
                    case CSqRegexp::OP_MARK: {
                        size_t& slot = m_Marks[static_cast<size_t>(in.x)];
                        if (!Push(F_MARK, static_cast<size_t>(in.x), Pack(slot)))
                            return CSqRegexp::REGEXP_TOO_COMPLEX;
                        slot = uPos;
                        ++uPc;
                        break;
                    }
                    case CSqRegexp::OP_CHECK:
                        bOk = uPos != m_Marks[static_cast<size_t>(in.x)];
                        ++uPc;
                        break;
                    case CSqRegexp::OP_REPEAT: {
                        // Without empty-iteration checks a state fails wherever it is reached
                        // from. A greedy unbounded repetition starting inside a run it already
                        // scanned ends where that run ends, and its continuations are a subset
                        // of the earlier ones: once those all failed, this one fails at once.
                        SRun* pRun = nullptr;
                        if (in.bGreedy && in.uMax == INFINITE && m_Re.m_nMarks == 0)
                            pRun = &m_Runs[uPc];
                        size_t k = 0;
                        if (pRun && pRun->uStart != CSqRegexp::UNSET && uPos > pRun->uStart && uPos <= pRun->uEnd) {
                            if (pRun->bExhausted) {
                                bOk = false;
                                break;
                            }
                            k = pRun->uEnd - uPos;
                        } else {
                            const CSet& s = m_Re.m_Sets[static_cast<size_t>(in.x)];
                            size_t nMax = std::min<size_t>(in.uMax, m_nLength - uPos);
                            while (k < nMax && SetHas(s, m_pText[uPos + k]))
                                ++k;
                            m_uSteps += k / 4;
                            if (pRun) {
                                *pRun = SRun{uPos, uPos + k, false};
                                if (!Push(F_RUN_DONE, uPc, uPos))
                                    return CSqRegexp::REGEXP_TOO_COMPLEX;
                            }
                        }
                        if (k < in.uMin) {
                            bOk = false;
                            break;
                        }
                        if (k > in.uMin) {
                            bool bPushed = in.bGreedy ? Push(F_GREEDY, uPc, uPos + in.uMin, uPos + k) : Push(F_LAZY, uPc, uPos + in.uMin, uPos + k);
                            if (!bPushed)
                                return CSqRegexp::REGEXP_TOO_COMPLEX;
                        }
                        uPos += in.bGreedy ? k : in.uMin;
                        ++uPc;
                        break;
                    }
                    case CSqRegexp::OP_MATCH:
                        if (!m_bFull || uPos == m_nLength)
                            return CSqRegexp::REGEXP_MATCH;
                        bOk = false;
                        break;
                    }
                }
                if (bOk)
                    continue;
                if (!Backtrack(&uPc, &uPos))
                    return CSqRegexp::REGEXP_NO_MATCH;
            }
        }

        // Resumes at the most recent alternative, undoing captures on the way.
        bool Backtrack(size_t* pPc, size_t* pPos)
        {
            while (!m_Stack.empty()) {
                SFrame& f = m_Stack.back();
                size_t uPc = f.uKindPc >> 3;
                switch (static_cast<eFrame>(f.uKindPc & 7)) {
                case F_ALT:
                    *pPc = uPc;
                    *pPos = f.a;
                    m_Stack.pop_back();
                    return true;
                case F_CAPTURE:
                    m_Captures[uPc] = Unpack(f.a);
                    m_Stack.pop_back();
                    break;
                case F_MARK:
                    m_Marks[uPc] = Unpack(f.a);
                    m_Stack.pop_back();
                    break;
                case F_GREEDY: // a = fewest, b = current: give one back
                    *pPc = uPc + 1;
                    *pPos = --f.b;
                    if (f.b == f.a)
                        m_Stack.pop_back();
                    return true;
                case F_RUN_DONE:
                    if (m_Runs[uPc].uStart == f.a)
                        m_Runs[uPc].bExhausted = true;
                    m_Stack.pop_back();
                    break;
                case F_LAZY: // a = current, b = most: take one more
                    *pPc = uPc + 1;
                    *pPos = ++f.a;
                    if (f.a == f.b)
                        m_Stack.pop_back();
                    return true;
                }
            }
            return false;
        }

        bool Balance(int iOpen, int iClose, size_t* pPos)
        {
            size_t i = *pPos;
            if (i >= m_nLength || m_pText[i] != iOpen)
                return false;
            int iDepth = 1;
            for (++i; i < m_nLength; ++i) {
                if (m_pText[i] == iClose) {
                    if (--iDepth == 0) {
                        m_uSteps += (i - *pPos) / 4;
                        *pPos = i + 1;
                        return true;
                    }
                } else if (m_pText[i] == iOpen) {
                    ++iDepth;
                }
            }
            m_uSteps += (i - *pPos) / 4;
            return false;
        }

        const CSqRegexp& m_Re;
        const uint8_t* m_pText;
        size_t m_nLength;
        size_t m_iStart;
        bool m_bFull;
        std::vector<size_t> m_Captures;
        std::vector<size_t> m_Marks;
        std::vector<SFrame> m_Stack;
        std::vector<uint64_t> m_Memo;
        std::vector<SRun> m_Runs;
        bool m_bNoMemo = false;
        uint64_t m_uSteps = 0;
    };

    CSqRegexp::eResult CSqRegexp::Exec(const char* pText, size_t nLength, size_t iStart, bool bFull, std::vector<size_t>& captures) const
    {
        if (m_Program.empty() || iStart > nLength || nLength >= UINT32_MAX)
            return REGEXP_NO_MATCH;
        CSqRegexpMatcher matcher(*this, reinterpret_cast<const uint8_t*>(pText), nLength, iStart, bFull);
        return matcher.Search(captures);
    }
}
