// The working pieces that density data shares between the operation and the
// method variant: the output table (inputs first, then the new points with
// the index of the point each came from), the projection method and the
// short-normal filter.
#ifndef SURFACE_FIT_DENSITY_PROJECTION_H
#define SURFACE_FIT_DENSITY_PROJECTION_H

#include <cstdint>

struct Reporter;

namespace density {

// Allocated once at its final bound; Add past it is ignored.
struct Output {
    double* xyz = nullptr;
    double* value = nullptr;
    int32_t* source = nullptr;
    int32_t count = 0;
    int32_t capacity = 0;
    Output() = default;
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;
    ~Output() { Free(); }
    bool Allocate(int32_t n);
    // Frees the arrays now: inside the operation's tracking level, so that
    // their bytes leave the count.
    void Free();
    void Add(const double* p, double v, int32_t from);
};

// Who asks the projection to stop and where it reports its progress: the
// operation's reporter, or the bare flag and value of the method variant.
struct Control {
    const Reporter* reporter = nullptr;
    const volatile int32_t* abort = nullptr;
    double* progress = nullptr;      // grows by `step` for every point with a normal
    Reporter* progressOf = nullptr;  // or this reporter's progress does
    double step = 0.0;
    bool Aborted() const;
    void Advance() const;
};

// The projection method over n points (3 doubles each) and their normals:
// the inputs with value 0, then for an evenly spread choice of the points
// with a normal the point moved up to `distance` along it (and, two-sided,
// against it), each with its signed distance. Room for `extra` more rows is
// kept. Statuses: 0, 2 (memory), 10 (abort), a tree's status.
int ProjectPatches(int32_t n, const double* location, const double* normals, double distance, int32_t oneSided,
                   double maxIncrease, int32_t extra, Output* out, const Control& control);

// Removes the new points whose value is non-zero and shorter than `minimum`
// (each replaced by the last); the number removed.
int32_t FilterPoints(Output* out, int32_t n, double minimum);

}  // namespace density

#endif
