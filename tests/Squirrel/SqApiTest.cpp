#include <Squirrel/Squirrel.h>

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstring>
#include <string>
#include <vector>

using namespace Torvane3D::Squirrel;

namespace
{
    std::string g_strPrinted;
    std::string g_strErrors;

    void CapturePrint(CSqVM*, const char* szFormat, ...)
    {
        char buffer[4096];
        va_list args;
        va_start(args, szFormat);
        vsnprintf(buffer, sizeof(buffer), szFormat, args);
        va_end(args);
        g_strPrinted += buffer;
    }

    void CaptureError(CSqVM*, const char* szFormat, ...)
    {
        char buffer[4096];
        va_list args;
        va_start(args, szFormat);
        vsnprintf(buffer, sizeof(buffer), szFormat, args);
        va_end(args);
        g_strErrors += buffer;
    }

    class SqApi : public ::testing::Test
    {
    protected:
        void SetUp() override
        {
            g_strPrinted.clear();
            g_strErrors.clear();
            m_pVM = CSqVM::Open(1024);
            m_pVM->SetPrintFunctions(CapturePrint, CaptureError);
        }
        void TearDown() override { m_pVM->Close(); }

        // Compiles and runs with the root table as `this`; the result (if any) is left on the stack.
        bool Run(const char* szSource, bool bReturn = false, CSqVM* pVM = nullptr)
        {
            CSqVM* vm = pVM ? pVM : m_pVM;
            if (!vm->Compile(szSource, strlen(szSource), "test.nut", true))
                return false;
            vm->PushRootTable();
            bool bOk = vm->Call(1, bReturn, true);
            if (bReturn && bOk) {
                vm->Remove(-2); // the function
            } else {
                vm->Pop(1);
            }
            return bOk;
        }

        std::string LastErrorText(CSqVM* vm)
        {
            vm->PushLastError();
            const char* sz = "";
            std::string s = vm->GetString(-1, &sz) ? sz : "(not a string)";
            vm->Pop(1);
            return s;
        }

        CSqVM* m_pVM = nullptr;
    };

    // ---- natives used by the tests ----
    int NativeAdd(CSqVM* vm)
    {
        SqInteger a = 0, b = 0;
        vm->GetInteger(2, &a);
        vm->GetInteger(3, &b);
        auto* pBias = static_cast<SqInteger*>(vm->GetNativeUserPointer());
        vm->PushInteger(a + b + (pBias ? *pBias : 0));
        return 1;
    }

    int NativeFail(CSqVM* vm) { return vm->ThrowError("native failure %d", 42); }

    int NativeFreeVar(CSqVM* vm)
    {
        // The free variable follows the arguments.
        vm->Push(-1);
        return 1;
    }

    std::vector<std::string> g_Stack;
    std::string g_strHandlerError;
    int ErrorHandler(CSqVM* vm)
    {
        const char* sz = "";
        g_strHandlerError = vm->GetString(2, &sz) ? sz : "(non-string)";
        SSqStackInfo info;
        g_Stack.clear();
        for (int iLevel = 1; vm->GetStackInfo(iLevel, &info); ++iLevel)
            g_Stack.push_back(std::string(info.szFunction) + "@" + info.szSource + ":" + std::to_string(info.iLine));
        return 0;
    }

    std::string g_strCompileError;
    void CompileErrorHandler(CSqVM*, const char* szDescription, const char* szSource, int iLine, int iColumn)
    {
        g_strCompileError = std::string(szSource) + "(" + std::to_string(iLine) + "," + std::to_string(iColumn) + "): " + szDescription;
    }

    int g_iReleased = 0;
    void* g_pReleasedPointer = nullptr;
    void ReleaseHook(void* p, void*)
    {
        ++g_iReleased;
        g_pReleasedPointer = p;
    }
}

TEST_F(SqApi, CompileCallAndReturnValues)
{
    ASSERT_TRUE(Run("return 6 * 7;", true));
    SqInteger i = 0;
    EXPECT_TRUE(m_pVM->GetInteger(-1, &i));
    EXPECT_EQ(i, 42);
    m_pVM->Pop(1);
    EXPECT_EQ(m_pVM->GetTop(), 0);

    ASSERT_TRUE(Run("print(\"hi \" + 1.5);"));
    EXPECT_EQ(g_strPrinted, "hi 1.5");
    ASSERT_TRUE(Run("error(\"bad\");"));
    EXPECT_EQ(g_strErrors, "bad");

    // Calling a script function with arguments, with and without a result.
    ASSERT_TRUE(Run("function mul(a, b) { return a * b; }"));
    m_pVM->PushRootTable();
    m_pVM->PushString("mul");
    ASSERT_TRUE(m_pVM->Get(-2));
    m_pVM->PushRootTable();
    m_pVM->PushInteger(3);
    m_pVM->PushFloat(0.5f);
    ASSERT_TRUE(m_pVM->Call(3, true, true));
    SqFloat f = 0;
    EXPECT_TRUE(m_pVM->GetFloat(-1, &f));
    EXPECT_FLOAT_EQ(f, 1.5f);
    m_pVM->Pop(1);
    EXPECT_EQ(m_pVM->GetType(-1), SQ_CLOSURE); // the function stays
    m_pVM->PushRootTable();
    m_pVM->PushInteger(1);
    m_pVM->PushInteger(2);
    ASSERT_TRUE(m_pVM->Call(3, false, true));
    EXPECT_EQ(m_pVM->GetTop(), 2);
    m_pVM->SetTop(0);
}

TEST_F(SqApi, CompileErrorsReportLineAndColumn)
{
    m_pVM->SetCompileErrorHandler(CompileErrorHandler);
    g_strCompileError.clear();
    const char* szBad = "local a = 1;\nlocal x = ;";
    EXPECT_FALSE(m_pVM->Compile(szBad, strlen(szBad), "broken.nut", true));
    EXPECT_EQ(g_strCompileError, "broken.nut(2,12): expression expected");
    EXPECT_EQ(LastErrorText(m_pVM), "expression expected");
    // Without raising, the handler is not called.
    g_strCompileError.clear();
    EXPECT_FALSE(m_pVM->Compile(szBad, strlen(szBad), "broken.nut", false));
    EXPECT_TRUE(g_strCompileError.empty());
    EXPECT_EQ(m_pVM->GetTop(), 0);
}

TEST_F(SqApi, RuntimeErrorHandlerWalksTheStackBeforeUnwinding)
{
    m_pVM->NewClosure(ErrorHandler);
    m_pVM->SetErrorHandler();
    g_Stack.clear();
    const char* szSource = "function inner() {\n"
                           "  return undefined_thing;\n"
                           "}\n"
                           "function outer() { return inner(); }\n"
                           "outer();\n";
    EXPECT_FALSE(Run(szSource));
    EXPECT_EQ(g_strHandlerError, "the index 'undefined_thing' does not exist");
    ASSERT_EQ(g_Stack.size(), 3u);
    EXPECT_EQ(g_Stack[0], "inner@test.nut:2");
    EXPECT_EQ(g_Stack[1], "outer@test.nut:4");
    EXPECT_EQ(g_Stack[2], "main@test.nut:5");
    EXPECT_EQ(LastErrorText(m_pVM), "the index 'undefined_thing' does not exist");

    // A caught error does not reach the handler; one raised without the flag neither.
    g_Stack.clear();
    EXPECT_TRUE(Run("try { outer(); } catch (e) {}"));
    EXPECT_TRUE(g_Stack.empty());
    const char* szThrow = "throw \"quiet\";";
    ASSERT_TRUE(m_pVM->Compile(szThrow, strlen(szThrow), "q.nut", true));
    m_pVM->PushRootTable();
    EXPECT_FALSE(m_pVM->Call(1, false, false));
    m_pVM->Pop(1);
    EXPECT_TRUE(g_Stack.empty());
    EXPECT_EQ(m_pVM->GetTop(), 0);
}

TEST_F(SqApi, NativeClosuresWithUserPointersNamesAndChecks)
{
    SqInteger iBias = 100;
    m_pVM->PushRootTable();
    m_pVM->PushString("add");
    m_pVM->NewClosure(NativeAdd, 0, &iBias);
    EXPECT_TRUE(m_pVM->SetNativeClosureName(-1, "add"));
    EXPECT_TRUE(m_pVM->SetParamsCheck(-1, 3, ".ii"));
    ASSERT_TRUE(m_pVM->NewSlot(-3, false));
    m_pVM->PushString("fail");
    m_pVM->NewClosure(NativeFail);
    ASSERT_TRUE(m_pVM->NewSlot(-3, false));
    m_pVM->PushString("freevar");
    m_pVM->PushString("bound value");
    m_pVM->NewClosure(NativeFreeVar, 1);
    ASSERT_TRUE(m_pVM->NewSlot(-3, false));
    m_pVM->Pop(1);

    ASSERT_TRUE(Run("return add(1, 2);", true));
    SqInteger i = 0;
    m_pVM->GetInteger(-1, &i);
    EXPECT_EQ(i, 103);
    m_pVM->Pop(1);

    ASSERT_TRUE(Run("local r = []; foreach (f in [@() add(1), @() add(1, \"x\"), @() fail()]) "
                    "{ try { f(); } catch (e) { r.push(e); } } return r[0] + \"|\" + r[1] + \"|\" + r[2] + \"|\" + add.getinfos().name;",
                    true));
    const char* sz = "";
    ASSERT_TRUE(m_pVM->GetString(-1, &sz));
    EXPECT_STREQ(sz, "wrong number of parameters|parameter 2 has an invalid type 'string' ; expected: 'integer'|native failure 42|add");
    m_pVM->Pop(1);

    ASSERT_TRUE(Run("return freevar();", true));
    ASSERT_TRUE(m_pVM->GetString(-1, &sz));
    EXPECT_STREQ(sz, "bound value");
    m_pVM->Pop(1);
}

TEST_F(SqApi, ThreadsHaveTheirOwnRootTablesAndShareTheConstantTable)
{
    CSqHandle thread1, thread2;
    CSqVM* t1 = m_pVM->NewThread(1024);
    m_pVM->GetHandle(-1, &thread1);
    m_pVM->Pop(1);
    CSqVM* t2 = m_pVM->NewThread(1024);
    m_pVM->GetHandle(-1, &thread2);
    m_pVM->Pop(1);
    for (CSqVM* t : {t1, t2}) {
        t->NewTable();
        // Each root table gets print so the scripts can run.
        t->PushString("print");
        m_pVM->PushRootTable();
        m_pVM->PushString("print");
        m_pVM->Get(-2);
        CSqHandle print;
        m_pVM->GetHandle(-1, &print);
        m_pVM->Pop(2);
        t->PushHandle(print);
        t->NewSlot(-3, false);
        ASSERT_TRUE(t->SetRootTable());
    }
    ASSERT_TRUE(Run("value <- 1; const SHARED = 7;", false, t1));
    ASSERT_TRUE(Run("value <- 2;", false, t2));
    ASSERT_TRUE(Run("return value * 10 + SHARED;", true, t1));
    SqInteger i = 0;
    t1->GetInteger(-1, &i);
    EXPECT_EQ(i, 17);
    t1->Pop(1);
    ASSERT_TRUE(Run("return value;", true, t2));
    t2->GetInteger(-1, &i);
    EXPECT_EQ(i, 2);
    t2->Pop(1);
    EXPECT_FALSE(Run("return value;", true)); // not in the main root table

    // A constant table per environment: switch it around a compile.
    m_pVM->PushConstTable();
    CSqHandle mainConsts;
    m_pVM->GetHandle(-1, &mainConsts);
    m_pVM->Pop(1);
    m_pVM->NewTable();
    ASSERT_TRUE(m_pVM->SetConstTable());
    EXPECT_FALSE(Run("return SHARED;", true, t2));
    m_pVM->PushHandle(mainConsts);
    ASSERT_TRUE(m_pVM->SetConstTable());
    ASSERT_TRUE(Run("return SHARED;", true, t2));
    t2->Pop(1);
}

TEST_F(SqApi, ClassesWithTypeTagsHonouredBySubclasses)
{
    static const int s_TagA = 0, s_TagOther = 0;
    m_pVM->PushRootTable();
    m_pVM->PushString("Native");
    ASSERT_TRUE(m_pVM->NewClass(false));
    ASSERT_TRUE(m_pVM->SetTypeTag(-1, &s_TagA));
    m_pVM->PushString("constructor");
    m_pVM->NewClosure([](CSqVM* vm) -> int {
        static int s_iObject = 5;
        vm->SetInstanceUP(1, &s_iObject);
        return 0;
    });
    ASSERT_TRUE(m_pVM->NewSlot(-3, false));
    ASSERT_TRUE(m_pVM->NewSlot(-3, false));
    m_pVM->Pop(1);

    ASSERT_TRUE(Run("class Derived extends Native { extra = 1; } return Derived();", true));
    void* p = nullptr;
    EXPECT_TRUE(m_pVM->GetInstanceUP(-1, &p, &s_TagA));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(*static_cast<int*>(p), 5);
    EXPECT_FALSE(m_pVM->GetInstanceUP(-1, &p, &s_TagOther));
    EXPECT_TRUE(m_pVM->GetInstanceUP(-1, &p, nullptr));
    const void* pTag = nullptr;
    m_pVM->GetClass(-1);
    EXPECT_TRUE(m_pVM->GetTypeTag(-1, &pTag));
    EXPECT_EQ(pTag, nullptr); // the subclass has no tag of its own
    m_pVM->GetBase(-1);
    EXPECT_TRUE(m_pVM->GetTypeTag(-1, &pTag));
    EXPECT_EQ(pTag, &s_TagA);
    m_pVM->Push(-3);
    m_pVM->Push(-2);
    EXPECT_TRUE(m_pVM->InstanceOf());
    m_pVM->SetTop(0);
}

TEST_F(SqApi, InstancesWithoutConstructorAndImmediateReleaseHooks)
{
    ASSERT_TRUE(Run("class Thing { value = 3; constructor() { value = 99; } }"));
    m_pVM->PushRootTable();
    m_pVM->PushString("Thing");
    ASSERT_TRUE(m_pVM->Get(-2));
    ASSERT_TRUE(m_pVM->CreateInstance(-1));
    static int s_iData = 1;
    ASSERT_TRUE(m_pVM->SetInstanceUP(-1, &s_iData));
    ASSERT_TRUE(m_pVM->SetReleaseHook(-1, ReleaseHook));
    m_pVM->PushString("value");
    ASSERT_TRUE(m_pVM->Get(-2));
    SqInteger i = 0;
    m_pVM->GetInteger(-1, &i);
    EXPECT_EQ(i, 3); // the constructor did not run
    m_pVM->Pop(1);

    // Hand the instance to the script; the hook runs as soon as the last reference goes.
    m_pVM->PushRootTable();
    m_pVM->PushString("held");
    m_pVM->Push(-3);
    ASSERT_TRUE(m_pVM->NewSlot(-3, false));
    m_pVM->SetTop(0);
    g_iReleased = 0;
    ASSERT_TRUE(Run("local before = ::held.value; delete ::held; return before;", true));
    EXPECT_EQ(g_iReleased, 1);
    EXPECT_EQ(g_pReleasedPointer, &s_iData);
    m_pVM->Pop(1);

    // A class hook applies to its instances; a cycle is released by the collector.
    m_pVM->PushRootTable();
    m_pVM->PushString("Thing");
    ASSERT_TRUE(m_pVM->Get(-2));
    ASSERT_TRUE(m_pVM->SetReleaseHook(-1, ReleaseHook));
    m_pVM->SetTop(0);
    g_iReleased = 0;
    ASSERT_TRUE(Run("local a = Thing(); a.value = a; a = null;"));
    EXPECT_EQ(g_iReleased, 0);
    EXPECT_GE(m_pVM->CollectGarbage(), 1);
    EXPECT_EQ(g_iReleased, 1);

    // Closing the VM releases what is left.
    g_iReleased = 0;
    ASSERT_TRUE(Run("kept <- Thing(); kept.value = kept;"));
    m_pVM->Close();
    EXPECT_EQ(g_iReleased, 1);
    m_pVM = CSqVM::Open(1024);
}

TEST_F(SqApi, StrongHandlesAndWeakReferences)
{
    CSqHandle table;
    ASSERT_TRUE(Run("return { name = \"kept\" };", true));
    ASSERT_TRUE(m_pVM->GetHandle(-1, &table));
    m_pVM->WeakRef(-1);
    CSqHandle weak;
    m_pVM->GetHandle(-1, &weak);
    EXPECT_EQ(weak.GetType(), SQ_WEAKREF);
    m_pVM->SetTop(0);
    m_pVM->CollectGarbage();

    // The handle keeps the table alive.
    m_pVM->PushHandle(weak);
    ASSERT_TRUE(m_pVM->GetWeakRefValue(-1));
    EXPECT_EQ(m_pVM->GetType(-1), SQ_TABLE);
    m_pVM->SetTop(0);

    CSqHandle copy = table;
    table.Reset();
    m_pVM->PushHandle(weak);
    m_pVM->GetWeakRefValue(-1);
    EXPECT_EQ(m_pVM->GetType(-1), SQ_TABLE);
    m_pVM->SetTop(0);
    copy.Reset();
    m_pVM->PushHandle(weak);
    m_pVM->GetWeakRefValue(-1);
    EXPECT_EQ(m_pVM->GetType(-1), SQ_NULL);
    m_pVM->SetTop(0);

    // A value type is its own weak reference.
    m_pVM->PushInteger(5);
    m_pVM->WeakRef(-1);
    EXPECT_EQ(m_pVM->GetType(-1), SQ_INTEGER);
    m_pVM->SetTop(0);
}

TEST_F(SqApi, StackAndSlotOperations)
{
    m_pVM->PushInteger(1);
    m_pVM->PushString("two", 3);
    m_pVM->PushBool(true);
    EXPECT_EQ(m_pVM->GetTop(), 3);
    m_pVM->Remove(2);
    EXPECT_EQ(m_pVM->GetType(2), SQ_BOOL);
    m_pVM->SetTop(5);
    EXPECT_EQ(m_pVM->GetType(5), SQ_NULL);
    m_pVM->SetTop(0);

    m_pVM->NewTable();
    m_pVM->PushString("a");
    m_pVM->PushInteger(1);
    ASSERT_TRUE(m_pVM->NewSlot(-3, false));
    m_pVM->PushString("b");
    m_pVM->PushString("x\0y", 3);
    ASSERT_TRUE(m_pVM->NewSlot(-3, false));
    EXPECT_EQ(m_pVM->GetSize(-1), 2);
    m_pVM->PushString("missing");
    EXPECT_FALSE(m_pVM->Get(-2));
    EXPECT_EQ(m_pVM->GetTop(), 1);
    m_pVM->PushString("b");
    ASSERT_TRUE(m_pVM->RawGet(-2));
    const char* p = nullptr;
    size_t n = 0;
    ASSERT_TRUE(m_pVM->GetString(-1, &p, &n));
    EXPECT_EQ(std::string(p, n), std::string("x\0y", 3));
    m_pVM->Pop(1);

    int nSeen = 0;
    m_pVM->PushNull();
    while (m_pVM->Next(-2)) {
        ++nSeen;
        m_pVM->Pop(2);
    }
    m_pVM->Pop(1);
    EXPECT_EQ(nSeen, 2);

    m_pVM->PushString("a");
    ASSERT_TRUE(m_pVM->DeleteSlot(-2, true));
    SqInteger i = 0;
    m_pVM->GetInteger(-1, &i);
    EXPECT_EQ(i, 1);
    m_pVM->SetTop(0);

    m_pVM->NewArray(2);
    m_pVM->PushInteger(7);
    ASSERT_TRUE(m_pVM->ArrayAppend(-2));
    EXPECT_EQ(m_pVM->GetSize(-1), 3);
    m_pVM->ToString(-1);
    ASSERT_TRUE(m_pVM->GetString(-1, &p));
    EXPECT_EQ(std::string(p).rfind("(array : 0x", 0), 0u);
    m_pVM->SetTop(0);
}

TEST_F(SqApi, SuspendedThreadWakesUpThroughTheInterface)
{
    ASSERT_TRUE(Run("function job(x) { local y = suspend(x + 1); return x + y; }"));
    CSqVM* t = m_pVM->NewThread(1024);
    CSqHandle keep;
    m_pVM->GetHandle(-1, &keep);
    m_pVM->Pop(1);
    t->PushRootTable();
    t->PushString("job");
    ASSERT_TRUE(t->Get(-2));
    t->PushRootTable();
    t->PushInteger(10);
    ASSERT_TRUE(t->Call(2, true, true));
    EXPECT_EQ(t->GetState(), SQ_THREAD_SUSPENDED);
    SqInteger i = 0;
    t->GetInteger(-1, &i);
    EXPECT_EQ(i, 11);
    t->Pop(1);
    t->PushInteger(5);
    ASSERT_TRUE(t->WakeUp(true, true, true));
    EXPECT_EQ(t->GetState(), SQ_THREAD_IDLE);
    t->GetInteger(-1, &i);
    EXPECT_EQ(i, 15);
}
