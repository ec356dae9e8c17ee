// The Vec2, Vec3 and Matrix4x4 classes and the toColour and inPoly helpers, called through
// the registry as scripts call them.
#include "ScriptingTesting.h"

#include <Engine/Mathematics/Matrix.h>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace Torvane3D;
using namespace ScriptingTesting;

namespace
{
    constexpr float PI = std::numbers::pi_v<float>;
    constexpr float EPSILON = 1e-5f;

    void ExpectNear(const CVector3D& actual, const CVector3D& expected, const std::string& what)
    {
        EXPECT_NEAR(actual.x, expected.x, EPSILON) << what;
        EXPECT_NEAR(actual.y, expected.y, EPSILON) << what;
        EXPECT_NEAR(actual.z, expected.z, EPSILON) << what;
    }

    void ExpectNear(const CVector2D& actual, const CVector2D& expected, const std::string& what)
    {
        EXPECT_NEAR(actual.x, expected.x, EPSILON) << what;
        EXPECT_NEAR(actual.y, expected.y, EPSILON) << what;
    }

    class MathTest : public ::testing::Test
    {
    protected:
        Strong<CBaseObject> NewVec2(std::vector<Value> args) { return New(&m_Scripting, Global()->m_pVector2Class, args); }
        Strong<CBaseObject> NewVec3(std::vector<Value> args) { return New(&m_Scripting, Global()->m_pVector3Class, args); }
        Strong<CBaseObject> NewMatrix() { return New(&m_Scripting, Global()->m_pMatrixClass, {}); }
        ReflectedNamespace* Global() { return &m_Scripting.m_Global; }

        static CVector3D& Vec3Of(CBaseObject* p) { return static_cast<CObjectValue<CVector3D>*>(p)->m_Value; }
        static CVector2D& Vec2Of(CBaseObject* p) { return static_cast<CObjectValue<CVector2D>*>(p)->m_Value; }
        static CMatrix4x4& MatrixOf(CBaseObject* p) { return static_cast<CObjectValue<CMatrix4x4>*>(p)->m_Value; }

        // The matrix as scripts pass it to natives (code 11).
        Value MatrixValue(const CMatrix4x4& m) { return Mat(m); }

        CScripting m_Scripting;
    };
}

TEST_F(MathTest, VectorConstructorsDefaultMissingComponentsToZero)
{
    EXPECT_EQ(Vec3Of(NewVec3({Int(1)})), CVector3D(1, 0, 0));
    EXPECT_EQ(Vec3Of(NewVec3({})), CVector3D(0, 0, 0));
    EXPECT_EQ(Vec3Of(NewVec3({Double(1.5), Int(2), Float(3)})), CVector3D(1.5f, 2, 3));
    EXPECT_EQ(Vec2Of(NewVec2({Int(4)})), CVector2D(4, 0));
    EXPECT_EQ(Vec2Of(NewVec2({Null(), Int(2)})), CVector2D(0, 2));

    Result bad = Call(&m_Scripting, Global()->m_pVector3Class->m_Constructor, nullptr, {Str("1")});
    EXPECT_FALSE(bad.m_bOk);
    EXPECT_EQ(bad.m_strError, "Expected number for argument 1");
    EXPECT_EQ(Global()->m_pVector2Class->m_Constructor.m_Function.GetRequiredArgumentCount(), 0);
}

TEST_F(MathTest, Vec3Members)
{
    struct Case
    {
        const char* szMethod;
        CVector3D self;
        std::vector<Value> args;
        bool bNumber; // a number result, else a vector
        CVector3D vector;
        float fNumber;
    };
    const Case cases[] = {
        {"distance", {1, 2, 3}, {V3(4, 6, 3)}, true, {}, 5},
        {"distance", {1, 2, 3}, {Arr({Int(4), Int(6), Double(3)})}, true, {}, 5},
        {"squaredDistance", {1, 2, 3}, {V3(4, 6, 3)}, true, {}, 25},
        {"dotProduct", {1, 2, 3}, {V3(4, 5, 6)}, true, {}, 32},
        {"absDotProduct", {1, -2, 3}, {V3(-4, 5, 6)}, true, {}, 32},
        {"crossProduct", {1, 0, 0}, {V3(0, 1, 0)}, false, {0, 0, 1}, 0},
        {"crossProduct", {1, 2, 3}, {V3(4, 5, 6)}, false, {-3, 6, -3}, 0},
        {"midPoint", {1, 2, 3}, {V3(3, 4, 5)}, false, {2, 3, 4}, 0},
        {"addPolar", {1, 2, 3}, {Int(2), Float(PI / 2)}, false, {1, 4, 3}, 0},
        {"addSpherical", {1, 2, 3}, {Int(2), Float(PI / 2), Int(0)}, false, {3, 2, 3}, 0},
        {"addSpherical", {1, 2, 3}, {Int(2), Int(0), Int(0)}, false, {1, 2, 5}, 0},
        {"interpolate", {1, 2, 3}, {V3(3, 2, 3), Double(0.5)}, false, {2, 2, 3}, 0},
        {"interpolate", {1, 2, 3}, {V3(3, 2, 3), Int(2)}, false, {3, 2, 3}, 0},
        {"interpolate", {1, 2, 3}, {V3(3, 2, 3), Int(-5)}, false, {-1, 2, 3}, 0},
        {"extrapolate", {1, 2, 3}, {V3(3, 2, 3), Int(2)}, false, {5, 2, 3}, 0},
        {"cartesianToPolar", {3, 4, 5}, {}, false, {5, std::atan2(4.0f, 3.0f), 5}, 0},
        {"cartesianToSpherical", {0, 0, 2}, {}, false, {2, 0, 0}, 0},
        {"cartesianToSpherical", {0, 1, 0}, {}, false, {1, PI / 2, PI / 2}, 0},
        {"cartesianToSpherical", {0, 0, 0}, {}, false, {0, 0, 0}, 0},
    };
    for (const Case& c : cases) {
        Strong<CBaseObject> pSelf = NewVec3({Float(c.self.x), Float(c.self.y), Float(c.self.z)});
        Result r = CallMethod(&m_Scripting, pSelf, c.szMethod, c.args);
        ASSERT_TRUE(r.m_bOk) << c.szMethod << ": " << r.m_strError;
        if (c.bNumber)
            EXPECT_NEAR(r.Number(), c.fNumber, EPSILON) << c.szMethod;
        else
            ExpectNear(r.Vector3(), c.vector, c.szMethod);
        EXPECT_EQ(Vec3Of(pSelf), c.self) << c.szMethod << " changed its object";
    }
}

TEST_F(MathTest, Vec3PropertiesAndNormalise)
{
    Strong<CBaseObject> pVec = NewVec3({Int(3), Int(4), Int(0)});
    EXPECT_FLOAT_EQ(GetProperty(&m_Scripting, pVec, "length").Number(), 5);
    EXPECT_FLOAT_EQ(GetProperty(&m_Scripting, pVec, "squaredLength").Number(), 25);
    EXPECT_TRUE(Global()->m_pVector3Class->GetProperty("length")->IsReadOnly());
    EXPECT_TRUE(SetProperty(&m_Scripting, pVec, "z", Double(12)).m_bOk);
    EXPECT_FLOAT_EQ(GetProperty(&m_Scripting, pVec, "z").Number(), 12);
    EXPECT_FLOAT_EQ(GetProperty(&m_Scripting, pVec, "length").Number(), 13);

    Result r = CallMethod(&m_Scripting, pVec, "normalise", {});
    ASSERT_TRUE(r.m_bOk);
    EXPECT_FLOAT_EQ(r.Number(), 13);
    ExpectNear(Vec3Of(pVec), {3.0f / 13, 4.0f / 13, 12.0f / 13}, "normalised");

    Strong<CBaseObject> pZero = NewVec3({});
    EXPECT_FLOAT_EQ(CallMethod(&m_Scripting, pZero, "normalise", {}).Number(), 0);
    EXPECT_EQ(Vec3Of(pZero), CVector3D(0, 0, 0));
}

TEST_F(MathTest, Vec2Members)
{
    Strong<CBaseObject> pVec = NewVec2({Int(1), Int(2)});
    ExpectNear(CallMethod(&m_Scripting, pVec, "addPolar", {Int(2), Float(PI)}).Vector2(), {-1, 2}, "addPolar");
    ExpectNear(CallMethod(&m_Scripting, pVec, "interpolate", {V2(3, 4), Double(0.5)}).Vector2(), {2, 3}, "interpolate");
    ExpectNear(CallMethod(&m_Scripting, pVec, "interpolate", {V2(3, 4), Int(2)}).Vector2(), {3, 4}, "interpolate 2");
    ExpectNear(CallMethod(&m_Scripting, pVec, "extrapolate", {Arr({Int(3), Int(4)}), Int(2)}).Vector2(), {5, 6},
        "extrapolate");
    ExpectNear(CallMethod(&m_Scripting, NewVec2({Int(0), Int(-3)}), "cartesianToPolar", {}).Vector2(), {3, -PI / 2},
        "cartesianToPolar");
    EXPECT_TRUE(SetProperty(&m_Scripting, pVec, "y", Int(7)).m_bOk);
    EXPECT_FLOAT_EQ(GetProperty(&m_Scripting, pVec, "y").Number(), 7);
    EXPECT_FLOAT_EQ(GetProperty(&m_Scripting, pVec, "x").Number(), 1);
    EXPECT_EQ(Global()->m_pVector2Class->GetProperty("z"), nullptr);
    EXPECT_EQ(std::string(GetLastError()), "Property z not found.");

    Result bad = CallMethod(&m_Scripting, pVec, "interpolate", {V3(1, 2, 3), Int(1)});
    EXPECT_FALSE(bad.m_bOk);
    EXPECT_EQ(bad.m_strError, "Expected Vector2D for argument 1");
}

// Standard slerp: pairs at 60, 90 and 180 degrees, other lengths, clamping, and the linear
// fallback for nearly parallel vectors.
TEST_F(MathTest, SphericalInterpolation)
{
    const float s3 = std::sqrt(3.0f) / 2, h = std::sqrt(0.5f);
    struct Case
    {
        const char* szName;
        const char* szMethod;
        CVector3D a, b;
        float t;
        CVector3D expected;
    };
    const Case cases[] = {
        {"60 degrees, half", "sphericalInterpolate", {1, 0, 0}, {0.5f, s3, 0}, 0.5f, {s3, 0.5f, 0}},
        {"60 degrees, end", "sphericalInterpolate", {1, 0, 0}, {0.5f, s3, 0}, 1, {0.5f, s3, 0}},
        {"90 degrees, half", "sphericalInterpolate", {1, 0, 0}, {0, 1, 0}, 0.5f, {h, h, 0}},
        {"90 degrees, third", "sphericalInterpolate", {0, 0, 1}, {0, 1, 0}, 1.0f / 3, {0, 0.5f, s3}},
        {"90 degrees, start", "sphericalInterpolate", {1, 0, 0}, {0, 1, 0}, 0, {1, 0, 0}},
        {"90 degrees, clamped", "sphericalInterpolate", {1, 0, 0}, {0, 1, 0}, 2, {0, 1, 0}},
        {"90 degrees, extrapolated", "sphericalExtrapolate", {1, 0, 0}, {0, 1, 0}, 2, {-1, 0, 0}},
        {"90 degrees, backwards", "sphericalInterpolate", {1, 0, 0}, {0, 1, 0}, -0.5f, {h, -h, 0}},
        {"180 degrees, end", "sphericalInterpolate", {1, 0, 0}, {-1, 0, 0}, 1, {-1, 0, 0}},
        {"lengths 2 and 4", "sphericalInterpolate", {2, 0, 0}, {0, 4, 0}, 0.5f, {3 * h, 3 * h, 0}},
        {"nearly parallel", "sphericalInterpolate", {1, 0, 0}, {1, 0.001f, 0}, 0.5f, {1, 0.0005f, 0}},
        {"zero length", "sphericalInterpolate", {0, 0, 0}, {0, 2, 0}, 0.5f, {0, 1, 0}},
    };
    for (const Case& c : cases) {
        Strong<CBaseObject> pSelf = NewVec3({Float(c.a.x), Float(c.a.y), Float(c.a.z)});
        Result r = CallMethod(&m_Scripting, pSelf, c.szMethod, {V3(c.b.x, c.b.y, c.b.z), Float(c.t)});
        ASSERT_TRUE(r.m_bOk) << c.szName;
        ExpectNear(r.Vector3(), c.expected, c.szName);
    }

    // Half-way between opposite directions: unit length, at right angles to both.
    for (CVector3D a : {CVector3D(1, 0, 0), CVector3D(0, 0, -1), CVector3D(h, h, 0)}) {
        CVector3D mid = a.SphericalInterpolate(a * -1.0f, 0.5f);
        EXPECT_NEAR(mid.Length(), 1.0f, EPSILON);
        EXPECT_NEAR(mid.DotProduct(a), 0.0f, EPSILON);
    }

    Strong<CBaseObject> pVec2 = NewVec2({Int(1), Int(0)});
    ExpectNear(CallMethod(&m_Scripting, pVec2, "sphericalInterpolate", {V2(0, 1), Double(0.5)}).Vector2(), {h, h},
        "Vec2 90 degrees");
    ExpectNear(CallMethod(&m_Scripting, pVec2, "sphericalInterpolate", {V2(-1, 0), Double(0.5)}).Vector2(), {0, 1},
        "Vec2 180 degrees");
    ExpectNear(CallMethod(&m_Scripting, pVec2, "sphericalInterpolate", {V2(0.5f, s3), Double(0.5)}).Vector2(),
        {s3, 0.5f}, "Vec2 60 degrees");
}

TEST_F(MathTest, MatrixTransforms)
{
    struct Case
    {
        const char* szName;
        const char* szSetter;
        std::vector<Value> args;
        CVector3D point, expected;
    };
    CMatrix4x4 translate = CMatrix4x4::Translation({1, 0, 0});
    CMatrix4x4 scale = CMatrix4x4::Scale({2, 2, 2});
    const Case cases[] = {
        {"identity", "setIdentity", {}, {1, 2, 3}, {1, 2, 3}},
        {"translate", "setTranslate", {V3(1, 2, 3)}, {1, 1, 1}, {2, 3, 4}},
        {"scale", "setScale", {V3(2, 3, 4)}, {1, 1, 1}, {2, 3, 4}},
        {"rotate x", "setRotateX", {Float(PI / 2)}, {0, 1, 0}, {0, 0, 1}},
        {"rotate y", "setRotateY", {Float(PI / 2)}, {0, 0, 1}, {1, 0, 0}},
        {"rotate z", "setRotateZ", {Float(PI / 2)}, {1, 0, 0}, {0, 1, 0}},
        // X first, then Y: (0,1,0) turns to (0,0,1) about X, then to (1,0,0) about Y.
        {"rotate x then y", "setRotate", {V3(PI / 2, PI / 2, 0)}, {0, 1, 0}, {1, 0, 0}},
        {"rotate y then z", "setRotate", {V3(0, PI / 2, PI / 2)}, {0, 0, 1}, {0, 1, 0}},
        {"translate then scale", "setMultiply", {MatrixValue(translate), MatrixValue(scale)}, {1, 1, 1}, {4, 2, 2}},
        {"scale then translate", "setMultiply", {MatrixValue(scale), MatrixValue(translate)}, {1, 1, 1}, {3, 2, 2}},
        {"one matrix", "setMultiply", {MatrixValue(scale)}, {1, 1, 1}, {2, 2, 2}},
    };
    for (const Case& c : cases) {
        Strong<CBaseObject> pMatrix = NewMatrix();
        MatrixOf(pMatrix) = CMatrix4x4::Scale({5, 5, 5}); // every setter replaces what was there
        Result set = CallMethod(&m_Scripting, pMatrix, c.szSetter, c.args);
        ASSERT_TRUE(set.m_bOk) << c.szName << ": " << set.m_strError;
        Result r = CallMethod(&m_Scripting, pMatrix, "transformCoordinate", {V3(c.point.x, c.point.y, c.point.z)});
        ASSERT_TRUE(r.m_bOk) << c.szName;
        ExpectNear(r.Vector3(), c.expected, c.szName);
    }

    // multiply: this = this x a x ...
    Strong<CBaseObject> pMatrix = NewMatrix();
    MatrixOf(pMatrix) = translate;
    ASSERT_TRUE(CallMethod(&m_Scripting, pMatrix, "multiply", {MatrixValue(scale), MatrixValue(translate)}).m_bOk);
    ExpectNear(MatrixOf(pMatrix).TransformCoordinate({1, 1, 1}), {5, 2, 2}, "multiply");
    Result none = CallMethod(&m_Scripting, pMatrix, "multiply", {});
    EXPECT_EQ(none.m_strError, "Expected Matrix4x4 for argument 1");
    Result vector = CallMethod(&m_Scripting, pMatrix, "setMultiply", {MatrixValue(scale), V3(1, 2, 3)});
    EXPECT_EQ(vector.m_strError, "Expected Matrix4x4 for argument 2");
}

TEST_F(MathTest, MatrixInverse)
{
    Strong<CBaseObject> pMatrix = NewMatrix();
    CMatrix4x4 m = CMatrix4x4::Translation({1, 2, 3}) * CMatrix4x4::Rotation({0.3f, -0.7f, 1.1f}) *
        CMatrix4x4::Scale({2, 0.5f, 3});
    m.At(0, 3) = 0.25f; // not affine either
    MatrixOf(pMatrix) = m;
    ASSERT_TRUE(CallMethod(&m_Scripting, pMatrix, "setInverse", {}).m_bOk);
    CMatrix4x4 product = m * MatrixOf(pMatrix);
    CMatrix4x4 identity = CMatrix4x4::Identity();
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(product.m[i], identity.m[i], 1e-5f) << i;

    MatrixOf(pMatrix) = CMatrix4x4::Translation({1, 2, 3});
    ASSERT_TRUE(CallMethod(&m_Scripting, pMatrix, "setInverse", {}).m_bOk);
    ExpectNear(MatrixOf(pMatrix).TransformCoordinate({1, 2, 3}), {0, 0, 0}, "inverse translation");

    CMatrix4x4 singular = CMatrix4x4::Scale({1, 0, 1});
    MatrixOf(pMatrix) = singular;
    ASSERT_TRUE(CallMethod(&m_Scripting, pMatrix, "setInverse", {}).m_bOk);
    EXPECT_EQ(MatrixOf(pMatrix), singular);
}

TEST_F(MathTest, MatrixElementsAndIndexes)
{
    Strong<CBaseObject> pMatrix = NewMatrix();
    EXPECT_EQ(MatrixOf(pMatrix), CMatrix4x4::Identity());

    // m11 .. m44 are elements 0 .. 15, row by row.
    for (int i = 0; i < 16; ++i) {
        char szName[4] = {'m', char('1' + i / 4), char('1' + i % 4), 0};
        ASSERT_TRUE(SetProperty(&m_Scripting, pMatrix, szName, Int(100 + i)).m_bOk) << szName;
    }
    for (int i = 0; i < 16; ++i)
        EXPECT_FLOAT_EQ(CallMethod(&m_Scripting, pMatrix, "getElement", {Int(i)}).Number(), float(100 + i));
    EXPECT_FLOAT_EQ(GetProperty(&m_Scripting, pMatrix, "m21").Number(), 104);
    EXPECT_FLOAT_EQ(CallMethod(&m_Scripting, pMatrix, "getElement", {Int(4)}).Number(), 104);

    ASSERT_TRUE(CallMethod(&m_Scripting, pMatrix, "setElement", {Int(5), Double(-9)}).m_bOk);
    EXPECT_FLOAT_EQ(GetProperty(&m_Scripting, pMatrix, "m22").Number(), -9);
    ExpectNear(CallMethod(&m_Scripting, pMatrix, "getVector3", {Int(3)}).Vector3(), {112, 113, 114}, "row 3");

    // Negative indexes are huge unsigned ones: refused, nothing read or written.
    CMatrix4x4 before = MatrixOf(pMatrix);
    struct Case
    {
        const char* szMethod;
        std::vector<Value> args;
    };
    const Case refused[] = {
        {"getElement", {Int(16)}},
        {"getElement", {Int(-1)}},
        {"getElement", {Long(int64_t(1) << 32)}},
        {"setElement", {Int(-1), Int(1)}},
        {"setElement", {Int(16), Int(1)}},
        {"setElement", {Int(INT32_MIN), Int(1)}},
        {"getVector3", {Int(4)}},
        {"getVector3", {Int(-1)}},
    };
    for (const Case& c : refused) {
        Result r = CallMethod(&m_Scripting, pMatrix, c.szMethod, c.args);
        EXPECT_FALSE(r.m_bOk) << c.szMethod;
        EXPECT_EQ(r.m_strError, "invalid index") << c.szMethod;
    }
    EXPECT_EQ(MatrixOf(pMatrix), before);
}

TEST_F(MathTest, SpecialFunctions)
{
    Strong<CBaseObject> pVec3 = NewVec3({Int(1), Double(2.5), Int(-3)});
    Result text = Call(&m_Scripting, Global()->m_pVector3Class->m_ToString, pVec3, {});
    EXPECT_EQ(text.String(), "X: 1.000 Y: 2.500 Z: -3.000");
    Strong<CBaseObject> pVec2 = NewVec2({Int(1), Int(2)});
    EXPECT_EQ(Call(&m_Scripting, Global()->m_pVector2Class->m_ToString, pVec2, {}).String(), "X: 1.000 Y: 2.000");

    Result copy = Call(&m_Scripting, Global()->m_pVector3Class->m_Clone, pVec3, {});
    ASSERT_NE(copy.Object(), nullptr);
    EXPECT_NE(copy.Object(), pVec3.Get());
    EXPECT_EQ(copy.Object()->GetReflectedClass(), Global()->m_pVector3Class);
    EXPECT_EQ(Vec3Of(copy.Object()), Vec3Of(pVec3));
}

TEST_F(MathTest, MethodsNeedTheirObject)
{
    Strong<CBaseObject> pVec2 = NewVec2({});
    ReflectedFunction* pLength = Global()->m_pVector3Class->FindFunction("distance");
    Result wrong = Call(&m_Scripting, *pLength, pVec2, {V3(1, 2, 3)});
    EXPECT_EQ(wrong.m_strError, "Vec3 expected for 'this'");
    Result none = Call(&m_Scripting, *pLength, nullptr, {V3(1, 2, 3)});
    EXPECT_EQ(none.m_strError, "'this' is null");
}

TEST_F(MathTest, ToColour)
{
    struct Case
    {
        std::vector<Value> args;
        int32_t expected;
    };
    const Case cases[] = {
        {{Int(255), Int(0), Int(0)}, -65536},
        {{Int(1), Int(2), Int(3), Int(0)}, 66051},
        {{Int(0), Int(0), Int(0), Int(128)}, INT32_MIN},
        {{Int(257), Int(-1), Double(3.9)}, int32_t(0xFF01FF03u)},
        {{Int(10), Int(20), Int(30), Int(127)}, 0x7F0A141E},
    };
    for (const Case& c : cases) {
        Result r = CallGlobal(&m_Scripting, nullptr, "toColour", c.args);
        ASSERT_TRUE(r.m_bOk) << r.m_strError;
        EXPECT_EQ(r.Integer(), c.expected);
        EXPECT_EQ(r.m_pValue->GetType(), ARGUMENT_INTEGER);
    }
    EXPECT_EQ(CallGlobal(&m_Scripting, nullptr, "toColour", {Int(1), Int(2)}).m_strError,
        "Expected integer for argument 3");
    EXPECT_EQ(Global()->FindFunction("toColour")->m_Function.GetRequiredArgumentCount(), 3);
}

TEST_F(MathTest, InPoly)
{
    std::vector<Value> square = {V2(0, 0), V2(1, 0), V2(1, 1), V2(0, 1)};
    auto inPoly = [&](Value point, std::vector<Value> vertices) {
        vertices.insert(vertices.begin(), point);
        return CallGlobal(&m_Scripting, nullptr, "inPoly", vertices);
    };
    struct Case
    {
        const char* szName;
        Value point;
        std::vector<Value> vertices;
        bool bInside;
    };
    const Case cases[] = {
        {"centre of the square", V2(0.5f, 0.5f), square, true},
        {"outside the square", V2(2, 2), square, false},
        {"left of the square", V2(-0.5f, 0.5f), square, false},
        {"point as an array", Arr({Double(0.25), Double(0.75)}), square, true},
        {"no vertices", V2(0, 0), {}, false},
        {"inside a triangle", V2(1, 0.5f), {V2(0, 0), V2(2, 0), V2(1, 2)}, true},
        {"outside a triangle", V2(1.9f, 1.5f), {V2(0, 0), V2(2, 0), V2(1, 2)}, false},
        {"notch of a concave polygon", V2(1.5f, 1.5f), {V2(0, 0), V2(3, 0), V2(3, 3), V2(2, 3), V2(2, 1), V2(1, 1), V2(1, 3), V2(0, 3)}, false},
        {"arm of a concave polygon", V2(2.5f, 2), {V2(0, 0), V2(3, 0), V2(3, 3), V2(2, 3), V2(2, 1), V2(1, 1), V2(1, 3), V2(0, 3)}, true},
    };
    for (const Case& c : cases) {
        Result r = inPoly(c.point, c.vertices);
        ASSERT_TRUE(r.m_bOk) << c.szName << ": " << r.m_strError;
        EXPECT_EQ(r.m_pValue->ToBoolean(), c.bInside) << c.szName;
    }

    std::vector<Value> many(128, V2(0, 0));
    EXPECT_TRUE(inPoly(V2(5, 5), many).m_bOk);
    many.push_back(V2(0, 0));
    Result tooMany = inPoly(V2(5, 5), many);
    EXPECT_FALSE(tooMany.m_bOk);
    EXPECT_EQ(tooMany.m_strError, "Too many points");
    EXPECT_EQ(inPoly(V2(0, 0), {V2(0, 0), Str("x")}).m_strError, "Expected Vector2D for argument 3");
}
