// A file of an earlier release, made here item by item: V2 points, older
// settings names, landmarks as positions and orientations, the stored fit
// and the older fitting parameters.
#include "app/scanfile/tests/scan_file_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

using namespace scan_file_test;

template <class T>
void Add(ItemStore* s, const char* path, const std::vector<T>& data, ItemType type, std::vector<int32_t> sizes) {
    ASSERT_NE(ItemStore_CreateItem(s, ItemPath_Split(path), data.data(), type, static_cast<int>(sizes.size()),
                                   sizes.data(), true),
              nullptr)
        << path;
}

void AddInt(ItemStore* s, const char* path, int32_t v) { Add(s, path, std::vector<int32_t>{v}, ItemType::Int32, {}); }
void AddFloat(ItemStore* s, const char* path, float v) { Add(s, path, std::vector<float>{v}, ItemType::Float32, {}); }
void AddDouble(ItemStore* s, const char* path, double v) {
    Add(s, path, std::vector<double>{v}, ItemType::Float64, {});
}

std::vector<uint8_t> Bytes(const void* data, std::size_t n) {
    const auto* b = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(b, b + n);
}

// One sweep of three profiles along x at y = 0, 1, 2 (5, 2 and 5 points),
// with the wand above each.
void AddOlderRaw(ItemStore* s) {
    Add(s, "Raw/ScanLengths", std::vector<int32_t>{1}, ItemType::Int32, {1});
    Add(s, "Raw/SweepLengths", std::vector<int32_t>{3}, ItemType::Int32, {1});
    Add(s, "Raw/ProfileLengths", std::vector<int32_t>{5, 2, 5}, ItemType::Int32, {3});
    std::vector<float> wand, reference;
    for (int p = 0; p < 3; ++p) {
        const Matrix4 w = scan_test::WandLookingDown(0.0f, static_cast<float>(p), 100.0f);
        Matrix4 r;
        M4_Identity(r);
        wand.insert(wand.end(), w.m, w.m + 16);
        reference.insert(reference.end(), r.m, r.m + 16);
    }
    Add(s, "Raw/WandRxMatrices", wand, ItemType::Float32, {3, 4, 4});
    Add(s, "Raw/RawReferenceRxMatrices", reference, ItemType::Float32, {3, 4, 4});
    std::vector<uint8_t> points;
    for (int p = 0; p < 3; ++p) {
        if (p == 1) {
            const float raw[6] = {0.0f, 1.0f, 0.0f, 1.0f, 1.0f, 0.0f};
            const std::vector<uint8_t> b = Bytes(raw, sizeof raw);
            points.insert(points.end(), b.begin(), b.end());
            continue;
        }
        const float head[4] = {-2.0f, static_cast<float>(p), 0.0f, 0.5f};
        std::vector<uint8_t> b = Bytes(head, sizeof head);
        points.insert(points.end(), b.begin(), b.end());
        for (uint16_t k = 0; k < 5; ++k) {
            const uint16_t q[3] = {static_cast<uint16_t>(2 * k), 0, static_cast<uint16_t>(k % 2)};
            b = Bytes(q, sizeof q);
            points.insert(points.end(), b.begin(), b.end());
        }
    }
    Add(s, "Raw/CompressedPointsV2", points, ItemType::Int8, {static_cast<int32_t>(points.size())});
}

void AddOlderRest(ItemStore* s, int32_t validity) {
    AddInt(s, "Tolvaran/Settings/RemoveOutliers", 0);
    AddInt(s, "Tolvaran/Settings/RbfDoLimit", 1);
    AddInt(s, "Tolvaran/Settings/RbfLimit", 77);
    Add(s, "Basic/Mesh/PointsV1", std::vector<float>{0, 0, 0, 1, 0, 0, 0, 1, 0, 1, 1, 0}, ItemType::Float32, {4, 3});
    Add(s, "Basic/Mesh/FacetsV1", std::vector<int32_t>{0, 1, 2, 2, 1, 3}, ItemType::Int32, {2, 3});
    Add(s, "Landmarks/Points", std::vector<float>{1, 2, 3, 4, 5, 6, 7, 8, 9}, ItemType::Float32, {3, 3});
    Add(s, "Landmarks/PointOrientations", std::vector<float>{0, 2, 0, -1, 0, 0, 1, 0, 0}, ItemType::Float32, {3, 3});
    Add(s, "Landmarks/PointsHidden", std::vector<int32_t>{0, 1, 0}, ItemType::Int32, {3});
    Add(s, "Landmarks/PointShifts/Raw", std::vector<float>{0, 0, -1, 0, 0, 0, 0, 0, 0}, ItemType::Float32, {3, 3});
    if (validity >= 0) AddInt(s, "RBF/Solution/ValidityV2", validity);
    Add(s, "RBF/Solution/Centres", std::vector<double>{1, 2, 3, 4, 5, 6}, ItemType::Float64, {2, 3});
    Add(s, "RBF/Solution/Coefficients", std::vector<double>{0.5, -0.5, 2}, ItemType::Float64, {3});
    Add(s, "RBF/Solution/PolyBase", std::vector<double>{7, 8, 9}, ItemType::Float64, {3});
    AddDouble(s, "RBF/Solution/AchievedAccuracy", 0.01);
    AddDouble(s, "RBF/Solution/DefaultEvaluationAccuracy", 0.02);
    Add(s, "RBF/Solution/DataMin", std::vector<double>{-1, -2, -3}, ItemType::Float64, {3});
    Add(s, "RBF/Solution/DataMax", std::vector<double>{1, 2, 3}, ItemType::Float64, {3});
    AddInt(s, "RBF/Solution/FitType", 2);
    AddInt(s, "RBF/Solution/PolyDegree", 1);
    AddDouble(s, "RBF/Solution/Rho", 0.75);
    AddInt(s, "RBF/Solution/BasicFuncType", 3);
    AddDouble(s, "RBF/Solution/BasicFuncC", 1.25);
    AddInt(s, "RBF/Solution/BasicFuncK", 4);
    ASSERT_TRUE(ItemStore_AddString(s, "RBF/Solution/Version", "Morlith 1.2.3 with a very long version text"));
    Matrix4 view;
    M4_MakeRotationX(15.0f, view);
    Add(s, "RBF/Params/ViewMatrix", std::vector<float>(view.m, view.m + 16), ItemType::Float32, {4, 4});
    Add(s, "RBF/Params/ViewOrigin", std::vector<float>{3, 4, 5}, ItemType::Float32, {3});
    const char* floats[] = {"InputFilter", "InputResolution", "InputSimplifyError", "Accuracy",
                            "Resolution",  "ExtraTrim",       "SimpError",          "SimpAngle"};
    const char* ints[] = {"Limit", "MemoryToUse", "Close", "DoSimplify", "SimpNFaces", "SimpNPoints"};
    for (const char* name : floats) AddFloat(s, (std::string("RBF/Params/") + name).c_str(), 1.5f);
    for (const char* name : ints) AddInt(s, (std::string("RBF/Params/") + name).c_str(), 9);
}

class OlderRelease : public ::testing::Test {
  protected:
    std::string Make(int32_t validity) {
        const std::string path = folder.File("older.tvn");
        ItemStore* s = ItemStore_Create();
        AddOlderRaw(s);
        AddOlderRest(s, validity);
        EXPECT_TRUE(ItemFile_WriteSigned(s, path, kScanFileSigningKey, kContainerKeyLength));
        ItemStore_Free(s);
        return path;
    }
    ScratchFolder folder;
};

TEST_F(OlderRelease, LoadsAndHandsItsStoredFitToTheLibrary) {
    ScanDocument doc;
    doc.settings.RbfParams.RbfUseStylusPoints = 1;
    doc.settings.BasicParams.DoObjectLimit = 1;
    ASSERT_TRUE(doc.Load(Make(2))) << doc.error;
    const RawData& raw = doc.raw();
    ASSERT_EQ(raw.NumProfiles, 3);
    EXPECT_EQ(raw.Profiles[0].Points[4].x, -2.0f + 8 * 0.5f);
    EXPECT_EQ(raw.Profiles[0].Points[3].z, 0.5f);
    EXPECT_EQ(raw.Profiles[1].Points[1].x, 1.0f);
    EXPECT_GT(raw.NumPoints, 0);  // processed again: the file holds no facets
    EXPECT_GT(raw.NumFacets, 0);
    EXPECT_STREQ(raw.Header.ProgramVersion, "Unknown Version");

    // Older settings names: RbfDoLimit and RbfLimit come after RemoveOutliers;
    // a RemoveOutliers of 0 read into the surfaces clears the switch again.
    EXPECT_EQ(doc.settings.BasicParams.DoObjectLimit, 0);
    EXPECT_EQ(doc.basic.BasicParams.DoObjectLimit, 1);
    EXPECT_EQ(doc.settings.BasicParams.ObjectLimit, 77);
    EXPECT_EQ(doc.basic.BasicParams.ObjectLimit, 77);
    EXPECT_EQ(doc.rbf.BasicParams.ObjectLimit, 77);
    EXPECT_EQ(doc.rbf.RbfParams.RbfAutoMemoryLimit, 1);

    // Landmarks from positions and orientations: rotations that take the x
    // axis onto the orientation, never mirrors, also for -x.
    ASSERT_EQ(raw.Stylus.TotalCount, 3);
    const Vec3 axes[3] = {{0, 1, 0}, {-1, 0, 0}, {1, 0, 0}};
    for (int k = 0; k < 3; ++k) {
        const Matrix4& m = raw.Stylus.Items[k].Pose;
        Matrix4D d;
        for (int i = 0; i < 16; ++i) d[i] = m[i];
        EXPECT_NEAR(M4D_Determinant3(d), 1.0, 1e-5) << k;
        EXPECT_NEAR(m[0], axes[k].x, 1e-5f) << k;
        EXPECT_NEAR(m[1], axes[k].y, 1e-5f) << k;
        EXPECT_NEAR(m[2], axes[k].z, 1e-5f) << k;
        EXPECT_EQ(m[12], 1.0f + 3 * k);
        EXPECT_EQ(raw.Stylus.Items[k].Group, k);
    }
    // Processed again, the scan places the item that was placed on it anew:
    // onto the points made now, not where the file's shift put it.
    EXPECT_EQ(raw.Stylus.Items[0].Flags, kStylusOnScan);
    EXPECT_LE(raw.Stylus.Items[0].ScanPose[14], 0.5f);
    EXPECT_GT(raw.Stylus.Items[0].ScanDistance, 2.0f);
    EXPECT_EQ(raw.Stylus.Items[1].Flags, kStylusHidden);

    // The library gets the basic points, then the visible stylus positions,
    // the stored solution, the older parameters as words 0-32, and stage 1.
    ASSERT_EQ(doc.fit.handed.size(), 1u);
    const LoadedFit& fit = doc.fit.handed[0];
    EXPECT_EQ(fit.restartStage, 1);
    ASSERT_EQ(fit.input.size(), 4u + 2u);
    EXPECT_EQ(fit.input[3].x, 1.0f);
    EXPECT_EQ(fit.input[4].x, 1.0f);
    EXPECT_EQ(fit.input[5].x, 7.0f);
    EXPECT_EQ(fit.centres, (std::vector<double>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(fit.coefficients, (std::vector<double>{0.5, -0.5, 2}));
    EXPECT_EQ(fit.polyBase[2], 9.0);
    EXPECT_EQ(fit.achievedAccuracy, 0.01);
    EXPECT_EQ(fit.defaultEvaluationAccuracy, 0.02);
    EXPECT_EQ(fit.dataMin[1], -2.0);
    EXPECT_EQ(fit.dataMax[2], 3.0);
    EXPECT_EQ(fit.fitType, 2);
    EXPECT_EQ(fit.polyDegree, 1);
    EXPECT_EQ(fit.rho, 0.75);
    EXPECT_EQ(fit.basicFuncType, 3);
    EXPECT_EQ(fit.basicFuncC, 1.25);
    EXPECT_EQ(fit.basicFuncK, 4);
    EXPECT_EQ(std::string(fit.version), std::string("Morlith 1.2.3 with a very long version text").substr(0, 31));
    float word;
    std::memcpy(&word, &fit.params[6], 4);
    EXPECT_NEAR(word, std::sin(15.0f * 3.14159265f / 180.0f), 1e-6f);  // the view matrix
    std::memcpy(&word, &fit.params[17], 4);
    EXPECT_EQ(word, 4.0f);  // the view origin's y
    for (int w = 19; w <= 32; ++w) {
        const bool isInt = w == 22 || w == 25 || w == 27 || w == 28 || w == 31 || w == 32;
        std::memcpy(&word, &fit.params[w], 4);
        if (isInt)
            EXPECT_EQ(fit.params[w], 9u) << w;
        else
            EXPECT_EQ(word, 1.5f) << w;
    }
}

TEST_F(OlderRelease, RestartStageFromTheStoredValidity) {
    const struct {
        int32_t validity;  // -1: no item
        int32_t stage;
    } cases[] = {{0, 0}, {1, 1}, {2, 1}, {-1, 1}};
    for (const auto& c : cases) {
        ScanDocument doc;
        ASSERT_TRUE(doc.Load(Make(c.validity))) << doc.error;
        ASSERT_EQ(doc.fit.handed.size(), 1u);
        EXPECT_EQ(doc.fit.handed[0].restartStage, c.stage) << c.validity;
        EXPECT_EQ(doc.fit.handed[0].input.size(), 4u);  // the switch is off
    }
}

TEST_F(OlderRelease, WithoutTheLibraryNothingIsHandedOver) {
    ScanDocument doc;
    doc.fit.loaded = false;
    ASSERT_TRUE(doc.Load(Make(2))) << doc.error;
    EXPECT_TRUE(doc.fit.handed.empty());
    EXPECT_EQ(doc.fit.clears, 1);
}

}  // namespace
