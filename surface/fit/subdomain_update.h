// Subdomain updating: a decomposition follows centres appended to its point
// set without being rebuilt. New centres go to the subdomains whose boxes
// they fall in, each subdomain's factor is updated in place by row
// operations, and a subdomain whose inner set grows too large is split with
// the spatial division.
//
// Point numbering: the table holds the b old points first and the new
// points after them (b to c - 1).
//
// Statuses: 0, 1 new points that became no subdomain's inner points (first
// mode), 2 no memory, 10 cancelled, 18 the update was refused or a factor
// was dropped (the caller rebuilds or refactors), and the statuses of the
// factor row operations.
#ifndef SURFACE_FIT_SUBDOMAIN_UPDATE_H
#define SURFACE_FIT_SUBDOMAIN_UPDATE_H

#include <cstdint>

#include "surface/frame/basic_function.h"
#include "surface/fit/dom_decomp.h"
#include "surface/fit/subdomain_system.h"

struct CoreReporter;

// What the multilevel fitter tells the updating about its fit: the kernel
// row with its dimension, polynomial terms and sign, and the diagonal shift
// |ρ|·sign of its systems.
struct DDFitContext {
    BasicFunctionKernel Kernel;
    int32_t Dim;
    int32_t PolyTerms;
    int32_t Sign;          // the shift factor: a smoothing value x becomes |x|·Sign
    double DiagonalShift;  // |ρ|·Sign
};
void DDFitContext_Init(DDFitContext* context, const BasicFunctionKernel* kernel, double rho);

// The change of one subdomain: nine int arrays of one length carved from one
// block (new inner, old inner, old inner positions, new outer, old outer,
// old outer positions, three work arrays), and the four counts.
struct SubdomainDiff {
    int32_t* newOuter;
    int32_t* newInner;
    int32_t* oldOuter;
    int32_t* oldInner;
    int32_t* oldOuterPos;  // list positions of oldOuter
    int32_t* oldInnerPos;
    int32_t* work[3];
    int32_t numNewInner;
    int32_t numOldInner;
    int32_t numNewOuter;
    int32_t numOldOuter;
    int32_t length;
};

int SubdomainDiff_Alloc(int32_t length, SubdomainDiff* diff);
void SubdomainDiff_Free(SubdomainDiff* diff);
// The difference between a subdomain's sets and new ones: new minus old are
// the additions, old minus new the removals with their list positions.
// diff must have room for max(old count, new outer + new inner) entries.
int SubdomainDiff_Compute(const int32_t* newOuter, int32_t numNewOuter, const int32_t* newInner, int32_t numNewInner,
                          const Subdomain* old, SubdomainDiff* diff);

// The work buffers of factor updates (grown on demand).
struct SubdomainUpdateWork {
    SubdomainSystem sys;
    double* rows;  // four vectors of `capacity` doubles
    int32_t capacity;
};
int SubdomainUpdateWork_Init(SubdomainUpdateWork* work, int32_t size, const BasicFunctionKernel* kernel, double shift);
void SubdomainUpdateWork_Free(SubdomainUpdateWork* work);

// Updates every subdomain for the points b to c - 1: the slab mode when
// OuterMethod is 1, else the orthant mode; x is the smoothing value (the
// shift is |x|·Sign of the context). Refusals change nothing.
int Subdomain_UpdateAll(SDData* sd, double* const* points, int32_t d, int32_t b, int32_t c, double x,
                        const DDFitContext* context, const CoreReporter* reporter);
// Applies one difference to a subdomain and its factor: 0, 18 when the
// factor was dropped, 2, or a row operation's status.
int Subdomain_UpdateFactor(Subdomain* s, const SubdomainDiff* diff, double* const* points, const DDFitContext* context,
                           SubdomainUpdateWork* work, double shift);
// Applies a difference to the index list only.
void Subdomain_ApplyDiff(Subdomain* s, const SubdomainDiff* diff);
// Splits subdomain `index` after its new points (in diff) were added: the
// inner points are divided anew and each panel becomes a subdomain.
int Subdomain_UpdateOne(int32_t d, SDData* sd, int32_t index, const SubdomainDiff* diff, double* const* points,
                        const volatile int32_t* cancel);
// The first mode over a caller's list of new point indices; 1 when not
// every new point became an inner point.
int Subdomain_Rebuild(SDData* sd, double* const* points, int32_t d, const int32_t* newPoints, int32_t numNew, double x,
                      const DDFitContext* context);

// Debug output: bad_subdomain_diffs.m, and the difference on the reporter.
void SubdomainDiff_WriteMatlab(int32_t c, int32_t d, double* const* points, const SubdomainDiff* diff);
void SubdomainDiff_Print(const SubdomainDiff* diff, const CoreReporter* reporter);
void SubdomainDiff_PrintCounts(const SubdomainDiff* diff, const CoreReporter* reporter);

#endif
