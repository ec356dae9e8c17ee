#include <Engine/Arguments.h>
#include <Engine/Context.h>
#include <Engine/ElementChunk.h>

#include <gtest/gtest.h>

#include <zlib.h>

using namespace Torvane3D;

namespace
{
    // Little builders for hand-made binary documents.
    std::string Le32(uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); }
    std::string Le16(uint16_t v) { return std::string(reinterpret_cast<const char*>(&v), 2); }
    std::string Str(const std::string& s)
    {
        std::string out;
        uint32_t n = static_cast<uint32_t>(s.size());
        while (n > 127) {
            out += static_cast<char>((n & 0x7F) | 0x80);
            n >>= 7;
        }
        out += static_cast<char>(n);
        return out + s;
    }

    struct tChunk
    {
        uint32_t m_uiType;
        std::string m_strName;
        std::string m_strPayload;
        std::vector<tChunk> m_Children;
    };

    // The body of a chunk (after its type number) in the layout of a version.
    std::string Body(const tChunk& c, uint32_t uiVersion)
    {
        std::string out;
        if (uiVersion >= 7) {
            out = Str(c.m_strName) + Le32(static_cast<uint32_t>(c.m_strPayload.size())) + c.m_strPayload +
                Le32(static_cast<uint32_t>(c.m_Children.size()));
        } else {
            const std::string strHeaderPadding = "HP", strBlockPadding = "BLK";
            out = Le16(static_cast<uint16_t>(c.m_strName.size() + 1 + strHeaderPadding.size())) + Str(c.m_strName) +
                strHeaderPadding + Le32(static_cast<uint32_t>(4 + c.m_strPayload.size() + strBlockPadding.size())) +
                Le32(static_cast<uint32_t>(c.m_strPayload.size())) + c.m_strPayload + strBlockPadding +
                Le16(static_cast<uint16_t>(c.m_Children.size()));
        }
        for (const tChunk& child : c.m_Children)
            out += Le32(child.m_uiType) + Body(child, uiVersion);
        return out;
    }

    std::string Document(const std::vector<tChunk>& top, uint32_t uiVersion = 8)
    {
        tChunk root{0, "", "ignored", top};
        std::string out = "HBF\xFF" + Le32(uiVersion);
        if (uiVersion > 7)
            out += Le32(0);
        return out + Le32(0) + Body(root, uiVersion);
    }

    // An element payload: the text, then a map of string attributes.
    std::string ElementPayload(const std::string& strText, const std::vector<std::pair<std::string, std::string>>& attributes = {})
    {
        std::string out = Str(strText) + static_cast<char>(attributes.size());
        for (const auto& [strKey, strValue] : attributes)
            out += std::string(1, ARGUMENT_STRING) + Str(strKey) + Str(strValue);
        return out;
    }

    std::unique_ptr<CElementChunk> LoadBytes(const std::string& strBytes)
    {
        auto pStream = MakeStrong<CMemoryStream>(strBytes.data(), strBytes.size());
        return CElementChunk::Load(pStream);
    }

    std::string SaveBytes(const CElementChunk& element, bool bCompress)
    {
        auto pStream = MakeStrong<CUnlimitedStream>();
        EXPECT_TRUE(element.Save(pStream, bCompress));
        return std::string(reinterpret_cast<const char*>(pStream->GetData()), pStream->GetSize());
    }

    // A readable outline of a tree: name[text]{attributes}(children).
    std::string Outline(const CChunk* pChunk)
    {
        std::string out = std::to_string(pChunk->GetType()) + ":" + pChunk->GetName();
        if (auto* pElement = dynamic_cast<const CElementChunk*>(pChunk)) {
            out += "[" + pElement->GetText() + "]";
            std::vector<std::string> attributes;
            for (const auto& [strKey, pValue] : pElement->GetAttributes()->GetEntries())
                attributes.push_back(strKey + "=" + (pValue->IsString() ? pValue->ToString() : pValue->GetTypeName()));
            std::sort(attributes.begin(), attributes.end());
            for (const std::string& a : attributes)
                out += "{" + a + "}";
        } else if (auto* pData = dynamic_cast<const CDataChunk*>(pChunk)) {
            out += "<" + std::string(pData->m_Data.begin(), pData->m_Data.end()) + ">";
        } else if (auto* pHistory = dynamic_cast<const CHistoryChunk*>(pChunk)) {
            out += "'" + pHistory->m_strText + "'";
        }
        out += "(";
        for (size_t i = 0; i < pChunk->GetChildCount(); i++) {
            EXPECT_EQ(pChunk->GetChild(i)->GetParent(), pChunk);
            EXPECT_EQ(pChunk->GetChild(i)->GetIndex(), i);
            out += (i ? "," : "") + Outline(pChunk->GetChild(i));
        }
        return out + ")";
    }

    // Warnings of the value decoder stay off the console.
    struct CQuietConsole
    {
        CQuietConsole() { SetConsoleLogging(false); }
        ~CQuietConsole() { SetConsoleLogging(true); }
    };

    std::unique_ptr<CElementChunk> SampleTree()
    {
        auto pTop = std::make_unique<CElementChunk>();
        pTop->SetName("map");
        pTop->SetText("top text");
        pTop->SetAttribute("name", "sample");
        pTop->GetAttributes()->Set("count", new CArgumentInteger(7));
        pTop->GetAttributes()->Set("where", new CArgumentVector3D(CVector3D(1, 2, 3)));
        auto* pVehicle = new CElementChunk();
        pVehicle->SetName("vehicle");
        pVehicle->SetAttribute("model", "400");
        pTop->AddChild(pVehicle);
        auto* pData = new CDataChunk(200);
        pData->SetName("blob");
        pData->m_Data = {'x', 'y'};
        auto* pInner = new CElementChunk();
        pInner->SetName("inner");
        pData->AddChild(pInner);
        pTop->AddChild(pData);
        auto* pHistory = new CHistoryChunk();
        pHistory->m_strText = "made by hand";
        pTop->AddChild(pHistory);
        return pTop;
    }

    const char* const SAMPLE_OUTLINE = "93:map[top text]{count=integer}{name=sample}{where=Vector3D}("
                                       "93:vehicle[]{model=400}(),200:blob<xy>(93:inner[]()),21:'made by hand'())";
}

TEST(ChunkDocument, SaveAndLoadPlainAndCompressed)
{
    auto pTree = SampleTree();
    EXPECT_EQ(Outline(pTree.get()), SAMPLE_OUTLINE);
    for (bool bCompress : {false, true}) {
        std::string strBytes = SaveBytes(*pTree, bCompress);
        EXPECT_EQ(strBytes.substr(0, 4), bCompress ? "HBFZ" : "HBF\xFF");
        auto pLoaded = LoadBytes(strBytes);
        ASSERT_TRUE(pLoaded) << bCompress;
        EXPECT_EQ(Outline(pLoaded.get()), SAMPLE_OUTLINE);
        EXPECT_EQ(pLoaded->GetParent(), nullptr);
        EXPECT_EQ(pLoaded->GetVersion(), 8u);
        // Only string attributes count.
        size_t length = 0;
        EXPECT_STREQ(pLoaded->Attribute("name", &length), "sample");
        EXPECT_EQ(length, 6u);
        EXPECT_EQ(pLoaded->Attribute("count"), nullptr);
        EXPECT_EQ(pLoaded->Attribute("NAME"), nullptr);
    }
}

TEST(ChunkDocument, LayoutVersions)
{
    std::vector<tChunk> top = {{CHUNK_ELEMENT, "root", ElementPayload("t", {{"a", "1"}}),
        {{CHUNK_ELEMENT, "child", ElementPayload(""), {}}, {200, "unknown", "raw", {{CHUNK_ELEMENT, "below", ElementPayload("b"), {}}}}}}};
    const char* szOutline = "93:root[t]{a=1}(93:child[](),200:unknown<raw>(93:below[b]()))";
    for (uint32_t uiVersion : {6u, 7u, 8u}) {
        auto pLoaded = LoadBytes(Document(top, uiVersion));
        ASSERT_TRUE(pLoaded) << uiVersion;
        EXPECT_EQ(Outline(pLoaded.get()), szOutline) << uiVersion;
        EXPECT_EQ(pLoaded->GetVersion(), uiVersion);
    }
    // A version 8 document read without its extra field, or a version 7 one with it, fails.
    std::string strV8 = Document(top, 8), strV7 = Document(top, 7);
    strV8.erase(8, 4);
    strV7.insert(8, Le32(0));
    EXPECT_FALSE(LoadBytes(strV8));
    EXPECT_FALSE(LoadBytes(strV7));
}

TEST(ChunkDocument, HeadersThatAreNotOursAreReadAsXml)
{
    tChunk element{CHUNK_ELEMENT, "a", ElementPayload(""), {}};
    std::string strDoc = Document({element});
    for (uint32_t uiVersion : {5u, 9u}) {
        std::string strBad = strDoc;
        strBad.replace(4, 4, Le32(uiVersion));
        EXPECT_FALSE(LoadBytes(strBad)) << uiVersion;
    }
    std::string strBadMark = strDoc;
    strBadMark[3] = 'X';
    EXPECT_FALSE(LoadBytes(strBadMark));
    // The XML fallback reads from where the stream started.
    std::string strXml = "junk<a x=\"1\"/>";
    auto pStream = MakeStrong<CMemoryStream>(strXml.data(), strXml.size());
    pStream->Seek(4, SEEK_ORIGIN_BEGIN);
    auto pLoaded = CElementChunk::Load(pStream);
    ASSERT_TRUE(pLoaded);
    EXPECT_STREQ(pLoaded->Attribute("x"), "1");
}

TEST(ChunkDocument, TopMustBeAnElement)
{
    EXPECT_FALSE(LoadBytes(Document({{CHUNK_DATA, "data", "x", {}}})));
    EXPECT_FALSE(LoadBytes(Document({})));
    // The first child counts; a later element does not help.
    EXPECT_FALSE(LoadBytes(Document({{CHUNK_DATA, "d", "", {}}, {CHUNK_ELEMENT, "a", ElementPayload(""), {}}})));
}

TEST(ChunkDocument, EveryTruncationFailsCleanly)
{
    CQuietConsole quiet;
    auto pTree = SampleTree();
    for (bool bCompress : {false, true}) {
        std::string strBytes = SaveBytes(*pTree, bCompress);
        for (size_t cut = 0; cut < strBytes.size(); cut++)
            EXPECT_FALSE(LoadBytes(strBytes.substr(0, cut))) << cut << " of " << strBytes.size();
    }
}

TEST(ChunkDocument, LyingSizesFailBeforeAllocating)
{
    CQuietConsole quiet;
    const std::string strElement = Str("a") + Le32(1) + Str("") + Le32(0); // payload: empty text
    auto Plain = [](const std::string& strRootBody) { return "HBF\xFF" + Le32(8) + Le32(0) + Le32(0) + strRootBody; };
    struct tCase
    {
        const char* m_szWhat;
        std::string m_strBytes;
    };
    const tCase cases[] = {
        {"payload size", Plain(Str("") + Le32(0xFFFFFFF0) + "xx" + Le32(0))},
        {"child count", Plain(Str("") + Le32(0) + Le32(0xFFFFFFFF) + Le32(CHUNK_ELEMENT) + strElement)},
        {"name length", Plain(std::string("\xFF\xFF\xFF\xFF\x0F", 5) + "abc")},
        {"v6 header size", "HBF\xFF" + Le32(6) + Le32(0) + Le16(0) + Str("") + Le32(4) + Le32(0) + Le16(0)},
        {"v6 block size", "HBF\xFF" + Le32(6) + Le32(0) + Le16(1) + Str("") + Le32(2) + Le32(0) + Le16(0)},
        {"v6 block padding", "HBF\xFF" + Le32(6) + Le32(0) + Le16(1) + Str("") + Le32(0xFFFFFFFF) + Le32(0) + Le16(0)},
        {"attribute count", Plain(Str("") + Le32(0) + Le32(1) + Le32(CHUNK_ELEMENT) + Str("a") + Le32(6) + Str("") +
                                std::string("\xFF\xFF\xFF\xFF\x0F", 5) + Le32(0))},
    };
    for (const tCase& c : cases)
        EXPECT_FALSE(LoadBytes(c.m_strBytes)) << c.m_szWhat;

    // Compressed bodies: the sizes must fit what is there.
    std::string strBody = Le32(0) + Str("") + Le32(0) + Le32(1) + Le32(CHUNK_ELEMENT) + Str("a") + Le32(2) + Str("") +
        std::string(1, '\0') + Le32(0);
    uLongf compressedSize = compressBound(strBody.size());
    std::string strCompressed(compressedSize, '\0');
    ASSERT_EQ(compress(reinterpret_cast<Bytef*>(strCompressed.data()), &compressedSize,
                  reinterpret_cast<const Bytef*>(strBody.data()), strBody.size()),
        Z_OK);
    strCompressed.resize(compressedSize);
    auto Compressed = [&](uint32_t uiInflated, uint32_t uiCompressed) {
        return "HBFZ" + Le32(8) + Le32(0) + Le32(uiInflated) + Le32(uiCompressed) + Le32(0) + strCompressed;
    };
    uint32_t uiBody = static_cast<uint32_t>(strBody.size()), uiPacked = static_cast<uint32_t>(compressedSize);
    EXPECT_TRUE(LoadBytes(Compressed(uiBody, uiPacked)));
    EXPECT_TRUE(LoadBytes(Compressed(uiBody + 100, uiPacked))); // room to spare is harmless
    EXPECT_FALSE(LoadBytes(Compressed(uiBody - 1, uiPacked)));  // the stream does not end in time
    EXPECT_FALSE(LoadBytes(Compressed(0xFFFFFFFF, uiPacked)));  // more than the bytes can inflate to
    EXPECT_FALSE(LoadBytes(Compressed(uiBody, uiPacked + 1)));  // more bytes than there are
    EXPECT_FALSE(LoadBytes(Compressed(uiBody, 0)));
    std::string strGarbage = Compressed(uiBody, uiPacked);
    strGarbage[strGarbage.size() - uiPacked + 2] ^= 0x55;
    EXPECT_FALSE(LoadBytes(strGarbage));
}

TEST(ChunkDocument, NestingIsBounded)
{
    auto Chain = [](int iDepth) {
        tChunk chunk{CHUNK_ELEMENT, "leaf", ElementPayload(""), {}};
        for (int i = 1; i < iDepth; i++)
            chunk = tChunk{CHUNK_ELEMENT, "e", ElementPayload(""), {chunk}};
        return Document({chunk});
    };
    auto pDeep = LoadBytes(Chain(MAX_CHUNK_DEPTH));
    ASSERT_TRUE(pDeep);
    EXPECT_FALSE(LoadBytes(Chain(MAX_CHUNK_DEPTH + 1)));
    // Saving refuses what loading would refuse.
    CChunk* pLeaf = pDeep.get();
    while (pLeaf->GetChildCount())
        pLeaf = pLeaf->GetChild(0);
    EXPECT_TRUE(pDeep->Save(MakeStrong<CUnlimitedStream>()));
    pLeaf->AddChild(new CElementChunk());
    EXPECT_FALSE(pDeep->Save(MakeStrong<CUnlimitedStream>()));
}

namespace
{
    // Reads one byte of its payload and notes its children when processed.
    class CGreedyChunk : public CChunk
    {
    public:
        CGreedyChunk() : CChunk(300) {}
        bool ReadData(Stream* pStream) override { return pStream->Read(&m_ucFirst, 1) == 1; }
        void Process() override { m_iProcessedChildren = static_cast<int>(GetChildCount()); }
        unsigned char m_ucFirst = 0;
        int m_iProcessedChildren = -1;
    };
}

TEST(Chunk, PayloadWindowRegistryAndProcess)
{
    CChunkTypes::RegisterCustomChunk(300, [](uint32_t) -> CChunk* { return new CGreedyChunk(); });
    std::vector<tChunk> top = {{CHUNK_ELEMENT, "root", ElementPayload(""),
        {{300, "greedy", "ABCDEFG", {{CHUNK_ELEMENT, "x", ElementPayload(""), {}}}}, {CHUNK_ELEMENT, "after", ElementPayload("ok"), {}}}}};
    auto pLoaded = LoadBytes(Document(top));
    ASSERT_TRUE(pLoaded);
    auto* pGreedy = dynamic_cast<CGreedyChunk*>(pLoaded->GetChild(0));
    ASSERT_TRUE(pGreedy);
    EXPECT_EQ(pGreedy->m_ucFirst, 'A');
    EXPECT_EQ(pGreedy->m_iProcessedChildren, 1);
    ASSERT_TRUE(pLoaded->FindChunk(0, "AFTER"));
    EXPECT_EQ(pLoaded->FindChunk(0, "after")->GetText(), "ok");
    // A payload its class refuses fails the document.
    top[0].m_Children[0].m_strPayload.clear();
    EXPECT_FALSE(LoadBytes(Document(top)));
}

TEST(Chunk, FindChunkAndOrphan)
{
    CElementChunk parent;
    const char* names[] = {"script", "file", "Script", "SCRIPT"};
    for (const char* szName : names) {
        auto* pChild = new CElementChunk();
        pChild->SetName(szName);
        parent.AddChild(pChild);
    }
    parent.AddChild(new CDataChunk());
    std::vector<size_t> found;
    for (CElementChunk* p = parent.FindChunk(0, "Script"); p; p = parent.FindChunk(p->GetIndex() + 1, "Script"))
        found.push_back(p->GetIndex());
    EXPECT_EQ(found, (std::vector<size_t>{0, 2, 3}));
    EXPECT_EQ(parent.FindChunk(0, "scrip"), nullptr);
    EXPECT_EQ(parent.FindChunk(0, "scripts"), nullptr);
    EXPECT_EQ(parent.FindChunk(9, "file"), nullptr);

    std::unique_ptr<CChunk> pFile(parent.GetChild(1));
    pFile->Orphan();
    EXPECT_EQ(pFile->GetParent(), nullptr);
    ASSERT_EQ(parent.GetChildCount(), 4u);
    EXPECT_EQ(parent.GetChild(1)->GetName(), "Script");
    EXPECT_EQ(parent.GetChild(1)->GetIndex(), 1u);
    EXPECT_EQ(parent.GetChild(3)->GetIndex(), 3u);
}
