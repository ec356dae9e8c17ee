#include "Rules.h"

#include <gtest/gtest.h>

TEST(Rules, OrderedExactNamesReplaceInPlace)
{
    CRules rules;
    rules.Set("Version", "1.7.1");
    rules.Set("map", "a");
    rules.Set("Map", "b");  // another rule: names are case-sensitive
    rules.Set("map", "c");  // replaced in place
    ASSERT_EQ(rules.GetCount(), 3u);
    EXPECT_EQ(rules.GetRule(0).m_strName, "Version");
    EXPECT_EQ(rules.GetRule(1).m_strName, "map");
    EXPECT_EQ(rules.GetRule(1).m_strValue, "c");
    EXPECT_EQ(rules.GetRule(2).m_strName, "Map");
    ASSERT_NE(rules.Get("Map"), nullptr);
    EXPECT_EQ(*rules.Get("Map"), "b");
    EXPECT_EQ(rules.Get("nothing"), nullptr);
}
