// The io library: the file class (a stream over a C file), the stdout, stdin and stderr
// instances, and the script loading functions. The server removes file and the loaders
// from the root table; the standalone interpreter keeps them.
#include "SqStdInternal.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace Torvane3D::Squirrel
{
    namespace
    {
        const char s_FileTag = 0;
        const char* const FILE_CLASS_KEY = "std.file";
        // Scripts loaded from disk are text; anything larger is refused rather than read.
        constexpr long MAX_SCRIPT_FILE = 64L << 20;

        class CFileStream : public ISqStream
        {
        public:
            CFileStream(FILE* pFile, bool bOwns) : m_pFile(pFile), m_bOwns(bOwns) {}
            ~CFileStream() override { Close(); }

            size_t Read(void* pBuffer, size_t nSize) override { return fread(pBuffer, 1, nSize, m_pFile); }
            size_t Write(const void* pBuffer, size_t nSize) override { return fwrite(pBuffer, 1, nSize, m_pFile); }
            int Flush() override { return fflush(m_pFile) == 0 ? 0 : -1; }
            SqInteger Tell() override { return ftell(m_pFile); }

            SqInteger Length() override
            {
                long iPos = ftell(m_pFile);
                if (iPos < 0 || fseek(m_pFile, 0, SEEK_END) != 0)
                    return -1;
                long iEnd = ftell(m_pFile);
                fseek(m_pFile, iPos, SEEK_SET);
                return iEnd;
            }

            int Seek(SqInteger iOffset, eSqSeekOrigin eOrigin) override
            {
                int iWhence = eOrigin == SQ_SEEK_SET ? SEEK_SET : eOrigin == SQ_SEEK_CUR ? SEEK_CUR : SEEK_END;
                return fseek(m_pFile, static_cast<long>(iOffset), iWhence) == 0 ? 0 : -1;
            }

            bool IsEOF() override { return feof(m_pFile) != 0; }
            bool IsOpen() const override { return m_pFile != nullptr; }

            void Close()
            {
                if (m_pFile && m_bOwns)
                    fclose(m_pFile);
                m_pFile = nullptr;
            }

        private:
            FILE* m_pFile;
            bool m_bOwns;
        };

        CFileStream* SelfFile(CSqVM* v)
        {
            void* p = nullptr;
            if (!v->GetInstanceUP(1, &p, &s_FileTag) || !p)
                return nullptr;
            return static_cast<CFileStream*>(static_cast<ISqStream*>(p));
        }

        // fopen modes: r, w or a, optionally + and b in either order. Anything else is
        // refused instead of being passed to the C library.
        bool ValidMode(const char* szMode)
        {
            if (szMode[0] != 'r' && szMode[0] != 'w' && szMode[0] != 'a')
                return false;
            bool bPlus = false, bBinary = false;
            for (const char* p = szMode + 1; *p; ++p) {
                if (*p == '+' && !bPlus)
                    bPlus = true;
                else if (*p == 'b' && !bBinary)
                    bBinary = true;
                else
                    return false;
            }
            return true;
        }

        int file_constructor(CSqVM* v)
        {
            const char* szPath = "";
            const char* szMode = "";
            size_t nPath = 0;
            v->GetString(2, &szPath, &nPath);
            v->GetString(3, &szMode);
            if (strlen(szPath) != nPath)
                return v->ThrowError("cannot open file");
            if (!ValidMode(szMode))
                return v->ThrowError("invalid file mode");
            FILE* f = fopen(szPath, szMode);
            if (!f)
                return v->ThrowError("cannot open file");
            SqStdBindStream(v, 1, new CFileStream(f, true));
            return 0;
        }

        int file_close(CSqVM* v)
        {
            if (CFileStream* f = SelfFile(v))
                f->Close();
            return 0;
        }

        int file_typeof(CSqVM* v)
        {
            v->PushString("file");
            return 1;
        }

        const SSqStdFunction s_FileMethods[] = {
            {"constructor", file_constructor, 3, "xss"},
            {"close", file_close, 1, "x"},
            {"_typeof", file_typeof, 1, "x"},
            {nullptr, nullptr, 0, nullptr},
        };

        bool ReadScript(const char* szPath, std::string& strOut)
        {
            FILE* f = fopen(szPath, "rb");
            if (!f)
                return false;
            char buffer[65536];
            size_t n;
            bool bOk = true;
            while ((n = fread(buffer, 1, sizeof(buffer), f)) > 0) {
                if (strOut.size() + n > static_cast<size_t>(MAX_SCRIPT_FILE)) {
                    bOk = false;
                    break;
                }
                strOut.append(buffer, n);
            }
            bOk = bOk && !ferror(f);
            fclose(f);
            if (strOut.compare(0, 3, "\xEF\xBB\xBF") == 0)
                strOut.erase(0, 3);
            return bOk;
        }

        // Pushes the compiled main function of the file.
        int LoadFile(CSqVM* v)
        {
            const char* szPath = "";
            size_t nPath = 0;
            v->GetString(2, &szPath, &nPath);
            bool bRaise = v->GetTop() >= 3 && v->IsTrue(3);
            std::string strSource;
            if (strlen(szPath) != nPath || !ReadScript(szPath, strSource))
                return v->ThrowError("cannot open the file");
            if (!v->Compile(strSource.data(), strSource.size(), szPath, bRaise))
                return SQ_ERROR;
            return 1;
        }

        int io_loadfile(CSqVM* v) { return LoadFile(v); }

        int io_dofile(CSqVM* v)
        {
            bool bRaise = v->GetTop() >= 3 && v->IsTrue(3);
            if (LoadFile(v) != 1)
                return SQ_ERROR;
            v->Push(1);
            if (!v->Call(1, true, bRaise))
                return SQ_ERROR;
            return 1;
        }

        int io_writeclosuretofile(CSqVM* v)
        {
            return v->ThrowError("writing closures to files is not supported");
        }

        const SSqStdFunction s_IOFunctions[] = {
            {"loadfile", io_loadfile, -2, ".sb"},
            {"dofile", io_dofile, -2, ".sb"},
            {"writeclosuretofile", io_writeclosuretofile, 3, ".sc"},
            {nullptr, nullptr, 0, nullptr},
        };

        void AddStandardFile(CSqVM* v, const char* szName, FILE* pFile)
        {
            v->Push(-1); // the class
            v->CreateInstance(-1);
            v->Remove(-2);
            SqStdBindStream(v, -1, new CFileStream(pFile, false));
            // Stack: root, class, instance -> root.name = instance, class stays.
            v->PushString(szName);
            v->Push(-2);
            v->NewSlot(-5, false);
            v->Pop(1);
        }
    }

    void SqStdRegisterIO(CSqVM* pVM)
    {
        pVM->PushRootTable();
        SqStdPushStreamClass(pVM);
        pVM->NewClass(true);
        pVM->SetTypeTag(-1, &s_FileTag);
        SqStdAddFunctions(pVM, s_FileMethods);
        pVM->Push(-1);
        SqStdSetRegistry(pVM, FILE_CLASS_KEY);
        AddStandardFile(pVM, "stdout", stdout);
        AddStandardFile(pVM, "stdin", stdin);
        AddStandardFile(pVM, "stderr", stderr);
        SqStdAddSlot(pVM, "file");
        SqStdAddFunctions(pVM, s_IOFunctions);
        pVM->Pop(1);
    }
}
