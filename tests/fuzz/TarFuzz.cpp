// Reads arbitrary bytes as a TAR archive; whatever reads must be walkable, and every member
// must give exactly its size in bytes.
#include <Engine/TARArchive.h>

#include <string>

using namespace Torvane3D;

namespace
{
    void Check(bool bCondition)
    {
        if (!bCondition)
            __builtin_trap();
    }

    struct tWalk
    {
        CTARArchive* m_pArchive;
        int m_iDepth;
    };

    bool Visit(const tDirectoryEntry& entry, void* pContext)
    {
        auto* pWalk = static_cast<tWalk*>(pContext);
        std::string strPath = entry.m_szDirectory;
        if (strPath.empty() || strPath.back() != '/')
            strPath += '/';
        strPath += entry.m_szName;
        Check(entry.m_bIsFile != entry.m_bIsDirectory);
        Check(pWalk->m_pArchive->Exists(strPath.c_str(), entry.m_bIsFile, entry.m_bIsDirectory));
        if (entry.m_bIsDirectory) {
            Check(!pWalk->m_pArchive->Open(strPath.c_str(), false));
            tWalk inner{pWalk->m_pArchive, pWalk->m_iDepth + 1};
            Check(pWalk->m_pArchive->Enumerate(strPath.c_str(), Visit, &inner));
            return true;
        }
        Strong<Stream> pStream = pWalk->m_pArchive->Open(strPath.c_str(), false);
        Check(pStream);
        long lLength = pStream->GetLength();
        Check(lLength >= 0);
        char buffer[4096];
        long lTotal = 0;
        while (size_t n = pStream->Read(buffer, sizeof(buffer)))
            lTotal += static_cast<long>(n);
        Check(lTotal == lLength);
        Check(!pWalk->m_pArchive->Open(strPath.c_str(), true));
        return true;
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t size)
{
    auto pArchive = MakeStrong<CTARArchive>(size % 2 == 0);
    if (!pArchive->Read(MakeStrong<CMemoryStream>(pData, size))) {
        Check(pArchive->GetMembers().empty());
        return 0;
    }
    for (const CTARArchive::tMember& member : pArchive->GetMembers()) {
        Check(member.m_strName.size() <= 255);
        Check(member.m_lOffset >= 0 && member.m_lSize >= 0 && member.m_lOffset + member.m_lSize <= static_cast<long>(size));
        pArchive->Exists(member.m_strName.c_str(), true, true);
    }
    tWalk walk{pArchive, 0};
    Check(pArchive->Enumerate("/", Visit, &walk));
    return 0;
}
