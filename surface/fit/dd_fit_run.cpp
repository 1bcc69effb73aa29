// The multilevel fit itself: the run over a workspace, the solve of one
// level and its iterations, each a local-solve step corrected by the coarser
// levels and a residual-minimising step length.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "surface/fit/dd_fit_internal.h"
#include "surface/fit/gram_schmidt.h"
#include "surface/fit/permutations.h"
#include "surface/fit/subdomain_factor.h"
#include "surface/frame/core_reporter.h"
#include "surface/frame/reporter.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_memory.h"

namespace {

int32_t Terms(const DDFitWorkspace* ws) { return ws->Kernel.PolyTerms > 0 ? ws->Kernel.PolyTerms : 0; }

double MaxAbs(const double* v, int32_t n) {
    double m = 0.0;
    for (int32_t i = 0; i < n; ++i) m = std::max(m, std::fabs(v[i]));
    return m;
}

double Norm2(const double* v, int32_t n) {
    double s = 0.0;
    for (int32_t i = 0; i < n; ++i) s += v[i] * v[i];
    return std::sqrt(s);
}

int32_t CountBelow(const double* r, int32_t n, double a) {
    int32_t good = 0;
    for (int32_t i = 0; i < n; ++i) good += std::fabs(r[i]) < a ? 1 : 0;
    return good;
}

// The reporter of the fit's products: the products would carry the progress
// to the end of the whole run, which the steps of the iterations share out
// themselves.
CoreReporter ProductReporter(const DDFitWorkspace* ws) {
    CoreReporter r{};
    if (ws->Reporter) r = *ws->Reporter;
    r.progress = nullptr;
    return r;
}

}  // namespace

int DDFit_FastMultiply(DDFitWorkspace* ws, int32_t L, double* coeffs, double accuracy, double* out) {
    const uint32_t clock = Reporter_Clock();
    DDFitLevel* lv = DDFit_Level(ws, L);
    const CoreReporter product = ProductReporter(ws);
    const int status =
        RapidEval_Evaluate(lv->N, &ws->Kernel, lv->Centres, coeffs, ws->Shift, &lv->EvalOptions, &lv->Eval,
                           accuracy * ws->Options.EvalAccFactor, out, ws->Reporter ? &product : nullptr, 0.0);
    // The array is rewritten before the next product: expansions built on
    // it would be matched by its address and wrongly reused.
    RapidEval_DiscardExpansions(&lv->Eval);
    if (status != 0) return status;
    if (DDFit_Timing(ws, L)) DDFit_Say(ws, 6, "%*sFast Multiply took %.3e sec", 2 * L - 2, "", DDFit_Seconds(clock));
    if (ws->Options.Smoothing != 0) {
        const double shift = std::fabs(ws->Options.Direct.Rho) * ws->Kernel.Sign;
        for (int32_t i = 0; i < lv->N; ++i) out[i] += shift * coeffs[i];
    }
    return 0;
}

namespace {

// The product at level K - 1's points of a correction held in K - 1's
// numbering (zero away from the coarse points).
int CoarseProduct(DDFitWorkspace* ws, int32_t K, double* correction, double accuracy, double* out) {
    DDFitLevel* lv = DDFit_Level(ws, K);
    RapidEvalWorkspace* eval = ws->Options.SeparateCoarseEval == 1 ? &lv->CoarseEval : &lv->Eval;
    const CoreReporter product = ProductReporter(ws);
    const int status = RapidEval_Evaluate(lv->N, &ws->Kernel, lv->Centres, correction, ws->Shift, &lv->EvalOptions,
                                          eval, accuracy, out, ws->Reporter ? &product : nullptr, 0.0);
    RapidEval_DiscardExpansions(eval);
    if (status != 0) return status;
    if (ws->Options.Smoothing != 0) {
        const double shift = std::fabs(ws->Options.Direct.Rho) * ws->Kernel.Sign;
        for (int32_t i = 0; i < lv->N; ++i) out[i] += shift * correction[i];
    }
    return 0;
}

// Solves one coarse level K for its values: accepted outcomes leave the
// coefficients in the level's Coeffs.
int SolveCoarse(DDFitWorkspace* ws, int32_t K, double E) {
    DDFitLevel* lv = DDFit_Level(ws, K);
    const int32_t m = Terms(ws);
    const double largest = MaxAbs(lv->Values, lv->N);
    if (largest == 0.0) {
        std::fill(lv->Coeffs, lv->Coeffs + lv->N + m, 0.0);
        return 0;
    }
    const double target = std::min(E, largest) * ws->Options.EvalAccFactor;
    // Deeper coarse levels speak at the progress level only.
    CoreReporter quiet;
    const CoreReporter* outer = ws->Reporter;
    if (outer && K > ws->Options.MsgLevels) {
        quiet = *outer;
        quiet.maximumLevel = std::min(quiet.maximumLevel, 4);
        ws->Reporter = &quiet;
    }
    double error = 0.0;
    int status = DDFit_Solve(ws, K, DDFit_Level(ws, K)->Values, DDFit_Level(ws, K)->Coeffs, target, &error);
    ws->Reporter = outer;
    if (status == CoreStatus_NoConvergence || status == CoreStatus_ReachedMaxIteration ||
        status == CoreStatus_TrivialSolution)
        status = 0;
    if (status == CoreStatus_Failure && error < std::min(E, largest)) status = 0;
    return status;
}

// The coarse correction of a step at level L for the remainder t (in L's
// Restricted): levels from the coarsest up to L + 1 are fitted in turn, each
// to what the deeper ones left; the sum ends in L's Correction and its
// product at L's points in L's CascadeProduct. Progress runs up to X: the
// deepest levels take the smaller shares of what is left, level L + 1 the
// rest.
int CoarseCorrection(DDFitWorkspace* ws, int32_t L, double E, double a, double X) {
    const int32_t m = Terms(ws);
    for (int32_t K = L + 1; K <= ws->NumLevels; ++K) {
        DDFitLevel* fine = DDFit_Level(ws, K - 1);
        DDFitLevel* lv = DDFit_Level(ws, K);
        for (int32_t i = 0; i < lv->N; ++i) lv->Restricted[i] = fine->Restricted[fine->CoarseIndex[i]];
    }
    for (int32_t K = ws->NumLevels; K > L; --K) {
        if (DDFit_Aborted(ws)) return CoreStatus_UserAbort;
        const uint32_t clock = Reporter_Clock();
        DDFitLevel* lv = DDFit_Level(ws, K);
        const bool deepest = K == ws->NumLevels;
        for (int32_t i = 0; i < lv->N; ++i) lv->Values[i] = lv->Restricted[i] - (deepest ? 0.0 : lv->CascadeProduct[i]);
        const double P = DDFit_Progress(ws);
        const double share = std::max(K == L + 1 ? X - P : (X - P) / (K - L + 2), 0.0);
        lv->ProgressEnd = P + 0.6 * share;
        int status = SolveCoarse(ws, K, E);
        if (status != 0) return status;
        DDFit_RaiseProgress(ws, P + share);
        lv = DDFit_Level(ws, K);
        for (int32_t i = 0; i < lv->N + m; ++i) lv->Cascade[i] = (deepest ? 0.0 : lv->Cascade[i]) + lv->Coeffs[i];
        DDFitLevel* fine = DDFit_Level(ws, K - 1);
        double* into = K - 1 == L ? fine->Correction : fine->Cascade;
        // The scatter leaves the places no coarse point names untouched:
        // they must hold zero, not an earlier correction.
        std::fill(into, into + fine->N + m, 0.0);
        std::memcpy(into, lv->Cascade, sizeof(double) * static_cast<std::size_t>(lv->N + m));
        status = Scatter_Doubles(into, fine->CoarseIndex, lv->N + m);
        if (status == 0) status = CoarseProduct(ws, K - 1, into, a * ws->Options.EvalAccFactor, fine->CascadeProduct);
        if (status != 0) return status;
        if (DDFit_Timing(ws, K))
            DDFit_Say(ws, 6, "%*sLevel %d fit took %d iterations and %.3e sec", 2 * L - 2, "", K,
                      DDFit_Level(ws, K)->Iterations, DDFit_Seconds(clock));
        // Held factors give way when the fit has outgrown its memory at any
        // moment since the last check; the peak then starts again from now.
        const double peak = static_cast<double>(Mem_PeakBytes());
        if (peak > ws->MemoryLimit) {
            const double freed = DDFit_FreeCholeskys(ws, peak - ws->MemoryLimit, 1000);
            if (freed > 0.0)
                DDFit_Say(ws, 5, "Oops, I was using too much RAM. %u Mb freed",
                          static_cast<unsigned>(freed / 1048576.0));
            Mem_SetPeakBytes(Mem_CurrentBytes());
        }
    }
    return 0;
}

// One iteration at level L (not the coarsest) on its Residual: direction
// and step into `coeffs`; the new error is returned through *error. The
// progress moves towards `end`: 15% of the way with the local solves, 30%
// with the product, the rest with the coarse levels.
int LevelStep(DDFitWorkspace* ws, int32_t L, double* coeffs, double E, double a, double end, double* error) {
    const uint32_t clock = Reporter_Clock();
    DDFitLevel* lv = DDFit_Level(ws, L);
    const int32_t N = lv->N, m = Terms(ws);
    std::fill(lv->Direction, lv->Direction + N + m, 0.0);
    std::fill(lv->Correction, lv->Correction + N + m, 0.0);
    double* progress = ws->Reporter ? ws->Reporter->progress : nullptr;
    const int32_t* abort = ws->Reporter ? ws->Reporter->abort : nullptr;
    const double P0 = DDFit_Progress(ws), X = std::max(end, P0);
    int status = DomDecomp_ApplyPreconditioner(lv->Centres, &lv->Decomp, lv->Direction, lv->Residual, &ws->Kernel,
                                               ws->Options.Direct.Rho, progress, P0 + 0.15 * (X - P0), abort);
    if (status != 0) return status;
    DDFit_RaiseProgress(ws, P0 + 0.15 * (X - P0));
    if (ws->Options.FreeRequest && *ws->Options.FreeRequest != 0) {
        DDFit_FreeCholeskys(ws, *ws->Options.FreeRequest * 1048576.0, 1000);
        *ws->Options.FreeRequest = 0;
    }
    if (lv->PolyCount > 0) GramSchmidt_ProjectOut(lv->PolyCount, N, lv->PolyBasis, lv->Direction);
    if (DDFit_Timing(ws, L))
        DDFit_Say(ws, 6, "%*sCholesky Backsubs took %.3e sec", 2 * L - 2, "", DDFit_Seconds(clock));
    status = DDFit_FastMultiply(ws, L, lv->Direction, a, lv->Product);
    if (status != 0) return status;
    for (int32_t i = 0; i < N; ++i) lv->Restricted[i] = lv->Residual[i] - lv->Product[i];
    DDFit_RaiseProgress(ws, P0 + 0.3 * (X - P0));
    if (L < ws->NumLevels) {
        status = CoarseCorrection(ws, L, E, a, X);
        if (status != 0) return status;
        lv = DDFit_Level(ws, L);
        for (int32_t i = 0; i < N; ++i) lv->Product[i] += lv->CascadeProduct[i];
        for (int32_t i = 0; i < N + m; ++i) lv->Direction[i] += lv->Correction[i];
    }
    double rp = 0.0, pp = 0.0;
    for (int32_t i = 0; i < N; ++i) {
        rp += lv->Residual[i] * lv->Product[i];
        pp += lv->Product[i] * lv->Product[i];
    }
    const double alpha = pp > 0.0 ? rp / pp : 0.0;
    for (int32_t i = 0; i < N + m; ++i) coeffs[i] += alpha * lv->Direction[i];
    for (int32_t i = 0; i < N; ++i) lv->Residual[i] -= alpha * lv->Product[i];
    ws->Alpha = alpha;
    *error = MaxAbs(lv->Residual, N);
    return 0;
}

// Adds coarse points for slow convergence: 9 ends the fit only when the
// step has all but vanished.
int SlowConvergence(DDFitWorkspace* ws, int32_t L) {
    const int status = DDFit_AddCoarsePoints(ws, L);
    if (status == CoreStatus_NoConvergence)
        return std::fabs(ws->Alpha) < 0.01 * ws->Options.MinAlpha ? CoreStatus_NoConvergence : 0;
    return status;
}

// How often `error` must be multiplied by `ratio` to fall to `accuracy`.
double StepsToAccuracy(double error, double accuracy, double ratio) {
    return error > accuracy ? std::ceil(std::log(accuracy / error) / std::log(ratio)) : 0.0;
}

// The iterations of level L from its Residual towards accuracy t. Each
// iteration is given a share of the progress left to the level's end: at
// first as if every iteration took the error down by 0.65, later by the
// rate of the last iteration (kept within 0.1 to 0.9).
int DDFit_Iterate(DDFitWorkspace* ws, int32_t L, const double* values, double* coeffs, double t, double* error) {
    const DDFitOptions& o = ws->Options;
    DDFitLevel* lv = DDFit_Level(ws, L);
    const int32_t N = lv->N, m = Terms(ws), indent = 2 * L - 2;
    const double a = t * (1.0 - o.EvalAccFactor);
    if (!(a > 0.0)) return CoreStatus_Failure;
    double e = MaxAbs(lv->Residual, N);
    lv->History[0] = e;
    *error = e;
    const double needed = L == 1 ? o.Confidence * N : (o.Confidence + 1.0) / 2.0 * N;
    if (CountBelow(lv->Residual, N, a) >= needed) return 0;
    DDFit_Say(ws, 5, "%*sItn    Time  Alpha   Inf. Err  Comp. Err   Rate  NumBad    ", indent, "");
    const double periodRate = std::pow(o.DesiredRate, o.CoarseAddPeriod);
    double D = e / periodRate;
    int32_t M = 1 - o.CoarseAddPeriod, convergeErrors = 0, iterations = 0;
    double previousS = std::sqrt(Norm2(lv->Residual, N) * e);
    bool converged = false;
    const double levelEnd = lv->ProgressEnd;
    double share = std::max(levelEnd - DDFit_Progress(ws), 0.0) / std::max(StepsToAccuracy(e, a, 0.65), 1.0);
    for (int32_t i = 1; i <= o.MaxIteration; ++i) {
        const uint32_t itnStart = Reporter_Clock();
        D = i - o.CoarseAddPeriod >= 0 ? lv->History[i - o.CoarseAddPeriod] : D * o.DesiredRate;
        const double P = DDFit_Progress(ws);
        double newError = 0.0;
        int status = LevelStep(ws, L, coeffs, e, a, P + 0.7 * share, &newError);
        if (status != 0) return status;
        DDFit_RaiseProgress(ws, P + share);
        lv = DDFit_Level(ws, L);
        iterations = i;
        const double s = std::sqrt(Norm2(lv->Residual, N) * newError);
        const double rate = previousS > 0.0 ? s / previousS : 0.0;
        const double previousError = e;
        e = newError;
        lv->History[i] = e;
        int32_t good = CountBelow(lv->Residual, N, a);
        DDFit_Say(ws, 5, "%*s%-3d %6.2fs  %-6.3f %-7.2e  %-7.2e  %-7.3f  %d    ", indent, "", i,
                  (Reporter_Clock() - itnStart) / 1000.0, ws->Alpha, e, s, rate, N - good);
        if (i <= o.ItnsToTime && DDFit_Timing(ws, L)) {
            const double seconds = DDFit_Seconds(itnStart);
            if (seconds > 299.0)
                DDFit_Say(ws, 6, "%*sItn %d achieved error of %.4e and took %ld sec\n", indent, "", i, e,
                          static_cast<long>(seconds));
            else
                DDFit_Say(ws, 6, "%*sItn %d achieved error of %.4e and took %.3e sec\n", indent, "", i, e, seconds);
            DDFit_Say(ws, 6, "%s", "");
        }
        converged = good >= needed;
        previousS = s;
        bool added = false;
        if (!converged) {
            if ((i - o.CoarseAddPeriod >= M && e / D > periodRate) || ws->Alpha < o.MinAlpha) {
                status = SlowConvergence(ws, L);
                if (status != 0) return status;
                M = i;
                added = true;
            }
            lv = DDFit_Level(ws, L);
            if (rate > o.RateUndoThresh) {
                for (int32_t k = 0; k < N + m; ++k) coeffs[k] -= ws->Alpha * lv->Direction[k];
                for (int32_t k = 0; k < N; ++k) lv->Residual[k] += ws->Alpha * lv->Product[k];
                e = previousError;
                lv->History[i] = e;
                previousS = std::sqrt(Norm2(lv->Residual, N) * e);
                if (L == 1) {
                    if (CoreReporter_Speaks(ws->Reporter, 2))
                        CoreReporter_Warning(ws->Reporter, "Iteration %d discarded", i);
                } else {
                    DDFit_Say(ws, 5, "%*sLevel %d iteration %d discarded", indent, "", L, i);
                }
                if (!added) {
                    status = SlowConvergence(ws, L);
                    if (status != 0) return status;
                    M = i;
                }
                lv = DDFit_Level(ws, L);
            }
            if (rate > 1.0 && ++convergeErrors > o.MaxConvergeErrors) {
                if (CoreReporter_Speaks(ws->Reporter, 1))
                    CoreReporter_Error(ws->Reporter, "%d of %d iterations have not converged. Giving up.",
                                       o.MaxConvergeErrors, i);
                *error = e;
                return CoreStatus_NoConvergence;
            }
        } else if (L == 1 && i > 1) {
            // The residual updated step by step drifts from the true one by
            // the evaluation errors: the fit ends only if a fresh product
            // agrees.
            status = DDFit_FastMultiply(ws, L, coeffs, a, lv->Product);
            if (status != 0) return status;
            for (int32_t k = 0; k < N; ++k) lv->Residual[k] = values[k] - lv->Product[k];
            e = MaxAbs(lv->Residual, N);
            lv->History[i] = e;
            DDFit_Say(ws, 5, "%*sActual Residual is %.2e", indent, "", e);
            converged = CountBelow(lv->Residual, N, a) >= needed;
        }
        *error = e;
        if (DDFit_Aborted(ws)) return CoreStatus_UserAbort;
        if (converged) break;
        const double ratio = added ? 0.1 : std::min(std::max(newError / previousError, 0.1), 0.9);
        share = std::max(levelEnd - DDFit_Progress(ws), 0.0) / (1.0 + StepsToAccuracy(e, a, ratio));
    }
    lv->History[0] = iterations;
    lv->Iterations = iterations;
    return iterations >= o.MaxIteration ? CoreStatus_ReachedMaxIteration : 0;
}

// The error history of a level-1 fit, last iteration first, and its times.
void PrintHistory(DDFitWorkspace* ws, double largest, double accuracy, double initialising, double solving) {
    const DDFitLevel* lv = DDFit_Level(ws, 1);
    const int32_t iterations = lv->Iterations;
    for (int32_t i = iterations; i >= 1; --i) {
        const double before = i > 1 ? lv->History[i - 1] : largest;
        const double rate = before > 0.0 ? lv->History[i] / before : 0.0;
        DDFit_Say(ws, 6, "   %d        %.4e (rate %.2f)", i, lv->History[i], rate);
    }
    DDFit_Say(ws, 6, "Iteration      Error");
    DDFit_Say(ws, 6, "\nError History:");
    DDFit_Say(ws, 6, "%*sInitialization took %.3e sec", 0, "", initialising);
    DDFit_Say(ws, 6, "%*sSolving to accuracy %.4e took %d iterations and %.3e sec", 0, "", accuracy, iterations,
              solving);
    DDFit_Say(ws, 6, "%*sTotal Time taken was %.3e sec", 0, "", initialising + solving);
}

}  // namespace

int DDFit_Solve(DDFitWorkspace* ws, int32_t L, const double* values, double* coeffs, double accuracy, double* error) {
    DDFitLevel* lv = DDFit_Level(ws, L);
    const int32_t N = lv->N, m = Terms(ws), indent = 2 * L - 2;
    const double largest = MaxAbs(values, N);
    if (accuracy > largest) {
        std::fill(coeffs, coeffs + N + m, 0.0);
        *error = largest;
        return CoreStatus_TrivialSolution;
    }
    if (!lv->Coarsest || !lv->Initialised)
        DDFit_Say(ws, 5, "\n%*sNumCent = %d %dD, Residual %.2e, Acc %.2e, rho %.2e", indent, "", N, ws->Kernel.Dim,
                  largest, accuracy, ws->Options.Direct.Rho);
    const uint32_t start = Reporter_Clock();
    if (!lv->Initialised) {
        const double P = DDFit_Progress(ws);
        const double end = L == 1 ? lv->ProgressEnd : std::max(lv->ProgressEnd, P);
        lv->ProgressEnd = P + 0.15 * std::max(end - P, 0.0);
        int status = DDFit_Init(ws, L);
        lv = DDFit_Level(ws, L);
        lv->ProgressEnd = end;
        if (status != 0) return status;
    }
    if (DDFit_Aborted(ws)) return CoreStatus_UserAbort;
    if (lv->Coarsest) {
        double centre[3];
        int status = Rbf_SolveInterpolation(N, values, &lv->Direct, &coeffs, centre, ws->Reporter);
        if (status == 0 && L == 1 && ws->Options.LevsToTime == 0)
            DDFit_Say(ws, 3, "Fitting %d points took %.1f sec", N, (Reporter_Clock() - start) / 1000.0);
        *error = 0.0;
        return status;
    }
    if (L == 1 && ws->Options.UseLambda == 1) {
        const int status = DDFit_FastMultiply(ws, L, coeffs, accuracy * (1.0 - ws->Options.EvalAccFactor), lv->Product);
        if (status != 0) return status;
        for (int32_t i = 0; i < N; ++i) lv->Residual[i] = values[i] - lv->Product[i];
        DDFit_Say(ws, 5, "%*sUsing Passed Lambda. Residual is %.2e", indent, "", MaxAbs(lv->Residual, N));
    } else if (L == 1 && ws->Options.UseLambda == 2) {
        std::memcpy(lv->Residual, ws->Options.Residual, sizeof(double) * static_cast<std::size_t>(N));
        DDFit_Say(ws, 5, "%*sUsing Passed Residual. InfNorm is %.2e", indent, "", MaxAbs(lv->Residual, N));
    } else {
        std::fill(coeffs, coeffs + N + m, 0.0);
        std::memcpy(lv->Residual, values, sizeof(double) * static_cast<std::size_t>(N));
    }
    const double e0 = MaxAbs(lv->Residual, N);
    const double initialising = DDFit_Seconds(start);
    const uint32_t solving = Reporter_Clock();
    int status = 0;
    if (accuracy > e0) {
        *error = e0;
    } else {
        if (initialising >= 1.0)
            DDFit_Say(ws, 5, "%*sInitialization took %lds", indent, "", static_cast<long>(initialising));
        const double P = DDFit_Progress(ws);
        DDFit_RaiseProgress(ws, P + 0.02 * std::max(lv->ProgressEnd - P, 0.0));
        status = DDFit_Iterate(ws, L, values, coeffs, accuracy, error);
    }
    lv = DDFit_Level(ws, L);
    if (L == 1 && ws->Options.Residual)
        std::memcpy(ws->Options.Residual, lv->Residual, sizeof(double) * static_cast<std::size_t>(N));
    if (L == 1 && DDFit_Timing(ws, 1)) PrintHistory(ws, largest, accuracy, initialising, DDFit_Seconds(solving));
    return status;
}

// ---- The run ----

namespace {

// The options as the workspace keeps them.
void Normalise(DDFitOptions* o, const BasicFunctionKernel* kernel, const double* shift, const CoreReporter* reporter) {
    if (o->LevsToTime < 0) {
        o->LevsToTime = 0;
        if (CoreReporter_Speaks(reporter, 2)) CoreReporter_Warning(reporter, "LevsToTime was negative. Ignored");
    }
    if (o->Smoothing == 0) o->Direct.Rho = 0.0;
    if (o->Smoothing == 1 && o->Direct.Rho < 0.0) {
        o->Direct.Rho = -o->Direct.Rho;
        if (CoreReporter_Speaks(reporter, 2)) CoreReporter_Warning(reporter, "Rho was negative. abs(rho) used.");
    }
    if (!o->AllowUpdating) o->LevelMallocRatio = 1.0;
    o->DomDecomp.MallocRatio = o->LevelMallocRatio;
    o->Direct.MallocRatio = o->LevelMallocRatio;
    o->DomDecomp.MinNumOuter = kernel->PolyTerms > 0 ? kernel->PolyTerms : 0;
    for (int32_t k = 0; k < 3; ++k) o->Direct.PolyCentre[k] = k < kernel->Dim ? shift[k] : 0.0;
    o->Direct.AllowCentredPoly = 2;
    if (o->SeparateCoarseEval == -1)
        o->SeparateCoarseEval = kernel->Type == kBasicBiharmonic && kernel->Dim == 2 ? 1 : 0;
}

int MatchWorkspace(DDFitWorkspace* ws, int32_t N, double* const* centres, const BasicFunctionKernel* kernel,
                   double accuracy, double memoryLimit, const double* shift, const DDFitOptions* options,
                   const CoreReporter* reporter, double progressEnd) {
    DDFitOptions normal = *options;
    Normalise(&normal, kernel, shift, reporter);
    ws->Reporter = reporter;
    bool refactor = false;
    if (ws->Initialised) {
        const char* why = nullptr;
        if (N != ws->NumCent)
            why = "NumCent does not match fit workspace. Discarding";
        else if (kernel->Type != ws->Kernel.Type || kernel->Exponent != ws->Kernel.Exponent ||
                 kernel->Param != ws->Kernel.Param || kernel->Dim != ws->Kernel.Dim ||
                 kernel->PolyTerms != ws->Kernel.PolyTerms)
            why = "Basic function does not match fit workspace. Discarding";
        if (why) {
            DDFit_Say(ws, 5, "%s", why);
            const int32_t warned = ws->MemoryWarningGiven;
            DDFit_FreeWorkspace(ws);
            ws->MemoryWarningGiven = warned;
            ws->Reporter = reporter;
        } else if (normal.Direct.Rho != ws->Options.Direct.Rho) {
            DDFit_Say(ws, 5, "Rho does not match fit workspace.");
            refactor = true;
        }
    }
    ws->Options = normal;
    ws->Kernel = *kernel;
    ws->Accuracy = accuracy;
    ws->MemoryLimit = memoryLimit;
    for (int32_t k = 0; k < 3; ++k) ws->Shift[k] = k < kernel->Dim ? shift[k] : 0.0;
    if (!ws->Initialised) {
        int32_t levels = 1;
        for (int32_t n = N; n > normal.Direct.MaxCholeskySize; n /= normal.CoarseSampleRate) ++levels;
        const int status = DDFit_EnsureLevel(ws, levels + 5);
        if (status != 0) return status;
        ws->NumLevels = levels;
        ws->NumCent = N;
        ws->Initialised = 1;
        DDFit_Level(ws, 1)->N = N;
    }
    DDFitLevel* top = DDFit_Level(ws, 1);
    top->Centres = centres;
    top->ProgressEnd = progressEnd;
    if (!refactor) return 0;
    for (int32_t k = 1; k <= ws->NumLevels; ++k) {
        DDFitLevel* lv = DDFit_Level(ws, k);
        if (!lv->Initialised) continue;
        if (lv->Coarsest) {
            Rbf_FreeInterpolation(&lv->Direct);
            const int status =
                Rbf_FactorInterpolation(lv->N, lv->Centres, &ws->Kernel, &ws->Options.Direct, &lv->Direct, reporter);
            if (status != 0) return status;
        } else {
            DomDecomp_FreeFactors(&lv->Decomp);
        }
    }
    for (int32_t k = ws->NumLevels; k >= 1; --k) {
        DDFitLevel* lv = DDFit_Level(ws, k);
        if (!lv->Initialised || lv->Coarsest) continue;
        const int status = DDFit_FactorSubdomains(ws, k);
        if (status != 0) return status;
    }
    return 0;
}

void RecordMemory(DDFitWorkspace* ws) {
    const int32_t m = Terms(ws);
    const double base = DDFit_LargestLevelNeed(ws) + static_cast<double>(Mem_CurrentBytes());
    double held = 0.0, missing = 0.0;
    for (int32_t k = 1; k < ws->NumLevels; ++k) {
        const SDData* sd = &DDFit_Level(ws, k)->Decomp;
        held += static_cast<double>(DomDecomp_HeldFactorBytes(sd, m));
        missing += static_cast<double>(DomDecomp_MissingFactorBytes(sd, m));
    }
    ws->MinMemoryMB = (base - held) / 1048576.0;
    ws->MaxMemoryMB = (base + missing) / 1048576.0;
    DDFit_Say(ws, 5, "Memory requirements: min = %.1fMb, max = %.1fMb", ws->MinMemoryMB, ws->MaxMemoryMB);
}

}  // namespace

int DDFit_Run(int32_t N, double* const* centres, const double* values, const BasicFunctionKernel* kernel,
              double accuracy, double memoryLimit, const DDFitOptions* options, DDFitWorkspace* workspace,
              double** coefficients, double* shift, const CoreReporter* reporter, double progressEnd) {
    const uint32_t start = Reporter_Clock();
    if (!centres || !values || !coefficients || !shift) return CoreStatus_NullArgument;
    if (N <= 0) return CoreStatus_InvalidInput;
    if (!(accuracy > 0.0)) return CoreStatus_NegativeDistance;
    if (!kernel) {
        if (CoreReporter_Speaks(reporter, 1)) CoreReporter_Error(reporter, "Invalid basic function ID");
        return CoreStatus_InvalidBasicFunction;
    }
    const int32_t m = kernel->PolyTerms > 0 ? kernel->PolyTerms : 0;
    if (m >= N) {
        if (CoreReporter_Speaks(reporter, 1))
            CoreReporter_Error(reporter, "Too few interpolation nodes. %d required.", m + 1);
        return CoreStatus_NotEnoughPoints;
    }
    if (reporter && reporter->progress) progressEnd = std::max(progressEnd, *reporter->progress);
    DDFitOptions local;
    if (options) {
        const int status = DDFit_CheckOptions(options, reporter);
        if (status != 0) return status;
        local = *options;
    } else {
        DDFit_DefaultOptions(&local);
    }
    double achievedLocal = -1.0;
    double* achieved = local.AchievedError ? local.AchievedError : &achievedLocal;
    *achieved = -1.0;
    bool allocated = false;
    if (!*coefficients) {
        if (local.UseLambda > 0) {
            if (CoreReporter_Speaks(reporter, 1))
                CoreReporter_Error(reporter, "No Coeffs to use with non-zero UseLambda flag");
            return CoreStatus_InvalidInput;
        }
        *coefficients = Mem_AllocDoubles(N + m);
        if (!*coefficients) return CoreStatus_NoMemory;
        allocated = true;
    }
    const int32_t d = kernel->Dim;
    if (local.UseLambda == 0) {
        if (local.Direct.AllowCentredPoly == 0) {
            for (int32_t k = 0; k < d; ++k) shift[k] = 0.0;
        } else if (local.Direct.AllowCentredPoly == 1) {
            for (int32_t k = 0; k < d; ++k) {
                double sum = 0.0;
                for (int32_t i = 0; i < N; ++i) sum += centres[i][k];
                shift[k] = sum / N;
            }
        } else {
            for (int32_t k = 0; k < d; ++k) shift[k] = local.Direct.PolyCentre[k];
        }
    }
    DDFitWorkspace own;
    std::memset(&own, 0, sizeof(own));
    DDFitWorkspace* ws = workspace ? workspace : &own;
    int status = MatchWorkspace(ws, N, centres, kernel, accuracy, memoryLimit, shift, &local, reporter, progressEnd);
    double error = -1.0;
    if (status == 0) status = DDFit_Solve(ws, 1, values, *coefficients, accuracy, &error);
    if (status == 0 || status == CoreStatus_ReachedMaxIteration || status == CoreStatus_TrivialSolution ||
        status == CoreStatus_NoConvergence || status == CoreStatus_UserAbort)
        *achieved = error;
    if (ws->Initialised) {
        RecordMemory(ws);
        if (ws->Options.LevsToTime < 1 || !CoreReporter_Speaks(reporter, 6)) {
            if (CoreReporter_SpeaksIn(reporter, 3, kCategoryMultilevelFit))
                CoreReporter_Elapsed(reporter, "\nFitting time was", static_cast<int32_t>(Reporter_Clock() - start));
        }
    }
    if (status == 0 || status == CoreStatus_ReachedMaxIteration) CoreReporter_SetProgress(reporter, progressEnd);
    ws->Reporter = nullptr;
    if (ws == &own) DDFit_FreeWorkspace(&own);
    if (allocated && status != 0 && status != CoreStatus_ReachedMaxIteration && status != CoreStatus_TrivialSolution &&
        status != CoreStatus_NoConvergence && status != CoreStatus_UserAbort) {
        Mem_Free(*coefficients);
        *coefficients = nullptr;
    }
    return status;
}
