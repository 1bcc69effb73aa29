// The main window's toolbar under Wine: both designs in their sizes, the
// large one's two rows with no empty band below them, the buttons mirroring
// the menu, the hidden buttons and separators, the
// tooltip texts, the rebuild commands and the gradient in the pixels. Each
// design and size is kept as a picture beside the test program.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <cstring>
#include <string>
#include <vector>

#include "app/locale/locale_loader.h"
#include "app/locale/locale_lookup.h"
#include "app/ui/app_state.h"
#include "app/ui/commands_win32.h"
#include "app/ui/menus_win32.h"
#include "app/ui/shell_hooks.h"
#include "app/ui/shell_win32.h"
#include "app/ui/tests/modal_driver_win32.h"
#include "app/ui/toolbar_rules.h"
#include "app/ui/toolbar_win32.h"

namespace {

namespace fs = std::filesystem;

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NOTIFY) {
        LRESULT result = 0;
        if (Toolbar_OnNotify(window, reinterpret_cast<NMHDR*>(lParam), result)) return result;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

std::string PicturePath(const std::string& name) {
    char program[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, program, sizeof program);
    return (fs::path(program).parent_path() / ("screenshot-" + name + ".bmp")).string();
}

HWND Toolbar() { return Shell().toolbar; }
bool Enabled(int id) { return SendMessageA(Toolbar(), TB_ISBUTTONENABLED, id, 0) != 0; }
bool Checked(int id) { return SendMessageA(Toolbar(), TB_ISBUTTONCHECKED, id, 0) != 0; }
bool Hidden(int id) { return SendMessageA(Toolbar(), TB_ISBUTTONHIDDEN, id, 0) != 0; }
// Rows at the bottom of a picture that hold nothing but the background: a
// row of one colour (the gradient runs from top to bottom only).
bool Near(unsigned a, unsigned b) {
    for (int shift : {0, 8, 16})
        if (std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF)) > 6) return false;
    return true;
}
int BlankRowsAtBottom(const std::vector<unsigned>& pixels, int width, int height) {
    int blank = 0;
    for (int y = height - 1; y >= 0; --y, ++blank) {
        const unsigned* row = pixels.data() + static_cast<size_t>(y) * width;
        for (int x = 1; x < width; ++x)
            if (!Near(row[x], row[0])) return blank;
    }
    return blank;
}

// Pixels tinted by the art's transparent colour (magenta), which no image
// has: the fringe a stretch leaves when it blends that colour into the edges.
size_t KeyTinted(const std::vector<unsigned>& pixels) {
    size_t tinted = 0;
    for (unsigned v : pixels) {
        const int r = (v >> 16) & 0xFF, g = (v >> 8) & 0xFF, b = v & 0xFF;
        tinted += r > 100 && b > 100 && g < r - 60 && g < b - 60;
    }
    return tinted;
}

bool HiddenAt(int index) {
    TBBUTTON b = {};
    SendMessageA(Toolbar(), TB_GETBUTTON, index, reinterpret_cast<LPARAM>(&b));
    return (b.fsState & TBSTATE_HIDDEN) != 0;
}

class ToolbarWin32 : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        Locale_Load();
        INITCOMMONCONTROLSEX controls = {sizeof controls, 0x1F7F};
        InitCommonControlsEx(&controls);
    }
    void SetUp() override {
        Shell().instance = GetModuleHandleA(nullptr);
        main_ = modal_driver::MakeOwner("ToolbarOwner", OwnerProc, 0, 0, 900, 300);
        ASSERT_NE(main_, nullptr);
        Shell().main = main_;
        Menus_BuildMainMenu(main_);
        Toolbars_ConnectShell();
        Shell_Hooks().updateMenuStates = nullptr;
        GeneralSettings& g = App().settings;
        g.UseOldToolbar = 0;
        g.ToolbarIconSize = 0;
        g.ToolbarLabels = 1;
    }
    void TearDown() override {
        DestroyMainToolbar();
        Shell_Hooks().rebuildToolbars = nullptr;
        Shell_Hooks().updateToolbar = nullptr;
        DestroyWindow(main_);
        Shell().main = nullptr;
    }
    HWND main_ = nullptr;
};

TEST_F(ToolbarWin32, BothDesignsInEverySizeWithTheGradientBehindTheButtons) {
    GeneralSettings& g = App().settings;
    const struct {
        int32_t old, size, labels;
        int buttons, pixels;
        const char* name;
    } cases[] = {
        {0, 0, 1, 33, 48, "toolbar-large-48"}, {0, 1, 1, 33, 36, "toolbar-large-36"},
        {0, 2, 0, 33, 24, "toolbar-large-24"}, {0, 5, 0, 33, 48, "toolbar-large-size-5"},
        {1, 0, 0, 28, 16, "toolbar-small"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        g.UseOldToolbar = c.old;
        g.ToolbarIconSize = c.size;
        g.ToolbarLabels = c.labels;
        ASSERT_EQ(CreateMainToolbars(main_, g), 1);
        EXPECT_EQ(g.ToolbarIconSize, c.size == 5 ? 0 : c.size);  // any other value is stored back as 0
        EXPECT_EQ(SendMessageA(Toolbar(), TB_BUTTONCOUNT, 0, 0), c.buttons);
        EXPECT_EQ(GetDlgCtrlID(Toolbar()), kToolbarId);
        HIMAGELIST images = reinterpret_cast<HIMAGELIST>(SendMessageA(Toolbar(), TB_GETIMAGELIST, 0, 0));
        int w = 0, h = 0;
        ImageList_GetIconSize(images, &w, &h);
        EXPECT_EQ(w, c.pixels);
        if (!c.old) {
            EXPECT_EQ(ImageList_GetImageCount(images), kLargeArtImages);
        }
        SyncToolbarButtons();
        UpdateWindow(main_);
        EXPECT_GE(modal_driver::DistinctColours(modal_driver::Screenshot(Toolbar(), PicturePath(c.name))), 3u);
        // The toolbar's own drawing, background and buttons, into a picture
        // of its size: other tests' windows on the shared display cannot
        // come between.
        const std::vector<unsigned> shot = modal_driver::PrintedClient(Toolbar());
        EXPECT_GT(modal_driver::DistinctColours(shot), 20u) << "the images in the picture";
        EXPECT_EQ(KeyTinted(shot), 0u) << "the transparent colour at the images' edges";
        // The 16-pixel bitmaps' grey backdrop becomes the toolbar's face.
        if (c.old) EXPECT_EQ(std::count(shot.begin(), shot.end(), 0xC0C0C0u), 0);
        // The large toolbar's two rows, split after Help, fill it: no empty
        // band below the last row.
        if (!c.old) {
            EXPECT_EQ(SendMessageA(Toolbar(), TB_GETROWS, 0, 0), 2);
            RECT help, next;
            SendMessageA(Toolbar(), TB_GETRECT, 40023, reinterpret_cast<LPARAM>(&help));
            SendMessageA(Toolbar(), TB_GETRECT, 40262, reinterpret_cast<LPARAM>(&next));
            EXPECT_EQ(next.left, 0);
            EXPECT_EQ(next.top, help.bottom);
        }
        RECT shown;
        GetClientRect(Toolbar(), &shown);
        ASSERT_EQ(shot.size(), static_cast<size_t>(shown.right) * shown.bottom);
        EXPECT_LE(BlankRowsAtBottom(shot, shown.right, shown.bottom), 8) << "an empty band under the last row of buttons";
        // The background the toolbar asks for, drawn into a picture of its
        // size: the button face at the top, lighter towards the bottom.
        RECT r;
        GetClientRect(Toolbar(), &r);
        const int width = r.right, height = r.bottom;
        ASSERT_GT(height, c.pixels);
        BITMAPINFO bits = {};
        bits.bmiHeader.biSize = sizeof bits.bmiHeader;
        bits.bmiHeader.biWidth = width;
        bits.bmiHeader.biHeight = -height;
        bits.bmiHeader.biPlanes = 1;
        bits.bmiHeader.biBitCount = 32;
        void* data = nullptr;
        HDC dc = CreateCompatibleDC(nullptr);
        HBITMAP picture = CreateDIBSection(dc, &bits, DIB_RGB_COLORS, &data, nullptr, 0);
        HGDIOBJ old = SelectObject(dc, picture);
        NMCUSTOMDRAW draw = {};
        draw.hdr.hwndFrom = Toolbar();
        draw.hdr.idFrom = kToolbarId;
        draw.hdr.code = NM_CUSTOMDRAW;
        draw.dwDrawStage = CDDS_PREERASE;
        draw.hdc = dc;
        LRESULT result = 0;
        EXPECT_EQ(Toolbar_OnNotify(main_, &draw.hdr, result), 1);
        EXPECT_EQ(result, CDRF_SKIPDEFAULT);
        GdiFlush();
        const unsigned* p = static_cast<const unsigned*>(data);
        const COLORREF face = GetSysColor(COLOR_BTNFACE);
        const unsigned faceRgb = (GetRValue(face) << 16) | (GetGValue(face) << 8) | GetBValue(face);
        const unsigned end = Toolbar_GradientEnd(face);
        const unsigned endRgb = (GetRValue(end) << 16) | (GetGValue(end) << 8) | GetBValue(end);
        EXPECT_EQ(p[0] & 0xFFFFFF, faceRgb);
        EXPECT_EQ(p[static_cast<size_t>(height - 1) * width] & 0xFFFFFF, endRgb);
        EXPECT_GT(modal_driver::DistinctColours(std::vector<unsigned>(p, p + static_cast<size_t>(width) * height)),
                  2u);
        SelectObject(dc, old);
        DeleteObject(picture);
        DeleteDC(dc);
        DestroyMainToolbar();
    }
}

TEST_F(ToolbarWin32, ButtonsMirrorTheirMenuItemsAndRemovedItemsHideTheirButtons) {
    ASSERT_EQ(CreateMainToolbars(main_, App().settings), 1);
    HMENU menu = GetMenu(main_);
    struct Case {
        int id;
        UINT enable, check;
        bool enabled, checked;
    } cases[] = {
        {40089, MF_GRAYED, MF_UNCHECKED, false, false}, {40089, MF_ENABLED, MF_UNCHECKED, true, false},
        {40011, MF_ENABLED, MF_CHECKED, true, true},    {40064, MF_GRAYED, MF_CHECKED, false, true},
        {40291, MF_ENABLED, MF_UNCHECKED, true, false},
    };
    for (const Case& c : cases) {
        EnableMenuItem(menu, c.id, MF_BYCOMMAND | c.enable);
        CheckMenuItem(menu, c.id, MF_BYCOMMAND | c.check);
        SyncToolbarButtons();
        EXPECT_EQ(Enabled(c.id), c.enabled) << c.id;
        EXPECT_EQ(Checked(c.id), c.checked) << c.id;
    }
    // Export As has no item: it follows the data to export.
    App().raw = nullptr;
    App().basic.NumPoints = 0;
    App().rbf.NumPoints = 0;
    SyncToolbarButtons();
    EXPECT_FALSE(Enabled(kExportAsCommand));
    App().basic.NumPoints = 5;
    SyncToolbarButtons();
    EXPECT_TRUE(Enabled(kExportAsCommand));
    App().basic.NumPoints = 0;

    // Transfer To removed: its button hides; with the scanner buttons
    // removed too, the separator between the hidden runs hides with them.
    EXPECT_FALSE(Hidden(40240));
    DeleteMenu(menu, 40240, MF_BYCOMMAND);
    SyncToolbarButtons();
    EXPECT_TRUE(Hidden(40240));
    EXPECT_FALSE(HiddenAt(5));
    for (int id : {40064, 40097, 40098, 40194, 40099}) DeleteMenu(menu, id, MF_BYCOMMAND);
    SyncToolbarButtons();
    EXPECT_FALSE(HiddenAt(5));  // between Export As and Laser Pointer
    EXPECT_TRUE(HiddenAt(11));  // right after another shown separator
}

TEST_F(ToolbarWin32, TooltipsShowTheCommandTextAndTheStyleCommandsRebuild) {
    ASSERT_EQ(CreateMainToolbars(main_, App().settings), 1);
    HWND tips = reinterpret_cast<HWND>(SendMessageA(Toolbar(), TB_GETTOOLTIPS, 0, 0));
    ASSERT_NE(tips, nullptr);
    // Receiver is Reference has a text longer than the tip's own buffer.
    for (WORD command : {40052, 40098}) {
        NMTTDISPINFOA info = {};
        info.hdr.hwndFrom = tips;
        info.hdr.idFrom = command;
        info.hdr.code = TTN_GETDISPINFOA;
        LRESULT result = 1;
        ASSERT_EQ(Toolbar_OnNotify(main_, &info.hdr, result), 1);
        const char* expected = FindCommandText(command, GetMenu(main_), false);
        ASSERT_NE(expected, nullptr);
        EXPECT_STREQ(info.lpszText, expected);
    }
    EXPECT_GT(std::strlen(FindCommandText(40098, GetMenu(main_), false)), sizeof(NMTTDISPINFOA::szText));
    EXPECT_EQ(SendMessageA(tips, TTM_GETDELAYTIME, TTDT_INITIAL, 0), 650);

    const struct {
        WORD command;
        int buttons;
        int32_t old, size, labels;
    } steps[] = {
        {40359, 28, 1, 0, 1}, {40384, 33, 0, 0, 1}, {40356, 33, 0, 1, 1}, {40355, 33, 0, 2, 1},
        {40354, 33, 0, 2, 0}, {40383, 28, 1, 2, 0}, {40358, 33, 0, 2, 0}, {40357, 33, 0, 0, 0},
    };
    const GeneralSettings& g = App().settings;
    for (const auto& s : steps) {
        SCOPED_TRACE(s.command);
        MainWnd_OnCommand(s.command);
        ASSERT_NE(Toolbar(), nullptr);
        EXPECT_EQ(SendMessageA(Toolbar(), TB_BUTTONCOUNT, 0, 0), s.buttons);
        EXPECT_EQ(g.UseOldToolbar, s.old);
        EXPECT_EQ(g.ToolbarIconSize, s.size);
        EXPECT_EQ(g.ToolbarLabels, s.labels);
    }
}

// With labels on, every label shows whole at each icon size: its button is
// wider than the text drawn in the toolbar's font, with the toolbar's own
// padding beside it ("Undo Sweep" and "Sweep List" were cut to "Undo S..."
// and "Sweep ...").
TEST_F(ToolbarWin32, EveryLabelFitsItsButton) {
    GeneralSettings& g = App().settings;
    for (int32_t size : {0, 1, 2}) {
        SCOPED_TRACE(size);
        g.ToolbarIconSize = size;
        ASSERT_EQ(CreateMainToolbars(main_, g), 1);
        HDC dc = GetDC(Toolbar());
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(Toolbar(), WM_GETFONT, 0, 0)));
        const int padding = LOWORD(SendMessageA(Toolbar(), TB_GETPADDING, 0, 0));
        int index = 0;
        for (const ToolbarButtonRow& row : kLargeToolbar) {
            const int at = index++;
            if (row.style == ToolStyle::Separator || !row.labelKey) continue;
            char text[256] = "";
            SendMessageA(Toolbar(), TB_GETBUTTONTEXTA, row.command, reinterpret_cast<LPARAM>(text));
            EXPECT_STREQ(text, Locale_GetString(row.labelKey));
            SIZE extent = {};
            GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &extent);
            RECT r = {};
            SendMessageA(Toolbar(), TB_GETITEMRECT, at, reinterpret_cast<LPARAM>(&r));
            EXPECT_GE(r.right - r.left, extent.cx + padding) << text;
        }
        SelectObject(dc, old);
        ReleaseDC(Toolbar(), dc);
        DestroyMainToolbar();
    }
}

}  // namespace
