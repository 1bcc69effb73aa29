#include "surface/io/scan_file.h"

#include "surface/frame/operation_numbers.h"
#include "surface/frame/reporter.h"
#include "surface/io/data_file.h"
#include "surface/io/point_list_file.h"

int Scan3_BuildItems(const Scan3* scan, ContainerIndex* index) {
    auto* s = const_cast<Scan3*>(scan);
    const int32_t origin[2] = {3, scan->OriginCount}, size[1] = {scan->OriginCount};
    return PointList3_BuildItems(&scan->Points, 2, index) &&
           ContainerIndex_AddShaped(index, "Origin", ContainerKind_Double, 2, origin, s->Origin) != nullptr &&
           ContainerIndex_AddShaped(index, "Size", ContainerKind_Integer, 1, size, s->Size) != nullptr;
}

int Scan3_BindOrigins(Scan3* scan, ContainerIndex* index, const char* fileKind, Reporter* reporter) {
    ContainerItem *origin, *size;
    if (!File_CheckItem(reporter, index, fileKind, &origin, "Origin", 0, ContainerKind_Double, 2, {3, -1})) return 36;
    const int32_t scans = origin->dimensions[1];
    if (!File_CheckItem(reporter, index, fileKind, &size, "Size", 0, ContainerKind_Integer, 1, {scans})) return 36;
    if (int status = Scan3_AllocOrigins(scan, scans)) return status;
    scan->OriginCount = scans;
    origin->data = scan->Origin;
    size->data = scan->Size;
    return 0;
}

void Scan3_ReportInfo(const Scan3* scan, Reporter* reporter) {
    PointList3_ReportInfo(&scan->Points, reporter);
    Reporter_Value(reporter, "Scans", "%d", scan->OriginCount);
    Reporter_Value(reporter, "Scan Fields", "Origin, Size");
}

int Scan3_Write(const Scan3* scan, ContainerStream* stream, int32_t ascii, Reporter* reporter) {
    if (!Scan3_Validate(scan, reporter)) {
        Reporter_TimeTaken(reporter);
        return 12;
    }
    Scan3_ReportInfo(scan, reporter);
    Reporter_Value(reporter, "Dimensions", "%d", 3);
    File_ReportEncoding(reporter, ascii);
    return File_Save(stream, ascii, reporter,
                     [&](ContainerIndex* index) { return Scan3_BuildItems(scan, index) != 0; });
}

int Scan3_Read(Scan3* scan, ContainerStream* stream, int32_t* line, Reporter* reporter) {
    if (scan == nullptr) {
        Reporter_Error(reporter, "%s argument is NULL", "Scan");
        Reporter_TimeTaken(reporter);
        return 12;
    }
    Scan3_Init(scan);
    return File_Load(
        stream, line, reporter, FileLoadSteps{true, true, true},
        [&](ContainerIndex* index) {
            const int status = PointList3_BindItems(&scan->Points, 1, index, "scan", reporter);
            return status != 0 ? status : Scan3_BindOrigins(scan, index, "scan", reporter);
        },
        [&](ContainerIndex* index, int32_t) {
            Reporter_EndOperation(reporter);
            Scan3_ReportInfo(scan, reporter);
            File_ReportEncoding(reporter, index->encoding == ContainerEncoding_Ascii);
            return 0;
        },
        [&] { Scan3_Free(scan); });
}

int32_t Scan3_FileBytes(const Scan3* scan, int32_t ascii) {
    if (scan == nullptr) return -1;
    ContainerIndex index;
    Container_ResetIndex(&index);
    index.encoding = ascii ? ContainerEncoding_Ascii : ContainerEncoding_Binary;
    const int32_t bytes = Scan3_BuildItems(scan, &index) ? Container_Bytes(&index) : -1;
    Container_FreeItems(&index);
    return bytes;
}

int Selvane_SaveScan3(const Scan3* scan, std::FILE* file, int32_t ascii, Reporter* reporter) {
    return File_SaveEntry(reporter, Op_SaveScan3, file, ascii,
                          [&](ContainerStream* s, int32_t a) { return Scan3_Write(scan, s, a, reporter); });
}

int Selvane_LoadScan3(Scan3* scan, std::FILE* file, int32_t* line, Reporter* reporter) {
    return File_LoadEntry(reporter, Op_LoadScan3, file, line,
                          [&](ContainerStream* s) { return Scan3_Read(scan, s, line, reporter); });
}
