// What the AAOP Export Wizard's frame and its pages share: the wizard's state,
// the page descriptor with its callbacks, and the frame services the pages
// call.
#pragma once

#include <windows.h>

#include <vector>

#include "app/base/app_messages.h"
#include "app/export/ortho_model.h"
#include "app/scan/settings_records.h"
#include "app/scan/stylus_items.h"

struct SurfaceRecord;
struct AaopWizardPage;
struct AaopWizardState;

// The head of every page's own state.
struct PageInstance {
    AaopWizardPage* page = nullptr;
    PageInstance* back = nullptr;  // the page Back returns to
    AaopWizardState* state = nullptr;
    HWND window = nullptr;
    ViewSettings savedView{};  // the live view when Next left the page
    int32_t viewSaved = 0;
};

struct AaopWizardPage {
    PageInstance* instance;
    const char* title;
    const char* nextText;
    int templateId;
    int32_t accelerators;  // the wizard's keys move the view while this page is shown
    uint32_t motions;      // the view's allowed motions
    void (*init)(PageInstance&);
    void (*leave)(PageInstance&);
    void (*enter)(PageInstance&);
    bool (*next)(PageInstance&, AaopWizardPage*& following);
    bool (*back)(PageInstance&);
    void (*drawQuick)(PageInstance&);
    void (*draw)(PageInstance&);
    INT_PTR (*dialogProc)(PageInstance&, UINT, WPARAM, LPARAM);
    ViewSettings* (*viewRecord)(PageInstance&);
    void (*overlay)(PageInstance&);
    // The view's mouse events (NavEvent, the previous and the current point);
    // nonzero when the page took the event, which the view then leaves alone.
    int32_t (*pick)(PageInstance&, int32_t event, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t* level);
    bool (*markerMoved)(PageInstance&, int marker, int position);
    // The view's cursor kind over a client point (Graph_SetMoveCursor); null
    // where the page has nothing to move in the view.
    int32_t (*cursorKind)(PageInstance&, int32_t x, int32_t y);
};

struct AaopWizardState {
    HWND dialog = nullptr;
    HWND view = nullptr;
    HWND mainView = nullptr;
    PageInstance* current = nullptr;
    OrthoSliceSetup setup{};
    GeneralSettings* settings = nullptr;
    ViewSettings live{};
    ViewSettings result{};
    const ViewSettings* mainViewSettings = nullptr;
    SurfaceRecord* surface = nullptr;
    StylusItemList* items = nullptr;
    int32_t closed = 0;
    int32_t accelerators = 0;
    int32_t objectType = 0;
    OrthoModel model;
    Plane reflection{0, 0, 1, 0};  // unit normal and offset
    double measurementOffset = 0;
    int32_t autoTranslate = 1;
    int32_t paints = 0;
    int markers[2] = {0, 0};
    int dragging = -1;
    int dragStartY = 0;
    int dragStartPosition = 0;
    StylusItemList backupHead{};
    std::vector<StylusItem> backup;
    HACCEL accel = nullptr;
    HFONT titleFont = nullptr;
    int32_t exported = 0;
};

// Frame services.
AaopWizardState& AaopWizard_State();
ViewSettings* AaopWizard_CurrentView();
void AaopWizard_RepaintView(int32_t level);
// Proposes a marker position (pixels from the bar's top, clamped to the bar);
// moved only when the current page accepts.
void AaopWizard_MoveMarker(int marker, int position);
int AaopWizard_BarHeight();
void AaopWizard_ShowMarkers(bool bar, bool upper, bool lower);
void AaopWizard_Close();
// Copies the items backed up when the wizard opened over the caller's list
// (the count becomes the backup's).
void AaopWizard_RestoreStylusItems();

// Pages.
void AaopWizardPages_InitAll();
AaopWizardPage* AaopWizardPages_First();

// The descriptors that lead on from one page to the next.
AaopWizardPage& AaopPage_ChooseAxis();
AaopWizardPage& AaopPage_Limits();
AaopWizardPage& AaopPage_Complete();
AaopWizardPage& AaopPage_ReflectionPlane();
AaopWizardPage& AaopPage_PlaneAxis();
AaopWizardPage& AaopPage_Orientate();
AaopWizardPage& AaopPage_SliceAxes();

// What the pages share.
// owner: the window that owns the box, the main window when null.
void AaopPages_Box(MessageKind kind, const char* title, const char* text, void* owner = nullptr);
void AaopPages_Init(PageInstance& page);
void AaopPages_Leave(PageInstance& page);
bool AaopPages_Allow(PageInstance& page);
void AaopPages_DrawQuick(PageInstance& page);
void AaopPages_DrawFull(PageInstance& page);
// The screen's vertical in model coordinates.
Vec3 AaopPages_ScreenVertical(const ViewSettings& view);
// Turns the live view so that the screen's vertical follows the line fitted
// through the points, and repaints.
void AaopPages_AlignWith(const std::vector<Vec3>& points);
// Stores the view's axis in the set-up: the view origin, the screen's
// vertical, the view matrix as the frame, no mirroring.
void AaopPages_StoreAxis();
// The model height, along the screen's vertical from the view origin, of a
// marker position (pixels from the bar's top).
float AaopPages_HeightOfPosition(int position);
// Straight into the shown picture, in the view's client pixels (y up),
// without depth test, depth writes or lighting: the view's client area.
RECT AaopPages_BeginPixelOverlay();
void AaopPages_EndPixelOverlay();
// The axis line through the view origin along the screen's vertical, red in
// front of the surface and cyan where the surface hides it.
void AaopPages_DrawAxisLine();
// The set-up's spacing boxes, adaptive box and handedness list.
void AaopPages_InitSpacing(HWND page);
// A command of those controls: true when it was one of them.
bool AaopPages_SpacingCommand(HWND page, WORD id, WORD code);
// Reformats both spacing boxes into the set-up and refuses an undefined side
// with the tip; true when the page may go on.
bool AaopPages_SpacingReady(HWND page);
