// Rotation and heading of entities and peds.
#include "ElementFixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace ElementFixture;

namespace
{
    constexpr float PI = std::numbers::pi_v<float>;

    void ExpectNear(const CVector3D& a, const CVector3D& b, float tolerance = 1e-4f)
    {
        EXPECT_NEAR(a.x, b.x, tolerance);
        EXPECT_NEAR(a.y, b.y, tolerance);
        EXPECT_NEAR(a.z, b.z, tolerance);
    }
}

TEST(ElementRotation, SetRotationBuildsXYZProductAndKeepsPosition)
{
    CGameWorld world;
    CServerObject* pObject = world.Add<CServerObject>(ELEMENT_OBJECT, {5, 6, 7});
    CVector3D angles(0.3f, -0.4f, 1.2f);
    pObject->SetRotation(angles);
    CMatrix4x4 expected = CMatrix4x4::RotationX(0.3f) * CMatrix4x4::RotationY(-0.4f) * CMatrix4x4::RotationZ(1.2f);
    for (unsigned r = 0; r < 3; ++r)
        for (unsigned c = 0; c < 4; ++c)
            EXPECT_FLOAT_EQ(pObject->GetMatrix().At(r, c), expected.At(r, c)) << r << "," << c;
    CVector3D pos;
    pObject->GetPosition(pos);
    EXPECT_EQ(pos, CVector3D(5, 6, 7));
    EXPECT_EQ(pObject->GetMatrix().At(3, 3), 1.0f);
}

TEST(ElementRotation, GetRotationInvertsSetRotationOnEveryQuaternionBranch)
{
    CGameWorld world;
    CServerObject* pObject = world.Add<CServerObject>(ELEMENT_OBJECT);
    // Small angles take the positive-trace branch; half turns about one axis take the
    // branch of that axis' diagonal element.
    const CVector3D cases[] = {
        {0, 0, 0},
        {0.1f, 0.2f, 0.3f},
        {-1.0f, 0.5f, -2.0f},
        {PI * 0.95f, 0, 0},
        {0, 0, PI * 0.95f},
        {0.2f, 1.2f, 0.1f},
        {3.0f, 0.1f, 0.2f},
        {0.1f, -0.3f, -3.0f},
        {2.5f, 1.0f, 2.8f},
    };
    for (const CVector3D& angles : cases) {
        SCOPED_TRACE(testing::Message() << angles.x << " " << angles.y << " " << angles.z);
        pObject->SetRotation(angles);
        CVector3D back;
        ASSERT_TRUE(pObject->GetRotation(back));
        ExpectNear(back, angles, 2e-3f);
        // The angles describe the same rotation: rebuilding gives the same rows.
        CMatrix4x4 again = CMatrix4x4::Rotation(back);
        for (unsigned r = 0; r < 3; ++r)
            for (unsigned c = 0; c < 3; ++c)
                EXPECT_NEAR(again.At(r, c), pObject->GetMatrix().At(r, c), 1e-4f);
    }
}

TEST(ElementRotation, PitchIsClampedToAQuarterTurn)
{
    CGameWorld world;
    CServerObject* pObject = world.Add<CServerObject>(ELEMENT_OBJECT);
    pObject->SetRotation({0, PI / 2, 0});
    CVector3D back;
    pObject->GetRotation(back);
    EXPECT_FALSE(std::isnan(back.y));
    EXPECT_LE(std::fabs(back.y), PI / 2 + 1e-6f);
    EXPECT_NEAR(std::fabs(back.y), PI / 2, 2e-3f);
}

TEST(ElementRotation, HeadingIsARotationAboutZ)
{
    CGameWorld world;
    CServerVehicle* pVehicle = world.Add<CServerVehicle>(ELEMENT_VEHICLE, {1, 2, 3});
    pVehicle->SetRotation({0.5f, 0.5f, 0.5f});
    pVehicle->SetHeading(1.0f);
    const CMatrix4x4& m = pVehicle->GetMatrix();
    float c = std::cos(1.0f), s = std::sin(1.0f);
    const float rows[3][4] = {{c, s, 0, 0}, {-s, c, 0, 0}, {0, 0, 1, 0}};
    for (unsigned r = 0; r < 3; ++r)
        for (unsigned col = 0; col < 4; ++col)
            EXPECT_FLOAT_EQ(m.At(r, col), rows[r][col]);
    EXPECT_FLOAT_EQ(pVehicle->GetHeading(), 1.0f);
    EXPECT_FLOAT_EQ(pVehicle->GetHeading(), std::atan2(m.At(0, 1), m.At(0, 0)));
    CVector3D pos;
    pVehicle->GetPosition(pos);
    EXPECT_EQ(pos, CVector3D(1, 2, 3));
    for (float h : {-3.0f, -1.5f, 0.0f, 2.0f, 3.1f}) {
        pVehicle->SetHeading(h);
        EXPECT_NEAR(pVehicle->GetHeading(), h, 1e-6f);
    }
}

TEST(ElementRotation, PedHeadingSetsBothFieldsAndSyncDropsPitch)
{
    CGameWorld world;
    CServerPed* pPed = world.Add<CServerPed>(ELEMENT_PED, {1, 2, 3});
    pPed->SetHeading(0.8f);
    EXPECT_EQ(pPed->GetHeading(), 0.8f);
    EXPECT_EQ(pPed->GetCurrentHeading(), 0.8f);
    EXPECT_FLOAT_EQ(std::atan2(pPed->GetMatrix().At(0, 1), pPed->GetMatrix().At(0, 0)), 0.8f);

    // A ped sync rebuilds the transform from the current heading: pitch and roll are gone.
    pPed->SetRotation({0.4f, 0.3f, 0.0f});
    std::vector<uint8_t> sync = SyncPayload(pPed);
    const float fCurrent = -1.25f, fHeading = 2.0f;
    memcpy(&sync[40], &fCurrent, 4);
    memcpy(&sync[44], &fHeading, 4);
    ASSERT_TRUE(ReadAll(sync, &CNetObject::ReadSyncPacket, pPed));
    CVector3D angles;
    pPed->GetRotation(angles);
    ExpectNear(angles, {0, 0, fCurrent});
    EXPECT_EQ(pPed->GetHeading(), fHeading);
    CVector3D pos;
    pPed->GetPosition(pos);
    EXPECT_EQ(pos, CVector3D(1, 2, 3));
}
