#include "surface/fit/fit_vectors.h"

#include "surface/frame/reporter.h"
#include "surface/frame/status_codes.h"

namespace {

bool Speaks(const Reporter* r, int32_t level) {
    return r != nullptr && r->callback != nullptr && r->maximumLevel >= level;
}

}  // namespace

int ReplaceBadValues(int32_t N, double* vector, const char* name, double accuracy, Reporter* reporter) {
    if (!vector) return ApiStatus_Success;
    int32_t count = 0;
    if (accuracy > 0.0) {
        for (int32_t i = 0; i < N; ++i)
            if (!(vector[i] > accuracy)) {  // NaN entries are raised too
                vector[i] = accuracy;
                ++count;
            }
        if (count > 0 && Speaks(reporter, 2))
            Reporter_Warning(reporter, "%d entries in %s vector replaced with %.2g", count, name, accuracy);
        return ApiStatus_Success;
    }
    for (int32_t i = 0; i < N; ++i)
        if (!(vector[i] > 0.0)) ++count;
    if (count == 0) return ApiStatus_Success;
    if (Speaks(reporter, 1)) Reporter_Error(reporter, "%d negative values in %s vector ", count, name);
    return ApiStatus_NegativeDistance;
}
