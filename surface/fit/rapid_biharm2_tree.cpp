#include <cmath>
#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "surface/fit/rapid_biharm2_internal.h"
#include "surface/frame/core_reporter.h"
#include "surface/frame/reporter.h"
#include "surface/frame/status_codes.h"

namespace {

constexpr int32_t kPanelBytes = 1344, kFixedBytes = 3704;

struct Build {
    RapidBiharm2Workspace* ws;
    const double* const* centres;
    int32_t* scratch;
    const double* box;  // null without a box
};

bool Overlaps(const double* box, const double* c, double h) {
    return c[0] - h <= box[2] && c[0] + h >= box[0] && c[1] - h <= box[3] && c[1] + h >= box[1];
}

Biharm2Panel* NewPanel(RapidBiharm2Workspace* ws, Biharm2Panel* parent, int32_t q, int32_t first, int32_t end) {
    auto* p = static_cast<Biharm2Panel*>(Mem_Calloc(1, sizeof(Biharm2Panel)));
    if (!p) return nullptr;
    const int32_t level = parent ? parent->Level + 1 : 0;
    p->Next = ws->Levels[level];
    ws->Levels[level] = p;
    ++ws->LevelCounts[level];
    p->Parent = parent;
    p->Level = level;
    p->Quadrant = q;
    p->First = first;
    p->End = end;
    if (parent) {
        const double h = ws->HalfSize[level];
        p->Centre[0] = parent->Centre[0] + ((q & 1) ? h : -h);
        p->Centre[1] = parent->Centre[1] + ((q & 2) ? h : -h);
        p->Col = 2 * parent->Col + (q & 1);
        p->Row = 2 * parent->Row + (q >> 1);
        parent->Child[q] = p;
    }
    return p;
}

// Splits every panel of a level into its quadrants (x, then y about the
// centre); empty quadrants are made only where they overlap the box.
int SplitLevel(const Build& b, int32_t level) {
    RapidBiharm2Workspace* ws = b.ws;
    const double* x = ws->Centres;
    for (Biharm2Panel* p = ws->Levels[level]; p; p = p->Next) {
        int32_t counts[4] = {0, 0, 0, 0};
        auto quadrant = [&](int32_t i) {
            const int32_t j = ws->Permutation[i];
            return (b.centres[j][0] >= p->Centre[0] ? 1 : 0) + (b.centres[j][1] >= p->Centre[1] ? 2 : 0);
        };
        for (int32_t i = p->First; i < p->End; ++i) ++counts[quadrant(i)];
        int32_t starts[4], at[4];
        starts[0] = p->First;
        for (int32_t q = 1; q < 4; ++q) starts[q] = starts[q - 1] + counts[q - 1];
        std::memcpy(at, starts, sizeof(at));
        for (int32_t i = p->First; i < p->End; ++i) b.scratch[at[quadrant(i)]++] = ws->Permutation[i];
        std::memcpy(ws->Permutation + p->First, b.scratch + p->First,
                    sizeof(int32_t) * static_cast<size_t>(p->End - p->First));
        for (int32_t q = 0; q < 4; ++q) {
            const double h = ws->HalfSize[level + 1];
            const double c[2] = {p->Centre[0] + ((q & 1) ? h : -h), p->Centre[1] + ((q & 2) ? h : -h)};
            if (counts[q] == 0 && !(b.box && Overlaps(b.box, c, h))) continue;
            if (!NewPanel(ws, p, q, starts[q], starts[q] + counts[q])) return CoreStatus_NoMemory;
        }
    }
    (void)x;
    return 0;
}

void LinkNeighbours(RapidBiharm2Workspace* ws) {
    for (int32_t level = 1; level <= ws->DeepestLevel; ++level)
        for (Biharm2Panel* p = ws->Levels[level]; p; p = p->Next) {
            int32_t n = 0;
            const Biharm2Panel* parent = p->Parent;
            for (int32_t k = -1; k < 8; ++k) {
                const Biharm2Panel* around = k < 0 ? parent : parent->Neighbour[k];
                if (!around) continue;
                for (Biharm2Panel* c : around->Child)
                    if (c && c != p && std::abs(c->Col - p->Col) <= 1 && std::abs(c->Row - p->Row) <= 1 && n < 8)
                        p->Neighbour[n++] = c;
            }
        }
}

double Progress(const CoreReporter* reporter) { return reporter && reporter->progress ? *reporter->progress : 0.0; }

}  // namespace

// The cell table of the deepest level; false when it cannot be allocated.
static bool BuildCells(RapidBiharm2Workspace* ws) {
    const int32_t level = ws->DeepestLevel;
    if (level > 15) return false;  // a side of 2^15 cells is already 8 GB of pointers
    const int32_t side = 1 << level;
    std::size_t bytes = 0;
    if (!Mem_BlockBytes(static_cast<uint64_t>(side) * static_cast<uint64_t>(side), sizeof(Biharm2Panel*), &bytes))
        return false;
    ws->Cells = static_cast<Biharm2Panel**>(Mem_Alloc(bytes));
    if (!ws->Cells) return false;
    std::memset(ws->Cells, 0, bytes);
    ws->CellSide = side;
    for (Biharm2Panel* p = ws->Levels[level]; p; p = p->Next)
        ws->Cells[static_cast<int64_t>(p->Row) * side + p->Col] = p;
    return true;
}

int RapidBiharm2_InitTree(RapidBiharm2Workspace* ws, int32_t N, const double* const* centres, double numInPanel,
                          const double* box, const CoreReporter* reporter) {
    if (!ws || !centres) return CoreStatus_NullArgument;
    if (ws->TreeBuilt) return 0;
    if (N <= 0 || !(numInPanel > 0.0)) return CoreStatus_InvalidInput;
    const uint32_t start = Reporter_Clock();
    const int32_t products = ws->ProductsDone;
    std::memset(ws, 0, sizeof(*ws));
    ws->ProductsDone = products;
    ws->N = N;
    if (16.0 * numInPanel > N) numInPanel = std::floor(N / 17.0);
    ws->NumInPanel = numInPanel < 1.0 ? 1.0 : numInPanel;
    double lo[2] = {HUGE_VAL, HUGE_VAL}, hi[2] = {-HUGE_VAL, -HUGE_VAL};
    for (int32_t i = 0; i < N; ++i)
        for (int32_t j = 0; j < 2; ++j)
            lo[j] = std::fmin(lo[j], centres[i][j]), hi[j] = std::fmax(hi[j], centres[i][j]);
    if (box) {
        lo[0] = std::fmin(lo[0], box[0]), lo[1] = std::fmin(lo[1], box[1]);
        hi[0] = std::fmax(hi[0], box[2]), hi[1] = std::fmax(hi[1], box[3]);
    }
    if (!std::isfinite(lo[0] + lo[1] + hi[0] + hi[1])) return CoreStatus_InvalidInput;
    const double perPanel = N / ws->NumInPanel;
    int32_t L = 0;
    while (L < kBiharm2Levels - 1 && std::pow(4.0, L) < perPanel) ++L;
    double h = std::fmax(hi[0] - lo[0], hi[1] - lo[1]);
    if (box) {
        hi[0] += 0.001 * h, hi[1] += 0.001 * h;
        h *= 1.001;
    }
    ws->HalfSize[0] = 0.5 * h * std::sqrt(std::pow(4.0, L) / perPanel);
    for (int32_t l = 1; l < kBiharm2Levels; ++l) ws->HalfSize[l] = 0.5 * ws->HalfSize[l - 1];
    ws->Min[0] = lo[0], ws->Min[1] = lo[1];
    ws->Max[0] = hi[0], ws->Max[1] = hi[1];
    ws->HasBox = box != nullptr;
    ws->Centres = Mem_AllocDoubles(2 * N);
    ws->Coeffs = Mem_AllocDoubles(N);
    ws->Permutation = Mem_AllocInts(N);
    ws->Result = Mem_AllocDoubles(N);
    Build b{ws, centres, Mem_AllocInts(N), box};
    int status = ws->Centres && ws->Coeffs && ws->Permutation && ws->Result && b.scratch ? 0 : 2;
    if (status == 0) {
        for (int32_t i = 0; i < N; ++i) ws->Permutation[i] = i;
        ws->Root = NewPanel(ws, nullptr, 0, 0, N);
        if (!ws->Root) status = 2;
    }
    if (status == 0) {
        ws->Root->Centre[0] = lo[0] + ws->HalfSize[0];
        ws->Root->Centre[1] = lo[1] + ws->HalfSize[0];
    }
    for (int32_t level = 0; status == 0 && level + 1 < kBiharm2Levels; ++level) {
        const double mean = static_cast<double>(N) / (ws->LevelCounts[level] > 0 ? ws->LevelCounts[level] : 1);
        if (level >= L && mean <= 2.5 * ws->NumInPanel) break;
        status = SplitLevel(b, level);
        ws->DeepestLevel = level + 1;
        if (status == 0 && CoreReporter_AbortRequested(reporter)) status = 10;
    }
    Mem_Free(b.scratch);
    if (status != 0) {
        RapidBiharm2_Free(ws);
        ws->ProductsDone = products;
        return status;
    }
    for (int32_t i = 0; i < N; ++i)
        for (int32_t j = 0; j < 2; ++j) ws->Centres[2 * i + j] = centres[ws->Permutation[i]][j];
    LinkNeighbours(ws);
    if (box && !BuildCells(ws)) {
        RapidBiharm2_Free(ws);
        ws->ProductsDone = products;
        return CoreStatus_NoMemory;
    }
    ws->TreeBuilt = 1;
    if (CoreReporter_SpeaksIn(reporter, 3, kCategoryBiharmonic2))
        CoreReporter_Elapsed(reporter, "RapidBiharm2_InitTree took", static_cast<int32_t>(Reporter_Clock() - start));
    (void)Progress;
    return 0;
}

void RapidBiharm2_FreeTaylor(RapidBiharm2Workspace* ws) {
    if (!ws) return;
    for (int32_t level = 0; level < kBiharm2Levels; ++level)
        for (Biharm2Panel* p = ws->Levels[level]; p; p = p->Next) {
            Mem_Free(p->Laurent);
            Mem_Free(p->Taylor);
            p->Laurent = p->Taylor = nullptr;
            std::memset(p->Head, 0, sizeof(p->Head));
        }
    ws->ExpansionsFormed = 0;
}

void RapidBiharm2_Free(RapidBiharm2Workspace* ws) {
    if (!ws) return;
    RapidBiharm2_FreeTaylor(ws);
    for (int32_t level = kBiharm2Levels - 1; level >= 0; --level) {
        Biharm2Panel* p = ws->Levels[level];
        while (p) {
            Biharm2Panel* next = p->Next;
            Mem_Free(p);
            p = next;
        }
    }
    Mem_Free(ws->Centres);
    Mem_Free(ws->Coeffs);
    Mem_Free(ws->Permutation);
    Mem_Free(ws->Result);
    Mem_Free(ws->Cache);
    Mem_Free(ws->Cells);
    std::memset(ws, 0, sizeof(*ws));
}

int32_t RapidBiharm2_Bytes(const RapidBiharm2Workspace* ws) {
    int64_t panels = 0;
    if (ws && ws->TreeBuilt)
        for (int32_t level = 2; level < kBiharm2Levels; ++level) panels += ws->LevelCounts[level];
    else if (ws && ws->NumInPanel > 0)
        panels = static_cast<int64_t>(ws->N / ws->NumInPanel);
    const int64_t bytes = kPanelBytes * panels + kFixedBytes;
    return bytes > INT32_MAX ? INT32_MAX : static_cast<int32_t>(bytes);
}

void RapidBiharm2_DumpPanels(const RapidBiharm2Workspace* ws) {
    if (!ws) return;
    // Panels are numbered in the order printed, level by level; a parent is
    // named by its number.
    std::unordered_map<const Biharm2Panel*, int32_t> numbers;
    int32_t index = 0;
    for (int32_t level = 0; level <= ws->DeepestLevel; ++level)
        for (const Biharm2Panel* p = ws->Levels[level]; p; p = p->Next, ++index) {
            numbers[p] = index;
            const auto parent = numbers.find(p->Parent);
            std::printf("\nPanel %d, Level %d, centcount %d, parent %d\n", index, p->Level, p->End - p->First,
                        parent != numbers.end() ? parent->second : -1);
            std::printf("LaurentLength = %d\t LaurentLengthToUse = %d, %d\n", p->Laurent ? ws->LaurentLength : 0,
                        p->LengthToUse[0], p->LengthToUse[1]);
        }
}
