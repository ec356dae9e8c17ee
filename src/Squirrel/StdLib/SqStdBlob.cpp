// The blob library: a growable byte buffer with the stream methods, byte indexing and byte
// swapping, the bit-cast functions, and the C side of blobs.
#include "SqStdInternal.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace Torvane3D::Squirrel
{
    // The bytes the script sees are [0, m_nLength); m_Data may be larger (resize() only
    // reserves when growing, and writes grow it geometrically). Bytes past the length are zero.
    class CSqBlob : public ISqStream
    {
    public:
        explicit CSqBlob(size_t nSize) : m_Data(nSize), m_nLength(nSize) {}

        size_t Read(void* pBuffer, size_t nSize) override
        {
            size_t n = std::min(nSize, m_nLength - m_nPos);
            if (n > 0)
                memcpy(pBuffer, m_Data.data() + m_nPos, n);
            m_nPos += n;
            return n;
        }

        size_t Write(const void* pBuffer, size_t nSize) override
        {
            if (nSize > static_cast<size_t>(SQ_BLOB_MAX_SIZE) - m_nPos)
                return 0;
            size_t nEnd = m_nPos + nSize;
            if (nEnd > m_Data.size())
                m_Data.resize(std::min(std::max(nEnd, m_Data.size() * 2), static_cast<size_t>(SQ_BLOB_MAX_SIZE)));
            memcpy(m_Data.data() + m_nPos, pBuffer, nSize);
            m_nPos = nEnd;
            m_nLength = std::max(m_nLength, nEnd);
            return nSize;
        }

        int Flush() override { return 0; }
        SqInteger Tell() override { return static_cast<SqInteger>(m_nPos); }
        SqInteger Length() override { return static_cast<SqInteger>(m_nLength); }

        int Seek(SqInteger iOffset, eSqSeekOrigin eOrigin) override
        {
            SqInteger iBase = eOrigin == SQ_SEEK_SET ? 0 : eOrigin == SQ_SEEK_CUR ? Tell() : Length();
            // Both are far from the integer limits, so the range check cannot overflow.
            if (iOffset < -SQ_BLOB_MAX_SIZE || iOffset > SQ_BLOB_MAX_SIZE)
                return -1;
            SqInteger iTarget = iBase + iOffset;
            if (iTarget < 0 || iTarget > Length())
                return -1;
            m_nPos = static_cast<size_t>(iTarget);
            return 0;
        }

        bool IsEOF() override { return m_nPos >= m_nLength; }

        void Resize(size_t nSize)
        {
            m_Data.resize(nSize);
            m_Data.shrink_to_fit();
            m_nLength = std::min(m_nLength, nSize);
            m_nPos = std::min(m_nPos, nSize);
        }

        void SwapGroups(size_t nGroup)
        {
            for (size_t i = 0; i + nGroup <= m_nLength; i += nGroup)
                std::reverse(m_Data.begin() + static_cast<ptrdiff_t>(i), m_Data.begin() + static_cast<ptrdiff_t>(i + nGroup));
        }

        uint8_t* Data() { return m_Data.data(); }
        size_t Size() const { return m_nLength; }
        size_t Position() const { return m_nPos; }
        void CopyFrom(const CSqBlob& other)
        {
            m_Data.assign(other.m_Data.begin(), other.m_Data.begin() + static_cast<ptrdiff_t>(other.m_nLength));
            m_nLength = other.m_nLength;
            m_nPos = other.m_nPos;
        }

    private:
        std::vector<uint8_t> m_Data;
        size_t m_nLength;
        size_t m_nPos = 0;
    };

    namespace
    {
        const char s_BlobTag = 0;
        const char* const BLOB_CLASS_KEY = "std.blob";

        CSqBlob* Self(CSqVM* v) { return SqStdGetBlob(v, 1); }
        int ThrowInvalid(CSqVM* v) { return v->ThrowError("invalid blob"); }

        // Index of a byte (integers and truncated floats); false for other key types.
        bool ByteIndex(CSqVM* v, int iIndex, SqInteger* pOut)
        {
            eSqType t = v->GetType(iIndex);
            return (t == SQ_INTEGER || t == SQ_FLOAT) && v->GetInteger(iIndex, pOut);
        }

        int ThrowMissing(CSqVM* v)
        {
            // A null error makes the VM report "the index '...' does not exist".
            v->PushNull();
            return v->ThrowObject();
        }

        int blob_constructor(CSqVM* v)
        {
            if (SqStdTooManyArgs(v, 2))
                return v->ThrowError("wrong number of parameters");
            SqInteger n = 0;
            if (v->GetTop() >= 2)
                v->GetInteger(2, &n);
            if (n < 0)
                return v->ThrowError("cannot create blob with negative size");
            if (n > SQ_BLOB_MAX_SIZE)
                return v->ThrowError("blob size too large");
            SqStdBindStream(v, 1, new CSqBlob(static_cast<size_t>(n)));
            return 0;
        }

        int blob_resize(CSqVM* v)
        {
            CSqBlob* b = Self(v);
            if (!b)
                return ThrowInvalid(v);
            SqInteger n;
            v->GetInteger(2, &n);
            if (n < 0)
                return v->ThrowError("resizing to negative length");
            if (n > SQ_BLOB_MAX_SIZE)
                return v->ThrowError("blob size too large");
            b->Resize(static_cast<size_t>(n));
            return 0;
        }

        int SwapWith(CSqVM* v, size_t nGroup)
        {
            CSqBlob* b = Self(v);
            if (!b)
                return ThrowInvalid(v);
            b->SwapGroups(nGroup);
            return 0;
        }

        int blob_swap2(CSqVM* v) { return SwapWith(v, 2); }
        int blob_swap4(CSqVM* v) { return SwapWith(v, 4); }

        int blob_get(CSqVM* v)
        {
            CSqBlob* b = Self(v);
            if (!b)
                return ThrowInvalid(v);
            SqInteger i;
            if (!ByteIndex(v, 2, &i))
                return ThrowMissing(v);
            if (i < 0 || static_cast<uint64_t>(i) >= b->Size())
                return v->ThrowError("index out of range");
            v->PushInteger(b->Data()[i]);
            return 1;
        }

        int blob_set(CSqVM* v)
        {
            CSqBlob* b = Self(v);
            if (!b)
                return ThrowInvalid(v);
            SqInteger i, iValue = 0;
            if (!ByteIndex(v, 2, &i))
                return ThrowMissing(v);
            if (i < 0 || static_cast<uint64_t>(i) >= b->Size())
                return v->ThrowError("index out of range");
            v->GetInteger(3, &iValue);
            b->Data()[i] = static_cast<uint8_t>(iValue);
            v->Push(3);
            return 1;
        }

        int blob_nexti(CSqVM* v)
        {
            CSqBlob* b = Self(v);
            if (!b)
                return ThrowInvalid(v);
            SqInteger iNext = 0;
            if (v->GetType(2) != SQ_NULL) {
                if (!v->GetInteger(2, &iNext))
                    return v->ThrowError("internal error (_nexti) wrong argument type");
                ++iNext;
            }
            if (iNext < 0 || static_cast<uint64_t>(iNext) >= b->Size())
                return 0;
            v->PushInteger(iNext);
            return 1;
        }

        int blob_typeof(CSqVM* v)
        {
            v->PushString("blob");
            return 1;
        }

        int blob_cloned(CSqVM* v)
        {
            CSqBlob* pOriginal = SqStdGetBlob(v, 2);
            if (!pOriginal)
                return ThrowInvalid(v);
            CSqBlob* pCopy = new CSqBlob(0);
            pCopy->CopyFrom(*pOriginal);
            SqStdBindStream(v, 1, pCopy);
            return 0;
        }

        const SSqStdFunction s_BlobMethods[] = {
            {"constructor", blob_constructor, -1, "xn"},
            {"resize", blob_resize, 2, "xn"},
            {"swap2", blob_swap2, 1, "x"},
            {"swap4", blob_swap4, 1, "x"},
            {"_get", blob_get, 2, "x."},
            {"_set", blob_set, 3, "x.n"},
            {"_nexti", blob_nexti, 2, "x."},
            {"_typeof", blob_typeof, 1, "x"},
            {"_cloned", blob_cloned, 2, "xx"},
            {nullptr, nullptr, 0, nullptr},
        };

        uint32_t FloatBits(CSqVM* v)
        {
            SqFloat f = 0;
            v->GetFloat(2, &f);
            uint32_t u;
            memcpy(&u, &f, 4);
            return u;
        }

        uint32_t Swap32(uint32_t u)
        {
            return (u >> 24) | ((u >> 8) & 0xFF00u) | ((u << 8) & 0xFF0000u) | (u << 24);
        }

        int blob_casti2f(CSqVM* v)
        {
            SqInteger i;
            v->GetInteger(2, &i);
            uint32_t u = static_cast<uint32_t>(i);
            SqFloat f;
            memcpy(&f, &u, 4);
            v->PushFloat(f);
            return 1;
        }

        int blob_castf2i(CSqVM* v)
        {
            v->PushInteger(FloatBits(v));
            return 1;
        }

        int blob_swap2_global(CSqVM* v)
        {
            SqInteger i;
            v->GetInteger(2, &i);
            uint16_t u = static_cast<uint16_t>(i);
            v->PushInteger(static_cast<uint16_t>((u >> 8) | (u << 8)));
            return 1;
        }

        int blob_swap4_global(CSqVM* v)
        {
            SqInteger i;
            v->GetInteger(2, &i);
            v->PushInteger(Swap32(static_cast<uint32_t>(i)));
            return 1;
        }

        int blob_swapfloat(CSqVM* v)
        {
            v->PushInteger(Swap32(FloatBits(v)));
            return 1;
        }

        const SSqStdFunction s_BlobFunctions[] = {
            {"casti2f", blob_casti2f, 2, ".n"},
            {"castf2i", blob_castf2i, 2, ".n"},
            {"swap2", blob_swap2_global, 2, ".n"},
            {"swap4", blob_swap4_global, 2, ".n"},
            {"swapfloat", blob_swapfloat, 2, ".n"},
            {nullptr, nullptr, 0, nullptr},
        };
    }

    CSqBlob* SqStdGetBlob(CSqVM* pVM, int iIndex)
    {
        void* p = nullptr;
        if (!pVM->GetInstanceUP(iIndex, &p, &s_BlobTag) || !p)
            return nullptr;
        // Every stream-tagged user pointer holds an ISqStream*; the blob tag says which one.
        return static_cast<CSqBlob*>(static_cast<ISqStream*>(p));
    }

    CSqBlob* SqStdPushBlob(CSqVM* pVM, const void* pData, size_t nSize)
    {
        void* pBytes = nullptr;
        if (!CreateBlob(pVM, static_cast<SqInteger>(nSize), &pBytes))
            return nullptr;
        if (nSize > 0)
            memcpy(pBytes, pData, nSize);
        return SqStdGetBlob(pVM, -1);
    }

    const uint8_t* SqStdBlobData(const CSqBlob* pBlob) { return const_cast<CSqBlob*>(pBlob)->Data(); }
    size_t SqStdBlobLength(const CSqBlob* pBlob) { return pBlob->Size(); }

    void SqStdRegisterBlob(CSqVM* pVM)
    {
        pVM->PushRootTable();
        SqStdPushStreamClass(pVM);
        pVM->NewClass(true);
        pVM->SetTypeTag(-1, &s_BlobTag);
        SqStdAddFunctions(pVM, s_BlobMethods);
        pVM->Push(-1);
        SqStdSetRegistry(pVM, BLOB_CLASS_KEY);
        SqStdAddSlot(pVM, "blob");
        SqStdAddFunctions(pVM, s_BlobFunctions);
        pVM->Pop(1);
    }

    // ---- The C side ----
    bool CreateBlob(CSqVM* pVM, SqInteger nSize, void** ppData)
    {
        if (nSize < 0 || nSize > SQ_BLOB_MAX_SIZE)
            return false;
        SqStdGetRegistry(pVM, BLOB_CLASS_KEY);
        if (pVM->GetType(-1) != SQ_CLASS || !pVM->CreateInstance(-1)) {
            pVM->Pop(1);
            return false;
        }
        pVM->Remove(-2);
        CSqBlob* b = new CSqBlob(static_cast<size_t>(nSize));
        SqStdBindStream(pVM, -1, b);
        if (ppData)
            *ppData = b->Data();
        return true;
    }

    bool GetBlob(CSqVM* pVM, int iIndex, void** ppData, SqInteger* pnSize)
    {
        CSqBlob* b = SqStdGetBlob(pVM, iIndex);
        if (!b)
            return false;
        if (ppData)
            *ppData = b->Data();
        if (pnSize)
            *pnSize = static_cast<SqInteger>(b->Size());
        return true;
    }

    bool IsBlob(CSqVM* pVM, int iIndex) { return SqStdGetBlob(pVM, iIndex) != nullptr; }
}
