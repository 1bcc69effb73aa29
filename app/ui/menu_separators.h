// Taking items out of one level of a menu and putting them back at their
// former place, with the level's separators kept tidy: a level never shows a
// leading, doubled or trailing separator. The live menu is reached through
// two operations, so the same rules serve the Windows menus and the tests.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

struct MenuLevelEntry {
    bool separator = false;
    bool present = true;
};

struct MenuLevelOps {
    // Remove the item at this position of the live menu; false when refused.
    std::function<bool(int position)> remove;
    // Put entry `entry` back at this live position; false when refused.
    std::function<bool(int position, size_t entry)> insert;
};

// The live position of an entry: the present entries before it.
int MenuLevel_LivePosition(const std::vector<MenuLevelEntry>& level, size_t entry);

// Removes a present entry (1) or inserts an absent one (1); 0 when the entry
// is out of range, already in that state, or the menu refused. The level's
// separators are tidied after a change.
int MenuLevel_Remove(std::vector<MenuLevelEntry>& level, size_t entry, const MenuLevelOps& ops);
int MenuLevel_Insert(std::vector<MenuLevelEntry>& level, size_t entry, const MenuLevelOps& ops);

// A separator is shown when a present item precedes it within its group and
// a present item follows it anywhere in the level.
void TidyMenuSeparators(std::vector<MenuLevelEntry>& level, const MenuLevelOps& ops);
