// A read-only TAR archive (POSIX ustar and the older V7 layout) mounted as a folder tree.
#pragma once

#include <Engine/FileSystem.h>

#include <map>
#include <memory>

namespace Torvane3D
{
    class CTARArchive : public CVirtualFileMgr
    {
    public:
        struct tMember
        {
            std::string m_strName; // at most 255 bytes
            char m_cType;          // '0' file, '5' folder
            long m_lOffset;        // of the data in the archive's stream
            long m_lSize;
        };

        // A node of the folder tree: a folder with its children, or a file.
        class CDirectoryEntry
        {
        public:
            bool m_bIsDirectory = true;
            std::string m_strName;
            size_t m_uiMember = 0; // files: index into the member table
            // Children by name (lowered when the archive ignores case), in name order.
            std::map<std::string, std::unique_ptr<CDirectoryEntry>> m_Children;
        };

        explicit CTARArchive(bool bCaseSensitive = true);

        // Loads the member table and the tree. False, with the archive left empty, on a
        // header checksum error, a malformed number or a member whose data passes the end
        // of the stream. Members whose names would climb out of the archive ('..') are left out.
        bool Read(Stream* pStream);

        const std::vector<tMember>& GetMembers() const { return m_Members; }
        bool IsCaseSensitive() const { return m_bCaseSensitive; }

    protected:
        Strong<Stream> DoOpen(const char* szPath, bool bWritable, eFilePathOrigin origin) override;
        Strong<Stream> DoCreate(const char*, eFilePathOrigin) override { return nullptr; }
        bool DoExists(const char* szPath, bool bFiles, bool bDirectories, eFilePathOrigin origin) override;
        bool DoEnumerate(const char* szPath, EnumerateCallback callback, void* pContext,
            eFilePathOrigin origin) override;

    private:
        void Clear();
        void BuildTree();
        std::string Key(std::string_view name) const;
        // Follows the path from the root; a trailing '/' asks for a folder.
        const CDirectoryEntry* Walk(const char* szPath) const;

        bool m_bCaseSensitive;
        Strong<Stream> m_pStream;
        std::vector<tMember> m_Members;
        CDirectoryEntry m_Root;
    };
}
