// The two status sets of the library: the API statuses that every public
// operation returns (0 to 36, one fixed text each) and the core statuses of
// the fitting core and the evaluators (0 to 30), with the mapping between
// them.
#ifndef SURFACE_FRAME_STATUS_CODES_H
#define SURFACE_FRAME_STATUS_CODES_H

#include <cstdint>

struct Reporter;

enum CoreStatus : int32_t {
    CoreStatus_Success = 0,
    CoreStatus_Failure = 1,
    CoreStatus_NoMemory = 2,
    CoreStatus_NegativeCholeskyPivot = 3,
    CoreStatus_LinearDependency = 4,
    CoreStatus_InvalidInput = 5,
    CoreStatus_NotEnoughPoints = 6,
    CoreStatus_InvalidDimension = 7,
    CoreStatus_FileIoFailure = 8,
    CoreStatus_NoConvergence = 9,
    CoreStatus_UserAbort = 10,
    CoreStatus_ReachedMaxIteration = 11,
    CoreStatus_InvalidBasicFunction = 12,
    CoreStatus_ThreadingFailure = 13,
    CoreStatus_DuplicatePoints = 14,
    CoreStatus_PoolFull = 15,
    CoreStatus_DivideByZero = 16,
    CoreStatus_NegativeAccuracy = 17,
    CoreStatus_SubdomainNotUpdated = 18,
    CoreStatus_TrivialSolution = 19,
    CoreStatus_EarlyLineSearchEnd = 20,
    CoreStatus_BadSearchFunction = 21,
    CoreStatus_TreeDepthLimit = 22,
    CoreStatus_NullArgument = 23,
    CoreStatus_NegativeDistance = 24,
    CoreStatus_NotManifold = 25,
    CoreStatus_SizeNotPositive = 26,
    CoreStatus_InconsistentFaces = 27,
    CoreStatus_MissingMethod = 28,
    CoreStatus_NegativeCount = 29,
    CoreStatus_IndexOutOfRange = 30,
};

// The API statuses, in the order of their texts (Status_Message).
enum ApiStatus : int32_t {
    ApiStatus_Success = 0,
    ApiStatus_UserAbort = 1,
    ApiStatus_NoMemory = 2,
    ApiStatus_InternalError = 3,
    ApiStatus_BadPointList = 4,
    ApiStatus_MissingGrid = 5,
    ApiStatus_BadSolution = 6,
    ApiStatus_NegativeDistance = 7,
    ApiStatus_BadSize = 8,
    ApiStatus_TooFewGridArguments = 9,
    ApiStatus_BadAttributes = 10,
    ApiStatus_BadFile = 11,
    ApiStatus_BadScan = 12,
    ApiStatus_BadFaceList = 13,
    ApiStatus_BadMesh = 14,
    ApiStatus_BadAltSet = 15,
    ApiStatus_AlreadyExists = 16,
    ApiStatus_InvalidArgument = 17,
    ApiStatus_NoConvergence = 18,
    ApiStatus_MaxIterations = 19,
    ApiStatus_IdenticalPoints = 20,
    ApiStatus_PointsDoNotSpan = 21,
    ApiStatus_ValuesBelowAccuracy = 22,
    ApiStatus_IsosurfaceError = 23,
    ApiStatus_NoSurfaceFound = 24,
    ApiStatus_Reserved = 25,
    ApiStatus_FileOpenFailed = 26,
    ApiStatus_FileReadFailed = 27,
    ApiStatus_FileWriteFailed = 28,
    ApiStatus_MissingHeader = 29,
    ApiStatus_UnsupportedVersion = 30,
    ApiStatus_SyntaxError = 31,
    ApiStatus_UnexpectedEnd = 32,
    ApiStatus_ExcessData = 33,
    ApiStatus_CorruptBinary = 34,
    ApiStatus_WrongType = 35,
    ApiStatus_BadItem = 36,
};

constexpr int32_t kCoreStatusCount = 31;
constexpr int32_t kApiStatusCount = 37;

// The fixed text of an API status. Status 25 is reserved and any status
// outside 0 to 36 is unknown: both give a fixed text of their own.
const char* Status_Message(int32_t status);

// The name of a core status, as printed inside messages.
const char* CoreStatus_Name(int32_t status);
// The API status a core status maps to (3 for any unknown core status).
int32_t CoreStatus_ToApiStatus(int32_t status);
// The error message of a core status ("Unexpected status value encountered"
// for those without one of their own); null for success.
const char* CoreStatus_Message(int32_t status);
// Reports a core status at level 1 with its message; nothing for success.
void CoreStatus_Report(Reporter* reporter, int32_t status);

#endif
