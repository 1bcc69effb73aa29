#include "surface/frame/status_codes.h"

#include "surface/frame/reporter.h"

namespace {

const char* const kApiTexts[kApiStatusCount] = {
    "Success",
    "User abort",
    "Memory allocation failed",
    "Unexpected internal error",
    "PointList was missing or empty",
    "Grid argument was missing",
    "Rbf Solution was missing or contained invalid data",
    "A negative distance was encountered",
    "Negative or zero value in Size argument",
    "Too few grid arguments passed",
    "Invalid data in Attr argument",
    "Invalid File argument in file IO function",
    "Invalid Scan argument",
    "FaceList was missing or empty",
    "Mesh was missing or empty",
    "Specified alt-array (index or name) does not exist or is invalid",
    "Attempt to create a unique value that already exists",
    "Invalid argument",
    "Fitter repeatedly failed convergence tests",
    "Fitter reached internal max iteration",
    "(Near) identical points passed to fitter",
    "Interpolation points do not span whole space",
    "All interpolation values were less than desired accuracy.",
    "Error in isosurfacing",
    "Could not find the surface from any seed",
    "Reserved status code",  // 25: no operation returns it
    "File open failed",
    "File read failed",
    "File write failed",
    "File is missing %TAVIR-x.y header",
    "File has unsupported version number",
    "Syntax error in file",
    "Unexpected end of file",
    "Excess data at end of file",
    "Binary data is unreadable or corrupt",
    "Value of wrong type in ASCII file",
    "File item missing or wrong size",
};

const char kUnknownStatus[] = "Unknown status code";
const char kUnexpected[] = "Unexpected status value encountered";

struct CoreEntry {
    const char* name;
    const char* message;  // null: the unexpected-status message
    int32_t api;
};

const CoreEntry kCore[kCoreStatusCount] = {
    {"Success", nullptr, 0},
    {"Failure", "Miscellaneous internal failure", 3},
    {"No Memory", "Internal memory allocation failure", 2},
    {"Negative Cholesky Pivot", "Internal matrix not definite", 3},
    {"Data Linear Dependancy", "Data linearly dependant", 21},
    {"Invalid Input", "Internal invalid function call arguments", 3},
    {"Not Enough Points", "Insufficient interpolation points to solve RBF equations", 17},
    {"Invalid Dimension", "Internal invalid dimension encountered", 3},
    {"File IO Failure", nullptr, 3},
    {"No Convergence", "RBF fitter repeatedly failed convergence tests", 18},
    {"User Abort", "Function aborted by user", 1},
    {"Reached Max Iteration", "RBF fitter reached internal max iteration count", 19},
    {"Invalid Basic Function ID", "Internal invalid RBF basic function encountered", 3},
    {"Multi-Threading Failure", nullptr, 3},
    {"Duplicate Data Points", "Duplicate points found", 20},
    {"Memory Pool Full", nullptr, 3},
    {"Divide by zero encountered", "Internal matrix not definite", 3},
    {"Negative Accuracy Passed", "Internal negative accuracy encountered", 7},
    {"Subdomain Not Updated", nullptr, 3},
    {"Fitter Returned Trivial Solution", "All interpolation values less than specified accuracy. trivial solution", 22},
    {"Early Line Search Termination", nullptr, 3},
    {"Bad Search Function", nullptr, 3},
    {"Tree Depth limit encountered", nullptr, 3},
    {"Required pointer argument was NULL", nullptr, 3},
    {"Distance value was negative", nullptr, 3},
    {"Mesh was not manifold", nullptr, 14},
    {"Size value was not positive", nullptr, 3},
    {"Mesh face ordering was inconsistent", nullptr, 14},
    {"Required method is not present (function pointer is NULL)", nullptr, 3},
    {"Count or index value was negative", nullptr, 3},
    {"Index out of range", nullptr, 3},
};

bool KnownCore(int32_t status) { return status >= 0 && status < kCoreStatusCount; }

}  // namespace

const char* Status_Message(int32_t status) {
    if (status < 0 || status >= kApiStatusCount) return kUnknownStatus;
    return kApiTexts[status];
}

const char* CoreStatus_Name(int32_t status) { return KnownCore(status) ? kCore[status].name : "Unknown Status"; }

int32_t CoreStatus_ToApiStatus(int32_t status) { return KnownCore(status) ? kCore[status].api : 3; }

const char* CoreStatus_Message(int32_t status) {
    if (status == 0) return nullptr;
    if (!KnownCore(status) || !kCore[status].message) return kUnexpected;
    return kCore[status].message;
}

void CoreStatus_Report(Reporter* reporter, int32_t status) {
    const char* message = CoreStatus_Message(status);
    // The messages hold no conversions: each is its own format.
    if (message) Reporter_AtLevel(reporter, kLevelError, message);
}
