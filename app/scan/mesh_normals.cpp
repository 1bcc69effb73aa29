#include "app/scan/mesh_normals.h"

#include <cstring>

namespace {

// The unit normal of n, adding its length to the area sum. A cross product of
// length 0 (a facet without area) gives the zero normal rather than 0/0.
Vec3 UnitNormal(const Vec3& n, double& areaSum) {
    const float length = V3_Length(n);
    areaSum += length;
    if (!(length > 0.0f)) return Vec3{0.0f, 0.0f, 0.0f};
    return Vec3{n.x / length, n.y / length, n.z / length};
}

void AddTo(Vec3* normals, const int32_t* corners, int count, const Vec3& n) {
    for (int k = 0; k < count; ++k) V3_Add(normals[corners[k]], n, normals[corners[k]]);
}

void NormaliseAll(Vec3* normals, int32_t count) {
    for (int32_t i = 0; i < count; ++i) V3_Normalise(normals[i], normals[i]);
}

// (b - a) x (d - c): a triangle's two edges from one corner, or a quad's two
// diagonals.
Vec3 CrossOfEdges(const Vec3* points, int32_t a, int32_t b, int32_t c, int32_t d) {
    Vec3 u, w, n;
    V3_Sub(points[b], points[a], u);
    V3_Sub(points[d], points[c], w);
    V3_Cross(u, w, n);
    return n;
}

}  // namespace

void Mesh_FacetNormals(int32_t pointCount, const Vec3* points, int32_t facetCount, const int32_t* facets,
                       int32_t quadCount, const int32_t* quads, Vec3* facetNormals, Vec3* quadNormals, float* area,
                       Vec3* vertexNormals) {
    if (vertexNormals && pointCount > 0) std::memset(vertexNormals, 0, sizeof(Vec3) * pointCount);
    double sum = 0.0;
    for (int32_t f = 0; f < facetCount; ++f) {
        const int32_t* v = facets + 3 * f;
        facetNormals[f] = UnitNormal(CrossOfEdges(points, v[0], v[1], v[0], v[2]), sum);
        if (vertexNormals) AddTo(vertexNormals, v, 3, facetNormals[f]);
    }
    for (int32_t q = 0; q < quadCount; ++q) {
        const int32_t* v = quads + 4 * q;
        quadNormals[q] = UnitNormal(CrossOfEdges(points, v[0], v[2], v[1], v[3]), sum);
        if (vertexNormals) AddTo(vertexNormals, v, 4, quadNormals[q]);
    }
    if (vertexNormals) NormaliseAll(vertexNormals, pointCount);
    if (area) *area = static_cast<float>(sum * 0.5);
}

void Mesh_VertexNormals(Vec3* vertexNormals, int32_t pointCount, int32_t facetCount, const int32_t* facets,
                        const Vec3* facetNormals, int32_t quadCount, const int32_t* quads, const Vec3* quadNormals) {
    if (pointCount > 0) std::memset(vertexNormals, 0, sizeof(Vec3) * pointCount);
    for (int32_t f = 0; f < facetCount; ++f) AddTo(vertexNormals, facets + 3 * f, 3, facetNormals[f]);
    for (int32_t q = 0; q < quadCount; ++q) AddTo(vertexNormals, quads + 4 * q, 4, quadNormals[q]);
    NormaliseAll(vertexNormals, pointCount);
}
