// Small objects of every kind the data files hold, with every optional
// part, and the files they make, for the round-trip, refusal and mutation
// tests.
#ifndef SURFACE_IO_TESTS_DATA_OBJECTS_H
#define SURFACE_IO_TESTS_DATA_OBJECTS_H

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "surface/frame/mesh3.h"
#include "surface/frame/point_list.h"
#include "surface/frame/solution.h"
#include "surface/io/grid.h"
#include "surface/io/scan3.h"

namespace data_objects {

// Values that need all 15 digits and some that are whole or tiny.
inline double Value(int i) {
    static const double kValues[] = {0.1, -2.5, 1e-300, 123456789012.0, 3.14159265358979, -0.0, 7.0, 2.0 / 3.0};
    return kValues[i % 8] * (1 + i / 8);
}

inline void Fill(double* data, int count, int seed) {
    for (int i = 0; i < count; ++i) data[i] = Value(i + seed);
}

// A list of four points with every optional array and two alternate sets:
// "hi" with values and gradients, "lo" with accuracies and both bounds.
template <class List, int D>
void MakeList(List* list, int (*create)(List*, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t),
              int (*addSet)(List*, const char*, int32_t*, int32_t, int32_t, int32_t, int32_t, int32_t)) {
    const int n = 4;
    ASSERT_EQ(0, create(list, n, 1, 1, 1, 1, 1));
    list->Count = n;
    Fill(list->Location, D * n, 0);
    double* arrays[] = {list->Value, list->Accuracy, list->Lower, list->Upper};
    for (int k = 0; k < 4; ++k) Fill(arrays[k], n, 3 + k);
    Fill(list->Gradient, D * n, 9);
    int32_t set;
    ASSERT_EQ(0, addSet(list, "hi", &set, 1, 0, 0, 0, 1));
    Fill(list->Alt[set].Value, n, 11);
    Fill(list->Alt[set].Gradient, D * n, 12);
    ASSERT_EQ(0, addSet(list, "lo", &set, 0, 1, 1, 1, 0));
    Fill(list->Alt[set].Accuracy, n, 13);
    Fill(list->Alt[set].Lower, n, 14);
    Fill(list->Alt[set].Upper, n, 15);
}

template <class Grid, int D>
void MakeGrid(Grid* grid, bool gradient, int (*checkSize)(Grid*, const int32_t*, int32_t)) {
    *grid = Grid{};
    const int32_t size[3] = {3, 2, 2};
    ASSERT_EQ(0, checkSize(grid, size, gradient));
    int nodes = 1;
    for (int k = 0; k < D; ++k) {
        grid->Spacing[k] = 0.5 + k;
        grid->Min[k] = -1.0 - k;
        grid->Max[k] = grid->Min[k] + (size[k] - 1) * grid->Spacing[k];
        nodes *= size[k];
    }
    Fill(grid->Value, nodes, 2);
    if (gradient) Fill(grid->Gradient, D * nodes, 5);
}

// Centres on a line with the given polynomial degree; indices on request.
// The basic function is the first the library accepts with that degree.
template <class Solution, int D>
void MakeSolution(Solution* s, bool indices, int32_t degree, int (*create)(Solution*, int32_t, int32_t),
                  int (*check)(const Solution*, Reporter*)) {
    const int m = 3;
    ASSERT_EQ(0, create(s, m, indices));
    Fill(s->Centres, D * m, 1);
    s->PolyDegree = degree;
    s->CoeffCount = m + Poly_CoeffCount(degree, D);
    Fill(s->Coeffs, s->CoeffCount, 4);
    if (indices)
        for (int i = 0; i < m; ++i) s->Indices[i] = 10 * i + 1;
    for (int k = 0; k < D; ++k) {
        s->PolyBase[k] = 0.25 * k;
        s->DataMin[k] = -1.0 - k;
        s->DataMax[k] = 2.0 + k;
    }
    s->AchievedAccuracy = 1e-6;
    s->DefaultEvalAccuracy = 1e-4;
    s->Rho = 0.125;
    s->FitType = 2;
    std::strncpy(s->Creator, "Morlith 1.0 test", sizeof s->Creator);
    for (int32_t type = 0; type <= 4; ++type)
        for (int32_t k : {1, 3, -9}) {
            s->Basic = BasicFunction{type, 1.5, k};
            if (check(s, nullptr)) return;
        }
    ADD_FAILURE() << "no basic function for degree " << degree;
}

inline void MakeScan(Scan3* scan) {
    ASSERT_EQ(0, Scan3_Create(scan, 5, 2, 1, 0, 0, 0, 1));
    Fill(scan->Points.Location, 15, 0);
    Fill(scan->Points.Value, 5, 3);
    Fill(scan->Points.Gradient, 15, 6);
    int32_t set;
    ASSERT_EQ(0, PointList3_AddAltSet(&scan->Points, "hi", &set, 0, 1, 0, 0, 0));
    Fill(scan->Points.Alt[set].Accuracy, 5, 9);
    scan->OriginCount = 2;
    Fill(scan->Origin, 6, 10);
    scan->Size[0] = 2;
    scan->Size[1] = 3;
}

// A mesh of five points with triangles, quads or both.
inline void MakeMesh(Mesh3* mesh, int32_t triangles, int32_t quads) {
    ASSERT_EQ(0, Mesh3_Create(mesh, 5, triangles, quads));
    mesh->Points.Count = 5;
    Fill(mesh->Points.Location, 15, 0);
    mesh->Faces.TriCount = triangles;
    mesh->Faces.QuadCount = quads;
    for (int i = 0; i < 3 * triangles; ++i) mesh->Faces.Tri[i] = (i * 2 + 1) % 5;
    for (int i = 0; i < 4 * quads; ++i) mesh->Faces.Quad[i] = (i + 1) % 5;
}

// Doubles equal exactly, or (tolerant) to the 15 digits of "%.15g".
inline void ExpectSame(const double* a, const double* b, int count, bool tolerant, const std::string& what) {
    if ((a == nullptr) != (b == nullptr)) {
        ADD_FAILURE() << what << ": one array is missing";
        return;
    }
    for (int i = 0; i < count && a != nullptr; ++i) {
        if (tolerant) {
            EXPECT_NEAR(a[i], b[i], std::fabs(a[i]) * 1e-14) << what << " [" << i << "]";
        } else {
            EXPECT_EQ(0, std::memcmp(&a[i], &b[i], sizeof(double))) << what << " [" << i << "]";
        }
    }
}

template <class List, int D>
void ExpectSameList(const List& a, const List& b, bool tolerant) {
    ASSERT_EQ(a.Count, b.Count);
    const int n = a.Count;
    ExpectSame(a.Location, b.Location, D * n, tolerant, "Location");
    ExpectSame(a.Value, b.Value, n, tolerant, "Value");
    ExpectSame(a.Accuracy, b.Accuracy, n, tolerant, "Accuracy");
    ExpectSame(a.Lower, b.Lower, n, tolerant, "Lower");
    ExpectSame(a.Upper, b.Upper, n, tolerant, "Upper");
    ExpectSame(a.Gradient, b.Gradient, D * n, tolerant, "Gradient");
    ASSERT_EQ(a.AltCount, b.AltCount);
    for (int s = 0; s < a.AltCount; ++s) {
        EXPECT_STREQ(a.Alt[s].Name, b.Alt[s].Name);
        const std::string set = a.Alt[s].Name;
        ExpectSame(a.Alt[s].Value, b.Alt[s].Value, n, tolerant, set + " Value");
        ExpectSame(a.Alt[s].Accuracy, b.Alt[s].Accuracy, n, tolerant, set + " Accuracy");
        ExpectSame(a.Alt[s].Lower, b.Alt[s].Lower, n, tolerant, set + " Lower");
        ExpectSame(a.Alt[s].Upper, b.Alt[s].Upper, n, tolerant, set + " Upper");
        ExpectSame(a.Alt[s].Gradient, b.Alt[s].Gradient, D * n, tolerant, set + " Gradient");
    }
}

template <class Grid, int D>
void ExpectSameGrid(const Grid& a, const Grid& b, bool tolerant) {
    int nodes = 1;
    for (int k = 0; k < D; ++k) {
        ASSERT_EQ(a.Size[k], b.Size[k]);
        nodes *= a.Size[k];
    }
    ExpectSame(a.Spacing, b.Spacing, D, tolerant, "Spacing");
    ExpectSame(a.Min, b.Min, D, tolerant, "Min");
    ExpectSame(a.Max, b.Max, D, tolerant, "Max");
    ExpectSame(a.Value, b.Value, nodes, tolerant, "Value");
    ExpectSame(a.Gradient, b.Gradient, D * nodes, tolerant, "Gradient");
}

template <class Solution, int D>
void ExpectSameSolution(const Solution& a, const Solution& b, bool tolerant) {
    ASSERT_EQ(a.CentreCount, b.CentreCount);
    ASSERT_EQ(a.CoeffCount, b.CoeffCount);
    ExpectSame(&a.AchievedAccuracy, &b.AchievedAccuracy, 1, tolerant, "AchievedAcc");
    ExpectSame(&a.DefaultEvalAccuracy, &b.DefaultEvalAccuracy, 1, tolerant, "DefaultEvalAcc");
    ExpectSame(a.Centres, b.Centres, D * a.CentreCount, tolerant, "Centres");
    ExpectSame(a.Coeffs, b.Coeffs, a.CoeffCount, tolerant, "Coeffs");
    ExpectSame(a.PolyBase, b.PolyBase, D, tolerant, "PolyBase");
    ExpectSame(a.DataMin, b.DataMin, D, tolerant, "DataMin");
    ExpectSame(a.DataMax, b.DataMax, D, tolerant, "DataMax");
    ASSERT_EQ(a.Indices == nullptr, b.Indices == nullptr);
    for (int i = 0; a.Indices != nullptr && i < a.CentreCount; ++i) EXPECT_EQ(a.Indices[i], b.Indices[i]);
    EXPECT_EQ(a.Basic.Type, b.Basic.Type);
    ExpectSame(&a.Basic.C, &b.Basic.C, 1, tolerant, "BasicFuncParam");
    EXPECT_EQ(a.Basic.K, b.Basic.K);
    EXPECT_EQ(a.PolyDegree, b.PolyDegree);
    ExpectSame(&a.Rho, &b.Rho, 1, tolerant, "Rho");
    EXPECT_EQ(a.FitType, b.FitType);
    EXPECT_EQ(0, std::memcmp(a.Creator, b.Creator, sizeof a.Creator));
}

inline void ExpectSameScan(const Scan3& a, const Scan3& b, bool tolerant) {
    ExpectSameList<PointList3, 3>(a.Points, b.Points, tolerant);
    ASSERT_EQ(a.OriginCount, b.OriginCount);
    ExpectSame(a.Origin, b.Origin, 3 * a.OriginCount, tolerant, "Origin");
    for (int s = 0; s < a.OriginCount; ++s) EXPECT_EQ(a.Size[s], b.Size[s]);
}

inline void ExpectSameMesh(const Mesh3& a, const Mesh3& b, bool tolerant) {
    ExpectSameList<PointList3, 3>(a.Points, b.Points, tolerant);
    ASSERT_EQ(a.Faces.TriCount, b.Faces.TriCount);
    ASSERT_EQ(a.Faces.QuadCount, b.Faces.QuadCount);
    for (int i = 0; i < 3 * a.Faces.TriCount; ++i) EXPECT_EQ(a.Faces.Tri[i], b.Faces.Tri[i]);
    for (int i = 0; i < 4 * a.Faces.QuadCount; ++i) EXPECT_EQ(a.Faces.Quad[i], b.Faces.Quad[i]);
}

// The whole content of a file.
inline std::string ReadAll(const char* path) {
    std::string bytes;
    std::FILE* f = std::fopen(path, "rb");
    if (f == nullptr) return bytes;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    std::fclose(f);
    return bytes;
}

inline void WriteAll(const char* path, const std::string& bytes) {
    std::FILE* f = std::fopen(path, "wb");
    ASSERT_NE(nullptr, f);
    ASSERT_EQ(bytes.size(), std::fwrite(bytes.data(), 1, bytes.size(), f));
    std::fclose(f);
}

}  // namespace data_objects

#endif
