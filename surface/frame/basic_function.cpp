// Choosing and completing a basic-function record from a request.
#include "surface/frame/basic_function.h"

#include <cmath>
#include <cstring>

#include "surface/frame/core_reporter.h"
#include "surface/frame/kernel_power.h"
#include "surface/frame/status_codes.h"

namespace {

// Table rows by name.
enum Row : int32_t {
    kRowBiharmonic3 = 0,
    kRowTriharmonic3 = 1,
    kRowMultiquadric3 = 2,
    kRowInverseMultiquadric3 = 3,
    kRowSpherical3 = 4,
    kRowGeneralizedMultiquadric = 5,
    kRowNormalizedMultiquadric = 6,
    kRowApproxSpherical = 7,
    kRowGaussian = 8,
    kRowBiharmonic2 = 9,
    kRowTriharmonic2 = 10,
    kRowShiftedBiharmonic2 = 11,
    kRowShiftedTriharmonic2 = 12,
};

const char* const kTypeNames[] = {
    "Biharmonic",
    "Triharmonic",
    "Multiquadric",
    "Gaussian",
    "Shifted Biharmonic",
    "Shifted Triharmonic",
    "Normalized Multiquadric",
    "Approximate Spherical",
    "Spherical",
};

#define CORE_ERROR(reporter, ...)                                                        \
    do {                                                                                 \
        if (CoreReporter_Speaks(reporter, 1)) CoreReporter_Error(reporter, __VA_ARGS__); \
    } while (0)

bool Positive(double c) { return c > 0.0; }  // false for NaN too
bool Even(int32_t beta) { return beta % 2 == 0; }

// Sign and default degree of the multiquadric family from its exponent.
void ApplyExponentRules(int32_t beta, BasicFunctionKernel* k) {
    k->Sign = (beta > 0 && ((beta + 1) / 2) % 2 == 1) ? -1 : 1;
    const int32_t degree = (beta - 1) / 2;
    k->PolyDegree = degree < -1 ? -1 : degree;
}

int32_t TermCount(int32_t degree, int32_t dim) {
    switch (degree) {
        case -1:
            return 0;
        case 0:
            return 1;
        case 1:
            return dim + 1;
        default:
            return (dim + 1) * (dim + 2) / 2;
    }
}

// Step 4 of the request: the row and its parameters. Returns a status;
// `notImplemented` is set when the type does not exist in the dimension.
int ChooseRow(int32_t type, int32_t dim, double c, int32_t beta, BasicFunctionKernel* k, const CoreReporter* reporter,
              bool* notImplemented) {
    *notImplemented = false;
    switch (type) {
        case kBasicBiharmonic:
            *k = KernelTable[dim == 2 ? kRowBiharmonic2 : kRowBiharmonic3];
            return 0;
        case kBasicTriharmonic:
            *k = KernelTable[dim == 2 ? kRowTriharmonic2 : kRowTriharmonic3];
            return 0;
        case kBasicMultiquadric: {
            if (Even(beta)) {
                CORE_ERROR(reporter, "Multiquadric exponent must be odd");
                return CoreStatus_InvalidInput;
            }
            if (beta > 5) {
                CORE_ERROR(reporter, "Multiquadric exponent must be 5 or less");
                return CoreStatus_InvalidInput;
            }
            if (beta < 0 && !Positive(c)) {
                CORE_ERROR(reporter, "Multiquadric constant must be positive with negative exponents");
                return CoreStatus_InvalidInput;
            }
            Row row = kRowGeneralizedMultiquadric;
            if (dim == 3 && beta == 1) row = kRowMultiquadric3;
            if (dim == 3 && beta == -1) row = kRowInverseMultiquadric3;
            *k = KernelTable[row];
            k->Param = c;
            k->Exponent = beta;
            k->Dim = dim;
            ApplyExponentRules(beta, k);
            return 0;
        }
        case kBasicNormalizedMultiquadric:
            if (Even(beta)) {
                CORE_ERROR(reporter, "Normalized Inverse Multiquadric exponent must be odd");
                return CoreStatus_InvalidInput;
            }
            if (!Positive(c)) {
                CORE_ERROR(reporter, "Normalized Inverse Multiquadric constant must be positive");
                return CoreStatus_InvalidInput;
            }
            *k = KernelTable[kRowNormalizedMultiquadric];
            k->Param = c;
            k->Exponent = beta;
            k->Dim = dim;
            ApplyExponentRules(beta, k);
            k->Factor = Kernel_IntPower(c, -beta);
            return 0;
        case kBasicGaussian:
            if (!Positive(c)) {
                CORE_ERROR(reporter, "Gaussian constant must be positive");
                return CoreStatus_InvalidInput;
            }
            *k = KernelTable[kRowGaussian];
            k->Param = c;
            k->Dim = dim;
            return 0;
        case kBasicShiftedBiharmonic:
        case kBasicShiftedTriharmonic:
            if (dim != 2) {
                *notImplemented = true;
                return CoreStatus_InvalidDimension;
            }
            *k = KernelTable[type == kBasicShiftedBiharmonic ? kRowShiftedBiharmonic2 : kRowShiftedTriharmonic2];
            k->Param = c;
            return 0;
        case kBasicApproxSpherical: {
            if (Even(beta) || beta > 0) {
                CORE_ERROR(reporter, "ApproxSpherical exponent must be negative and odd");
                return CoreStatus_InvalidInput;
            }
            if (!Positive(c)) {
                CORE_ERROR(reporter, "ApproxSpherical constant must be positive");
                return CoreStatus_InvalidInput;
            }
            *k = KernelTable[kRowApproxSpherical];
            k->Param = c;
            k->Exponent = beta;
            k->Dim = dim;
            // The cone and the tail meet at R with equal value and slope.
            const double R = c / std::sqrt(1.0 - beta);
            k->JoinRadius = R;
            k->Factor = beta * R / (2.0 * c * c);
            k->TailDivisor = 2.0 * std::pow((2.0 - beta) / (1.0 - beta), (beta - 2.0) / 2.0);
            return 0;
        }
        case kBasicSpherical:
            if (!Positive(c)) {
                CORE_ERROR(reporter, "Spherical constant must be positive");
                return CoreStatus_InvalidInput;
            }
            if (dim != 3) {
                *notImplemented = true;
                return CoreStatus_InvalidDimension;
            }
            *k = KernelTable[kRowSpherical3];
            k->Param = c;
            return 0;
    }
    return CoreStatus_InvalidBasicFunction;
}

}  // namespace

int BasicFunction_Init(int32_t type, int32_t dimension, int32_t degree, double c, int32_t exponent,
                       BasicFunctionKernel* kernel, const CoreReporter* reporter) {
    if (dimension < 2 || dimension > 3) {
        CORE_ERROR(reporter, "Dimension out of range");
        return CoreStatus_InvalidDimension;
    }
    if (degree > 2) {
        CORE_ERROR(reporter, "Degree of polynomial too large (%d). Must be 2 or less", degree);
        return CoreStatus_InvalidInput;
    }
    if (type < 0 || type > 8) {
        std::memset(kernel, 0, sizeof *kernel);
        CORE_ERROR(reporter, "Invalid basic function type");
        return CoreStatus_InvalidBasicFunction;
    }
    bool notImplemented = false;
    const int status = ChooseRow(type, dimension, c, exponent, kernel, reporter, &notImplemented);
    if (notImplemented) {
        std::memset(kernel, 0, sizeof *kernel);
        CORE_ERROR(reporter, "%s not implemented in specified dimension (%d)", kTypeNames[type], dimension);
    }
    if (status != 0) return status;
    if (degree >= -1) {
        const int32_t required = BasicFunction_MinPolyDegree(type, dimension, exponent);
        if (degree < required) {
            CORE_ERROR(reporter, "Polynomial degree too low (%d). Degree %d required", degree, required);
            return CoreStatus_InvalidInput;
        }
        kernel->PolyDegree = degree;
    } else if (kernel->PolyDegree > 2) {
        // The default degree of a normalized multiquadric with a large exponent
        // has no polynomial of the library's degrees.
        CORE_ERROR(reporter, "Degree of polynomial too large (%d). Must be 2 or less", kernel->PolyDegree);
        return CoreStatus_InvalidInput;
    }
    kernel->PolyTerms = TermCount(kernel->PolyDegree, kernel->Dim);
    return 0;
}

const char* BasicFunction_Name(int32_t type) { return type >= 0 && type <= 8 ? kTypeNames[type] : nullptr; }

const char* BasicFunction_ShortName(int32_t type, int32_t dimension) {
    switch (type) {
        case kBasicBiharmonic:
            return dimension == 2 ? "biphi2" : "biphi3";
        case kBasicTriharmonic:
            return dimension == 2 ? "triphi2" : "triphi3";
        case kBasicMultiquadric:
            return "multi";
        case kBasicShiftedBiharmonic:
            return dimension == 2 ? "sbiphi2" : nullptr;
        case kBasicNormalizedMultiquadric:
            return "nmulti";
        default:
            return nullptr;
    }
}

int32_t BasicFunction_MinPolyDegree(int32_t type, int32_t dimension, int32_t exponent) {
    const int32_t kUnavailable = 3;
    switch (type) {
        case kBasicBiharmonic:
            return dimension == 2 ? 1 : dimension == 3 ? 0 : kUnavailable;
        case kBasicTriharmonic:
            return dimension == 2 ? 2 : dimension == 3 ? 1 : kUnavailable;
        case kBasicMultiquadric:
        case kBasicNormalizedMultiquadric:
            return exponent > 0 ? (exponent - 1) / 2 : -1;
        case kBasicGaussian:
        case kBasicApproxSpherical:
        case kBasicSpherical:
            return -1;
        case kBasicShiftedBiharmonic:
            return dimension == 2 ? 1 : kUnavailable;
        case kBasicShiftedTriharmonic:
            return dimension == 2 ? 2 : kUnavailable;
        default:
            return kUnavailable;
    }
}
