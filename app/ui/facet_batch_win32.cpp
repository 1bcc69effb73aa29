#include "app/ui/facet_batch_win32.h"

namespace {

// Small enough to stay in the processor's cache while the driver reads it,
// large enough that the call's own cost vanishes.
constexpr size_t kBatchFacets = 8192;

}  // namespace

FacetBatch::FacetBatch(GLenum mode, int corners, uint32_t attributes)
    : mode_(mode),
      corners_(corners),
      attributes_(attributes),
      capacity_(kBatchFacets * corners),
      vertices_(new Vertex[kBatchFacets * corners]) {
    Bind();
}

void FacetBatch::Bind() {
    glEnableClientState(GL_VERTEX_ARRAY);
    glVertexPointer(3, GL_FLOAT, sizeof(Vertex), vertices_[0].position);
    if (attributes_ & kNormals) {
        glEnableClientState(GL_NORMAL_ARRAY);
        glNormalPointer(GL_FLOAT, sizeof(Vertex), vertices_[0].normal);
    } else {
        glDisableClientState(GL_NORMAL_ARRAY);
    }
    if (attributes_ & kColours) {
        glEnableClientState(GL_COLOR_ARRAY);
        glColorPointer(4, GL_UNSIGNED_BYTE, sizeof(Vertex), vertices_[0].colour);
    } else {
        glDisableClientState(GL_COLOR_ARRAY);
    }
}

FacetBatch::~FacetBatch() {
    Flush();
    glDisableClientState(GL_VERTEX_ARRAY);
    glDisableClientState(GL_NORMAL_ARRAY);
    glDisableClientState(GL_COLOR_ARRAY);
}

void FacetBatch::Flush() {
    if (count_ > 0) glDrawArrays(mode_, 0, static_cast<GLsizei>(count_));
    count_ = 0;
}

IndexBatch::IndexBatch(GLenum mode) : mode_(mode), capacity_(3 * kBatchFacets) { indices_.reserve(capacity_ + 4); }

void IndexBatch::Flush() {
    if (!indices_.empty())
        glDrawElements(mode_, static_cast<GLsizei>(indices_.size()), GL_UNSIGNED_INT, indices_.data());
    indices_.clear();
}
