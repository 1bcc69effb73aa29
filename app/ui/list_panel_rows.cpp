#include "app/ui/list_panel_rows.h"

#include "app/locale/locale_lookup.h"
#include "app/scan/stylus_placement.h"

#include <cstdio>

namespace {

std::string Numbered(const char* key, int32_t number) {
    std::string out;
    return Locale_FormatStringWithInt(out, "num", number, key);
}

}  // namespace

std::string ListRow_TimeText(int32_t seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%2d:%02d", seconds / 60, seconds % 60);
    return text;
}

ListRowTexts ListRow_Sweep(const RawData& raw, int32_t s) {
    ListRowTexts row;
    row.cells[0] = Numbered("SweepListSweepNumber", s + 1);
    const int32_t points = raw.SweepFirstPoint ? raw.SweepFirstPoint[s + 1] - raw.SweepFirstPoint[s] : 0;
    row.cells[1] = Numbered("SweepListNumberOfPoints", points);
    if (raw.Sweeps && (raw.Sweeps[s].Flags & kSweepFlipped)) row.cells[2] = Locale_GetString("SweepListFlippedState");
    int32_t seconds = 0;
    if (raw.SweepStartingProfileNo && raw.Profiles && raw.NumProfiles > 0) {
        const int32_t first = raw.SweepStartingProfileNo[s];
        if (first >= 0 && first < raw.NumProfiles) seconds = raw.Profiles[first].ScanTime - raw.Profiles[0].ScanTime;
    }
    row.cells[3] = ListRow_TimeText(seconds);
    return row;
}

ListRowTexts ListRow_Stylus(const StylusItemList& list, int32_t k, bool basic) {
    ListRowTexts row;
    const StylusItem& item = list.Items[k];
    row.cells[0] = Numbered("StylusListStylusNumber", item.Group + 1);
    if (StylusItem_IsPlaced(item, basic)) {
        std::string out;
        row.cells[1] = Locale_FormatStringWithNumber(out, "dist", 2, "StylusPointMoved",
                                                     basic ? item.BasicDistance : item.ScanDistance);
    } else {
        row.cells[1] = "-";
    }
    return row;
}

ListRowTexts ListRow_Surface(bool rbf) {
    ListRowTexts row;
    row.cells[0] = Locale_GetString("SweepListSurface");
    row.cells[1] = Locale_GetString(rbf ? "StandardRbfSurface" : "StandardBasicSurface");
    return row;
}

bool ListRow_SweepVisible(const RawData& raw, int32_t s) { return !(raw.Sweeps[s].Flags & kSweepHidden); }

bool ListRow_SweepSelected(const RawData& raw, int32_t s) { return (raw.Sweeps[s].Flags & kSweepHighlighted) != 0; }

int ListRow_ApplySweep(RawData& raw, int32_t s, bool checked, bool selected) {
    uint32_t& flags = raw.Sweeps[s].Flags;
    const uint32_t before = flags;
    flags = checked ? flags & ~kSweepHidden : flags | kSweepHidden;
    flags = selected ? flags | kSweepHighlighted : flags & ~kSweepHighlighted;
    int result = flags != before ? kRowChanged : 0;
    if ((flags ^ before) & kSweepHidden) result |= kRowVisibilityChanged;
    return result;
}

int ListRow_ApplyStylus(StylusItemList& list, int32_t k, bool checked, bool selected) {
    uint32_t& flags = list.Items[k].Flags;
    const uint32_t before = flags;
    flags = checked ? flags & ~kStylusHidden : flags | kStylusHidden;
    flags = selected ? flags | kStylusSelected : flags & ~kStylusSelected;
    return flags != before ? kRowChanged : 0;
}

void ListRow_FlipSweep(RawData& raw, int32_t s) {
    raw.Sweeps[s].Flags ^= kSweepFlipped;
    RawData_FlipSweepNormals(raw, s);
    raw.Draw.Flags |= kDrawFull;
}

const char* ListRow_MoveToSurface(RawData& raw, int32_t k, SurfaceRecord* shown, bool shownIsBasic, float distance) {
    StylusItemList& list = raw.Stylus;
    const bool placed = shown && shownIsBasic ? StylusItem_UpdateBasicShift(list, k, *shown, distance)
                                              : StylusItem_UpdateShift(raw, list, k, distance);
    if (placed) return nullptr;
    return shown ? "ErrorNoSurfaceNearStylusPoint" : "ErrorNoSweepsNearStylusPoint";
}
