// The registry's own natives: reflection.*, collectAllGarbage, platform and sdl.
#include "ScriptingTesting.h"

#include <Engine/Clock.h>

#include <gtest/gtest.h>

using namespace Torvane3D;
using namespace ScriptingTesting;

namespace
{
    typedef CObjectValue<std::string> CNote;

    // A class Note with clone, move and toString special functions that behave per the
    // note's text ("fail" fails, "nothing" returns nothing, "number" returns a number).
    struct NoteClass
    {
        static CNote* This(CNativeState* pState)
        {
            CNote* pNote = nullptr;
            pState->GetThis(nullptr, &pNote);
            return pNote;
        }
        static bool Special(CNativeState* pState, CNote* pNote)
        {
            if (pNote->m_Value == "fail")
                return pState->Error("note refused");
            if (pNote->m_Value == "number")
                pState->m_RVal.AddNumber(int32_t(5));
            return true;
        }
        static bool Clone(CNativeState* pState, int, void* pUser)
        {
            CNote* pNote = This(pState);
            if (pNote->m_Value == "fail" || pNote->m_Value == "nothing" || pNote->m_Value == "number")
                return Special(pState, pNote);
            auto pCopy = MakeStrong<CNote>(pNote->m_Value + " copy");
            pCopy->SetReflectedClass(static_cast<ReflectedClass*>(pUser));
            pState->m_RVal.AddObject(pCopy);
            return true;
        }
        static bool Move(CNativeState* pState, int, void* pUser)
        {
            CNote* pTarget = This(pState);
            CNote* pSource;
            if (!pState->CheckClass(static_cast<ReflectedClass*>(pUser), 0, false, &pSource))
                return false;
            if (pSource->m_Value == "fail")
                return pState->Error("note refused");
            pTarget->m_Value = std::move(pSource->m_Value);
            pSource->m_Value.clear();
            return true;
        }
        static bool ToString(CNativeState* pState, int, void*)
        {
            CNote* pNote = This(pState);
            if (pNote->m_Value == "fail" || pNote->m_Value == "nothing" || pNote->m_Value == "number")
                return Special(pState, pNote);
            pState->m_RVal.AddString(pNote->m_Value.data(), pNote->m_Value.size());
            return true;
        }
    };

    struct CAdder : CFunction
    {
        bool Call(const CArgumentArray* pArguments, CReturnValue* pReturn) override
        {
            int32_t iSum = 0;
            for (size_t i = 0; i < pArguments->GetCount(); ++i) {
                int32_t iValue = 0;
                if (!pArguments->Get(i)->IsNumber()) {
                    SetError("adder wants numbers");
                    return false;
                }
                pArguments->Get(i)->ToNumber(iValue);
                iSum += iValue;
            }
            pReturn->AddNumber(iSum);
            return true;
        }
    };

    class ReflectionNativesTest : public ::testing::Test
    {
    protected:
        void SetUp() override
        {
            m_pNoteClass = m_Scripting.m_Global.NewClass("Note");
            m_pNoteClass->SetClone(NoteClass::Clone, m_pNoteClass);
            m_pNoteClass->SetMove(NoteClass::Move, m_pNoteClass);
            m_pNoteClass->SetToString(NoteClass::ToString, m_pNoteClass);
            m_pBareClass = m_Scripting.m_Global.NewClass("Bare");
        }

        Strong<CNote> Note(const std::string& strText, ReflectedClass* pClass = nullptr)
        {
            auto pNote = MakeStrong<CNote>(strText);
            pNote->SetReflectedClass(pClass ? pClass : m_pNoteClass);
            return pNote;
        }

        Result Reflect(const char* szName, const std::vector<Value>& arguments)
        {
            return CallGlobal(&m_Scripting, "reflection", szName, arguments);
        }

        CScripting m_Scripting;
        ReflectedClass* m_pNoteClass = nullptr;
        ReflectedClass* m_pBareClass = nullptr;
    };
}

TEST_F(ReflectionNativesTest, RegisteredAtCreation)
{
    ReflectedNamespace& global = m_Scripting.m_Global;
    ASSERT_NE(m_Scripting.m_pReflection, nullptr);
    EXPECT_STREQ(m_Scripting.m_pReflection->GetName(), "reflection");
    EXPECT_EQ(m_Scripting.m_pReflection->FindClass("Function"), m_Scripting.m_pFunctionClass);
    EXPECT_EQ(global.FindNamespace("module"), m_Scripting.m_pModule);
    const char* const rgszNamespaces[] = {"reflection", "module", "sdl", "platform"};
    ASSERT_GE(global.m_Namespaces.size(), 4u);
    for (size_t i = 0; i < 4; ++i)
        EXPECT_STREQ(global.m_Namespaces[i]->GetName(), rgszNamespaces[i]);
    const char* const rgszClasses[] = {"Stream", "TextReader", "Matrix4x4", "Vec2", "Vec3"};
    for (size_t i = 0; i < 5; ++i)
        EXPECT_STREQ(global.m_Classes[i]->GetName(), rgszClasses[i]);
    EXPECT_EQ(global.m_pStreamClass, global.m_Classes[0].get());
    EXPECT_EQ(m_Scripting.m_pTextReaderClass, global.m_Classes[1].get());
    struct Mask
    {
        const char* szName;
        const char* szMask;
    };
    for (Mask m : {Mask{"clone", "x"}, {"move", "xx"}, {"tostring", "x"}, {"createFunction", "c"}, {"call", "x"}})
        EXPECT_STREQ(m_Scripting.m_pReflection->FindFunction(m.szName)->m_Function.GetMask(), m.szMask) << m.szName;
}

TEST_F(ReflectionNativesTest, Clone)
{
    Strong<CNote> pNote = Note("text");
    Result r = Reflect("clone", {Obj(pNote)});
    ASSERT_TRUE(r.m_bOk) << r.m_strError;
    ASSERT_EQ(r.m_pValue->GetType(), ARGUMENT_OBJECT);
    EXPECT_EQ(static_cast<CNote*>(r.Object())->m_Value, "text copy");

    struct Case
    {
        const char* szName;
        std::vector<Value> args;
        const char* szError;
    };
    const Case refused[] = {
        {"no argument", {}, "Expected Object for argument 1"},
        {"a number", {Int(1)}, "Expected Object for argument 1"},
        {"an empty object", {Obj(nullptr)}, "Expected Object for argument 1"},
        {"no reflected class", {Obj(MakeStrong<CBaseObject>())}, "Class not part of reflection"},
        {"not cloneable", {Obj(Note("x", m_pBareClass))}, "Class is not cloneable"},
        {"clone fails", {Obj(Note("fail"))}, "note refused"},
        {"clone returns nothing", {Obj(Note("nothing"))}, "Clone didn't return anything"},
        {"clone returns a number", {Obj(Note("number"))}, "Clone didn't return anything"},
    };
    for (const Case& c : refused) {
        Result failed = Reflect("clone", c.args);
        EXPECT_FALSE(failed.m_bOk) << c.szName;
        EXPECT_EQ(failed.m_strError, c.szError) << c.szName;
    }
}

// Bindings pass Vec2 and Vec3 instances as vector values; clone and tostring take them.
TEST_F(ReflectionNativesTest, VectorValuesCloneAndPrint)
{
    Result copy = Reflect("clone", {V3(1, 2, 3)});
    ASSERT_TRUE(copy.m_bOk) << copy.m_strError;
    ASSERT_NE(copy.Object(), nullptr);
    EXPECT_EQ(copy.Object()->GetReflectedClass(), m_Scripting.m_Global.m_pVector3Class);
    Value asValue = Own(Reflection::ToArgument(copy.Object(), &m_Scripting));
    CVector3D v;
    asValue->ToVector3D(v);
    EXPECT_EQ(v, CVector3D(1, 2, 3));

    Result copy2 = Reflect("clone", {V2(4, 5)});
    ASSERT_TRUE(copy2.m_bOk) << copy2.m_strError;
    EXPECT_EQ(copy2.Object()->GetReflectedClass(), m_Scripting.m_Global.m_pVector2Class);

    EXPECT_EQ(Reflect("tostring", {V3(1, 2, 3)}).String(), "X: 1.000 Y: 2.000 Z: 3.000");
    EXPECT_EQ(Reflect("tostring", {V2(0.5f, -1)}).String(), "X: 0.500 Y: -1.000");
    Strong<CBaseObject> pVec = New(&m_Scripting, m_Scripting.m_Global.m_pVector2Class, {Int(9)});
    EXPECT_EQ(Reflect("tostring", {Obj(pVec)}).String(), "X: 9.000 Y: 0.000");

    // Other values without an object still fail as before.
    EXPECT_EQ(Reflect("tostring", {Mat(CMatrix4x4::Identity())}).m_strError, "Expected Object for argument 1");
}

TEST_F(ReflectionNativesTest, Move)
{
    Strong<CNote> pTarget = Note("old"), pSource = Note("new");
    Result r = Reflect("move", {Obj(pTarget), Obj(pSource)});
    ASSERT_TRUE(r.m_bOk) << r.m_strError;
    EXPECT_TRUE(r.m_pValue->ToBoolean());
    EXPECT_EQ(pTarget->m_Value, "new");
    EXPECT_EQ(pSource->m_Value, "");

    struct Case
    {
        const char* szName;
        std::vector<Value> args;
        const char* szError;
    };
    const Case refused[] = {
        {"same object", {Obj(pTarget), Obj(pTarget)}, "Cannot move to same place"},
        {"no source", {Obj(pTarget)}, "Expected Object for argument 2"},
        {"vector target", {V3(1, 2, 3), Obj(pSource)}, "Expected Object for argument 1"},
        {"no class", {Obj(MakeStrong<CBaseObject>()), Obj(pSource)}, "Class not part of reflection"},
        {"not movable", {Obj(Note("x", m_pBareClass)), Obj(pSource)}, "Class is not movable"},
        {"move fails", {Obj(pTarget), Obj(Note("fail"))}, "note refused"},
    };
    for (const Case& c : refused) {
        Result failed = Reflect("move", c.args);
        EXPECT_FALSE(failed.m_bOk) << c.szName;
        EXPECT_EQ(failed.m_strError, c.szError) << c.szName;
    }
}

TEST_F(ReflectionNativesTest, ToString)
{
    EXPECT_EQ(Reflect("tostring", {Obj(Note("hello"))}).String(), "hello");
    EXPECT_EQ(Reflect("tostring", {Obj(Note(std::string("cut\0here", 8)))}).String(), "cut");

    struct Case
    {
        const char* szName;
        std::vector<Value> args;
        const char* szError;
    };
    const Case refused[] = {
        {"no argument", {}, "Expected Object for argument 1"},
        {"no class", {Obj(MakeStrong<CBaseObject>())}, "Class not part of reflection"},
        {"no toString", {Obj(Note("x", m_pBareClass))}, "Class doesn't implement ToString"},
        {"returns nothing", {Obj(Note("nothing"))}, "ToString didn't return anything"},
        {"returns a number", {Obj(Note("number"))}, "ToString didn't return a string"},
        {"fails", {Obj(Note("fail"))}, "note refused"},
    };
    for (const Case& c : refused) {
        Result failed = Reflect("tostring", c.args);
        EXPECT_FALSE(failed.m_bOk) << c.szName;
        EXPECT_EQ(failed.m_strError, c.szError) << c.szName;
    }
}

TEST_F(ReflectionNativesTest, CreateFunctionAndCall)
{
    auto pAdder = MakeStrong<CAdder>();
    Result made = Reflect("createFunction", {Fn(pAdder)});
    ASSERT_TRUE(made.m_bOk) << made.m_strError;
    ASSERT_EQ(made.m_pValue->GetType(), ARGUMENT_OBJECT);
    EXPECT_EQ(made.Object(), pAdder.Get());
    EXPECT_EQ(pAdder->GetReflectedClass(), m_Scripting.m_pFunctionClass);
    EXPECT_EQ(Reflect("createFunction", {Obj(pAdder)}).m_strError, "Expected Function for argument 1");

    Result sum = Reflect("call", {made.m_pValue, Int(2), Double(3.5), Long(10)});
    ASSERT_TRUE(sum.m_bOk) << sum.m_strError;
    EXPECT_EQ(sum.Integer(), 15);
    Result empty = Reflect("call", {made.m_pValue});
    EXPECT_EQ(empty.Integer(), 0);

    EXPECT_EQ(Reflect("call", {Obj(Note("x"))}).m_strError, "Expected Function for argument 1");
    EXPECT_EQ(Reflect("call", {Fn(pAdder)}).m_strError, "Expected Function for argument 1");
    Result failed = Reflect("call", {made.m_pValue, Str("x")});
    EXPECT_FALSE(failed.m_bOk);
    EXPECT_EQ(failed.m_strError, "adder wants numbers");
}

TEST_F(ReflectionNativesTest, PlatformAndSdl)
{
    auto property = [&](const char* szNamespace, const char* szName) {
        ReflectedProperty* pProperty = m_Scripting.m_Global.FindNamespace(szNamespace)->FindProperty(szName);
        EXPECT_NE(pProperty, nullptr) << szName;
        EXPECT_TRUE(pProperty->IsReadOnly());
        return Call(&m_Scripting, ReflectedFunction(pProperty->m_Getter, pProperty->m_pUser, false), nullptr, {});
    };
    EXPECT_EQ(property("platform", "name").String(), "Linux");
    EXPECT_EQ(property("platform", "modState").Integer(), 0);
    EXPECT_EQ(property("sdl", "platform").String(), "Linux");
    EXPECT_EQ(CallGlobal(&m_Scripting, "sdl", "getModState", {}).Integer(), 0);
    for (const char* szNamespace : {"platform", "sdl"}) {
        uint32_t uiBefore = GetTickCount32();
        Result ticks = property(szNamespace, "ticks");
        ASSERT_EQ(ticks.m_pValue->GetType(), ARGUMENT_INTEGER);
        EXPECT_LE(static_cast<uint32_t>(ticks.Integer()) - uiBefore, 1000u);
    }
}
