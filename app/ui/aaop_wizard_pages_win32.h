// What the AAOP Export Wizard's frame and its pages share: the wizard's state,
// the page descriptor with its callbacks, and the frame services the pages
// call.
#pragma once

#include <windows.h>

#include <vector>

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
    bool (*markerMoved)(PageInstance&, int marker, int position);
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

// Pages.
void AaopWizardPages_InitAll();
AaopWizardPage* AaopWizardPages_First();
