// The subdomain factor store: the local systems of a decomposition's
// subdomains factored and held within a byte budget, the local solves of
// the preconditioner, and the byte counts behind the fitters' memory
// decisions.
//
// A stored factor keeps, beside the subdomain's list (spanning points
// first), the L·D·Lᵀ factor of its reduced system (listCapacity - s rows,
// so that the updating can grow it in place) and one row of polynomial
// weights Λ per non-spanning point. Subdomains without a stored factor are
// factored again at every application, in buffers sized once by the
// largest subdomain.
//
// Statuses: 0, 2 no memory, 6 fewer outer points than polynomial terms,
// 10 cancelled, and those of the factoring (3, 4, 5).
#ifndef SURFACE_FIT_SUBDOMAIN_FACTOR_H
#define SURFACE_FIT_SUBDOMAIN_FACTOR_H

#include <cstdint>

#include "surface/fit/dom_decomp.h"
#include "surface/fit/subdomain_system.h"

struct BasicFunctionKernel;
struct CoreReporter;

// Factors every subdomain without a factor, in order, until the bytes stored
// reach the budget (numFactors = subdomains visited). The diagonal shift is
// |rho| x the kernel's sign. A failing subdomain's index goes to
// badSubdomain. *bytesStored receives the bytes of the factors made here.
int DomDecomp_SetupPreconditioner(double* const* centres, SDData* sd, const BasicFunctionKernel* kernel, double rho,
                                  double budget, double* bytesStored, double* progress, double progressEnd,
                                  const volatile int32_t* cancel);
// Factors one subdomain with the caller's buffers and stores its factor;
// *total grows by its bytes (counted with listCapacity).
int DomDecomp_FactorSubdomain(double* const* centres, Subdomain* s, const BasicFunctionKernel* kernel, double shift,
                              SubdomainSystem* work, double* total);
// The same with buffers of its own.
int DomDecomp_FactorOne(double* const* centres, Subdomain* s, const BasicFunctionKernel* kernel, double shift);

// x (N values) := the inner coefficients of every subdomain's local solve
// of the residual r; each point is inner to exactly one subdomain.
int DomDecomp_ApplyPreconditioner(double* const* centres, SDData* sd, double* x, const double* r,
                                  const BasicFunctionKernel* kernel, double rho, double* progress, double progressEnd,
                                  const volatile int32_t* cancel);
// The pass of the above over the subdomains without a stored factor.
int DomDecomp_ApplySubdomains(double* const* centres, SDData* sd, double* x, const double* r,
                              const BasicFunctionKernel* kernel, double rho, double* progress, double step,
                              const volatile int32_t* cancel);
// One subdomain's local solve through the given factor and weights (s
// spanning points); values holds count doubles of scratch.
void DomDecomp_SolveSubdomain(const Subdomain* s, int32_t spanning, double* const* factor, double* const* weights,
                              const double* r, double* x, double* values);

// Counts the subdomains by the size of their spanning set and, when not all
// of them span the polynomial space, prints the table at level 5.
int DomDecomp_PrintEllipseStats(double* const* centres, const BasicFunctionKernel* kernel, SDData* sd, int32_t indent,
                                const CoreReporter* reporter);

// ---- Byte counts (m polynomial terms, d dimension) ----

// ((c - s)(c - s + 1)/2 + c(m + 1)) x 8 - 4s for c points and s spanning.
int64_t Subdomain_FactorBytes(int32_t c, int32_t s, int32_t m);
int64_t DomDecomp_MissingFactorBytes(const SDData* sd, int32_t m);
int64_t DomDecomp_HeldFactorBytes(const SDData* sd, int32_t m);
// Work memory of a local solve pass (0 without subdomains).
int64_t DomDecomp_TotalBytes(const SDData* sd, int32_t m, int32_t d);
int64_t DomDecomp_WorkBytes(const SDData* sd, int32_t m, int32_t d);

#endif
