#include <Engine/FileSystem.h>

#include <cstring>
#include <unordered_set>

namespace Torvane3D
{
    bool ConfineVirtualPath(const char* szPath, std::string& strResult)
    {
        std::vector<std::string> components;
        const char* p = szPath;
        while (*p) {
            const char* pEnd = strchr(p, '/');
            size_t length = pEnd ? static_cast<size_t>(pEnd - p) : strlen(p);
            std::string_view component(p, length);
            if (component == "..") {
                if (components.empty())
                    return false;
                components.pop_back();
            } else if (!component.empty() && component != ".") {
                components.emplace_back(component);
            }
            p += length;
            if (*p == '/')
                p++;
        }
        strResult.clear();
        for (const std::string& component : components) {
            if (!strResult.empty())
                strResult += '/';
            strResult += component;
        }
        size_t length = strlen(szPath);
        if (!strResult.empty() && length > 0 && szPath[length - 1] == '/')
            strResult += '/';
        return true;
    }

    void CFileSystem::Mount(CVirtualFileMgr* pMount)
    {
        if (pMount)
            m_Mounts.emplace_back(pMount);
    }

    // Mounts receive absolute virtual paths.
    static std::string Absolute(const char* szPath)
    {
        return szPath[0] == '/' ? std::string(szPath) : "/" + std::string(szPath);
    }

    Strong<Stream> CFileSystem::DoOpen(const char* szPath, bool bWritable, eFilePathOrigin origin)
    {
        std::string strPath = Absolute(szPath);
        for (CVirtualFileMgr* pMount : m_Mounts) {
            if (Strong<Stream> pStream = pMount->Open(strPath.c_str(), bWritable, origin))
                return pStream;
        }
        return nullptr;
    }

    Strong<Stream> CFileSystem::DoCreate(const char* szPath, eFilePathOrigin origin)
    {
        std::string strPath = Absolute(szPath);
        for (CVirtualFileMgr* pMount : m_Mounts) {
            if (Strong<Stream> pStream = pMount->Create(strPath.c_str(), origin))
                return pStream;
        }
        return nullptr;
    }

    bool CFileSystem::DoExists(const char* szPath, bool bFiles, bool bDirectories, eFilePathOrigin origin)
    {
        std::string strPath = Absolute(szPath);
        for (CVirtualFileMgr* pMount : m_Mounts) {
            if (pMount->Exists(strPath.c_str(), bFiles, bDirectories, origin))
                return true;
        }
        return false;
    }

    namespace
    {
        // Passes each name on once, under the directory path that was asked for.
        struct tMergedEnumeration
        {
            EnumerateCallback m_Callback;
            void* m_pContext;
            const char* m_szDirectory;
            std::unordered_set<std::string> m_Seen;
            bool m_bStopped = false;

            static bool Forward(const tDirectoryEntry& entry, void* pContext)
            {
                auto* pSelf = static_cast<tMergedEnumeration*>(pContext);
                if (!pSelf->m_Seen.insert(entry.m_szName).second)
                    return true;
                tDirectoryEntry merged = entry;
                merged.m_szDirectory = pSelf->m_szDirectory;
                if (!pSelf->m_Callback(merged, pSelf->m_pContext)) {
                    pSelf->m_bStopped = true;
                    return false;
                }
                return true;
            }
        };
    }

    bool CFileSystem::DoEnumerate(const char* szPath, EnumerateCallback callback, void* pContext,
        eFilePathOrigin origin)
    {
        std::string strPath = Absolute(szPath);
        tMergedEnumeration merged{callback, pContext, szPath, {}};
        bool bFound = false;
        for (CVirtualFileMgr* pMount : m_Mounts) {
            if (pMount->Enumerate(strPath.c_str(), &tMergedEnumeration::Forward, &merged, origin))
                bFound = true;
            if (merged.m_bStopped)
                return false;
        }
        return bFound;
    }
}
