// The virtual file system: one tree of paths over folders on disk and archives.
// Every file the server opens by path goes through it; '/' separates components.
#pragma once

#include <Engine/Stream.h>

#include <string>
#include <vector>

namespace Torvane3D
{
    // Who chose a path. Paths from scripts, clients, HTTP requests and archive members are
    // untrusted: they stay inside the root of the mount that serves them ('..' cannot climb
    // out, a symbolic link cannot lead out). Paths the server's owner configures (the log
    // folder, anticheat files) may point anywhere.
    enum eFilePathOrigin
    {
        PATH_UNTRUSTED = 0,
        PATH_OWNER = 1,
    };

    // One entry reported by an enumeration.
    struct tDirectoryEntry
    {
        const char* m_szDirectory; // the virtual path that was enumerated
        const char* m_szName;
        bool m_bIsFile;
        bool m_bIsDirectory;
    };

    // Returning false ends the enumeration.
    typedef bool (*EnumerateCallback)(const tDirectoryEntry& entry, void* pContext);

    // What every mount implements.
    class CVirtualFileMgr : public CBaseObject
    {
    public:
        // A stream over the file, or null. Writable streams read and write without truncating.
        Strong<Stream> Open(const char* szPath, bool bWritable, eFilePathOrigin origin = PATH_UNTRUSTED)
        {
            return szPath ? DoOpen(szPath, bWritable, origin) : nullptr;
        }
        // A new, empty, writable file (missing parent folders are made), or null.
        Strong<Stream> Create(const char* szPath, eFilePathOrigin origin = PATH_UNTRUSTED)
        {
            return szPath ? DoCreate(szPath, origin) : nullptr;
        }
        // True when the path names a file (and bFiles) or a folder (and bDirectories).
        bool Exists(const char* szPath, bool bFiles, bool bDirectories, eFilePathOrigin origin = PATH_UNTRUSTED)
        {
            return szPath && DoExists(szPath, bFiles, bDirectories, origin);
        }
        // Reports every entry of a folder; false when the folder is unknown or the callback stopped.
        bool Enumerate(const char* szPath, EnumerateCallback callback, void* pContext,
            eFilePathOrigin origin = PATH_UNTRUSTED)
        {
            return szPath && callback && DoEnumerate(szPath, callback, pContext, origin);
        }

    protected:
        virtual Strong<Stream> DoOpen(const char* szPath, bool bWritable, eFilePathOrigin origin) = 0;
        virtual Strong<Stream> DoCreate(const char* szPath, eFilePathOrigin origin) = 0;
        virtual bool DoExists(const char* szPath, bool bFiles, bool bDirectories, eFilePathOrigin origin) = 0;
        virtual bool DoEnumerate(const char* szPath, EnumerateCallback callback, void* pContext,
            eFilePathOrigin origin) = 0;
    };

    // The mounts in order; the first one that has a path wins.
    class CFileSystem : public CVirtualFileMgr
    {
    public:
        void Mount(CVirtualFileMgr* pMount);
        size_t GetMountCount() const { return m_Mounts.size(); }

    protected:
        Strong<Stream> DoOpen(const char* szPath, bool bWritable, eFilePathOrigin origin) override;
        Strong<Stream> DoCreate(const char* szPath, eFilePathOrigin origin) override;
        bool DoExists(const char* szPath, bool bFiles, bool bDirectories, eFilePathOrigin origin) override;
        bool DoEnumerate(const char* szPath, EnumerateCallback callback, void* pContext,
            eFilePathOrigin origin) override;

    private:
        std::vector<Strong<CVirtualFileMgr>> m_Mounts;
    };

    // Path helpers shared by the mounts.
    // Resolves '.', '..' and repeated or leading '/' of an untrusted path to a relative
    // path ("" for the root). False when '..' would climb above the root. A trailing '/'
    // is kept, so that "dir/" still asks for a folder.
    bool ConfineVirtualPath(const char* szPath, std::string& strResult);
}
