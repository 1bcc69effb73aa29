// The FGMRES fitter: the RBF interpolation system solved by flexible GMRES
// with a multilevel preconditioner. Each application solves the vector
// locally on the subdomains of the level's centres, then corrects what is
// left from the coarser levels: the bottom level by its direct factor, every
// level between by an inner FGMRES preconditioned one level down. Coarse
// levels grow when the residual falls too slowly.
//
// Core statuses: 0, 2 no memory, 4 the points do not span the polynomial
// space, 5 invalid input, 11 iterations exhausted, 12 no basic function, 17
// accuracy not positive, 19 every value within the accuracy (zero
// coefficients), and what the parts below return.
#ifndef SURFACE_FIT_RAD_FIT_FGMRES_H
#define SURFACE_FIT_RAD_FIT_FGMRES_H

#include <cstdint>

#include "surface/fit/rad_fit_fgmres_options.h"
#include "surface/frame/basic_function.h"

struct CoreReporter;

// coefficients: N + terms doubles in/out (null: a tracked array is made and
// returned). shift (dimension doubles) receives the polynomial centre.
int RadFitFGMRes(int32_t N, double* const* centres, const double* values, const BasicFunctionKernel* kernel,
                 double accuracy, double memoryLimit, const RadFitFGMResOptions* options, double** coefficients,
                 double* shift, const CoreReporter* reporter, double progressEnd);
// The settings listing at the info level (category bit 0x400).
void RadFitFGMRes_PrintSettings(const CoreReporter* reporter, int32_t N, const BasicFunctionKernel* kernel,
                                double memoryLimit, const RadFitFGMResOptions* options);

#endif
