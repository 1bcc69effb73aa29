// Facets handed to OpenGL a batch at a time as arrays of unshared vertices,
// each vertex carrying its normal and its facet's colour: one call draws a
// few thousand facets where drawing them vertex by vertex costs several
// calls a vertex (each a crossing into the driver), with the same attributes
// reaching the pipeline either way.
#pragma once

#include <windows.h>
#include <GL/gl.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

class FacetBatch {
  public:
    // Which attributes the vertices carry; one left out is the current one.
    enum : uint32_t { kNormals = 1, kColours = 2 };

    // `corners`: 3 for triangles, 4 for quads. The arrays it sets are
    // disabled again when it is destroyed.
    FacetBatch(GLenum mode, int corners, uint32_t attributes);
    ~FacetBatch();
    FacetBatch(const FacetBatch&) = delete;
    FacetBatch& operator=(const FacetBatch&) = delete;

    // Starts a facet in `colour` (red in the low byte); its corners follow.
    void Begin(uint32_t colour = 0, uint8_t alpha = 255) {
        if (count_ + corners_ > capacity_) Flush();
        colour_ = (colour & 0xFFFFFF) | static_cast<uint32_t>(alpha) << 24;
    }
    // `normal` may be null without normals; `rgb`, when given, is the
    // corner's own colour at the facet's alpha.
    void Corner(const float* position, const float* normal, const uint8_t* rgb = nullptr) {
        Vertex& v = vertices_[count_++];
        std::memcpy(v.position, position, sizeof v.position);
        if (normal) std::memcpy(v.normal, normal, sizeof v.normal);
        std::memcpy(v.colour, &colour_, sizeof v.colour);  // the bytes red, green, blue, alpha
        if (rgb) std::memcpy(v.colour, rgb, 3);
    }
    // Draws what was added so far.
    void Flush();
    // Points the arrays at this batch's vertices again, after a draw from
    // other arrays (it sets them so when made).
    void Bind();

  private:
    struct Vertex {
        float normal[3];
        float position[3];
        uint8_t colour[4];
    };
    GLenum mode_;
    int corners_;
    uint32_t attributes_;
    uint32_t colour_ = 0xFF000000u;
    size_t count_ = 0, capacity_;
    std::unique_ptr<Vertex[]> vertices_;
};

// Corners given as indices into arrays the caller set, drawn a batch a
// call: for facets that carry no attribute of their own (their edges).
class IndexBatch {
  public:
    explicit IndexBatch(GLenum mode);
    ~IndexBatch() { Flush(); }
    IndexBatch(const IndexBatch&) = delete;
    IndexBatch& operator=(const IndexBatch&) = delete;

    void Add(const int32_t* corners, int n) {
        for (int k = 0; k < n; ++k) indices_.push_back(static_cast<GLuint>(corners[k]));
        if (indices_.size() >= capacity_) Flush();
    }
    void Flush();

  private:
    GLenum mode_;
    size_t capacity_;
    std::vector<GLuint> indices_;
};
