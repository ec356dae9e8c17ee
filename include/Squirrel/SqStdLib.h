// The standard libraries of our Squirrel engine (blob, io, math, system, string with
// regexp) and the C side of blobs.
#pragma once

#include <Squirrel/Squirrel.h>

namespace Torvane3D::Squirrel
{
    // Registers every standard library into the VM's root table: blob, io (with stdout,
    // stdin, stderr), math (with RAND_MAX and PI), system, string (with regexp and format).
    void RegisterStandardLibraries(CSqVM* pVM);

    // ---- Blobs from C ----
    // Largest blob the libraries create or grow to, in bytes.
    constexpr SqInteger SQ_BLOB_MAX_SIZE = SqInteger(1) << 28;

    // Pushes a new blob of nSize zero bytes and gives its bytes (may be null when nSize is 0);
    // false with nothing pushed for a negative or too large size, or when the VM has no blob
    // library.
    bool CreateBlob(CSqVM* pVM, SqInteger nSize, void** ppData);
    // The bytes and length of the blob at iIndex; false when the value is not a blob. The
    // pointer stays valid until the blob grows or is freed.
    bool GetBlob(CSqVM* pVM, int iIndex, void** ppData, SqInteger* pnSize);
    bool IsBlob(CSqVM* pVM, int iIndex);
}
