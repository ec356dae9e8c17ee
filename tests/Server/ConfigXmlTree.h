// A configuration element tree read from XML text with TinyXML, for tests of the lookup rules.
#pragma once

#include "ServerConfiguration.h"

#include <tinyxml.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace TestSupport
{
    class CXmlConfigElement : public IConfigElement
    {
    public:
        explicit CXmlConfigElement(const TiXmlElement& element) : m_strName(element.Value())
        {
            const TiXmlNode* pFirst = element.FirstChild();
            if (pFirst && pFirst->ToText())
                m_strText = pFirst->Value();
            for (const TiXmlAttribute* a = element.FirstAttribute(); a; a = a->Next())
                m_Attributes[a->Name()] = a->Value();
            for (const TiXmlElement* c = element.FirstChildElement(); c; c = c->NextSiblingElement())
                m_Children.push_back(std::make_unique<CXmlConfigElement>(*c));
        }

        const char* GetName() const override { return m_strName.c_str(); }
        const char* GetText() const override { return m_strText.c_str(); }
        const char* GetAttribute(const char* szName) const override
        {
            auto it = m_Attributes.find(szName);
            return it == m_Attributes.end() ? nullptr : it->second.c_str();
        }
        size_t GetChildCount() const override { return m_Children.size(); }
        const IConfigElement* GetChild(size_t index) const override { return m_Children[index].get(); }

    private:
        std::string m_strName;
        std::string m_strText;
        std::map<std::string, std::string> m_Attributes;
        std::vector<std::unique_ptr<CXmlConfigElement>> m_Children;
    };

    // The document's root element as a tree, or null when the text does not parse.
    inline std::unique_ptr<CXmlConfigElement> LoadConfigXml(const std::string& text)
    {
        TiXmlDocument document;
        document.Parse(text.c_str());
        const TiXmlElement* pRoot = document.Error() ? nullptr : document.RootElement();
        return pRoot ? std::make_unique<CXmlConfigElement>(*pRoot) : nullptr;
    }
}
