// The random colour pick of vehicles over the games' colour tables, and the colours a model
// change sends.
#include "ConfigTestFileSystem.h"
#include "ElementFixture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

using namespace ElementFixture;

namespace
{
    void LoadTable(CGameWorld& world, const char* szTable)
    {
        TestSupport::CConfigTestFileSystem files;
        Strong<Stream> pFile = files.FileSystem().Open(szTable, false);
        ASSERT_TRUE(pFile);
        world.m_Server.m_VehicleColours.Load(*pFile);
    }

    std::vector<int> Palette(const CServerVehicle* pVehicle)
    {
        return {pVehicle->m_ucColours[0], pVehicle->m_ucColours[1], pVehicle->m_ucColours[2], pVehicle->m_ucColours[3]};
    }

    // The entry the pick must choose after srand(seed).
    size_t ExpectedEntry(unsigned seed, size_t count)
    {
        srand(seed);
        uint32_t r1 = static_cast<uint32_t>(rand()), r2 = static_cast<uint32_t>(rand());
        return ((r1 * 2) | (r2 & 1)) % count;
    }
}

TEST(VehicleColourPick, ExampleModelsOfTheBuiltinTables)
{
    CGameWorld world(GAME_III);
    LoadTable(world, "/vehiclecolours.conf");
    CServerVehicle* pVehicle = world.Add<CServerVehicle>(ELEMENT_VEHICLE);

    // GTA III model 106 has one scheme.
    pVehicle->SetModelIndex(106);
    EXPECT_EQ(Palette(pVehicle), (std::vector<int>{1, 3, 0, 0}));

    // Model 119 has eight: the entry is ((r1 x 2) OR (r2 AND 1)) mod 8.
    const std::vector<std::vector<int>> schemes119 = {
        {54, 1, 0, 0}, {14, 1, 0, 0}, {52, 1, 0, 0}, {61, 1, 0, 0}, {43, 1, 0, 0}, {51, 1, 0, 0}, {12, 1, 0, 0},
        {11, 1, 0, 0}};
    pVehicle->SetModelIndex(119);
    std::set<std::vector<int>> seen;
    for (unsigned seed = 1; seed <= 64; ++seed) {
        size_t entry = ExpectedEntry(seed, schemes119.size());
        srand(seed);
        ASSERT_TRUE(pVehicle->RandomiseColours());
        EXPECT_EQ(Palette(pVehicle), schemes119[entry]) << "seed " << seed;
        seen.insert(Palette(pVehicle));
    }
    EXPECT_GT(seen.size(), 4u);

    // San Andreas model 446 wears four colours; its duplicated scheme counts twice.
    CGameWorld sa(GAME_SA);
    LoadTable(sa, "/vehiclecolours_sa.conf");
    CServerVehicle* pBoat = sa.Add<CServerVehicle>(ELEMENT_VEHICLE);
    pBoat->SetModelIndex(446);
    const std::vector<std::vector<int>> schemes446 = {
        {1, 31, 1, 0}, {1, 31, 1, 0}, {1, 20, 3, 0}, {1, 5, 0, 0}, {0, 6, 3, 0}};
    for (unsigned seed = 1; seed <= 16; ++seed) {
        size_t entry = ExpectedEntry(seed, schemes446.size());
        srand(seed);
        ASSERT_TRUE(pBoat->RandomiseColours());
        EXPECT_EQ(Palette(pBoat), schemes446[entry]) << "seed " << seed;
    }
}

TEST(VehicleColourPick, ModelsWithoutSchemesKeepTheirColoursWithAWarning)
{
    CGameWorld world(GAME_IV);
    LoadTable(world, "/vehiclecolours_iv.conf");
    CServerVehicle* pVehicle = world.Add<CServerVehicle>(ELEMENT_VEHICLE);
    pVehicle->m_ucColours[0] = 9;
    CLogLines log;
    pVehicle->SetModelIndex(90);
    EXPECT_TRUE(log.Has(LOG_WARN, "Cannot randomise car colour 90!"));
    EXPECT_EQ(Palette(pVehicle), (std::vector<int>{9, 0, 0, 0}));
    EXPECT_FALSE(pVehicle->RandomiseColours());
}

TEST(VehicleColourPick, RGBSchemesSetTheRGBColours)
{
    CGameWorld world;
    CVehicleColourDefinition rgb;
    rgb.m_bRGB = true;
    rgb.m_iColours[0] = static_cast<int32_t>(0xFF112233);
    rgb.m_iColours[3] = 0x00445566;
    world.m_Server.m_VehicleColours.FindDefinitions(500).push_back(rgb);
    CServerVehicle* pVehicle = world.Add<CServerVehicle>(ELEMENT_VEHICLE);
    pVehicle->m_ucColours[0] = 4;
    pVehicle->SetModelIndex(500);
    EXPECT_TRUE(pVehicle->m_bRGBColours);
    EXPECT_EQ(pVehicle->m_uiRGBColours[0], 0xFF112233u);
    EXPECT_EQ(pVehicle->m_uiRGBColours[3], 0x00445566u);
    // A palette scheme afterwards clears the RGB flag.
    CVehicleColourDefinition palette;
    palette.m_iColours[0] = 6;
    world.m_Server.m_VehicleColours.FindDefinitions(501).push_back(palette);
    pVehicle->SetModelIndex(501);
    EXPECT_FALSE(pVehicle->m_bRGBColours);
    EXPECT_EQ(pVehicle->m_ucColours[0], 6);
}

TEST(VehicleColourPick, AModelChangeSendsTheNewColoursAfterTheModel)
{
    CGameWorld world(GAME_III);
    LoadTable(world, "/vehiclecolours.conf");
    CNetMachine* pClient = world.AddClient(0);
    CServerVehicle* pVehicle = world.Add<CServerVehicle>(ELEMENT_VEHICLE);
    pVehicle->SetCreatedFor(pClient, true);
    world.m_Sender.Clear();

    pVehicle->SetModelIndex(106);
    ASSERT_EQ(world.m_Sender.m_Sent.size(), 2u);
    EXPECT_EQ(world.m_Sender.m_Sent[0].m_uiId, PACKET_ENTITY_MODEL);
    EXPECT_EQ(world.m_Sender.m_Sent[1].m_uiId, PACKET_VEHICLE_COLOURS);
    EXPECT_EQ(world.m_Sender.m_Sent[1].m_Payload, CBytes()
                                                      .Put<int32_t>(pVehicle->GetId())
                                                      .Put<uint8_t>(0)
                                                      .Put<uint8_t>(1)
                                                      .Put<uint8_t>(3)
                                                      .Put<uint8_t>(0)
                                                      .Put<uint8_t>(0)
                                                      .m_Data);

    // A model without schemes keeps its colours: only the model is sent.
    world.m_Sender.Clear();
    pVehicle->SetModelIndex(9999);
    ASSERT_EQ(world.m_Sender.m_Sent.size(), 1u);
    EXPECT_EQ(world.m_Sender.m_Sent[0].m_uiId, PACKET_ENTITY_MODEL);
}
