#include "ConfigTestFileSystem.h"
#include "VehicleColours.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace Torvane3D;
using namespace TestSupport;

namespace
{
    class CProblemCount : public ILogListener
    {
    public:
        CProblemCount() { AddLogListener(this); }
        ~CProblemCount() override { RemoveLogListener(this); }
        void OnLogMessage(eLogType level, const char* szText) override
        {
            if (level >= LOG_WARN)
                m_Lines.push_back(szText);
        }
        std::vector<std::string> m_Lines;
    };

    std::vector<std::vector<int>> Schemes(CVehicleColours& colours, uint32_t uiModel)
    {
        std::vector<std::vector<int>> schemes;
        for (const CVehicleColourDefinition& d : colours.FindDefinitions(uiModel)) {
            EXPECT_FALSE(d.m_bRGB);
            schemes.push_back({d.m_iColours[0], d.m_iColours[1], d.m_iColours[2], d.m_iColours[3]});
        }
        return schemes;
    }
}

TEST(BuiltinColours, EveryTableLoadsCleanlyWithTheExampleRows)
{
    CConfigTestFileSystem files;
    const char* const tables[] = {"/vehiclecolours.conf", "/vehiclecolours_vc.conf", "/vehiclecolours_sa.conf",
        "/vehiclecolours_iv.conf", "/vehiclecolours_sa_alt.conf"};
    std::vector<CVehicleColours> loaded(std::size(tables));
    for (size_t i = 0; i < std::size(tables); ++i) {
        SCOPED_TRACE(tables[i]);
        Strong<Stream> pFile = files.FileSystem().Open(tables[i], false);
        ASSERT_TRUE(pFile);
        CProblemCount problems;
        loaded[i].Load(*pFile);
        EXPECT_TRUE(problems.m_Lines.empty()) << problems.m_Lines[0];
    }

    // GTA III: model 106 has the single scheme 1 3, model 119 eight schemes in file order.
    EXPECT_EQ(Schemes(loaded[0], 106), (std::vector<std::vector<int>>{{1, 3, 0, 0}}));
    EXPECT_EQ(Schemes(loaded[0], 119), (std::vector<std::vector<int>>{{54, 1, 0, 0}, {14, 1, 0, 0}, {52, 1, 0, 0},
                                           {61, 1, 0, 0}, {43, 1, 0, 0}, {51, 1, 0, 0}, {12, 1, 0, 0},
                                           {11, 1, 0, 0}}));
    // San Andreas (and the table with the same rows that no game selects): model 446 with
    // four colours per scheme, the duplicate kept.
    const std::vector<std::vector<int>> sa446 = {
        {1, 31, 1, 0}, {1, 31, 1, 0}, {1, 20, 3, 0}, {1, 5, 0, 0}, {0, 6, 3, 0}};
    EXPECT_EQ(Schemes(loaded[2], 446), sa446);
    EXPECT_EQ(Schemes(loaded[4], 446), sa446);
    EXPECT_EQ(loaded[4].GetDefinitionCount(), loaded[2].GetDefinitionCount());
    // GTA IV vehicles have no schemes.
    EXPECT_EQ(loaded[3].GetDefinitionCount(), 0u);
}
