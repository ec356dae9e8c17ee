// Read access to a loaded server.xml: the lookup rules every configuration key follows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Torvane3D
{
    class CElementChunk;
}

// One element of a loaded document as configuration reading sees it.
class IConfigElement
{
public:
    virtual ~IConfigElement() = default;
    virtual const char* GetName() const = 0;
    // The element's text; empty when it has none.
    virtual const char* GetText() const = 0;
    // The text of the attribute (exact name), or null when it is absent or not text.
    virtual const char* GetAttribute(const char* szName) const = 0;
    virtual size_t GetChildCount() const = 0;
    // The child at the index, or null when that child is not an element.
    virtual const IConfigElement* GetChild(size_t index) const = 0;
};

// A loaded element document seen through IConfigElement. The chunk tree must outlive it.
class CElementChunkConfig : public IConfigElement
{
public:
    explicit CElementChunkConfig(const Torvane3D::CElementChunk& element);
    ~CElementChunkConfig() override;

    const char* GetName() const override;
    const char* GetText() const override;
    const char* GetAttribute(const char* szName) const override;
    size_t GetChildCount() const override { return m_Children.size(); }
    const IConfigElement* GetChild(size_t index) const override { return m_Children[index].get(); }

private:
    const Torvane3D::CElementChunk& m_Element;
    std::vector<std::unique_ptr<CElementChunkConfig>> m_Children; // null for other chunks
};

// The rules:
// - a setting is the first direct child of the root whose name matches ignoring case; later
//   duplicates are ignored; an element without text counts as absent;
// - integers are read like base-10 strtol (leading blanks and a sign, trailing text ignored,
//   no digits gives 0), reals like strtof;
// - booleans are exactly "true"/"1" or "false"/"0"; any other text gives the default;
// - a list starts at the first child of its container whose name matches, and every element
//   sibling after it is a further entry whatever its name.
class CServerConfiguration
{
public:
    explicit CServerConfiguration(const IConfigElement& root) : m_Root(root) {}

    const IConfigElement& GetRoot() const { return m_Root; }

    // The first direct child of the root with that name, text or not; null when none.
    const IConfigElement* FindElement(const char* szName) const;
    // The text of the setting, or null when it is absent or empty.
    const char* GetValue(const char* szName) const;

    bool GetBoolValue(const char* szName, bool bDefault) const;
    // False (and lValue untouched) when the setting is absent.
    bool GetIntegerValue(const char* szName, long& lValue) const;
    float GetRealValue(const char* szName, float fDefault) const;
    std::string GetStringValue(const char* szName, const char* szDefault) const;

    // Numbers stored in a narrower field keep its low bits, as peers expect, but never
    // silently: a value that does not fit logs a warning naming the key and both values.
    uint16_t GetUInt16Value(const char* szName, uint16_t usDefault, long* plFullValue = nullptr) const;
    int32_t GetInt32Value(const char* szName, int32_t iDefault) const;
    // Text copied into a fixed 64-byte field, cut to 63 bytes.
    void GetText64(const char* szName, char (&szOut)[64], const char* szDefault) const;

    // Entries of a list container: from its first child named szEntry to its last element.
    std::vector<const IConfigElement*> GetList(const char* szContainer, const char* szEntry) const;
    // Every direct child of the root with that name, in document order.
    std::vector<const IConfigElement*> GetAll(const char* szName) const;

    // The boolean rule on its own; false when the text is none of the four words.
    static bool ToBoolean(const char* szText, bool& bValue);

private:
    const IConfigElement& m_Root;
};

// Copies text into a fixed 64-byte field, cut to 63 bytes.
void CopyText64(char (&szOut)[64], const char* szText);
