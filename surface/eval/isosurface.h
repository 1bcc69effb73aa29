// The isosurface operation: a fitted 3D solution turned into a mesh of its
// level set by the follower (rapid_surf.h), evaluating the solution one
// point at a time through Selvane_PointEval3 with one kept evaluation
// workspace, collecting vertices and faces into a mesh (or temporary files
// for the container-file variant), and optionally giving the vertices the
// function's gradient as their normal, with exact axis normals on the caps
// that close a surface along the box.
//
// Statuses are the API statuses (status_codes.h); 24: no seed found a surface.
#ifndef SURFACE_EVAL_ISOSURFACE_H
#define SURFACE_EVAL_ISOSURFACE_H

#include <cstdint>
#include <cstdio>

struct EvalAttributes;
struct EvalWorkspace;
struct Mesh3;
struct PointList3;
struct Reporter;
struct Solution3;

struct IsosurfAttributes {
    int32_t CapStyle;                 // 0 open, 1 closed with the outside below, 2 above the isovalue
    int32_t MeshStyle;                // 0 optimised, 1 vertices on x-y planes, 2 no optimisation
    int32_t FaceStyle;                // 0 triangles, 1 quads, 2 both
    int32_t FitToBoundingBox;         // bits 1 x, 2 y, 4 z
    int32_t ReturnNormals;            // the mesh gets the gradient at every vertex
    int32_t SeedLimit;                // below 1: every seed
    int32_t ReverseFaces;             // corner order reversed
    PointList3* Seeds;                // null: the solution's centres
    const double* OrientationMatrix;  // 16 doubles, or null
    int32_t TransformBoundingBox;
    double ShellThickness;  // above 0: the sheets at the isovalue and at isovalue - thickness
};

IsosurfAttributes* SetIsosurfAttrDefaults(IsosurfAttributes* attributes);

// The sink of the file variant: counts and the three temporary files.
struct IsoFileSink {
    int32_t Vertices, Triangles, Quads;
    std::FILE* VertexFile;
    std::FILE* TriangleFile;
    std::FILE* QuadFile;
};

// workspace: the caller's evaluation workspace reference (kept after the
// call), or null for one that lives for the call.
int Selvane_Isosurf3(const Solution3* solution, const EvalAttributes* evalAttributes, EvalWorkspace** workspace,
                     Mesh3* mesh, double isovalue, double resolution, const double* regionMin, const double* regionMax,
                     const IsosurfAttributes* attributes, Reporter* reporter);
// The work of both: into the mesh, or (mesh null) into the file sink.
int IsosurfaceCore(const Solution3* solution, const EvalAttributes* evalAttributes, EvalWorkspace** workspace,
                   Mesh3* mesh, IsoFileSink* fileSink, double isovalue, double resolution, const double* regionMin,
                   const double* regionMax, const IsosurfAttributes* attributes, Reporter* reporter);
// The surface written to the stream in the version-1.0 container.
int IsosurfaceToFile(const Solution3* solution, const EvalAttributes* evalAttributes, EvalWorkspace** workspace,
                     std::FILE* stream, double isovalue, double resolution, const double* regionMin,
                     const double* regionMax, const IsosurfAttributes* attributes, Reporter* reporter);

// Both sinks refuse a face whose corner names no vertex (outside 0 to
// vertices - 1), so that no index beyond the points reaches the trims or the
// host: "Invalid Tri[n]: ..." or "Invalid Quad[n]: ..." and false.
bool Isosurf_FaceCornersValid(Reporter* reporter, int32_t corners, const int32_t* v, int32_t vertices, int32_t number);

#endif
