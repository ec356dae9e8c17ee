// squirrel: runs a Squirrel script outside the server.
//   squirrel <script.nut> [arguments...]
//   squirrel --disassemble <script.nut>   (lists the compiled code instead of running it)
// The arguments are the main function's `vargv` (strings). print() writes to stdout; an
// uncaught error is reported with its call stack on stderr and the exit status is 1
// (compile errors: 254). A main function returning an integer sets the exit status.
#include <Squirrel/SqStdLib.h>
#include <Squirrel/Squirrel.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>

using namespace Torvane3D::Squirrel;

namespace
{
    void PrintOut(CSqVM*, const char* szFormat, ...)
    {
        va_list args;
        va_start(args, szFormat);
        vfprintf(stdout, szFormat, args);
        va_end(args);
    }

    void PrintErr(CSqVM*, const char* szFormat, ...)
    {
        va_list args;
        va_start(args, szFormat);
        vfprintf(stderr, szFormat, args);
        va_end(args);
    }

    void OnCompileError(CSqVM*, const char* szDescription, const char* szSource, int iLine, int iColumn)
    {
        fprintf(stderr, "%s line = (%d) column = (%d) : error %s\n", szSource, iLine, iColumn, szDescription);
    }

    std::string ValueText(CSqVM* vm, int iIndex)
    {
        switch (vm->GetType(iIndex)) {
        case SQ_NULL: return "NULL";
        case SQ_INTEGER:
        case SQ_FLOAT:
        case SQ_BOOL:
            if (vm->ToString(iIndex)) {
                const char* sz = "";
                vm->GetString(-1, &sz);
                std::string s = sz;
                vm->Pop(1);
                return s;
            }
            return "?";
        case SQ_STRING: {
            const char* sz = "";
            vm->GetString(iIndex, &sz);
            return std::string("\"") + sz + "\"";
        }
        case SQ_TABLE: return "TABLE";
        case SQ_ARRAY: return "ARRAY";
        case SQ_CLOSURE: return "CLOSURE";
        case SQ_NATIVECLOSURE: return "NATIVECLOSURE";
        case SQ_GENERATOR: return "GENERATOR";
        case SQ_THREAD: return "THREAD";
        case SQ_CLASS: return "CLASS";
        case SQ_INSTANCE: return "INSTANCE";
        case SQ_WEAKREF: return "WEAKREF";
        default: return "USERDATA";
        }
    }

    // Runtime error handler: runs before the stack unwinds, so it can walk it.
    int OnRuntimeError(CSqVM* vm)
    {
        std::string strMessage = "unknown";
        if (vm->GetType(2) == SQ_STRING) {
            const char* sz = "";
            vm->GetString(2, &sz);
            strMessage = sz;
        }
        fprintf(stderr, "\nAN ERROR HAS OCCURRED [%s]\n\nCALLSTACK\n", strMessage.c_str());
        SSqStackInfo info;
        for (int iLevel = 1; vm->GetStackInfo(iLevel, &info); ++iLevel)
            fprintf(stderr, "*FUNCTION [%s()] %s line [%d]\n", info.szFunction ? info.szFunction : "unknown",
                    info.szSource ? info.szSource : "unknown", info.iLine);
        fprintf(stderr, "\nLOCALS\n");
        for (int iLevel = 1; vm->GetStackInfo(iLevel, &info); ++iLevel) {
            for (int i = 0;; ++i) {
                const char* szName = vm->GetLocal(iLevel, i);
                if (!szName)
                    break;
                fprintf(stderr, "[%s] %s\n", szName, ValueText(vm, -1).c_str());
                vm->Pop(1);
            }
        }
        fflush(stderr);
        return 0;
    }

    bool ReadFile(const char* szPath, std::string& strOut)
    {
        FILE* f = fopen(szPath, "rb");
        if (!f)
            return false;
        char buffer[65536];
        size_t n;
        while ((n = fread(buffer, 1, sizeof(buffer), f)) > 0)
            strOut.append(buffer, n);
        bool bOk = !ferror(f);
        fclose(f);
        // A UTF-8 byte-order mark is not part of the script.
        if (strOut.compare(0, 3, "\xEF\xBB\xBF") == 0)
            strOut.erase(0, 3);
        return bOk;
    }
}

int main(int argc, char** argv)
{
    bool bDisassemble = argc >= 2 && strcmp(argv[1], "--disassemble") == 0;
    if (bDisassemble) {
        ++argv;
        --argc;
    }
    if (argc < 2) {
        fprintf(stderr, "usage: %s <script.nut> [arguments...]\n", argv[0]);
        return 2;
    }
    std::string strSource;
    if (!ReadFile(argv[1], strSource)) {
        fprintf(stderr, "cannot read '%s'\n", argv[1]);
        return 2;
    }
    CSqVM* vm = CSqVM::Open(1024);
    vm->SetPrintFunctions(PrintOut, PrintErr);
    vm->SetCompileErrorHandler(OnCompileError);
    vm->NewClosure(OnRuntimeError);
    vm->SetNativeClosureName(-1, "errorhandler");
    vm->SetErrorHandler();
    RegisterStandardLibraries(vm);

    int iStatus = 0;
    if (!vm->Compile(strSource.data(), strSource.size(), argv[1], true)) {
        iStatus = 254;
    } else if (bDisassemble) {
        vm->DumpFunction(-1, PrintOut);
    } else {
        vm->PushRootTable();
        for (int i = 2; i < argc; ++i)
            vm->PushString(argv[i]);
        if (!vm->Call(argc - 1, true, true)) {
            iStatus = 1;
        } else if (vm->GetState() == SQ_THREAD_SUSPENDED) {
            iStatus = 1;
        } else {
            SqInteger iResult;
            if (vm->GetType(-1) == SQ_INTEGER && vm->GetInteger(-1, &iResult))
                iStatus = static_cast<int>(static_cast<uint64_t>(iResult) & 0xFF);
        }
    }
    fflush(stdout);
    vm->Close();
    return iStatus;
}
