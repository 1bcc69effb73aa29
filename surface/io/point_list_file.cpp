// Point-list files. The 2D and 3D lists share one layout, so every
// operation is written once over the dimension D.
#include "surface/io/point_list_file.h"

#include <cstring>
#include <string>

#include "surface/frame/operation_numbers.h"
#include "surface/frame/reporter.h"
#include "surface/io/data_file.h"

namespace {

const int kFieldCount = 5;
const char* const kFields[kFieldCount] = {"Value", "Accuracy", "Lower", "Upper", "Gradient"};
const char* const kSuffixes[kFieldCount] = {"_Value", "_Accuracy", "_Lower", "_Upper", "_Gradient"};
constexpr int kGradient = 4;

template <class Owner>
double** Slot(Owner* owner, int field) {
    double** slots[kFieldCount] = {&owner->Value, &owner->Accuracy, &owner->Lower, &owner->Upper, &owner->Gradient};
    return slots[field];
}

template <int D>
ContainerItem* AddArray(ContainerIndex* index, const char* name, int field, int32_t count, double* data) {
    const int32_t shape[2] = {field == kGradient ? D : count, count};
    return ContainerIndex_AddShaped(index, name, ContainerKind_Double, field == kGradient ? 2 : 1, shape, data);
}

template <int D, class List>
int BuildItems(const List* list, int32_t extraItems, ContainerIndex* index) {
    const int32_t n = list->Count;
    int32_t items = 6 + extraItems;
    for (int32_t s = 0; s < list->AltCount; ++s) items += kFieldCount;
    if (!ContainerIndex_Reserve(index, items)) return 0;
    const int32_t location[2] = {D, n};
    if (ContainerIndex_AddShaped(index, "Location", ContainerKind_Double, 2, location, list->Location) == nullptr)
        return 0;
    for (int f = 0; f < kFieldCount; ++f) {
        double* data = *Slot(const_cast<List*>(list), f);
        if (data != nullptr && AddArray<D>(index, kFields[f], f, n, data) == nullptr) return 0;
    }
    for (int32_t s = 0; s < list->AltCount; ++s) {
        PointListAltSet* set = &list->Alt[s];
        if (set->Name == nullptr) continue;
        for (int f = 0; f < kFieldCount; ++f) {
            double* data = *Slot(set, f);
            if (data == nullptr) continue;
            const std::string name = std::string(set->Name) + kSuffixes[f];
            if (AddArray<D>(index, name.c_str(), f, n, data) == nullptr) return 0;
        }
    }
    return 1;
}

template <class List>
void ReportAttributes(const List* list, Reporter* reporter) {
    if (reporter == nullptr || reporter->maximumLevel < kLevelInfo) return;
    std::string line;
    for (int32_t s = 0; s < list->AltCount; ++s) {
        const std::string name = list->Alt[s].Name != nullptr ? list->Alt[s].Name : "";
        if (!line.empty() && line.size() + 2 + name.size() > 50) {
            Reporter_Value(reporter, "Attributes", "%s", line.c_str());
            line.clear();
        }
        line += line.empty() ? name : ", " + name;
    }
    if (!line.empty()) Reporter_Value(reporter, "Attributes", "%s", line.c_str());
}

template <class List>
void ReportInfo(const List* list, Reporter* reporter) {
    Reporter_Value(reporter, "Points", "%d", list->Count);
    const char* present[kFieldCount];
    static const char* const kListed[kFieldCount] = {", Value", ", Accuracy", ", Lower", ", Upper", ", Gradient"};
    for (int f = 0; f < kFieldCount; ++f) present[f] = *Slot(const_cast<List*>(list), f) != nullptr ? kListed[f] : "";
    Reporter_Value(reporter, "Point List Fields", "Location%s%s%s%s%s", present[0], present[1], present[2], present[3],
                   present[4]);
    ReportAttributes(list, reporter);
}

struct Ops2 {
    using List = PointList2;
    static constexpr int D = 2;
    static int Check(const List* l, Reporter* r) { return PointList2_Check(l, "Input", 0, r, 0, 0, 0, 0, 0); }
    static int Create(List* l, int32_t n, const int32_t* f) {
        return PointList2_Create(l, n, f[0], f[1], f[2], f[3], f[4]);
    }
    static int AddSet(List* l, const char* name, int32_t* index, const int32_t* f) {
        return PointList2_AddAltSet(l, name, index, f[0], f[1], f[2], f[3], f[4]);
    }
    static void Free(List* l) { PointList2_Free(l); }
    static void Clear(List* l) { PointList2_Clear(l); }
};

struct Ops3 {
    using List = PointList3;
    static constexpr int D = 3;
    static int Check(const List* l, Reporter* r) { return PointList3_Check(l, "Input", 0, r, 0, 0, 0, 0, 0); }
    static int Create(List* l, int32_t n, const int32_t* f) {
        return PointList3_Create(l, n, f[0], f[1], f[2], f[3], f[4]);
    }
    static int AddSet(List* l, const char* name, int32_t* index, const int32_t* f) {
        return PointList3_AddAltSet(l, name, index, f[0], f[1], f[2], f[3], f[4]);
    }
    static void Free(List* l) { PointList3_Free(l); }
    static void Clear(List* l) { PointList3_Clear(l); }
};

template <class Ops>
int BindAltItems(typename Ops::List* list, ContainerIndex* index, const char* fileKind, Reporter* reporter) {
    const int32_t n = list->Count;
    for (int32_t i = 0; i < index->itemCount; ++i) {
        ContainerItem* item = &index->items[i];
        for (int f = 0; f < kFieldCount; ++f) {
            std::size_t prefix = 0;
            if (!File_HasSuffix(item->name, kSuffixes[f], std::strlen(kSuffixes[f]), &prefix)) continue;
            Reporter_Debug(reporter, "item: %s", item->name);
            if (prefix == 0) {
                Reporter_Error(reporter, "Item '%s' in %s file has is an invalid name", item->name, fileKind);
                return 36;
            }
            const bool ok = f == kGradient
                                ? File_CheckItemShape(reporter, fileKind, item, ContainerKind_Double, 2, {Ops::D, n})
                                : File_CheckItemShape(reporter, fileKind, item, ContainerKind_Double, 1, {n});
            if (!ok) return 36;
            const std::string name(item->name, prefix);
            int32_t flags[kFieldCount] = {};
            flags[f] = 1;
            int32_t set = -1;
            const int status = Ops::AddSet(list, name.c_str(), &set, flags);
            if (status != 0 && status != 16) return status;
            item->data = *Slot(&list->Alt[set], f);
            break;
        }
    }
    return 0;
}

template <class Ops>
int BindItems(typename Ops::List* list, int32_t withAltSets, ContainerIndex* index, const char* fileKind,
              Reporter* reporter) {
    ContainerItem* location = nullptr;
    if (!File_CheckItem(reporter, index, fileKind, &location, "Location", 0, ContainerKind_Double, 2, {Ops::D, -1}))
        return 36;
    const int32_t n = location->dimensions[1];
    ContainerItem* fields[kFieldCount];
    int32_t flags[kFieldCount];
    for (int f = 0; f < kFieldCount; ++f) {
        const bool ok = f == kGradient ? File_CheckItem(reporter, index, fileKind, &fields[f], kFields[f], 1,
                                                        ContainerKind_Double, 2, {Ops::D, n})
                                       : File_CheckItem(reporter, index, fileKind, &fields[f], kFields[f], 1,
                                                        ContainerKind_Double, 1, {n});
        if (!ok) return 36;
        flags[f] = fields[f] != nullptr;
    }
    if (int status = Ops::Create(list, n, flags)) return status;
    list->Count = n;
    location->data = list->Location;
    for (int f = 0; f < kFieldCount; ++f)
        if (fields[f] != nullptr) fields[f]->data = *Slot(list, f);
    return withAltSets ? BindAltItems<Ops>(list, index, fileKind, reporter) : 0;
}

template <class Ops>
int Write(const typename Ops::List* list, ContainerStream* stream, int32_t ascii, Reporter* reporter) {
    if (!Ops::Check(list, reporter)) {
        Reporter_TimeTaken(reporter);
        return 4;
    }
    ReportInfo(list, reporter);
    Reporter_Value(reporter, "Dimensions", "%d", Ops::D);
    File_ReportEncoding(reporter, ascii);
    return File_Save(stream, ascii, reporter,
                     [&](ContainerIndex* index) { return BuildItems<Ops::D>(list, 0, index) != 0; });
}

template <class Ops>
int Read(typename Ops::List* list, ContainerStream* stream, int32_t* line, Reporter* reporter) {
    if (list == nullptr) {
        Reporter_Error(reporter, "%s argument is NULL", "Point list");
        Reporter_TimeTaken(reporter);
        return 4;
    }
    Ops::Clear(list);
    return File_Load(
        stream, line, reporter, FileLoadSteps{true, true, true},
        [&](ContainerIndex* index) { return BindItems<Ops>(list, 1, index, "point list", reporter); },
        [&](ContainerIndex* index, int32_t) {
            Reporter_EndOperation(reporter);
            ReportInfo(list, reporter);
            File_ReportEncoding(reporter, index->encoding == ContainerEncoding_Ascii);
            return 0;
        },
        [&] { Ops::Free(list); });
}

template <class Ops>
int32_t FileBytes(const typename Ops::List* list, int32_t ascii) {
    if (list == nullptr) return -1;
    ContainerIndex index;
    Container_ResetIndex(&index);
    index.encoding = ascii ? ContainerEncoding_Ascii : ContainerEncoding_Binary;
    const int32_t bytes = BuildItems<Ops::D>(list, 0, &index) ? Container_Bytes(&index) : -1;
    Container_FreeItems(&index);
    return bytes;
}

}  // namespace

int PointList2_BuildItems(const PointList2* list, int32_t extraItems, ContainerIndex* index) {
    return BuildItems<2>(list, extraItems, index);
}
int PointList3_BuildItems(const PointList3* list, int32_t extraItems, ContainerIndex* index) {
    return BuildItems<3>(list, extraItems, index);
}
int PointList2_BindItems(PointList2* list, int32_t withAltSets, ContainerIndex* index, const char* fileKind,
                         Reporter* reporter) {
    return BindItems<Ops2>(list, withAltSets, index, fileKind, reporter);
}
int PointList3_BindItems(PointList3* list, int32_t withAltSets, ContainerIndex* index, const char* fileKind,
                         Reporter* reporter) {
    return BindItems<Ops3>(list, withAltSets, index, fileKind, reporter);
}
void PointList2_ReportInfo(const PointList2* list, Reporter* reporter) { ReportInfo(list, reporter); }
void PointList3_ReportInfo(const PointList3* list, Reporter* reporter) { ReportInfo(list, reporter); }
void PointList2_ReportAttributes(const PointList2* list, Reporter* reporter) { ReportAttributes(list, reporter); }
void PointList3_ReportAttributes(const PointList3* list, Reporter* reporter) { ReportAttributes(list, reporter); }
int32_t PointList2_FileBytes(const PointList2* list, int32_t ascii) { return FileBytes<Ops2>(list, ascii); }
int32_t PointList3_FileBytes(const PointList3* list, int32_t ascii) { return FileBytes<Ops3>(list, ascii); }

int PointList2_Write(const PointList2* list, ContainerStream* stream, int32_t ascii, Reporter* reporter) {
    return Write<Ops2>(list, stream, ascii, reporter);
}
int PointList2_Read(PointList2* list, ContainerStream* stream, int32_t* line, Reporter* reporter) {
    return Read<Ops2>(list, stream, line, reporter);
}
int PointList3_Write(const PointList3* list, ContainerStream* stream, int32_t ascii, Reporter* reporter) {
    return Write<Ops3>(list, stream, ascii, reporter);
}
int PointList3_Read(PointList3* list, ContainerStream* stream, int32_t* line, Reporter* reporter) {
    return Read<Ops3>(list, stream, line, reporter);
}

int Selvane_SavePointList2(const PointList2* list, std::FILE* file, int32_t ascii, Reporter* reporter) {
    return File_SaveEntry(reporter, Op_SavePointList2, file, ascii,
                          [&](ContainerStream* s, int32_t a) { return PointList2_Write(list, s, a, reporter); });
}
int Selvane_LoadPointList2(PointList2* list, std::FILE* file, int32_t* line, Reporter* reporter) {
    return File_LoadEntry(reporter, Op_LoadPointList2, file, line,
                          [&](ContainerStream* s) { return PointList2_Read(list, s, line, reporter); });
}
int Selvane_SavePointList3(const PointList3* list, std::FILE* file, int32_t ascii, Reporter* reporter) {
    return File_SaveEntry(reporter, Op_SavePointList3, file, ascii,
                          [&](ContainerStream* s, int32_t a) { return PointList3_Write(list, s, a, reporter); });
}
int Selvane_LoadPointList3(PointList3* list, std::FILE* file, int32_t* line, Reporter* reporter) {
    return File_LoadEntry(reporter, Op_LoadPointList3, file, line,
                          [&](ContainerStream* s) { return PointList3_Read(list, s, line, reporter); });
}
