#include "surface/fit/mq_expansion.h"

#include <cmath>
#include <cstring>

#include "surface/fit/mq_series.h"
#include "surface/frame/core_reporter.h"
#include "surface/frame/reporter.h"
#include "surface/frame/tracked_memory.h"
#include "surface/frame/status_codes.h"

namespace {

// The series arrays hold total degrees up to this (derivatives one more).
constexpr int32_t kMQTopDegree = 60;

void ReleaseSeries(void* payload) {
    auto* s = static_cast<MQPanelSeries*>(payload);
    Mem_Free(s->A);
    for (double* d : s->Derivative) Mem_Free(d);
    Mem_Free(s);
}

bool Speaks(const CoreReporter* reporter, int32_t level) {
    return CoreReporter_SpeaksIn(reporter, level, kCategoryMultiquadric);
}

void Elapsed(const CoreReporter* reporter, const char* label, uint32_t start) {
    if (Speaks(reporter, 3)) CoreReporter_Elapsed(reporter, label, static_cast<int32_t>(Reporter_Clock() - start));
}

double Progress(const CoreReporter* reporter) { return reporter && reporter->progress ? *reporter->progress : 0.0; }

int32_t Top(const MQExpansion* r) { return r->P + r->K; }

}  // namespace

int MQExpansion_InitTree(int32_t N, int32_t dimension, int32_t numInPanel, const double* const* centres,
                         MQExpansion* record, const CoreReporter* reporter) {
    if (!record) return CoreStatus_NullArgument;
    if (record->TreeBuilt && (N != record->N || dimension != record->Tree.Dim)) {
        if (CoreReporter_Speaks(reporter, 2))
            CoreReporter_Warning(reporter, "Multiquadric evaluator discarding entire workspace");
        MQExpansion_Free(record);
    }
    if (record->TreeBuilt) return 0;
    if (N <= 0) {
        if (CoreReporter_Speaks(reporter, 1)) CoreReporter_Error(reporter, "Number of centres must be positive");
        return CoreStatus_InvalidInput;
    }
    const uint32_t start = Reporter_Clock();
    std::memset(record, 0, sizeof(*record));
    int status = EvalTree_Build(N, dimension, centres, numInPanel, &record->Tree);
    if (status != 0) return status;
    record->Centres = Mem_AllocDoubles(3 * N);
    if (!record->Centres) {
        EvalTree_Free(&record->Tree);
        return CoreStatus_NoMemory;
    }
    for (int32_t i = 0; i < N; ++i)
        for (int32_t j = 0; j < 3; ++j)
            record->Centres[3 * i + j] = j < dimension ? centres[record->Tree.Permutation[i]][j] : 0.0;
    record->Tree.ReleasePayload = ReleaseSeries;
    record->N = N;
    record->NumInPanel = numInPanel;
    record->TreeBuilt = 1;
    Elapsed(reporter, "MQExpansion: Init tree took", start);
    return 0;
}

int MQExpansion_InitExpansions(int32_t N, int32_t p, int32_t k, double c, const double* coeffs, int32_t differentiate,
                               MQExpansion* record, const CoreReporter* reporter, double target) {
    if (!record || !coeffs) return CoreStatus_NullArgument;
    if (record->Formed && (p > record->P || k != record->K || std::fabs(c) != record->AbsC)) {
        if (CoreReporter_Speaks(reporter, 2))
            CoreReporter_Warning(reporter, "Fast multiquadric evaluator discarding workspace far field");
        MQExpansion_FreeExpansions(record);
    }
    if (record->Formed) {
        if (differentiate && !record->Differentiated) return MQExpansion_Differentiate(p, k, record, reporter);
        return 0;
    }
    const bool speak = CoreReporter_Speaks(reporter, 1);
    if (!record->TreeBuilt || N != record->N) {
        if (speak) CoreReporter_Error(reporter, "Number of Coeffs must be same as number of Centres");
        return CoreStatus_InvalidInput;
    }
    if (k >= 0 && k % 2 == 0) {
        if (speak) CoreReporter_Error(reporter, "Multiquadric parameter k = %d must be odd or negative", k);
        return CoreStatus_InvalidInput;
    }
    if (p <= 0) {
        if (speak) CoreReporter_Error(reporter, "Multiquadric order of expansion p must be positive");
        return CoreStatus_InvalidInput;
    }
    if (p + k > kMQTopDegree) {
        if (speak) CoreReporter_Error(reporter, "Multiquadric order of expansion p = %d is too large", p);
        return CoreStatus_InvalidInput;
    }
    const uint32_t start = Reporter_Clock();
    record->AbsC = std::fabs(c);
    record->P = p;
    record->K = k;
    record->C2 = c * c;
    if (CoreReporter_Speaks(reporter, 5))
        CoreReporter_Info(reporter, "MQExpansion: p = %d, k = %d, c = %.2g, NumInPanel = %d", p, k, c,
                          record->NumInPanel);
    record->Orders[0] = p;
    for (int32_t i = 1; i < kMQOrders; ++i)
        record->Orders[i] = static_cast<int32_t>(std::floor(0.8 * record->Orders[i - 1]));
    for (int32_t i = 0; i < kMQOrders; ++i) {
        const double q = record->Orders[i];
        record->Costs[i] = 0.0386 * q * q * q + 1.2667 * q * q - 2.713 * q + 15.512;
    }
    const int32_t top = Top(record);
    record->Coeffs = Mem_AllocDoubles(N);
    record->Alpha = Mem_AllocDoubles(top + 2);
    record->Beta = Mem_AllocDoubles(top + 2);
    record->Scratch = Mem_AllocDoubles(Tetra_Size(top) + 1);
    if (!record->Coeffs || !record->Alpha || !record->Beta || !record->Scratch) {
        MQExpansion_FreeExpansions(record);
        return CoreStatus_NoMemory;
    }
    for (int32_t i = 0; i < N; ++i) record->Coeffs[i] = coeffs[record->Tree.Permutation[i]];
    for (int32_t i = 2; i <= top; ++i) {
        record->Alpha[i] = -2.0 * (0.5 * k - i + 1) / i;
        record->Beta[i] = -static_cast<double>(i - k - 2) / i;
    }
    int status = MQExpansion_FormSeries(record, reporter, target);
    if (status == 0 && differentiate) status = MQExpansion_Differentiate(p, k, record, reporter);
    if (status != 0) {
        MQExpansion_FreeExpansions(record);
        return status;
    }
    Elapsed(reporter, "MQExpansion: Forming far field expansions took", start);
    record->Formed = 1;
    return 0;
}

int MQExpansion_FormSeries(MQExpansion* r, const CoreReporter* reporter, double target) {
    EvalTree& tree = r->Tree;
    r->FirstLevel = tree.DeepestLevel;
    for (int32_t level = tree.DeepestLevel; level >= 0; --level)
        for (const EvalPanel* p = tree.Levels[level]; p; p = p->Next)
            if (!p->Child[0]) r->FirstLevel = level;
    if (CoreReporter_Speaks(reporter, 5))
        CoreReporter_Info(reporter, "MQExpansion: Forming series on levels %d to %d", r->FirstLevel, tree.DeepestLevel);
    int32_t panels = 0;
    for (int32_t level = r->FirstLevel; level <= tree.DeepestLevel; ++level) panels += tree.LevelCounts[level];
    const double now = Progress(reporter);
    const double step = now < target && panels > 0 ? (target - now) / panels : 0.0;
    const int32_t top = Top(r), size = Tetra_Size(top);
    r->SeriesPanels = 0;
    for (int32_t level = tree.DeepestLevel; level >= r->FirstLevel; --level) {
        for (EvalPanel* p = tree.Levels[level]; p; p = p->Next) {
            auto* s = static_cast<MQPanelSeries*>(Mem_Calloc(1, sizeof(MQPanelSeries)));
            if (!s) return CoreStatus_NoMemory;
            p->Payload = s;
            if (size > 0 && !(s->A = static_cast<double*>(Mem_Calloc(static_cast<size_t>(size), sizeof(double)))))
                return CoreStatus_NoMemory;
            for (int32_t i = p->First; i < p->End; ++i) {
                const double* x = r->Centres + 3 * i;
                const double y[3] = {x[0] - p->Centre[0], x[1] - p->Centre[1], x[2] - p->Centre[2]};
                s->S += std::fabs(r->Coeffs[i]);
                if (s->A)
                    MQSeries_AddSource(s->A, top, r->K, y, y[0] * y[0] + y[1] * y[1] + y[2] * y[2] + r->C2,
                                       r->Coeffs[i], r->Alpha, r->Beta, r->Scratch);
            }
            ++r->SeriesPanels;
            if (step > 0.0) CoreReporter_SetProgress(reporter, Progress(reporter) + step);
        }
        if (CoreReporter_AbortRequested(reporter)) return CoreStatus_UserAbort;
    }
    return 0;
}

int MQExpansion_Differentiate(int32_t p, int32_t k, MQExpansion* r, const CoreReporter* reporter) {
    const uint32_t start = Reporter_Clock();
    const int32_t top = p + k, size = Tetra_Size(top + 1);
    for (int32_t level = r->Tree.DeepestLevel; level >= 0; --level)
        for (EvalPanel* panel = r->Tree.Levels[level]; panel; panel = panel->Next) {
            auto* s = static_cast<MQPanelSeries*>(panel->Payload);
            if (!s || !s->A) continue;
            for (int32_t axis = 0; axis < 3; ++axis) {
                if (!s->Derivative[axis] && !(s->Derivative[axis] = Mem_AllocDoubles(size))) return CoreStatus_NoMemory;
                MQSeries_Derivative(s->A, top, k, axis, s->Derivative[axis]);
            }
        }
    r->Differentiated = 1;
    Elapsed(reporter, "MQExpansion: Differentiating far field expansions took", start);
    return 0;
}

void MQExpansion_FreeExpansions(MQExpansion* r) {
    if (!r) return;
    for (int32_t level = 0; level < kEvalTreeLevels; ++level)
        for (EvalPanel* p = r->Tree.Levels[level]; p; p = p->Next) {
            if (p->Payload) ReleaseSeries(p->Payload);
            p->Payload = nullptr;
        }
    Mem_Free(r->Coeffs);
    Mem_Free(r->Alpha);
    Mem_Free(r->Beta);
    Mem_Free(r->Scratch);
    r->Coeffs = r->Alpha = r->Beta = r->Scratch = nullptr;
    r->Formed = 0;
    r->Differentiated = 0;
}

void MQExpansion_Free(MQExpansion* r) {
    if (!r) return;
    MQExpansion_FreeExpansions(r);
    EvalTree_Free(&r->Tree);
    Mem_Free(r->Centres);
    std::memset(r, 0, sizeof(*r));
}

int32_t MQExpansion_Bytes(const MQExpansion* r, int32_t p, int32_t k, int32_t differentiated) {
    const int32_t n = p + k + 1, e = n + 1, f = e * (n + 2);
    const int32_t g = 4 * (n + n * e / 2 + 2 * (f * n / 6));
    int32_t H = 0;
    if (r && r->TreeBuilt)
        for (int32_t level = r->FirstLevel; level <= r->Tree.DeepestLevel; ++level) H += r->Tree.LevelCounts[level];
    int32_t bytes = 16 * n + g + (g + 56) * H;
    if (differentiated) bytes += H * 12 * (e + f / 2 + 2 * (f * (e + 2) / 6));
    return bytes;
}
