#include "surface/io/mesh_file.h"

#include "surface/frame/operation_numbers.h"
#include "surface/frame/reporter.h"
#include "surface/io/data_file.h"
#include "surface/io/point_list_file.h"

int Mesh3_BuildItems(const Mesh3* mesh, ContainerIndex* index) {
    auto* faces = const_cast<FaceList*>(&mesh->Faces);
    const int32_t tri[2] = {3, faces->TriCount}, quad[2] = {4, faces->QuadCount};
    return PointList3_BuildItems(&mesh->Points, 2, index) &&
           (faces->TriCount <= 0 ||
            ContainerIndex_AddShaped(index, "Tri", ContainerKind_Integer, 2, tri, faces->Tri) != nullptr) &&
           (faces->QuadCount <= 0 ||
            ContainerIndex_AddShaped(index, "Quad", ContainerKind_Integer, 2, quad, faces->Quad) != nullptr);
}

int Mesh3_BindFaces(FaceList* faces, ContainerIndex* index, const char* fileKind, Reporter* reporter) {
    ContainerItem *tri, *quad;
    if (!File_CheckItem(reporter, index, fileKind, &tri, "Tri", 1, ContainerKind_Integer, 2, {3, -1}) ||
        !File_CheckItem(reporter, index, fileKind, &quad, "Quad", 1, ContainerKind_Integer, 2, {4, -1}))
        return 36;
    if (tri == nullptr && quad == nullptr) {
        Reporter_Error(reporter, "Items 'Tri' and 'Quad' are missing from %s file", fileKind);
        return 36;
    }
    const int32_t triangles = tri != nullptr ? tri->dimensions[1] : 0;
    const int32_t quads = quad != nullptr ? quad->dimensions[1] : 0;
    if (int status = FaceList_Create(faces, triangles, quads)) return status;
    faces->TriCount = triangles;
    faces->QuadCount = quads;
    if (tri != nullptr) tri->data = faces->Tri;
    if (quad != nullptr) quad->data = faces->Quad;
    return 0;
}

void Mesh3_ReportInfo(const Mesh3* mesh, Reporter* reporter) {
    PointList3_ReportInfo(&mesh->Points, reporter);
    if (mesh->Faces.TriCount != 0) Reporter_Value(reporter, "Triangles", "%d", mesh->Faces.TriCount);
    if (mesh->Faces.QuadCount != 0) Reporter_Value(reporter, "Quadrilaterals", "%d", mesh->Faces.QuadCount);
}

int Mesh3_Write(const Mesh3* mesh, ContainerStream* stream, int32_t ascii, Reporter* reporter) {
    if (!Mesh3_Check(mesh, reporter)) {
        Reporter_TimeTaken(reporter);
        return 14;
    }
    Mesh3_ReportInfo(mesh, reporter);
    Reporter_Value(reporter, "Dimensions", "%d", 3);
    File_ReportEncoding(reporter, ascii);
    return File_Save(stream, ascii, reporter,
                     [&](ContainerIndex* index) { return Mesh3_BuildItems(mesh, index) != 0; });
}

int Mesh3_Read(Mesh3* mesh, ContainerStream* stream, int32_t* line, Reporter* reporter) {
    if (mesh == nullptr) {
        Reporter_Error(reporter, "%s argument is NULL", "Mesh");
        Reporter_TimeTaken(reporter);
        return 14;
    }
    Mesh3_Clear(mesh);
    return File_Load(
        stream, line, reporter, FileLoadSteps{true, true, true},
        [&](ContainerIndex* index) {
            const int status = PointList3_BindItems(&mesh->Points, 1, index, "mesh", reporter);
            return status != 0 ? status : Mesh3_BindFaces(&mesh->Faces, index, "mesh", reporter);
        },
        [&](ContainerIndex* index, int32_t) {
            // The file's face corners are untrusted: a mesh whose corners
            // name no point would send every consumer out of bounds.
            if (!Mesh3_Check(mesh, reporter)) return 36;
            Reporter_EndOperation(reporter);
            Mesh3_ReportInfo(mesh, reporter);
            File_ReportEncoding(reporter, index->encoding == ContainerEncoding_Ascii);
            return 0;
        },
        [&] { Mesh3_Free(mesh); });
}

int32_t Mesh3_FileBytes(const Mesh3* mesh, int32_t ascii) {
    if (mesh == nullptr) return -1;
    ContainerIndex index;
    Container_ResetIndex(&index);
    index.encoding = ascii ? ContainerEncoding_Ascii : ContainerEncoding_Binary;
    const int32_t bytes = Mesh3_BuildItems(mesh, &index) ? Container_Bytes(&index) : -1;
    Container_FreeItems(&index);
    return bytes;
}

int Selvane_SaveMesh3(const Mesh3* mesh, std::FILE* file, int32_t ascii, Reporter* reporter) {
    return File_SaveEntry(reporter, Op_SaveMesh3, file, ascii,
                          [&](ContainerStream* s, int32_t a) { return Mesh3_Write(mesh, s, a, reporter); });
}

int Selvane_LoadMesh3(Mesh3* mesh, std::FILE* file, int32_t* line, Reporter* reporter) {
    return File_LoadEntry(reporter, Op_LoadMesh3, file, line,
                          [&](ContainerStream* s) { return Mesh3_Read(mesh, s, line, reporter); });
}
