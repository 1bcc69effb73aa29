// The information, warning and error boxes of the whole program: every
// message of the message sink becomes a box owned by the main window.
#include "app/locale/locale_lookup.h"
#include "app/base/app_messages.h"
#include "app/ui/brand_info.h"
#include "app/ui/message_texts.h"
#include "app/ui/shell_win32.h"

#include <string>

namespace {

UINT IconOf(MessageKind kind) {
    switch (kind) {
        case MessageKind::Error:
            return MB_ICONERROR;
        case MessageKind::Warning:
            return MB_ICONWARNING;
        case MessageKind::Info:
            return MB_ICONINFORMATION;
    }
    return MB_ICONINFORMATION;
}

void ShowBox(const AppMessage& message) {
    const std::string caption = message.titleKey.empty() ? std::string(App_GetProductName())
                                                         : std::string(Locale_GetString(message.titleKey.c_str()));
    HWND owner = Shell().main && IsWindow(Shell().main) ? Shell().main : nullptr;
    MessageBoxA(owner, message.text.c_str(), caption.c_str(), MB_OK | IconOf(message.kind));
}

}  // namespace

void App_InstallMessageBoxes() {
    App_UseLocaleTexts();
    App_SetMessageSink(ShowBox);
}
