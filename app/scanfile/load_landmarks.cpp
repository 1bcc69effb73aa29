// The stylus items of a load: isolated points, then lines, with their
// flags, times, inverted poses and placements.
#include "app/scanfile/scan_file_load.h"
#include "app/scanfile/scan_file_memory.h"

#include <cmath>
#include <cstring>
#include <utility>

namespace {

// A pose from an older file's position and orientation: the half turn that
// takes the x axis onto the orientation. Near -x that axis vanishes and the
// turn about it would be a mirror; a half turn about z does the job there.
void PoseFromOrientation(const Vec3& position, const Vec3* orientation, Matrix4& out) {
    M4_Identity(out);
    if (orientation) {
        Vec3 d;
        V3_Normalise(*orientation, d);
        Vec3 axis{d.x + 1.0f, d.y, d.z};
        if (V3_Length(axis) < 1e-5f) {
            M4_MakeRotationZ(180.0f, out);
        } else {
            V3_Normalise(axis, axis);
            M4_MakeAxisRotation(axis, 180.0f, out);
        }
    }
    out[12] = position.x;
    out[13] = position.y;
    out[14] = position.z;
}

const Vec3* Vectors(ItemStore* s, const char* path, int32_t n) {
    const StoreItem* item = Load_Item(s, path, ItemType::Float32, 2, n, 3);
    return item ? item->As<Vec3>() : nullptr;
}
const Matrix4* Matrices(ItemStore* s, const char* path, int32_t n) {
    const StoreItem* item = Load_Item(s, path, ItemType::Float32, 3, n, 4, 4);
    return item ? item->As<Matrix4>() : nullptr;
}
const int32_t* Ints(ItemStore* s, const char* path, int32_t n) {
    const StoreItem* item = Load_Item(s, path, ItemType::Int32, 1, n);
    return item ? item->As<int32_t>() : nullptr;
}

// Rows from matrices, else from positions and orientations; `count` is -1
// when the items give it (the matrices' or the positions' first size).
bool ReadPoses(ItemStore* s, const char* matrices, const char* positions, const char* orientations, int32_t& count,
               std::vector<Matrix4>& out) {
    const StoreItem* m = Load_Item(s, matrices, ItemType::Float32, 3, count, 4, 4);
    if (m) {
        count = m->sizes[0];
        out.assign(m->As<Matrix4>(), m->As<Matrix4>() + count);
        return true;
    }
    const StoreItem* p = Load_Item(s, positions, ItemType::Float32, 2, count, 3);
    if (!p) return false;
    count = p->sizes[0];
    const Vec3* o = Vectors(s, orientations, count);
    out.resize(static_cast<std::size_t>(count));
    for (int32_t k = 0; k < count; ++k) PoseFromOrientation(p->As<Vec3>()[k], o ? &o[k] : nullptr, out[k]);
    return true;
}

void ApplyShifts(const Vec3* shifts, StylusItem* items, int32_t n, bool raw) {
    if (!shifts) return;
    for (int32_t k = 0; k < n; ++k) {
        StylusItem& item = items[k];
        Matrix4& placed = raw ? item.ScanPose : item.BasicPose;
        placed = item.Pose;
        placed[12] += shifts[k].x;
        placed[13] += shifts[k].y;
        placed[14] += shifts[k].z;
        const float length = V3_Length(shifts[k]);
        (raw ? item.ScanDistance : item.BasicDistance) = length;
        const uint32_t flag = raw ? kStylusOnScan : kStylusOnBasic;
        item.Flags = length != 0.0f ? (item.Flags | flag) : (item.Flags & ~flag);
    }
}

void ApplyAllShifts(ItemStore* s, StylusItem* items, int32_t n, const char* rawPath, const char* basicPath,
                    const char* rbfPath) {
    ApplyShifts(Vectors(s, rawPath, n), items, n, true);
    ApplyShifts(Vectors(s, basicPath, n), items, n, false);
    ApplyShifts(Vectors(s, rbfPath, n), items, n, false);
}

// The line lengths and their total row count (-1 when a length is below 1
// or the total does not fit).
const int32_t* LineLengths(ItemStore* s, int32_t& lines, int32_t& rows) {
    const StoreItem* item = Load_Item(s, "Landmarks/LineLengths", ItemType::Int32, 1);
    lines = item ? item->sizes[0] : 0;
    const int32_t* lengths = item ? item->As<int32_t>() : nullptr;
    int64_t total = 0;
    for (int32_t j = 0; j < lines; ++j) total += lengths[j] < 1 ? int64_t(INT32_MAX) : lengths[j];
    rows = total < INT32_MAX ? static_cast<int32_t>(total) : -1;
    return lengths;
}

// Isolated points: each its own group.
void FillPoints(ItemStore* s, const std::vector<Matrix4>& poses, StylusItem* items, int32_t k) {
    const int32_t* hidden = Ints(s, "Landmarks/PointsHidden", k);
    const int32_t* inverted = Ints(s, "Landmarks/PointsInverted", k);
    const Matrix4* invMatrices = Matrices(s, "Landmarks/PointInvMatrices", k);
    const int32_t* times = Ints(s, "Landmarks/PointGatherTimes", k);
    for (int32_t j = 0; j < k; ++j) {
        StylusItem& item = items[j];
        item.Pose = item.FourthPose = poses[j];
        item.Group = j;
        if (hidden && hidden[j]) item.Flags |= kStylusHidden;
        if (inverted && inverted[j]) item.Flags |= kStylusInverted;
        if (invMatrices) item.FourthPose = invMatrices[j];
        if (times) item.Time = times[j];
    }
    ApplyAllShifts(s, items, k, "Landmarks/PointShifts/Raw", "Landmarks/PointShifts/Basic",
                   "Landmarks/PointShifts/RBF");
}

// A head is placed when any member of its line is, as far as the farthest
// member was moved: the file keeps no shift for the head itself, which has no
// pose, and without its flags the line would never be placed again.
void PlaceHeadsByMembers(StylusItem* items, int32_t l) {
    for (int32_t head = 0; head < l; ++head) {
        if (!(items[head].Flags & kStylusLineHead)) continue;
        for (auto [flag, distance] : {std::pair{kStylusOnScan, &StylusItem::ScanDistance},
                                      std::pair{kStylusOnBasic, &StylusItem::BasicDistance}}) {
            bool any = false;
            float best = 0.0f;
            for (int32_t j = head + 1; j < l && (items[j].Flags & kStylusLineMember); ++j) {
                if (!(items[j].Flags & flag)) continue;
                any = true;
                if (!(items[j].*distance < best)) best = items[j].*distance;
            }
            items[head].Flags = any ? (items[head].Flags | flag) : (items[head].Flags & ~flag);
            items[head].*distance = best;
        }
    }
}

// Lines: a head item and its members, one group a line, from `group` on.
void FillLines(ItemStore* s, const std::vector<Matrix4>& poses, const int32_t* lengths, int32_t m, int32_t l,
               StylusItem* items, int32_t group) {
    const int32_t* hidden = Ints(s, "Landmarks/LinesHidden", m);
    const int32_t* inverted = Ints(s, "Landmarks/LinesInverted", m);
    int32_t row = 0;
    for (int32_t j = 0; j < m; ++j, ++group) {
        StylusItem* head = items + row;
        for (int32_t r = 0; r < lengths[j]; ++r, ++row) {
            items[row].Pose = items[row].FourthPose = poses[row];
            items[row].Flags = kStylusLineMember;
            items[row].Group = group;
        }
        head->Flags = kStylusLineHead;
        if (hidden && hidden[j]) head->Flags |= kStylusHidden;
        if (inverted && inverted[j]) head->Flags |= kStylusInverted;
    }
    const int32_t* times = Ints(s, "Landmarks/LinePointGatherTimes", l);
    const Matrix4* invMatrices = Matrices(s, "Landmarks/LinePointInvMatrices", l);
    for (int32_t r = 0; r < l; ++r) {
        if (times) items[r].Time = times[r];
        if (invMatrices) items[r].FourthPose = invMatrices[r];
    }
    ApplyAllShifts(s, items, l, "Landmarks/LinePointShifts/Raw", "Landmarks/LinePointShifts/Basic",
                   "Landmarks/LinePointShifts/RBF");
    PlaceHeadsByMembers(items, l);
}

}  // namespace

LoadStatus Load_Landmarks(ItemStore* s, StylusItemList& list) {
    StylusItems_Free(list);
    std::vector<Matrix4> points, rows;
    int32_t k = -1, m = 0, l = 0;
    if (!ReadPoses(s, "Landmarks/PointMatrices", "Landmarks/Points", "Landmarks/PointOrientations", k, points)) k = 0;
    const int32_t* lengths = LineLengths(s, m, l);
    if (m > 0 && (l < 0 || !ReadPoses(s, "Landmarks/LinePointMatrices", "Landmarks/LinePoints",
                                      "Landmarks/LinePointOrientations", l, rows)))
        return kLoadBadField;  // line lengths that no row item carries
    const int64_t total = int64_t(k) + l;
    if (total == 0) return kLoadOk;
    list.Items = static_cast<StylusItem*>(ScanFile_Malloc(sizeof(StylusItem) * static_cast<std::size_t>(total)));
    if (!list.Items) return kLoadOutOfMemory;
    std::memset(list.Items, 0, sizeof(StylusItem) * static_cast<std::size_t>(total));
    list.Capacity = list.TotalCount = list.VisibleCount = static_cast<int32_t>(total);
    FillPoints(s, points, list.Items, k);
    if (m > 0) FillLines(s, rows, lengths, m, l, list.Items + k, k);
    list.GroupCount = k + m;
    return kLoadOk;
}
