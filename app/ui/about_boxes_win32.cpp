// The program's about box (names, version, command line, settings location
// and the maker's addresses from the branding) and the surface library's.
#include "app/files/image.h"
#include "app/files/settings_registry.h"
#include "app/locale/locale_dialog_win32.h"
#include "app/locale/locale_lookup.h"
#include "app/ui/brand_info.h"
#include "app/ui/shell_win32.h"
#include "app/ui/surface_dialogs_win32.h"
#include "app/ui/ui_utilities_win32.h"

#include <shellapi.h>

#include <cctype>
#include <cstdio>
#include <string>

namespace {

constexpr int kVersionLine = 1129;
constexpr int kCommandLine = 1127;
constexpr int kSettingsLine = 1128;
constexpr int kAddressLines[] = {1350, 1351, 1352};
constexpr int kWebButton = 1132;
constexpr int kMailButton = 1133;
constexpr int kLibraryVersion = 1255;
const char* const kLibraryVersionText = " 1.4.2-0";

HBITMAP g_logo = nullptr;

void OpenAddress(HWND owner, const std::string& address) {
    if (!address.empty()) ShellExecuteA(owner, "open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

// "Dec 11 2026" and "03:12:45", as the compiler gives them.
std::string VersionLine(const std::string& version) {
    if (version.empty() || !std::isdigit(static_cast<unsigned char>(version.back()))) return version;
    std::string text;
    Locale_FormatString(text, "AboutBuildDate", Locale_NewStringVariable("version", version.c_str()),
                        Locale_NewStringVariable("date", __DATE__), Locale_NewStringVariable("time", __TIME__));
    return text;
}

BOOL CALLBACK MoveDown(HWND child, LPARAM by) {
    RECT r;
    GetWindowRect(child, &r);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
    SetWindowPos(child, nullptr, r.left, r.top + static_cast<int>(by), 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    return TRUE;
}

// The logo above everything else, the window grown by its height.
void PlaceLogo(HWND w, const Image& logo) {
    g_logo = Image_ToDib(logo, GetSysColor(COLOR_BTNFACE));  // a logo's alpha over the dialog face
    if (!g_logo) return;
    EnumChildWindows(w, MoveDown, logo.height);
    RECT r;
    GetWindowRect(w, &r);
    SetWindowPos(w, nullptr, 0, 0, r.right - r.left, r.bottom - r.top + logo.height, SWP_NOMOVE | SWP_NOZORDER);
    RECT client;
    GetClientRect(w, &client);
    HWND picture =
        CreateWindowExA(0, "STATIC", nullptr, WS_CHILD | WS_VISIBLE | SS_BITMAP, (client.right - logo.width) / 2, 0,
                        logo.width, logo.height, w, nullptr, Shell().instance, nullptr);
    SendMessageA(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(g_logo));
}

void AboutOnInit(HWND w) {
    Locale_LocaliseDialog(w, kAboutTemplate);
    const BrandInfo& brand = Brand_Get();
    SetWindowTextA(w, (brand.company + " " + brand.product).c_str());
    SetDlgItemTextA(w, kVersionLine, VersionLine(brand.version).c_str());
    SetDlgItemTextA(w, kCommandLine, GetCommandLineA());
    std::string settings;
    Locale_FormatStringWithText(settings, "location", Settings_GetRootPath(), "AboutRegistryLocation");
    SetDlgItemTextA(w, kSettingsLine, settings.c_str());
    const std::string lines[3] = {brand.address, brand.telephone, brand.fax};
    for (int i = 0; i < 3; ++i) SetDlgItemTextA(w, kAddressLines[i], lines[i].c_str());
    char web[512];
    std::snprintf(web, sizeof web, "&%s", brand.url.c_str());
    SetDlgItemTextA(w, kWebButton, web);
    if (brand.helpabout && brand.helpabout->pixels) PlaceLogo(w, *brand.helpabout);
}

INT_PTR CALLBACK AboutDialogProc(HWND w, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            AboutOnInit(w);
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case kWebButton:
                    OpenAddress(w, Brand_Get().url);
                    return TRUE;
                case IDOK:
                case IDCANCEL:
                    EndDialog(w, LOWORD(wParam));
                    return TRUE;
            }
            break;
        case WM_DESTROY:
            if (g_logo) DeleteObject(g_logo);
            g_logo = nullptr;
            return FALSE;
    }
    return FALSE;
}

// The library's maker is the program's: its web page, and a mail address at
// the web page's host.
std::string MakerHost() {
    std::string url = Brand_Get().url;
    const size_t scheme = url.find("://");
    if (scheme != std::string::npos) url = url.substr(scheme + 3);
    const size_t slash = url.find('/');
    if (slash != std::string::npos) url = url.substr(0, slash);
    if (url.compare(0, 4, "www.") == 0) url = url.substr(4);
    return url;
}

// Empty when the web page names no host.
std::string MakerMailAddress() {
    const std::string host = MakerHost();
    return host.empty() ? std::string() : "surfaces@" + host;
}

std::string MakerMail() {
    const std::string address = MakerMailAddress();
    return address.empty() ? std::string() : "mailto:" + address;
}

INT_PTR CALLBACK LibraryAboutDialogProc(HWND w, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG: {
            Locale_LocaliseDialog(w, kLibraryAboutTemplate);
            char label[256] = "";
            GetDlgItemTextA(w, kLibraryVersion, label, sizeof label);
            SetDlgItemTextA(w, kLibraryVersion, (std::string(label) + kLibraryVersionText).c_str());
            SetDlgItemTextA(w, kMailButton, MakerMailAddress().c_str());
            SetDlgItemTextA(w, kWebButton, Brand_Get().url.c_str());
            return TRUE;
        }
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case kMailButton:
                    OpenAddress(w, MakerMail());
                    return TRUE;
                case kWebButton:
                    OpenAddress(w, Brand_Get().url);
                    return TRUE;
                case IDOK:
                case IDCANCEL:
                    EndDialog(w, LOWORD(wParam));
                    return TRUE;
            }
            break;
    }
    return FALSE;
}

}  // namespace

INT_PTR AboutDialog_Run(HWND owner) {
    return DialogBoxParamA(Shell().instance, MAKEINTRESOURCEA(kAboutTemplate), owner, AboutDialogProc, 0);
}

INT_PTR LibraryAboutDialog_Run(HWND owner) {
    return DialogBoxParamA(Shell().instance, MAKEINTRESOURCEA(kLibraryAboutTemplate), owner, LibraryAboutDialogProc, 0);
}
