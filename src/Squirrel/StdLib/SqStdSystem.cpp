// The system library: clocks and dates, and the process functions (getenv, system, remove,
// rename) that the server removes from the root table.
#include "SqStdInternal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace Torvane3D::Squirrel
{
    namespace
    {
        // A string argument that is a plain C string (no zero byte inside).
        bool CString(CSqVM* v, int iIndex, const char** ppOut)
        {
            size_t n = 0;
            return v->GetString(iIndex, ppOut, &n) && strlen(*ppOut) == n;
        }

        int system_clock(CSqVM* v)
        {
            v->PushFloat(static_cast<SqFloat>(static_cast<double>(clock()) / CLOCKS_PER_SEC));
            return 1;
        }

        int system_time(CSqVM* v)
        {
            v->PushInteger(static_cast<SqInteger>(time(nullptr)));
            return 1;
        }

        void AddInteger(CSqVM* v, const char* szName, SqInteger i)
        {
            v->PushString(szName);
            v->PushInteger(i);
            v->NewSlot(-3, false);
        }

        int system_date(CSqVM* v)
        {
            SqInteger iTime = static_cast<SqInteger>(time(nullptr));
            SqInteger iFormat = 'l';
            if (v->GetTop() >= 2)
                v->GetInteger(2, &iTime);
            if (v->GetTop() >= 3)
                v->GetInteger(3, &iFormat);
            time_t t = static_cast<time_t>(iTime);
            struct tm date;
            bool bOk = iFormat == 'u' ? gmtime_r(&t, &date) != nullptr : localtime_r(&t, &date) != nullptr;
            if (!bOk)
                return v->ThrowError("date out of range");
            v->NewTable();
            AddInteger(v, "sec", date.tm_sec);
            AddInteger(v, "min", date.tm_min);
            AddInteger(v, "hour", date.tm_hour);
            AddInteger(v, "day", date.tm_mday);
            AddInteger(v, "month", date.tm_mon);
            AddInteger(v, "year", static_cast<SqInteger>(date.tm_year) + 1900);
            AddInteger(v, "wday", date.tm_wday);
            AddInteger(v, "yday", date.tm_yday);
            return 1;
        }

        int system_getenv(CSqVM* v)
        {
            const char* szName;
            if (!CString(v, 2, &szName))
                return 0;
            const char* szValue = getenv(szName);
            if (!szValue)
                return 0;
            v->PushString(szValue);
            return 1;
        }

        int system_system(CSqVM* v)
        {
            const char* szCommand;
            if (!CString(v, 2, &szCommand))
                return v->ThrowError("invalid command");
            v->PushInteger(system(szCommand));
            return 1;
        }

        int system_remove(CSqVM* v)
        {
            const char* szPath;
            if (!CString(v, 2, &szPath) || remove(szPath) != 0)
                return v->ThrowError("remove() failed");
            return 0;
        }

        int system_rename(CSqVM* v)
        {
            const char* szFrom;
            const char* szTo;
            if (!CString(v, 2, &szFrom) || !CString(v, 3, &szTo) || rename(szFrom, szTo) != 0)
                return v->ThrowError("rename() failed");
            return 0;
        }

        const SSqStdFunction s_SystemFunctions[] = {
            {"clock", system_clock, 1, nullptr},
            {"time", system_time, 1, nullptr},
            {"date", system_date, -1, ".nn"},
            {"getenv", system_getenv, 2, ".s"},
            {"system", system_system, 2, ".s"},
            {"remove", system_remove, 2, ".s"},
            {"rename", system_rename, 3, ".ss"},
            {nullptr, nullptr, 0, nullptr},
        };
    }

    void SqStdRegisterSystem(CSqVM* pVM)
    {
        pVM->PushRootTable();
        SqStdAddFunctions(pVM, s_SystemFunctions);
        pVM->Pop(1);
    }
}
