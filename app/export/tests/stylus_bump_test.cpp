// Stylus bumps on a flat grid: the vertices in the disc lie on the
// half-ellipsoid of the closed form, the peak at the height, every other
// vertex untouched; a second application replaces the first; dips; the radius
// floor; hidden lines; the saved flag; an allocation failure moves nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "app/export/stylus_bump.h"
#include "app/scan/stylus_items.h"
#include "app/scan/surface_record.h"

#include "app/export/tests/failing_new.h"

namespace {

// A flat grid z = 0 of (2k + 1)² vertices `step` apart, normals up, two
// facets a cell.
class FlatGrid {
  public:
    FlatGrid(int32_t k, float step, float resolution) {
        std::memset(&s_, 0, sizeof s_);
        const int32_t side = 2 * k + 1;
        for (int32_t i = 0; i < side; ++i)
            for (int32_t j = 0; j < side; ++j) {
                points_.push_back(Vec3{(i - k) * step, (j - k) * step, 0.0f});
                normals_.push_back(Vec3{0.0f, 0.0f, 1.0f});
            }
        for (int32_t i = 0; i + 1 < side; ++i)
            for (int32_t j = 0; j + 1 < side; ++j) {
                const int32_t a = i * side + j;
                facets_.insert(facets_.end(), {a, a + side, a + side + 1, a, a + side + 1, a + 1});
            }
        facetNormals_.resize(facets_.size() / 3);
        s_.NumPoints = s_.MaxPoints = static_cast<int32_t>(points_.size());
        s_.Points = points_.data();
        s_.PointNormals = normals_.data();
        s_.NumFacets = s_.MaxFacets = static_cast<int32_t>(facetNormals_.size());
        s_.Facets = facets_.data();
        s_.FacetNormals = facetNormals_.data();
        s_.RbfParams.RbfResolution = resolution;
        s_.ChangeTime = 1000.0;
        s_.Saved = 1;
        original_ = points_;
    }
    SurfaceRecord& Surface() { return s_; }
    const std::vector<Vec3>& Original() const { return original_; }

  private:
    SurfaceRecord s_;
    std::vector<Vec3> points_, normals_, facetNormals_, original_;
    std::vector<int32_t> facets_;
};

class Items {
  public:
    void Add(Vec3 at, uint32_t flags = 0) {
        StylusItem item{};
        M4_Identity(item.Pose);
        item.Pose[12] = at.x;
        item.Pose[13] = at.y;
        item.Pose[14] = at.z;
        item.Flags = flags;
        items_.push_back(item);
        list_.Items = items_.data();
        list_.VisibleCount = list_.TotalCount = list_.Capacity = static_cast<int32_t>(items_.size());
    }
    StylusItemList& List() { return list_; }

  private:
    std::vector<StylusItem> items_;
    StylusItemList list_{};
};

// Every vertex within r of the item's axis on the half-ellipsoid, the others
// where they were.
void ExpectBump(FlatGrid& grid, Vec3 centre, float r, float height) {
    const SurfaceRecord& s = grid.Surface();
    float peak = 0.0f;
    for (int32_t j = 0; j < s.NumPoints; ++j) {
        const Vec3& o = grid.Original()[j];
        const float dx = o.x - centre.x, dy = o.y - centre.y;
        const float rho2 = dx * dx + dy * dy;
        const float expectedZ = rho2 < r * r ? height / r * std::sqrt(r * r - rho2) : 0.0f;
        EXPECT_FLOAT_EQ(s.Points[j].x, o.x) << j;
        EXPECT_FLOAT_EQ(s.Points[j].y, o.y) << j;
        EXPECT_NEAR(s.Points[j].z, expectedZ, 1e-5f) << j;
        if (std::fabs(s.Points[j].z) > std::fabs(peak)) peak = s.Points[j].z;
    }
    EXPECT_FLOAT_EQ(peak, height);
}

TEST(StylusBump, VerticesInTheDiscLieOnTheHalfEllipsoid) {
    const struct {
        const char* name;
        float width, height;
    } cases[] = {{"bump", 8.0f, 3.0f}, {"dip", 6.0f, -2.0f}, {"flattened", 8.0f, 0.0f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FlatGrid grid(20, 0.5f, 1.0f);
        Items items;
        items.Add(Vec3{0.0f, 0.0f, 0.0f});
        EXPECT_EQ(StylusBump_Apply(items.List(), grid.Surface(), c.width, c.height),
                  c.height == 0.0f ? BumpOutcome::kUnchanged : BumpOutcome::kMoved);
        ExpectBump(grid, Vec3{0, 0, 0}, c.width / 2, c.height);
        // Facet normals follow the moved mesh; vertex normals stay.
        EXPECT_FLOAT_EQ(grid.Surface().PointNormals[0].z, 1.0f);
        if (c.height != 0.0f) {
            bool tilted = false;
            for (int32_t f = 0; f < grid.Surface().NumFacets; ++f)
                tilted = tilted || grid.Surface().FacetNormals[f].z < 0.99f;
            EXPECT_TRUE(tilted);
        }
    }
}

// An item placed on the surface is bumped where the view draws it: at its
// placement, not at the stylus tip 4 mm in front of the surface.
TEST(StylusBump, TheBumpSitsWhereThePlacedItemIsDrawn) {
    FlatGrid grid(20, 0.5f, 1.0f);
    Items items;
    items.Add(Vec3{1.5f, -1.0f, 4.0f}, kStylusOnBasic);
    StylusItem& item = items.List().Items[0];
    M4_MakeTranslation(Vec3{1.0f, -1.0f, 0.0f}, item.BasicPose);
    EXPECT_EQ(StylusBump_Apply(items.List(), grid.Surface(), 4.0f, 1.0f), BumpOutcome::kMoved);
    ExpectBump(grid, Vec3{1.0f, -1.0f, 0.0f}, 2.0f, 1.0f);
}

TEST(StylusBump, RadiusHasAFloorOfTheResolution) {
    EXPECT_FLOAT_EQ(StylusBump_Radius(2.0f, 5.0f), 3.3f);
    EXPECT_FLOAT_EQ(StylusBump_Radius(10.0f, 5.0f), 5.0f);
    FlatGrid grid(20, 0.5f, 5.0f);
    Items items;
    items.Add(Vec3{1.0f, -1.0f, 0.0f});
    StylusBump_Apply(items.List(), grid.Surface(), 2.0f, 1.0f);
    ExpectBump(grid, Vec3{1.0f, -1.0f, 0.0f}, 3.3f, 1.0f);
}

TEST(StylusBump, SecondApplicationLeavesOnlyItsOwnBump) {
    FlatGrid grid(20, 0.5f, 1.0f);
    Items items;
    items.Add(Vec3{2.0f, 2.0f, 0.0f});
    StylusBump_Apply(items.List(), grid.Surface(), 6.0f, 4.0f);
    StylusBump_Apply(items.List(), grid.Surface(), 3.0f, -1.5f);
    ExpectBump(grid, Vec3{2.0f, 2.0f, 0.0f}, 1.5f, -1.5f);
    // A changed surface (new change time) starts afresh: bumps add up.
    grid.Surface().ChangeTime += 1.0;
    StylusBump_Apply(items.List(), grid.Surface(), 3.0f, -1.5f);
    EXPECT_LT(grid.Surface().Points[0].z, 1.0f);
}

TEST(StylusBump, HiddenItemsAndLinesAreLeftOut) {
    FlatGrid grid(20, 0.5f, 1.0f);
    Items items;
    items.Add(Vec3{-6.0f, -6.0f, 0.0f}, kStylusHidden);
    items.Add(Vec3{-6.0f, 6.0f, 0.0f}, kStylusHidden | kStylusLineHead);
    items.Add(Vec3{6.0f, -6.0f, 0.0f}, kStylusLineMember);
    items.Add(Vec3{6.0f, 6.0f, 0.0f}, kStylusLineMember);
    items.Add(Vec3{0.0f, 0.0f, 0.0f});
    StylusBump_Apply(items.List(), grid.Surface(), 4.0f, 2.0f);
    ExpectBump(grid, Vec3{0, 0, 0}, 2.0f, 2.0f);
}

TEST(StylusBump, SavedFlagClearedOnlyWhenAVertexMoved) {
    FlatGrid grid(10, 0.5f, 1.0f);
    Items items;
    items.Add(Vec3{0.0f, 0.0f, 0.0f});
    const double time = grid.Surface().ChangeTime;
    ASSERT_EQ(StylusBump_Apply(items.List(), grid.Surface(), 2.0f, 1.0f), BumpOutcome::kMoved);
    EXPECT_EQ(grid.Surface().Saved, 0);
    EXPECT_EQ(grid.Surface().ChangeTime, time);
    // Saved again, then the same bump once more: nothing moves.
    grid.Surface().Saved = 1;
    EXPECT_EQ(StylusBump_Apply(items.List(), grid.Surface(), 2.0f, 1.0f), BumpOutcome::kUnchanged);
    EXPECT_EQ(grid.Surface().Saved, 1);
    // Far from every vertex: nothing moves.
    Items far;
    far.Add(Vec3{0.0f, 0.0f, 100.0f});
    FlatGrid other(10, 0.5f, 1.0f);
    EXPECT_EQ(StylusBump_Apply(far.List(), other.Surface(), 2.0f, 1.0f), BumpOutcome::kUnchanged);
    EXPECT_EQ(other.Surface().Saved, 1);
}

TEST(StylusBump, AllocationFailureMovesNothing) {
    FlatGrid grid(20, 0.5f, 1.0f);
    Items items;
    items.Add(Vec3{0.0f, 0.0f, 0.0f});
    items.Add(Vec3{3.0f, 0.0f, 0.0f});
    StylusBump_Apply(items.List(), grid.Surface(), 4.0f, 2.0f);
    const std::vector<Vec3> bumped(grid.Surface().Points, grid.Surface().Points + grid.Surface().NumPoints);
    const int64_t cached = StylusBump_CacheSize();
    grid.Surface().Saved = 1;
    BumpOutcome outcome = BumpOutcome::kOutOfMemory;
    long failAt = 0;
    for (; outcome == BumpOutcome::kOutOfMemory && failAt < 1000; ++failAt) {
        g_allocationsLeft = failAt;
        outcome = StylusBump_Apply(items.List(), grid.Surface(), 6.0f, -1.0f);
        g_allocationsLeft = -1;
        if (outcome != BumpOutcome::kOutOfMemory) break;
        for (int32_t j = 0; j < grid.Surface().NumPoints; ++j)
            ASSERT_EQ(grid.Surface().Points[j].z, bumped[j].z) << "failing allocation " << failAt;
        ASSERT_EQ(StylusBump_CacheSize(), cached);
        ASSERT_EQ(grid.Surface().Saved, 1);
    }
    EXPECT_GT(failAt, 2);
    EXPECT_EQ(outcome, BumpOutcome::kMoved);
    // The later dip replaced both bumps.
    EXPECT_NEAR(grid.Surface().Points[(20 * 41) + 20].z, -1.0f, 1e-5f);
}

TEST(StylusBump, NothingToDoWithoutVerticesOrItems) {
    FlatGrid grid(3, 1.0f, 1.0f);
    Items none;
    EXPECT_EQ(StylusBump_Apply(none.List(), grid.Surface(), 2.0f, 1.0f), BumpOutcome::kUnchanged);
    SurfaceRecord empty{};
    Items items;
    items.Add(Vec3{0, 0, 0});
    EXPECT_EQ(StylusBump_Apply(items.List(), empty, 2.0f, 1.0f), BumpOutcome::kUnchanged);
}

}  // namespace
