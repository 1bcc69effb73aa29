#include "app/ui/toolbar_rules.h"

namespace {

constexpr ToolStyle B = ToolStyle::Button, C = ToolStyle::Check, G = ToolStyle::CheckGroup, D = ToolStyle::DropDown,
                    S = ToolStyle::Separator;

}  // namespace

const ToolbarButtonRow kLargeToolbar[33] = {
    {0, 40052, B, "MainToolbarNew", false},
    {1, 40265, B, "MainToolbarOpen", false},
    {2, 40089, B, "MainToolbarSaveAs", false},
    {3, 40399, D, "MainToolbarExportAs", false},
    {4, 40240, B, "MainToolbarTransferToPellis", false},
    {-1, 0, S, nullptr, false},
    {5, 40064, C, "MainToolbarCameraView", false},
    {6, 40097, G, "MainToolbarTxRef", false},
    {7, 40098, G, "MainToolbarRxRef", false},
    {8, 40194, B, "MainToolbarReset", false},
    {9, 40099, B, "MainToolbarProperties", false},
    {-1, 0, S, nullptr, false},
    {10, 40181, C, "MainToolbarLaserPointerMode", false},
    {27, 40368, C, "MainToolbarMarkWithMouse", false},
    {26, 40023, B, "MainToolbarHelp", true},
    {11, 40262, G, "MainToolbarSweeps", false},
    {12, 40263, G, "MainToolbarBasic", false},
    {13, 40264, G, "MainToolbarRbf", false},
    {23, 40060, C, "MainToolbarGenerateSurface", false},
    {-1, 0, S, nullptr, false},
    {14, 40011, G, "MainToolbarPointsView", false},
    {15, 40013, G, "MainToolbarWireframeView", false},
    {16, 40014, G, "MainToolbarSolidView", false},
    {17, 40015, G, "MainToolbarOutlinedView", false},
    {18, 40291, C, "MainToolbarBoundingBox", false},
    {-1, 0, S, nullptr, false},
    {19, 40243, C, "MainToolbarSelectionMode", false},
    {20, 40275, B, "MainToolbarDelete", false},
    {21, 40135, C, "MainToolbarSweepList", false},
    {22, 40144, C, "MainToolbarStylusList", false},
    {-1, 0, S, nullptr, false},
    {24, 40055, B, "MainToolbarUndoSweep", false},
    {25, 40056, B, "MainToolbarRedoSweep", false},
};

const ToolbarButtonRow kSmallToolbar[28] = {
    {kStandardImage + 6, 40052, B, nullptr, false},
    {kStandardImage + 7, 40265, B, nullptr, false},
    {kStandardImage + 8, 40089, B, nullptr, false},
    {135, 40399, D, nullptr, false},
    {266, 40240, B, nullptr, false},
    {-1, 0, S, nullptr, false},
    {126, 40262, C, nullptr, false},
    {278, 40263, C, nullptr, false},
    {279, 40264, C, nullptr, false},
    {133, 40064, C, nullptr, false},
    {-1, 0, S, nullptr, false},
    {129, 40011, C, nullptr, false},
    {130, 40013, C, nullptr, false},
    {131, 40014, C, nullptr, false},
    {182, 40015, C, nullptr, false},
    {-1, 0, S, nullptr, false},
    {184, 40135, B, nullptr, false},
    {134, 40060, B, nullptr, false},
    {-1, 0, S, nullptr, false},
    {kStandardImage + 3, 40055, B, nullptr, false},
    {kStandardImage + 4, 40056, B, nullptr, false},
    {-1, 0, S, nullptr, false},
    {138, 40097, B, nullptr, false},
    {139, 40098, B, nullptr, false},
    {251, 40194, B, nullptr, false},
    {231, 40181, C, nullptr, false},
    {-1, 0, S, nullptr, false},
    {kStandardImage + 11, 40023, B, nullptr, false},
};

int32_t Toolbar_IconPixels(int32_t& setting) {
    if (setting < 0 || setting > 2) setting = 0;
    static const int32_t kPixels[3] = {48, 36, 24};
    return kPixels[setting];
}

std::vector<bool> Toolbar_VisibleRows(const ToolbarButtonRow* rows, size_t count,
                                      const std::vector<bool>& buttonVisible) {
    std::vector<bool> visible(count, false);
    bool afterButton = false;  // the last shown item is a button
    size_t pending = count;    // a separator waiting for a following button
    for (size_t i = 0; i < count; ++i) {
        if (rows[i].style == ToolStyle::Separator) {
            if (afterButton && pending == count) pending = i;
            continue;
        }
        if (i >= buttonVisible.size() || !buttonVisible[i]) continue;
        if (pending != count) visible[pending] = true;
        pending = count;
        visible[i] = true;
        afterButton = true;
    }
    return visible;
}

uint32_t Toolbar_GradientEnd(uint32_t colour) {
    uint32_t out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t c = (colour >> shift) & 0xFF;
        out |= (c + (255 - c) * 4 / 5) << shift;
    }
    return out;
}
