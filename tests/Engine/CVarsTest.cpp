#include <Engine/CVars.h>

#include <gtest/gtest.h>

using namespace Torvane3D;

TEST(CVarSystem, NamesIgnoreCaseAndKeepFirstSpelling)
{
    CVarSystem vars;
    EXPECT_EQ(vars.Find("trainers"), nullptr);
    CVar* pVar = vars.Set("Trainers", "0");
    pVar->m_bReadOnly = true;
    CVar* pSame = vars.Set("TRAINERS", "1");
    EXPECT_EQ(pSame, pVar);
    EXPECT_EQ(vars.GetCount(), 1u);
    EXPECT_EQ(pVar->m_strName, "Trainers");
    EXPECT_EQ(pVar->m_strValue, "1");
    EXPECT_TRUE(pVar->m_bReadOnly); // Set never touches the flag
    EXPECT_EQ(vars.Find("trainers"), pVar);
}

TEST(CVarSystem, CreationOrderIsKept)
{
    CVarSystem vars;
    const char* names[] = {"zeta", "alpha", "Mid", "beta"};
    for (const char* n : names)
        vars.Set(n, "x");
    ASSERT_EQ(vars.GetCount(), 4u);
    for (size_t i = 0; i < 4; ++i)
        EXPECT_EQ(vars.Get(i).m_strName, names[i]);
    vars.Clear();
    EXPECT_EQ(vars.GetCount(), 0u);
    EXPECT_EQ(vars.Find("zeta"), nullptr);
}
