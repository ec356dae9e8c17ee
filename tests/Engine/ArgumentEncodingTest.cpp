#include "ArgumentTesting.h"

#include <Engine/NetObjectResolver.h>

#include <gtest/gtest.h>

#include <limits>
#include <map>

using namespace Torvane3D;
using namespace ArgumentTesting;

namespace
{
    Strong<CArgument> Own(CArgument* p)
    {
        return Strong<CArgument>::Adopt(p);
    }

    CMatrix4x4 Counting()
    {
        CMatrix4x4 mat;
        for (int i = 0; i < 16; ++i)
            mat.m[i] = static_cast<float>(i + 1);
        return mat;
    }

    std::string BigString()
    {
        std::string text(1 << 20, 'x');
        for (size_t i = 0; i < text.size(); i += 4099)
            text[i] = '\0';
        return text;
    }

    // A nest of `depth` containers, the innermost holding one integer.
    Strong<CArgument> Nest(int depth, bool bMaps)
    {
        Strong<CArgument> pInner = Own(new CArgumentInteger(7));
        for (int i = 0; i < depth; ++i) {
            if (bMaps) {
                auto* pMap = new CArgumentMap();
                pMap->Set("k", pInner.Detach());
                pInner = Own(pMap);
            } else {
                auto* pArray = new CArgumentArray();
                pArray->Push(pInner.Detach());
                pInner = Own(pArray);
            }
        }
        return pInner;
    }

    struct CElement : CBaseObject
    {
    };

    // Elements by id; an element taken out of the table no longer exists.
    struct CResolver : INetObjectResolver
    {
        CBaseObject* FindNetObject(int32_t iId) override
        {
            auto it = m_Elements.find(iId);
            return it == m_Elements.end() ? nullptr : it->second.Get();
        }
        bool GetNetObjectId(CBaseObject* pElement, int32_t& iId) override
        {
            for (auto& [id, p] : m_Elements) {
                if (p.Get() == pElement) {
                    iId = id;
                    return true;
                }
            }
            return false;
        }
        std::map<int32_t, Strong<CBaseObject>> m_Elements;
    };

    struct CTestEngineValue : CArgumentSqRef
    {
        CArgument* Clone() const override { return new CTestEngineValue(); }
    };
    struct CTestLuaRef : CArgumentLuaRef
    {
        CArgument* Clone() const override { return new CTestLuaRef(); }
    };
    struct CTestJSValue : CArgumentJSValue
    {
        CArgument* Clone() const override { return new CTestJSValue(); }
    };

    // One array holding a value of every readable code, nested containers included.
    Strong<CArgumentArray> EveryReadableValue()
    {
        auto pArray = MakeStrong<CArgumentArray>();
        pArray->AddNull();
        pArray->AddUndefined();
        pArray->AddBoolean(true);
        pArray->AddBoolean(false);
        pArray->AddString("");
        pArray->AddString("abc");
        std::string big = BigString();
        pArray->AddString(big.data(), big.size());
        pArray->AddString("a\0b", 3);
        pArray->AddNumber(std::numeric_limits<int32_t>::min());
        pArray->AddNumber(std::numeric_limits<int32_t>::max());
        pArray->AddNumber(std::numeric_limits<int64_t>::min());
        pArray->AddNumber(std::numeric_limits<int64_t>::max());
        pArray->AddNumber(-0.0f);
        pArray->AddNumber(std::numeric_limits<float>::infinity());
        pArray->AddNumber(std::numeric_limits<double>::denorm_min());
        pArray->AddNumber(-1.5e300);
        pArray->AddVector2D({1.5f, -2.5f});
        pArray->AddVector3D({1.0f, 2.0f, 3.0f});
        pArray->AddMatrix4x4(Counting());
        pArray->AddBytes("", 0);
        pArray->AddBytes("\0\1\2\0", 4);
        pArray->AddFunction(nullptr);
        pArray->Push(new CArgumentNetObject(nullptr, -1));
        pArray->Push(new CArgumentNetObject(nullptr, 42));
        pArray->Push(new CArgumentArray());
        pArray->Push(new CArgumentMap());
        auto* pMap = new CArgumentMap();
        pMap->Set("", new CArgumentInteger(1));
        pMap->Set(std::string_view("k\0ey", 4), new CArgumentString("v"));
        pMap->Set("list", Nest(5, false).Detach());
        pMap->Set("deep", Nest(5, true).Detach());
        pArray->Push(pMap);
        pArray->Push(Nest(30, false).Detach()); // 32 levels with the outer array and itself
        return pArray;
    }
}

TEST(ArgumentEncoding, EveryReadableCodeRoundTrips)
{
    Strong<CArgumentArray> pOriginal = EveryReadableValue();
    size_t size = 0;
    ASSERT_TRUE(pOriginal->GetSize(size));
    Bytes bytes;
    ASSERT_TRUE(Payload(pOriginal, bytes));
    EXPECT_EQ(bytes.size(), size);

    bool bRead = false;
    Strong<CArgumentArray> pCopy = Decode<CArgumentArray>(bytes, bRead);
    ASSERT_TRUE(bRead);
    ASSERT_EQ(pCopy->GetCount(), pOriginal->GetCount());
    for (size_t i = 0; i < pOriginal->GetCount(); ++i)
        EXPECT_TRUE(SameValue(pOriginal->Get(i), pCopy->Get(i))) << "element " << i;

    size_t length = 0;
    const char* szBig = pCopy->Get(6)->ToString(&length);
    EXPECT_EQ(std::string(szBig, length), BigString());
    EXPECT_EQ(szBig[length], '\0');

    // The clone is deep and equal too.
    Strong<CArgument> pClone = Own(pOriginal->Clone());
    EXPECT_TRUE(SameValue(pClone, pOriginal));
}

TEST(ArgumentEncoding, ExactBytes)
{
    struct Case
    {
        const char* szName;
        Strong<CArgument> pValue;
        Bytes payload;
    };
    auto pStringArray = MakeStrong<CArgumentArray>();
    pStringArray->AddString("abc");
    auto pMixed = MakeStrong<CArgumentArray>();
    pMixed->AddBoolean(true);
    pMixed->AddNumber(int32_t(-2));
    pMixed->AddNull();
    auto pOneEntry = MakeStrong<CArgumentMap>();
    pOneEntry->Set("id", new CArgumentInteger(258));
    Bytes matrix;
    for (int i = 0; i < 16; ++i) {
        float f = static_cast<float>(i + 1);
        auto* p = reinterpret_cast<unsigned char*>(&f);
        matrix.insert(matrix.end(), p, p + 4);
    }
    const Case cases[] = {
        {"empty array", Own(new CArgumentArray()), {0x00}},
        {"empty map", Own(new CArgumentMap()), {0x00}},
        {"string abc", Own(new CArgumentString("abc")), {0x03, 'a', 'b', 'c'}},
        {"array of abc", pStringArray, {0x01, 0x02, 0x03, 'a', 'b', 'c'}},
        {"mixed array", pMixed, {0x03, 0x01, 0x01, 0x04, 0xFE, 0xFF, 0xFF, 0xFF, 0x00}},
        {"map entry", pOneEntry, {0x01, 0x04, 0x02, 'i', 'd', 0x02, 0x01, 0x00, 0x00}},
        {"empty string", Own(new CArgumentString("")), {0x00}},
        {"float 1", Own(new CArgumentFloat(1.0f)), {0x00, 0x00, 0x80, 0x3F}},
        {"double -2", Own(new CArgumentDouble(-2.0)), {0, 0, 0, 0, 0, 0, 0x00, 0xC0}},
        {"long -1", Own(new CArgumentLongInteger(-1)), Bytes(8, 0xFF)},
        {"vector2", Own(new CArgumentVector2D({1.0f, 1.0f})), {0, 0, 0x80, 0x3F, 0, 0, 0x80, 0x3F}},
        {"matrix", Own(new CArgumentMatrix4x4(Counting())), matrix},
        {"element", Own(new CArgumentNetObject(nullptr, 0x01020304)), {0x04, 0x03, 0x02, 0x01}},
        {"function", Own(new CArgumentFunction()), {}},
        {"bytes", Own(new CArgumentBytes("\0\xFF", 2)), {0x02, 0x00, 0xFF}},
    };
    for (const Case& c : cases) {
        Bytes bytes;
        EXPECT_TRUE(Payload(c.pValue, bytes)) << c.szName;
        EXPECT_EQ(bytes, c.payload) << c.szName;
        size_t size = 99;
        EXPECT_TRUE(c.pValue->GetSize(size)) << c.szName;
        EXPECT_EQ(size, c.payload.size()) << c.szName;
    }

    // Compact lengths: 200 is C8 01; 2^28 takes five bytes.
    Bytes bytes;
    ASSERT_TRUE(Payload(Own(new CArgumentString(std::string(200, 'z'))), bytes));
    EXPECT_EQ(bytes[0], 0xC8);
    EXPECT_EQ(bytes[1], 0x01);
    EXPECT_EQ(bytes.size(), 202u);
}

TEST(ArgumentEncoding, MalformedInputFails)
{
    struct Case
    {
        const char* szName;
        Bytes bytes;
    };
    const Case cases[] = {
        {"fifth length byte continued", {0x01, 0x02, 0x80, 0x80, 0x80, 0x80, 0x80, 0x00}},
        {"fifth length byte above 0x0F", {0x01, 0x02, 0x81, 0x80, 0x80, 0x80, 0x10}},
        {"stream ends inside a length", {0x01, 0x02, 0x80, 0x80}},
        {"length beyond the bytes left", {0x01, 0x02, 0x05, 'a', 'b'}},
        {"huge string length, few bytes", {0x01, 0x02, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 'a'}},
        {"huge byte string length", {0x01, 0x15, 0xFF, 0xFF, 0xFF, 0xFF, 0x07}},
        {"byte string ends early", {0x01, 0x15, 0x03, 0x01, 0x02}},
        {"array count beyond the bytes left", {0xFF, 0x00, 0x00}},
        {"nested array count beyond the bytes left", {0x01, 0x11, 0xC8, 0x00}},
        {"map count beyond the bytes left", {0x01, 0x12, 0xFF, 0xFF, 0xFF, 0xFF, 0x0F, 0x00, 0x00}},
        {"map key beyond the bytes left", {0x01, 0x12, 0x01, 0x00, 0xFF, 0xFF, 0x03, 'k'}},
        {"map count broken", {0x01, 0x12, 0x80}},
        {"short matrix", Concat({{0x01, 0x0B}, Bytes(63, 0)})},
        {"short integer", {0x01, 0x04, 0x01, 0x02, 0x03}},
        {"short long integer", {0x01, 0x0F, 1, 2, 3, 4, 5, 6, 7}},
        {"missing element", {0x02, 0x00}},
    };
    for (const Case& c : cases) {
        bool bRead = true;
        Decode<CArgumentArray>(c.bytes, bRead);
        EXPECT_FALSE(bRead) << c.szName;
    }

    // A five-byte length whose last byte is 0x0F or less is still a length.
    bool bRead = false;
    Strong<CArgumentArray> pArray = Decode<CArgumentArray>({0x01, 0x02, 0x80, 0x80, 0x80, 0x80, 0x00}, bRead);
    ASSERT_TRUE(bRead);
    EXPECT_EQ(std::string(pArray->Get(0)->ToString()), "");
}

TEST(ArgumentEncoding, EmptyStreamsReadAsEmptyContainers)
{
    bool bRead = false;
    EXPECT_EQ(Decode<CArgumentArray>({}, bRead)->GetCount(), 0u);
    EXPECT_TRUE(bRead);
    bRead = false;
    EXPECT_EQ(Decode<CArgumentMap>({}, bRead)->GetCount(), 0u);
    EXPECT_TRUE(bRead);
}

TEST(ArgumentEncoding, NestingIsBoundedAt32Levels)
{
    for (bool bMaps : {false, true}) {
        // 32 containers read, write, size and clone; the 33rd level is refused everywhere.
        Strong<CArgument> pOk = Nest(32, bMaps);
        Bytes bytes;
        ASSERT_TRUE(Payload(pOk, bytes)) << bMaps;
        size_t size;
        EXPECT_TRUE(pOk->GetSize(size));
        EXPECT_NE(Own(pOk->Clone()).Get(), nullptr);
        bool bRead = false;
        if (bMaps)
            Decode<CArgumentMap>(bytes, bRead);
        else
            Decode<CArgumentArray>(bytes, bRead);
        EXPECT_TRUE(bRead);

        Strong<CArgument> pDeep = Nest(33, bMaps);
        EXPECT_FALSE(Payload(pDeep, bytes));
        EXPECT_FALSE(pDeep->GetSize(size));
        EXPECT_EQ(Own(pDeep->Clone()).Get(), nullptr);
    }

    // Hand-made input 10000 arrays deep fails cleanly without recursing that far.
    Bytes deep;
    for (int i = 0; i < 10000; ++i) {
        deep.push_back(0x01);
        deep.push_back(0x11);
    }
    CLogCapture log;
    bool bRead = true;
    Decode<CArgumentArray>(deep, bRead);
    EXPECT_FALSE(bRead);
    EXPECT_LE(log.m_Lines.size(), 33u);
}

TEST(ArgumentEncoding, SelfContainingContainersFailInsteadOfRecursing)
{
    auto pArray = MakeStrong<CArgumentArray>();
    pArray->AddNumber(1);
    pArray->AddString("x");
    pArray->Push(pArray.Get());
    pArray->AddRef(); // the array now holds itself
    Bytes bytes;
    size_t size;
    EXPECT_FALSE(Payload(pArray, bytes));
    EXPECT_FALSE(pArray->GetSize(size));
    EXPECT_EQ(pArray->Clone(), nullptr);
    pArray->Clear();
}

TEST(ArgumentEncoding, UnreadableCodesInAnArrayWarnAndKeepEarlierElements)
{
    for (unsigned code : {3u, 7u, 10u, 13u, 14u, 20u, 22u, 200u, 255u}) {
        CLogCapture log;
        bool bRead = true;
        Strong<CArgumentArray> pArray =
            Decode<CArgumentArray>({0x03, 0x04, 0x05, 0x00, 0x00, 0x00, static_cast<unsigned char>(code), 0x00}, bRead);
        EXPECT_FALSE(bRead);
        ASSERT_EQ(pArray->GetCount(), 1u) << code;
        int32_t value = 0;
        pArray->Get(0)->ToNumber(value);
        EXPECT_EQ(value, 5);
        ASSERT_EQ(log.m_Lines.size(), 1u);
        std::string expected = std::string("CArgument::Create(") + GetArgumentTypeSymbol(code) + ") - Failed. (Argument 2 of 3)";
        EXPECT_EQ(log.m_Lines[0], expected);
    }
    EXPECT_STREQ(GetArgumentTypeSymbol(13), "ARGUMENT_LUAREF");
    EXPECT_STREQ(GetArgumentTypeSymbol(22), "ARGUMENT_UNKNOWN");
}

TEST(ArgumentEncoding, WarningTexts)
{
    {
        CLogCapture log;
        bool bRead = true;
        Decode<CArgumentArray>({0x02, 0x00, 0x04, 0x01, 0x02}, bRead);
        EXPECT_FALSE(bRead);
        ASSERT_EQ(log.m_Lines.size(), 1u);
        EXPECT_EQ(log.m_Lines[0], "CArgument::Create(ARGUMENT_INTEGER)->Read(pStream) - Failed. (Argument 2 of 2)");
    }
    {
        CLogCapture log;
        bool bRead = true;
        Decode<CArgumentMap>({0x01, 0x03, 0x01, 'k'}, bRead);
        EXPECT_FALSE(bRead);
        ASSERT_EQ(log.m_Lines.size(), 1u);
        EXPECT_EQ(log.m_Lines[0], "CArgument::Create(ARGUMENT_TABLE) - Failed");
    }
}

TEST(ArgumentEncoding, RepeatedMapKeyKeepsTheLastValue)
{
    bool bRead = false;
    Strong<CArgumentMap> pMap =
        Decode<CArgumentMap>({0x02, 0x01, 0x01, 'a', 0x00, 0x01, 0x01, 'a', 0x01}, bRead);
    ASSERT_TRUE(bRead);
    ASSERT_EQ(pMap->GetCount(), 1u);
    EXPECT_TRUE(pMap->Get("a")->ToBoolean());
}

TEST(ArgumentEncoding, ValuesWithoutAnEncodingRefuseToWrite)
{
    struct Case
    {
        const char* szName;
        Strong<CArgument> pValue;
    };
    auto pObject = MakeStrong<CBaseObject>();
    const Case cases[] = {
        {"object", Own(new CArgumentObject(pObject))},
        {"empty object", Own(new CArgumentObject())},
        {"lua reference", Own(new CTestLuaRef())},
        {"javascript value", Own(new CTestJSValue())},
        {"squirrel reference", Own(new CTestEngineValue())},
    };
    for (const Case& c : cases) {
        Bytes bytes;
        size_t size;
        EXPECT_FALSE(Payload(c.pValue, bytes)) << c.szName;
        EXPECT_TRUE(bytes.empty()) << c.szName;
        EXPECT_FALSE(c.pValue->GetSize(size)) << c.szName;

        // Inside containers the whole write fails too.
        auto pArray = MakeStrong<CArgumentArray>();
        pArray->AddNumber(1);
        pArray->Add(c.pValue);
        EXPECT_FALSE(Payload(pArray, bytes)) << c.szName;
        EXPECT_FALSE(pArray->GetSize(size)) << c.szName;
        auto pMap = MakeStrong<CArgumentMap>();
        pMap->Set("v", c.pValue->Clone());
        EXPECT_FALSE(Payload(pMap, bytes)) << c.szName;
        EXPECT_FALSE(pMap->GetSize(size)) << c.szName;
    }
    EXPECT_EQ(Own(new CTestLuaRef())->GetType(), ARGUMENT_LUAREF);
    EXPECT_EQ(Own(new CTestJSValue())->GetType(), ARGUMENT_JSVALUE);
    EXPECT_EQ(Own(new CTestEngineValue())->GetType(), ARGUMENT_SQREF);
}

TEST(ArgumentEncoding, ArraysBeyond255ElementsRefuseToWrite)
{
    auto pArray = MakeStrong<CArgumentArray>();
    for (int i = 0; i < 255; ++i)
        pArray->AddBoolean(true);
    Bytes bytes;
    size_t size;
    ASSERT_TRUE(Payload(pArray, bytes));
    EXPECT_EQ(bytes[0], 0xFF);
    pArray->AddBoolean(true);
    EXPECT_FALSE(Payload(pArray, bytes));
    EXPECT_FALSE(pArray->GetSize(size));
}

TEST(ArgumentEncoding, FunctionValuesReadBackEmpty)
{
    struct CNoop : CFunction
    {
        bool Call(const CArgumentArray*, CReturnValue*) override { return true; }
    };
    auto pArray = MakeStrong<CArgumentArray>();
    pArray->AddFunction(MakeStrong<CNoop>());
    Bytes bytes;
    ASSERT_TRUE(Payload(pArray, bytes));
    EXPECT_EQ(bytes, (Bytes{0x01, 0x13}));
    bool bRead = false;
    Strong<CArgumentArray> pCopy = Decode<CArgumentArray>(bytes, bRead);
    ASSERT_TRUE(bRead);
    ASSERT_TRUE(pCopy->Get(0)->IsFunction());
    EXPECT_EQ(pCopy->Get(0)->ToFunction(), nullptr);
}

TEST(ArgumentEncoding, ElementReferencesResolveThroughTheManager)
{
    CResolver resolver;
    auto pElement = MakeStrong<CElement>();
    resolver.m_Elements[5] = pElement.Get();

    // Read: a known id gives the element, an unknown or negative one none, and both succeed.
    bool bRead = false;
    Strong<CArgumentArray> pArray = Decode<CArgumentArray>(
        {0x03, 0x06, 0x05, 0x00, 0x00, 0x00, 0x06, 0x09, 0x00, 0x00, 0x00, 0x06, 0xFF, 0xFF, 0xFF, 0xFF}, bRead,
        &resolver);
    ASSERT_TRUE(bRead);
    EXPECT_EQ(pArray->Get(0)->ToObject(), pElement.Get());
    EXPECT_EQ(pArray->Get(1)->ToObject(), nullptr);
    EXPECT_EQ(pArray->Get(2)->ToObject(), nullptr);
    EXPECT_EQ(static_cast<CArgumentNetObject*>(pArray->Get(2))->GetId(), -1);

    // Nested values read inside a map get the link too.
    Strong<CArgumentMap> pMap = Decode<CArgumentMap>({0x01, 0x11, 0x01, 'e', 0x01, 0x06, 0x05, 0, 0, 0}, bRead, &resolver);
    ASSERT_TRUE(bRead);
    EXPECT_EQ(static_cast<CArgumentArray*>(pMap->Get("e"))->Get(0)->ToObject(), pElement.Get());

    // Write: the current id while the element exists, the last known id once it is gone.
    Strong<CArgument> pReference = Own(new CArgumentNetObject(pElement, 5, &resolver));
    resolver.m_Elements.clear();
    resolver.m_Elements[8] = pElement.Get();
    Bytes bytes;
    ASSERT_TRUE(Payload(pReference, bytes));
    EXPECT_EQ(bytes, (Bytes{0x08, 0, 0, 0}));
    resolver.m_Elements.clear();
    ASSERT_TRUE(Payload(pReference, bytes));
    EXPECT_EQ(bytes, (Bytes{0x05, 0, 0, 0}));
    EXPECT_EQ(pReference->ToObject(), nullptr); // gone from the manager
}
