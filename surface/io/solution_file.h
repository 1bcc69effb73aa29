// RBF solution files, 2D and 3D: the accuracies, "Centres" (D by M),
// "Coeffs" (K), the polynomial base, the data box, optional "Indices", the
// basic function and its parameters, the polynomial degree, Rho, the fit
// type and the 32-byte "Version" text. Statuses are the API statuses.
#ifndef SURFACE_IO_SOLUTION_FILE_H
#define SURFACE_IO_SOLUTION_FILE_H

#include <cstdint>
#include <cstdio>

#include "surface/frame/solution.h"
#include "surface/io/container.h"

struct Reporter;

int Selvane_SaveSolution2(const Solution2* solution, std::FILE* file, int32_t ascii, Reporter* reporter);
int Selvane_LoadSolution2(Solution2* solution, std::FILE* file, int32_t* line, Reporter* reporter);
int Selvane_SaveSolution3(const Solution3* solution, std::FILE* file, int32_t ascii, Reporter* reporter);
int Selvane_LoadSolution3(Solution3* solution, std::FILE* file, int32_t* line, Reporter* reporter);

// Writer and reader over a stream; both end the running operation.
int Solution2_Write(const Solution2* solution, ContainerStream* stream, int32_t ascii, Reporter* reporter);
int Solution2_Read(Solution2* solution, ContainerStream* stream, int32_t* line, Reporter* reporter);
int Solution3_Write(const Solution3* solution, ContainerStream* stream, int32_t ascii, Reporter* reporter);
int Solution3_Read(Solution3* solution, ContainerStream* stream, int32_t* line, Reporter* reporter);
int Solution2_BuildItems(const Solution2* solution, ContainerIndex* index);
int Solution3_BuildItems(const Solution3* solution, ContainerIndex* index);
int32_t Solution2_FileBytes(const Solution2* solution, int32_t ascii);
int32_t Solution3_FileBytes(const Solution3* solution, int32_t ascii);

// Loading in steps, for the readers of either dimension: Bind checks the
// items of a read index (36 after the message, also for more coefficients
// than centres + 15), creates the solution and points the items at it;
// Finish, after the data, settles the polynomial degree (36 with "Incorrect
// number of coefficients in file" when the count fits none) and reports the
// success lines.
struct SolutionLoad {
    int32_t basicFunction;
    int32_t fitType;
    int32_t polyDegree;
    bool hasDegree;
};
int Solution2_BindItems(Solution2* solution, SolutionLoad* load, ContainerIndex* index, const char* fileKind,
                        Reporter* reporter);
int Solution3_BindItems(Solution3* solution, SolutionLoad* load, ContainerIndex* index, const char* fileKind,
                        Reporter* reporter);
int Solution2_FinishLoad(Solution2* solution, const SolutionLoad* load, int32_t ascii, Reporter* reporter);
int Solution3_FinishLoad(Solution3* solution, const SolutionLoad* load, int32_t ascii, Reporter* reporter);

#endif
