// Shared pieces of the standard libraries: registration helpers and the stream interface
// that blob and file instances implement.
#pragma once

#include <Squirrel/SqStdLib.h>

#include <cstddef>
#include <cstdint>

namespace Torvane3D::Squirrel
{
    struct SSqStdFunction
    {
        const char* szName;
        SqNativeFunction pFunction;
        int nParams;        // as SetParamsCheck: counts `this`, <0 at least, 0 any
        const char* szMask; // as SetParamsCheck, null for none
    };

    // Adds the functions (list ends with a null name) as slots of the table or class on top
    // of the stack; each closure carries pUserPointer.
    void SqStdAddFunctions(CSqVM* pVM, const SSqStdFunction* pList, void* pUserPointer = nullptr);
    // Adds one slot with the value on top to the object below it (pops the value).
    void SqStdAddSlot(CSqVM* pVM, const char* szName);
    // Pushes the registry entry under szKey (null when absent).
    void SqStdGetRegistry(CSqVM* pVM, const char* szKey);
    // Stores the value on top under szKey in the registry (pops it).
    void SqStdSetRegistry(CSqVM* pVM, const char* szKey);
    // Keeps pObject alive as long as the VM: its release hook runs when the VM closes.
    void SqStdKeepWithVM(CSqVM* pVM, const char* szKey, void* pObject, SqReleaseHook pRelease);
    // Extra arguments beyond nMaxArgs (counting `this`) are an error, as in every native.
    bool SqStdTooManyArgs(CSqVM* pVM, int nMaxArgs);

    // ---- Streams ----
    enum eSqSeekOrigin
    {
        SQ_SEEK_SET,
        SQ_SEEK_CUR,
        SQ_SEEK_END,
    };

    class ISqStream
    {
    public:
        virtual ~ISqStream() = default;
        virtual size_t Read(void* pBuffer, size_t nSize) = 0;
        virtual size_t Write(const void* pBuffer, size_t nSize) = 0;
        virtual int Flush() = 0;
        virtual SqInteger Tell() = 0;
        virtual SqInteger Length() = 0;
        // 0 on success, -1 when the target is out of range or the stream cannot seek.
        virtual int Seek(SqInteger iOffset, eSqSeekOrigin eOrigin) = 0;
        virtual bool IsEOF() = 0;
        virtual bool IsOpen() const { return true; }
    };

    // The type tag of the hidden class both blob and file derive from.
    extern const char g_SqStreamTag;
    // Pushes the stream base class, creating it on first use.
    void SqStdPushStreamClass(CSqVM* pVM);
    // The stream an instance holds (its user pointer), or null.
    ISqStream* SqStdGetStream(CSqVM* pVM, int iIndex);
    // Binds a stream to the instance at iIndex; the instance owns it from then on.
    void SqStdBindStream(CSqVM* pVM, int iIndex, ISqStream* pStream);

    // Blob helpers for the stream methods (readblob, writeblob).
    class CSqBlob;
    CSqBlob* SqStdGetBlob(CSqVM* pVM, int iIndex);
    // Pushes a new blob holding a copy of the bytes; null (nothing pushed) on failure.
    CSqBlob* SqStdPushBlob(CSqVM* pVM, const void* pData, size_t nSize);
    const uint8_t* SqStdBlobData(const CSqBlob* pBlob);
    size_t SqStdBlobLength(const CSqBlob* pBlob);

    void SqStdRegisterBlob(CSqVM* pVM);
    void SqStdRegisterIO(CSqVM* pVM);
    void SqStdRegisterMath(CSqVM* pVM);
    void SqStdRegisterSystem(CSqVM* pVM);
    void SqStdRegisterString(CSqVM* pVM);
}
