// Grid files; every operation is written once over the dimension D.
#include "surface/io/grid_file.h"

#include "surface/frame/operation_numbers.h"
#include "surface/frame/reporter.h"
#include "surface/io/data_file.h"

namespace {

template <int D, class Grid>
void ReportSize(const Grid* grid, Reporter* reporter) {
    if (D == 2)
        Reporter_Value(reporter, "Size", "%d %d", grid->Size[0], grid->Size[1]);
    else
        Reporter_Value(reporter, "Size", "%d %d %d", grid->Size[0], grid->Size[1], grid->Size[D - 1]);
}

template <int D, class Grid>
int BuildItems(const Grid* grid, ContainerIndex* index) {
    Grid* g = const_cast<Grid*>(grid);
    const int32_t d[1] = {D};
    int32_t gradient[D + 1] = {D};
    for (int k = 0; k < D; ++k) gradient[k + 1] = grid->Size[k];
    return ContainerIndex_Reserve(index, 5) &&
           ContainerIndex_AddShaped(index, "Spacing", ContainerKind_Double, 1, d, g->Spacing) != nullptr &&
           ContainerIndex_AddShaped(index, "Min", ContainerKind_Double, 1, d, g->Min) != nullptr &&
           ContainerIndex_AddShaped(index, "Max", ContainerKind_Double, 1, d, g->Max) != nullptr &&
           ContainerIndex_AddShaped(index, "Value", ContainerKind_Double, D, g->Size, g->Value) != nullptr &&
           (grid->Gradient == nullptr ||
            ContainerIndex_AddShaped(index, "Gradient", ContainerKind_Double, D + 1, gradient, g->Gradient) != nullptr);
}

template <int D, class Grid, int (*CheckSize)(Grid*, const int32_t*, int32_t)>
int BindItems(Grid* grid, ContainerIndex* index, const char* fileKind, Reporter* reporter) {
    ContainerItem *spacing, *minimum, *maximum, *value, *gradient;
    if (!File_CheckItem(reporter, index, fileKind, &minimum, "Min", 0, ContainerKind_Double, 1, {D}) ||
        !File_CheckItem(reporter, index, fileKind, &maximum, "Max", 0, ContainerKind_Double, 1, {D}) ||
        !File_CheckItem(reporter, index, fileKind, &spacing, "Spacing", 0, ContainerKind_Double, 1, {D}) ||
        !File_CheckItem(reporter, index, fileKind, &value, "Value", 0, ContainerKind_Double, D))
        return 36;
    const int32_t* size = value->dimensions;
    const bool ok = D == 2 ? File_CheckItem(reporter, index, fileKind, &gradient, "Gradient", 1, ContainerKind_Double,
                                            D + 1, {D, size[0], size[1]})
                           : File_CheckItem(reporter, index, fileKind, &gradient, "Gradient", 1, ContainerKind_Double,
                                            D + 1, {D, size[0], size[1], size[D - 1]});
    if (!ok) return 36;
    if (int status = CheckSize(grid, size, gradient != nullptr)) return status;
    spacing->data = grid->Spacing;
    minimum->data = grid->Min;
    maximum->data = grid->Max;
    value->data = grid->Value;
    if (gradient != nullptr) gradient->data = grid->Gradient;
    return 0;
}

template <int D, class Grid>
void ReportLoaded(const Grid* grid, Reporter* reporter) {
    ReportSize<D>(grid, reporter);
    Reporter_Value(reporter, "Grid Fields", "Min, Max, Spacing, Value%s",
                   grid->Gradient != nullptr ? ", Gradient" : "");
}

template <int D, class Grid, int (*Validate)(const Grid*, const char*, int32_t, int32_t, Reporter*)>
int Write(const Grid* grid, ContainerStream* stream, int32_t ascii, Reporter* reporter) {
    if (!Validate(grid, "Input", 0, 0, reporter)) {
        Reporter_TimeTaken(reporter);
        return 5;
    }
    ReportSize<D>(grid, reporter);
    Reporter_Value(reporter, "Fields", "Min, Max, Spacing, Value%s", grid->Gradient != nullptr ? ", Gradient" : "");
    Reporter_Value(reporter, "Dimensions", "%d", D);
    File_ReportEncoding(reporter, ascii);
    return File_Save(stream, ascii, reporter, [&](ContainerIndex* index) { return BuildItems<D>(grid, index) != 0; });
}

template <int D, class Grid, int (*CheckSize)(Grid*, const int32_t*, int32_t), void (*Clear)(Grid*),
          void (*Free)(Grid*)>
int Read(Grid* grid, ContainerStream* stream, int32_t* line, Reporter* reporter) {
    if (grid == nullptr) {
        Reporter_Error(reporter, "%s argument is NULL", "Grid");
        Reporter_TimeTaken(reporter);
        return 5;
    }
    Clear(grid);
    return File_Load(
        stream, line, reporter, FileLoadSteps{false, true, true},
        [&](ContainerIndex* index) { return BindItems<D, Grid, CheckSize>(grid, index, "grid", reporter); },
        [&](ContainerIndex* index, int32_t) {
            Reporter_EndOperation(reporter);
            ReportLoaded<D>(grid, reporter);
            File_ReportEncoding(reporter, index->encoding == ContainerEncoding_Ascii);
            return 0;
        },
        [&] { Free(grid); });
}

template <int D, class Grid>
int32_t FileBytes(const Grid* grid, int32_t ascii) {
    if (grid == nullptr) return -1;
    ContainerIndex index;
    Container_ResetIndex(&index);
    index.encoding = ascii ? ContainerEncoding_Ascii : ContainerEncoding_Binary;
    const int32_t bytes = BuildItems<D>(grid, &index) ? Container_Bytes(&index) : -1;
    Container_FreeItems(&index);
    return bytes;
}

}  // namespace

int Grid2_BuildItems(const Grid2* grid, ContainerIndex* index) { return BuildItems<2>(grid, index); }
int Grid3_BuildItems(const Grid3* grid, ContainerIndex* index) { return BuildItems<3>(grid, index); }
int Grid2_BindItems(Grid2* grid, ContainerIndex* index, const char* fileKind, Reporter* reporter) {
    return BindItems<2, Grid2, &Grid2_CheckSize>(grid, index, fileKind, reporter);
}
int Grid3_BindItems(Grid3* grid, ContainerIndex* index, const char* fileKind, Reporter* reporter) {
    return BindItems<3, Grid3, &Grid3_CheckSize>(grid, index, fileKind, reporter);
}
void Grid2_ReportLoaded(const Grid2* grid, Reporter* reporter) { ReportLoaded<2>(grid, reporter); }
void Grid3_ReportLoaded(const Grid3* grid, Reporter* reporter) { ReportLoaded<3>(grid, reporter); }
int32_t Grid2_FileBytes(const Grid2* grid, int32_t ascii) { return FileBytes<2>(grid, ascii); }
int32_t Grid3_FileBytes(const Grid3* grid, int32_t ascii) { return FileBytes<3>(grid, ascii); }

int Grid2_Write(const Grid2* grid, ContainerStream* stream, int32_t ascii, Reporter* reporter) {
    return Write<2, Grid2, &Grid2_Validate>(grid, stream, ascii, reporter);
}
int Grid3_Write(const Grid3* grid, ContainerStream* stream, int32_t ascii, Reporter* reporter) {
    return Write<3, Grid3, &Grid3_Validate>(grid, stream, ascii, reporter);
}
int Grid2_Read(Grid2* grid, ContainerStream* stream, int32_t* line, Reporter* reporter) {
    return Read<2, Grid2, &Grid2_CheckSize, &Grid2_Clear, &Grid2_Free>(grid, stream, line, reporter);
}
int Grid3_Read(Grid3* grid, ContainerStream* stream, int32_t* line, Reporter* reporter) {
    return Read<3, Grid3, &Grid3_CheckSize, &Grid3_Clear, &Grid3_Free>(grid, stream, line, reporter);
}

int Selvane_SaveGrid2(const Grid2* grid, std::FILE* file, int32_t ascii, Reporter* reporter) {
    return File_SaveEntry(reporter, Op_SaveGrid2, file, ascii,
                          [&](ContainerStream* s, int32_t a) { return Grid2_Write(grid, s, a, reporter); });
}
int Selvane_LoadGrid2(Grid2* grid, std::FILE* file, int32_t* line, Reporter* reporter) {
    return File_LoadEntry(reporter, Op_LoadGrid2, file, line,
                          [&](ContainerStream* s) { return Grid2_Read(grid, s, line, reporter); });
}
int Selvane_SaveGrid3(const Grid3* grid, std::FILE* file, int32_t ascii, Reporter* reporter) {
    return File_SaveEntry(reporter, Op_SaveGrid3, file, ascii,
                          [&](ContainerStream* s, int32_t a) { return Grid3_Write(grid, s, a, reporter); });
}
int Selvane_LoadGrid3(Grid3* grid, std::FILE* file, int32_t* line, Reporter* reporter) {
    return File_LoadEntry(reporter, Op_LoadGrid3, file, line,
                          [&](ContainerStream* s) { return Grid3_Read(grid, s, line, reporter); });
}
