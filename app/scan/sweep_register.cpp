// The registration run on the scan record: the sweeps' copies, the
// alignment, and moving the sweeps (and taking them back) afterwards.
#include "app/scan/sweep_register.h"

#include "app/base/time_stamp.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// The hook's context during a run: the text of the current step.
struct RunProgress {
    const SweepRegStepReport* report;
    const char* key;
    float fraction;
};

int RunHook(void* context, float fraction) {
    RunProgress& progress = *static_cast<RunProgress*>(context);
    progress.fraction = fraction;
    return (*progress.report)(progress.key, fraction) ? 1 : 0;
}

// The registration sweeps of one run, freed with it.
class RunSweeps {
  public:
    RunSweeps() = default;
    RunSweeps(const RunSweeps&) = delete;
    RunSweeps& operator=(const RunSweeps&) = delete;
    ~RunSweeps() {
        for (SweepRegSweep& s : sweeps_) {
            KdTree_Free(&s.Tree);
            std::free(s.Points);
            std::free(s.Normals);
        }
    }

    // Copies sweep s's points in force; false when memory runs out.
    bool Add(const RawData& raw, int32_t s) {
        const int32_t first = raw.SweepFirstPoint[s], end = raw.SweepFirstPoint[s + 1];
        int32_t kept = 0;
        for (int32_t i = first; i < end; ++i) kept += RawData_PointInEditRange(raw, i) ? 0 : 1;
        if (kept == 0) return true;
        SweepRegSweep sweep{};
        M4_Identity(sweep.Transform);
        sweep.Points = static_cast<Vec3*>(std::malloc(sizeof(Vec3) * kept));
        sweep.Normals = static_cast<Vec3*>(std::malloc(sizeof(Vec3) * kept));
        try {
            sweeps_.push_back(sweep);
            indices_.push_back(s);
        } catch (const std::bad_alloc&) {
            std::free(sweep.Points);
            std::free(sweep.Normals);
            return false;
        }
        SweepRegSweep& added = sweeps_.back();
        if (!added.Points || !added.Normals) return false;
        for (int32_t i = first; i < end; ++i) {
            if (RawData_PointInEditRange(raw, i)) continue;
            added.Points[added.Count] = raw.Points[i].Vertex;
            added.Normals[added.Count] = raw.Points[i].Normal;
            ++added.Count;
        }
        return KdTree_Build(added.Points, added.Count, &added.Tree) != 0;
    }

    int32_t Count() const { return static_cast<int32_t>(sweeps_.size()); }
    SweepRegSweep* Data() { return sweeps_.data(); }
    int32_t SweepIndex(int32_t k) const { return indices_[k]; }

  private:
    std::vector<SweepRegSweep> sweeps_;
    std::vector<int32_t> indices_;
};

// The profile's wand pose moved so that its sensor points, through the wand
// pose and the inverse reference pose, land where m puts them.
void MoveProfilePose(Profile& profile, const Matrix4& m) {
    if (!profile.ReferenceEnabled) {
        M4_Multiply(m, profile.WandRxMatrix, profile.WandRxMatrix);
        return;
    }
    Matrix4 referenceInverse, pose;
    M4_InvertRigid(profile.ReferenceRxMatrix, referenceInverse);
    M4_Multiply(referenceInverse, profile.WandRxMatrix, pose);
    M4_Multiply(m, pose, pose);
    M4_Multiply(profile.ReferenceRxMatrix, pose, profile.WandRxMatrix);
}

void MoveAndRecord(RawData& raw, int32_t s, const Matrix4& m) {
    SweepRecord& sweep = raw.Sweeps[s];
    if (sweep.Flags & kSweepPendingTransform)
        M4_Multiply(m, sweep.PendingTransform, sweep.PendingTransform);
    else
        sweep.PendingTransform = m;
    sweep.Flags |= kSweepPendingTransform;
    SweepReg_MoveSweep(raw, s, m);
}

// A sweep whose every step failed kept its identity transform: it stays
// exactly where it is, with no pending registration.
bool IsIdentity(const Matrix4& m) {
    Matrix4 identity;
    M4_Identity(identity);
    return std::memcmp(&m, &identity, sizeof m) == 0;
}

void MarkMoved(RawData& raw) {
    Time_Now(raw.Timestamp);
    raw.Draw.Flags |= kDrawFull;
}

}  // namespace

void SweepReg_MoveSweep(RawData& raw, int32_t s, const Matrix4& m) {
    Matrix4 r = m;
    r[12] = r[13] = r[14] = 0.0f;
    for (int32_t p = raw.SweepStartingProfileNo[s]; p < raw.SweepStartingProfileNo[s + 1]; ++p) {
        Profile& profile = raw.Profiles[p];
        MoveProfilePose(profile, m);
        for (int32_t k = 0; k < profile.NumPoints; ++k) M4_TransformPoint(m, profile.Points[k], profile.Points[k]);
    }
    for (int32_t i = raw.SweepFirstPoint[s]; i < raw.SweepFirstPoint[s + 1]; ++i) {
        M4_TransformPoint(m, raw.Points[i].Vertex, raw.Points[i].Vertex);
        M4_TransformPoint(r, raw.Points[i].Normal, raw.Points[i].Normal);
    }
    for (int32_t f = raw.SweepFirstFacet[s]; f < raw.SweepFirstFacet[s + 1]; ++f)
        M4_TransformPoint(r, raw.FacetNormals[f], raw.FacetNormals[f]);
}

int SweepReg_Run(RawData& raw, const SweepRegParameters& params, const SweepRegStepReport& report) {
    if (params.InitialError) *params.InitialError = -1.0f;
    if (params.FinalError) *params.FinalError = -1.0f;
    // The spread order divides by the samples; the overlap test needs a margin.
    if (params.Samples < 1 || !(params.SearchRadius > 0.0f)) return kSweepRegBadParameters;
    RunProgress progress{&report, "SweepRegInitMsg", 0.0f};
    report(progress.key, 0.0f);
    RunSweeps sweeps;
    for (int32_t s = 0; s < raw.NumSweeps; ++s) {
        if (raw.Sweeps[s].Flags & kSweepHidden) continue;
        if (!sweeps.Add(raw, s)) return kSweepRegOutOfMemory;
    }
    if (sweeps.Count() < 2) return kSweepRegTooFewSweeps;
    progress.key = "SweepRegRegisterMsg";
    SweepReg_SetProgressHook(RunHook, &progress);
    const int aligned = SweepReg_Align(sweeps.Data(), sweeps.Count(), params, params.InitialError, params.FinalError);
    SweepReg_SetProgressHook(nullptr, nullptr);
    if (!aligned) {
        progress.key = "SweepRegAbortMsg";
        return report(progress.key, progress.fraction) ? kSweepRegFailed : kSweepRegCancelled;
    }
    report("SweepRegApplyMsg", 0.99f);
    bool moved = false;
    for (int32_t k = 0; k < sweeps.Count(); ++k) {
        if (IsIdentity(sweeps.Data()[k].Transform)) continue;
        MoveAndRecord(raw, sweeps.SweepIndex(k), sweeps.Data()[k].Transform);
        moved = true;
    }
    if (moved) MarkMoved(raw);
    return kSweepRegDone;
}

void SweepReg_ApplyPending(RawData& raw) {
    bool moved = false;
    for (int32_t s = 0; s < raw.NumSweeps; ++s) {
        SweepRecord& sweep = raw.Sweeps[s];
        if (!(sweep.Flags & kSweepPendingTransform)) continue;
        Matrix4 inverse;
        M4_InvertRigid(sweep.PendingTransform, inverse);
        SweepReg_MoveSweep(raw, s, inverse);
        sweep.Flags &= ~kSweepPendingTransform;
        moved = true;
    }
    if (moved) MarkMoved(raw);
}
