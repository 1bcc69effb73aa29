#include "surface/fit/fit_attributes.h"

#include "surface/frame/reporter.h"

namespace {

bool Speaks(const Reporter* r, int32_t level) {
    return r != nullptr && r->callback != nullptr && r->maximumLevel >= level;
}

const char* FitTypeName(int32_t type) {
    switch (type) {
        case FitType_Direct:
            return "Direct";
        case FitType_CentreReduction:
            return "Centre Reduction";
        case FitType_ErrorBar:
            return "Error Bar";
        case FitType_DirectGMRes:
            return "Direct GMRes";
        default:
            return "Invalid";
    }
}

const char* Fault(const FitAttributes* a) {
    if (!a) return "Fit attribute argument is NULL.";
    if (!(a->Rho >= 0.0)) return "Rho smoothing value must be positive.";
    if (!(a->Confidence >= 0.0 && a->Confidence <= 1.0)) return "Confidence value must be between 0 and 1.";
    if (!(a->ReductionThresh >= 0.0 && a->ReductionThresh <= 1.0))
        return "ReductionThresh value must be between 0 and 1.";
    if (a->PolyDegree < -1 || a->PolyDegree > 2) return "Polynomial degree value is out of range.";
    if (!(a->FitAccFactor > 0.0 && a->FitAccFactor <= 0.2)) return "FitAccFactor must be between 0 and 0.2.";
    return nullptr;
}

void PrintAttributes(const FitAttributes* a, const char* basicName, int32_t dimension, Reporter* r) {
    if (!a || !Speaks(r, 5)) return;
    Reporter_Value(r, "Basic Function", "%s", basicName ? basicName : "");
    const int32_t type = a->BasicFunc.Type;
    if (type == 2 || type == 3) {
        Reporter_Value(r, "Basic Func Param", "%g", a->BasicFunc.C);
        Reporter_Value(r, "Basic Func Param 2", "%d", a->BasicFunc.K);
    } else if (type == 4) {
        Reporter_Value(r, "Basic Func Param", "%g", a->BasicFunc.C);
    }
    Reporter_Value(r, "Fit Type", "%s", FitTypeName(a->FitType));
    if (a->FitType == FitType_CentreReduction) Reporter_Value(r, "Reduction Threshold", "%g", a->ReductionThresh);
    if (a->FitType == FitType_ErrorBar) {
        Reporter_Value(r, "Fit Acc Factor", "%g", a->FitAccFactor);
        Reporter_Value(r, "Allow Redundant", "%s", a->AllowRedundant ? "Yes" : "No");
    } else if (a->Rho != 0.0) {
        Reporter_Value(r, "Rho Value", "%g", a->Rho);
    }
    Reporter_Value(r, "Polynomial Degree", "%d", a->PolyDegree);
    Reporter_Value(r, "Accuracy Confidence", "%g", a->Confidence);
    if (a->UseSpatialScaling == 0) return;
    const double* s = a->SpatialScaling;
    if (dimension == 3)
        Reporter_Value(r, "Spatial Scaling", "% g % g % g", s[0], s[1], s[2]);
    else
        Reporter_Value(r, "Spatial Scaling", "% g % g", s[0], s[1]);
}

}  // namespace

FitAttributes* SetFitAttrDefaults(FitAttributes* a) {
    if (!a) return nullptr;
    *a = FitAttributes{};
    a->FitType = FitType_ErrorBar;
    a->ReductionThresh = 0.5;
    a->BasicFunc = BasicFunction{0, 0.0, 1};
    a->Confidence = 1.0;
    a->SpatialScaling[0] = a->SpatialScaling[1] = a->SpatialScaling[2] = 1.0;
    a->PolyDegree = 1;
    a->AllowRedundant = 1;
    a->FitAccFactor = 0.1;
    return a;
}

int CheckFitAttributes(int32_t dimension, const FitAttributes* a, Reporter* reporter) {
    if (const char* fault = Fault(a)) {
        if (Speaks(reporter, 1)) Reporter_Error(reporter, "%s", fault);
        return 0;
    }
    return BasicFunction_Check(&a->BasicFunc, dimension, a->PolyDegree, reporter);
}

void PrintFitAttributes3(const FitAttributes* a, const char* basicName, Reporter* reporter) {
    PrintAttributes(a, basicName, 3, reporter);
}

void PrintFitAttributes2(const FitAttributes* a, const char* basicName, Reporter* reporter) {
    PrintAttributes(a, basicName, 2, reporter);
}
