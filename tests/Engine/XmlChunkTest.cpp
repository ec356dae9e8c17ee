#include <Engine/Arguments.h>
#include <Engine/ElementChunk.h>
#include <Engine/XmlStructure.h>

#include <gtest/gtest.h>

using namespace Torvane3D;

namespace
{
    std::unique_ptr<CElementChunk> LoadText(const std::string& strText)
    {
        auto pStream = MakeStrong<CMemoryStream>(strText.data(), strText.size());
        return CElementChunk::Load(pStream);
    }

    std::string Outline(const CElementChunk* pElement)
    {
        std::string out = pElement->GetName() + "[" + pElement->GetText() + "]";
        std::vector<std::string> attributes;
        for (const auto& [strKey, pValue] : pElement->GetAttributes()->GetEntries())
            attributes.push_back(strKey + "=" + (pValue->IsString() ? pValue->ToString() : "?"));
        std::sort(attributes.begin(), attributes.end());
        for (const std::string& a : attributes)
            out += "{" + a + "}";
        out += "(";
        for (size_t i = 0; i < pElement->GetChildCount(); i++) {
            auto* pChild = dynamic_cast<const CElementChunk*>(pElement->GetChild(i));
            out += (i ? "," : "") + (pChild ? Outline(pChild) : "?");
        }
        return out + ")";
    }

    std::string Nested(int iDepth)
    {
        std::string out;
        for (int i = 0; i < iDepth; i++)
            out += "<e>";
        for (int i = 0; i < iDepth; i++)
            out += "</e>";
        return out;
    }
}

TEST(XmlDocument, WellFormedDocuments)
{
    const std::vector<std::pair<std::string, const char*>> cases = {
        {"<a>hello</a>", "a[hello]()"},
        {"<a><b/>hello</a>", "a[](b[]())"},
        {"<a x=\"1\" y='two' z=\"&amp;&lt;&#65;&#x42;\"/>", "a[]{x=1}{y=two}{z=&<AB}()"},
        {"\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- note -->\n<!DOCTYPE config>\n"
         "<config>\n  <port>22000</port>\n  <resource src=\"chat\" />\n</config >\n",
            "config[](port[22000](),resource[]{src=chat}())"},
        {"<a><![CDATA[<not> & markup]]></a>", "a[<not> & markup]()"},
        {"<a>\xC3\xA9t\xC3\xA9 \xE2\x82\xAC</a>", "a[\xC3\xA9t\xC3\xA9 \xE2\x82\xAC]()"},
        {"<r><x a=\"1\"/><!-- c --><?pi data?><y>t</y></r>", "r[](x[]{a=1}(),y[t]())"},
        {"<first/><second/>", "first[]()"},
        {"<n.a-m_e:x attr = \"v\" ></n.a-m_e:x>", "n.a-m_e:x[]{attr=v}()"},
    };
    for (const auto& [strText, szOutline] : cases) {
        auto pLoaded = LoadText(strText);
        ASSERT_TRUE(pLoaded) << strText;
        EXPECT_EQ(Outline(pLoaded.get()), szOutline) << strText;
        EXPECT_EQ(pLoaded->GetVersion(), CHUNK_VERSION_CURRENT);
    }
}

TEST(XmlDocument, MalformedDocumentsFail)
{
    const std::vector<std::string> cases = {
        "", "   ", "no markup", "<a>", "<a></b>", "<a><b></a>", "<a></a><", "<a/>trailing text", "text<a/>",
        "<a x=1/>", "<a x=\"1/>", "<a x/>", "<a =\"1\"/>", "<a/ >", "</a>", "<a></a></a>", "<a><b/></a junk>",
        "<a>&#x41</a>", "<a>&#;</a>", "<a>&#x\"/><b>x41;</a>", "<a v=\"&#\"></a>", "<a>&#65</a>",
        "<a x=\"1\" x=\"2\"/>",                 // a repeated attribute
        "<a><b x=\"1\" x=\"2\"/></a>",          // the parser keeps the root "a" here
        "<a><!-- open</a>", "<a><![CDATA[open</a>", "<?xml version=\"1.0\"<a/>", "<?xml version=\"?>\"?><a/>",
        "<?xmlfoo?><a/>", "<![CDATA[x]]><a/>", "< a/>", "<1a/>",
        std::string("<a>nul\0byte</a>", 15), "<a>\xFF</a>", "<a>\xC3</a>", "<a\xC0\xAF/>", "<a>\xED\xA0\x80</a>",
    };
    for (const std::string& strText : cases) {
        EXPECT_FALSE(LoadText(strText)) << strText;
        EXPECT_FALSE(LoadXmlDocument(strText)) << strText;
    }
}

TEST(XmlDocument, NestingIsBounded)
{
    tXmlStructure info;
    ASSERT_TRUE(CheckXmlStructure(Nested(MAX_CHUNK_DEPTH), MAX_CHUNK_DEPTH, &info));
    EXPECT_EQ(info.m_iMaxDepth, MAX_CHUNK_DEPTH);
    EXPECT_EQ(info.m_uiElements, static_cast<size_t>(MAX_CHUNK_DEPTH));
    EXPECT_TRUE(LoadText(Nested(MAX_CHUNK_DEPTH)));
    EXPECT_FALSE(LoadText(Nested(MAX_CHUNK_DEPTH + 1)));
    // Far deeper than any stack would take: refused before parsing.
    EXPECT_FALSE(LoadText(Nested(200000)));

    auto Attributes = [](int iCount) {
        std::string out = "<a";
        for (int i = 0; i < iCount; i++)
            out += " a" + std::to_string(i) + "=\"\"";
        return out + "/>";
    };
    EXPECT_TRUE(LoadText(Attributes(1024)));
    EXPECT_FALSE(LoadText(Attributes(1025)));
}

TEST(XmlDocument, TextEncodings)
{
    // UTF-16 little-endian with a mark, as some editors save it.
    std::string strUTF16 = "\xFF\xFE";
    for (char c : std::string("<a t=\"\xE9\"/>")) {
        strUTF16 += c;
        strUTF16 += '\0';
    }
    auto pLoaded = LoadText(strUTF16);
    ASSERT_TRUE(pLoaded);
    EXPECT_STREQ(pLoaded->Attribute("t"), "\xC3\xA9");
    // UTF-32 and big-endian texts are not read.
    EXPECT_FALSE(LoadText(std::string("\xFF\xFE\x00\x00<\x00\x00\x00", 8)));
    EXPECT_FALSE(LoadText(std::string("\xFE\xFF\x00<\x00/\x00>", 8)));
}

TEST(XmlDocument, SavedAsBinaryReadsBackTheSame)
{
    auto pLoaded = LoadText("<meta><info name=\"x\" author=\"y\">about</info><script src=\"a.js\" type=\"server\"/></meta>");
    ASSERT_TRUE(pLoaded);
    for (bool bCompress : {false, true}) {
        auto pStream = MakeStrong<CUnlimitedStream>();
        ASSERT_TRUE(pLoaded->Save(pStream, bCompress));
        pStream->Seek(0, SEEK_ORIGIN_BEGIN);
        auto pBack = CElementChunk::Load(pStream);
        ASSERT_TRUE(pBack);
        EXPECT_EQ(Outline(pBack.get()), Outline(pLoaded.get()));
    }
}
