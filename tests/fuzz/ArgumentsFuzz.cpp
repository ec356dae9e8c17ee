// Decodes arbitrary bytes as a script value array or map (the first byte chooses), and
// checks that whatever decodes also sizes, writes, clones and decodes again consistently.
#include <Engine/Arguments.h>
#include <Engine/NetObjectResolver.h>
#include <Engine/Stream.h>

#include <cstdio>

using namespace Torvane3D;

namespace
{
    // Even ids name one element, odd ids none; the element keeps its id.
    struct CResolver : INetObjectResolver
    {
        CBaseObject* FindNetObject(int32_t iId) override { return iId % 2 == 0 ? m_pElement.Get() : nullptr; }
        bool GetNetObjectId(CBaseObject*, int32_t& iId) override
        {
            iId = 2;
            return true;
        }
        Strong<CBaseObject> m_pElement = MakeStrong<CBaseObject>();
    };

    Strong<CArgument> NewContainer(bool bMap)
    {
        return Strong<CArgument>::Adopt(bMap ? static_cast<CArgument*>(new CArgumentMap()) : new CArgumentArray());
    }

    void Check(bool bCondition)
    {
        if (!bCondition)
            __builtin_trap();
    }
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Decoder warnings go to the console; keep the fuzzer's own output readable and fast.
    if (!freopen("/dev/null", "w", stdout))
        return 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t size)
{
    if (size == 0)
        return 0;
    static CResolver s_Resolver;
    bool bMap = pData[0] & 1;
    auto pInput = Strong<CMemoryStream>::Adopt(new CMemoryStream(pData + 1, size - 1));
    Strong<CArgument> pValue = NewContainer(bMap);
    pValue->SetNetObjectResolver(&s_Resolver);
    if (!pValue->Read(pInput))
        return 0;

    // Everything the decoder accepts has an encoding, and its size is exact.
    size_t expected = 0;
    Check(pValue->GetSize(expected));
    auto pOutput = MakeStrong<CUnlimitedStream>();
    Check(pValue->Write(pOutput));
    Check(pOutput->GetSize() == expected);

    Strong<CArgument> pClone = Strong<CArgument>::Adopt(pValue->Clone());
    Check(pClone);
    size_t cloneSize = 0;
    Check(pClone->GetSize(cloneSize) && cloneSize == expected);

    Check(pOutput->Seek(0, SEEK_ORIGIN_BEGIN));
    Strong<CArgument> pAgain = NewContainer(bMap);
    pAgain->SetNetObjectResolver(&s_Resolver);
    Check(pAgain->Read(pOutput));
    size_t againSize = 0;
    Check(pAgain->GetSize(againSize) && againSize == expected);
    return 0;
}
