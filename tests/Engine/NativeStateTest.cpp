// The call frame: argument checks and their messages, the error channel, the trampoline,
// Construct and ToArgument.
#include "ScriptingTesting.h"

#include <Engine/Context.h>

#include <gtest/gtest.h>

using namespace Torvane3D;
using namespace ScriptingTesting;

namespace
{
    // A frame over the given arguments.
    struct Frame
    {
        Frame(CScripting* pScripting, const std::vector<Value>& arguments)
            : m_pArguments(MakeStrong<CArgumentArray>()), m_State(pScripting, nullptr, nullptr)
        {
            for (const Value& v : arguments)
                m_pArguments->Add(v);
            m_State.m_pArguments = m_pArguments;
        }
        Strong<CArgumentArray> m_pArguments;
        CNativeState m_State;
    };

    struct CErrorLog : ILogListener
    {
        CErrorLog() { AddLogListener(this); }
        ~CErrorLog() override { RemoveLogListener(this); }
        void OnLogMessage(eLogType level, const char* szText) override
        {
            if (level == LOG_ERROR)
                m_Lines.emplace_back(szText);
        }
        std::vector<std::string> m_Lines;
    };

    // A function object of another engine: records what it was given and answers or fails.
    struct CRecordingFunction : CFunction
    {
        bool Call(const CArgumentArray* pArguments, CReturnValue* pReturn) override
        {
            m_Seen.clear();
            for (size_t i = 0; i < pArguments->GetCount(); ++i)
                m_Seen.push_back(pArguments->Get(i));
            if (!m_strFailure.empty()) {
                SetError("%s", m_strFailure.c_str());
                return false;
            }
            if (m_pAnswer)
                pReturn->Add(m_pAnswer);
            return true;
        }
        std::vector<Value> m_Seen;
        Value m_pAnswer;
        std::string m_strFailure;
    };

    class NativeStateTest : public ::testing::Test
    {
    protected:
        CScripting m_Scripting;
        ReflectedClass* m_pBase = m_Scripting.m_Global.NewClass("Base");
        ReflectedClass* m_pDerived = m_Scripting.m_Global.NewClass("Derived", m_pBase);
        ReflectedClass* m_pOther = m_Scripting.m_Global.NewClass("Other");

        Strong<CBaseObject> Instance(ReflectedClass* pClass)
        {
            auto pObject = MakeStrong<CBaseObject>();
            pObject->SetReflectedClass(pClass);
            return pObject;
        }
    };
}

// Each check refuses the wrong kinds, and a missing argument, with the same message.
TEST_F(NativeStateTest, CheckMessages)
{
    Strong<CBaseObject> pOther = Instance(m_pOther);
    struct Case
    {
        const char* szName;
        Value pValue;
        bool (*Check)(CNativeState&, ReflectedClass*);
        const char* szMessage;
    };
    const Case cases[] = {
        {"boolean from integer", Int(1), [](CNativeState& s, ReflectedClass*) { bool b; return s.CheckBoolean(0, b); },
            "Expected boolean for argument 1"},
        {"integer from string", Str("1"), [](CNativeState& s, ReflectedClass*) { int32_t i; return s.CheckNumber(0, i); },
            "Expected integer for argument 1"},
        {"integer from boolean", Bool(true),
            [](CNativeState& s, ReflectedClass*) { uint64_t i; return s.CheckNumber(0, i); },
            "Expected integer for argument 1"},
        {"byte from null", Null(), [](CNativeState& s, ReflectedClass*) { uint8_t i; return s.CheckNumber(0, i); },
            "Expected integer for argument 1"},
        {"number from string", Str("1.5"), [](CNativeState& s, ReflectedClass*) { float f; return s.CheckNumber(0, f); },
            "Expected number for argument 1"},
        {"double from vector", V3(1, 2, 3), [](CNativeState& s, ReflectedClass*) { double d; return s.CheckNumber(0, d); },
            "Expected number for argument 1"},
        {"string from number", Int(5), [](CNativeState& s, ReflectedClass*) { return s.CheckString(0) != nullptr; },
            "Expected string for argument 1"},
        {"string from bytes", Own(new CArgumentBytes("ab", 2)),
            [](CNativeState& s, ReflectedClass*) { return s.CheckString(0) != nullptr; }, "Expected string for argument 1"},
        {"vector2 from vector3", V3(1, 2, 3),
            [](CNativeState& s, ReflectedClass*) { CVector2D v; return s.CheckVector2D(0, v); },
            "Expected Vector2D for argument 1"},
        {"vector3 from two numbers", Arr({Int(1), Int(2)}),
            [](CNativeState& s, ReflectedClass*) { CVector3D v; return s.CheckVector3D(0, v); },
            "Expected Vector3D for argument 1"},
        {"vector3 from a string element", Arr({Int(1), Int(2), Str("3")}),
            [](CNativeState& s, ReflectedClass*) { CVector3D v; return s.CheckVector3D(0, v); },
            "Expected Vector3D for argument 1"},
        {"vector3 from four numbers", Arr({Int(1), Int(2), Int(3), Int(4)}),
            [](CNativeState& s, ReflectedClass*) { CVector3D v; return s.CheckVector3D(0, v); },
            "Expected Vector3D for argument 1"},
        {"matrix from array", Arr({Int(1)}),
            [](CNativeState& s, ReflectedClass*) { CMatrix4x4 m; return s.CheckMatrix4x4(0, m); },
            "Expected Matrix4x4 for argument 1"},
        {"class from other class", Obj(pOther),
            [](CNativeState& s, ReflectedClass* p) { CBaseObject* o; return s.CheckClass(p, 0, false, &o); },
            "Expected Base for argument 1"},
        {"class from null", Null(),
            [](CNativeState& s, ReflectedClass* p) { CBaseObject* o; return s.CheckClass(p, 0, false, &o); },
            "Expected Base for argument 1"},
        {"class from string, nullable", Str("x"),
            [](CNativeState& s, ReflectedClass* p) { CBaseObject* o; return s.CheckClass(p, 0, true, &o); },
            "Expected Base for argument 1"},
        {"referenceable from number", Int(1),
            [](CNativeState& s, ReflectedClass*) { return s.CheckReferenceable(0) != nullptr; },
            "Expected Instance for argument 1"},
        {"referenceable from empty object", Obj(nullptr),
            [](CNativeState& s, ReflectedClass*) { return s.CheckReferenceable(0) != nullptr; },
            "Expected Instance for argument 1"},
        {"function from object", Obj(pOther),
            [](CNativeState& s, ReflectedClass*) { return s.CheckFunction(0) != nullptr; },
            "Expected Function for argument 1"},
        {"function from empty function", Fn(nullptr),
            [](CNativeState& s, ReflectedClass*) { return s.CheckFunction(0) != nullptr; },
            "Expected Function for argument 1"},
    };
    for (const Case& c : cases) {
        // The wrong value and a missing argument fail alike.
        Frame wrong(&m_Scripting, {c.pValue});
        ClearError();
        EXPECT_FALSE(c.Check(wrong.m_State, m_pBase)) << c.szName;
        EXPECT_STREQ(GetLastError(), c.szMessage) << c.szName;
        EXPECT_TRUE(wrong.m_State.m_bHasError) << c.szName;

        Frame missing(&m_Scripting, {});
        ClearError();
        EXPECT_FALSE(c.Check(missing.m_State, m_pBase)) << c.szName;
        EXPECT_STREQ(GetLastError(), c.szMessage) << c.szName << " (missing)";
    }

    // Positions count from 1.
    Frame frame(&m_Scripting, {Int(1), Int(2), Str("x")});
    float f;
    EXPECT_TRUE(frame.m_State.CheckNumber(1, f));
    EXPECT_FALSE(frame.m_State.CheckNumber(2, f));
    EXPECT_STREQ(GetLastError(), "Expected number for argument 3");
    EXPECT_FALSE(frame.m_State.CheckNumber(-1, f));
}

TEST_F(NativeStateTest, CheckConversions)
{
    Frame frame(&m_Scripting, {Double(2.9), Int(-1), Int(0x1234), Str(std::string_view("a\0b", 3)),
                                   Arr({Int(1), Int(2), Int(3)}), Arr({Double(0.5), Float(1.5)}), V2(7, 8), Bool(false),
                                   Long(-5)});
    CNativeState& s = frame.m_State;
    int32_t i32 = 0;
    EXPECT_TRUE(s.CheckNumber(0, i32));
    EXPECT_EQ(i32, 2);
    uint32_t u32 = 0;
    EXPECT_TRUE(s.CheckNumber(1, u32));
    EXPECT_EQ(u32, 0xFFFFFFFFu);
    uint8_t u8 = 0;
    EXPECT_TRUE(s.CheckNumber(2, u8));
    EXPECT_EQ(u8, 0x34);
    int64_t i64 = 0;
    EXPECT_TRUE(s.CheckNumber(8, i64));
    EXPECT_EQ(i64, -5);
    double d = 0;
    EXPECT_TRUE(s.CheckNumber(8, d));
    EXPECT_EQ(d, -5.0);
    size_t length = 0;
    const char* szText = s.CheckString(3, &length);
    ASSERT_NE(szText, nullptr);
    EXPECT_EQ(std::string(szText, length), std::string("a\0b", 3));
    CVector3D v3;
    EXPECT_TRUE(s.CheckVector3D(4, v3));
    EXPECT_EQ(v3, CVector3D(1, 2, 3));
    CVector2D v2;
    EXPECT_TRUE(s.CheckVector2D(5, v2));
    EXPECT_EQ(v2, CVector2D(0.5f, 1.5f));
    EXPECT_TRUE(s.CheckVector2D(6, v2));
    EXPECT_EQ(v2, CVector2D(7, 8));
    bool b = true;
    EXPECT_TRUE(s.CheckBoolean(7, b));
    EXPECT_FALSE(b);
    EXPECT_FALSE(s.m_bHasError);
}

TEST_F(NativeStateTest, CheckClassAndThis)
{
    Strong<CBaseObject> pDerived = Instance(m_pDerived);
    Frame frame(&m_Scripting, {Obj(pDerived), Null(), Undefined(), Obj(Instance(nullptr))});
    CNativeState& s = frame.m_State;
    CBaseObject* pObject = nullptr;
    EXPECT_TRUE(s.CheckClass(m_pBase, 0, false, &pObject));
    EXPECT_EQ(pObject, pDerived.Get());
    EXPECT_TRUE(s.CheckClass(m_pBase, 1, true, &pObject));
    EXPECT_EQ(pObject, nullptr);
    pObject = pDerived;
    EXPECT_TRUE(s.CheckClass(m_pBase, 2, true, &pObject));
    EXPECT_EQ(pObject, nullptr);
    EXPECT_FALSE(s.CheckClass(m_pDerived, 3, false, &pObject)); // no class at all
    EXPECT_STREQ(GetLastError(), "Expected Derived for argument 4");
    EXPECT_EQ(s.CheckReferenceable(3), frame.m_pArguments->Get(3)->ToObject());

    EXPECT_FALSE(s.GetThis(nullptr, &pObject));
    EXPECT_STREQ(GetLastError(), "'this' is null");
    s.m_pThis = pDerived;
    EXPECT_TRUE(s.GetThis(m_pBase, &pObject));
    EXPECT_TRUE(s.GetThis(nullptr, &pObject));
    EXPECT_FALSE(s.GetThis(m_pOther, &pObject));
    EXPECT_STREQ(GetLastError(), "Other expected for 'this'");

    // 'this' is weak: a destroyed object reads as none.
    CBaseObject* pGone = new CBaseObject();
    s.m_pThis = pGone;
    pGone->Release();
    EXPECT_FALSE(s.GetThis(nullptr, &pObject));
    EXPECT_STREQ(GetLastError(), "'this' is null");
}

TEST_F(NativeStateTest, ErrorChannel)
{
    Frame frame(&m_Scripting, {});
    std::string longText(5000, 'e');
    EXPECT_FALSE(frame.m_State.Error("%s!", longText.c_str()));
    EXPECT_TRUE(frame.m_State.m_bHasError);
    EXPECT_EQ(std::string(GetLastError()), std::string(1023, 'e'));

    // A message may quote the last error itself.
    SetError("first");
    SetError("%s and %s", GetLastError(), "second");
    EXPECT_STREQ(GetLastError(), "first and second");
    ClearError();
    EXPECT_STREQ(GetLastError(), "");
    EXPECT_FALSE(frame.m_State.Error("%%d stays %s", "text"));
    EXPECT_STREQ(GetLastError(), "%d stays text");
}

TEST_F(NativeStateTest, InvokeReportsNativesThatBreakTheContract)
{
    ReflectedFunction* pLiar = m_Scripting.m_Global.RegisterFunction("liar", "", [](CNativeState* s, int, void*) {
        s->Error("failed");
        return true;
    });
    ReflectedFunction* pSilent =
        m_Scripting.m_Global.RegisterFunction("silent", "", [](CNativeState*, int, void*) { return false; });
    ReflectedFunction* pGood =
        m_Scripting.m_Global.RegisterFunction("good", "", [](CNativeState*, int, void*) { return true; });
    for (ReflectedFunction* pFunction : {pLiar, pSilent, pGood}) {
        CErrorLog log;
        SetError("stale");
        Result r = Call(&m_Scripting, *pFunction, nullptr, {});
        bool bReported = false;
        for (const std::string& line : log.m_Lines)
            bReported |= line.find("bResult != State.m_bHasError") != std::string::npos;
        EXPECT_EQ(bReported, pFunction != pGood) << pFunction->GetName();
        if (pFunction == pGood) {
            EXPECT_EQ(r.m_strError, ""); // cleared before the call
        }
    }
}

TEST_F(NativeStateTest, TrampolineClonesAndPropagatesErrors)
{
    auto pFunction = MakeStrong<CRecordingFunction>();
    pFunction->m_pAnswer = Str("answer");
    Value pArgument = Str("in");
    ReflectedFunction trampoline(ScriptFunction("", "*", Reflection::FunctionTrampoline), pFunction.Get(), false);

    Result r = Call(&m_Scripting, trampoline, nullptr, {pArgument, Int(2)});
    ASSERT_TRUE(r.m_bOk);
    EXPECT_EQ(r.String(), "answer");
    ASSERT_EQ(pFunction->m_Seen.size(), 2u);
    EXPECT_STREQ(pFunction->m_Seen[0]->ToString(), "in");

    // The callee's error reaches the caller instead of a success.
    pFunction->m_strFailure = "callee raised this";
    r = Call(&m_Scripting, trampoline, nullptr, {});
    EXPECT_FALSE(r.m_bOk);
    EXPECT_EQ(r.m_strError, "callee raised this");
    EXPECT_EQ(r.m_pValue.Get(), nullptr);

    // A callee that fails without a message still fails.
    struct CMute : CFunction
    {
        bool Call(const CArgumentArray*, CReturnValue*) override { return false; }
    };
    auto pMute = MakeStrong<CMute>();
    ReflectedFunction mute(ScriptFunction("", "*", Reflection::FunctionTrampoline), pMute.Get(), false);
    r = Call(&m_Scripting, mute, nullptr, {});
    EXPECT_FALSE(r.m_bOk);
    EXPECT_EQ(r.m_strError, "Function call failed");

    // Nothing returned: nothing returned.
    pFunction->m_strFailure.clear();
    pFunction->m_pAnswer = nullptr;
    r = Call(&m_Scripting, trampoline, nullptr, {});
    EXPECT_TRUE(r.m_bOk);
    EXPECT_EQ(r.m_pValue.Get(), nullptr);
}

TEST_F(NativeStateTest, Construct)
{
    struct Case
    {
        const char* szName;
        NativeCallback pfnConstructor;
        const char* szError; // null: success
    };
    const Case cases[] = {
        {"no constructor", nullptr, "Class is not constructable"},
        {"returns nothing", [](CNativeState*, int, void*) { return true; }, "Constructor didn't return anything"},
        {"returns a number",
            [](CNativeState* s, int, void*) {
                s->m_RVal.AddNumber(int32_t(1));
                return true;
            },
            "Constructor didn't return object"},
        {"returns an empty object",
            [](CNativeState* s, int, void*) {
                s->m_RVal.Push(new CArgumentObject());
                return true;
            },
            "Constructor returned null"},
        {"fails", [](CNativeState* s, int, void*) { return s->Error("no way"); }, "no way"},
        {"returns an object",
            [](CNativeState* s, int argc, void*) {
                auto pObject = MakeStrong<CBaseObject>();
                s->m_RVal.AddObject(pObject);
                s->m_RVal.AddNumber(int32_t(argc)); // ignored
                return argc == 0;
            },
            nullptr},
    };
    for (const Case& c : cases) {
        ReflectedClass* pClass = m_Scripting.m_Global.NewClass(c.szName);
        if (c.pfnConstructor)
            pClass->RegisterConstructor("t", c.pfnConstructor);
        SetError("stale");
        CBaseObject* pObject = Reflection::Construct(&m_Scripting, pClass);
        if (c.szError) {
            EXPECT_EQ(pObject, nullptr) << c.szName;
            EXPECT_STREQ(GetLastError(), c.szError) << c.szName;
        } else {
            ASSERT_NE(pObject, nullptr) << c.szName;
            EXPECT_EQ(pObject->GetRefCount(), 1) << c.szName; // the caller's count only
            pObject->Release();
        }
    }
}

TEST_F(NativeStateTest, ToArgument)
{
    ReflectedNamespace& global = m_Scripting.m_Global;
    Strong<CBaseObject> pVec2 = New(&m_Scripting, global.m_pVector2Class, {Int(1), Int(2)});
    Strong<CBaseObject> pVec3 = New(&m_Scripting, global.m_pVector3Class, {Int(1), Int(2), Int(3)});
    Strong<CBaseObject> pMatrix = New(&m_Scripting, global.m_pMatrixClass, {});
    Strong<CBaseObject> pPlain = Instance(m_pBase);
    ReflectedClass* pSubVec3 = global.NewClass("MyVec3", global.m_pVector3Class);
    Strong<CBaseObject> pSub = New(&m_Scripting, global.m_pVector3Class, {Int(4)});
    pSub->SetReflectedClass(pSubVec3);

    Value v2 = Own(Reflection::ToArgument(pVec2, &m_Scripting));
    Value v3 = Own(Reflection::ToArgument(pVec3, &m_Scripting));
    Value mat = Own(Reflection::ToArgument(pMatrix, &m_Scripting));
    Value plain = Own(Reflection::ToArgument(pPlain, &m_Scripting));
    Value sub = Own(Reflection::ToArgument(pSub, &m_Scripting));
    ASSERT_EQ(v2->GetType(), ARGUMENT_VECTOR2D);
    ASSERT_EQ(v3->GetType(), ARGUMENT_VECTOR3D);
    ASSERT_EQ(mat->GetType(), ARGUMENT_MATRIX4X4);
    ASSERT_EQ(plain->GetType(), ARGUMENT_OBJECT);
    ASSERT_EQ(sub->GetType(), ARGUMENT_VECTOR3D);
    CVector3D v;
    v3->ToVector3D(v);
    EXPECT_EQ(v, CVector3D(1, 2, 3));
    sub->ToVector3D(v);
    EXPECT_EQ(v, CVector3D(4, 0, 0));
    CMatrix4x4 m;
    mat->ToMatrix4x4(m);
    EXPECT_EQ(m, CMatrix4x4::Identity());
    EXPECT_EQ(plain->ToObject(), pPlain.Get());
    EXPECT_EQ(Own(Reflection::ToArgument(nullptr, &m_Scripting))->GetType(), ARGUMENT_NIL);
}
