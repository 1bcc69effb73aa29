#include "app/ui/menu_separators.h"

int MenuLevel_LivePosition(const std::vector<MenuLevelEntry>& level, size_t entry) {
    int position = 0;
    for (size_t i = 0; i < entry && i < level.size(); ++i) position += level[i].present;
    return position;
}

int MenuLevel_Remove(std::vector<MenuLevelEntry>& level, size_t entry, const MenuLevelOps& ops) {
    if (entry >= level.size() || !level[entry].present) return 0;
    if (!ops.remove(MenuLevel_LivePosition(level, entry))) return 0;
    level[entry].present = false;
    TidyMenuSeparators(level, ops);
    return 1;
}

int MenuLevel_Insert(std::vector<MenuLevelEntry>& level, size_t entry, const MenuLevelOps& ops) {
    if (entry >= level.size() || level[entry].present) return 0;
    if (!ops.insert(MenuLevel_LivePosition(level, entry), entry)) return 0;
    level[entry].present = true;
    TidyMenuSeparators(level, ops);
    return 1;
}

void TidyMenuSeparators(std::vector<MenuLevelEntry>& level, const MenuLevelOps& ops) {
    // Whether a present item follows each entry.
    std::vector<bool> itemAfter(level.size() + 1, false);
    for (size_t i = level.size(); i-- > 0;)
        itemAfter[i] = itemAfter[i + 1] || (!level[i].separator && level[i].present);
    bool itemInGroup = false;
    int position = 0;
    for (size_t i = 0; i < level.size(); ++i) {
        MenuLevelEntry& e = level[i];
        if (e.separator) {
            const bool shown = itemInGroup && itemAfter[i + 1];
            if (e.present && !shown && ops.remove(position))
                e.present = false;
            else if (!e.present && shown && ops.insert(position, i))
                e.present = true;
            itemInGroup = false;
        } else if (e.present) {
            itemInGroup = true;
        }
        position += e.present;
    }
}
