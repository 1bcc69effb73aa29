// Point lists: the library's 2D and 3D point records with optional per-point
// fields and named alternate sets of those fields.
//
// Every present array has room for `Capacity` points; `Count` are in use.
// An alternate set holds its own Value, Accuracy, Lower, Upper and Gradient
// arrays of the list's capacity under a name that starts with a letter and
// holds only letters, digits and underscores (compared case-sensitively). A
// set index of -1 (any negative index) means the list's own (main) arrays.
//
// The records are allocated with the run-time allocator (not tracked), so
// that the library's caller may create and free them too. Statuses are the
// API statuses: 0 success, 2 no memory, 4 point list missing or unusable,
// 8 negative size, 15 no such alternate set, 16 the set exists already,
// 17 invalid argument. Field flags: a positive value asks for the field.
#ifndef SURFACE_FRAME_POINT_LIST_H
#define SURFACE_FRAME_POINT_LIST_H

#include <cstdint>

struct Reporter;

struct PointListAltSet {
    char* Name;     // owned by the set
    double* Value;  // one per point, or null
    double* Accuracy;
    double* Lower;
    double* Upper;
    double* Gradient;  // one per coordinate and point, or null
};

struct PointList3 {
    double* Location;  // three doubles a point
    double* Value;
    double* Accuracy;
    double* Lower;
    double* Upper;
    double* Gradient;  // three doubles a point
    int32_t Count;
    int32_t Capacity;
    int32_t AltCount;
    int32_t AltCapacity;
    PointListAltSet* Alt;
};

// The same with two coordinates.
struct PointList2 {
    double* Location;
    double* Value;
    double* Accuracy;
    double* Lower;
    double* Upper;
    double* Gradient;
    int32_t Count;
    int32_t Capacity;
    int32_t AltCount;
    int32_t AltCapacity;
    PointListAltSet* Alt;
};

// Zero-fills the record, then allocates Location and the asked-for arrays
// for `capacity` points (nothing for capacity 0); the count is 0. Returns 8
// for a negative capacity, 4 for a null list, 2 (record empty) when memory
// runs out.
int PointList3_Create(PointList3* list, int32_t capacity, int32_t value, int32_t accuracy, int32_t lower, int32_t upper,
                      int32_t gradient);
// Adds an alternate set; *index (when given) is -1 until it succeeds. When
// `index` is given and a set of that name exists, the asked-for arrays are
// added to that set, its index is returned and the status is 16. Returns 15
// for an invalid name, 2 (nothing added) when memory runs out.
int PointList3_AddAltSet(PointList3* list, const char* name, int32_t* index, int32_t value, int32_t accuracy,
                         int32_t lower, int32_t upper, int32_t gradient);
// For each field of the set: positive adds the array when missing, negative
// frees it, 0 leaves it. 15 for a set index at or beyond the set count; on 2
// the arrays this call added are gone again and nothing was freed.
int PointList3_SetFields(PointList3* list, int32_t set, int32_t value, int32_t accuracy, int32_t lower, int32_t upper,
                         int32_t gradient);
// Creates the destination with the source's count as capacity and the same
// main arrays, and copies the locations and those arrays. 4 for a missing or
// unusable list, 17 when both are the same list.
int PointList3_CopyMain(PointList3* destination, const PointList3* source);
// Copies one alternate set of the source into the destination as a new set
// named `name` (the source set's name when null; null with destination =
// source gives 17); min(destination capacity, source capacity) values of
// each array are copied. *index (when given) receives the new set's index.
int PointList3_CopyAltSet(PointList3* destination, int32_t* index, const char* name, PointList3* source,
                          int32_t sourceSet);
// CopyMain, then every alternate set in order; on failure the destination is
// freed and empty.
int PointList3_DeepCopy(PointList3* destination, PointList3* source);
// Resizes the locations and every array of every set; the count is cut to
// the new capacity. On 2 after growing, the capacity is unchanged; after
// shrinking, capacity and count are the new size.
int PointList3_SetCapacity(PointList3* list, int32_t capacity);
// The index of the first set of that name (15 when there is none); -1 and 0
// for an empty name. 17 for a null name or index.
int PointList3_FindAlt(const PointList3* list, const char* name, int32_t* index);
// Frees the set's name and arrays and closes the gap (15 when out of range).
int PointList3_RemoveAlt(PointList3* list, int32_t set);
// Frees every array and set and zero-fills the record; Clear only zero-fills.
// Both accept null.
void PointList3_Free(PointList3* list);
void PointList3_Clear(PointList3* list);
// The array of the main set (negative index) or of set `set`; null for a
// null list, an index at or beyond the set count, or an absent array.
double* PointList3_GetValue(const PointList3* list, int32_t set);
double* PointList3_GetAccuracy(const PointList3* list, int32_t set);
double* PointList3_GetLower(const PointList3* list, int32_t set);
double* PointList3_GetUpper(const PointList3* list, int32_t set);
double* PointList3_GetGradient(const PointList3* list, int32_t set);
// 1 when the list is usable, else 0 after one error message naming the list
// `name` ("Input", "Mesh" ...). Field uses: 1 required, -1 not used by the
// operation (a warning when present), 0 either. A negative minimum counts
// as 0.
int PointList3_Check(const PointList3* list, const char* name, int32_t minimum, Reporter* reporter, int32_t value,
                     int32_t accuracy, int32_t lower, int32_t upper, int32_t gradient);
// The same tests on a chosen set: status 0, 4 (unusable) or 15 (no such set).
int PointList3_CheckAlt(const PointList3* list, int32_t set, const char* name, int32_t minimum, Reporter* reporter,
                        int32_t value, int32_t accuracy, int32_t lower, int32_t upper, int32_t gradient);

// The 2D twins.
int PointList2_Create(PointList2* list, int32_t capacity, int32_t value, int32_t accuracy, int32_t lower, int32_t upper,
                      int32_t gradient);
int PointList2_AddAltSet(PointList2* list, const char* name, int32_t* index, int32_t value, int32_t accuracy,
                         int32_t lower, int32_t upper, int32_t gradient);
int PointList2_SetFields(PointList2* list, int32_t set, int32_t value, int32_t accuracy, int32_t lower, int32_t upper,
                         int32_t gradient);
int PointList2_CopyMain(PointList2* destination, const PointList2* source);
int PointList2_CopyAltSet(PointList2* destination, int32_t* index, const char* name, PointList2* source,
                          int32_t sourceSet);
int PointList2_DeepCopy(PointList2* destination, PointList2* source);
int PointList2_SetCapacity(PointList2* list, int32_t capacity);
int PointList2_FindAlt(const PointList2* list, const char* name, int32_t* index);
int PointList2_RemoveAlt(PointList2* list, int32_t set);
void PointList2_Free(PointList2* list);
void PointList2_Clear(PointList2* list);
double* PointList2_GetValue(const PointList2* list, int32_t set);
double* PointList2_GetAccuracy(const PointList2* list, int32_t set);
double* PointList2_GetLower(const PointList2* list, int32_t set);
double* PointList2_GetUpper(const PointList2* list, int32_t set);
double* PointList2_GetGradient(const PointList2* list, int32_t set);
int PointList2_Check(const PointList2* list, const char* name, int32_t minimum, Reporter* reporter, int32_t value,
                     int32_t accuracy, int32_t lower, int32_t upper, int32_t gradient);
int PointList2_CheckAlt(const PointList2* list, int32_t set, const char* name, int32_t minimum, Reporter* reporter,
                        int32_t value, int32_t accuracy, int32_t lower, int32_t upper, int32_t gradient);

#endif
