#include "VehicleColours.h"

#include <Engine/Context.h>
#include <Engine/Stream.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Torvane3D;

namespace
{
    class CWarnings : public ILogListener
    {
    public:
        CWarnings() { AddLogListener(this); }
        ~CWarnings() override { RemoveLogListener(this); }
        void OnLogMessage(eLogType level, const char* szText) override
        {
            if (level == LOG_WARN)
                m_Lines.push_back(szText);
        }
        std::vector<std::string> m_Lines;
    };

    size_t LoadText(CVehicleColours& colours, const std::string& text)
    {
        auto pStream = Strong<CMemoryStream>::Adopt(new CMemoryStream(text.data(), text.size()));
        return colours.Load(*pStream);
    }

    std::vector<int> Colours(const CVehicleColourDefinition& d)
    {
        return {d.m_iColours[0], d.m_iColours[1], d.m_iColours[2], d.m_iColours[3]};
    }
}

TEST(VehicleColours, LineForms)
{
    struct Case
    {
        const char* szLine;
        bool bAccepted;
        std::vector<int> colours;
    };
    const Case cases[] = {
        {"106 1 3", true, {1, 3, 0, 0}},
        {"106 1 3 7", true, {1, 3, 7, 0}},
        {"106 1 3 7 9", true, {1, 3, 7, 9}},
        {"106 1 3 7 9 11", true, {1, 3, 7, 9}}, // a sixth number is ignored
        {"106 300 3", true, {44, 3, 0, 0}},     // cut to the low 8 bits
        {"106 -1 3", true, {255, 3, 0, 0}},
        {"  106\t1   3\r", true, {1, 3, 0, 0}},
        {"106 1 3 # comment", true, {1, 3, 0, 0}},
        {"106 1", false, {}},
        {"106", false, {}},
        {"abc 1 3", false, {}},
        {"106,1,3", false, {}},
        {"  ", false, {}},
    };
    for (const Case& c : cases) {
        CWarnings warnings;
        CVehicleColours colours;
        size_t added = LoadText(colours, std::string(c.szLine) + "\n");
        auto& list = colours.FindDefinitions(106);
        if (c.bAccepted) {
            EXPECT_EQ(added, 1u) << c.szLine;
            ASSERT_EQ(list.size(), 1u) << c.szLine;
            EXPECT_FALSE(list[0].m_bRGB);
            EXPECT_EQ(Colours(list[0]), c.colours) << c.szLine;
            EXPECT_TRUE(warnings.m_Lines.empty()) << c.szLine;
        } else {
            EXPECT_EQ(added, 0u) << c.szLine;
            EXPECT_TRUE(list.empty()) << c.szLine;
            ASSERT_EQ(warnings.m_Lines.size(), 1u) << c.szLine;
            std::string expected = "vehiclecolours.conf[1] - bad syntax '" + std::string(c.szLine) + "'";
            EXPECT_EQ(warnings.m_Lines[0], expected);
        }
    }
}

TEST(VehicleColours, CommentsLineNumbersAndFileOrder)
{
    CWarnings warnings;
    CVehicleColours colours;
    const std::string text = "# GTA III\n"
                             "\n"
                             "\r\n"
                             "# bobcat\r\n"
                             "119 54 1\r\n"
                             "106 1 3\n"
                             "bad\n"
                             "119 14 1\n"
                             "119 54 1"; // last line without a line feed still counts
    EXPECT_EQ(LoadText(colours, text), 4u);
    ASSERT_EQ(warnings.m_Lines.size(), 1u);
    EXPECT_EQ(warnings.m_Lines[0], "vehiclecolours.conf[7] - bad syntax 'bad'");
    auto& list = colours.FindDefinitions(119);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(Colours(list[0]), (std::vector<int>{54, 1, 0, 0}));
    EXPECT_EQ(Colours(list[1]), (std::vector<int>{14, 1, 0, 0}));
    EXPECT_EQ(Colours(list[2]), (std::vector<int>{54, 1, 0, 0})); // duplicates are kept
    EXPECT_EQ(colours.FindDefinitions(106).size(), 1u);
}

TEST(VehicleColours, LineLongerThanBufferIsSkippedWhole)
{
    // 127 bytes fit the 128-byte buffer; 128 do not. The too-long line's tail ("106 9 9")
    // must not be read as a line of its own.
    std::string fits = "106 1 3" + std::string(127 - 7, ' ');
    std::string tooLong = std::string(128 - 7, ' ') + "106 9 9";
    CWarnings warnings;
    CVehicleColours colours;
    EXPECT_EQ(LoadText(colours, fits + "\n" + tooLong + "\n" + "106 2 4\n"), 2u);
    auto& list = colours.FindDefinitions(106);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(Colours(list[0]), (std::vector<int>{1, 3, 0, 0}));
    EXPECT_EQ(Colours(list[1]), (std::vector<int>{2, 4, 0, 0}));
    ASSERT_EQ(warnings.m_Lines.size(), 1u);
    EXPECT_EQ(warnings.m_Lines[0].rfind("vehiclecolours.conf[2] - bad syntax '", 0), 0u) << warnings.m_Lines[0];
}

TEST(VehicleColours, FindDefinitionsInsertsAndClearEmpties)
{
    CVehicleColours colours;
    EXPECT_TRUE(colours.FindDefinitions(400).empty());
    EXPECT_EQ(colours.GetModelCount(), 1u);
    LoadText(colours, "400 1 2\n");
    EXPECT_EQ(colours.FindDefinitions(400).size(), 1u);
    colours.Clear();
    EXPECT_EQ(colours.GetModelCount(), 0u);
}
