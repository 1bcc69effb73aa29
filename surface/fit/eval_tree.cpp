#include "surface/fit/eval_tree.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "surface/fit/smallest_ball.h"
#include "surface/frame/tracked_memory.h"
#include "surface/frame/status_codes.h"

namespace {

constexpr int32_t kPanelBytesEstimate = 80;

struct Builder {
    EvalTree* tree;
    const double* const* points;
    int32_t* scratch;
};

void BoundingBox(const Builder& b, int32_t first, int32_t end, double* lo, double* hi) {
    const int32_t d = b.tree->Dim;
    for (int32_t j = 0; j < d; ++j) lo[j] = HUGE_VAL, hi[j] = -HUGE_VAL;
    for (int32_t i = first; i < end; ++i) {
        const double* p = b.points[b.tree->Permutation[i]];
        for (int32_t j = 0; j < d; ++j) {
            lo[j] = std::fmin(lo[j], p[j]);
            hi[j] = std::fmax(hi[j], p[j]);
        }
    }
}

void SetBall(const Builder& b, EvalPanel* panel) {
    const int32_t d = b.tree->Dim;
    double lo[3], hi[3];
    BoundingBox(b, panel->First, panel->End, lo, hi);
    int32_t widest = 0;
    for (int32_t j = 1; j < d; ++j)
        if (hi[j] - lo[j] > hi[widest] - lo[widest]) widest = j;
    panel->SplitDim = static_cast<int16_t>(widest);
    std::memcpy(b.scratch, b.tree->Permutation + panel->First, sizeof(int32_t) * static_cast<size_t>(panel->Count));
    Ball ball;
    if (BallN_Smallest(d, panel->Count, b.points, b.scratch, nullptr, &ball, nullptr) == 0) {
        for (int32_t j = 0; j < d; ++j) panel->Centre[j] = ball.Centre[j];
        panel->Radius = std::sqrt(ball.Radius2);
        return;
    }
    double diagonal = 0.0;
    for (int32_t j = 0; j < d; ++j) {
        panel->Centre[j] = 0.5 * (lo[j] + hi[j]);
        diagonal += (hi[j] - lo[j]) * (hi[j] - lo[j]);
    }
    panel->Radius = std::sqrt(diagonal);
}

EvalPanel* NewPanel(const Builder& b, EvalPanel* parent, int32_t first, int32_t end, int32_t level,
                    int32_t whichChild) {
    auto* panel = static_cast<EvalPanel*>(Mem_Calloc(1, sizeof(EvalPanel)));
    if (!panel) return nullptr;
    EvalTree* tree = b.tree;
    panel->Next = tree->Levels[level];
    tree->Levels[level] = panel;
    ++tree->LevelCounts[level];
    panel->Parent = parent;
    panel->First = first;
    panel->End = end;
    panel->Count = end - first;
    panel->Level = static_cast<int16_t>(level);
    panel->WhichChild = static_cast<int16_t>(whichChild);
    SetBall(b, panel);
    return panel;
}

// Points at or below the centre's split coordinate to the front of the range
// (keeping their order); returns the first index of the rest.
int32_t Partition(const Builder& b, const EvalPanel* panel) {
    int32_t* perm = b.tree->Permutation;
    const int32_t s = panel->SplitDim;
    const double v = panel->Centre[s];
    int32_t front = panel->First;
    for (int32_t i = panel->First; i < panel->End; ++i) {
        if (b.points[perm[i]][s] <= v) {
            const int32_t t = perm[i];
            perm[i] = perm[front];
            perm[front++] = t;
        }
    }
    return front;
}

int SplitLevel(const Builder& b, int32_t level) {
    for (EvalPanel* panel = b.tree->Levels[level]; panel; panel = panel->Next) {
        if (panel->Count < b.tree->MinInPanel) continue;
        const int32_t middle = Partition(b, panel);
        if (middle > panel->First) {
            panel->Child[0] = NewPanel(b, panel, panel->First, middle, level + 1, 0);
            if (!panel->Child[0]) return CoreStatus_NoMemory;
        }
        if (middle < panel->End) {
            panel->Child[1] = NewPanel(b, panel, middle, panel->End, level + 1, 1);
            if (!panel->Child[1]) return CoreStatus_NoMemory;
        }
    }
    return 0;
}

}  // namespace

int EvalTree_Build(int32_t N, int32_t d, const double* const* points, int32_t minInPanel, EvalTree* tree) {
    if (!tree) return CoreStatus_NullArgument;
    std::memset(tree, 0, sizeof(*tree));
    if (N <= 0 || minInPanel < 2) return CoreStatus_SizeNotPositive;
    if (d < 1 || d > 3) return CoreStatus_InvalidDimension;
    if (!points) return CoreStatus_NullArgument;
    tree->N = N;
    tree->Dim = d;
    tree->MinInPanel = minInPanel;
    tree->Permutation = Mem_AllocInts(N);
    Builder b{tree, points, Mem_AllocInts(N)};
    int status = tree->Permutation && b.scratch ? 0 : 2;
    if (status == 0) {
        for (int32_t i = 0; i < N; ++i) tree->Permutation[i] = i;
        tree->Root = NewPanel(b, nullptr, 0, N, 0, 0);
        if (!tree->Root) status = 2;
    }
    for (int32_t level = 0; status == 0 && level + 1 < kEvalTreeLevels && tree->Levels[level]; ++level)
        status = SplitLevel(b, level);
    Mem_Free(b.scratch);
    if (status != 0) {
        EvalTree_Free(tree);
        return status;
    }
    for (int32_t level = 0; level < kEvalTreeLevels; ++level)
        if (tree->LevelCounts[level] > 0) tree->DeepestLevel = level;
    return 0;
}

void EvalTree_Free(EvalTree* tree) {
    if (!tree) return;
    for (int32_t level = kEvalTreeLevels - 1; level >= 0; --level) {
        EvalPanel* panel = tree->Levels[level];
        while (panel) {
            EvalPanel* next = panel->Next;
            if (tree->ReleasePayload && panel->Payload) tree->ReleasePayload(panel->Payload);
            Mem_Free(panel);
            panel = next;
        }
    }
    Mem_Free(tree->Permutation);
    std::memset(tree, 0, sizeof(*tree));
}

int32_t EvalTree_FullPanelCount(int32_t N, int32_t perPanel) {
    const int32_t leaves = perPanel > 0 ? N / perPanel : N;
    int32_t c = 1;
    while (c < leaves && c < (1 << 29)) c *= 2;
    return 2 * c - 2;
}

int32_t EvalTree_Bytes(int32_t N, int32_t minInPanel, const EvalTree* tree) {
    int32_t panels = 0;
    if (tree)
        for (int32_t level = 0; level < kEvalTreeLevels; ++level) panels += tree->LevelCounts[level];
    if (panels <= 0) panels = EvalTree_FullPanelCount(N, minInPanel);
    return kPanelBytesEstimate * panels;
}

static void PrintPanel(const EvalPanel* panel) {
    std::printf("Current %p Parent %p \n", static_cast<const void*>(panel), static_cast<const void*>(panel->Parent));
    if (panel->Child[0] || panel->Child[1])
        std::printf(" Child[0]  %p Child[1] %p \n", static_cast<const void*>(panel->Child[0]),
                    static_cast<const void*>(panel->Child[1]));
    else
        std::printf("   childless \n");
}

void EvalTree_DumpSubtree(const EvalPanel* panel, const char* title) {
    if (!panel) return;
    if (title && !panel->Parent) std::printf("%s\n", title);
    std::printf("New panel     Level  %d   NumPoints %d \n", panel->Level, panel->Count);
    std::printf("Panel radius: %.4e\n", panel->Radius);
    PrintPanel(panel);
    EvalTree_DumpSubtree(panel->Child[0], nullptr);
    EvalTree_DumpSubtree(panel->Child[1], nullptr);
}

void EvalTree_DumpLevel(const EvalTree* tree, int32_t level, const char* title) {
    if (!tree || level < 0 || level >= kEvalTreeLevels) return;
    if (title) std::printf("%s\n", title);
    std::printf("Level  %d\n", level);
    for (const EvalPanel* panel = tree->Levels[level]; panel; panel = panel->Next) {
        std::printf("New panel     NumPoints %d \n", panel->Count);
        PrintPanel(panel);
    }
}
