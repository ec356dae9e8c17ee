#include "ServerConfiguration.h"

#include <Engine/Context.h>
#include <Engine/ElementChunk.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

using namespace Torvane3D;

CElementChunkConfig::CElementChunkConfig(const CElementChunk& element) : m_Element(element)
{
    // Documents nest at most a bounded depth, so building the whole view recursively is safe.
    size_t count = element.GetChildCount();
    m_Children.resize(count);
    for (size_t i = 0; i < count; ++i) {
        const CChunk* pChild = element.GetChild(i);
        if (pChild && pChild->GetType() == CHUNK_ELEMENT) {
            if (auto* pElement = dynamic_cast<const CElementChunk*>(pChild))
                m_Children[i] = std::make_unique<CElementChunkConfig>(*pElement);
        }
    }
}

CElementChunkConfig::~CElementChunkConfig() = default;

const char* CElementChunkConfig::GetName() const
{
    return m_Element.GetName().c_str();
}

const char* CElementChunkConfig::GetText() const
{
    return m_Element.GetText().c_str();
}

const char* CElementChunkConfig::GetAttribute(const char* szName) const
{
    return m_Element.Attribute(szName);
}

static const IConfigElement* FindChild(const IConfigElement& parent, size_t start, const char* szName,
    size_t* pIndex = nullptr)
{
    size_t count = parent.GetChildCount();
    for (size_t i = start; i < count; ++i) {
        const IConfigElement* pChild = parent.GetChild(i);
        if (pChild && strcasecmp(pChild->GetName(), szName) == 0) {
            if (pIndex)
                *pIndex = i;
            return pChild;
        }
    }
    return nullptr;
}

const IConfigElement* CServerConfiguration::FindElement(const char* szName) const
{
    return FindChild(m_Root, 0, szName);
}

const char* CServerConfiguration::GetValue(const char* szName) const
{
    const IConfigElement* pElement = FindElement(szName);
    if (!pElement)
        return nullptr;
    const char* szText = pElement->GetText();
    return (szText && szText[0]) ? szText : nullptr;
}

bool CServerConfiguration::ToBoolean(const char* szText, bool& bValue)
{
    if (!szText)
        return false;
    if (strcmp(szText, "true") == 0 || strcmp(szText, "1") == 0) {
        bValue = true;
        return true;
    }
    if (strcmp(szText, "false") == 0 || strcmp(szText, "0") == 0) {
        bValue = false;
        return true;
    }
    return false;
}

bool CServerConfiguration::GetBoolValue(const char* szName, bool bDefault) const
{
    bool bValue;
    return ToBoolean(GetValue(szName), bValue) ? bValue : bDefault;
}

bool CServerConfiguration::GetIntegerValue(const char* szName, long& lValue) const
{
    const char* szText = GetValue(szName);
    if (!szText)
        return false;
    lValue = strtol(szText, nullptr, 10);
    return true;
}

float CServerConfiguration::GetRealValue(const char* szName, float fDefault) const
{
    const char* szText = GetValue(szName);
    return szText ? strtof(szText, nullptr) : fDefault;
}

std::string CServerConfiguration::GetStringValue(const char* szName, const char* szDefault) const
{
    const char* szText = GetValue(szName);
    return szText ? szText : (szDefault ? szDefault : "");
}

uint16_t CServerConfiguration::GetUInt16Value(const char* szName, uint16_t usDefault, long* plFullValue) const
{
    long lValue;
    if (!GetIntegerValue(szName, lValue))
        lValue = usDefault;
    if (plFullValue)
        *plFullValue = lValue;
    uint16_t usValue = static_cast<uint16_t>(lValue);
    if (lValue != usValue)
        LogMessage(LOG_WARN, "The %s %ld does not fit in 16 bits and is used as %u!", szName, lValue, usValue);
    return usValue;
}

int32_t CServerConfiguration::GetInt32Value(const char* szName, int32_t iDefault) const
{
    long lValue;
    if (!GetIntegerValue(szName, lValue))
        return iDefault;
    int32_t iValue = static_cast<int32_t>(lValue);
    if (lValue != iValue)
        LogMessage(LOG_WARN, "The %s %ld does not fit in 32 bits and is used as %d!", szName, lValue, iValue);
    return iValue;
}

void CopyText64(char (&szOut)[64], const char* szText)
{
    snprintf(szOut, sizeof(szOut), "%s", szText ? szText : "");
}

void CServerConfiguration::GetText64(const char* szName, char (&szOut)[64], const char* szDefault) const
{
    const char* szText = GetValue(szName);
    CopyText64(szOut, szText ? szText : szDefault);
}

std::vector<const IConfigElement*> CServerConfiguration::GetList(const char* szContainer, const char* szEntry) const
{
    std::vector<const IConfigElement*> entries;
    const IConfigElement* pContainer = FindElement(szContainer);
    size_t first;
    if (!pContainer || !FindChild(*pContainer, 0, szEntry, &first))
        return entries;
    size_t count = pContainer->GetChildCount();
    for (size_t i = first; i < count; ++i) {
        if (const IConfigElement* pChild = pContainer->GetChild(i))
            entries.push_back(pChild);
    }
    return entries;
}

std::vector<const IConfigElement*> CServerConfiguration::GetAll(const char* szName) const
{
    std::vector<const IConfigElement*> elements;
    size_t index = 0;
    while (const IConfigElement* pChild = FindChild(m_Root, index, szName, &index)) {
        elements.push_back(pChild);
        ++index;
    }
    return elements;
}
