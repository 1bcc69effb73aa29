#include "surface/fit/fgmres.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "surface/fit/cholesky.h"
#include "surface/frame/reporter.h"
#include "surface/frame/status_codes.h"
#include "surface/frame/tracked_matrix.h"
#include "surface/frame/tracked_memory.h"

namespace {

bool SolverSpeaks(const CoreReporter* reporter, int32_t level) {
    return CoreReporter_SpeaksIn(reporter, level, kCategoryFgmresSolver);
}

double Seconds(uint32_t start) { return static_cast<double>(Reporter_Clock() - start) / 1000.0; }

void Timing(const CoreReporter* reporter, int32_t indent, const char* label, uint32_t start) {
    if (!SolverSpeaks(reporter, 6)) return;
    char text[64];
    CoreReporter_Debug(reporter, "%*s%s%s", indent, "", label,
                       CoreReporter_FormatElapsed(text, sizeof text, static_cast<int32_t>(Reporter_Clock() - start)));
}

double LargestAbsolute(const double* v, int32_t n) {
    double largest = 0.0;
    for (int32_t i = 0; i < n; ++i) largest = std::max(largest, std::fabs(v[i]));
    return largest;
}

double Norm2(const double* v, int32_t n) {
    double sum = 0.0;
    for (int32_t i = 0; i < n; ++i) sum += v[i] * v[i];
    return std::sqrt(sum);
}

double Dot(const double* a, const double* b, int32_t n) {
    double sum = 0.0;
    for (int32_t i = 0; i < n; ++i) sum += a[i] * b[i];
    return sum;
}

// Scratch of one restart cycle of at most m steps.
struct Cycle {
    double** V = nullptr;  // m + 1 Krylov vectors of n entries
    double** Z = nullptr;  // m preconditioned vectors of n + extra entries
    double** H = nullptr;  // (m + 1) x m Hessenberg matrix, rotated in place
    double* c = nullptr;
    double* s = nullptr;
    double* g = nullptr;  // rotated right-hand side, m + 1 entries
    double* r = nullptr;  // residual of n entries
    double* u = nullptr;  // m + 1 coefficients of the residual in the basis

    bool Allocate(int32_t m, int32_t n, int32_t total) {
        V = Mem_AllocMatrix(m + 1, n);
        Z = Mem_AllocMatrix(m, total);
        H = Mem_AllocMatrix(m + 1, m);
        c = Mem_AllocDoubles(m);
        s = Mem_AllocDoubles(m);
        g = Mem_AllocDoubles(m + 1);
        r = Mem_AllocDoubles(std::max(n, total));
        u = Mem_AllocDoubles(m + 1);
        return V && Z && H && c && s && g && r && u;
    }
    ~Cycle() {
        Mem_FreeMatrix(V);
        Mem_FreeMatrix(Z);
        Mem_FreeMatrix(H);
        Mem_Free(c);
        Mem_Free(s);
        Mem_Free(g);
        Mem_Free(r);
        Mem_Free(u);
    }
};

struct Solve {
    int32_t n, rows, total;
    const double* b;
    double target, accuracy;
    FGMResOptions* options;
    FGMResPreconditioner precondition;
    FGMResMultiply multiply;
    void* user;
    double* x;
    const CoreReporter* reporter;
    double progressEnd;
    int32_t stepsDone;  // over all cycles
    bool firstCycle;
    double at;  // the progress value reached
};

// The progress value now: the solver's own or a callback's, if further.
double ProgressNow(Solve& S) {
    if (S.reporter && S.reporter->progress) S.at = std::max(S.at, *S.reporter->progress);
    return S.at;
}

void Advance(Solve& S, double value) {
    S.at = std::max(S.at, value);
    CoreReporter_SetProgress(S.reporter, S.at);
}

double Measure(const Solve& S, const double* r) {
    return S.options->ResidualNorm ? S.options->ResidualNorm(r, S.n, S.user) : LargestAbsolute(r, S.n);
}

// r := b - A x.
int Residual(const Solve& S, double* r, double progress) {
    int status = S.multiply(S.n, S.x, S.accuracy, S.user, r, S.reporter, progress);
    if (status != CoreStatus_Success) return status;
    for (int32_t i = 0; i < S.n; ++i) r[i] = S.b[i] - r[i];
    return CoreStatus_Success;
}

// Start of a cycle: the first guess when none was given, then r = b - A x.
int Start(Solve& S, Cycle& C, double P0, double P1) {
    const int32_t indent = S.options->MsgIndent;
    if (S.firstCycle && !S.options->UseCoeffs) {
        uint32_t start = Reporter_Clock();
        int status =
            S.precondition(S.rows, S.b, S.user, S.x, LargestAbsolute(S.b, S.n), S.reporter, 0.05 * P1 + 0.95 * P0);
        if (status != CoreStatus_Success) return status;
        Advance(S, 0.05 * P1 + 0.95 * P0);
        Timing(S.reporter, indent, "Preconditioner took ", start);
        if (SolverSpeaks(S.reporter, 6))
            CoreReporter_Debug(S.reporter, "%*sEvaluation Accuracy is %.2e", indent, "", S.accuracy);
    }
    S.firstCycle = false;
    uint32_t start = Reporter_Clock();
    int status = Residual(S, C.r, 0.1 * P1 + 0.9 * P0);
    Advance(S, 0.1 * P1 + 0.9 * P0);
    if (status == CoreStatus_Success) Timing(S.reporter, indent, "Multiply took ", start);
    return status;
}

// Gram-Schmidt of w against v_0 .. v_{n-1}, twice, into column n - 1 of H.
void Orthogonalise(Cycle& C, int32_t step, int32_t n, double* w) {
    for (int32_t i = 0; i < step; ++i) C.H[i][step - 1] = 0.0;
    for (int pass = 0; pass < 2; ++pass)
        for (int32_t i = 0; i < step; ++i) {
            double h = Dot(C.V[i], w, n);
            C.H[i][step - 1] += h;
            for (int32_t k = 0; k < n; ++k) w[k] -= h * C.V[i][k];
        }
}

// Applies the earlier rotations to the new column and annihilates its
// subdiagonal entry; the rotated right-hand side follows.
void Rotate(Cycle& C, int32_t step) {
    const int32_t j = step - 1;
    for (int32_t i = 0; i < j; ++i) {
        double a = C.H[i][j], b = C.H[i + 1][j];
        C.H[i][j] = C.c[i] * a - C.s[i] * b;
        C.H[i + 1][j] = C.s[i] * a + C.c[i] * b;
    }
    double a = C.H[j][j], b = C.H[j + 1][j];
    double rho = std::sqrt(a * a + b * b);
    C.c[j] = rho > 0.0 ? a / rho : 1.0;
    C.s[j] = rho > 0.0 ? -b / rho : 0.0;
    C.H[j][j] = rho > 0.0 ? rho : a;
    C.H[j + 1][j] = 0.0;
    C.g[j + 1] = C.s[j] * C.g[j];
    C.g[j] = C.c[j] * C.g[j];
}

// The residual vector from the basis: its last rotated entry carried back
// through the rotations.
void BasisResidual(Cycle& C, int32_t step, int32_t n) {
    for (int32_t i = 0; i < step; ++i) C.u[i] = 0.0;
    C.u[step] = C.g[step];
    for (int32_t i = step - 1; i >= 0; --i) {
        double a = C.u[i], b = C.u[i + 1];
        C.u[i] = C.c[i] * a + C.s[i] * b;
        C.u[i + 1] = -C.s[i] * a + C.c[i] * b;
    }
    std::memset(C.r, 0, sizeof(double) * static_cast<size_t>(n));
    for (int32_t i = 0; i <= step; ++i)
        if (C.u[i] != 0.0)
            for (int32_t k = 0; k < n; ++k) C.r[k] += C.u[i] * C.V[i][k];
}

// Progress value at the end of the next step, from the observed rate.
double StepEstimate(const Solve& S, double P0, double P1, int32_t done, double E0, double E) {
    if (P1 <= P0) return P0;
    double rate = done > 0 && E0 > 0.0 ? std::pow(E / E0, 1.0 / done) : 0.5;
    rate = std::min(0.95, std::max(rate, 0.1 / std::max(done, 1)));
    double remaining = E > S.target && S.target > 0.0 ? std::log(S.target / E) / std::log(rate) : 1.0;
    remaining = std::max(remaining, 1.0);
    if (done < 4) remaining += 1.0;
    return P0 + (P1 - P0) / (remaining + 1.0);
}

// One step; *breakdown set when the new Krylov vector is zero.
int Step(Solve& S, Cycle& C, int32_t step, double& E, double E0, bool* breakdown) {
    const int32_t j = step - 1, n = S.n;
    const double P0 = ProgressNow(S), I = StepEstimate(S, P0, S.progressEnd, j, E0, E);
    uint32_t start = Reporter_Clock();
    int status = S.precondition(S.rows, C.V[j], S.user, C.Z[j], E, S.reporter, 0.3 * I + 0.7 * P0);
    if (status == CoreStatus_Success)
        status = S.multiply(n, C.Z[j], S.accuracy, S.user, C.V[step], S.reporter, 0.7 * I + 0.3 * P0);
    if (status != CoreStatus_Success) return status;
    uint32_t rest = Reporter_Clock();
    double* w = C.V[step];
    Orthogonalise(C, step, n, w);
    Advance(S, 0.8 * I + 0.2 * P0);
    double h = Norm2(w, n);
    C.H[step][j] = h;
    *breakdown = h == 0.0;
    if (!*breakdown)
        for (int32_t k = 0; k < n; ++k) w[k] /= h;
    Rotate(C, step);
    Advance(S, 0.9 * I + 0.1 * P0);
    BasisResidual(C, step, n);
    E = Measure(S, C.r);
    S.options->AchievedResidual = E;
    ++S.stepsDone;
    if (SolverSpeaks(S.reporter, 5))
        CoreReporter_Info(S.reporter, "%*sItn %d took %.2f sec, residuals are %.2e, %.2e", S.options->MsgIndent, "",
                          S.stepsDone, Seconds(start), E, std::fabs(C.g[step]));
    Timing(S.reporter, S.options->MsgIndent, "Everything else took ", rest);
    Advance(S, I);
    return CoreStatus_Success;
}

// x += Σ y_k z_k over the steps whose rotated diagonal is non-zero (a zero
// one comes from a preconditioner that gave nothing new).
void Update(Solve& S, Cycle& C, int32_t steps) {
    int32_t used = 0;
    while (used < steps && C.H[used][used] != 0.0) ++used;
    for (int32_t i = 0; i < used; ++i) C.u[i] = C.g[i];
    Triangle_SolveUpperRows(used, C.H, C.u);
    for (int32_t i = 0; i < used; ++i)
        for (int32_t k = 0; k < S.total; ++k) S.x[k] += C.u[i] * C.Z[i][k];
}

int Iterate(Solve& S, Cycle& C, int32_t m) {
    const int32_t n = S.n, indent = S.options->MsgIndent;
    const double P0 = ProgressNow(S), P1 = std::max(S.progressEnd, P0);
    uint32_t start = Reporter_Clock();
    int status = Start(S, C, P0, P1);
    if (status != CoreStatus_Success) return status;
    double beta = Norm2(C.r, n), E = Measure(S, C.r), E0 = E;
    for (int32_t k = 0; k < n; ++k) C.V[0][k] = beta > 0.0 ? C.r[k] / beta : 0.0;
    C.g[0] = beta;
    if (SolverSpeaks(S.reporter, 5))
        CoreReporter_Info(S.reporter, "%*sSetup took %.2f sec, residuals are %.2e, %.2e ", indent, "", Seconds(start),
                          E, beta);
    S.options->AchievedResidual = E;
    int32_t steps = 0;
    bool breakdown = false;
    while (steps < m && E > S.target && !breakdown) {
        ++steps;
        status = Step(S, C, steps, E, E0, &breakdown);
        if (status != CoreStatus_Success) return status;
        if (CoreReporter_AbortRequested(S.reporter)) return CoreStatus_UserAbort;
    }
    uint32_t last = Reporter_Clock();
    Update(S, C, steps);
    if (breakdown) {
        // The basis estimate is not trusted after a breakdown: judge the
        // updated x by its true residual.
        status = Residual(S, C.r, P1);
        if (status != CoreStatus_Success) return status;
        S.options->AchievedResidual = Measure(S, C.r);
        Timing(S.reporter, indent, "Last bit took ", last);
        return S.options->AchievedResidual > S.target ? CoreStatus_ReachedMaxIteration : CoreStatus_Success;
    }
    Timing(S.reporter, indent, "Last bit took ", last);
    return steps == m ? CoreStatus_ReachedMaxIteration : CoreStatus_Success;
}

}  // namespace

void FGMRes_DefaultOptions(FGMResOptions* options) {
    *options = FGMResOptions{};
    options->MaxIteration = 50;
    options->MaxSaved = 4;
    options->EvalAccFactor = 0.05;
    options->AchievedResidual = -1.0;
}

int FGMRes_CheckOptions(const FGMResOptions* options, const CoreReporter* reporter) {
    const char* failure = nullptr;
    if (options->MaxIteration <= 0) {
        if (CoreReporter_Speaks(reporter, 1))
            CoreReporter_Error(reporter, "MaxIteration must be positive (%d)", options->MaxIteration);
        return CoreStatus_InvalidInput;
    }
    if (!(options->EvalAccFactor > 0.0 && options->EvalAccFactor < 1.0))
        failure = "EvalAccFactor must be between 0 and 1";
    else if (options->NumExtra < 0)
        failure = "NumExtra must be non-negative";
    else if (options->MsgIndent < 0)
        failure = "MsgIndent must be non-negative";
    else if (options->MaxSaved <= 0)
        failure = "MaxSaved must be positive";
    if (!failure) return CoreStatus_Success;
    if (CoreReporter_Speaks(reporter, 1)) CoreReporter_Error(reporter, "%s", failure);
    return CoreStatus_InvalidInput;
}

int FGMRes_Solve(int32_t n, int32_t rows, const double* b, double target, FGMResOptions* options,
                 FGMResPreconditioner precondition, FGMResMultiply multiply, void* user, double* x,
                 const CoreReporter* reporter, double progressEnd) {
    if (!b || !x || !precondition || !multiply || n <= 0) return CoreStatus_InvalidInput;
    FGMResOptions defaults;
    if (!options) {
        FGMRes_DefaultOptions(&defaults);
        options = &defaults;
    } else if (FGMRes_CheckOptions(options, reporter) != CoreStatus_Success) {
        return CoreStatus_InvalidInput;
    }
    double largest = LargestAbsolute(b, n);
    if (SolverSpeaks(reporter, 5))
        CoreReporter_Info(reporter, "%*sFGMRes: %d points, %.2g acc, %.2g resid", options->MsgIndent, "", n, target,
                          largest);
    Solve S{n,
            rows,
            n + options->NumExtra,
            b,
            target,
            target * options->EvalAccFactor,
            options,
            precondition,
            multiply,
            user,
            x,
            reporter,
            progressEnd,
            0,
            true,
            0.0};
    ProgressNow(S);
    options->AchievedResidual = largest;
    const int32_t m = std::min(options->MaxSaved, options->MaxIteration);
    Cycle C;
    if (!C.Allocate(m, n, S.total)) return CoreStatus_NoMemory;
    int status = CoreStatus_ReachedMaxIteration;
    int32_t left = options->MaxIteration;
    // A first cycle always runs: it makes the start and measures it.
    while (left > 0 && (S.firstCycle || target < options->AchievedResidual)) {
        status = Iterate(S, C, std::min(options->MaxSaved, left));
        if (status != CoreStatus_Success && status != CoreStatus_ReachedMaxIteration) return status;
        left -= options->MaxSaved;
    }
    if (status == CoreStatus_ReachedMaxIteration && options->AchievedResidual <= target) status = CoreStatus_Success;
    if (status == CoreStatus_Success && options->AchievedResidual > target) status = CoreStatus_ReachedMaxIteration;
    Advance(S, progressEnd);
    return status;
}
