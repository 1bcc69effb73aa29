// The AAOP Export Wizard's frame: the state, page navigation, the view and
// its commands, the limit markers, the message loop and the slicing worker.
// The pages are in aaop_wizard_pages_win32.cpp.
#include "app/ui/aaop_wizard_win32.h"

#include <commctrl.h>

#include <cstdio>
#include <cstring>

#include "app/base/app_messages.h"
#include "app/export/aaop_slice.h"
#include "app/export/op3_slice.h"
#include "app/locale/locale_lookup.h"
#include "app/ui/aaop_wizard_pages_win32.h"
#include "app/ui/app_state.h"
#include "app/ui/brand_info.h"
#include "app/ui/graph_window_win32.h"
#include "app/ui/nav_movement.h"
#include "app/ui/navigation.h"
#include "app/ui/scene_draw_win32.h"
#include "app/ui/shell_win32.h"
#include "app/ui/ui_utilities_win32.h"
#include "app/ui/view_window_win32.h"

namespace {

constexpr UINT kMsgSliceDone = 0x8010;
constexpr const char* kSupportAddress = "support@tolvaran.com";

AaopWizardState g_state;
void (*g_progressObserver)(HWND, float) = nullptr;

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

void ShowBox(MessageKind kind, const char* title, const char* text, void* owner = nullptr) {
    AaopPages_Box(kind, title, text, owner);
}

// The height ratio of the wizard's view to the main view, by which the zoom
// is scaled so that the surface keeps its size relative to the window.
float ZoomRatio() {
    RECT mine = {0, 0, 0, 0}, main = {0, 0, 0, 0};
    if (!g_state.view || !GetClientRect(g_state.view, &mine)) return 1.0f;
    if (!g_state.mainView || !GetClientRect(g_state.mainView, &main) || main.bottom <= 0) return 1.0f;
    return static_cast<float>(mine.bottom) / static_cast<float>(main.bottom);
}

void PostViewPaint(int32_t level) {
    if (g_state.view) PostMessageA(g_state.view, WM_PAINT, 0, level);
}

void PaintView(int32_t level) {
    HWND view = g_state.view;
    PageInstance* page = g_state.current;
    if (!view || !Graph_Record(view)) return;
    if (level == 0) {
        Graph_PresentOverlay(view);
        return;
    }
    if (level < 1 || level > 4 || !page) return;
    Graph_MakeCurrent(view);
    Graph_Setup3D(*AaopWizard_CurrentView(), *g_state.settings, view, 0.3125f);
    if (level == 1) {
        page->page->drawQuick(*page);
        return;
    }
    if (g_state.paints < 3) Graph_ClearFrame(view);
    if (page->page->draw) page->page->draw(*page);
    ++g_state.paints;
}

void FrameHook(intptr_t, intptr_t) {
    PageInstance* page = g_state.current;
    if (page && page->page->overlay) page->page->overlay(*page);
}

int32_t PickListener(intptr_t, intptr_t, int32_t event, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
                     int32_t* level) {
    PageInstance* page = g_state.current;
    if (!page || !page->page->pick) return 0;
    return page->page->pick(*page, event, x1, y1, x2, y2, level);
}

// The page's cursor over the point of the view under the mouse.
void SetViewCursor(HWND window) {
    PageInstance* page = g_state.current;
    POINT at;
    int32_t kind = 0;
    if (page && page->page->cursorKind && GetCursorPos(&at) && ScreenToClient(window, &at))
        kind = page->page->cursorKind(*page, at.x, at.y);
    Graph_SetMoveCursor(window, kind);
}

LRESULT CALLBACK ViewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const int32_t x = static_cast<int16_t>(LOWORD(lParam)), y = static_cast<int16_t>(HIWORD(lParam));
    NavigationState* nav = Graph_GetNavigation(window);
    switch (message) {
        case WM_DESTROY:
            Graph_Destroy(window);
            return 0;
        case WM_SIZE:
            PostMessageA(window, WM_PAINT, 0, 4);
            return 0;
        case WM_PAINT:
            ValidateRect(window, nullptr);
            PaintView(static_cast<int32_t>(lParam));
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_CLOSE:
            DestroyWindow(window);
            return 0;
        case WM_SETCURSOR:
            if (LOWORD(lParam) != HTCLIENT) break;
            SetViewCursor(window);
            return TRUE;
        case WM_MOUSEMOVE:
            if ((wParam & MK_LBUTTON) && nav) {
                GraphViewPort port(window, false);
                const int32_t level = Nav_DragMove(*nav, port, *AaopWizard_CurrentView(), x, y);
                if (level >= 0) PostMessageA(window, WM_PAINT, 0, level);
            }
            if ((wParam & MK_RBUTTON) && nav) {
                GraphViewPort port(window, false);
                const int32_t level = Nav_CaptureMove(*nav, port, *AaopWizard_CurrentView(), x, y);
                if (level >= 0) PostMessageA(window, WM_PAINT, 0, level);
            }
            return 0;
        case WM_LBUTTONDOWN:
            if (nav) Nav_BeginDrag(*nav, x, y, (GetKeyState(VK_MENU) & 0x8000) != 0, false);
            SetCapture(window);
            return 0;
        case WM_LBUTTONUP:
            if (nav) {
                GraphViewPort port(window, false);
                if (Nav_EndDrag(*nav, port, *AaopWizard_CurrentView(), x, y) >= 0) PostMessageA(window, WM_PAINT, 0, 3);
            }
            ReleaseCapture();
            return 0;
        case WM_RBUTTONDOWN:
            if (nav) Nav_BeginCapture(*nav, x, y);
            SetCapture(window);
            return 0;
        case WM_RBUTTONUP:
            if (nav && Nav_EndCapture(*nav, x, y) >= 0) PostMessageA(window, WM_PAINT, 0, 3);
            ReleaseCapture();
            return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void EnsureGraphClass() {
    WNDCLASSEXA c = {};
    c.cbSize = sizeof c;
    if (GetClassInfoExA(Instance(), "KorvGraph", &c)) return;
    c.style = CS_OWNDC;  // as the program's own view class
    c.lpfnWndProc = DefWindowProcA;
    c.hInstance = Instance();
    c.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    c.lpszClassName = "KorvGraph";
    RegisterClassExA(&c);
}

RECT ControlRect(int id) {
    RECT r = {0, 0, 0, 0};
    HWND control = GetDlgItem(g_state.dialog, id);
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, g_state.dialog, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

void CreateView() {
    EnsureGraphClass();
    const RECT r = ControlRect(1331);
    // The stencil buffer carries the stylus groups' ids, so that a page can
    // pick the point under a click.
    static const int kStencil = 1;
    HWND view = CreateWindowExA(WS_EX_CLIENTEDGE, "KorvGraph", nullptr,
                                WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, r.left, r.top,
                                r.right - r.left, r.bottom - r.top, g_state.dialog, nullptr, Instance(),
                                const_cast<int*>(&kStencil));
    if (!view) return;
    SetWindowLongPtrA(view, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ViewProc));
    if (!Graph_Record(view)) Graph_Create(view, *g_state.settings, &kStencil);
    g_state.view = view;
    Graph_SetWizardHandler(0, 0, view, FrameHook);
    if (NavigationState* nav = Graph_GetNavigation(view)) Nav_AddListener(*nav, PickListener, 0, 0);
}

void InitTitle() {
    HDC dc = GetDC(g_state.dialog);
    const int height = -MulDiv(10, GetDeviceCaps(dc, LOGPIXELSY), 72);
    ReleaseDC(g_state.dialog, dc);
    g_state.titleFont =
        CreateFontA(height, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, VARIABLE_PITCH | FF_SWISS,
                    Os_IsXpOrLater() ? "Microsoft Sans Serif" : "MS Sans Serif");
    SendDlgItemMessageA(g_state.dialog, 1322, WM_SETFONT, reinterpret_cast<WPARAM>(g_state.titleFont), 0);
}

void ShowCurrentPage() {
    PageInstance* page = g_state.current;
    const RECT place = ControlRect(1323);
    SetWindowPos(page->window, HWND_TOP, place.left, place.top, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
    SetDlgItemTextA(g_state.dialog, 1322, page->page->title);
    SetDlgItemTextA(g_state.dialog, 1325, page->page->nextText);
    EnableWindow(GetDlgItem(g_state.dialog, 3), page->back != nullptr);
    g_state.accelerators = page->page->accelerators;
    if (NavigationState* nav = Graph_GetNavigation(g_state.view)) nav->allowed = page->page->motions;
    PostViewPaint(3);
}

INT_PTR CALLBACK PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(window, DWLP_USER, lParam);
        PageInstance* page = reinterpret_cast<PageInstance*>(lParam);
        page->window = window;
    }
    PageInstance* page = reinterpret_cast<PageInstance*>(GetWindowLongPtrA(window, DWLP_USER));
    if (!page) return 0;
    return page->page->dialogProc ? page->page->dialogProc(*page, message, wParam, lParam) : 0;
}

void EnterForward(AaopWizardPage& descriptor) {
    PageInstance* page = descriptor.instance;
    page->page = &descriptor;
    page->back = g_state.current;
    page->state = &g_state;
    page->window = nullptr;
    g_state.current = page;
    if (descriptor.enter) descriptor.enter(*page);
    CreateDialogParamA(Instance(), MAKEINTRESOURCEA(descriptor.templateId), g_state.dialog, PageProc,
                       reinterpret_cast<LPARAM>(page));
    ShowCurrentPage();
}

void OnNext() {
    PageInstance* page = g_state.current;
    if (!page) return;
    page->savedView = g_state.live;
    page->viewSaved = 1;
    AaopWizardPage* following = nullptr;
    if (!page->page->next || !page->page->next(*page, following) || !following) return;
    ShowWindow(page->window, SW_HIDE);
    EnterForward(*following);
}

void OnBack() {
    PageInstance* page = g_state.current;
    if (!page || !page->back) return;
    if (page->page->back && !page->page->back(*page)) return;
    if (page->page->leave) page->page->leave(*page);
    DestroyWindow(page->window);
    page->window = nullptr;
    g_state.current = page->back;
    PageInstance* previous = g_state.current;
    if (previous->page->enter) previous->page->enter(*previous);
    g_state.live = previous->savedView;
    ShowCurrentPage();
}

void ViewCommand(WORD id) {
    PageInstance* page = g_state.current;
    if (!page) return;
    ViewSettings& view = *AaopWizard_CurrentView();
    if (id == 40009) {
        if (!(page->page->motions & kNavPan)) return;
        if (Nav_CenterOnPoints(view, g_state.surface->Points, g_state.surface->NumPoints)) PostViewPaint(3);
        return;
    }
    if (id == 40010) {
        if (page->page->motions != 0x1F) return;
        g_state.live = *g_state.mainViewSettings;
        g_state.live.ZoomFactor *= ZoomRatio();
        PostViewPaint(3);
        return;
    }
    if (!Nav_IsStepCommand(id)) return;
    const int32_t level = Nav_MovementLevel(g_state.settings->Movement, (GetKeyState(VK_SHIFT) & 0x8000) != 0,
                                            (GetKeyState(VK_CONTROL) & 0x8000) != 0);
    if (Nav_Step(id, view, page->page->motions, level, App().editions.tarrel)) PostViewPaint(3);
}

// ---- Limit markers ----------------------------------------------------------

bool InVisibleMarker(int marker, POINT point) {
    HWND control = GetDlgItem(g_state.dialog, marker == 0 ? 1338 : 1339);
    if (!IsWindowVisible(control)) return false;
    const RECT r = ControlRect(marker == 0 ? 1338 : 1339);
    return PtInRect(&r, point) != 0;
}

void OnMarkerPress(int x, int y) {
    const POINT point = {x, y};
    int marker = -1;
    if (InVisibleMarker(0, point)) marker = 0;
    if (InVisibleMarker(1, point)) marker = 1;
    if (marker < 0) return;
    g_state.dragging = marker;
    g_state.dragStartY = y;
    const RECT bar = ControlRect(1341), r = ControlRect(marker == 0 ? 1338 : 1339);
    g_state.dragStartPosition = (r.top + r.bottom) / 2 - bar.top;
    SetCapture(g_state.dialog);
}

void OnMarkerDrag(int y) {
    if (g_state.dragging < 0) return;
    AaopWizard_MoveMarker(g_state.dragging, g_state.dragStartPosition + (y - g_state.dragStartY));
}

INT_PTR CALLBACK WizardProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            g_state.dialog = window;
            InitTitle();
            CreateView();
            for (int id : {1341, 1338, 1339}) ShowWindow(GetDlgItem(window, id), SW_HIDE);
            g_state.live.ZoomFactor *= ZoomRatio();
            PostViewPaint(3);
            return TRUE;
        case WM_CTLCOLORSTATIC: {
            const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
            if (id != 1322 && id != 1358) return FALSE;
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, RGB(255, 255, 255));
            SetBkColor(dc, RGB(0, 0, 0));
            return reinterpret_cast<INT_PTR>(GetStockObject(BLACK_BRUSH));
        }
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case 1325:
                    OnNext();
                    return TRUE;
                case 3:
                    OnBack();
                    return TRUE;
                case IDCANCEL:
                    SendMessageA(window, WM_CLOSE, 0, 0);
                    return TRUE;
                default:
                    ViewCommand(LOWORD(wParam));
                    return TRUE;
            }
        case WM_LBUTTONDOWN:
            OnMarkerPress(static_cast<int16_t>(LOWORD(lParam)), static_cast<int16_t>(HIWORD(lParam)));
            return TRUE;
        case WM_MOUSEMOVE:
            if (wParam & MK_LBUTTON) OnMarkerDrag(static_cast<int16_t>(HIWORD(lParam)));
            return TRUE;
        case WM_LBUTTONUP:
            if (g_state.dragging >= 0) {
                g_state.dragging = -1;
                ReleaseCapture();
            }
            return TRUE;
        case WM_CLOSE:
            g_state.closed = 1;
            DestroyWindow(window);
            if (HWND main = Shell().main) EnableWindow(main, TRUE);
            return TRUE;
        case WM_DESTROY:
            SendDlgItemMessageA(window, 1322, WM_SETFONT, 0, 0);
            if (g_state.titleFont) DeleteObject(g_state.titleFont);
            g_state.titleFont = nullptr;
            OrthoModel_Free(g_state.model);
            g_state.dialog = nullptr;
            g_state.view = nullptr;
            return TRUE;
    }
    return FALSE;
}

void RunLoop() {
    HWND main = Shell().main;
    MSG message;
    while (!g_state.closed) {
        if (main) EnableWindow(main, FALSE);
        if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            WaitMessage();
            continue;
        }
        if (message.message == WM_QUIT) {
            g_state.closed = 1;
            PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        if (g_state.accelerators && g_state.accel && g_state.dialog &&
            TranslateAcceleratorA(g_state.dialog, g_state.accel, &message))
            continue;
        if (g_state.dialog && IsDialogMessageA(g_state.dialog, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    if (g_state.dialog) DestroyWindow(g_state.dialog);
    if (main) {
        EnableWindow(main, TRUE);
        SetForegroundWindow(main);
    }
}

void RestoreStylus() {
    AaopWizard_RestoreStylusItems();
    g_state.backup.clear();
    g_state.backup.shrink_to_fit();
}

// ---- The slicing worker -----------------------------------------------------

struct WorkerJob {
    OrthoJob job;
    int result = 0;
};

DWORD WINAPI Worker(void* argument) {
    OrthoJob& job = *static_cast<OrthoJob*>(argument);
    std::string error;
    const int result = job.Setup.Kind ? Op3Slice_Compute(*job.Model, *job.Mesh, job.Stylus, job, error)
                                      : AaopSlice_Compute(*job.Model, *job.Mesh, job.Stylus, job, error);
    HWND box = static_cast<HWND>(job.ProgressWindow);
    if (result == kOrthoOk) {
        PostMessageA(box, kMsgSliceDone, 1, 0);
        return 0;
    }
    if (result != kOrthoAborted) {
        if (error.empty()) {
            char text[1024];
            std::snprintf(text, sizeof text, "Unexpected error (%d), please report to %s", result, kSupportAddress);
            error = text;
        }
        ShowBox(MessageKind::Error, "AAOP Error", error.c_str(), box);
    }
    PostMessageA(box, kMsgSliceDone, 0, 0);
    return 0;
}

INT_PTR CALLBACK ProcessingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    OrthoJob* job = reinterpret_cast<OrthoJob*>(GetWindowLongPtrA(window, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG:
            job = reinterpret_cast<OrthoJob*>(lParam);
            SetWindowLongPtrA(window, DWLP_USER, lParam);
            SetWindowLongPtrA(window, GWLP_USERDATA, 1);
            SendDlgItemMessageA(window, 1154, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
            SetDlgItemTextA(window, 1322, job->Setup.Kind ? "Generating OP3 object..." : "Generating AAOP object...");
            job->ProgressWindow = window;
            ResumeThread(static_cast<HANDLE>(job->Thread));
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDCANCEL) SetWindowLongPtrA(window, GWLP_USERDATA, 0);
            return TRUE;
        case kMsgSliceDone:
            WaitForSingleObject(static_cast<HANDLE>(job->Thread), INFINITE);
            CloseHandle(static_cast<HANDLE>(job->Thread));
            job->Thread = nullptr;
            EndDialog(window, static_cast<INT_PTR>(wParam));
            return TRUE;
    }
    return FALSE;
}

}  // namespace

AaopWizardState& AaopWizard_State() { return g_state; }

ViewSettings* AaopWizard_CurrentView() {
    PageInstance* page = g_state.current;
    if (page && page->page->viewRecord) return page->page->viewRecord(*page);
    return &g_state.live;
}

void AaopWizard_RepaintView(int32_t level) { PostViewPaint(level); }

// The list only grows while the wizard is open, so the backup always fits.
void AaopWizard_RestoreStylusItems() {
    StylusItemList& items = *g_state.items;
    const StylusItemList& head = g_state.backupHead;
    const int32_t count = static_cast<int32_t>(g_state.backup.size());
    if (count > 0 && items.Items && items.Capacity >= count)
        std::memcpy(items.Items, g_state.backup.data(), g_state.backup.size() * sizeof(StylusItem));
    items.TotalCount = head.TotalCount;
    items.VisibleCount = head.VisibleCount;
    items.GroupCount = head.GroupCount;
    items.CaptureMarker = head.CaptureMarker;
    items.ReplaceNeeded = head.ReplaceNeeded;
}

void AaopWizard_MoveMarker(int marker, int position) {
    const RECT bar = ControlRect(1341);
    const int height = bar.bottom - bar.top;
    if (position < 0) position = 0;
    if (position > height) position = height;
    PageInstance* page = g_state.current;
    if (!page || !page->page->markerMoved || !page->page->markerMoved(*page, marker, position)) return;
    HWND control = GetDlgItem(g_state.dialog, marker == 0 ? 1338 : 1339);
    const RECT r = ControlRect(marker == 0 ? 1338 : 1339);
    SetWindowPos(control, nullptr, bar.left, bar.top + position - (r.bottom - r.top) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER);
    g_state.markers[marker] = position;
    InvalidateRect(g_state.dialog, &bar, TRUE);
}

int AaopWizard_BarHeight() {
    const RECT bar = ControlRect(1341);
    return bar.bottom - bar.top;
}

void AaopWizard_ShowMarkers(bool bar, bool upper, bool lower) {
    ShowWindow(GetDlgItem(g_state.dialog, 1341), bar ? SW_SHOW : SW_HIDE);
    ShowWindow(GetDlgItem(g_state.dialog, 1338), upper ? SW_SHOW : SW_HIDE);
    ShowWindow(GetDlgItem(g_state.dialog, 1339), lower ? SW_SHOW : SW_HIDE);
}

void AaopWizard_Close() {
    if (g_state.dialog) SendMessageA(g_state.dialog, WM_CLOSE, 0, 0);
}

void AaopWizard_SetProgressObserver(void (*observer)(HWND, float)) { g_progressObserver = observer; }

HWND AaopWizard_Window() { return g_state.dialog; }
HWND AaopWizard_View() { return g_state.view; }

bool Ortho_Progress(float fraction, OrthoJob& job) {
    HWND box = static_cast<HWND>(job.ProgressWindow);
    if (!box) return true;
    if (g_progressObserver) g_progressObserver(box, fraction);
    SendDlgItemMessageA(box, 1154, PBM_SETPOS, static_cast<WPARAM>(static_cast<int>(fraction * 100)), 0);
    return GetWindowLongPtrA(box, GWLP_USERDATA) != 0;
}

int Ortho_Run(HWND owner, const SurfaceRecord& surface, const StylusItemList* items, const OrthoSliceSetup& setup,
              OrthoModel& model) {
    OrthoJob job;
    job.Mesh = &surface;
    job.Stylus = items;
    job.Setup = setup;
    job.Model = &model;
    job.Progress = Ortho_Progress;
    job.Thread = CreateThread(nullptr, 0, Worker, &job, CREATE_SUSPENDED, nullptr);
    if (!job.Thread) {
        ShowBox(MessageKind::Error, "Error", "Could not create processing thread.  Too many threads?");
        return 0;
    }
    const INT_PTR result =
        DialogBoxParamA(Instance(), MAKEINTRESOURCEA(334), owner, ProcessingProc, reinterpret_cast<LPARAM>(&job));
    if (job.Thread) CloseHandle(static_cast<HANDLE>(job.Thread));
    return result == 1 ? 1 : 0;
}

int AaopWizard_Run(SurfaceRecord& surface, const ViewSettings& view, GeneralSettings& settings, StylusItemList& items) {
    if (g_state.dialog) return 0;  // only one wizard at a time
    g_state = AaopWizardState();
    g_state.setup = OrthoSliceSetup_Default();
    g_state.settings = &settings;
    g_state.live = view;
    g_state.result = view;
    g_state.mainViewSettings = &view;
    g_state.mainView = Shell().view;
    g_state.surface = &surface;
    g_state.items = &items;
    g_state.autoTranslate = 1;
    g_state.dragging = -1;
    g_state.backupHead = items;
    if (items.Items && items.TotalCount > 0) g_state.backup.assign(items.Items, items.Items + items.TotalCount);
    g_state.accel = LoadAcceleratorsA(Instance(), "KORV");
    HWND main = Shell().main;
    CreateDialogParamA(Instance(), MAKEINTRESOURCEA(356), main, WizardProc, 0);
    if (!g_state.dialog) {
        RestoreStylus();
        return 0;
    }
    ShowWindow(g_state.dialog, SW_SHOW);
    AaopWizardPages_InitAll();
    EnterForward(*AaopWizardPages_First());
    RunLoop();
    RestoreStylus();
    const int exported = g_state.exported;
    g_state.current = nullptr;
    return exported;
}

bool AaopWizard_Command(WORD id) {
    if (id != 40171) return false;
    AaopWizard_OpenOnRbf();
    return true;
}

void AaopWizard_OpenOnRbf() {
    AppState& app = App();
    if (app.rbf.NumPoints <= 0 || !app.rbf.Points) {
        App_ErrorBoxOfKey("ErrorAaopRbfSurfaceRequired");
        return;
    }
    if (!(app.mode == kModeSurface && app.shownSurface == &app.rbf)) {
        app.settings.CombineSweeps = 2;
        app.shownSurface = &app.rbf;
        App_SetMode(kModeSurface);
        App_SendRepaint(3);
    }
    static StylusItemList empty{};
    AaopWizard_Run(app.rbf, app.view, app.settings, app.raw ? app.raw->Stylus : empty);
}

void AaopWizard_InstallHooks() {
    OrthoHooks& hooks = Ortho_Hooks();
    hooks.makerName = [] { return std::string(App_GetMakerName()); };
    hooks.productName = [] { return std::string(App_GetProductName()); };
    hooks.productVersion = [] { return std::string(App_GetProductVersion()); };
    hooks.userName = [](std::string& out) {
        char name[257];
        DWORD size = sizeof name;
        if (!GetUserNameA(name, &size)) return false;
        out = name;
        return true;
    };
    hooks.errorBox = [](const char* text, const char* caption) {
        AppMessage message;
        message.kind = MessageKind::Error;
        message.title = caption;
        message.text = text;
        message.ownerless = true;
        App_ShowMessage(message);
    };
    hooks.trace = [](const char* text) { DebugTrace("%s", text); };
}
