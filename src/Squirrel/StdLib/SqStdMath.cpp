// The math library. Results are computed in double and stored as the VM's 32-bit float;
// abs returns an integer. rand() is the glibc generator (additive feedback, degree 31), kept
// per VM so that one script's srand does not move another VM's sequence.
#include "SqStdInternal.h"
#include "SqStdRandom.h"

#include <cmath>

namespace Torvane3D::Squirrel
{
    void CSqRandom::Seed(uint32_t uSeed)
    {
        if (uSeed == 0)
            uSeed = 1;
        // The C library works on the seed as a signed 32-bit value.
        int32_t iWord = static_cast<int32_t>(uSeed);
        m_State[0] = iWord;
        for (int i = 1; i < DEGREE; ++i) {
            // 16807 * word mod (2^31 - 1) without overflow (Schrage).
            int64_t iHi = iWord / 127773, iLo = iWord % 127773;
            iWord = static_cast<int32_t>(16807 * iLo - 2836 * iHi);
            if (iWord < 0)
                iWord += 2147483647;
            m_State[i] = static_cast<int32_t>(iWord);
        }
        m_iFront = SEPARATION;
        m_iRear = 0;
        for (int i = 0; i < DEGREE * 10; ++i)
            Next();
    }

    int32_t CSqRandom::Next()
    {
        uint32_t u = static_cast<uint32_t>(m_State[m_iFront]) + static_cast<uint32_t>(m_State[m_iRear]);
        m_State[m_iFront] = static_cast<int32_t>(u);
        if (++m_iFront >= DEGREE)
            m_iFront = 0;
        if (++m_iRear >= DEGREE)
            m_iRear = 0;
        return static_cast<int32_t>(u >> 1);
    }

    namespace
    {
        SqFloat Arg(CSqVM* v, int iIndex)
        {
            SqFloat f = 0;
            v->GetFloat(iIndex, &f);
            return f;
        }

        int Result(CSqVM* v, double d)
        {
            v->PushFloat(static_cast<SqFloat>(d));
            return 1;
        }

        int math_sqrt(CSqVM* v) { return Result(v, std::sqrt(static_cast<double>(Arg(v, 2)))); }
        int math_sin(CSqVM* v) { return Result(v, std::sin(static_cast<double>(Arg(v, 2)))); }
        int math_cos(CSqVM* v) { return Result(v, std::cos(static_cast<double>(Arg(v, 2)))); }
        int math_tan(CSqVM* v) { return Result(v, std::tan(static_cast<double>(Arg(v, 2)))); }
        int math_asin(CSqVM* v) { return Result(v, std::asin(static_cast<double>(Arg(v, 2)))); }
        int math_acos(CSqVM* v) { return Result(v, std::acos(static_cast<double>(Arg(v, 2)))); }
        int math_atan(CSqVM* v) { return Result(v, std::atan(static_cast<double>(Arg(v, 2)))); }
        int math_atan2(CSqVM* v) { return Result(v, std::atan2(static_cast<double>(Arg(v, 2)), static_cast<double>(Arg(v, 3)))); }
        int math_log(CSqVM* v) { return Result(v, std::log(static_cast<double>(Arg(v, 2)))); }
        int math_log10(CSqVM* v) { return Result(v, std::log10(static_cast<double>(Arg(v, 2)))); }
        int math_exp(CSqVM* v) { return Result(v, std::exp(static_cast<double>(Arg(v, 2)))); }
        int math_pow(CSqVM* v) { return Result(v, std::pow(static_cast<double>(Arg(v, 2)), static_cast<double>(Arg(v, 3)))); }
        int math_floor(CSqVM* v) { return Result(v, std::floor(static_cast<double>(Arg(v, 2)))); }
        int math_ceil(CSqVM* v) { return Result(v, std::ceil(static_cast<double>(Arg(v, 2)))); }
        int math_fabs(CSqVM* v) { return Result(v, std::fabs(static_cast<double>(Arg(v, 2)))); }

        int math_abs(CSqVM* v)
        {
            SqInteger i = 0;
            v->GetInteger(2, &i);
            // Negated in unsigned arithmetic: the most negative integer stays itself.
            uint64_t u = static_cast<uint64_t>(i);
            v->PushInteger(static_cast<SqInteger>(i < 0 ? 0 - u : u));
            return 1;
        }

        CSqRandom* Random(CSqVM* v) { return static_cast<CSqRandom*>(v->GetNativeUserPointer()); }

        int math_srand(CSqVM* v)
        {
            SqInteger i = 0;
            v->GetInteger(2, &i);
            Random(v)->Seed(static_cast<uint32_t>(i));
            return 0;
        }

        int math_rand(CSqVM* v)
        {
            v->PushInteger(Random(v)->Next());
            return 1;
        }

        void ReleaseRandom(void* p, void*) { delete static_cast<CSqRandom*>(p); }

        const SSqStdFunction s_MathFunctions[] = {
            {"sqrt", math_sqrt, 2, ".n"},
            {"sin", math_sin, 2, ".n"},
            {"cos", math_cos, 2, ".n"},
            {"asin", math_asin, 2, ".n"},
            {"acos", math_acos, 2, ".n"},
            {"log", math_log, 2, ".n"},
            {"log10", math_log10, 2, ".n"},
            {"tan", math_tan, 2, ".n"},
            {"atan", math_atan, 2, ".n"},
            {"atan2", math_atan2, 3, ".nn"},
            {"pow", math_pow, 3, ".nn"},
            {"floor", math_floor, 2, ".n"},
            {"ceil", math_ceil, 2, ".n"},
            {"exp", math_exp, 2, ".n"},
            {"fabs", math_fabs, 2, ".n"},
            {"abs", math_abs, 2, ".n"},
            {nullptr, nullptr, 0, nullptr},
        };

        const SSqStdFunction s_RandomFunctions[] = {
            {"srand", math_srand, 2, ".n"},
            {"rand", math_rand, 1, nullptr},
            {nullptr, nullptr, 0, nullptr},
        };
    }

    void SqStdRegisterMath(CSqVM* pVM)
    {
        CSqRandom* pRandom = new CSqRandom();
        SqStdKeepWithVM(pVM, "std.random", pRandom, ReleaseRandom);
        pVM->PushRootTable();
        SqStdAddFunctions(pVM, s_MathFunctions);
        SqStdAddFunctions(pVM, s_RandomFunctions, pRandom);
        pVM->PushInteger(CSqRandom::MAX);
        SqStdAddSlot(pVM, "RAND_MAX");
        pVM->PushFloat(3.14159265358979323846f);
        SqStdAddSlot(pVM, "PI");
        pVM->Pop(1);
    }
}
