// Normals and area of a mesh of triangles and quads, shared by the surface
// builders and the scan loader.
#pragma once

#include "app/scan/geometry.h"

#include <cstdint>

// Facet normals (unit; the zero vector for a facet of no area), the area when
// `area` is given, and the vertex normals (the normalised sum of the unit
// normals of the facets and quads around each point) when `vertexNormals` is
// given. A triangle's normal follows (Q - P) x (R - P), a quad's the cross
// product of its diagonals (R - P) x (S - Q).
void Mesh_FacetNormals(int32_t pointCount, const Vec3* points, int32_t facetCount, const int32_t* facets,
                       int32_t quadCount, const int32_t* quads, Vec3* facetNormals, Vec3* quadNormals, float* area,
                       Vec3* vertexNormals);

// Vertex normals from given facet and quad normals: each point's normalised
// sum (a sum shorter than 1e-5 is left as it is).
void Mesh_VertexNormals(Vec3* vertexNormals, int32_t pointCount, int32_t facetCount, const int32_t* facets,
                        const Vec3* facetNormals, int32_t quadCount, const int32_t* quads, const Vec3* quadNormals);
