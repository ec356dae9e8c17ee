// One native call through the registry (frame on the stack, three checked number arguments,
// a number returned in m_RVal and read back) against a direct C++ call of the same body.
// The argument list is prepared once: converting script values is the binding's cost.
// Prints the median of several runs; the last line is the summary.
#include <Engine/Scripting.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace Torvane3D;

namespace
{
    constexpr int CALLS_PER_RUN = 2000000;
    constexpr int RUNS = 7;

    // Keeps the compiler from folding or hoisting the measured work.
    template <class T>
    inline void Escape(T& value)
    {
        asm volatile("" : : "g"(&value) : "memory");
    }

    [[gnu::noinline]] float Body(float a, float b, float c)
    {
        return a * b + c;
    }

    bool FunctionMultiplyAdd(CNativeState* pState, int, void*)
    {
        float a, b, c;
        if (!pState->CheckNumber(0, a) || !pState->CheckNumber(1, b) || !pState->CheckNumber(2, c))
            return false;
        pState->m_RVal.AddNumber(Body(a, b, c));
        return true;
    }

    template <class F>
    double NanosecondsPerCall(F call)
    {
        std::vector<double> runs;
        for (int r = 0; r < RUNS; ++r) {
            auto start = std::chrono::steady_clock::now();
            for (int i = 0; i < CALLS_PER_RUN; ++i)
                call();
            std::chrono::duration<double, std::nano> elapsed = std::chrono::steady_clock::now() - start;
            runs.push_back(elapsed.count() / CALLS_PER_RUN);
        }
        std::sort(runs.begin(), runs.end());
        return runs[runs.size() / 2];
    }
}

int main()
{
    CScripting scripting;
    ReflectedFunction* pFunction = scripting.m_Global.RegisterFunction("multiplyAdd", "fff", FunctionMultiplyAdd);
    auto pArguments = MakeStrong<CArgumentArray>(3);
    pArguments->AddNumber(1.5);
    pArguments->AddNumber(int32_t(2));
    pArguments->AddNumber(0.25f);

    float fSum = 0.0f;
    double dNative = NanosecondsPerCall([&] {
        CNativeState state(&scripting, nullptr, pArguments);
        if (state.Invoke(*pFunction)) {
            float f = 0.0f;
            state.m_RVal.GetReturnArgument()->ToNumber(f);
            fSum += f;
        }
        Escape(fSum);
    });
    float a = 1.5f, b = 2.0f, c = 0.25f;
    double dDirect = NanosecondsPerCall([&] {
        Escape(a);
        fSum += Body(a, b, c);
        Escape(fSum);
    });
    if (fSum <= 0.0f)
        return 1;
    printf("registry call: %.1f ns (median of %d runs of %d calls)\n", dNative, RUNS, CALLS_PER_RUN);
    printf("direct call: %.2f ns\n", dDirect);
    printf("native call: %.1f ns, %.1fx a direct call\n", dNative, dNative / dDirect);
    return 0;
}
