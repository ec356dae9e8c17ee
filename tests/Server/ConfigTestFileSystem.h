// A file system like the server's for configuration tests: a temporary folder first (standing
// for the executable's folder), then the built-in archive. Published as the process context.
#pragma once

#include "ServerProcess.h"

#include <Engine/BuiltinArchive.h>
#include <Engine/Context.h>
#include <Engine/FileSystem.h>
#include <Engine/MountedPath.h>
#include <Engine/TARArchive.h>

namespace TestSupport
{
    class CConfigTestFileSystem
    {
    public:
        CConfigTestFileSystem()
        {
            using namespace Torvane3D;
            Strong<CFileSystem> pFileSystem = MakeStrong<CFileSystem>();
            pFileSystem->Mount(MakeStrong<CMountedPath>((m_Folder.Path() + "/").c_str()));
            Strong<CTARArchive> pArchive = MakeStrong<CTARArchive>();
            if (pArchive->Read(MakeStrong<CMemoryStream>(g_BuiltinArchive, g_BuiltinArchiveSize)))
                pFileSystem->Mount(pArchive);
            m_Context.SetFileSystem(pFileSystem);
            m_pPrevious = g_pContext;
            g_pContext = &m_Context;
        }
        ~CConfigTestFileSystem() { Torvane3D::g_pContext = m_pPrevious; }

        const CTempDir& Folder() const { return m_Folder; }
        Torvane3D::CFileSystem& FileSystem() { return *m_Context.GetFileSystem(); }

    private:
        CTempDir m_Folder;
        Torvane3D::Context m_Context;
        Torvane3D::Context* m_pPrevious = nullptr;
    };
}
