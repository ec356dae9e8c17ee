#include "ArgumentTesting.h"

#include <Engine/Reflection.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace Torvane3D;
using namespace ArgumentTesting;

namespace
{
    Strong<CArgument> Own(CArgument* p)
    {
        return Strong<CArgument>::Adopt(p);
    }

    struct CProbe : CBaseObject
    {
        explicit CProbe(int* pDestroyed = nullptr) : m_pDestroyed(pDestroyed) {}
        ~CProbe() override
        {
            if (m_pDestroyed)
                ++*m_pDestroyed;
        }
        int* m_pDestroyed;
    };

    struct CDeleteProbe : CBase
    {
        explicit CDeleteProbe(int* pDeleted) : m_pDeleted(pDeleted) {}
        ~CDeleteProbe() override { ++*m_pDeleted; }
        int* m_pDeleted;
    };

    // A value whose engine cannot copy it.
    struct CUncopyable : CArgumentSqRef
    {
        CArgument* Clone() const override { return nullptr; }
    };

    template <class T>
    T Convert(const CArgument* p, T start = T{})
    {
        T value = start;
        p->ToNumber(value);
        return value;
    }
}

TEST(Arguments, FactoryMakesTheClassOfEachReadableCode)
{
    const unsigned readable[] = {0, 1, 2, 4, 5, 6, 8, 9, 11, 12, 15, 16, 17, 18, 19, 21};
    for (unsigned code = 0; code < 256; ++code) {
        Strong<CArgument> p = Own(CArgument::Create(code));
        bool bReadable = std::find(std::begin(readable), std::end(readable), code) != std::end(readable);
        EXPECT_EQ(p.Get() != nullptr, bReadable) << code;
        if (p) {
            EXPECT_EQ(p->GetType(), code);
            EXPECT_EQ(p->GetRefCount(), 1);
        }
    }
    // Zero-valued.
    EXPECT_STREQ(Own(CArgument::Create(2))->ToString(), "");
    EXPECT_EQ(Convert<int64_t>(Own(CArgument::Create(15)), 9), 0);
    EXPECT_EQ(Own(CArgument::Create(6))->ToObject(), nullptr);
    EXPECT_EQ(static_cast<CArgumentArray*>(Own(CArgument::Create(17)).Get())->GetCount(), 0u);
}

TEST(Arguments, TypeNames)
{
    EXPECT_STREQ(g_rgpszArgumentTypes[ARGUMENT_VECTOR3D], "ARGUMENT_VECTOR3D");
    EXPECT_STREQ(GetArgumentTypeName(ARGUMENT_NIL), "null");
    EXPECT_STREQ(GetArgumentTypeName(ARGUMENT_FLOAT), "number");
    EXPECT_STREQ(GetArgumentTypeName(ARGUMENT_DOUBLE), "number");
    EXPECT_STREQ(GetArgumentTypeName(ARGUMENT_LONGINTEGER), "integer");
    EXPECT_STREQ(GetArgumentTypeName(ARGUMENT_OBJECT), "instance");
    EXPECT_STREQ(GetArgumentTypeName(ARGUMENT_NETOBJECT), "element");
    EXPECT_STREQ(GetArgumentTypeName(ARGUMENT_BYTES), "bytes");
    EXPECT_STREQ(GetArgumentTypeName(22), "unknown");
}

TEST(Arguments, NumberConversions)
{
    constexpr double TWO_63 = 9223372036854775808.0;
    struct Case
    {
        const char* szName;
        Strong<CArgument> pValue;
        int32_t i32;
        uint32_t u32;
        int64_t i64;
        uint64_t u64;
        double d;
    };
    const Case cases[] = {
        {"int -1", Own(new CArgumentInteger(-1)), -1, 0xFFFFFFFFu, -1, UINT64_MAX, -1.0},
        {"int min", Own(new CArgumentInteger(INT32_MIN)), INT32_MIN, 0x80000000u, INT32_MIN,
            static_cast<uint64_t>(int64_t(INT32_MIN)), -2147483648.0},
        {"long max", Own(new CArgumentLongInteger(INT64_MAX)), -1, 0xFFFFFFFFu, INT64_MAX, uint64_t(INT64_MAX), TWO_63},
        {"double 2.9", Own(new CArgumentDouble(2.9)), 2, 2, 2, 2, 2.9},
        {"double -2.9", Own(new CArgumentDouble(-2.9)), -2, 0xFFFFFFFEu, -2, UINT64_MAX - 1, -2.9},
        {"float 7.5", Own(new CArgumentFloat(7.5f)), 7, 7, 7, 7, 7.5},
        {"double 2^63", Own(new CArgumentDouble(TWO_63)), INT32_MAX, 0xFFFFFFFFu, INT64_MAX, uint64_t(1) << 63, TWO_63},
        {"double 1.5 * 2^63", Own(new CArgumentDouble(TWO_63 * 1.5)), INT32_MAX, 0xFFFFFFFFu, INT64_MAX,
            (uint64_t(1) << 63) + (uint64_t(1) << 62), TWO_63 * 1.5},
        {"double 1e30", Own(new CArgumentDouble(1e30)), INT32_MAX, 0xFFFFFFFFu, INT64_MAX, UINT64_MAX, 1e30},
        {"double -1e30", Own(new CArgumentDouble(-1e30)), INT32_MIN, 0, INT64_MIN, uint64_t(1) << 63, -1e30},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Convert<int32_t>(c.pValue), c.i32) << c.szName;
        EXPECT_EQ(Convert<uint32_t>(c.pValue), c.u32) << c.szName;
        EXPECT_EQ(Convert<int64_t>(c.pValue), c.i64) << c.szName;
        EXPECT_EQ(Convert<uint64_t>(c.pValue), c.u64) << c.szName;
        EXPECT_DOUBLE_EQ(Convert<double>(c.pValue), c.d) << c.szName;
        EXPECT_FLOAT_EQ(Convert<float>(c.pValue), static_cast<float>(c.d)) << c.szName;
    }
    Strong<CArgument> pNaN = Own(new CArgumentFloat(std::numeric_limits<float>::quiet_NaN()));
    EXPECT_EQ(Convert<int32_t>(pNaN, 5), 0);
    EXPECT_EQ(Convert<uint64_t>(pNaN, 5), 0u);
    EXPECT_TRUE(std::isnan(Convert<double>(pNaN)));
}

TEST(Arguments, AccessorsOnTheWrongCodeLeaveTheOutputAlone)
{
    CLogCapture errors(LOG_ERROR);
    Strong<CArgument> pString = Own(new CArgumentString("12"));
    Strong<CArgument> pNumber = Own(new CArgumentInteger(12));
    EXPECT_EQ(Convert<int32_t>(pString, 77), 77);
    CVector3D vec(1, 2, 3);
    pNumber->ToVector3D(vec);
    EXPECT_EQ(vec, CVector3D(1, 2, 3));
    size_t length = 5;
    EXPECT_EQ(pNumber->ToString(&length), nullptr);
    EXPECT_EQ(length, 5u);
    EXPECT_FALSE(pNumber->ToBoolean());
    EXPECT_EQ(pNumber->ToFunction(), nullptr);
    EXPECT_EQ(pNumber->ToObject(), nullptr);
    EXPECT_EQ(errors.m_Lines.size(), 6u); // each misuse is reported
}

TEST(Arguments, ObjectsByReflectedClass)
{
    ReflectedClass base("Base", nullptr);
    ReflectedClass derived("Derived", &base);
    ReflectedClass other("Other", nullptr);
    auto pObject = MakeStrong<CProbe>();
    pObject->SetReflectedClass(&derived);

    Strong<CArgument> pValue = Own(pObject->CreateArgument());
    EXPECT_EQ(pValue->GetType(), ARGUMENT_OBJECT);
    EXPECT_EQ(pValue->ToObject(), pObject.Get());
    EXPECT_EQ(pValue->ToObject(&derived), pObject.Get());
    EXPECT_EQ(pValue->ToObject(&base), pObject.Get());
    EXPECT_EQ(pValue->ToObject(&other), nullptr);
    pObject->SetReflectedClass(nullptr);
    EXPECT_EQ(pValue->ToObject(&base), nullptr);
}

TEST(Arguments, ClonesAreDeepForDataAndSharedForObjects)
{
    int destroyed = 0;
    auto pObject = Strong<CProbe>::Adopt(new CProbe(&destroyed));
    auto pArray = MakeStrong<CArgumentArray>();
    pArray->AddString("text");
    pArray->AddObject(pObject);
    EXPECT_EQ(pObject->GetRefCount(), 2);

    Strong<CArgument> pCopy = Own(pArray->Clone());
    auto* pCopyArray = static_cast<CArgumentArray*>(pCopy.Get());
    EXPECT_NE(pCopyArray->Get(0), pArray->Get(0));
    static_cast<CArgumentString*>(pArray->Get(0))->SetString("changed", 7);
    EXPECT_STREQ(pCopyArray->Get(0)->ToString(), "text");
    EXPECT_EQ(pCopyArray->Get(1)->ToObject(), pObject.Get());
    EXPECT_EQ(pObject->GetRefCount(), 3);

    pArray = nullptr;
    pCopy = nullptr;
    EXPECT_EQ(pObject->GetRefCount(), 1);
    pObject = nullptr;
    EXPECT_EQ(destroyed, 1);
}

TEST(Arguments, ArrayAddOperations)
{
    auto pArray = MakeStrong<CArgumentArray>(4);
    pArray->AddNumber(int32_t(1));
    pArray->AddNumber(int64_t(2));
    pArray->AddNumber(3.0f);
    pArray->AddNumber(4.0);
    pArray->AddObject(nullptr);
    pArray->AddString(nullptr);
    pArray->Add(Own(new CUncopyable()));
    pArray->Add(nullptr);
    const uint8_t expected[] = {ARGUMENT_INTEGER, ARGUMENT_LONGINTEGER, ARGUMENT_FLOAT, ARGUMENT_DOUBLE, ARGUMENT_NIL,
        ARGUMENT_NIL, ARGUMENT_UNDEFINED, ARGUMENT_NIL};
    ASSERT_EQ(pArray->GetCount(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i)
        EXPECT_EQ(pArray->Get(i)->GetType(), expected[i]) << i;
    EXPECT_EQ(pArray->Get(99), nullptr);
}

TEST(Arguments, MoveHandsElementsOverWithoutCounting)
{
    auto pSource = MakeStrong<CArgumentArray>();
    auto pDestination = MakeStrong<CArgumentArray>();
    pSource->AddBoolean(true);
    pDestination->AddNumber(1);
    CArgument* pElement = pSource->Get(0);
    pSource->Move(pDestination);
    EXPECT_EQ(pSource->GetCount(), 0u);
    ASSERT_EQ(pDestination->GetCount(), 1u);
    EXPECT_EQ(pDestination->Get(0), pElement);
    EXPECT_EQ(pElement->GetRefCount(), 1);
}

TEST(Arguments, MapOwnership)
{
    int deleted = 0;
    auto pMap = MakeStrong<CArgumentMap>(8);
    auto* pFirst = new CArgumentInteger(1);
    pFirst->SetModuleInterface(new CDeleteProbe(&deleted));
    pMap->Set("a", pFirst);
    EXPECT_EQ(pFirst->GetRefCount(), 1); // adopted, not counted again
    pMap->Set("a", pFirst);              // the same value: nothing changes
    EXPECT_EQ(pMap->Get("a"), pFirst);
    EXPECT_EQ(deleted, 0);

    pMap->Set("a", new CArgumentInteger(2)); // the old value is released with its wrapper
    EXPECT_EQ(deleted, 1);
    EXPECT_EQ(Convert<int32_t>(pMap->Get("a")), 2);

    pMap->Set(std::string_view("a\0b", 3), new CArgumentBoolean(true));
    EXPECT_EQ(pMap->GetCount(), 2u);
    EXPECT_EQ(pMap->Get("A"), nullptr);
    EXPECT_TRUE(pMap->Remove("a"));
    EXPECT_FALSE(pMap->Remove("a"));
    pMap->Set("x", nullptr);
    EXPECT_EQ(pMap->GetCount(), 1u);
    pMap->Clear();
    EXPECT_EQ(pMap->GetCount(), 0u);
}

TEST(Arguments, ReturnValueIsTheFirstElement)
{
    CReturnValue rval;
    EXPECT_EQ(rval.GetReturnArgument(), nullptr);
    rval.AddString("first");
    rval.AddString("ignored");
    EXPECT_STREQ(rval.GetReturnArgument()->ToString(), "first");
    EXPECT_EQ(rval.GetType(), ARGUMENT_ARRAY);
}

TEST(Arguments, PlainValuesAreOnlyNullOrUndefined)
{
    CLogCapture errors(LOG_ERROR);
    EXPECT_EQ(Own(new CArgument())->GetType(), ARGUMENT_NIL);
    EXPECT_EQ(Own(new CArgument(ARGUMENT_UNDEFINED))->GetType(), ARGUMENT_UNDEFINED);
    EXPECT_EQ(Own(new CArgument(ARGUMENT_STRING))->GetType(), ARGUMENT_NIL);
    EXPECT_EQ(Own(Own(new CArgument(ARGUMENT_UNDEFINED))->Clone())->GetType(), ARGUMENT_UNDEFINED);
    EXPECT_TRUE(Own(new CArgument(ARGUMENT_UNDEFINED))->IsNull());
}
