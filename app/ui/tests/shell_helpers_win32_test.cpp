// Shell helpers that need Windows: the manual, the
// placeholders in a dialog tree and the colour swatch.
#include "app/locale/locale_lookup.h"
#include "app/base/app_messages.h"
#include "app/ui/app_state.h"
#include "app/ui/shell_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

TEST(ShellHelpersWin32, AMissingManualIsReported) {
    std::vector<AppMessage> messages;
    App_SetMessageSink([&](const AppMessage& m) { messages.push_back(m); });
    App().programFolder = "C:\\nowhere\\";
    Help_OpenManual("Manual.pdf");
    App_SetMessageSink(nullptr);
    ASSERT_EQ(messages.size(), 1u);
    std::string expected;
    Locale_FormatStringWithText(expected, "file_name", "C:\\nowhere\\Manual.pdf", "ErrorManualFileNotFound");
    EXPECT_EQ(messages[0].text, expected);
}

TEST(ShellHelpersWin32, PlaceholdersInEveryWindowOfATree) {
    HWND top = CreateWindowA("STATIC", "About $N", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    HWND child = CreateWindowA("STATIC", "by $C", WS_CHILD, 0, 0, 50, 50, top, nullptr, nullptr, nullptr);
    HWND grandchild = CreateWindowA("STATIC", "$N $X", WS_CHILD, 0, 0, 10, 10, child, nullptr, nullptr, nullptr);
    ExpandDialogTexts(top);
    char text[64];
    GetWindowTextA(top, text, sizeof text);
    EXPECT_STREQ(text, "About Tolvaran");
    GetWindowTextA(child, text, sizeof text);
    EXPECT_STREQ(text, "by Qelvorn");
    GetWindowTextA(grandchild, text, sizeof text);
    EXPECT_STREQ(text, "Tolvaran $X");
    DestroyWindow(top);
}

TEST(ShellHelpersWin32, ColourSwatch) {
    WNDCLASSA c = {};
    c.lpfnWndProc = ColourSample_WndProc;
    c.hInstance = GetModuleHandleA(nullptr);
    c.lpszClassName = "TestColourSample";
    ASSERT_NE(RegisterClassA(&c), 0);
    HWND swatch = CreateWindowA("TestColourSample", "", WS_POPUP | WS_VISIBLE, 0, 0, 20, 20, nullptr, nullptr,
                                c.hInstance, nullptr);
    ASSERT_NE(swatch, nullptr);
    EXPECT_EQ(SendMessageA(swatch, WM_ERASEBKGND, 0, 0), 1);
    ColourSample_Set(swatch, RGB(255, 0, 0));
    UpdateWindow(swatch);
    HDC dc = GetDC(swatch);
    EXPECT_EQ(GetPixel(dc, 5, 5), RGB(255, 0, 0));
    ReleaseDC(swatch, dc);
    DestroyWindow(swatch);
}

}  // namespace
