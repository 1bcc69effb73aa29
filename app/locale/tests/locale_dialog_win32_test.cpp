// Setting the texts of a real dialog window from the dialog text table.
#include "app/locale/locale_dialog_texts.h"
#include "app/locale/locale_dialog_win32.h"
#include "app/locale/locale_string_table.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string TextOf(HWND window) {
    char text[256] = "";
    GetWindowTextA(window, text, sizeof text);
    return text;
}

class DialogWindow : public ::testing::Test {
protected:
    void SetUp() override {
        Locale_RegisterDialogTexts();
        dialog_ = CreateWindowExA(0, "STATIC", "template caption", WS_POPUP, 0, 0, 200, 100, nullptr,
                                  nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(dialog_, nullptr);
    }
    void TearDown() override { DestroyWindow(dialog_); }

    HWND AddControl(int id) {
        return CreateWindowExA(0, "STATIC", "template text", WS_CHILD, 0, 0, 50, 10, dialog_,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                               GetModuleHandleA(nullptr), nullptr);
    }

    HWND dialog_ = nullptr;
};

TEST_F(DialogWindow, SetsCaptionAndControlsFromTheTable) {
    Locale_Strings().Set("CalibrationCorrectionInfoTitle", "Correction Result");
    Locale_Strings().Set("StandardMillimetresAbbreviation", "mm");
    HWND first = AddControl(1579);
    HWND second = AddControl(1580);
    HWND missing = AddControl(1366);  // CalibrationCorrectionInfoDiscard: not in this locale
    Locale_LocaliseDialog(dialog_, 354);
    EXPECT_EQ(TextOf(dialog_), "Correction Result");
    EXPECT_EQ(TextOf(first), "mm");
    EXPECT_EQ(TextOf(second), "mm");
    EXPECT_EQ(TextOf(missing), "**CalibrationCorrectionInfoDiscard");
}

TEST_F(DialogWindow, UnknownTemplateChangesNothing) {
    HWND control = AddControl(1579);
    Locale_LocaliseDialog(dialog_, 9876);
    EXPECT_EQ(TextOf(dialog_), "template caption");
    EXPECT_EQ(TextOf(control), "template text");
}

}  // namespace
