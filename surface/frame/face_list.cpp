#include "surface/frame/face_list.h"

#include <cstring>

#include "surface/frame/record_memory.h"
#include "surface/frame/reporter.h"
#include "surface/frame/status_codes.h"

namespace {

int32_t* NewFaces(int32_t faces, int32_t corners) {
    if (faces <= 0) return nullptr;
    return static_cast<int32_t*>(Record_Alloc(static_cast<int64_t>(faces) * corners, sizeof(int32_t)));
}

bool ResizeFaces(int32_t** faces, int32_t* capacity, int32_t* count, int32_t wanted, int32_t corners) {
    void* grown = Record_Realloc(*faces, static_cast<int64_t>(wanted) * corners, sizeof(int32_t));
    if (grown == nullptr) return false;
    *faces = static_cast<int32_t*>(grown);
    *capacity = wanted;
    if (*count > wanted) *count = wanted;
    return true;
}

// Removes the flagged faces, each removed slot taking the last kept face.
int32_t Compact(int32_t* faces, int32_t count, int32_t corners, int32_t* flags) {
    int32_t i = 0;
    while (i < count) {
        if (!flags[i]) {
            ++i;
            continue;
        }
        --count;
        std::memcpy(faces + i * corners, faces + count * corners, sizeof(int32_t) * corners);
        flags[i] = flags[count];
    }
    return count;
}

// What becomes of a quad: -1 it stays, -2 it goes (more than one repeat),
// else the corner to drop to make it a triangle: the earlier of its one
// equal pair, neighbours or opposite, so that the other three corners keep
// their order.
int QuadFate(const int32_t* q) {
    int pairs = 0, first = -1;
    for (int i = 0; i < 4; ++i)
        for (int j = i + 1; j < 4; ++j)
            if (q[i] == q[j]) {
                ++pairs;
                first = i;
            }
    if (pairs == 0) return -1;
    return pairs > 1 ? -2 : first;
}

}  // namespace

void FaceList_Init(FaceList* list) {
    if (list) std::memset(list, 0, sizeof *list);
}

void FaceList_Free(FaceList* list) {
    if (list == nullptr) return;
    Record_Free(list->Tri);
    Record_Free(list->Quad);
    std::memset(list, 0, sizeof *list);
}

int FaceList_Create(FaceList* list, int32_t triangles, int32_t quads) {
    if (list == nullptr) return ApiStatus_BadFaceList;
    if (triangles < 0 || quads < 0) return ApiStatus_BadSize;
    std::memset(list, 0, sizeof *list);
    list->Tri = NewFaces(triangles, 3);
    list->Quad = NewFaces(quads, 4);
    if ((triangles > 0 && list->Tri == nullptr) || (quads > 0 && list->Quad == nullptr)) {
        FaceList_Free(list);
        return ApiStatus_NoMemory;
    }
    list->TriCapacity = triangles;
    list->QuadCapacity = quads;
    return ApiStatus_Success;
}

int FaceList_Resize(FaceList* list, int32_t triangles, int32_t quads) {
    if (triangles < 0 || quads < 0) return ApiStatus_BadSize;
    if (list == nullptr) return ApiStatus_BadFaceList;
    if (triangles == list->TriCapacity && quads == list->QuadCapacity) return ApiStatus_Success;
    bool ok = true;
    if (triangles > 0 && triangles != list->TriCapacity)
        ok = ResizeFaces(&list->Tri, &list->TriCapacity, &list->TriCount, triangles, 3);
    if (quads > 0 && quads != list->QuadCapacity)
        ok = ResizeFaces(&list->Quad, &list->QuadCapacity, &list->QuadCount, quads, 4) && ok;
    return ok ? ApiStatus_Success : ApiStatus_NoMemory;
}

int FaceList_Check(const FaceList* list, int32_t minimum, Reporter* reporter) {
    const auto sound = [](int32_t count, int32_t capacity, const int32_t* faces) {
        return count >= 0 && count <= capacity && (count == 0 || faces != nullptr);
    };
    if (list == nullptr || !sound(list->TriCount, list->TriCapacity, list->Tri) ||
        !sound(list->QuadCount, list->QuadCapacity, list->Quad)) {
        Reporter_Error(reporter, "FaceList structure is invalid");
        return 0;
    }
    const int32_t faces = list->TriCount + list->QuadCount;
    if (faces >= minimum) return 1;
    if (minimum == 1)
        Reporter_Error(reporter, "FaceList Tri and Quad must not both be empty");
    else
        Reporter_Error(reporter, "FaceList Tri and Quad count (%d) must be at least %d", faces, minimum);
    return 0;
}

int FaceList_RemoveDegenerate(FaceList* list, int32_t* scratch) {
    // Room for the triangles that quads turn into is made first, so that a
    // failure leaves the list untouched.
    int32_t made = 0;
    for (int32_t q = 0; q < list->QuadCount; ++q) made += QuadFate(list->Quad + 4 * q) >= 0;
    int32_t capacity = list->TriCapacity;
    while (capacity < list->TriCount + made) capacity = 1 + static_cast<int32_t>(capacity * 1.4);
    if (capacity != list->TriCapacity && !ResizeFaces(&list->Tri, &list->TriCapacity, &list->TriCount, capacity, 3))
        return ApiStatus_NoMemory;

    for (int32_t t = 0; t < list->TriCount; ++t) {
        const int32_t* tri = list->Tri + 3 * t;
        scratch[t] = tri[0] == tri[1] || tri[1] == tri[2] || tri[0] == tri[2];
    }
    list->TriCount = Compact(list->Tri, list->TriCount, 3, scratch);

    for (int32_t q = 0; q < list->QuadCount; ++q) {
        const int32_t* quad = list->Quad + 4 * q;
        const int fate = QuadFate(quad);
        scratch[q] = fate != -1;
        if (fate < 0) continue;
        int32_t* tri = list->Tri + 3 * list->TriCount++;
        for (int i = 0, k = 0; i < 4; ++i)
            if (i != fate) tri[k++] = quad[i];
    }
    list->QuadCount = Compact(list->Quad, list->QuadCount, 4, scratch);
    return ApiStatus_Success;
}
