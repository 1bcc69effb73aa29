// The texture camera's position log: what scan control's hooks put in it,
// its capacity and its file.
#include "app/scan/raw_data.h"
#include "app/ui/camera_log.h"
#include "app/ui/scan_control_link.h"

#include "app/files/tests/keyed_scratch_folder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

class CameraLogTest : public ::testing::Test {
  protected:
    void SetUp() override { CameraLog_Clear(); }
    void TearDown() override {
        CameraLog_Clear();
        CameraLog_SetListener(nullptr);
    }
};

TEST_F(CameraLogTest, ScanControlsHookAppendsEachPoseAndTellsTheListener) {
    int told = 0;
    CameraLog_SetListener([&] { ++told; });
    ScanControl_InstallLink();
    Matrix4 pose;
    M4_MakeTranslation(Vec3{1.0f, 2.0f, 3.0f}, pose);
    ScanControl_Program().host.cameraLogAdd(pose);
    pose[0] = 0.5f;
    ScanControl_Program().host.cameraLogAdd(pose);
    ASSERT_EQ(CameraLog_Count(), 2);
    EXPECT_EQ(told, 2);
    EXPECT_EQ(CameraLog_Pose(0)[0], 1.0f);
    EXPECT_EQ(CameraLog_Pose(1)[0], 0.5f);
    EXPECT_EQ(CameraLog_Pose(0)[14], 3.0f);
    EXPECT_EQ(CameraLog_Pose(2), nullptr);
    EXPECT_EQ(CameraLog_Pose(-1), nullptr);
}

TEST_F(CameraLogTest, AFullLogIgnoresFurtherPoses) {
    const float pose[16] = {};
    for (int32_t i = 0; i < kCameraLogCapacity + 3; ++i) CameraLog_Add(pose);
    EXPECT_EQ(CameraLog_Count(), kCameraLogCapacity);
}

TEST_F(CameraLogTest, TheFileHoldsOneLineOfSixteenNumbersPerPose) {
    float pose[16];
    for (int k = 0; k < 16; ++k) pose[k] = k - 0.25f * k * k;
    CameraLog_Add(pose);
    CameraLog_Add(pose);
    ScratchFolder folder;
    std::string error;
    const std::string path = folder.File("poses.txt");
    ASSERT_EQ(CameraLog_WriteFile(path, error), CameraLogWrite::Written);
    std::ifstream in(path);
    std::string line, expected;
    char number[64];
    for (int k = 0; k < 16; ++k) {
        std::snprintf(number, sizeof number, "%.10f ", pose[k]);
        expected += number;
    }
    EXPECT_EQ(expected.substr(0, 26), "0.0000000000 0.7500000000 ");
    int lines = 0;
    while (std::getline(in, line)) {
        EXPECT_EQ(line, expected);
        ++lines;
    }
    EXPECT_EQ(lines, 2);
}

TEST_F(CameraLogTest, AFileThatCannotBeOpenedIsNotWritten) {
    ScratchFolder folder;
    std::string error;
    const std::string path = folder.File("missing/poses.txt");
    EXPECT_EQ(CameraLog_WriteFile(path, error), CameraLogWrite::OpenFailed);
    EXPECT_FALSE(error.empty());
}

TEST_F(CameraLogTest, ScanControlsRefractionHookCorrectsFromTheFirstProfileGiven) {
    ScanControl_InstallLink();
    std::vector<Vec3> points = {{0.0f, 0.0f, -220.0f}, {0.0f, 0.0f, -220.0f}};
    Profile profiles[2] = {};
    for (int p = 0; p < 2; ++p) {
        M4_MakeTranslation(Vec3{0.0f, 0.0f, -300.0f}, profiles[p].WandRxMatrix);
        profiles[p].NumPoints = 1;
        profiles[p].Points = &points[p];
    }
    RawData raw{};
    raw.Profiles = profiles;
    raw.NumProfiles = 2;
    raw.Refraction = RefractionSettings{6.0f, 1.5f, 29.0f, 0, 0};
    ScanControl_Program().host.applyRefraction(raw, 1);
    EXPECT_EQ(points[0].z, -220.0f);
    EXPECT_FLOAT_EQ(points[1].z, -214.0f);
    EXPECT_EQ(raw.RefractionCorrected, 1);
}

}  // namespace
