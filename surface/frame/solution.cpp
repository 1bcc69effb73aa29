// Solution records: create, copy, free and check, written once over the
// dimension.
#include "surface/frame/solution.h"
#include "surface/frame/status_codes.h"

#include <cstring>

#include "surface/frame/record_memory.h"
#include "surface/frame/reporter.h"

namespace {

// Room for the largest polynomial part (degree 2 in 3D).
const int32_t kPolyRoom = 15;

template <class Solution>
void FreeArrays(Solution* s) {
    Record_Free(s->Centres);
    Record_Free(s->Coeffs);
    Record_Free(s->Indices);
    std::memset(s, 0, sizeof *s);
}

template <class Solution, int D>
int Create(Solution* s, int32_t centres, int32_t withIndices) {
    if (s == nullptr || centres < 0) return ApiStatus_BadSolution;
    std::memset(s, 0, sizeof *s);
    s->CentreCount = centres;
    s->PolyDegree = -2;
    s->CoeffCount = centres + kPolyRoom;
    s->Centres =
        centres > 0 ? static_cast<double*>(Record_Alloc(static_cast<int64_t>(centres) * D, sizeof(double))) : nullptr;
    s->Coeffs = static_cast<double*>(Record_Alloc(static_cast<int64_t>(centres) + kPolyRoom, sizeof(double)));
    if (withIndices && centres > 0) s->Indices = static_cast<int32_t*>(Record_Alloc(centres, sizeof(int32_t)));
    if ((centres > 0 && s->Centres == nullptr) || s->Coeffs == nullptr ||
        (withIndices && centres > 0 && s->Indices == nullptr)) {
        FreeArrays(s);
        return ApiStatus_NoMemory;
    }
    return ApiStatus_Success;
}

template <class Solution, int D>
int Copy(Solution* destination, const Solution* source) {
    if (destination == nullptr || source == nullptr || destination == source) return ApiStatus_BadSolution;
    const int32_t n = source->CentreCount;
    if (n < 0 || source->CoeffCount < 0 || source->CoeffCount > n + kPolyRoom ||
        (n > 0 && source->Centres == nullptr) || (source->CoeffCount > 0 && source->Coeffs == nullptr))
        return ApiStatus_BadSolution;
    const int status = Create<Solution, D>(destination, n, source->Indices != nullptr);
    if (status != ApiStatus_Success) return status;
    double* centres = destination->Centres;
    double* coeffs = destination->Coeffs;
    int32_t* indices = destination->Indices;
    *destination = *source;
    destination->Centres = centres;
    destination->Coeffs = coeffs;
    destination->Indices = indices;
    if (n > 0) std::memcpy(centres, source->Centres, sizeof(double) * D * n);
    if (source->CoeffCount > 0) std::memcpy(coeffs, source->Coeffs, sizeof(double) * source->CoeffCount);
    if (indices) std::memcpy(indices, source->Indices, sizeof(int32_t) * n);
    return ApiStatus_Success;
}

template <class Solution, int D>
int Check(const Solution* s, Reporter* reporter) {
    if (s == nullptr) {
        Reporter_Error(reporter, "Solution structure pointer is invalid");
        return 0;
    }
    if (s->CentreCount <= 0 || s->CoeffCount <= 0) {
        Reporter_Error(reporter, "Solution contains an invalid number of centres and/or coefficients");
        return 0;
    }
    const int32_t terms = Poly_CoeffCount(s->PolyDegree, D);
    if (terms < 0 || s->CoeffCount != s->CentreCount + terms) {
        Reporter_Error(reporter, "Solution number of coeffs inconsistent with polynomial degree");
        return 0;
    }
    if (s->DefaultEvalAccuracy < 0.0) {
        Reporter_Error(reporter, "Default evaluation accuracy for solution is negative");
        return 0;
    }
    if (s->Centres == nullptr || s->Coeffs == nullptr) {
        Reporter_Error(reporter, "Solution structure is invalid");
        return 0;
    }
    if (s->PolyDegree < -1 || s->PolyDegree > 2) {
        Reporter_Error(reporter, "Polynomial degree value is out of range.");
        return 0;
    }
    if (s->Rho < 0.0) {
        Reporter_Error(reporter, "Rho smoothing value must be positive.");
        return 0;
    }
    return BasicFunction_Check(&s->Basic, D, s->PolyDegree, reporter);
}

}  // namespace

int Solution3_Create(Solution3* solution, int32_t centres, int32_t withIndices) {
    return Create<Solution3, 3>(solution, centres, withIndices);
}
int Solution2_Create(Solution2* solution, int32_t centres, int32_t withIndices) {
    return Create<Solution2, 2>(solution, centres, withIndices);
}
int Solution3_Copy(Solution3* destination, const Solution3* source) { return Copy<Solution3, 3>(destination, source); }
int Solution2_Copy(Solution2* destination, const Solution2* source) { return Copy<Solution2, 2>(destination, source); }
void Solution3_Free(Solution3* solution) {
    if (solution) FreeArrays(solution);
}
void Solution2_Free(Solution2* solution) {
    if (solution) FreeArrays(solution);
}
void Solution3_Clear(Solution3* solution) {
    if (solution) std::memset(solution, 0, sizeof *solution);
}
void Solution2_Clear(Solution2* solution) {
    if (solution) std::memset(solution, 0, sizeof *solution);
}
int Solution3_Check(const Solution3* solution, Reporter* reporter) { return Check<Solution3, 3>(solution, reporter); }
int Solution2_Check(const Solution2* solution, Reporter* reporter) { return Check<Solution2, 2>(solution, reporter); }

int32_t Poly_DegreeFromCount(int32_t count, int32_t dimension) {
    if (count == 0) return -1;
    if (count == 1) return 0;
    if (count == dimension + 1) return 1;
    if (count == (dimension + 1) * (dimension + 2) / 2) return 2;
    return -2;
}

int32_t Poly_CoeffCount(int32_t degree, int32_t dimension) {
    switch (degree) {
        case -1:
            return 0;
        case 0:
            return 1;
        case 1:
            return dimension + 1;
        case 2:
            return (dimension + 2) * (dimension + 1) / 2;
        default:
            return -1;
    }
}
