#include <Engine/TARArchive.h>

#include <Engine/StreamRangeStream.h>

#include <climits>
#include <cstring>

namespace Torvane3D
{
    static constexpr size_t TAR_BLOCK = 512;
    static constexpr size_t TAR_NAME_LIMIT = 255;

    CTARArchive::CTARArchive(bool bCaseSensitive) : m_bCaseSensitive(bCaseSensitive)
    {
    }

    void CTARArchive::Clear()
    {
        m_pStream = nullptr;
        m_Members.clear();
        m_Root.m_Children.clear();
    }

    // An octal field: digits from the start (after any leading blanks) up to the first NUL
    // or blank. False on any other character or on a value too large for a long.
    static bool ReadOctal(const unsigned char* pField, size_t width, long& lValue)
    {
        size_t i = 0;
        while (i < width && pField[i] == ' ')
            i++;
        unsigned long long value = 0;
        for (; i < width && pField[i] != '\0' && pField[i] != ' '; i++) {
            if (pField[i] < '0' || pField[i] > '7')
                return false;
            value = value * 8 + (pField[i] - '0');
            if (value > static_cast<unsigned long long>(LONG_MAX))
                return false;
        }
        lValue = static_cast<long>(value);
        return true;
    }

    static std::string FieldText(const unsigned char* pField, size_t width)
    {
        const void* pNul = memchr(pField, 0, width);
        size_t length = pNul ? static_cast<size_t>(static_cast<const unsigned char*>(pNul) - pField) : width;
        return std::string(reinterpret_cast<const char*>(pField), length);
    }

    static bool ChecksumMatches(unsigned char (&header)[TAR_BLOCK])
    {
        long lStored;
        if (!ReadOctal(header + 148, 8, lStored))
            return false;
        memset(header + 148, ' ', 8);
        long lUnsigned = 0, lSigned = 0;
        for (unsigned char c : header) {
            lUnsigned += c;
            lSigned += static_cast<signed char>(c);
        }
        return lStored == lUnsigned || lStored == lSigned;
    }

    // The member's path inside the archive: '.' and empty components dropped. False for a
    // name with a '..' component, which no lookup may reach.
    static bool CleanMemberName(const std::string& strName, std::string& strClean)
    {
        strClean.clear();
        size_t start = 0;
        while (start <= strName.size()) {
            size_t end = strName.find('/', start);
            if (end == std::string::npos)
                end = strName.size();
            std::string_view component(strName.data() + start, end - start);
            if (component == "..")
                return false;
            if (!component.empty() && component != ".") {
                if (!strClean.empty())
                    strClean += '/';
                strClean += component;
            }
            start = end + 1;
        }
        return true;
    }

    bool CTARArchive::Read(Stream* pStream)
    {
        Clear();
        if (!pStream)
            return false;
        m_pStream = pStream;
        long lLength = pStream->GetLength();
        long lPosition = pStream->Tell();
        if (lLength < 0 || lPosition < 0) {
            Clear();
            return false;
        }
        for (;;) {
            unsigned char header[TAR_BLOCK];
            if (!pStream->Seek(lPosition, SEEK_ORIGIN_BEGIN) || pStream->Read(header, TAR_BLOCK) != TAR_BLOCK)
                break;
            static const unsigned char s_Zero[TAR_BLOCK] = {};
            if (memcmp(header, s_Zero, TAR_BLOCK) == 0)
                break;
            long lSize;
            if (!ChecksumMatches(header) || !ReadOctal(header + 124, 12, lSize)) {
                Clear();
                return false;
            }
            long lOffset = lPosition + static_cast<long>(TAR_BLOCK);
            if (lSize > lLength - lOffset) {
                Clear(); // the member's data passes the end: a truncated archive
                return false;
            }
            char cType = header[156] ? static_cast<char>(header[156]) : '0';
            if (cType == '0' || cType == '5') {
                std::string strName = FieldText(header, 100);
                if (memcmp(header + 257, "ustar", 6) == 0) {
                    std::string strPrefix = FieldText(header + 345, 155);
                    if (!strPrefix.empty())
                        strName = strPrefix + "/" + strName;
                }
                if (strName.size() > TAR_NAME_LIMIT)
                    strName.resize(TAR_NAME_LIMIT);
                m_Members.push_back(tMember{strName, cType, lOffset, lSize});
            }
            long lPadded = lSize + static_cast<long>((TAR_BLOCK - lSize % TAR_BLOCK) % TAR_BLOCK);
            lPosition = lOffset + lPadded;
        }
        BuildTree();
        return true;
    }

    std::string CTARArchive::Key(std::string_view name) const
    {
        std::string strKey(name);
        if (!m_bCaseSensitive) {
            for (char& c : strKey) {
                if (c >= 'A' && c <= 'Z')
                    c = static_cast<char>(c - 'A' + 'a');
            }
        }
        return strKey;
    }

    void CTARArchive::BuildTree()
    {
        for (size_t i = 0; i < m_Members.size(); i++) {
            const tMember& member = m_Members[i];
            std::string strName;
            // Folders exist only through the files below them; a name ending in '/' is a
            // folder in the old layout.
            if (member.m_cType != '0' || member.m_strName.empty() || member.m_strName.back() == '/' ||
                !CleanMemberName(member.m_strName, strName) || strName.empty())
                continue;
            CDirectoryEntry* pNode = &m_Root;
            size_t start = 0;
            for (;;) {
                size_t slash = strName.find('/', start);
                std::string_view component(strName.data() + start,
                    (slash == std::string::npos ? strName.size() : slash) - start);
                auto& pChild = pNode->m_Children[Key(component)];
                if (slash == std::string::npos) {
                    if (!pChild) { // an existing child of that name is kept
                        pChild = std::make_unique<CDirectoryEntry>();
                        pChild->m_bIsDirectory = false;
                        pChild->m_strName = component;
                        pChild->m_uiMember = i;
                    }
                    break;
                }
                if (!pChild) {
                    pChild = std::make_unique<CDirectoryEntry>();
                    pChild->m_strName = component;
                }
                if (!pChild->m_bIsDirectory)
                    break; // a file already holds this name; the member cannot be placed
                pNode = pChild.get();
                start = slash + 1;
            }
        }
    }

    const CTARArchive::CDirectoryEntry* CTARArchive::Walk(const char* szPath) const
    {
        if (*szPath == '/')
            szPath++;
        const CDirectoryEntry* pNode = &m_Root;
        while (*szPath) {
            if (!pNode->m_bIsDirectory)
                return nullptr;
            const char* pSlash = strchr(szPath, '/');
            std::string_view component(szPath, pSlash ? static_cast<size_t>(pSlash - szPath) : strlen(szPath));
            auto it = pNode->m_Children.find(Key(component));
            if (it == pNode->m_Children.end())
                return nullptr;
            pNode = it->second.get();
            if (!pSlash)
                return pNode;
            szPath = pSlash + 1;
        }
        // The path ended with '/' (or was the root): it must name a folder.
        return pNode->m_bIsDirectory ? pNode : nullptr;
    }

    Strong<Stream> CTARArchive::DoOpen(const char* szPath, bool bWritable, eFilePathOrigin)
    {
        if (bWritable || !m_pStream)
            return nullptr;
        const CDirectoryEntry* pEntry = Walk(szPath);
        if (!pEntry || pEntry->m_bIsDirectory)
            return nullptr;
        const tMember& member = m_Members[pEntry->m_uiMember];
        return Strong<Stream>::Adopt(new CStreamRangeStream(m_pStream, member.m_lOffset, member.m_lSize));
    }

    bool CTARArchive::DoExists(const char* szPath, bool bFiles, bool bDirectories, eFilePathOrigin)
    {
        const CDirectoryEntry* pEntry = Walk(szPath);
        if (!pEntry)
            return false;
        return pEntry->m_bIsDirectory ? bDirectories : bFiles;
    }

    bool CTARArchive::DoEnumerate(const char* szPath, EnumerateCallback callback, void* pContext, eFilePathOrigin)
    {
        const CDirectoryEntry* pEntry = Walk(szPath);
        if (!pEntry || !pEntry->m_bIsDirectory)
            return false;
        for (const auto& [key, pChild] : pEntry->m_Children) {
            tDirectoryEntry entry{szPath, pChild->m_strName.c_str(), !pChild->m_bIsDirectory, pChild->m_bIsDirectory};
            if (!callback(entry, pContext))
                return false;
        }
        return true;
    }
}
