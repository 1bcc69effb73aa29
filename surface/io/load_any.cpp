#include "surface/io/load_any.h"

#include "surface/frame/operation_numbers.h"
#include "surface/frame/reporter.h"
#include "surface/io/data_file.h"
#include "surface/io/grid_file.h"
#include "surface/io/mesh_file.h"
#include "surface/io/point_list_file.h"
#include "surface/io/scan_file.h"
#include "surface/io/solution_file.h"

namespace {

// The entry's refusals before any reading: the error (a level-1 message
// when `message` is given) ends the operation.
int Refuse(Reporter* reporter, int status, const char* message, const char* noun) {
    if (message != nullptr) Reporter_Error(reporter, message, noun);
    Reporter_TimeTaken(reporter);
    return status;
}

// The dimension that "Location" (D by N) gives, or -1 after the message.
int32_t LocationDimension(const ContainerIndex* index, Reporter* reporter) {
    ContainerItem* location;
    int32_t d = -1;
    if (File_CheckItem(reporter, index, "point list", &location, "Location", 0, ContainerKind_Double, 2)) {
        d = location->dimensions[0];
        if (d != 2 && d != 3) {
            Reporter_Error(reporter, "Item 'Location' in point list file must be 2-by-N or 3-by-N");
            d = -1;
        }
    }
    Reporter_Value(reporter, "Dimensions", "%d", d);
    return d;
}

void SetDimension(int32_t* dimension, int32_t d) {
    if (dimension != nullptr) *dimension = d;
}

}  // namespace

int Selvane_LoadPointListAny(PointList2* list2, PointList3* list3, int32_t* dimension, std::FILE* file, int32_t* line,
                             Reporter* reporter) {
    Reporter_BeginOperation(reporter, Op_LoadPointListAny);
    SetDimension(dimension, 0);
    if (line != nullptr) *line = 0;
    if (list2 == nullptr) return Refuse(reporter, 4, "2D %s argument is NULL", "point list");
    if (list3 == nullptr) return Refuse(reporter, 4, "3D %s argument is NULL", "point list");
    if (file == nullptr) return Refuse(reporter, 11, "File argument is NULL", nullptr);
    PointList2_Clear(list2);
    PointList3_Clear(list3);
    ContainerStream stream;
    ContainerStream_FromFile(&stream, file);
    int32_t d = 0;
    return File_Load(
        &stream, line, reporter, FileLoadSteps{true, true, true},
        [&](ContainerIndex* index) {
            d = LocationDimension(index, reporter);
            SetDimension(dimension, d);
            if (d < 0) return 36;
            return d == 2 ? PointList2_BindItems(list2, 1, index, "point list", reporter)
                          : PointList3_BindItems(list3, 1, index, "point list", reporter);
        },
        [&](ContainerIndex* index, int32_t) {
            Reporter_EndOperation(reporter);
            if (d == 2)
                PointList2_ReportInfo(list2, reporter);
            else
                PointList3_ReportInfo(list3, reporter);
            File_ReportEncoding(reporter, index->encoding == ContainerEncoding_Ascii);
            return 0;
        },
        [&] {
            PointList2_Free(list2);
            PointList3_Free(list3);
        });
}

int Selvane_LoadGridAny(Grid2* grid2, Grid3* grid3, int32_t* dimension, std::FILE* file, int32_t* line,
                        Reporter* reporter) {
    Reporter_BeginOperation(reporter, Op_LoadGridAny);
    SetDimension(dimension, 0);
    if (line != nullptr) *line = 0;
    if (grid2 == nullptr) return Refuse(reporter, 5, "2D %s argument is NULL", "Grid");
    if (grid3 == nullptr) return Refuse(reporter, 5, "3D %s argument is NULL", "Grid");
    if (file == nullptr) return Refuse(reporter, 11, "File argument is NULL", nullptr);
    Grid2_Clear(grid2);
    Grid3_Clear(grid3);
    ContainerStream stream;
    ContainerStream_FromFile(&stream, file);
    int32_t d = 0;
    return File_Load(
        &stream, line, reporter, FileLoadSteps{false, true, true},
        [&](ContainerIndex* index) {
            ContainerItem* value;
            d = -1;
            if (File_CheckItem(reporter, index, "grid", &value, "Value", 0, ContainerKind_Double, -1)) {
                d = value->dimensionCount;
                if (d != 2 && d != 3) {
                    Reporter_Error(reporter, "Item 'Value' in grid file must be 2D or 3D");
                    d = -1;
                }
            }
            Reporter_Value(reporter, "Dimensions", "%d", d);
            SetDimension(dimension, d);
            if (d < 0) return 36;
            return d == 2 ? Grid2_BindItems(grid2, index, "grid", reporter)
                          : Grid3_BindItems(grid3, index, "grid", reporter);
        },
        [&](ContainerIndex* index, int32_t) {
            Reporter_EndOperation(reporter);
            if (d == 2)
                Grid2_ReportLoaded(grid2, reporter);
            else
                Grid3_ReportLoaded(grid3, reporter);
            File_ReportEncoding(reporter, index->encoding == ContainerEncoding_Ascii);
            return 0;
        },
        [&] {
            Grid2_Free(grid2);
            Grid3_Free(grid3);
        });
}

int Selvane_LoadSolutionAny(Solution2* solution2, Solution3* solution3, int32_t* dimension, std::FILE* file,
                            int32_t* line, Reporter* reporter) {
    Reporter_BeginOperation(reporter, Op_LoadSolutionAny);
    SetDimension(dimension, 0);
    if (line != nullptr) *line = 0;
    if (solution2 == nullptr) return Refuse(reporter, 6, "2D %s argument is NULL", "Solution");
    if (solution3 == nullptr) return Refuse(reporter, 6, "3D %s argument is NULL", "Solution");
    if (file == nullptr) return Refuse(reporter, 11, "File argument is NULL", nullptr);
    Solution2_Clear(solution2);
    Solution3_Clear(solution3);
    ContainerStream stream;
    ContainerStream_FromFile(&stream, file);
    int32_t d = 0;
    SolutionLoad load{};
    return File_Load(
        &stream, line, reporter, FileLoadSteps{false, true, true},
        [&](ContainerIndex* index) {
            ContainerItem* centres;
            d = -1;
            if (File_CheckItem(reporter, index, "solution", &centres, "Centres", 0, ContainerKind_Double, 2)) {
                d = centres->dimensions[0];
                if (d != 2 && d != 3) {
                    Reporter_Error(reporter, "Item 'Centres' in solution file must be 2-by-N or 3-by-N");
                    d = -1;
                }
            }
            Reporter_Value(reporter, "Dimensions", "%d", d);
            SetDimension(dimension, d);
            if (d < 0) return 36;
            return d == 2 ? Solution2_BindItems(solution2, &load, index, "solution", reporter)
                          : Solution3_BindItems(solution3, &load, index, "solution", reporter);
        },
        [&](ContainerIndex* index, int32_t) {
            const int32_t ascii = index->encoding == ContainerEncoding_Ascii;
            return d == 2 ? Solution2_FinishLoad(solution2, &load, ascii, reporter)
                          : Solution3_FinishLoad(solution3, &load, ascii, reporter);
        },
        [&] {
            Solution2_Free(solution2);
            Solution3_Free(solution3);
        });
}

int Selvane_LoadAll(PointList2* list2, PointList3* list3, Scan3* scan, Mesh3* mesh, int32_t* kind, std::FILE* file,
                    int32_t* line, Reporter* reporter) {
    Reporter_BeginOperation(reporter, Op_LoadAll);
    if (line != nullptr) *line = 0;
    if (list2 == nullptr || list3 == nullptr) return Refuse(reporter, 4, nullptr, nullptr);
    if (scan == nullptr) return Refuse(reporter, 12, nullptr, nullptr);
    if (mesh == nullptr) return Refuse(reporter, 14, nullptr, nullptr);
    if (kind == nullptr) return Refuse(reporter, 17, nullptr, nullptr);
    *kind = -1;
    if (file == nullptr) return Refuse(reporter, 11, "File argument is NULL", nullptr);
    PointList2_Clear(list2);
    PointList3_Clear(list3);
    Scan3_Init(scan);
    Mesh3_Clear(mesh);
    ContainerStream stream;
    ContainerStream_FromFile(&stream, file);
    return File_Load(
        &stream, line, reporter, FileLoadSteps{true, true, true},
        [&](ContainerIndex* index) {
            const int32_t d = LocationDimension(index, reporter);
            if (d < 0) return 36;
            if (d == 2) {
                *kind = LoadedKind_PointList2;
                return PointList2_BindItems(list2, 1, index, "point list", reporter);
            }
            if (int status = PointList3_BindItems(list3, 1, index, "point list", reporter)) return status;
            *kind = LoadedKind_PointList3;
            // The object kind is told by its further items, tried silently.
            if (Mesh3_BindFaces(&mesh->Faces, index, "mesh", nullptr) == 0) {
                mesh->Points = *list3;
                PointList3_Clear(list3);
                *kind = LoadedKind_Mesh;
            } else if (Scan3_BindOrigins(scan, index, "scan", nullptr) == 0) {
                scan->Points = *list3;
                PointList3_Clear(list3);
                *kind = LoadedKind_Scan;
            }
            return 0;
        },
        [&](ContainerIndex* index, int32_t) {
            if (*kind == LoadedKind_Mesh && !Mesh3_Check(mesh, reporter)) return 36;
            Reporter_EndOperation(reporter);
            if (*kind == LoadedKind_PointList2)
                PointList2_ReportInfo(list2, reporter);
            else if (*kind == LoadedKind_PointList3)
                PointList3_ReportInfo(list3, reporter);
            else if (*kind == LoadedKind_Mesh)
                Mesh3_ReportInfo(mesh, reporter);
            else
                Scan3_ReportInfo(scan, reporter);
            File_ReportEncoding(reporter, index->encoding == ContainerEncoding_Ascii);
            return 0;
        },
        [&] {
            PointList2_Free(list2);
            PointList3_Free(list3);
            Scan3_Free(scan);
            Mesh3_Free(mesh);
        });
}
