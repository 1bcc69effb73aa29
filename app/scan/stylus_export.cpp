#include "app/scan/stylus_export.h"

int32_t StylusExport_CollectRecords(const StylusItemList& list, bool surface, bool inverted,
                                    StylusExportRecord* records, int32_t& visibleCount) {
    visibleCount = 0;
    int32_t written = 0;
    int32_t lineIndex = -1;
    const int32_t count = list.Items ? list.VisibleCount : 0;
    for (int32_t i = 0; i < count; ++i) {
        const StylusItem& item = list.Items[i];
        if (item.Flags & kStylusLineHead) {
            lineIndex = 0;
            continue;
        }
        StylusExportRecord& record = records[written++];
        record.visible = (item.Flags & kStylusHidden) ? 0 : 1;
        record.onSurface = StylusItem_IsPlaced(item, surface) ? 1 : 0;
        record.itemNumber = item.Group;
        record.lineIndex = (item.Flags & kStylusLineMember) ? lineIndex++ : -1;
        StylusItem_GetPose(item, record.matrix, true, surface, inverted);
        if (record.visible) ++visibleCount;
    }
    return written;
}
