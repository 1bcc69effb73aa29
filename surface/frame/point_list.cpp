// Point lists. The 2D and 3D lists share one layout and differ only in the
// number of coordinates, so every operation is written once over the
// dimension D.
#include "surface/frame/point_list.h"
#include "surface/frame/status_codes.h"

#include <cstring>

#include "surface/frame/record_memory.h"
#include "surface/frame/reporter.h"

namespace {

const int kFieldCount = 5;
const char* const kFieldNames[kFieldCount] = {"Value", "Accuracy", "Lower", "Upper", "Gradient"};

// The five optional arrays of the main set or of an alternate set.
struct Fields {
    double** slot[kFieldCount];
};

template <class List>
Fields MainFields(List* list) {
    return Fields{{&list->Value, &list->Accuracy, &list->Lower, &list->Upper, &list->Gradient}};
}

Fields SetFields(PointListAltSet* set) {
    return Fields{{&set->Value, &set->Accuracy, &set->Lower, &set->Upper, &set->Gradient}};
}

template <class List>
Fields FieldsOf(List* list, int32_t set) {
    return set < 0 ? MainFields(list) : SetFields(&list->Alt[set]);
}

template <int D>
int32_t Width(int field) {
    return field == kFieldCount - 1 ? D : 1;
}

bool ValidName(const char* name) {
    if (name == nullptr) return false;
    const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    if (!letter(name[0])) return false;
    for (const char* c = name; *c; ++c)
        if (!letter(*c) && !(*c >= '0' && *c <= '9') && *c != '_') return false;
    return true;
}

char* CopyText(const char* text) {
    const size_t length = std::strlen(text);
    char* copy = static_cast<char*>(Record_Alloc(static_cast<int64_t>(length) + 1, 1));
    if (copy) std::memcpy(copy, text, length + 1);
    return copy;
}

double* NewArray(int32_t points, int32_t width) {
    return static_cast<double*>(Record_Alloc(static_cast<int64_t>(points) * width, sizeof(double)));
}

void FreeFields(Fields f) {
    for (int k = 0; k < kFieldCount; ++k) {
        Record_Free(*f.slot[k]);
        *f.slot[k] = nullptr;
    }
}

// Adds the asked-for arrays (flag > 0) that are missing and frees those asked
// to go (flag < 0). All additions are made first, so that a failure can take
// them back before anything was freed.
template <int D>
int ApplyFields(Fields f, int32_t capacity, const int32_t* flags) {
    bool added[kFieldCount] = {};
    if (capacity > 0) {
        for (int k = 0; k < kFieldCount; ++k) {
            if (flags[k] <= 0 || *f.slot[k] != nullptr) continue;
            *f.slot[k] = NewArray(capacity, Width<D>(k));
            if (*f.slot[k] == nullptr) {
                for (int j = 0; j < k; ++j) {
                    if (!added[j]) continue;
                    Record_Free(*f.slot[j]);
                    *f.slot[j] = nullptr;
                }
                return ApiStatus_NoMemory;
            }
            added[k] = true;
        }
    }
    for (int k = 0; k < kFieldCount; ++k) {
        if (flags[k] >= 0) continue;
        Record_Free(*f.slot[k]);
        *f.slot[k] = nullptr;
    }
    return ApiStatus_Success;
}

template <class List>
bool SoundShape(const List* list) {
    return list->Count >= 0 && list->Capacity >= 0 && list->Count <= list->Capacity &&
           (list->Location != nullptr || list->Capacity == 0) && list->AltCount >= 0 &&
           (list->AltCount == 0 || list->Alt != nullptr);
}

template <class List, int D>
int Create(List* list, int32_t capacity, const int32_t* flags) {
    if (capacity < 0) return ApiStatus_BadSize;
    if (list == nullptr) return ApiStatus_BadPointList;
    std::memset(list, 0, sizeof *list);
    list->Capacity = capacity;
    if (capacity == 0) return ApiStatus_Success;
    list->Location = NewArray(capacity, D);
    if (list->Location == nullptr || ApplyFields<D>(MainFields(list), capacity, flags) != ApiStatus_Success) {
        Record_Free(list->Location);
        std::memset(list, 0, sizeof *list);
        return ApiStatus_NoMemory;
    }
    return ApiStatus_Success;
}

template <class List, int D>
int SetFieldsOf(List* list, int32_t set, const int32_t* flags) {
    if (list == nullptr) return ApiStatus_BadPointList;
    if (set >= list->AltCount) return ApiStatus_BadAltSet;
    return ApplyFields<D>(FieldsOf(list, set), list->Capacity, flags);
}

template <class List>
int32_t FindByName(const List* list, const char* name) {
    for (int32_t i = 0; i < list->AltCount; ++i)
        if (list->Alt[i].Name && std::strcmp(list->Alt[i].Name, name) == 0) return i;
    return -1;
}

template <class List, int D>
int AddAltSet(List* list, const char* name, int32_t* index, const int32_t* flags) {
    if (index) *index = -1;
    if (list == nullptr) return ApiStatus_BadPointList;
    if (!ValidName(name)) return ApiStatus_BadAltSet;
    if (index) {
        const int32_t existing = FindByName(list, name);
        if (existing >= 0) {
            *index = existing;
            const int status = SetFieldsOf<List, D>(list, existing, flags);
            return status == ApiStatus_Success ? ApiStatus_AlreadyExists : status;
        }
    }
    if (list->AltCount >= list->AltCapacity) {
        int32_t grown = list->AltCapacity == 0 ? 8 : static_cast<int32_t>(list->AltCapacity * 1.44);
        if (grown <= list->AltCount) grown = list->AltCount + 1;
        auto* sets = static_cast<PointListAltSet*>(Record_Realloc(list->Alt, grown, sizeof(PointListAltSet)));
        if (sets == nullptr) return ApiStatus_NoMemory;
        list->Alt = sets;
        list->AltCapacity = grown;
    }
    PointListAltSet set;
    std::memset(&set, 0, sizeof set);
    set.Name = CopyText(name);
    if (set.Name == nullptr) return ApiStatus_NoMemory;
    if (ApplyFields<D>(SetFields(&set), list->Capacity, flags) != ApiStatus_Success) {
        Record_Free(set.Name);
        return ApiStatus_NoMemory;
    }
    list->Alt[list->AltCount] = set;
    if (index) *index = list->AltCount;
    ++list->AltCount;
    return ApiStatus_Success;
}

template <class List, int D>
int CopyMain(List* destination, const List* source) {
    if (destination == nullptr || source == nullptr || !SoundShape(source)) return ApiStatus_BadPointList;
    if (destination == source) return ApiStatus_InvalidArgument;
    Fields from = MainFields(const_cast<List*>(source));
    int32_t flags[kFieldCount];
    for (int k = 0; k < kFieldCount; ++k) flags[k] = *from.slot[k] != nullptr;
    const int status = Create<List, D>(destination, source->Count, flags);
    if (status != ApiStatus_Success) return status;
    destination->Count = source->Count;
    if (source->Count == 0) return ApiStatus_Success;
    std::memcpy(destination->Location, source->Location, sizeof(double) * D * source->Count);
    Fields to = MainFields(destination);
    for (int k = 0; k < kFieldCount; ++k)
        if (*from.slot[k]) std::memcpy(*to.slot[k], *from.slot[k], sizeof(double) * Width<D>(k) * source->Count);
    return ApiStatus_Success;
}

template <class List, int D>
int CheckAlt(const List* list, int32_t set, const char* name, int32_t minimum, Reporter* reporter, const int32_t* uses);

template <class List, int D>
int CopyAltSet(List* destination, int32_t* index, const char* name, List* source, int32_t sourceSet) {
    if (sourceSet < 0) return ApiStatus_BadAltSet;
    if (destination == nullptr || source == nullptr) return ApiStatus_BadPointList;
    if (sourceSet >= source->AltCount) return ApiStatus_BadAltSet;
    const int32_t any[kFieldCount] = {0, 0, 0, 0, 0};
    const int checked = CheckAlt<List, D>(source, sourceSet, "Source", 0, nullptr, any);
    if (checked != ApiStatus_Success) return checked;
    if (name == nullptr && destination == source) return ApiStatus_InvalidArgument;
    if (destination->Capacity < 0 || (destination->AltCount > 0 && destination->Alt == nullptr))
        return ApiStatus_BadPointList;
    int32_t flags[kFieldCount];
    Fields from = SetFields(&source->Alt[sourceSet]);
    for (int k = 0; k < kFieldCount; ++k) flags[k] = *from.slot[k] != nullptr;
    // A name taken from the source set must outlive the growth of the set
    // array when both lists are the same.
    char* ownName = CopyText(name ? name : source->Alt[sourceSet].Name);
    if (ownName == nullptr) return ApiStatus_NoMemory;
    const int status = AddAltSet<List, D>(destination, ownName, nullptr, flags);
    Record_Free(ownName);
    if (status != ApiStatus_Success) return status;
    const int32_t added = destination->AltCount - 1;
    from = SetFields(&source->Alt[sourceSet]);
    Fields to = SetFields(&destination->Alt[added]);
    const int32_t points = destination->Capacity < source->Capacity ? destination->Capacity : source->Capacity;
    for (int k = 0; k < kFieldCount; ++k)
        if (*from.slot[k] && *to.slot[k] && points > 0)
            std::memcpy(*to.slot[k], *from.slot[k], sizeof(double) * Width<D>(k) * points);
    if (index) *index = added;
    return ApiStatus_Success;
}

template <class List>
void FreeList(List* list) {
    if (list == nullptr) return;
    Record_Free(list->Location);
    FreeFields(MainFields(list));
    for (int32_t i = list->AltCount - 1; i >= 0; --i) {
        Record_Free(list->Alt[i].Name);
        FreeFields(SetFields(&list->Alt[i]));
    }
    Record_Free(list->Alt);
    std::memset(list, 0, sizeof *list);
}

template <class List, int D>
int DeepCopy(List* destination, List* source) {
    int status = CopyMain<List, D>(destination, source);
    if (status != ApiStatus_Success) return status;
    for (int32_t i = 0; i < source->AltCount && status == ApiStatus_Success; ++i)
        status = CopyAltSet<List, D>(destination, nullptr, nullptr, source, i);
    if (status != ApiStatus_Success) FreeList(destination);
    return status;
}

// Resizes one array to `capacity` points; on failure it keeps its old size.
template <int D>
bool Resize(double** array, int32_t capacity, int32_t width) {
    if (*array == nullptr) return true;
    void* grown = Record_Realloc(*array, static_cast<int64_t>(capacity) * width, sizeof(double));
    if (grown == nullptr) return false;
    *array = static_cast<double*>(grown);
    return true;
}

template <class List, int D>
int SetCapacity(List* list, int32_t capacity) {
    if (capacity < 0) return ApiStatus_BadSize;
    if (list == nullptr) return ApiStatus_BadPointList;
    if (capacity == list->Capacity) return ApiStatus_Success;
    bool ok = true;
    if (list->Location == nullptr) {
        list->Location = NewArray(capacity, D);
        ok = list->Location != nullptr;
    } else {
        ok = Resize<D>(&list->Location, capacity, D);
    }
    for (int32_t set = -1; set < list->AltCount; ++set) {
        Fields f = FieldsOf(list, set);
        for (int k = 0; k < kFieldCount; ++k) ok = Resize<D>(f.slot[k], capacity, Width<D>(k)) && ok;
    }
    // Every array holds at least the smaller of the two capacities.
    if (!ok && capacity > list->Capacity) return ApiStatus_NoMemory;
    list->Capacity = capacity;
    if (list->Count > capacity) list->Count = capacity;
    return ok ? ApiStatus_Success : ApiStatus_NoMemory;
}

template <class List>
int FindAlt(const List* list, const char* name, int32_t* index) {
    if (list == nullptr) return ApiStatus_BadPointList;
    if (name == nullptr || index == nullptr) return ApiStatus_InvalidArgument;
    *index = -1;
    if (name[0] == '\0') return ApiStatus_Success;
    *index = FindByName(list, name);
    return *index >= 0 ? ApiStatus_Success : ApiStatus_BadAltSet;
}

template <class List>
int RemoveAlt(List* list, int32_t set) {
    if (list == nullptr) return ApiStatus_BadPointList;
    if (set < 0 || set >= list->AltCount) return ApiStatus_BadAltSet;
    Record_Free(list->Alt[set].Name);
    FreeFields(SetFields(&list->Alt[set]));
    for (int32_t i = set + 1; i < list->AltCount; ++i) list->Alt[i - 1] = list->Alt[i];
    --list->AltCount;
    return ApiStatus_Success;
}

template <class List>
double* FieldOf(const List* list, int32_t set, int field) {
    if (list == nullptr || set >= list->AltCount) return nullptr;
    return *FieldsOf(const_cast<List*>(list), set).slot[field];
}

// The length and field tests shared by both checks; returns false after
// reporting the first failure. Warnings do not fail.
bool CheckLengthAndFields(Fields f, int32_t count, const char* name, int32_t minimum, Reporter* reporter,
                          const int32_t* uses) {
    if (minimum == 1 && count < 1) {
        Reporter_Error(reporter, "%s point list is empty", name);
        return false;
    }
    if (minimum > 1 && count < minimum) {
        Reporter_Error(reporter, "%s point list length (%d), must be at least %d", name, count, minimum);
        return false;
    }
    for (int k = 0; k < kFieldCount; ++k)
        if (uses[k] < 0 && *f.slot[k] != nullptr)
            Reporter_Warning(reporter, "%s point list field '%s' is not used by this function", name, kFieldNames[k]);
    for (int k = 0; k < kFieldCount; ++k) {
        if (uses[k] > 0 && *f.slot[k] == nullptr) {
            Reporter_Error(reporter, "%s point list field '%s' is required by this function", name, kFieldNames[k]);
            return false;
        }
    }
    return true;
}

template <class List, int D>
int Check(const List* list, const char* name, int32_t minimum, Reporter* reporter, const int32_t* uses) {
    if (list == nullptr) {
        Reporter_Error(reporter, "%s point list is NULL", name);
        return 0;
    }
    if (!SoundShape(list)) {
        Reporter_Error(reporter, "%s point list structure is invalid", name);
        return 0;
    }
    return CheckLengthAndFields(MainFields(const_cast<List*>(list)), list->Count, name, minimum, reporter, uses) ? 1
                                                                                                                 : 0;
}

template <class List, int D>
int CheckAlt(const List* list, int32_t set, const char* name, int32_t minimum, Reporter* reporter,
             const int32_t* uses) {
    if (list == nullptr) {
        Reporter_Error(reporter, "%s point list is NULL", name);
        return ApiStatus_BadPointList;
    }
    if (list->Count < 0 || list->Capacity < 0 || list->Count > list->Capacity) {
        Reporter_Error(reporter, "%s point list contains an invalid size", name);
        return ApiStatus_BadPointList;
    }
    if (list->Location == nullptr && list->Capacity > 0) {
        Reporter_Error(reporter, "%s point list Location array is missing", name);
        return ApiStatus_BadPointList;
    }
    if (set >= 0) {
        if (list->Alt == nullptr || list->AltCount < 1) {
            Reporter_Error(reporter, "%s point list alternate data required", name);
            return ApiStatus_BadAltSet;
        }
        if (set >= list->AltCount) {
            Reporter_Error(reporter, "%s point list alternate index out of range %d", name, set);
            return ApiStatus_BadAltSet;
        }
    }
    return CheckLengthAndFields(FieldsOf(const_cast<List*>(list), set), list->Count, name, minimum, reporter, uses)
               ? ApiStatus_Success
               : ApiStatus_BadPointList;
}

}  // namespace

#define POINT_LIST_DEFINITIONS(List, D)                                                                                \
    int List##_Create(List* list, int32_t capacity, int32_t value, int32_t accuracy, int32_t lower, int32_t upper,     \
                      int32_t gradient) {                                                                              \
        const int32_t flags[kFieldCount] = {value, accuracy, lower, upper, gradient};                                  \
        return Create<List, D>(list, capacity, flags);                                                                 \
    }                                                                                                                  \
    int List##_AddAltSet(List* list, const char* name, int32_t* index, int32_t value, int32_t accuracy, int32_t lower, \
                         int32_t upper, int32_t gradient) {                                                            \
        const int32_t flags[kFieldCount] = {value, accuracy, lower, upper, gradient};                                  \
        return AddAltSet<List, D>(list, name, index, flags);                                                           \
    }                                                                                                                  \
    int List##_SetFields(List* list, int32_t set, int32_t value, int32_t accuracy, int32_t lower, int32_t upper,       \
                         int32_t gradient) {                                                                           \
        const int32_t flags[kFieldCount] = {value, accuracy, lower, upper, gradient};                                  \
        return SetFieldsOf<List, D>(list, set, flags);                                                                 \
    }                                                                                                                  \
    int List##_CopyMain(List* destination, const List* source) { return CopyMain<List, D>(destination, source); }      \
    int List##_CopyAltSet(List* destination, int32_t* index, const char* name, List* source, int32_t sourceSet) {      \
        return CopyAltSet<List, D>(destination, index, name, source, sourceSet);                                       \
    }                                                                                                                  \
    int List##_DeepCopy(List* destination, List* source) { return DeepCopy<List, D>(destination, source); }            \
    int List##_SetCapacity(List* list, int32_t capacity) { return SetCapacity<List, D>(list, capacity); }              \
    int List##_FindAlt(const List* list, const char* name, int32_t* index) { return FindAlt(list, name, index); }      \
    int List##_RemoveAlt(List* list, int32_t set) { return RemoveAlt(list, set); }                                     \
    void List##_Free(List* list) { FreeList(list); }                                                                   \
    void List##_Clear(List* list) {                                                                                    \
        if (list) std::memset(list, 0, sizeof *list);                                                                  \
    }                                                                                                                  \
    double* List##_GetValue(const List* list, int32_t set) { return FieldOf(list, set, 0); }                           \
    double* List##_GetAccuracy(const List* list, int32_t set) { return FieldOf(list, set, 1); }                        \
    double* List##_GetLower(const List* list, int32_t set) { return FieldOf(list, set, 2); }                           \
    double* List##_GetUpper(const List* list, int32_t set) { return FieldOf(list, set, 3); }                           \
    double* List##_GetGradient(const List* list, int32_t set) { return FieldOf(list, set, 4); }                        \
    int List##_Check(const List* list, const char* name, int32_t minimum, Reporter* reporter, int32_t value,           \
                     int32_t accuracy, int32_t lower, int32_t upper, int32_t gradient) {                               \
        const int32_t uses[kFieldCount] = {value, accuracy, lower, upper, gradient};                                   \
        return Check<List, D>(list, name, minimum, reporter, uses);                                                    \
    }                                                                                                                  \
    int List##_CheckAlt(const List* list, int32_t set, const char* name, int32_t minimum, Reporter* reporter,          \
                        int32_t value, int32_t accuracy, int32_t lower, int32_t upper, int32_t gradient) {             \
        const int32_t uses[kFieldCount] = {value, accuracy, lower, upper, gradient};                                   \
        return CheckAlt<List, D>(list, set, name, minimum, reporter, uses);                                            \
    }

POINT_LIST_DEFINITIONS(PointList3, 3)
POINT_LIST_DEFINITIONS(PointList2, 2)
