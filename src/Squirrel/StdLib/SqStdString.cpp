// The string library: format/printf, strip, lstrip, rstrip, split, escape, startswith,
// endswith, and the regexp class over our regexp engine.
#include "SqStdInternal.h"
#include "SqStdRegexp.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace Torvane3D::Squirrel
{
    namespace
    {
        const char* StringArg(CSqVM* v, int iIndex, size_t* pnLength)
        {
            const char* p;
            if (v->GetString(iIndex, &p, pnLength))
                return p;
            *pnLength = 0;
            return "";
        }

        // ---------------------------------------------------------------- format
        struct SConversion
        {
            bool bMinus = false, bPlus = false, bSpace = false, bHash = false, bZero = false;
            int iWidth = -1;
            int iPrecision = -1;
        };

        void Pad(std::string& out, const char* p, size_t n, const SConversion& conv)
        {
            size_t nPad = conv.iWidth > 0 && static_cast<size_t>(conv.iWidth) > n ? static_cast<size_t>(conv.iWidth) - n : 0;
            if (!conv.bMinus)
                out.append(nPad, ' ');
            out.append(p, n);
            if (conv.bMinus)
                out.append(nPad, ' ');
        }

        // Writes 0..99 (width and precision are at most two digits).
        char* PutSmall(char* p, int i)
        {
            if (i >= 10)
                *p++ = static_cast<char>('0' + i / 10);
            *p++ = static_cast<char>('0' + i % 10);
            return p;
        }

        // A float conversion through the C library, rebuilt from the validated parts.
        void FormatFloat(std::string& out, const SConversion& conv, char cConversion, double fValue)
        {
            char szConversion[16];
            char* p = szConversion;
            *p++ = '%';
            if (conv.bMinus)
                *p++ = '-';
            if (conv.bPlus)
                *p++ = '+';
            if (conv.bSpace)
                *p++ = ' ';
            if (conv.bHash)
                *p++ = '#';
            if (conv.bZero)
                *p++ = '0';
            if (conv.iWidth >= 0)
                p = PutSmall(p, conv.iWidth);
            if (conv.iPrecision >= 0) {
                *p++ = '.';
                p = PutSmall(p, conv.iPrecision);
            }
            *p++ = cConversion;
            *p = '\0';
            // The longest text is a float of 39 digits with 99 decimals.
            char szBuffer[256];
            int n = snprintf(szBuffer, sizeof(szBuffer), szConversion, fValue);
            if (n > 0)
                out.append(szBuffer, std::min(static_cast<size_t>(n), sizeof(szBuffer) - 1));
        }

        // d i u o x X as C defines them: sign or prefix, at least `precision` digits (none for
        // a zero with precision 0), zero padding only without '-' and without a precision.
        void FormatInteger(std::string& out, const SConversion& conv, char cConversion, SqInteger iValue)
        {
            bool bSigned = cConversion == 'd' || cConversion == 'i';
            uint64_t u = static_cast<uint64_t>(iValue);
            char szSign[3] = {};
            if (bSigned) {
                if (iValue < 0) {
                    u = 0 - u;
                    szSign[0] = '-';
                } else if (conv.bPlus) {
                    szSign[0] = '+';
                } else if (conv.bSpace) {
                    szSign[0] = ' ';
                }
            }
            unsigned uBase = cConversion == 'o' ? 8 : (cConversion == 'x' || cConversion == 'X') ? 16 : 10;
            const char* szDigits = cConversion == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
            char szNumber[24];
            char* pEnd = szNumber + sizeof(szNumber);
            char* p = pEnd;
            for (uint64_t v = u; v != 0; v /= uBase)
                *--p = szDigits[v % uBase];
            size_t nDigits = static_cast<size_t>(pEnd - p);
            size_t nPrecision = conv.iPrecision >= 0 ? static_cast<size_t>(conv.iPrecision) : 1;
            if (conv.bHash && cConversion == 'o' && nPrecision <= nDigits && (nDigits == 0 || *p != '0'))
                nPrecision = nDigits + 1;
            if (conv.bHash && uBase == 16 && u != 0) {
                szSign[0] = '0';
                szSign[1] = cConversion;
            }
            size_t nSign = strlen(szSign);
            size_t nZeros = nPrecision > nDigits ? nPrecision - nDigits : 0;
            size_t nLength = nSign + nZeros + nDigits;
            size_t nPad = conv.iWidth > 0 && static_cast<size_t>(conv.iWidth) > nLength ? static_cast<size_t>(conv.iWidth) - nLength : 0;
            if (conv.bZero && !conv.bMinus && conv.iPrecision < 0) {
                nZeros += nPad;
                nPad = 0;
            }
            if (!conv.bMinus)
                out.append(nPad, ' ');
            out.append(szSign, nSign);
            out.append(nZeros, '0');
            out.append(p, nDigits);
            if (conv.bMinus)
                out.append(nPad, ' ');
        }

        // Parses up to two digits; false when there are more.
        bool ParseNumber(const char* f, size_t n, size_t* pi, int* pOut)
        {
            int iDigits = 0, iValue = 0;
            while (*pi < n && f[*pi] >= '0' && f[*pi] <= '9') {
                iValue = iValue * 10 + (f[*pi] - '0');
                ++iDigits;
                ++*pi;
                if (iDigits > 2)
                    return false;
            }
            *pOut = iValue;
            return true;
        }

        // Appends the formatted text; SQ_ERROR after throwing.
        int Format(CSqVM* v, int iFormat, std::string& out)
        {
            size_t n;
            const char* f = StringArg(v, iFormat, &n);
            int iArg = iFormat + 1;
            int nTop = v->GetTop();
            size_t i = 0;
            while (i < n) {
                const char* pPercent = static_cast<const char*>(memchr(f + i, '%', n - i));
                size_t iEnd = pPercent ? static_cast<size_t>(pPercent - f) : n;
                out.append(f + i, iEnd - i);
                i = iEnd + 1;
                if (i > n)
                    break;
                if (i < n && f[i] == '%') {
                    out += '%';
                    ++i;
                    continue;
                }
                SConversion conv;
                for (bool bFlag = true; bFlag && i < n; ) {
                    switch (f[i]) {
                    case '-': conv.bMinus = true; break;
                    case '+': conv.bPlus = true; break;
                    case ' ': conv.bSpace = true; break;
                    case '#': conv.bHash = true; break;
                    case '0': conv.bZero = true; break;
                    default: bFlag = false; continue;
                    }
                    ++i;
                }
                if (i < n && f[i] >= '0' && f[i] <= '9' && !ParseNumber(f, n, &i, &conv.iWidth))
                    return v->ThrowError("width format too long");
                if (i < n && f[i] == '.') {
                    ++i;
                    if (!ParseNumber(f, n, &i, &conv.iPrecision))
                        return v->ThrowError("precision format too long");
                }
                if (iArg > nTop)
                    return v->ThrowError("not enough parameters for the given format string");
                char cConversion = i < n ? f[i++] : '\0';
                eSqType eType = v->GetType(iArg);
                switch (cConversion) {
                case 'd':
                case 'i':
                case 'u':
                case 'o':
                case 'x':
                case 'X':
                case 'c': {
                    SqInteger iValue;
                    if ((eType != SQ_INTEGER && eType != SQ_FLOAT && eType != SQ_BOOL) || !v->GetInteger(iArg, &iValue))
                        return v->ThrowError("integer expected for the specified format");
                    if (cConversion == 'c') {
                        char c = static_cast<char>(iValue);
                        Pad(out, &c, 1, conv);
                    } else {
                        FormatInteger(out, conv, cConversion, iValue);
                    }
                    break;
                }
                case 'e':
                case 'E':
                case 'f':
                case 'g':
                case 'G': {
                    SqFloat fValue;
                    if ((eType != SQ_INTEGER && eType != SQ_FLOAT) || !v->GetFloat(iArg, &fValue))
                        return v->ThrowError("float expected for the specified format");
                    FormatFloat(out, conv, cConversion, static_cast<double>(fValue));
                    break;
                }
                case 's': {
                    const char* s;
                    size_t nLength;
                    if (eType != SQ_STRING || !v->GetString(iArg, &s, &nLength))
                        return v->ThrowError("string expected for the specified format");
                    // As C text: the string ends at its first zero byte.
                    nLength = strnlen(s, nLength);
                    if (conv.iPrecision >= 0 && static_cast<size_t>(conv.iPrecision) < nLength)
                        nLength = static_cast<size_t>(conv.iPrecision);
                    Pad(out, s, nLength, conv);
                    break;
                }
                default: return v->ThrowError("invalid format");
                }
                ++iArg;
            }
            return 0;
        }

        int string_format(CSqVM* v)
        {
            std::string out;
            if (Format(v, 2, out) != 0)
                return SQ_ERROR;
            v->PushString(out.data(), out.size());
            return 1;
        }

        int string_printf(CSqVM* v)
        {
            std::string out;
            if (Format(v, 2, out) != 0)
                return SQ_ERROR;
            if (SqPrintFunction pPrint = v->GetPrintFunction())
                pPrint(v, "%s", out.c_str());
            return 0;
        }

        // ---------------------------------------------------------------- text functions
        bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

        int Strip(CSqVM* v, bool bLeft, bool bRight)
        {
            size_t n;
            const char* s = StringArg(v, 2, &n);
            size_t iBegin = 0, iEnd = n;
            while (bLeft && iBegin < iEnd && IsSpace(s[iBegin]))
                ++iBegin;
            while (bRight && iEnd > iBegin && IsSpace(s[iEnd - 1]))
                --iEnd;
            v->PushString(s + iBegin, iEnd - iBegin);
            return 1;
        }

        int string_strip(CSqVM* v) { return Strip(v, true, true); }
        int string_lstrip(CSqVM* v) { return Strip(v, true, false); }
        int string_rstrip(CSqVM* v) { return Strip(v, false, true); }

        // Each byte of the second argument separates fields; empty fields are kept except a
        // trailing one. Both strings end at their first zero byte, as C text.
        int string_split(CSqVM* v)
        {
            size_t n, nSeparators;
            const char* s = StringArg(v, 2, &n);
            const char* szSeparators = StringArg(v, 3, &nSeparators);
            n = strnlen(s, n);
            nSeparators = strnlen(szSeparators, nSeparators);
            if (nSeparators == 0)
                return v->ThrowError("empty separators string");
            bool bSeparator[256] = {};
            for (size_t k = 0; k < nSeparators; ++k)
                bSeparator[static_cast<uint8_t>(szSeparators[k])] = true;
            v->NewArray(0);
            size_t iField = 0;
            for (size_t k = 0; k < n; ++k) {
                if (bSeparator[static_cast<uint8_t>(s[k])]) {
                    v->PushString(s + iField, k - iField);
                    v->ArrayAppend(-2);
                    iField = k + 1;
                }
            }
            if (iField < n) {
                v->PushString(s + iField, n - iField);
                v->ArrayAppend(-2);
            }
            return 1;
        }

        // Quotes and backslashes get a backslash, a zero byte is \0, every other byte outside
        // printable ASCII is \x with two hex digits.
        int string_escape(CSqVM* v)
        {
            size_t n;
            const char* s = StringArg(v, 2, &n);
            std::string out;
            out.reserve(n + 8);
            static const char s_szHex[] = "0123456789abcdef";
            for (size_t k = 0; k < n; ++k) {
                uint8_t c = static_cast<uint8_t>(s[k]);
                switch (c) {
                case '"': out += "\\\""; break;
                case '\'': out += "\\'"; break;
                case '\\': out += "\\\\"; break;
                case 0: out += "\\0"; break;
                default:
                    if (c < 0x20 || c >= 0x7F) {
                        out += "\\x";
                        out += s_szHex[c >> 4];
                        out += s_szHex[c & 15];
                    } else {
                        out += static_cast<char>(c);
                    }
                    break;
                }
            }
            v->PushString(out.data(), out.size());
            return 1;
        }

        int string_startswith(CSqVM* v)
        {
            size_t n, nPrefix;
            const char* s = StringArg(v, 2, &n);
            const char* p = StringArg(v, 3, &nPrefix);
            v->PushBool(nPrefix <= n && memcmp(s, p, nPrefix) == 0);
            return 1;
        }

        int string_endswith(CSqVM* v)
        {
            size_t n, nSuffix;
            const char* s = StringArg(v, 2, &n);
            const char* p = StringArg(v, 3, &nSuffix);
            v->PushBool(nSuffix <= n && memcmp(s + n - nSuffix, p, nSuffix) == 0);
            return 1;
        }

        const SSqStdFunction s_StringFunctions[] = {
            {"format", string_format, -2, ".s"},
            {"printf", string_printf, -2, ".s"},
            {"strip", string_strip, 2, ".s"},
            {"lstrip", string_lstrip, 2, ".s"},
            {"rstrip", string_rstrip, 2, ".s"},
            {"split", string_split, 3, ".ss"},
            {"escape", string_escape, 2, ".s"},
            {"startswith", string_startswith, 3, ".ss"},
            {"endswith", string_endswith, 3, ".ss"},
            {nullptr, nullptr, 0, nullptr},
        };

        // ---------------------------------------------------------------- regexp class
        const char s_RegexpTag = 0;

        void ReleaseRegexp(void* p, void*) { delete static_cast<CSqRegexp*>(p); }

        CSqRegexp* GetRegexp(CSqVM* v, int iIndex)
        {
            void* p = nullptr;
            if (!v->GetInstanceUP(iIndex, &p, &s_RegexpTag))
                return nullptr;
            return static_cast<CSqRegexp*>(p);
        }

        void BindRegexp(CSqVM* v, CSqRegexp* pRegexp)
        {
            CSqRegexp* pOld = GetRegexp(v, 1);
            v->SetInstanceUP(1, pRegexp);
            v->SetReleaseHook(1, ReleaseRegexp);
            delete pOld;
        }

        int regexp_constructor(CSqVM* v)
        {
            size_t n;
            const char* p = StringArg(v, 2, &n);
            CSqRegexp* pRegexp = new CSqRegexp();
            std::string strError;
            if (!pRegexp->Compile(p, n, strError)) {
                delete pRegexp;
                return v->ThrowError("%s", strError.c_str());
            }
            BindRegexp(v, pRegexp);
            return 0;
        }

        void PushSpan(CSqVM* v, size_t iBegin, size_t iEnd)
        {
            if (iBegin == CSqRegexp::UNSET || iEnd == CSqRegexp::UNSET)
                iBegin = iEnd = 0;
            v->NewTable();
            v->PushString("begin");
            v->PushInteger(static_cast<SqInteger>(iBegin));
            v->NewSlot(-3, false);
            v->PushString("end");
            v->PushInteger(static_cast<SqInteger>(iEnd));
            v->NewSlot(-3, false);
        }

        // Runs the regexp of `this` over argument 2 from the start in argument 3 (default 0).
        // Returns 1 on a match, 0 on none, SQ_ERROR after throwing.
        int Execute(CSqVM* v, bool bFull, std::vector<size_t>& captures)
        {
            CSqRegexp* pRegexp = GetRegexp(v, 1);
            if (!pRegexp)
                return v->ThrowError("invalid regexp");
            size_t n;
            const char* s = StringArg(v, 2, &n);
            SqInteger iStart = 0;
            if (v->GetTop() >= 3)
                v->GetInteger(3, &iStart);
            if (iStart < 0 || static_cast<uint64_t>(iStart) > n)
                return 0;
            switch (pRegexp->Exec(s, n, static_cast<size_t>(iStart), bFull, captures)) {
            case CSqRegexp::REGEXP_MATCH: return 1;
            case CSqRegexp::REGEXP_NO_MATCH: return 0;
            default: return v->ThrowError("the regular expression needs too many steps on this text");
            }
        }

        int regexp_match(CSqVM* v)
        {
            std::vector<size_t> captures;
            int r = Execute(v, true, captures);
            if (r == SQ_ERROR)
                return r;
            v->PushBool(r == 1);
            return 1;
        }

        int regexp_search(CSqVM* v)
        {
            std::vector<size_t> captures;
            int r = Execute(v, false, captures);
            if (r != 1)
                return r;
            PushSpan(v, captures[0], captures[1]);
            return 1;
        }

        int regexp_capture(CSqVM* v)
        {
            std::vector<size_t> captures;
            int r = Execute(v, false, captures);
            if (r != 1)
                return r;
            v->NewArray(0);
            for (size_t k = 0; k + 1 < captures.size(); k += 2) {
                PushSpan(v, captures[k], captures[k + 1]);
                v->ArrayAppend(-2);
            }
            return 1;
        }

        int regexp_subexpcount(CSqVM* v)
        {
            CSqRegexp* pRegexp = GetRegexp(v, 1);
            if (!pRegexp)
                return v->ThrowError("invalid regexp");
            v->PushInteger(static_cast<SqInteger>(pRegexp->GetCaptureCount()));
            return 1;
        }

        int regexp_typeof(CSqVM* v)
        {
            v->PushString("regexp");
            return 1;
        }

        int regexp_cloned(CSqVM* v)
        {
            CSqRegexp* pOriginal = GetRegexp(v, 2);
            if (!pOriginal)
                return v->ThrowError("invalid regexp");
            BindRegexp(v, new CSqRegexp(*pOriginal));
            return 0;
        }

        const SSqStdFunction s_RegexpMethods[] = {
            {"constructor", regexp_constructor, 2, "xs"},
            {"search", regexp_search, -2, "xsn"},
            {"match", regexp_match, 2, "xs"},
            {"capture", regexp_capture, -2, "xsn"},
            {"subexpcount", regexp_subexpcount, 1, "x"},
            {"_typeof", regexp_typeof, 1, "x"},
            {"_cloned", regexp_cloned, 2, "xx"},
            {nullptr, nullptr, 0, nullptr},
        };
    }

    void SqStdRegisterString(CSqVM* pVM)
    {
        pVM->PushRootTable();
        SqStdAddFunctions(pVM, s_StringFunctions);
        pVM->NewClass(false);
        pVM->SetTypeTag(-1, &s_RegexpTag);
        SqStdAddFunctions(pVM, s_RegexpMethods);
        SqStdAddSlot(pVM, "regexp");
        pVM->Pop(1);
    }
}
