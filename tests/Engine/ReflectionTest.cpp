// The registry itself: namespaces, classes, properties, binding slots, masks, engines.
#include "ScriptingTesting.h"

#include <Engine/Context.h>

#include <gtest/gtest.h>

#include <algorithm>

using namespace Torvane3D;
using namespace ScriptingTesting;

namespace
{
    struct CLogCapture : ILogListener
    {
        CLogCapture() { AddLogListener(this); }
        ~CLogCapture() override { RemoveLogListener(this); }
        void OnLogMessage(eLogType level, const char* szText) override
        {
            if (level == LOG_ERROR)
                m_Lines.emplace_back(szText);
        }
        std::vector<std::string> m_Lines;
    };

    typedef CObjectValue<int32_t> CCounter;

    // A small API made in the test: namespace "game" (alias "gta") with a class Counter
    // (constructor, method add, property value) and its subclass StepCounter (property step).
    struct TestRegistry
    {
        static bool Construct(CNativeState* pState, int, void* pUser)
        {
            auto pCounter = MakeStrong<CCounter>(0);
            pCounter->SetReflectedClass(static_cast<ReflectedClass*>(pUser));
            if (pState->GetArgumentCount() > 0 && !pState->CheckNumber(0, pCounter->m_Value))
                return false;
            pState->m_RVal.AddObject(pCounter);
            return true;
        }
        static bool Add(CNativeState* pState, int, void* pUser)
        {
            CCounter* pCounter;
            int32_t iStep;
            if (!pState->GetThis(static_cast<ReflectedClass*>(pUser), &pCounter) || !pState->CheckNumber(0, iStep))
                return false;
            pCounter->m_Value += iStep;
            pState->m_RVal.AddNumber(pCounter->m_Value);
            return true;
        }
        static bool GetValue(CNativeState* pState, int, void* pUser)
        {
            CCounter* pCounter;
            if (!pState->GetThis(static_cast<ReflectedClass*>(pUser), &pCounter))
                return false;
            pState->m_RVal.AddNumber(pCounter->m_Value);
            return true;
        }
        static bool SetValue(CNativeState* pState, int, void* pUser)
        {
            CCounter* pCounter;
            if (!pState->GetThis(static_cast<ReflectedClass*>(pUser), &pCounter) ||
                !pState->CheckNumber(0, pCounter->m_Value))
                return false;
            return true;
        }
        static bool GetStep(CNativeState* pState, int, void*)
        {
            pState->m_RVal.AddNumber(int32_t(10));
            return true;
        }

        explicit TestRegistry(CScripting* pScripting)
        {
            m_pGame = pScripting->m_Global.AddNamespace("game");
            m_pGame->SetAlias("gta");
            m_pCounter = m_pGame->NewClass("Counter");
            m_pCounter->RegisterConstructor("t|i", Construct, m_pCounter);
            m_pCounter->RegisterFunction("add", "ti", Add, m_pCounter);
            m_pCounter->AddProperty(m_pCounter, "value", ARGUMENT_INTEGER, GetValue, SetValue);
            m_pStepCounter = m_pGame->NewClass("StepCounter", m_pCounter);
            m_pStepCounter->RegisterConstructor("t|i", Construct, m_pStepCounter);
            m_pStepCounter->AddProperty(nullptr, "step", ARGUMENT_INTEGER, GetStep);
        }

        ReflectedNamespace* m_pGame;
        ReflectedClass* m_pCounter;
        ReflectedClass* m_pStepCounter;
    };

    struct CTestVM : CScriptingVM
    {
        CTestVM(CScripting* pScripting, std::vector<std::string>* pLog, std::string strName, bool bDefines = true)
            : CScriptingVM(pScripting), m_pLog(pLog), m_strName(std::move(strName)), m_bDefines(bDefines)
        {
        }
        bool DefineClasses() override
        {
            m_pLog->push_back("define " + m_strName);
            return m_bDefines;
        }
        void CollectGarbage() override { m_pLog->push_back("collect " + m_strName); }
        CScriptEnvironment* CreateEnvironment(const char*) override { return nullptr; }

        std::vector<std::string>* m_pLog;
        std::string m_strName;
        bool m_bDefines;
    };
}

TEST(Reflection, RequiredArgumentsFromMasks)
{
    struct Case
    {
        const char* szMask;
        int iRequired;
    };
    const Case cases[] = {
        {"s|i", 1}, {"sxf", 3}, {"tv", 1}, {"txx*", 2}, {"", 0}, {"t", 0}, {"*", 0}, {"|sss", 0}, {"z*", 1},
        {"iii|i", 3}, {"...", 3}, {"tff", 2}, {"sf", 2}, {nullptr, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ScriptFunction::CountRequiredArguments(c.szMask), c.iRequired) << (c.szMask ? c.szMask : "null");
    EXPECT_EQ(ScriptFunction("f", "tsi|b", nullptr).GetRequiredArgumentCount(), 2);
}

TEST(Reflection, NamespacesAndClasses)
{
    ReflectedNamespace global("global");
    ReflectedNamespace* pGame = global.AddNamespace("game");
    pGame->SetAlias("gta");
    EXPECT_EQ(global.AddNamespace("game"), pGame);
    EXPECT_NE(global.AddNamespace("Game"), pGame); // names are case-sensitive
    EXPECT_STREQ(pGame->GetAlias(), "gta");
    ReflectedNamespace* pTime = global.FindNamespace("game")->AddNamespace("time");
    EXPECT_EQ(pGame->FindNamespace("time"), pTime);
    EXPECT_EQ(global.GetAlias(), nullptr);

    ReflectedClass* pVec3 = global.NewClass("Vec3");
    ReflectedClass* pMatrix = global.NewClass("Matrix4x4");
    ReflectedClass* pStream = global.NewClass("Stream");
    ReflectedClass* pVec2 = global.NewClass("Vec2");
    EXPECT_EQ(global.m_pVector3Class, pVec3);
    EXPECT_EQ(global.m_pMatrixClass, pMatrix);
    EXPECT_EQ(global.m_pStreamClass, pStream);
    EXPECT_EQ(global.m_pVector2Class, pVec2);
    EXPECT_EQ(pGame->m_pVector2Class, nullptr);
    ReflectedClass* pSecond = global.NewClass("Vec3");
    EXPECT_NE(pSecond, pVec3);
    EXPECT_EQ(global.m_Classes.size(), 5u);

    ReflectedFunction* pFunction = global.RegisterFunction("f", "s|i", nullptr, &global, true);
    EXPECT_TRUE(pFunction->m_bObsolete);
    EXPECT_EQ(pFunction->m_pUser, &global);
    EXPECT_STREQ(pFunction->m_Function.GetMask(), "s|i");
    ScriptFunction prepared("g", "x", nullptr);
    EXPECT_STREQ(global.RegisterFunction(&prepared)->GetName(), "g");
    EXPECT_EQ(global.FindFunction("g"), global.m_Functions[1].get());
    ReflectedProperty* pProperty = global.AddProperty(nullptr, "p", ARGUMENT_STRING, nullptr);
    EXPECT_TRUE(pProperty->IsReadOnly());
    EXPECT_STREQ(pProperty->m_Getter.GetMask(), "");
    EXPECT_STREQ(ReflectedProperty::GetTypeName(pProperty->m_ucType), "string");
    EXPECT_STREQ(ReflectedProperty::GetTypeName(ARGUMENT_LONGINTEGER), "int64");

    global.Clear();
    EXPECT_EQ(global.m_pVector3Class, nullptr);
    EXPECT_TRUE(global.m_Classes.empty());
}

TEST(Reflection, ClassesWithConstructorMethodsAndInheritedProperties)
{
    CScripting scripting;
    TestRegistry api(&scripting);
    ASSERT_EQ(scripting.m_Global.FindNamespace("game"), api.m_pGame);
    EXPECT_STREQ(api.m_pCounter->m_Constructor.GetName(), "Counter");
    EXPECT_EQ(api.m_pCounter->m_Constructor.m_Function.GetRequiredArgumentCount(), 0);
    EXPECT_STREQ(api.m_pCounter->GetProperty("value")->m_Getter.GetMask(), "t");

    Strong<CBaseObject> pCounter = New(&scripting, api.m_pStepCounter, {Int(5)});
    ASSERT_TRUE(pCounter);
    EXPECT_TRUE(pCounter->GetReflectedClass()->IsA(api.m_pCounter));
    EXPECT_FALSE(api.m_pCounter->IsA(api.m_pStepCounter));

    // Methods and properties of the parent work on the subclass.
    Result added = Call(&scripting, *api.m_pCounter->FindFunction("add"), pCounter, {Int(3)});
    ASSERT_TRUE(added.m_bOk) << added.m_strError;
    EXPECT_EQ(added.Integer(), 8);
    EXPECT_EQ(api.m_pStepCounter->GetProperty("value"), api.m_pCounter->GetProperty("value"));
    EXPECT_TRUE(SetProperty(&scripting, pCounter, "value", Double(41.7)).m_bOk);
    EXPECT_EQ(GetProperty(&scripting, pCounter, "value").Integer(), 41);
    EXPECT_EQ(GetProperty(&scripting, pCounter, "step").Integer(), 10);

    // The parent does not see the subclass's properties.
    EXPECT_EQ(api.m_pCounter->GetProperty("step"), nullptr);
    EXPECT_STREQ(GetLastError(), "Property step not found.");

    // A method refuses an object of the parent class where it wants the subclass, and a
    // missing object.
    Strong<CBaseObject> pPlain = New(&scripting, api.m_pCounter, {});
    ReflectedFunction getter(api.m_pStepCounter->GetProperty("value")->m_Getter, api.m_pStepCounter, false);
    EXPECT_EQ(Call(&scripting, getter, pPlain, {}).m_strError, "StepCounter expected for 'this'");
    EXPECT_EQ(Call(&scripting, getter, nullptr, {}).m_strError, "'this' is null");
}

TEST(Reflection, BindingSlotsAreBounded)
{
    static std::vector<uintptr_t> s_Destroyed;
    s_Destroyed.clear();
    auto destroy = [](void** ppData) {
        s_Destroyed.push_back(reinterpret_cast<uintptr_t>(*ppData));
        *ppData = nullptr;
    };
    {
        ReflectedClass klass("K", nullptr);
        for (uintptr_t i = 0; i < 16; ++i)
            EXPECT_TRUE(klass.m_UserData.AddUserData(uint32_t(100 + i), destroy, reinterpret_cast<void*>(i + 1)));
        CLogCapture log;
        EXPECT_FALSE(klass.m_UserData.AddUserData(999, destroy, reinterpret_cast<void*>(999)));
        EXPECT_EQ(klass.m_UserData.GetCount(), 16u);
        EXPECT_EQ(klass.m_UserData.GetUserData(999), nullptr);
        EXPECT_EQ(klass.m_UserData.GetUserData(103), reinterpret_cast<void*>(4));
        EXPECT_FALSE(log.m_Lines.empty());
        bool bAsserted = false;
        for (const std::string& line : log.m_Lines)
            bAsserted |= line.find("m_Count < ARRAY_COUNT(m_rgSlots)") != std::string::npos;
        EXPECT_TRUE(bAsserted);
    }
    // The destructors ran once each, with the data word of their slot; the refused one never ran.
    ASSERT_EQ(s_Destroyed.size(), 16u);
    std::sort(s_Destroyed.begin(), s_Destroyed.end());
    for (uintptr_t i = 0; i < 16; ++i)
        EXPECT_EQ(s_Destroyed[i], i + 1);

    // Clearing a namespace runs the destructors of its classes.
    s_Destroyed.clear();
    ReflectedNamespace ns("ns");
    ns.NewClass("A")->m_UserData.AddUserData(1, destroy, reinterpret_cast<void*>(7));
    ns.AddNamespace("child")->NewClass("B")->m_UserData.AddUserData(1, destroy, reinterpret_cast<void*>(8));
    ns.Clear();
    EXPECT_EQ(s_Destroyed.size(), 2u);
}

TEST(Reflection, EngineTable)
{
    CScripting scripting;
    std::vector<std::string> log;
    CTestVM lua(&scripting, &log, "Lua"), js(&scripting, &log, "SpiderMonkey"), sq(&scripting, &log, "Squirrel");
    EXPECT_TRUE(scripting.AddVM(CScripting::GetVMKey("Lua"), &lua));
    EXPECT_TRUE(scripting.AddVM(CScripting::GetVMKey("SpiderMonkey"), &js));
    EXPECT_TRUE(scripting.AddVM(CScripting::GetVMKey("Squirrel"), &sq));
    EXPECT_EQ(scripting.GetVM("Squirrel"), &sq);
    EXPECT_EQ(scripting.GetVM("squirrel"), nullptr);
    EXPECT_EQ(scripting.GetVM("Lua"), &lua);
    EXPECT_EQ(CScripting::GetVMKey("123456789"), 0xCBF43926u); // the CRC-32 check value

    EXPECT_TRUE(scripting.DefineClasses());
    EXPECT_EQ(log, (std::vector<std::string>{"define Lua", "define SpiderMonkey", "define Squirrel"}));
    log.clear();
    ASSERT_TRUE(CallGlobal(&scripting, nullptr, "collectAllGarbage", {}).m_bOk);
    EXPECT_EQ(log, (std::vector<std::string>{"collect Lua", "collect SpiderMonkey", "collect Squirrel"}));

    // The table holds 16; the 17th is refused and nothing is written past it.
    std::vector<std::unique_ptr<CTestVM>> more;
    for (int i = 3; i < 16; ++i) {
        more.push_back(std::make_unique<CTestVM>(&scripting, &log, "vm" + std::to_string(i)));
        EXPECT_TRUE(scripting.AddVM(CScripting::GetVMKey(more.back()->m_strName.c_str()), more.back().get()));
    }
    CTestVM extra(&scripting, &log, "extra");
    CLogCapture errors;
    EXPECT_FALSE(scripting.AddVM(CScripting::GetVMKey("extra"), &extra));
    EXPECT_EQ(scripting.GetVMCount(), 16u);
    EXPECT_EQ(scripting.GetVM("extra"), nullptr);
    bool bAsserted = false;
    for (const std::string& line : errors.m_Lines)
        bAsserted |= line.find("m_VMCount < ARRAY_COUNT(m_rgVMs)") != std::string::npos;
    EXPECT_TRUE(bAsserted);

    // A failing engine stops the definition pass.
    CScripting other;
    log.clear();
    CTestVM good(&other, &log, "a"), bad(&other, &log, "b", false), never(&other, &log, "c");
    other.AddVM(1, &good);
    other.AddVM(2, &bad);
    other.AddVM(3, &never);
    EXPECT_FALSE(other.DefineClasses());
    EXPECT_EQ(log, (std::vector<std::string>{"define a", "define b"}));
}

TEST(Reflection, FunctionsWithoutCallbacks)
{
    CScripting scripting;
    ReflectedFunction* pEmpty = scripting.m_Global.RegisterFunction("nothing", "", nullptr);
    Result r = Call(&scripting, *pEmpty, nullptr, {});
    EXPECT_FALSE(r.m_bOk);
    EXPECT_EQ(r.m_strError, "Cannot call nothing");

    // A module callback runs through the module layer's caller once it is installed.
    static int s_iCalls = 0;
    auto moduleNative = [](Interfaces::INativeState*, int, void*) { return true; };
    ScriptFunction module("fromModule", "", nullptr, moduleNative);
    ReflectedFunction* pModule = scripting.m_Global.RegisterFunction(&module);
    EXPECT_EQ(Call(&scripting, *pModule, nullptr, {}).m_strError, "Cannot call fromModule");
    ScriptFunction::SetModuleCaller([](CNativeState* pState, ModuleNativeCallback pfn, int argc, void* pUser) {
        ++s_iCalls;
        pState->m_RVal.AddNumber(int32_t(argc));
        return pfn(nullptr, argc, pUser);
    });
    Result called = Call(&scripting, *pModule, nullptr, {Int(1), Int(2)});
    ScriptFunction::SetModuleCaller(nullptr);
    EXPECT_TRUE(called.m_bOk);
    EXPECT_EQ(called.Integer(), 2);
    EXPECT_EQ(s_iCalls, 1);
}
