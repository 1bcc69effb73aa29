// Domain decomposition: the N centres of a fit (dimension 2 or 3) covered by
// overlapping subdomains.
//
// Each subdomain has an inner set (a leaf panel of the spatial division; the
// inner sets partition the centres) and an outer set (a layer of
// neighbouring centres around the inner set's box, several mean point
// spacings thick). The iterative fitters solve a small interpolation problem
// on every subdomain and keep the coefficients of its inner points.
//
// Two searches find outer sets: the orthant search grows one box per
// orthant of the inner box until it holds its share of the target; the slab
// search collects the points of slabs that wind around the inner box.
//
// Statuses are core statuses: 0, 2 out of memory, 5 bad argument,
// 7 dimension out of range, 10 cancelled, 11 search limit reached,
// 23 null argument, 24 zero scale factor.
#ifndef SURFACE_FIT_DOM_DECOMP_H
#define SURFACE_FIT_DOM_DECOMP_H

#include <cstdint>

#include "surface/search/kd_tree.h"

struct CoreReporter;

struct DomDecompOptions {
    int32_t MaxPoints;    // largest inner set; below 1 chosen from N and the dimension
    int32_t MaxTotalPts;  // cap on the points of one subdomain
    double NumLayers;     // outer layer thickness in mean spacings; negative: chosen
    double MallocRatio;   // growth factor of lists and of the subdomain array
    int32_t MinNumOuter;  // lower bound on an outer set
    int32_t Scaling;      // 0 none, 1 automatic, 2 the caller's factors
    double Scale[3];
    double TooBigFact;    // a search finding more than target x this keeps the nearest
    double TooSmallFact;  // a search must reach target x this
    int32_t OuterMethod;  // 1 slab search, else the orthant search
};

struct Subdomain {
    int32_t* list;  // outer points first, then inner points
    int32_t numOuter;
    int32_t count;  // outer + inner
    int32_t listCapacity;
    double* innerBox;         // 2d doubles in a block of 4d whose second half is outerBox
    double* outerBox;         // bounding box of the inner box and every outer point
    double** factor;          // packed lower triangle, absent until factored
    double** polyMatrix;      // polynomial weights of the non-spanning points, absent until factored
    double centre[3];         // polynomial centre of the subdomain's system
    int32_t unisolventCount;  // spanning points at the front of the list, 0 without a factor
};

struct SDData {
    DomDecompOptions options;
    Subdomain* subdomains;
    int32_t initialCount;  // subdomains at construction
    int32_t count;
    int32_t capacity;
    int32_t maxSize;  // largest subdomain (inner + outer)
    int32_t numFactors;
    int32_t badSubdomain;  // -1 when none
    double box[6];         // bounding box of all points: minima, then maxima
};

// The work record of one construction (or of one split or update pass).
struct SubdomainBuilder {
    SDData* sd;
    int32_t d;
    int32_t numOrthants;  // 2^d
    int32_t N;
    double* const* points;
    int32_t faceShare;  // raised by the orthant search as it runs
    int32_t maxOuter;   // min(MaxTotalPts, N)
    double box[6];      // bounding box of all points
    const volatile int32_t* cancel;
    double invScale[3];
    KdTreeN* tree;
    double* work;  // distances of the nearest-outside choice
    int32_t workCapacity;
    int32_t* found;  // collected indices of one search
    int32_t foundCapacity;
    int32_t* sortedInner;  // the inner list, sorted
    int32_t sortedCapacity;
    int32_t lastTarget;  // the last search's target: the slab target, or the
                         // largest orthant share of the orthant search's last pass
};

// ---- Options and input ----

void DomDecomp_DefaultOptions(DomDecompOptions* options);
// 1 when valid, else 0 after an error message.
int DomDecomp_CheckOptions(const DomDecompOptions* options, const CoreReporter* reporter);
int DomDecomp_CheckInput(int32_t N, int32_t d, double* const* points, const SDData* sd, const CoreReporter* reporter);
// Fills MaxPoints and NumLayers from N and the dimension when unset, and
// prints the options at the info level.
void DomDecomp_ChooseSizes(DomDecompOptions* options, int32_t N, int32_t d, const CoreReporter* reporter);
// Fills Scale by Scaling from the bounding box (d minima, d maxima).
int DomDecomp_ScaleFactors(DomDecompOptions* options, int32_t d, const double* box);

// ---- Construction and release ----

// The whole construction; on failure sd is freed and zero.
int DomDecomp_Setup(int32_t N, int32_t d, double* const* points, const DomDecompOptions* options, SDData* sd,
                    const CoreReporter* reporter);
void DomDecomp_Free(SDData* sd);
void DomDecomp_FreeFactors(SDData* sd);
// Frees one subdomain's arrays and zeroes it.
void Subdomain_Free(Subdomain* s);
void Subdomain_DropFactor(Subdomain* s);

// Sizes over all subdomains (each output may be null) and the info lines.
void DomDecomp_PrintStats(const SDData* sd, int32_t* min, int32_t* max, int32_t* avg, int32_t* numFactors,
                          const CoreReporter* reporter);

// ---- Subdomains and their outer sets ----

// Fills the builder over N points with their k-d tree and bounding box.
int DomDecomp_SubdomainSolveInit(SubdomainBuilder* b, SDData* sd, int32_t d, int32_t N, double* const* points,
                                 KdTreeN* tree, const double* box, const volatile int32_t* cancel);
void DomDecomp_SubdomainSolveFree(SubdomainBuilder* b);
// Sets up a subdomain for an inner list (indices of the builder's points):
// finds its outer set, stores outer then inner indices, and on first setup
// takes the panel box as its inner box.
int Subdomain_Setup(SubdomainBuilder* b, Subdomain* s, const int32_t* inner, int32_t numInner, const double* panelBox);
// The outer set of an inner list by the method of the options: *outer
// points at the builder's found list, *numOuter receives its size.
int Subdomain_FindOuter(SubdomainBuilder* b, const int32_t* inner, int32_t numInner, int32_t** outer,
                        int32_t* numOuter);

// The layer estimate of an inner box: mean spacing h, widths w (per axis)
// for `layers` spacings, and points per axis a (before the layers are added).
struct LayerEstimate {
    double h;
    double w[3];
    double a[3];
};
void Subdomain_LayerEstimate(const SubdomainBuilder* b, const double* innerBox, int32_t numInner, double layers,
                             LayerEstimate* out);

// ---- Memory sizes ----

// 4 x (sum of subdomain counts + 4 x count x (m + 4)).
int64_t DomDecomp_Bytes(const SDData* sd, int32_t m);
// The coarse level's bytes for n points (scaled) and m polynomial terms.
uint64_t DomDecomp_CoarseBytes(int32_t n, int32_t m, double scale);
uint64_t DomDecomp_SubdomainBytes(int32_t n, int32_t p, int32_t m);
// The subdomain size whose coarse and subdomain bytes meet the budget;
// *size is -1 and the failing status returned when a step fails.
int DomDecomp_ChooseSubdomainSize(double budget, int32_t p, int32_t m, int32_t* size);

// ---- Debug output ----

// bad_subdomain1.txt (coordinates), bad_subdomain2.txt (indices) and
// bad_subdomain3.txt (spanning and outer counts, then u, a, v, b).
void DomDecomp_DumpBadSubdomain(double* const* points, int32_t d, const Subdomain* s, int32_t a, double v, int32_t b,
                                double u);
// A Matlab script of every subdomain's sets and boxes, and with withFactors
// their factors and polynomial matrices. Returns 0, or 8 when the file
// cannot be written.
int DomDecomp_WriteMatlab(const SDData* sd, const char* path, const char* name, int32_t d, int32_t withFactors);
void DomDecomp_Print(const SDData* sd, double* const* points, int32_t d);
void Subdomain_Print(const Subdomain* s, int32_t index, double* const* points, int32_t d);

#endif
