#include <Engine/MountedPath.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

namespace Torvane3D
{
    CMountedPath::CMountedPath(const char* szRoot) : m_strRoot(szRoot ? szRoot : "")
    {
    }

    bool CMountedPath::MapPath(const char* szPath, eFilePathOrigin origin, std::string& strDiskPath) const
    {
        std::string strRelative;
        if (origin == PATH_OWNER) {
            strRelative = szPath[0] == '/' ? szPath + 1 : szPath;
        } else if (!ConfineVirtualPath(szPath, strRelative)) {
            return false;
        }
        strDiskPath = m_strRoot;
        if (!strDiskPath.empty() && strDiskPath.back() != '/' && strDiskPath.back() != '\\')
            strDiskPath += '/';
        strDiskPath += strRelative;
        return true;
    }

    static bool RealPath(const std::string& strPath, std::string& strResult)
    {
        char* szReal = realpath(strPath.c_str(), nullptr);
        if (!szReal)
            return false;
        strResult = szReal;
        free(szReal);
        return true;
    }

    bool CMountedPath::StaysInsideRoot(const std::string& strDiskPath) const
    {
        std::string strRoot;
        if (!RealPath(m_strRoot.empty() ? "." : m_strRoot, strRoot))
            return false;
        // Find the deepest part of the path that exists and see where it really is. A
        // dangling link is refused: opening it for writing would create its target.
        std::string strCandidate = strDiskPath;
        while (!strCandidate.empty() && strCandidate.back() == '/')
            strCandidate.pop_back();
        for (;;) {
            struct stat info;
            if (strCandidate.empty())
                return false;
            if (lstat(strCandidate.c_str(), &info) == 0) {
                std::string strReal;
                if (!RealPath(strCandidate, strReal))
                    return false;
                if (strRoot == "/")
                    return true;
                return strReal == strRoot ||
                    (strReal.compare(0, strRoot.size(), strRoot) == 0 && strReal[strRoot.size()] == '/');
            }
            if (errno != ENOENT)
                return false;
            size_t slash = strCandidate.rfind('/');
            if (slash == std::string::npos)
                strCandidate = ".";
            else
                strCandidate.resize(slash == 0 ? 1 : slash);
        }
    }

    bool CMountedPath::Resolve(const char* szPath, eFilePathOrigin origin, std::string& strDiskPath) const
    {
        if (!MapPath(szPath, origin, strDiskPath))
            return false;
        return origin == PATH_OWNER || StaysInsideRoot(strDiskPath);
    }

    // Opens a regular file only: fopen also "opens" folders.
    static Strong<Stream> OpenFile(const std::string& strDiskPath, const char* szMode)
    {
        FILE* pFile = fopen(strDiskPath.c_str(), szMode);
        if (!pFile)
            return nullptr;
        struct stat info;
        if (fstat(fileno(pFile), &info) != 0 || !S_ISREG(info.st_mode)) {
            fclose(pFile);
            return nullptr;
        }
        return Strong<Stream>::Adopt(new CStandardStream(pFile));
    }

    Strong<Stream> CMountedPath::DoOpen(const char* szPath, bool bWritable, eFilePathOrigin origin)
    {
        std::string strDiskPath;
        if (!Resolve(szPath, origin, strDiskPath))
            return nullptr;
        return OpenFile(strDiskPath, bWritable ? "r+b" : "rb");
    }

    // Makes every missing parent folder of a disk path.
    static void MakeParents(const std::string& strDiskPath)
    {
        for (size_t slash = strDiskPath.find('/', 1); slash != std::string::npos;
             slash = strDiskPath.find('/', slash + 1)) {
            std::string strFolder = strDiskPath.substr(0, slash);
            mkdir(strFolder.c_str(), 0755);
        }
    }

    Strong<Stream> CMountedPath::DoCreate(const char* szPath, eFilePathOrigin origin)
    {
        std::string strDiskPath;
        if (!Resolve(szPath, origin, strDiskPath) || strDiskPath.empty() || strDiskPath.back() == '/')
            return nullptr;
        MakeParents(strDiskPath);
        // The folders just made could not be links, but check once more before writing.
        if (origin != PATH_OWNER && !StaysInsideRoot(strDiskPath))
            return nullptr;
        return OpenFile(strDiskPath, "wb+");
    }

    bool CMountedPath::DoExists(const char* szPath, bool bFiles, bool bDirectories, eFilePathOrigin origin)
    {
        std::string strDiskPath;
        struct stat info;
        if (!Resolve(szPath, origin, strDiskPath) || stat(strDiskPath.c_str(), &info) != 0)
            return false;
        return (bFiles && S_ISREG(info.st_mode)) || (bDirectories && S_ISDIR(info.st_mode));
    }

    bool CMountedPath::DoEnumerate(const char* szPath, EnumerateCallback callback, void* pContext,
        eFilePathOrigin origin)
    {
        std::string strDiskPath;
        if (!Resolve(szPath, origin, strDiskPath))
            return false;
        DIR* pDir = opendir(strDiskPath.empty() ? "." : strDiskPath.c_str());
        if (!pDir)
            return false;
        if (!strDiskPath.empty() && strDiskPath.back() != '/')
            strDiskPath += '/';
        bool bResult = true;
        while (dirent* pEntry = readdir(pDir)) {
            if (strcmp(pEntry->d_name, ".") == 0 || strcmp(pEntry->d_name, "..") == 0)
                continue;
            std::string strEntry = strDiskPath + pEntry->d_name;
            struct stat info;
            if (stat(strEntry.c_str(), &info) != 0)
                continue;
            if (origin != PATH_OWNER && !StaysInsideRoot(strEntry))
                continue;
            tDirectoryEntry entry{szPath, pEntry->d_name, S_ISREG(info.st_mode), S_ISDIR(info.st_mode)};
            if (!callback(entry, pContext)) {
                bResult = false;
                break;
            }
        }
        closedir(pDir);
        return bResult;
    }
}
