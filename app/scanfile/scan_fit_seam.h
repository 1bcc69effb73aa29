// The surface library's side of a scan load: the fitting context gets the
// basic surface's points as its input and, from files of an earlier
// release, the fit they stored, so that the next RBF build restarts at the
// surfacing stage. The load fills a `LoadedFit` and hands it over only when
// the whole load succeeded; the program's implementation binds the library
// and writes its context, tests record what they are given.
#pragma once

#include "app/scan/geometry.h"

#include <cstdint>
#include <vector>

struct LoadedFit {
    int32_t restartStage = 1;  // 0 fit again, 1 surface from the stored fit
    std::vector<Vec3> input;   // the basic points, then the stylus positions asked for
    // The stored solution, each part as found (empty or zero when missing).
    std::vector<double> centres;  // x, y, z a centre
    std::vector<double> coefficients;
    double achievedAccuracy = 0.0;
    double defaultEvaluationAccuracy = 0.0;
    double polyBase[3] = {};
    double dataMin[3] = {};
    double dataMax[3] = {};
    int32_t fitType = 0;
    int32_t polyDegree = 0;
    double rho = 0.0;
    int32_t basicFuncType = 0;
    double basicFuncC = 0.0;
    int32_t basicFuncK = 0;
    char version[32] = {};
    // Words 0-32 of the fitting parameters (float32 or int32 bits), as the
    // older parameter items gave them; zero when missing.
    uint32_t params[33] = {};
};

class ScanFitSeam {
  public:
    virtual ~ScanFitSeam() = default;
    // The surface library is loaded and its exports found.
    virtual bool LibraryLoaded() = 0;
    // Empties the context (every load starts so).
    virtual void Clear() = 0;
    // Takes the input, the restart stage, the solution and the parameters.
    virtual void Hand(const LoadedFit& fit) = 0;
};
