// The stream interface of blob and file instances: binary reads and writes of numbers
// (little-endian), blobs, seeking.
#include "SqStdInternal.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace Torvane3D::Squirrel
{
    const char g_SqStreamTag = 0;

    namespace
    {
        const char* const STREAM_CLASS_KEY = "std.stream";

        void ReleaseStream(void* p, void*) { delete static_cast<ISqStream*>(p); }

        int ThrowInvalid(CSqVM* v) { return v->ThrowError("invalid stream"); }

        // The byte count of a readn/writen format character, 0 for an unknown one.
        size_t FormatSize(SqInteger iFormat)
        {
            switch (iFormat) {
            case 'c':
            case 'b': return 1;
            case 's':
            case 'w': return 2;
            case 'i':
            case 'f': return 4;
            case 'l':
            case 'd': return 8;
            default: return 0;
            }
        }

        uint64_t LoadLE(const uint8_t* p, size_t n)
        {
            uint64_t u = 0;
            for (size_t i = n; i-- > 0;)
                u = (u << 8) | p[i];
            return u;
        }

        void StoreLE(uint8_t* p, uint64_t u, size_t n)
        {
            for (size_t i = 0; i < n; ++i, u >>= 8)
                p[i] = static_cast<uint8_t>(u);
        }

        int stream_readblob(CSqVM* v)
        {
            ISqStream* s = SqStdGetStream(v, 1);
            if (!s)
                return ThrowInvalid(v);
            SqInteger n;
            v->GetInteger(2, &n);
            if (n <= 0 || s->IsEOF())
                return v->ThrowError("no data left to read");
            if (n > SQ_BLOB_MAX_SIZE)
                n = SQ_BLOB_MAX_SIZE;
            // Files do not know what is left: read into a buffer that grows with the data.
            std::vector<uint8_t> buffer;
            size_t nWanted = static_cast<size_t>(n), nGot = 0;
            while (nGot < nWanted) {
                size_t nChunk = std::min<size_t>(nWanted - nGot, 65536);
                buffer.resize(nGot + nChunk);
                size_t nRead = s->Read(buffer.data() + nGot, nChunk);
                nGot += nRead;
                if (nRead < nChunk)
                    break;
            }
            if (nGot == 0)
                return v->ThrowError("no data left to read");
            if (!SqStdPushBlob(v, buffer.data(), nGot))
                return v->ThrowError("cannot create blob");
            return 1;
        }

        int stream_readn(CSqVM* v)
        {
            ISqStream* s = SqStdGetStream(v, 1);
            if (!s)
                return ThrowInvalid(v);
            SqInteger iFormat;
            v->GetInteger(2, &iFormat);
            size_t n = FormatSize(iFormat);
            if (n == 0)
                return v->ThrowError("invalid format");
            uint8_t bytes[8];
            if (s->Read(bytes, n) != n)
                return v->ThrowError("io error");
            uint64_t u = LoadLE(bytes, n);
            switch (iFormat) {
            case 'c': v->PushInteger(static_cast<int8_t>(u)); break;
            case 'b': v->PushInteger(static_cast<uint8_t>(u)); break;
            case 's': v->PushInteger(static_cast<int16_t>(u)); break;
            case 'w': v->PushInteger(static_cast<uint16_t>(u)); break;
            case 'i': v->PushInteger(static_cast<int32_t>(u)); break;
            case 'l': v->PushInteger(static_cast<SqInteger>(u)); break;
            case 'f': {
                float f;
                uint32_t u32 = static_cast<uint32_t>(u);
                memcpy(&f, &u32, 4);
                v->PushFloat(f);
                break;
            }
            default: {
                double d;
                memcpy(&d, &u, 8);
                v->PushFloat(static_cast<SqFloat>(d));
                break;
            }
            }
            return 1;
        }

        int stream_writen(CSqVM* v)
        {
            ISqStream* s = SqStdGetStream(v, 1);
            if (!s)
                return ThrowInvalid(v);
            SqInteger iFormat;
            v->GetInteger(3, &iFormat);
            size_t n = FormatSize(iFormat);
            if (n == 0)
                return v->ThrowError("invalid format");
            uint64_t u;
            if (iFormat == 'f' || iFormat == 'd') {
                SqFloat f = 0;
                v->GetFloat(2, &f);
                if (iFormat == 'f') {
                    uint32_t u32;
                    memcpy(&u32, &f, 4);
                    u = u32;
                } else {
                    double d = f;
                    memcpy(&u, &d, 8);
                }
            } else {
                SqInteger i = 0;
                v->GetInteger(2, &i);
                u = static_cast<uint64_t>(i);
            }
            uint8_t bytes[8];
            StoreLE(bytes, u, n);
            if (s->Write(bytes, n) != n)
                return v->ThrowError("io error");
            return 0;
        }

        int stream_writeblob(CSqVM* v)
        {
            ISqStream* s = SqStdGetStream(v, 1);
            if (!s)
                return ThrowInvalid(v);
            CSqBlob* b = SqStdGetBlob(v, 2);
            if (!b)
                return v->ThrowError("the parameter is not a blob");
            size_t n = SqStdBlobLength(b);
            if (n == 0)
                return 0;
            // Writing a blob into itself: copy first, the write may move its bytes.
            std::vector<uint8_t> copy(SqStdBlobData(b), SqStdBlobData(b) + n);
            if (s->Write(copy.data(), n) != n)
                return v->ThrowError("io error");
            return 0;
        }

        int stream_seek(CSqVM* v)
        {
            ISqStream* s = SqStdGetStream(v, 1);
            if (!s)
                return ThrowInvalid(v);
            SqInteger iOffset, iOrigin = 'b';
            v->GetInteger(2, &iOffset);
            if (v->GetTop() >= 3)
                v->GetInteger(3, &iOrigin);
            eSqSeekOrigin eOrigin;
            switch (iOrigin) {
            case 'b': eOrigin = SQ_SEEK_SET; break;
            case 'c': eOrigin = SQ_SEEK_CUR; break;
            case 'e': eOrigin = SQ_SEEK_END; break;
            default: return v->ThrowError("invalid origin");
            }
            v->PushInteger(s->Seek(iOffset, eOrigin));
            return 1;
        }

        int stream_tell(CSqVM* v)
        {
            ISqStream* s = SqStdGetStream(v, 1);
            if (!s)
                return ThrowInvalid(v);
            v->PushInteger(s->Tell());
            return 1;
        }

        int stream_len(CSqVM* v)
        {
            ISqStream* s = SqStdGetStream(v, 1);
            if (!s)
                return ThrowInvalid(v);
            v->PushInteger(s->Length());
            return 1;
        }

        int stream_eos(CSqVM* v)
        {
            ISqStream* s = SqStdGetStream(v, 1);
            if (!s)
                return ThrowInvalid(v);
            if (!s->IsEOF())
                return 0;
            v->PushInteger(1);
            return 1;
        }

        int stream_flush(CSqVM* v)
        {
            ISqStream* s = SqStdGetStream(v, 1);
            if (!s)
                return ThrowInvalid(v);
            v->PushInteger(s->Flush());
            return 1;
        }

        const SSqStdFunction s_StreamMethods[] = {
            {"readblob", stream_readblob, 2, "xn"},
            {"readn", stream_readn, 2, "xn"},
            {"writeblob", stream_writeblob, 2, "xx"},
            {"writen", stream_writen, 3, "xnn"},
            {"seek", stream_seek, -2, "xnn"},
            {"tell", stream_tell, 1, "x"},
            {"len", stream_len, 1, "x"},
            {"eos", stream_eos, 1, "x"},
            {"flush", stream_flush, 1, "x"},
            {nullptr, nullptr, 0, nullptr},
        };
    }

    void SqStdPushStreamClass(CSqVM* pVM)
    {
        SqStdGetRegistry(pVM, STREAM_CLASS_KEY);
        if (pVM->GetType(-1) == SQ_CLASS)
            return;
        pVM->Pop(1);
        pVM->NewClass(false);
        pVM->SetTypeTag(-1, &g_SqStreamTag);
        SqStdAddFunctions(pVM, s_StreamMethods);
        pVM->Push(-1);
        SqStdSetRegistry(pVM, STREAM_CLASS_KEY);
    }

    ISqStream* SqStdGetStream(CSqVM* pVM, int iIndex)
    {
        void* p = nullptr;
        if (!pVM->GetInstanceUP(iIndex, &p, &g_SqStreamTag) || !p)
            return nullptr;
        ISqStream* s = static_cast<ISqStream*>(p);
        return s->IsOpen() ? s : nullptr;
    }

    void SqStdBindStream(CSqVM* pVM, int iIndex, ISqStream* pStream)
    {
        void* pOld = nullptr;
        pVM->GetInstanceUP(iIndex, &pOld, &g_SqStreamTag);
        pVM->SetInstanceUP(iIndex, pStream);
        pVM->SetReleaseHook(iIndex, ReleaseStream);
        delete static_cast<ISqStream*>(pOld);
    }
}
