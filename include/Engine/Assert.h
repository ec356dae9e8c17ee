// Engine assertions. Reports are governed by a process-wide switch that main turns off
// first thing; a failed assertion never stops the program, the caller takes its guarded path.
#pragma once

namespace Torvane3D
{
    void SetAssertionsEnabled(bool bEnabled);
    bool AreAssertionsEnabled();
    void ReportAssertion(const char* szFile, const char* szFunction, int iLine, const char* szExpression);
}

#define TORVANE_ASSERT(expr) \
    ((expr) ? (void)0 : ::Torvane3D::ReportAssertion(__FILE__, __func__, __LINE__, #expr))
