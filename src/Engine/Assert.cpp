#include <Engine/Assert.h>
#include <Engine/Context.h>

#include <atomic>

namespace Torvane3D
{
    static std::atomic<bool> g_bAssertionsEnabled{true};

    void SetAssertionsEnabled(bool bEnabled)
    {
        g_bAssertionsEnabled = bEnabled;
    }

    bool AreAssertionsEnabled()
    {
        return g_bAssertionsEnabled;
    }

    void ReportAssertion(const char* szFile, const char* szFunction, int iLine, const char* szExpression)
    {
        if (!g_bAssertionsEnabled)
            return;
        LogMessage(LOG_ERROR, "Assertion failed!\n\nFile: %s\nFunction: %s\nLine: %d\n\nExpression: %s", szFile,
            szFunction, iLine, szExpression);
    }
}
