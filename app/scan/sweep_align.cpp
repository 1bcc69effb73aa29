// The alignment of registration sweeps: point pairs of each sweep against
// the others on their tangent planes, and the rigid step that fits them.
#include "app/scan/sweep_register.h"

#include "app/scan/svd.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>
#include <numeric>
#include <vector>

namespace {

SweepRegHook g_hook = nullptr;
void* g_hookContext = nullptr;

bool GoOn(float fraction) { return g_hook != nullptr && g_hook(g_hookContext, fraction) != 0; }

// Source and target points of the pairs of one step; they grow by doubling.
class PairLists {
  public:
    PairLists() = default;
    PairLists(const PairLists&) = delete;
    PairLists& operator=(const PairLists&) = delete;
    ~PairLists() {
        std::free(source_);
        std::free(target_);
    }
    bool Append(const Vec3& source, const Vec3& target) {
        if (count_ == capacity_ && !Grow()) return false;
        source_[count_] = source;
        target_[count_] = target;
        ++count_;
        return true;
    }
    void Clear() { count_ = 0; }
    int32_t Count() const { return count_; }
    const Vec3* Source() const { return source_; }
    const Vec3* Target() const { return target_; }

  private:
    bool Grow() {
        const int32_t capacity = capacity_ ? capacity_ * 2 : 10000;
        Vec3* source = static_cast<Vec3*>(std::realloc(source_, sizeof(Vec3) * capacity));
        if (source) source_ = source;
        Vec3* target = source ? static_cast<Vec3*>(std::realloc(target_, sizeof(Vec3) * capacity)) : nullptr;
        if (target) target_ = target;
        if (!source || !target) return false;
        capacity_ = capacity;
        return true;
    }
    Vec3* source_ = nullptr;
    Vec3* target_ = nullptr;
    int32_t count_ = 0;
    int32_t capacity_ = 0;
};

// a's box, moved by t, against b's box: on each axis the union may exceed
// the two extents together by at most the margin.
bool BoxesOverlap(const KdTree& a, const Matrix4& t, const KdTree& b, float margin) {
    Vec3 c0, c1;
    M4_TransformPoint(t, a.BoxMin, c0);
    M4_TransformPoint(t, a.BoxMax, c1);
    const float aLow[3] = {std::min(c0.x, c1.x), std::min(c0.y, c1.y), std::min(c0.z, c1.z)};
    const float aHigh[3] = {std::max(c0.x, c1.x), std::max(c0.y, c1.y), std::max(c0.z, c1.z)};
    const float bLow[3] = {b.BoxMin.x, b.BoxMin.y, b.BoxMin.z};
    const float bHigh[3] = {b.BoxMax.x, b.BoxMax.y, b.BoxMax.z};
    for (int k = 0; k < 3; ++k) {
        const float together = std::max(aHigh[k], bHigh[k]) - std::min(aLow[k], bLow[k]);
        if (together - ((aHigh[k] - aLow[k]) + (bHigh[k] - bLow[k])) > margin) return false;
    }
    return true;
}

// The pairs of a's points on b's tangent planes, in world coordinates.
// `exchanged` appends them with source and target swapped (b moves onto a).
// False when the lists cannot grow.
bool GatherPairs(const SweepRegSweep& a, const SweepRegSweep& b, const SweepRegParameters& params, bool exchanged,
                 PairLists& pairs) {
    if (a.Count < 1 || b.Count < 1 || !a.Tree || !b.Tree) return true;
    Matrix4 bInverse, t, r;
    M4_InvertRigid(b.Transform, bInverse);
    M4_Multiply(bInverse, a.Transform, t);
    r = t;
    r[12] = r[13] = r[14] = 0.0f;
    if (!BoxesOverlap(*a.Tree, t, *b.Tree, params.SearchRadius)) return true;
    // A spread order over the whole sweep: every step-th point, then the
    // ones after them, so that the accepted pairs cover the sweep.
    const int32_t step = (a.Count + params.Samples - 1) / params.Samples;
    int32_t accepted = 0;
    for (int32_t offset = 0; offset < step && accepted < params.Samples; ++offset) {
        for (int32_t k = offset; k < a.Count && accepted < params.Samples; k += step) {
            Vec3 p, n;
            M4_TransformPoint(t, a.Points[k], p);
            M4_TransformPoint(r, a.Normals[k], n);
            if (KdTree_NearestSorted(b.Tree, p, params.SearchRadius) < 1) continue;
            const int32_t nearest = b.Tree->Results[0];
            const Vec3& q = b.Points[nearest];
            const Vec3& m = b.Normals[nearest];
            if (V3_Dot(m, n) < 0.0f) continue;
            Vec3 projected;
            V3_AddScaled(p, V3_Dot(m, q) - V3_Dot(m, p), m, projected);
            if (KdTree_RadiusQuery(b.Tree, projected, params.SupportRadius) < 1) continue;
            Vec3 from, to;
            M4_TransformPoint(b.Transform, p, from);
            M4_TransformPoint(b.Transform, projected, to);
            if (!(exchanged ? pairs.Append(to, from) : pairs.Append(from, to))) return false;
            ++accepted;
        }
    }
    return true;
}

float RootMeanSquare(int32_t count, const Vec3* source, const Vec3* target, const Matrix4* move) {
    double sum = 0.0;
    for (int32_t i = 0; i < count; ++i) {
        Vec3 s = source[i];
        if (move) M4_TransformPoint(*move, s, s);
        sum += V3_DistanceSquared(s, target[i]);
    }
    return static_cast<float>(std::sqrt(sum / count));
}

Vec3 Centroid(int32_t count, const Vec3* points) {
    double x = 0.0, y = 0.0, z = 0.0;
    for (int32_t i = 0; i < count; ++i) x += points[i].x, y += points[i].y, z += points[i].z;
    return Vec3{static_cast<float>(x / count), static_cast<float>(y / count), static_cast<float>(z / count)};
}

}  // namespace

void SweepReg_SetProgressHook(SweepRegHook hook, void* context) {
    g_hook = hook;
    g_hookContext = context;
}

int SweepReg_IcpStep(int32_t count, const Vec3* source, const Vec3* target, Matrix4& transform, float* scale,
                     float* errorBefore, float* errorAfter) {
    if (count < 3) return 0;
    const Vec3 cs = Centroid(count, source);
    const Vec3 ct = Centroid(count, target);
    float h[9] = {};
    for (int32_t i = 0; i < count; ++i) {
        const float s[3] = {source[i].x - cs.x, source[i].y - cs.y, source[i].z - cs.z};
        const float t[3] = {target[i].x - ct.x, target[i].y - ct.y, target[i].z - ct.z};
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) h[r * 3 + c] += s[r] * t[c];
    }
    // Points are row vectors (p·M), so the rotation part of M is the
    // proper rotation nearest to H itself; near-planar pairs would give a
    // reflection from the plain factors.
    Matrix4D wide, v, w, u;
    M4D_Identity(wide);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) wide[r * 4 + c] = h[r * 3 + c];
    if (!M4D_NearestRotation(wide, v, w, u)) return 0;
    Matrix4 m;
    M4_Identity(m);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) {
            double sum = 0.0;
            for (int k = 0; k < 3; ++k) sum += u[k * 4 + i] * v[k * 4 + j];
            m[i * 4 + j] = static_cast<float>(sum);
        }
    Vec3 turned;
    M4_TransformPoint(m, cs, turned);
    m[12] = ct.x - turned.x;
    m[13] = ct.y - turned.y;
    m[14] = ct.z - turned.z;
    transform = m;
    if (scale) *scale = 1.0f;
    if (errorBefore) *errorBefore = RootMeanSquare(count, source, target, nullptr);
    if (errorAfter) *errorAfter = RootMeanSquare(count, source, target, &m);
    return 1;
}

int SweepReg_Align(SweepRegSweep* sweeps, int32_t count, const SweepRegParameters& params, float* initialError,
                   float* finalError) {
    std::vector<int32_t> order;
    try {
        order.resize(count);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    std::iota(order.begin(), order.end(), 0);
    PairLists pairs;
    float initial = 0.0f;
    const float rounds = static_cast<float>(params.Iterations);
    for (int32_t round = 0; round < params.Iterations; ++round) {
        if (!GoOn(round / rounds)) return 0;
        std::sort(order.begin(), order.end(),
                  [sweeps](int32_t a, int32_t b) { return sweeps[a].Error > sweeps[b].Error; });
        if (round > 0 && sweeps[order[0]].Error < params.StopThreshold) break;
        for (int32_t position = 0; position < count; ++position) {
            if (!GoOn((static_cast<float>(position) / count + round) / rounds)) return 0;
            SweepRegSweep& j = sweeps[order[position]];
            pairs.Clear();
            for (int32_t i = 0; i < count; ++i) {
                if (&sweeps[i] == &j) continue;
                if (!GatherPairs(j, sweeps[i], params, false, pairs) || !GatherPairs(sweeps[i], j, params, true, pairs))
                    return 0;
            }
            Matrix4 m;
            float before = 0.0f, after = 0.0f;
            if (!SweepReg_IcpStep(pairs.Count(), pairs.Source(), pairs.Target(), m, nullptr, &before, &after)) continue;
            M4_Multiply(m, j.Transform, j.Transform);
            // Many float products drift from a rotation; the sweep must stay
            // rigid, and the inverse that takes it back is the transpose.
            M4_Orthonormalise(j.Transform, j.Transform);
            j.Error = after;
            if (round == 0) initial += before / count;
        }
        if (round == 0 && initialError) *initialError = initial;
    }
    float total = 0.0f;
    for (int32_t i = 0; i < count; ++i) total += sweeps[i].Error;
    if (finalError) *finalError = total / count;
    return 1;
}
