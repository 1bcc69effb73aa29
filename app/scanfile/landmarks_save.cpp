// The Landmarks section: the stylus items in force, isolated points and
// line rows apart, each as parallel arrays.
#include "app/scanfile/scan_file_writer.h"

namespace {

Vec3 Position(const Matrix4& m) { return Vec3{m[12], m[13], m[14]}; }
Vec3 FirstAxis(const Matrix4& m) { return Vec3{m[0], m[1], m[2]}; }
Vec3 Shift(const Matrix4& placed, const Matrix4& pose, bool present) {
    if (!present) return Vec3{0.0f, 0.0f, 0.0f};
    return Vec3{placed[12] - pose[12], placed[13] - pose[13], placed[14] - pose[14]};
}

// One kind's arrays (points or line rows), each sized for every item.
struct KindArrays {
    int32_t count = 0;
    Vec3* positions;
    Matrix4* matrices;
    Matrix4* inverted;
    int32_t* times;
    Vec3* orientations;
    Vec3* rawShifts;
    Vec3* surfaceShifts;
    bool Take(ScanFileWriter& w, int32_t n) {
        positions = w.Array<Vec3>(n);
        matrices = w.Array<Matrix4>(n);
        inverted = w.Array<Matrix4>(n);
        times = w.Array<int32_t>(n);
        orientations = w.Array<Vec3>(n);
        rawShifts = w.Array<Vec3>(n);
        surfaceShifts = w.Array<Vec3>(n);
        return positions && matrices && inverted && times && orientations && rawShifts && surfaceShifts;
    }
    void Put(const StylusItem& item, bool invertedFlag) {
        positions[count] = Position(item.Pose);
        matrices[count] = item.Pose;
        inverted[count] = invertedFlag ? item.FourthPose : item.Pose;
        times[count] = item.Time;
        orientations[count] = FirstAxis(item.Pose);
        rawShifts[count] = Shift(item.ScanPose, item.Pose, item.Flags & kStylusOnScan);
        surfaceShifts[count] = Shift(item.BasicPose, item.Pose, item.Flags & kStylusOnBasic);
        ++count;
    }
};

bool IsLineRow(const StylusItem& item) { return item.Flags & (kStylusLineHead | kStylusLineMember); }

bool Vectors(ScanFileWriter& w, const char* path, const Vec3* v, int32_t n) {
    return ItemStore_AddItem(w.store, path, v, ItemType::Float32, 2, n, 3);
}
bool Matrices(ScanFileWriter& w, const char* path, const Matrix4* m, int32_t n) {
    return ItemStore_AddItem(w.store, path, m, ItemType::Float32, 3, n, 4, 4);
}
bool Ints(ScanFileWriter& w, const char* path, const int32_t* v, int32_t n) {
    return ItemStore_AddItem(w.store, path, v, ItemType::Int32, 1, n);
}

}  // namespace

bool TVNFile_Landmarks_Save(ScanFileWriter& w, const StylusItemList& list, bool basicShifts, bool rbfShifts) {
    int32_t n = list.VisibleCount;
    if (n > list.TotalCount) n = list.TotalCount;
    if (n < 0 || !list.Items) n = 0;
    KindArrays points, rows;
    auto* pointsHidden = w.Array<int32_t>(n);
    auto* pointsInverted = w.Array<int32_t>(n);
    auto* lineLengths = w.Array<int32_t>(n);
    auto* linesHidden = w.Array<int32_t>(n);
    auto* linesInverted = w.Array<int32_t>(n);
    if (!points.Take(w, n) || !rows.Take(w, n) || !pointsHidden || !pointsInverted || !lineLengths || !linesHidden ||
        !linesInverted)
        return false;
    int32_t lines = 0;
    bool lineInverted = false;
    for (int32_t i = 0; i < n; ++i) {
        const StylusItem& item = list.Items[i];
        if (!IsLineRow(item)) {
            pointsHidden[points.count] = (item.Flags & kStylusHidden) ? 1 : 0;
            pointsInverted[points.count] = (item.Flags & kStylusInverted) ? 1 : 0;
            points.Put(item, item.Flags & kStylusInverted);
            continue;
        }
        if ((item.Flags & kStylusLineHead) || lines == 0) {
            linesHidden[lines] = (item.Flags & kStylusHidden) ? 1 : 0;
            linesInverted[lines] = (item.Flags & kStylusInverted) ? 1 : 0;
            lineInverted = item.Flags & kStylusInverted;
            lineLengths[lines++] = 0;
        }
        ++lineLengths[lines - 1];
        rows.Put(item, lineInverted);
    }
    const int32_t k = points.count, l = rows.count;
    bool ok =
        Vectors(w, "Landmarks/Points", points.positions, k) &&
        Matrices(w, "Landmarks/PointMatrices", points.matrices, k) &&
        Matrices(w, "Landmarks/PointInvMatrices", points.inverted, k) &&
        Ints(w, "Landmarks/PointsHidden", pointsHidden, k) && Ints(w, "Landmarks/PointsInverted", pointsInverted, k) &&
        Ints(w, "Landmarks/PointGatherTimes", points.times, k) &&
        Vectors(w, "Landmarks/PointOrientations", points.orientations, k) &&
        Ints(w, "Landmarks/LineLengths", lineLengths, lines) && Ints(w, "Landmarks/LinesHidden", linesHidden, lines) &&
        Ints(w, "Landmarks/LinesInverted", linesInverted, lines) &&
        Vectors(w, "Landmarks/LinePoints", rows.positions, l) &&
        Matrices(w, "Landmarks/LinePointMatrices", rows.matrices, l) &&
        Ints(w, "Landmarks/LinePointGatherTimes", rows.times, l) &&
        Matrices(w, "Landmarks/LinePointInvMatrices", rows.inverted, l) &&
        Vectors(w, "Landmarks/LinePointOrientations", rows.orientations, l) &&
        Vectors(w, "Landmarks/PointShifts/Raw", points.rawShifts, k) &&
        Vectors(w, "Landmarks/LinePointShifts/Raw", rows.rawShifts, l);
    if (ok && basicShifts)
        ok = Vectors(w, "Landmarks/LinePointShifts/Basic", rows.surfaceShifts, l) &&
             Vectors(w, "Landmarks/PointShifts/Basic", points.surfaceShifts, k);
    if (ok && rbfShifts)
        ok = Vectors(w, "Landmarks/PointShifts/RBF", points.surfaceShifts, k) &&
             Vectors(w, "Landmarks/LinePointShifts/RBF", rows.surfaceShifts, l);
    return ok;
}
