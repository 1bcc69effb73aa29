// The program's real message boxes, read back from the screen while they are
// open: caption, owner, icon and text of each box the sink shows, for the
// record's own caption, a caption key, the product name, no owner, another
// owner and an owner that has gone; and the boxes of callers that give a
// caption of their own (the locale loader, the Graphics Strings command).
#include "app/base/app_messages.h"
#include "app/locale/locale_loader.h"
#include "app/locale/locale_lookup.h"
#include "app/locale/locale_parser.h"
#include "app/ui/tests/shell_fixture_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct SeenBox {
    std::string caption;
    std::string text;
    HWND owner = nullptr;
    bool icon = false;
};

std::vector<SeenBox>& Seen() {
    static std::vector<SeenBox> seen;
    return seen;
}

BOOL CALLBACK FindStatics(HWND child, LPARAM parameter) {
    SeenBox& box = *reinterpret_cast<SeenBox*>(parameter);
    char name[32] = "";
    GetClassNameA(child, name, sizeof name);
    if (lstrcmpiA(name, "Static") != 0 || !IsWindowVisible(child)) return TRUE;
    if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        box.icon = box.icon || SendMessageA(child, STM_GETICON, 0, 0) != 0;
    } else {
        char text[2048] = "";
        GetWindowTextA(child, text, sizeof text);
        if (text[0]) box.text = text;
    }
    return TRUE;
}

BOOL CALLBACK ReadOpenBox(HWND window, LPARAM) {
    char name[32] = "";
    GetClassNameA(window, name, sizeof name);
    if (std::string(name) != "#32770" || !IsWindowVisible(window)) return TRUE;
    SeenBox box;
    char caption[256] = "";
    GetWindowTextA(window, caption, sizeof caption);
    box.caption = caption;
    box.owner = GetWindow(window, GW_OWNER);
    EnumChildWindows(window, FindStatics, reinterpret_cast<LPARAM>(&box));
    Seen().push_back(box);
    SendMessageA(window, WM_COMMAND, IDOK, 0);
    return FALSE;
}

VOID CALLBACK ReadBoxes(HWND, UINT, UINT_PTR, DWORD) { EnumThreadWindows(GetCurrentThreadId(), ReadOpenBox, 0); }

// Reads every box this thread opens while the reader lives.
class BoxReader {
  public:
    BoxReader() {
        Seen().clear();
        timer_ = SetTimer(nullptr, 0, 20, ReadBoxes);
    }
    ~BoxReader() { KillTimer(nullptr, timer_); }
    BoxReader(const BoxReader&) = delete;
    BoxReader& operator=(const BoxReader&) = delete;

  private:
    UINT_PTR timer_;
};

class MessageBoxes : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { Locale_Load(); }
    void SetUp() override {
        main_ = OpenShellWindow();
        ASSERT_NE(main_, nullptr);
        App_InstallMessageBoxes();
    }
    void TearDown() override { CloseShellWindow(main_); }
    HWND main_ = nullptr;
};

TEST_F(MessageBoxes, CaptionAndOwnerOfEachRecord) {
    HWND other = CreateWindowA("STATIC", "Other", WS_POPUP | WS_VISIBLE, 10, 10, 100, 60, main_, nullptr, nullptr,
                               nullptr);
    HWND gone = CreateWindowA("STATIC", "Gone", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    DestroyWindow(gone);
    struct Case {
        const char* name;
        MessageKind kind;
        const char* title;
        const char* titleKey;
        bool ownerless;
        HWND owner;
        const char* caption;
        HWND expectedOwner;
        bool icon;
    };
    const std::string errorTitle = Locale_GetString("StandardDialogErrorTitle");
    const Case cases[] = {
        {"fixed caption", MessageKind::Warning, "Processing Complete", "", false, nullptr, "Processing Complete",
         main_, true},
        {"caption key", MessageKind::Error, "", "StandardDialogErrorTitle", false, nullptr, errorTitle.c_str(), main_,
         true},
        {"product name", MessageKind::Info, "", "", false, nullptr, "Tolvaran", main_, true},
        {"no owner", MessageKind::Error, "Localization Error", "", true, nullptr, "Localization Error", nullptr, true},
        {"another owner", MessageKind::Error, "AAOP Error", "", false, other, "AAOP Error", other, true},
        {"owner gone", MessageKind::Error, "AAOP Error", "", false, gone, "AAOP Error", nullptr, true},
        {"plain", MessageKind::Plain, "GL_VENDOR", "", false, nullptr, "GL_VENDOR", main_, false},
    };
    ASSERT_NE(errorTitle, "Tolvaran");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AppMessage message;
        message.kind = c.kind;
        message.title = c.title;
        message.titleKey = c.titleKey;
        message.ownerless = c.ownerless;
        message.owner = c.owner;
        message.text = std::string("Text of ") + c.name;
        BoxReader reader;
        App_ShowMessage(message);
        ASSERT_EQ(Seen().size(), 1u);
        EXPECT_EQ(Seen()[0].caption, c.caption);
        EXPECT_EQ(Seen()[0].owner, c.expectedOwner);
        EXPECT_EQ(Seen()[0].icon, c.icon);
        EXPECT_EQ(Seen()[0].text, message.text);
    }
    DestroyWindow(other);
}

TEST_F(MessageBoxes, LocaleErrorsHaveTheirCaptionAndNoOwner) {
    BoxReader reader;
    Locale_ShowError("Locale file x, line 3: bad line");
    ASSERT_EQ(Seen().size(), 1u);
    EXPECT_EQ(Seen()[0].caption, "Localization Error");
    EXPECT_EQ(Seen()[0].owner, nullptr);
    EXPECT_EQ(Seen()[0].text, "Locale file x, line 3: bad line");
}

TEST_F(MessageBoxes, GraphicsStringsArePlainBoxesNamedForTheirItem) {
    BoxReader reader;
    SendMessageA(main_, WM_COMMAND, 40246, 0);
    ASSERT_EQ(Seen().size(), 5u);
    const char* captions[] = {"GL_VENDOR", "GL_RENDERER", "GL_VERSION", "GL_EXTENSIONS", "WGL_EXTENSIONS"};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(captions[i]);
        EXPECT_EQ(Seen()[i].caption, captions[i]);
        EXPECT_FALSE(Seen()[i].icon);
        // The view is a child window: its box belongs to the view's top-level window.
        EXPECT_EQ(Seen()[i].owner, main_);
    }
    EXPECT_FALSE(Seen()[0].text.empty());
}

}  // namespace
