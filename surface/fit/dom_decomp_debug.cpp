// Debug output of decompositions: the files of a failed subdomain, a Matlab
// script of all subdomains, and listings on standard output.
#include <algorithm>
#include <cstdio>

#include "surface/fit/dom_decomp.h"
#include "surface/frame/status_codes.h"

void DomDecomp_DumpBadSubdomain(double* const* points, int32_t d, const Subdomain* s, int32_t a, double v, int32_t b,
                                double u) {
    std::FILE* f = std::fopen("bad_subdomain1.txt", "wt");
    if (!f) return;
    for (int32_t i = 0; i < s->count; ++i) {
        for (int32_t k = 0; k < d; ++k) std::fprintf(f, "%.16g ", points[s->list[i]][k]);
        std::fprintf(f, "\n");
    }
    std::fclose(f);
    f = std::fopen("bad_subdomain2.txt", "wt");
    if (!f) return;
    for (int32_t i = 0; i < s->count; ++i) std::fprintf(f, "%d\n", s->list[i]);
    std::fclose(f);
    f = std::fopen("bad_subdomain3.txt", "wt");
    if (!f) return;
    std::fprintf(f, "%d\n%d\n", s->unisolventCount, s->numOuter);
    std::fprintf(f, "%.15g\n%d\n%.15g\n%d\n", u, a, v, b);
    std::fclose(f);
}

namespace {

void WriteBoxes(std::FILE* f, const Subdomain& s, int32_t d) {
    bool first = true;
    for (const double* box : {s.innerBox, s.outerBox})
        for (int32_t k = 0; k < d; ++k)
            for (double x : {box[k], box[d + k]}) {
                std::fprintf(f, first ? "%e" : "\n%e", x);
                first = false;
            }
}

// The factor's matrix as a full symmetric matrix, and the polynomial
// matrix, within the rows the subdomain holds.
void WriteFactors(std::FILE* f, const char* name, int32_t index, const Subdomain& s, int32_t d) {
    const int32_t rows = s.listCapacity - s.unisolventCount;
    const int32_t order = std::min(s.count - d - 1, s.count - s.unisolventCount);
    std::fprintf(f, "%s(%d).Psi = [", name, index);
    for (int32_t i = 0; i < order; ++i) {
        if (i > 0) std::fprintf(f, "\n");
        for (int32_t j = 0; j < order; ++j) std::fprintf(f, " %.16e", j <= i ? s.factor[i][j] : s.factor[j][i]);
    }
    std::fprintf(f, "];\n");
    if (!s.polyMatrix) return;
    std::fprintf(f, "%s(%d).P = [", name, index);
    for (int32_t i = 0; i < std::min(s.count, rows); ++i) {
        if (i > 0) std::fprintf(f, "\n");
        for (int32_t j = 0; j < std::min(d + 1, s.unisolventCount); ++j) std::fprintf(f, "%.16e ", s.polyMatrix[i][j]);
    }
    std::fprintf(f, "];\n");
}

}  // namespace

int DomDecomp_WriteMatlab(const SDData* sd, const char* path, const char* name, int32_t d, int32_t withFactors) {
    std::FILE* f = std::fopen(path, "wt");
    if (!f) return CoreStatus_FileIoFailure;
    for (int32_t i = 0; i < sd->count; ++i) {
        const Subdomain& s = sd->subdomains[i];
        const int32_t at = i + 1;
        std::fprintf(f, "%s(%d).InInner = %d;\n", name, at, s.count - s.numOuter);
        std::fprintf(f, "%s(%d).Count = %d;\n", name, at, s.count);
        std::fprintf(f, "%s(%d).CentreList = [%d", name, at, s.count > 0 ? s.list[0] + 1 : 0);
        for (int32_t j = 1; j < s.count; ++j) std::fprintf(f, "\n%d", s.list[j] + 1);
        std::fprintf(f, "];\n");
        std::fprintf(f, "%s(%d).CentreList = %s(%d).CentreList';\n", name, at, name, at);
        std::fprintf(f, "%s(%d).dom = [", name, at);
        WriteBoxes(f, s, d);
        std::fprintf(f, "];\n");
        if (withFactors && s.factor) WriteFactors(f, name, at, s, d);
    }
    return std::fclose(f) == 0 ? 0 : CoreStatus_FileIoFailure;
}

namespace {

void PrintBox(const double* box, int32_t d) {
    std::printf("\nmin  = \t");
    for (int32_t k = 0; k < d; ++k) std::printf("%f   ", box[k]);
    std::printf("\nmax  =\t");
    for (int32_t k = 0; k < d; ++k) std::printf("%f   ", box[d + k]);
}

void PrintPoints(const int32_t* list, int32_t n, double* const* points, int32_t d) {
    for (int32_t i = 0; i < n; ++i) {
        std::printf("\n%d ", list[i]);
        for (int32_t k = 0; k < d; ++k) std::printf("\t %f", points[list[i]][k]);
    }
}

}  // namespace

void Subdomain_Print(const Subdomain* s, int32_t index, double* const* points, int32_t d) {
    std::printf("\nSubomain %d", index);
    std::printf("\nThe inner bounding box is:");
    PrintBox(s->innerBox, d);
    std::printf("\nThe %d inner Indices are", s->count - s->numOuter);
    PrintPoints(s->list + s->numOuter, s->count - s->numOuter, points, d);
    std::printf("\n\nThe outer bounding box is:");
    PrintBox(s->outerBox, d);
    std::printf("\nThe %d outer Indices are:", s->numOuter);
    PrintPoints(s->list, s->numOuter, points, d);
}

void DomDecomp_Print(const SDData* sd, double* const* points, int32_t d) {
    for (int32_t i = 0; i < sd->count; ++i) Subdomain_Print(&sd->subdomains[i], i, points, d);
}
