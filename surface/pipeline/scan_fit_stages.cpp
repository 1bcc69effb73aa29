// The three stages of a build and the order in which a build runs them:
// fit the density data made from the normals (stage 0), follow the zero
// isosurface and trim it (stage 1), simplify it in the view frame (stage 2).
// Every stage that fails leaves the data of the stages before it as they
// were; the caller then frees by the stage that stands.
#include <cstring>

#include "surface/eval/isosurface.h"
#include "surface/fit/density.h"
#include "surface/fit/eval_operations.h"
#include "surface/fit/fit_attributes.h"
#include "surface/fit/fit_operations.h"
#include "surface/fit/simplify.h"
#include "surface/fit/trim_operations.h"
#include "surface/frame/geometry_coarse.h"
#include "surface/frame/record_memory.h"
#include "surface/pipeline/scan_fit.h"

namespace {

// A working point list freed on every way out.
struct OwnedPoints {
    PointList3 list{};
    OwnedPoints() = default;
    OwnedPoints(const OwnedPoints&) = delete;
    OwnedPoints& operator=(const OwnedPoints&) = delete;
    ~OwnedPoints() { PointList3_Free(&list); }
};

// A record block freed on every way out.
struct OwnedBlock {
    double* data = nullptr;
    explicit OwnedBlock(int64_t doubles) : data(static_cast<double*>(Record_Alloc(doubles, sizeof(double)))) {}
    OwnedBlock(const OwnedBlock&) = delete;
    OwnedBlock& operator=(const OwnedBlock&) = delete;
    ~OwnedBlock() { Record_Free(data); }
};

// The live counts point at the surface mesh only while it is being made, and
// the abort flag is cleared after every isosurfacing, also when it fails.
struct LiveCounts {
    ScanFitContext* context;
    explicit LiveCounts(ScanFitContext* c) : context(c) {
        // Read by the main program's progress thread while the build runs.
        __atomic_store_n(&c->LivePointCount, &c->SurfaceMesh.Points.Count, __ATOMIC_RELAXED);
        __atomic_store_n(&c->LiveTriangleCount, &c->SurfaceMesh.Faces.TriCount, __ATOMIC_RELAXED);
    }
    LiveCounts(const LiveCounts&) = delete;
    LiveCounts& operator=(const LiveCounts&) = delete;
    ~LiveCounts() {
        __atomic_store_n(&context->LivePointCount, static_cast<int32_t*>(nullptr), __ATOMIC_RELAXED);
        __atomic_store_n(&context->LiveTriangleCount, static_cast<int32_t*>(nullptr), __ATOMIC_RELAXED);
        __atomic_store_n(&context->Report.abort, 0, __ATOMIC_RELAXED);
    }
};

// The solution moved into the view frame for the simplification: its centres
// (a transformed copy in place of the held block), its polynomial base and
// its linear polynomial terms. Whatever way the simplification ends, the
// solution gets back its own fields, bit for bit.
class SolutionInView {
  public:
    SolutionInView(Solution3* solution, double* movedCentres, const Mat4d* view)
        : solution_(solution), centres_(solution->Centres) {
        std::memcpy(base_, solution->PolyBase, sizeof base_);
        const int32_t n = solution->CentreCount;
        terms_ = solution->CoeffCount - n;
        if (terms_ == 4) std::memcpy(linear_, &solution->Coeffs[n], sizeof linear_);
        if (n > 0) std::memcpy(movedCentres, centres_, sizeof(double) * 3 * static_cast<size_t>(n));
        ScanFit_TransformPoints(view, n, movedCentres);
        solution->Centres = movedCentres;
        ScanFit_TransformPoints(view, 1, solution->PolyBase);
        if (terms_ == 4) {
            // The gradient of the linear part, as a row vector, times the
            // transpose of the rigid inverse (whose rotation part is then the
            // view's own); the constant stays.
            Mat4d inverse, turned;
            ScanFit_InverseTransform(view, &inverse);
            geom_coarse::Mat4_Transpose(&inverse, &turned);
            for (int j = 0; j < 3; ++j) {
                double sum = 0.0;
                for (int i = 0; i < 3; ++i) sum += linear_[1 + i] * turned.m[4 * i + j];
                solution->Coeffs[n + 1 + j] = sum;
            }
        }
    }
    SolutionInView(const SolutionInView&) = delete;
    SolutionInView& operator=(const SolutionInView&) = delete;
    ~SolutionInView() {
        solution_->Centres = centres_;
        std::memcpy(solution_->PolyBase, base_, sizeof base_);
        if (terms_ == 4) std::memcpy(&solution_->Coeffs[solution_->CentreCount], linear_, sizeof linear_);
    }

  private:
    Solution3* solution_;
    double* centres_;
    double base_[3];
    double linear_[4] = {};
    int32_t terms_ = 0;
};

}  // namespace

int ScanFit_FitStage(ScanFitContext* c, int32_t count, const float* points, const float* normals) {
    if (count < 0) {
        ScanFit_HostMessage(c, kLevelError, "Negative number of scan points (%d)", count);
        return 0;
    }
    if (count > 0 && (points == nullptr || normals == nullptr)) {
        ScanFit_HostMessage(c, kLevelError, "Scan points or normals missing (%d points)", count);
        return 0;
    }
    const ScanFitParams& p = c->Params;
    OwnedPoints working;
    if (PointList3_Create(&working.list, count, 0, 0, 0, 0, 1) != 0) {
        ScanFit_HostMessage(c, kLevelError, "Memory allocation failed (f001)");
        return 0;
    }
    if (PointList3_Create(&c->Input, count, 0, 0, 0, 0, 0) != 0) {
        ScanFit_HostMessage(c, kLevelError, "Memory allocation failed (f002)");
        return 0;
    }
    for (int64_t i = 0; i < 3 * static_cast<int64_t>(count); ++i) {
        working.list.Location[i] = c->Input.Location[i] = points[i];
        working.list.Gradient[i] = normals[i];
    }
    working.list.Count = c->Input.Count = count;

    DensityAttributes density;
    SetDensityAttrDefaults(&density);
    density.FixedLength = 1;
    density.GridPoints = 100;
    int status = Selvane_DensityFromNormals3(&working.list, -1, p.InputResolution * 5.0, 0.0, &density, &c->Report);
    if (status == 0) {
        FitAttributes fit;
        SetFitAttrDefaults(&fit);
        fit.FitType = static_cast<double>(p.Accuracy) < 0.3 ? FitType_CentreReduction : FitType_ErrorBar;
        const uint32_t memory = static_cast<uint32_t>(p.MemoryToUse) << 20;
        status = Selvane_Fit3(&c->Solution, &working.list, -1, p.Accuracy, memory, &fit, &c->Report);
    }
    if (status != 0) return 0;
    c->Stage = ScanFitStage_Surface;
    c->Report.abort = 0;
    return 1;
}

int ScanFit_SurfaceStage(ScanFitContext* c) {
    const ScanFitParams& p = c->Params;
    EvalAttributes eval;
    SetGridAttrDefaults(&eval);
    eval.EvalAccuracy = p.Accuracy / 10.0;
    eval.LowPassFilterWidth = p.Resolution;
    Mat4d view;
    ScanFit_ViewMatrix(&p, &view);
    IsosurfAttributes iso;
    SetIsosurfAttrDefaults(&iso);
    iso.OrientationMatrix = view.m;
    iso.TransformBoundingBox = 0;
    iso.FaceStyle = p.FaceStyle == 1 ? 1 : 0;
    if (p.Close >= 0 && p.Close <= 3) iso.CapStyle = p.Close == 1 ? 2 : 0;
    OwnedPoints seeds;
    if (ScanFit_MakeSeeds(&c->Input, &seeds.list) != 0) {
        ScanFit_HostMessage(c, kLevelError, "Memory allocation failed (i001)");
        return 0;
    }
    iso.Seeds = &seeds.list;
    iso.SeedLimit = seeds.list.Count / 10;
    const float margin = p.ExtraTrim + p.Resolution;
    double regionMin[3], regionMax[3];
    ScanFit_Region(&c->Input, &view, margin, regionMin, regionMax);

    Mesh3_Free(&c->SurfaceMesh);
    int status;
    {
        LiveCounts live(c);
        status = Selvane_Isosurf3(&c->Solution, &eval, nullptr, &c->SurfaceMesh, 0.0, p.Resolution, regionMin,
                                  regionMax, &iso, &c->Report);
    }
    if (status != 0) return 0;
    // A failed trim fails like a failed surfacing: the untrimmed surface is
    // no result, so the stage stays at 1 and the caller frees it.
    if (p.Close == 2) status = Selvane_TrimMesh3(&c->SurfaceMesh, &c->Input, margin, &c->Report);
    if (p.Close == 3) status = Selvane_TrimMeshBoundary3(&c->SurfaceMesh, &c->Input, margin, &c->Report);
    if (status != 0) return 0;
    c->Stage = ScanFitStage_Simplify;
    c->OutputMesh = &c->SurfaceMesh;
    return 1;
}

int ScanFit_SimplifyStage(ScanFitContext* c) {
    const ScanFitParams& p = c->Params;
    Solution3* solution = &c->Solution;
    // Both copies are made before anything moves, so that a failure leaves
    // the surface mesh and the solution as they were.
    const int32_t points = c->SurfaceMesh.Points.Count;
    OwnedBlock moved(3 * static_cast<int64_t>(points));
    if (moved.data == nullptr) return 0;
    OwnedBlock centres(3 * static_cast<int64_t>(solution->CentreCount));
    if (centres.data == nullptr) {
        ScanFit_HostMessage(c, kLevelError, "Memory allocation failed (s001)");
        return 0;
    }
    Mat4d view;
    ScanFit_ViewMatrix(&p, &view);
    Mesh3 inView = c->SurfaceMesh;
    if (points > 0) std::memcpy(moved.data, c->SurfaceMesh.Points.Location, sizeof(double) * 3 * points);
    ScanFit_TransformPoints(&view, points, moved.data);
    inView.Points.Location = moved.data;

    SimplifyLimits limits;
    SimplifyLimits_Default(&limits);
    limits.AngleLimit = p.SimpAngle;
    limits.FacesLimit = p.SimpNFaces;
    limits.PointsLimit = p.SimpNPoints;
    int status;
    {
        SolutionInView framed(solution, centres.data, &view);
        EvalAttributes eval;
        SetGridAttrDefaults(&eval);
        eval.EvalAccuracy = solution->DefaultEvalAccuracy;
        eval.LowPassFilterWidth = p.Resolution;
        status =
            Simplify3_NoColour(&inView, &c->SimplifiedMesh, solution, &eval, p.SimpError, 0.0, &limits, &c->Report);
    }
    if (status != 0) return 0;
    Mat4d back;
    ScanFit_InverseTransform(&view, &back);
    ScanFit_TransformPoints(&back, c->SimplifiedMesh.Points.Count, c->SimplifiedMesh.Points.Location);
    c->Stage = ScanFitStage_Done;
    c->OutputMesh = &c->SimplifiedMesh;
    return 1;
}

int ScanFit_Process(ScanFitContext* c, int32_t count, const float* points, const float* normals) {
    c->Report.callback = &ScanFit_ForwardMessage;
    c->Report.user = c;
    c->Report.maximumLevel = kLevelSuccess;
    if (c->Stage < ScanFitStage_Fit || c->Stage > ScanFitStage_Simplify) return 1;
    // What this build makes starts empty: nothing held is overwritten.
    ScanFit_FreeStageData(c);
    bool ok = true;
    if (c->Stage == ScanFitStage_Fit) ok = ScanFit_FitStage(c, count, points, normals) != 0;
    if (ok && c->Stage == ScanFitStage_Surface) ok = ScanFit_SurfaceStage(c) != 0;
    if (ok && c->Params.DoSimplify == 0) return 1;
    if (ok) ok = ScanFit_SimplifyStage(c) != 0;
    if (ok) return 1;
    ScanFit_FreeStageData(c);
    return 0;
}
