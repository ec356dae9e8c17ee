// A folder on disk mounted into the virtual file system.
#pragma once

#include <Engine/FileSystem.h>

namespace Torvane3D
{
    class CMountedPath : public CVirtualFileMgr
    {
    public:
        explicit CMountedPath(const char* szRoot);

        const std::string& GetRoot() const { return m_strRoot; }

        // The disk path of a virtual path: one leading '/' removed, joined to the root with
        // one '/'. An untrusted path is resolved first and refused (false) when it would
        // leave the root.
        bool MapPath(const char* szPath, eFilePathOrigin origin, std::string& strDiskPath) const;

    protected:
        Strong<Stream> DoOpen(const char* szPath, bool bWritable, eFilePathOrigin origin) override;
        Strong<Stream> DoCreate(const char* szPath, eFilePathOrigin origin) override;
        bool DoExists(const char* szPath, bool bFiles, bool bDirectories, eFilePathOrigin origin) override;
        bool DoEnumerate(const char* szPath, EnumerateCallback callback, void* pContext,
            eFilePathOrigin origin) override;

    private:
        // Maps the path and, for an untrusted one, makes sure that symbolic links on the
        // way do not lead outside the root.
        bool Resolve(const char* szPath, eFilePathOrigin origin, std::string& strDiskPath) const;
        bool StaysInsideRoot(const std::string& strDiskPath) const;

        std::string m_strRoot;
    };
}
