// The toolbars' button tables and the rules that do not need a window: the
// icon size setting, and which separators show between the visible buttons.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

enum class ToolStyle { Button, Check, CheckGroup, DropDown, Separator };

// Small toolbar images: a standard image n of the common controls, or a
// 16-pixel bitmap resource of the program.
constexpr int kStandardImage = 0x10000;

struct ToolbarButtonRow {
    int image;  // large: index into the art strips; small: bitmap id or kStandardImage + n; -1 none
    int command;
    ToolStyle style;
    const char* labelKey;  // large toolbar only
    bool lineBreak;        // a new row starts after this button
};

extern const ToolbarButtonRow kLargeToolbar[33];
extern const ToolbarButtonRow kSmallToolbar[28];
constexpr int kExportAsCommand = 40399;
constexpr int kLargeArtImages = 28;

// The icon size in pixels (48, 36, 24) of the setting; any other setting is
// stored back as 0 (48 pixels).
int32_t Toolbar_IconPixels(int32_t& setting);

// Which rows show: buttons as given; a separator only between two visible
// buttons (never first, never after another shown separator, never last).
std::vector<bool> Toolbar_VisibleRows(const ToolbarButtonRow* rows, size_t count,
                                      const std::vector<bool>& buttonVisible);

// The colour 80 % of the way from `colour` (0x00BBGGRR) towards white.
uint32_t Toolbar_GradientEnd(uint32_t colour);
