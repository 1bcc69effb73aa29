#include <cmath>
#include <cstring>

#include "surface/fit/rapid_biphi3_internal.h"
#include "surface/fit/eval_tree.h"
#include "surface/fit/smallest_ball.h"
#include "surface/frame/status_codes.h"

namespace {

constexpr int32_t kDeepestAllowed = kBiphi3Levels - 1;
constexpr int32_t kValueBytes = 75600 - 47712 - 23856;
constexpr int32_t kFirstBytes = 75600 - 47712;
constexpr int32_t kSecondBytes = 75600;
constexpr int32_t kPanelTreeBytes = 240;

struct Build {
    RapidBiphi3Workspace* ws;
    const double* const* centres;
    int32_t* scratch;
};

void SetBall(const Build& b, Biphi3Panel* panel) {
    double lo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL}, hi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (int32_t i = panel->First; i < panel->End; ++i) {
        const double* p = b.centres[b.ws->Permutation[i]];
        for (int32_t j = 0; j < 3; ++j) lo[j] = std::fmin(lo[j], p[j]), hi[j] = std::fmax(hi[j], p[j]);
    }
    int32_t widest = 0;
    double diagonal2 = 0.0;
    for (int32_t j = 0; j < 3; ++j) {
        if (hi[j] - lo[j] > hi[widest] - lo[widest]) widest = j;
        diagonal2 += (hi[j] - lo[j]) * (hi[j] - lo[j]);
    }
    panel->SplitDim = static_cast<int16_t>(widest);
    std::memcpy(b.scratch, b.ws->Permutation + panel->First, sizeof(int32_t) * static_cast<size_t>(panel->Count));
    Ball ball;
    if (Ball_Smallest(panel->Count, b.centres, b.scratch, &ball, nullptr) == 0 && ball.Radius2 < diagonal2) {
        for (int32_t j = 0; j < 3; ++j) panel->Centre[j] = ball.Centre[j];
        panel->Radius = std::sqrt(ball.Radius2);
        return;
    }
    for (int32_t j = 0; j < 3; ++j) panel->Centre[j] = 0.5 * (lo[j] + hi[j]);
    panel->Radius = std::sqrt(diagonal2);
}

Biphi3Panel* NewPanel(const Build& b, Biphi3Panel* parent, int32_t first, int32_t end, int32_t whichChild) {
    auto* panel = static_cast<Biphi3Panel*>(Mem_Calloc(1, sizeof(Biphi3Panel)));
    if (!panel) return nullptr;
    const int32_t level = parent ? parent->Level + 1 : 0;
    RapidBiphi3Workspace* ws = b.ws;
    panel->Next = ws->Levels[level];
    ws->Levels[level] = panel;
    ++ws->LevelCounts[level];
    if (level > ws->DeepestLevel) ws->DeepestLevel = level;
    panel->Parent = parent;
    panel->First = first;
    panel->End = end;
    panel->Count = end - first;
    panel->Leaf = 1;
    panel->Level = static_cast<int16_t>(level);
    panel->WhichChild = static_cast<int16_t>(whichChild);
    panel->K0 = -1;
    SetBall(b, panel);
    if (parent) parent->Leaf = 0;
    return panel;
}

int32_t Partition(const Build& b, const Biphi3Panel* panel) {
    int32_t* perm = b.ws->Permutation;
    const int32_t s = panel->SplitDim;
    const double v = panel->Centre[s];
    int32_t front = panel->First;
    for (int32_t i = panel->First; i < panel->End; ++i)
        if (b.centres[perm[i]][s] <= v) {
            const int32_t t = perm[i];
            perm[i] = perm[front];
            perm[front++] = t;
        }
    return front;
}

// Depth first from an explicit stack: at most one pending sibling per level.
int SplitAll(const Build& b) {
    Biphi3Panel* stack[2 * kBiphi3Levels + 2];
    int32_t top = 0;
    stack[top++] = b.ws->Root;
    while (top > 0) {
        Biphi3Panel* panel = stack[--top];
        if (panel->Count <= b.ws->NumInPanel || panel->Level >= kDeepestAllowed) continue;
        const int32_t middle = Partition(b, panel);
        if (middle < panel->End) {
            panel->Child[1] = NewPanel(b, panel, middle, panel->End, 1);
            if (!panel->Child[1]) return CoreStatus_NoMemory;
            stack[top++] = panel->Child[1];
        }
        if (middle > panel->First) {
            panel->Child[0] = NewPanel(b, panel, panel->First, middle, 0);
            if (!panel->Child[0]) return CoreStatus_NoMemory;
            stack[top++] = panel->Child[0];
        }
    }
    return 0;
}

int32_t PanelsFrom(const RapidBiphi3Workspace* ws, int32_t firstLevel) {
    int32_t panels = 0;
    if (ws && ws->TreeBuilt)
        for (int32_t level = firstLevel; level < kBiphi3Levels; ++level) panels += ws->LevelCounts[level];
    return panels;
}

}  // namespace

int RapidBiphi3_BuildTree(int32_t N, int32_t dimension, const double* const* centres, int32_t numInPanel,
                          RapidBiphi3Workspace* ws) {
    if (!ws || !centres) return CoreStatus_NullArgument;
    if (ws->TreeBuilt) return 0;
    std::memset(ws, 0, sizeof(*ws));
    if (N <= 0) return CoreStatus_InvalidInput;
    ws->N = N;
    ws->Dim = dimension;
    ws->NumInPanel = numInPanel > 1 ? numInPanel : 1;
    ws->MaxOrder = kBiphi3MaxOrder;
    ws->Orders[0] = kBiphi3MaxOrder;
    for (int32_t k = 1; k < kBiphi3Orders; ++k)
        ws->Orders[k] = static_cast<int32_t>(std::floor(ws->Orders[k - 1] / std::sqrt(2.0))) + 1;
    ws->Centres = Mem_AllocDoubles(3 * N);
    ws->Coeffs = Mem_AllocDoubles(N);
    ws->Permutation = Mem_AllocInts(N);
    ws->Result = Mem_AllocDoubles(N);
    Build b{ws, centres, Mem_AllocInts(N)};
    int status = ws->Centres && ws->Coeffs && ws->Permutation && ws->Result && b.scratch ? 0 : 2;
    if (status == 0) {
        for (int32_t i = 0; i < N; ++i) ws->Permutation[i] = i;
        ws->Root = NewPanel(b, nullptr, 0, N, 0);
        status = ws->Root ? SplitAll(b) : 2;
    }
    Mem_Free(b.scratch);
    if (status != 0) {
        RapidBiphi3_Free(ws);
        return status;
    }
    for (int32_t i = 0; i < N; ++i)
        for (int32_t j = 0; j < 3; ++j) ws->Centres[3 * i + j] = centres[ws->Permutation[i]][j];
    ws->TreeBuilt = 1;
    return 0;
}

void RapidBiphi3_FreeExpansions(RapidBiphi3Workspace* ws) {
    if (!ws) return;
    for (int32_t level = 0; level < kBiphi3Levels; ++level)
        for (Biphi3Panel* p = ws->Levels[level]; p; p = p->Next) {
            Mem_Free(p->Far);
            Mem_Free(p->First1);
            Mem_Free(p->Second);
            p->Far = p->First1 = p->Second = nullptr;
            p->K0 = -1;
        }
    ws->FarFormed = 0;
    ws->DerivativeLevel = 0;
    ws->FormedFrom = nullptr;
}

void RapidBiphi3_Free(RapidBiphi3Workspace* ws) {
    if (!ws) return;
    RapidBiphi3_FreeExpansions(ws);
    for (int32_t level = kBiphi3Levels - 1; level >= 0; --level) {
        Biphi3Panel* p = ws->Levels[level];
        while (p) {
            Biphi3Panel* next = p->Next;
            Mem_Free(p);
            p = next;
        }
    }
    Mem_Free(ws->Centres);
    Mem_Free(ws->Coeffs);
    Mem_Free(ws->Permutation);
    Mem_Free(ws->Result);
    std::memset(ws, 0, sizeof(*ws));
}

int32_t RapidBiphi3_ExpansionBytes(int32_t N, int32_t numInPanel, int32_t derivativeLevel,
                                   const RapidBiphi3Workspace* ws) {
    int32_t panels = PanelsFrom(ws, 1);
    if (panels <= 0) panels = EvalTree_FullPanelCount(N, numInPanel);
    const int32_t perPanel = derivativeLevel >= 2 ? kSecondBytes : derivativeLevel == 1 ? kFirstBytes : kValueBytes;
    return perPanel * panels;
}

int32_t RapidBiphi3_TreeBytes(int32_t N, int32_t numInPanel, const RapidBiphi3Workspace* ws) {
    int32_t panels = PanelsFrom(ws, 0);
    if (panels <= 0) panels = EvalTree_FullPanelCount(N, numInPanel);
    return kPanelTreeBytes * panels;
}

int32_t RapidBiphi3_Bytes(int32_t N, int32_t numInPanel, const RapidBiphi3Workspace* ws) {
    int32_t bytes = 48 * N + 30132;
    if (ws && ws->DerivativeLevel == 0) bytes -= 23856;
    if (ws && ws->DerivativeLevel >= 2) bytes += 47928;
    return bytes + RapidBiphi3_TreeBytes(N, numInPanel, ws);
}
