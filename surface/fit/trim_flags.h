// The tests behind the trims: which points lie farther than a distance from
// every point of a trim set, over a k-d tree of the trim set, and the
// boundary trim that peels faces from a mesh's open boundary inward while
// they touch such a point. They build removal flags (1 remove, 0 keep) and
// change nothing else. Statuses are core statuses: 0, 2 memory, 10 aborted.
#ifndef SURFACE_FIT_TRIM_FLAGS_H
#define SURFACE_FIT_TRIM_FLAGS_H

#include <cstdint>

struct CoreReporter;
struct Mesh3;

// Flags every point (two or three doubles a point) that has no trim point at
// a distance strictly below `distance`. The progress runs to 0.95.
int TrimFlags2(int32_t count, const double* points, int32_t trimCount, const double* trimPoints, double distance,
               int32_t* flags, const CoreReporter* reporter);
int TrimFlags3(int32_t count, const double* points, int32_t trimCount, const double* trimPoints, double distance,
               int32_t* flags, const CoreReporter* reporter);

// Peels faces from the open boundary while one of the boundary edge's ends
// is far from the trim set; flags the far points that were met and every
// point left without a face. A closed mesh flags only unused points, and a
// far point that no peeled face reaches stays. Non-manifold edges do not
// stop it. Failures of the topology come back as its core status.
int Mesh3_BoundaryTrimFlags(const Mesh3* mesh, int32_t trimCount, const double* trimPoints, double distance,
                            int32_t* flags, const CoreReporter* reporter);

#endif
