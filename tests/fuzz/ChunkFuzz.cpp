// Loads arbitrary bytes as an element document (the binary form, else XML text). Whatever
// loads must save and load back to the same tree. For XML text the structural check that
// guards the parser must agree with the parser on every document both accept.
#include <Engine/Arguments.h>
#include <Engine/Context.h>
#include <Engine/ElementChunk.h>
#include <Engine/XmlStructure.h>

#include <tinyxml.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace Torvane3D;

namespace
{
    void Check(bool bCondition)
    {
        if (!bCondition)
            __builtin_trap();
    }

    std::string Outline(const CChunk* pChunk)
    {
        std::string out = std::to_string(pChunk->GetType()) + ":" + pChunk->GetName();
        if (auto* pElement = dynamic_cast<const CElementChunk*>(pChunk)) {
            out += "[" + pElement->GetText() + "]";
            std::vector<std::string> attributes;
            for (const auto& [strKey, pValue] : pElement->GetAttributes()->GetEntries()) {
                size_t size = 0;
                Check(pValue->GetSize(size));
                attributes.push_back(strKey + "=" + std::to_string(pValue->GetType()) + "/" + std::to_string(size));
            }
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
            Check(pChunk->GetChild(i)->GetParent() == pChunk && pChunk->GetChild(i)->GetIndex() == i);
            out += Outline(pChunk->GetChild(i)) + ",";
        }
        return out + ")";
    }

    // Counts elements and their depth the way the parser built them, without recursion.
    void MeasureParsed(const TiXmlDocument& document, size_t& uiElements, int& iMaxDepth)
    {
        std::vector<std::pair<const TiXmlElement*, int>> pending;
        for (const TiXmlElement* p = document.FirstChildElement(); p; p = p->NextSiblingElement())
            pending.emplace_back(p, 1);
        while (!pending.empty()) {
            auto [pElement, iDepth] = pending.back();
            pending.pop_back();
            uiElements++;
            iMaxDepth = std::max(iMaxDepth, iDepth);
            for (const TiXmlElement* p = pElement->FirstChildElement(); p; p = p->NextSiblingElement())
                pending.emplace_back(p, iDepth + 1);
        }
    }

    void CheckXmlAgreement(std::string_view text)
    {
        tXmlStructure info;
        if (!CheckXmlStructure(text, MAX_CHUNK_DEPTH, &info))
            return;
        std::string strText(text);
        TiXmlDocument document;
        document.Parse(strText.c_str(), nullptr, TIXML_ENCODING_UTF8);
        if (document.Error())
            return;
        size_t uiElements = 0;
        int iMaxDepth = 0;
        MeasureParsed(document, uiElements, iMaxDepth);
        Check(uiElements == info.m_uiElements);
        Check(iMaxDepth == info.m_iMaxDepth);
    }
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    SetConsoleLogging(false); // the value decoder's warnings
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t size)
{
    std::string_view bytes(reinterpret_cast<const char*>(pData), size);
    if (!bytes.starts_with("HBF"))
        CheckXmlAgreement(bytes);

    std::unique_ptr<CElementChunk> pLoaded = CElementChunk::Load(MakeStrong<CMemoryStream>(pData, size));
    if (!pLoaded)
        return 0;
    std::string strOutline = Outline(pLoaded.get());
    for (bool bCompress : {false, true}) {
        auto pSaved = MakeStrong<CUnlimitedStream>();
        Check(pLoaded->Save(pSaved, bCompress));
        Check(pSaved->Seek(0, SEEK_ORIGIN_BEGIN));
        std::unique_ptr<CElementChunk> pAgain = CElementChunk::Load(pSaved);
        Check(pAgain != nullptr);
        Check(Outline(pAgain.get()) == strOutline);
    }
    return 0;
}
