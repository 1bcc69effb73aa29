// The information, warning and error boxes of the whole program: every
// message of the message sink becomes a box with the caption and the owner
// its record asks for (the product name and the main window by default).
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
        case MessageKind::Plain:
            return 0;
    }
    return MB_ICONINFORMATION;
}

std::string CaptionOf(const AppMessage& message) {
    if (!message.title.empty()) return message.title;
    if (!message.titleKey.empty()) return Locale_GetString(message.titleKey.c_str());
    return App_GetProductName();
}

// A window that has gone leaves the box without an owner.
HWND OwnerOf(const AppMessage& message) {
    if (message.ownerless) return nullptr;
    HWND owner = message.owner ? static_cast<HWND>(message.owner) : Shell().main;
    return owner && IsWindow(owner) ? owner : nullptr;
}

void ShowBox(const AppMessage& message) {
    try {
        const std::string caption = CaptionOf(message);
        MessageBoxA(OwnerOf(message), message.text.c_str(), caption.c_str(), MB_OK | IconOf(message.kind));
    } catch (const std::bad_alloc&) {
        // The box is shown from window procedures and threads: no exception
        // may leave it. Without memory for the caption, the text alone.
        MessageBoxA(OwnerOf(message), message.text.c_str(), nullptr, MB_OK | MB_ICONERROR);
    }
}

}  // namespace

void App_InstallMessageBoxes() {
    App_UseLocaleTexts();
    App_SetMessageSink(ShowBox);
}
