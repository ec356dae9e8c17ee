// bench_squirrel: our Squirrel engine beside Lua 5.3 on the same six CPU-bound programs
// (programs/<name>.nut and programs/<name>.lua, same algorithm, same checksum).
//   bench_squirrel [--runs N] [--programs DIR] [name...]
// Each program runs N times in each engine, alternating, each run in a fresh state; the
// line printed per program holds both medians and their ratio (Squirrel / Lua) from this
// run. Checksums must agree (integers exactly; floats within a relative 1e-3, since
// Squirrel's floats are 32-bit). The exit status is 1 when any checksum disagrees.
#include <Squirrel/SqStdLib.h>
#include <Squirrel/Squirrel.h>

extern "C" {
#include <lauxlib.h>
#include <lua.h>
#include <lualib.h>
}

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace Torvane3D::Squirrel;

namespace
{
    const char* const PROGRAMS[] = {"fib", "arith", "tables", "strings", "methods", "sort"};

    struct SResult
    {
        bool bOk = false;
        bool bInteger = false;
        long long iValue = 0;
        double fValue = 0;
        double fSeconds = 0;
        std::string strError;
    };

    bool ReadFile(const std::string& strPath, std::string& strOut)
    {
        FILE* f = fopen(strPath.c_str(), "rb");
        if (!f)
            return false;
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof(buffer), f)) > 0)
            strOut.append(buffer, n);
        fclose(f);
        return true;
    }

    double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

    void Quiet(CSqVM*, const char*, ...) {}

    SResult RunSquirrel(const std::string& strSource, const char* szName)
    {
        SResult r;
        CSqVM* vm = CSqVM::Open(1024);
        vm->SetPrintFunctions(Quiet, Quiet);
        RegisterStandardLibraries(vm);
        if (!vm->Compile(strSource.data(), strSource.size(), szName, false)) {
            vm->PushLastError();
            const char* sz = "compile error";
            vm->GetString(-1, &sz);
            r.strError = sz;
            vm->Close();
            return r;
        }
        vm->PushRootTable();
        double fStart = Now();
        bool bOk = vm->Call(1, true, false);
        r.fSeconds = Now() - fStart;
        if (!bOk) {
            vm->PushLastError();
            const char* sz = "runtime error";
            vm->GetString(-1, &sz);
            r.strError = sz;
        } else if (vm->GetType(-1) == SQ_INTEGER) {
            SqInteger i = 0;
            vm->GetInteger(-1, &i);
            r.bOk = r.bInteger = true;
            r.iValue = i;
        } else if (vm->GetType(-1) == SQ_FLOAT) {
            SqFloat f = 0;
            vm->GetFloat(-1, &f);
            r.bOk = true;
            r.fValue = f;
        } else {
            r.strError = "the program returned no number";
        }
        vm->Close();
        return r;
    }

    SResult RunLua(const std::string& strSource, const char* szName)
    {
        SResult r;
        lua_State* L = luaL_newstate();
        luaL_openlibs(L);
        if (luaL_loadbuffer(L, strSource.data(), strSource.size(), szName) != LUA_OK) {
            r.strError = lua_tostring(L, -1);
            lua_close(L);
            return r;
        }
        double fStart = Now();
        int iStatus = lua_pcall(L, 0, 1, 0);
        r.fSeconds = Now() - fStart;
        if (iStatus != LUA_OK) {
            r.strError = lua_tostring(L, -1) ? lua_tostring(L, -1) : "runtime error";
        } else if (lua_isinteger(L, -1)) {
            r.bOk = r.bInteger = true;
            r.iValue = lua_tointeger(L, -1);
        } else if (lua_type(L, -1) == LUA_TNUMBER) {
            r.bOk = true;
            r.fValue = lua_tonumber(L, -1);
        } else {
            r.strError = "the program returned no number";
        }
        lua_close(L);
        return r;
    }

    bool Agree(const SResult& a, const SResult& b)
    {
        if (a.bInteger && b.bInteger)
            return a.iValue == b.iValue;
        double x = a.bInteger ? static_cast<double>(a.iValue) : a.fValue;
        double y = b.bInteger ? static_cast<double>(b.iValue) : b.fValue;
        return std::fabs(x - y) <= 1e-3 * std::max(1.0, std::max(std::fabs(x), std::fabs(y)));
    }

    std::string Checksum(const SResult& r)
    {
        char sz[64];
        if (r.bInteger)
            snprintf(sz, sizeof(sz), "%lld", r.iValue);
        else
            snprintf(sz, sizeof(sz), "%.6g", r.fValue);
        return sz;
    }

    double Median(std::vector<double> v)
    {
        std::sort(v.begin(), v.end());
        size_t n = v.size();
        return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    }
}

int main(int argc, char** argv)
{
    int nRuns = 5;
    std::string strDir = TORVANE_SQUIRREL_BENCH_DIR;
    std::vector<std::string> selected;
    for (int i = 1; i < argc; ++i) {
        if (!strcmp(argv[i], "--runs") && i + 1 < argc)
            nRuns = std::max(1, atoi(argv[++i]));
        else if (!strcmp(argv[i], "--programs") && i + 1 < argc)
            strDir = argv[++i];
        else
            selected.push_back(argv[i]);
    }
    printf("%-8s %12s %12s %8s  %s (medians of %d runs)\n", "program", "squirrel s", "lua s", "sq/lua", "checksum", nRuns);
    bool bAllAgree = true;
    for (const char* szName : PROGRAMS) {
        if (!selected.empty() && std::find(selected.begin(), selected.end(), szName) == selected.end())
            continue;
        std::string strNut, strLua;
        if (!ReadFile(strDir + "/" + szName + ".nut", strNut) || !ReadFile(strDir + "/" + szName + ".lua", strLua)) {
            printf("%-8s cannot read its programs in %s\n", szName, strDir.c_str());
            bAllAgree = false;
            continue;
        }
        std::vector<double> sq, lua;
        SResult last;
        bool bAgree = true;
        std::string strProblem;
        for (int k = 0; k < nRuns && bAgree; ++k) {
            SResult a = RunSquirrel(strNut, szName);
            SResult b = RunLua(strLua, szName);
            if (!a.bOk || !b.bOk || !Agree(a, b)) {
                bAgree = false;
                strProblem = !a.bOk ? "squirrel: " + a.strError
                           : !b.bOk ? "lua: " + b.strError
                                    : "checksums differ: squirrel " + Checksum(a) + ", lua " + Checksum(b);
            }
            sq.push_back(a.fSeconds);
            lua.push_back(b.fSeconds);
            last = a;
        }
        if (!bAgree) {
            printf("%-8s FAILED: %s\n", szName, strProblem.c_str());
            bAllAgree = false;
            continue;
        }
        double fSq = Median(sq), fLua = Median(lua);
        printf("%-8s %12.3f %12.3f %8.2f  %s\n", szName, fSq, fLua, fSq / fLua, Checksum(last).c_str());
        fflush(stdout);
    }
    return bAllAgree ? 0 : 1;
}
