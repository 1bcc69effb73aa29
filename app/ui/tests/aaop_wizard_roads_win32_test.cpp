// The AAOP Export Wizard's roads under Wine on the real main window: each
// object type's pages forward and back with the views they restore and the
// markers and motions they set; the wizard's keys by page; the refusals;
// Move Point; Abort in "Processing"; the stylus list restored exactly after
// Cancel and after Export, with points added and selected; a failed write on
// Export; the symmetrical build of a limb and the OP3 slicing of a bent tube
// through the pages' own controls.
#include <windows.h>

#include <commdlg.h>
#include <dlgs.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "app/export/tests/bent_tube.h"
#include "app/files/safe_file_write.h"
#include "app/ui/tests/aaop_wizard_fixture_win32.h"
#include "app/ui/tests/shell_fixture_win32.h"

namespace {

using modal_driver::DialogWith;
using modal_driver::Driver;
using modal_driver::ItemText;
using modal_driver::Press;
using namespace aaop_wizard_test;

class AaopWizardRoads : public AaopWizardFixture {};

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void ChooseType(HWND wizard, int type) {
    const int buttons[] = {1347, 1348, 1375, 1376};
    Click(buttons[type - 1]);
    (void)wizard;
}

bool Visible(int id) { return IsWindowVisible(GetDlgItem(AaopWizard_Window(), id)) != 0; }

uint32_t Motions() {
    NavigationState* nav = Graph_GetNavigation(AaopWizard_View());
    return nav ? nav->allowed : 0xFFFFFFFF;
}

// Three points on the limb's surface in its plane of symmetry x = 0; the
// first two face the viewer, the third is behind the limb.
std::vector<Vec3> PlanePoints(const Pose& pose) {
    return {Place(pose, Vec3{0, 70, 40}), Place(pose, Vec3{0, 170, 40}), Place(pose, Vec3{0, 120, -40})};
}

struct RoadPage {
    const char* title;
    uint32_t motions;
    bool bar, upper, lower;  // the markers shown
};

struct Road {
    int type;
    std::vector<RoadPage> pages;  // up to the page whose Next runs the slicing
};

// Each road forward to its last page before the slicing and back to the
// first: every page shows its title, motions and markers, and Back restores
// the view that the page had when Next left it.
TEST_F(AaopWizardRoads, EachRoadForwardAndBack) {
    const RoadPage type{"Select Object Type", 0, false, false, false};
    const RoadPage limitsOneEnd{"Choose Vertical Limits and Spacing", 0x2, true, true, false};
    const RoadPage limitsProximal{"Choose Vertical Limits and Spacing", 0x2, true, false, true};
    const RoadPage limitsBoth{"Choose Vertical Limits and Spacing", 0x2, true, true, true};
    const std::vector<Road> roads = {
        {1, {type, {"Choose Axis", 0x1F, false, false, false}, limitsOneEnd}},
        {2, {type, {"Choose Axis", 0x1F, false, false, false}, limitsProximal}},
        {3,
         {type, {"Define Reflection Plane", 0x1F, false, false, false},
          {"Choose Axis on Reflection Plane", 0x1C, true, true, false}, limitsBoth}},
        {4, {type, {"Orientate Object", 0x1F, false, false, false}, {"Choose Slice Axes", 0x8, false, false, false}}},
    };
    UseCylinder();
    for (const Road& road : roads) {
        SCOPED_TRACE("object type " + std::to_string(road.type));
        UseStylus(PlanePoints(pose_));
        std::vector<std::string> forward, backward;
        std::vector<ViewSettings> left;
        bool shown = true, restored = true;
        {
            Driver driver({{1325, [&](HWND w) {
                                ChooseType(w, road.type);
                                for (std::size_t k = 0; k < road.pages.size(); ++k) {
                                    const RoadPage& p = road.pages[k];
                                    forward.push_back(Title(w));
                                    shown = shown && Motions() == p.motions && Visible(1341) == p.bar &&
                                            Visible(1338) == p.upper && Visible(1339) == p.lower &&
                                            IsWindowVisible(Page());
                                    if (k + 1 == road.pages.size()) break;
                                    if (Title(w) == "Define Reflection Plane") Click(1363);
                                    AaopWizard_State().live.ZoomFactor *= 1.5f;
                                    left.push_back(AaopWizard_State().live);
                                    SendMessageA(w, WM_COMMAND, 1325, 0);
                                }
                                for (std::size_t k = road.pages.size() - 1; k > 0; --k) {
                                    SendMessageA(w, WM_COMMAND, 3, 0);
                                    const RoadPage& p = road.pages[k - 1];
                                    backward.insert(backward.begin(), Title(w));
                                    restored = restored &&
                                               std::memcmp(&left[k - 1], &AaopWizard_State().live, sizeof(ViewSettings)) == 0;
                                    shown = shown && Motions() == p.motions && Visible(1341) == p.bar &&
                                            Visible(1338) == p.upper && Visible(1339) == p.lower;
                                }
                                return Press(w, IDCANCEL);
                            }}});
            SendMessageA(window_, WM_COMMAND, 40171, 0);
            EXPECT_TRUE(driver.Finished());
        }
        std::vector<std::string> titles;
        for (const RoadPage& p : road.pages) titles.push_back(p.title);
        EXPECT_EQ(forward, titles);
        titles.pop_back();
        EXPECT_EQ(backward, titles);
        EXPECT_TRUE(shown);
        EXPECT_TRUE(restored);
        EXPECT_TRUE(g_messages.empty());
        EXPECT_EQ(AaopWizard_Window(), nullptr);
    }
}

struct KeyCase {
    const char* page;
    int nexts;    // from the first page, on the distal closure road
    int focus;    // the control the key is typed in
    bool zooms;   // Page Up zooms the view
};

// Page Up typed on a page: the wizard's keys move the view where the page
// takes them and allows the motion; in the limits page's boxes they are the
// box's own.
TEST_F(AaopWizardRoads, KeysMoveTheViewOnlyWhereThePageTakesThem) {
    UseCylinder();
    const std::vector<KeyCase> cases = {
        {"Select Object Type", 0, 1347, false},  // no motion allowed
        {"Choose Axis", 1, 1346, true},
        {"Choose Vertical Limits and Spacing", 2, 1314, false},  // the point spacing
    };
    for (const KeyCase& c : cases) {
        SCOPED_TRACE(c.page);
        float before = 0, after = 0;
        std::string title;
        bool focusKept = false;
        int ticks = 0;
        {
            Driver driver({{1325,
                            [&](HWND w) {
                                for (int k = 0; k < c.nexts; ++k) SendMessageA(w, WM_COMMAND, 1325, 0);
                                title = Title(w);
                                HWND box = GetDlgItem(Page(), c.focus);
                                SetFocus(box);
                                before = AaopWizard_State().live.ZoomFactor;
                                PostMessageA(box, WM_KEYDOWN, VK_PRIOR, 0x01490001);
                                PostMessageA(box, WM_KEYUP, VK_PRIOR, 0xC1490001);
                                return true;
                            }},
                           {1325, [&](HWND w) {
                                if (++ticks < 5) return false;
                                after = AaopWizard_State().live.ZoomFactor;
                                // Another program's window on the shared test display
                                // can take the activation, and with it the focus; the
                                // box must keep the focus while the wizard is active.
                                focusKept = GetFocus() == GetDlgItem(Page(), c.focus) || GetActiveWindow() == nullptr;
                                return Press(w, IDCANCEL);
                            }}});
            SendMessageA(window_, WM_COMMAND, 40171, 0);
            EXPECT_TRUE(driver.Finished());
        }
        EXPECT_EQ(title, c.page);
        EXPECT_TRUE(focusKept);
        if (c.zooms)
            EXPECT_GT(after, before);
        else
            EXPECT_EQ(after, before);
    }
}

struct Refusal {
    const char* name;
    int type;
    const char* page;
    std::function<void()> before;  // on the page, before the refused Next
    std::function<void()> mend;    // what lets Next go on
    MessageKind kind;
    const char* title;
    const char* text;
    const char* following;
};

// A refused Next keeps the page, its window and its view, with one message;
// once the cause is mended Next goes on.
TEST_F(AaopWizardRoads, RefusalsKeepThePage) {
    UseCylinder();
    const Pose pose = pose_;
    const std::vector<Refusal> refusals = {
        {"two stylus points for the plane", 3, "Define Reflection Plane",
         [&] {
             for (int k = 0; k < 2; ++k) ClickView(OnScreen(PlanePoints(pose)[k]));
         },
         [] { Click(1363); }, MessageKind::Error, "Not enough stylus points",
         "You must select 3 (or more) stylus points to define the plane of reflection",
         "Choose Axis on Reflection Plane"},
        {"handedness of a proximal closure", 2, "Choose Vertical Limits and Spacing", [] { ChooseSide(3); }, nullptr,
         MessageKind::Info, "Tip", "You need to select the handedness of the scan", nullptr},
        {"handedness of the slice axes", 4, "Choose Slice Axes", [] { ChooseSide(3); }, nullptr, MessageKind::Info,
         "Tip", "You need to select the handedness of the scan", nullptr},
    };
    for (const Refusal& r : refusals) {
        SCOPED_TRACE(r.name);
        g_messages.clear();
        StylusItemList& list = UseStylus(PlanePoints(pose_));
        std::string stayed, after;
        bool sameView = false, pageShown = false;
        std::size_t messages = 0;
        int selected = 0;
        {
            Driver driver({{1325,
                            [&](HWND w) {
                                ChooseType(w, r.type);
                                SendMessageA(w, WM_COMMAND, 1325, 0);
                                if (Title(w) != r.page) SendMessageA(w, WM_COMMAND, 1325, 0);
                                return Title(w) == r.page;
                            }},
                           {1325,
                            [&](HWND w) {
                                // The view has drawn the stylus points that a click picks.
                                if (DrawnPixels() <= 0) return false;
                                r.before();
                                for (int32_t i = 0; i < list.VisibleCount; ++i)
                                    selected += (list.Items[i].Flags & kStylusSelected) ? 1 : 0;
                                const ViewSettings view = AaopWizard_State().live;
                                SendMessageA(w, WM_COMMAND, 1325, 0);
                                stayed = Title(w);
                                pageShown = IsWindowVisible(Page()) != 0;
                                sameView = std::memcmp(&view, &AaopWizard_State().live, sizeof view) == 0;
                                messages = g_messages.size();
                                if (r.mend) {
                                    r.mend();
                                    SendMessageA(w, WM_COMMAND, 1325, 0);
                                    after = Title(w);
                                }
                                return Press(w, IDCANCEL);
                            }}});
            SendMessageA(window_, WM_COMMAND, 40171, 0);
            EXPECT_TRUE(driver.Finished());
        }
        EXPECT_EQ(stayed, r.page);
        EXPECT_TRUE(pageShown);
        EXPECT_TRUE(sameView);
        ASSERT_EQ(messages, 1u);
        EXPECT_EQ(g_messages[0].kind, r.kind);
        EXPECT_EQ(g_messages[0].title, r.title);
        EXPECT_EQ(g_messages[0].text, r.text);
        if (r.type == 3) {
            EXPECT_EQ(selected, 2);  // the two clicks picked their points
        }
        if (r.following) {
            EXPECT_EQ(after, r.following);
        }
    }
}

HWND g_box = nullptr;
int g_reports = 0;

// Abort pressed while the slicing reports its progress: the wizard is back on
// the limits page without a message and without slices. On the way, the
// slice count follows the spacing only while the spacing is fixed.
TEST_F(AaopWizardRoads, AbortInProcessingReturnsSilently) {
    UseCylinder();
    g_reports = 0;
    AaopWizard_SetProgressObserver([](HWND box, float) {
        if (g_reports++ == 0) {
            g_box = box;
            SendMessageA(box, WM_COMMAND, IDCANCEL, 0);
        }
    });
    std::string title, count;
    bool noSlices = false, boxGone = false, adaptive = false, fixed = false;
    double extent = 0;
    {
        Driver driver({{1325,
                        [&](HWND w) {
                            SendMessageA(w, WM_COMMAND, 1325, 0);
                            SendMessageA(w, WM_COMMAND, 1325, 0);
                            ChooseSide(1);
                            // Adaptive spacing (the default) has no count and
                            // no spacing to edit; a fixed spacing counts both ends.
                            adaptive = ItemText(Page(), 1208).empty() && !IsWindowEnabled(GetDlgItem(Page(), 1328));
                            CheckDlgButton(Page(), 1378, BST_UNCHECKED);
                            Click(1378);
                            extent = std::stod(ItemText(Page(), 1207));
                            count = ItemText(Page(), 1208);
                            fixed = IsWindowEnabled(GetDlgItem(Page(), 1328)) != 0;
                            return Press(w, 1325);
                        }},
                       {1325, [&](HWND w) {
                            if (g_reports == 0 || DialogWith(1154)) return false;
                            title = Title(w);
                            boxGone = !IsWindow(g_box);
                            noSlices = AaopWizard_State().model.Slices.empty();
                            return Press(w, IDCANCEL);
                        }}});
        SendMessageA(window_, WM_COMMAND, 40171, 0);
        EXPECT_TRUE(driver.Finished());
    }
    AaopWizard_SetProgressObserver(nullptr);
    EXPECT_GE(g_reports, 1);
    EXPECT_EQ(title, "Choose Vertical Limits and Spacing");
    EXPECT_TRUE(boxGone);
    EXPECT_TRUE(noSlices);
    EXPECT_TRUE(g_messages.empty());
    EXPECT_TRUE(adaptive);
    EXPECT_TRUE(fixed);
    EXPECT_GT(extent, 0);
    EXPECT_EQ(count, std::to_string(static_cast<int>(std::floor(extent / 5)) + 1));
}

std::vector<std::vector<double>> AaopRadii(const std::string& path, std::vector<double>& heights) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    std::vector<std::vector<double>> radii;
    if (lines.size() < 10 || lines[0] != "AAOP1") return radii;
    std::size_t at = 6;
    const int landmarks = std::stoi(lines[5]);
    for (int k = 0; k < landmarks; ++k) at += 2 + 3 * std::stoi(lines[at + 1]);  // radius, angle, height a point
    const int n = std::stoi(lines[at]);
    const int slices = std::stoi(lines[at + 2]);
    at += 4;
    for (int k = 0; k < slices; ++k) heights.push_back(std::stod(lines[at + k]));
    at += slices;
    for (int k = 0; k < slices; ++k) {
        radii.emplace_back();
        for (int i = 0; i < n && at < lines.size(); ++i) radii.back().push_back(std::stod(lines[at++]));
    }
    return radii;
}

void SaveAs(HWND save, const std::string& path) {
    SetDlgItemTextA(save, GetDlgItem(save, cmb13) ? cmb13 : edt1, path.c_str());
}

// Points added and selected on the reflection-plane page do not outlive the
// wizard, whether it ends by Cancel or by Export. The Export row walks the
// symmetrical build to its file: the plane through the limb's plane of
// symmetry, the view facing it, the mirrored section's measurements, the
// limits and the slices, whose radii are the limb's.
TEST_F(AaopWizardRoads, StylusListRestoredAfterCancelAndExport) {
    UseCylinder();
    const std::string path = TempPath("wizard_symmetric.aop");
    for (const bool exportIt : {false, true}) {
        SCOPED_TRACE(exportIt ? "Export" : "Cancel");
        g_messages.clear();
        DeleteFileA(path.c_str());
        StylusItemList& list = UseStylus(PlanePoints(pose_));
        const std::vector<StylusItem> before(list.Items, list.Items + list.TotalCount);
        const StylusItemList head = list;
        int32_t added = 0;
        uint32_t addedFlags = 0;
        float facing = 0;
        bool flipped = false;
        double circumference = 0, mediolateral = 0, anteroposterior = 0;
        std::deque<modal_driver::Step> walk = {
            {1325,
             [&](HWND w) {
                 ChooseType(w, 3);
                 SendMessageA(w, WM_COMMAND, 1325, 0);
                 return Title(w) == "Define Reflection Plane";
             }},
            {1325,
             [&](HWND w) {
                 if (DrawnPixels() <= 0) return false;
                 Click(1363);  // Select All Points
                 Click(1349);  // New Point, on the limb in the middle of the view
                 RECT client;
                 GetClientRect(AaopWizard_View(), &client);
                 ClickView(POINT{client.right / 2, client.bottom / 2});
                 added = list.VisibleCount;
                 addedFlags = list.Items[list.VisibleCount - 1].Flags;
                 if (!exportIt) return Press(w, IDCANCEL);
                 Click(1362);  // Reset Points, then the three again
                 Click(1363);
                 const Plane fitted = AaopWizard_State().reflection;
                 Click(1346);  // Flip Plane
                 const Plane once = AaopWizard_State().reflection;
                 Click(1346);
                 const Plane twice = AaopWizard_State().reflection;
                 flipped = once.a == -fitted.a && once.b == -fitted.b && once.c == -fitted.c && once.d == -fitted.d &&
                           std::memcmp(&twice, &fitted, sizeof fitted) == 0;
                 SendMessageA(w, WM_COMMAND, 1325, 0);
                 const Plane& p = AaopWizard_State().reflection;
                 Vec3 normal;
                 Matrix4 turn = AaopWizard_State().live.ViewMatrix;
                 turn[12] = turn[13] = turn[14] = 0;
                 M4_TransformPoint(turn, Vec3{p.a, p.b, p.c}, normal);
                 facing = std::fabs(normal.z);
                 return Title(w) == "Choose Axis on Reflection Plane";
             }},
            {1325,
             [&](HWND w) {
                 if (!exportIt) return true;
                 // The measurement marker at the limb's height 120.
                 AaopWizard_MoveMarker(0, MarkerAt(Place(pose_, Vec3{0, 120, 0})));
                 SendMessageA(AaopWizard_View(), WM_PAINT, 0, 3);
                 circumference = std::stod(ItemText(Page(), 1352));
                 mediolateral = std::stod(ItemText(Page(), 1351));
                 anteroposterior = std::stod(ItemText(Page(), 1353));
                 SendMessageA(w, WM_COMMAND, 1325, 0);
                 if (Title(w) != "Choose Vertical Limits and Spacing") return true;
                 ChooseSide(2);
                 CheckDlgButton(Page(), 1378, BST_UNCHECKED);
                 Click(1378);
                 AaopWizard_MoveMarker(0, MarkerAt(Place(pose_, Vec3{0, 190, 0})));
                 AaopWizard_MoveMarker(1, MarkerAt(Place(pose_, Vec3{0, 60, 0})));
                 return Press(w, 1325);
             }},
            {1325,
             [&](HWND w) {
                 if (!exportIt) return true;
                 if (Title(w) != "Complete") return false;
                 return Press(w, 1325);
             }},
            {IDOK,
             [&](HWND save) {
                 if (!exportIt) return true;
                 SaveAs(save, path);
                 return Press(save, IDOK);
             }},
        };
        if (!exportIt) walk.resize(2);
        {
            Driver driver(walk, 1500);
            SendMessageA(window_, WM_COMMAND, 40171, 0);
            EXPECT_TRUE(driver.Finished());
        }
        EXPECT_EQ(AaopWizard_Window(), nullptr);
        EXPECT_EQ(added, 4);
        EXPECT_EQ(addedFlags, 0x82u);
        // Exactly the list that was there before.
        EXPECT_EQ(list.TotalCount, head.TotalCount);
        EXPECT_EQ(list.VisibleCount, head.VisibleCount);
        EXPECT_EQ(list.GroupCount, head.GroupCount);
        ASSERT_GE(list.Capacity, head.TotalCount);
        EXPECT_EQ(std::memcmp(list.Items, before.data(), before.size() * sizeof(StylusItem)), 0);
        if (!exportIt) {
            EXPECT_TRUE(g_messages.empty());
            continue;
        }
        EXPECT_NEAR(facing, 1.0f, 1e-4f);
        EXPECT_TRUE(flipped);
        // The half section at the marker, mirrored: a circle of radius 40.
        EXPECT_NEAR(circumference, 2 * kPi * 40, 2.0);
        EXPECT_NEAR(mediolateral, 80, 1.0);
        EXPECT_NEAR(anteroposterior, 80, 1.0);
        std::vector<double> heights;
        const std::vector<std::vector<double>> radii = AaopRadii(path, heights);
        ASSERT_GE(radii.size(), 10u);
        double worst = 0;
        for (const std::vector<double>& slice : radii)
            for (double r : slice) worst = std::max(worst, std::fabs(r - 40));
        EXPECT_LT(worst, 0.6);
        EXPECT_NEAR(heights.back() - heights.front(), 130, 4);
        std::printf("[ measured ] symmetrical build: %zu slices, worst radius error %.4f mm; section %.1f, %.1f, "
                    "%.1f mm\n",
                    radii.size(), worst, circumference, mediolateral, anteroposterior);
        DeleteFileA(path.c_str());
    }
}

// Move Point drags a stylus point over the surface: it lands on the surface
// under the mouse, marked moved and no longer placed, and the plane is
// fitted again; with Rotate Object the same drag turns the view instead.
TEST_F(AaopWizardRoads, MovePointFollowsTheSurface) {
    UseCylinder();
    StylusItemList& list = UseStylus(PlanePoints(pose_));
    // Placed on the scan and the surface where it stands.
    list.Items[0].Flags = kStylusOnScan | kStylusOnBasic;
    list.Items[0].ScanPose = list.Items[0].BasicPose = list.Items[0].Pose;
    const Vec3 start = PlanePoints(pose_)[0];
    Vec3 moved{}, fittedBefore{}, fittedAfter{};
    uint32_t flags = 0;
    bool viewKept = false, viewTurned = false;
    float offSurface = 1e9f;
    {
        Driver driver({{1325,
                        [&](HWND w) {
                            ChooseType(w, 3);
                            SendMessageA(w, WM_COMMAND, 1325, 0);
                            return Title(w) == "Define Reflection Plane";
                        }},
                       {1325,
                        [&](HWND w) {
                            if (DrawnPixels() <= 0) return false;
                            Click(1363);
                            const Plane p = AaopWizard_State().reflection;
                            fittedBefore = Vec3{p.a, p.b, p.c};
                            Click(1350);  // Move Point
                            const ViewSettings view = AaopWizard_State().live;
                            const POINT from = OnScreen(start);
                            Drag(from, POINT{from.x + 25, from.y + 10});
                            viewKept = std::memcmp(&view, &AaopWizard_State().live, sizeof view) == 0;
                            moved = Vec3{list.Items[0].Pose[12], list.Items[0].Pose[13], list.Items[0].Pose[14]};
                            flags = list.Items[0].Flags;
                            const Plane q = AaopWizard_State().reflection;
                            fittedAfter = Vec3{q.a, q.b, q.c};
                            // The local frame's distance from the limb's axis.
                            Vec3 shifted, local;
                            V3_Sub(moved, pose_.offset, shifted);
                            M4_TransformPoint(LocalFrame(pose_), shifted, local);
                            offSurface = std::fabs(std::hypot(local.x, local.z) - 40);
                            Click(1347);  // Rotate Object
                            Drag(POINT{from.x, from.y}, POINT{from.x + 40, from.y});
                            viewTurned = std::memcmp(&view, &AaopWizard_State().live, sizeof view) != 0;
                            return Press(w, IDCANCEL);
                        }}});
        SendMessageA(window_, WM_COMMAND, 40171, 0);
        EXPECT_TRUE(driver.Finished());
    }
    EXPECT_TRUE(viewKept);
    EXPECT_TRUE(viewTurned);
    EXPECT_GT(V3_Distance(moved, start), 5.0f);
    EXPECT_LT(offSurface, 1.0f);
    EXPECT_EQ(flags & 0x18u, 0u);
    EXPECT_EQ(flags & 0x80u, 0x80u);
    EXPECT_LT(std::fabs(V3_Dot(fittedBefore, fittedAfter)), 0.9999f);  // fitted again through the new place
}

struct WriteFailure {
    const char* name;
    bool diskFull;  // else another program holds the file open
};

// A write that fails on Export shows the writer's message, opens the Save
// dialog again and leaves the earlier file, the model and the surface's
// saved mark as they were.
TEST_F(AaopWizardRoads, FailedWriteKeepsTheEarlierFile) {
    UseCylinder();
    const std::vector<WriteFailure> failures = {{"disk full", true}, {"file held open", false}};
    const std::string earlier = "earlier content\r\n", path = TempPath("wizard_failed.aop");
    for (const WriteFailure& f : failures) {
        SCOPED_TRACE(f.name);
        g_messages.clear();
        std::ofstream(path, std::ios::binary) << earlier;
        HANDLE held = INVALID_HANDLE_VALUE;
        if (f.diskFull)
            files::SetSafeWriteDiskFullAfterForTesting(100);
        else
            held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        bool reopened = false, modelKept = false;
        std::string title;
        {
            Driver driver({{1325,
                            [&](HWND w) {
                                SendMessageA(w, WM_COMMAND, 1325, 0);
                                SendMessageA(w, WM_COMMAND, 1325, 0);
                                ChooseSide(1);
                                AaopWizard_MoveMarker(0, MarkerAt(Place(pose_, Vec3{0, 150, 0})));
                                return Press(w, 1325);
                            }},
                           {1325,
                            [&](HWND w) {
                                if (Title(w) != "Complete") return false;
                                return Press(w, 1325);
                            }},
                           {IDOK,
                            [&](HWND save) {
                                SaveAs(save, path);
                                return Press(save, IDOK);
                            }},
                           {IDYES, [&](HWND prompt) { return Press(prompt, IDYES); }},
                           {IDOK,
                            [&](HWND save) {
                                if (g_messages.empty()) return false;
                                reopened = true;
                                return Press(save, IDCANCEL);
                            }},
                           {1325, [&](HWND w) {
                                if (DialogWith(IDOK) && DialogWith(IDOK) != w) return false;
                                title = Title(w);
                                const OrthoModel& m = AaopWizard_State().model;
                                modelKept = !m.Slices.empty() && m.Saved == 0;
                                return Press(w, IDCANCEL);
                            }}},
                          1500);
            SendMessageA(window_, WM_COMMAND, 40171, 0);
            EXPECT_TRUE(driver.Finished());
        }
        files::SetSafeWriteDiskFullAfterForTesting(-1);
        if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
        EXPECT_TRUE(reopened);
        EXPECT_EQ(title, "Complete");
        EXPECT_TRUE(modelKept);
        EXPECT_EQ(App().rbf.Saved, 0);
        ASSERT_EQ(g_messages.size(), 1u);
        EXPECT_EQ(g_messages[0].title, "Save Error");
        EXPECT_EQ(g_messages[0].kind, MessageKind::Error);
        EXPECT_EQ(g_messages[0].text.rfind("Save failed:\n    ", 0), 0u) << g_messages[0].text;
        EXPECT_EQ(ReadAll(path), earlier);
        DeleteFileA(path.c_str());
    }
}

// The view's cursor as the mouse finds it: on Choose Slice Axes the
// move-handle cursor over a handle and the view's own elsewhere, also where a
// dragged handle was; each kind of the view's move cursors.
TEST_F(AaopWizardRoads, TheCursorShowsWhereAHandleCanBeMoved) {
    const BentTube tube;
    Pose pose;
    M4_Identity(pose.rotation);
    pose.offset = Vec3{0, 0, 0};
    UseSurface(tube.Mesh(32), pose);
    const HCURSOR moveHandle = LoadCursorA(GetModuleHandleA(nullptr), "CURSOR_MOVE_HANDLE");
    const HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW), fourWay = LoadCursorA(nullptr, IDC_SIZEALL);
    ASSERT_NE(moveHandle, nullptr);
    struct Seen {
        const char* where;
        HCURSOR cursor;
    };
    std::vector<Seen> seen;
    std::vector<HCURSOR> kinds;
    const auto cursorAt = [](HWND view, POINT at) {
        POINT screen = at;
        ClientToScreen(view, &screen);
        SetCursorPos(screen.x, screen.y);
        SetCursor(nullptr);
        SendMessageA(view, WM_SETCURSOR, reinterpret_cast<WPARAM>(view), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
        return GetCursor();
    };
    {
        Driver driver({{1325,
                        [&](HWND w) {
                            ChooseType(w, 4);
                            SendMessageA(w, WM_COMMAND, 1325, 0);
                            if (Title(w) != "Orientate Object") return false;
                            RECT c;
                            GetClientRect(AaopWizard_View(), &c);
                            seen.push_back({"before the handles' page",
                                            cursorAt(AaopWizard_View(), {c.right / 4, c.bottom * 3 / 4})});
                            SendMessageA(w, WM_COMMAND, 1325, 0);
                            return Title(w) == "Choose Slice Axes";
                        }},
                       {1325,
                        [&](HWND w) {
                            HWND view = AaopWizard_View();
                            RECT c;
                            GetClientRect(view, &c);
                            const POINT toe{c.right / 4, c.bottom * 3 / 4}, middle{c.right / 2, c.bottom / 2};
                            seen.push_back({"on a handle", cursorAt(view, toe)});
                            seen.push_back({"a few pixels off a handle", cursorAt(view, {toe.x + 5, toe.y - 5})});
                            seen.push_back({"away from the handles", cursorAt(view, middle)});
                            const POINT moved{c.right / 3, c.bottom / 2};
                            Drag(toe, moved);
                            seen.push_back({"on the moved handle", cursorAt(view, moved)});
                            seen.push_back({"where the handle was", cursorAt(view, toe)});
                            for (int32_t kind : {0, kCursorFourWay, kCursorMoveHandle, 7}) {
                                SetCursor(nullptr);
                                Graph_SetMoveCursor(view, kind);
                                kinds.push_back(GetCursor());
                            }
                            return Press(w, IDCANCEL);
                        }}},
                      1500);
        SendMessageA(window_, WM_COMMAND, 40171, 0);
        EXPECT_TRUE(driver.Finished());
    }
    const std::vector<HCURSOR> expected = {arrow, moveHandle, moveHandle, arrow, moveHandle, arrow};
    ASSERT_EQ(seen.size(), expected.size());
    for (size_t k = 0; k < seen.size(); ++k) EXPECT_EQ(seen[k].cursor, expected[k]) << seen[k].where;
    EXPECT_EQ(kinds, (std::vector<HCURSOR>{arrow, fourWay, moveHandle, arrow}));
    EXPECT_TRUE(g_messages.empty());
}

// The OP3 road through its controls: the handles dragged onto the bent
// tube's toe, ankle and top, the slicing run, and every slice a circle of
// the tube's radius about its centre.
TEST_F(AaopWizardRoads, Op3RoadSlicesTheBentTube) {
    const BentTube tube;
    Pose pose;
    M4_Identity(pose.rotation);
    pose.offset = Vec3{-15, 25, 10};
    UseSurface(tube.Mesh(64), pose);
    const Vec3 ankle = Place(pose, Vec3{0, 0, 0});
    const Vec3 toe = Place(pose, F(Mul(tube.b, tube.footLength - 10)));
    const Vec3 top = Place(pose, F(Mul(tube.a, tube.legLength - 10)));
    std::string title;
    std::size_t slices = 0;
    double worst = 0, offset = 0;
    {
        Driver driver({{1325,
                        [&](HWND w) {
                            ChooseType(w, 4);
                            SendMessageA(w, WM_COMMAND, 1325, 0);
                            SendMessageA(w, WM_COMMAND, 1325, 0);
                            return Title(w) == "Choose Slice Axes";
                        }},
                       {1325,
                        [&](HWND w) {
                            if (DrawnPixels() <= 0) return false;
                            RECT c;
                            GetClientRect(AaopWizard_View(), &c);
                            // The handles where they start, then where they go.
                            Drag(POINT{c.right / 4, c.bottom * 3 / 4}, OnScreen(toe));
                            Drag(POINT{c.right * 3 / 4, c.bottom / 4}, OnScreen(top));
                            Drag(POINT{c.right * 3 / 4, c.bottom * 3 / 4}, OnScreen(ankle));
                            ChooseSide(2);
                            return Press(w, 1325);
                        }},
                       {1325, [&](HWND w) {
                            if (Title(w) != "Complete") return false;
                            title = Title(w);
                            const OrthoModel& m = AaopWizard_State().model;
                            slices = m.Slices.size();
                            // The handles sit on whole pixels, so the axes and
                            // with them the slice centres are off by a little:
                            // each outline is measured about its own centre.
                            for (const OrthoSlice& slice : m.Slices) {
                                Vec3 centre;
                                V3_Centroid(slice.Points.data(), static_cast<int32_t>(slice.Points.size()), centre);
                                offset = std::max(offset, static_cast<double>(V3_Distance(centre, slice.Centre)));
                                for (const Vec3& p : slice.Points)
                                    worst = std::max(worst, std::fabs(V3_Distance(p, centre) - tube.r));
                            }
                            return Press(w, IDCANCEL);
                        }}},
                      1500);
        SendMessageA(window_, WM_COMMAND, 40171, 0);
        EXPECT_TRUE(driver.Finished());
    }
    EXPECT_EQ(title, "Complete");
    EXPECT_TRUE(g_messages.empty());
    const OrthoSliceSetup& setup = AaopWizard_State().setup;
    EXPECT_NEAR(V3_Distance(setup.Origin, ankle), 0, 3);
    EXPECT_NEAR(setup.Limit1, tube.legLength - 10, 4);
    EXPECT_NEAR(setup.Limit2, tube.footLength - 10, 4);
    EXPECT_GT(V3_Dot(setup.LegAxis, Turn(pose, F(tube.a))), 0.999f);
    EXPECT_GT(V3_Dot(setup.FootAxis, Turn(pose, F(tube.b))), 0.999f);
    EXPECT_GT(slices, 50u);
    // The mesh's chordal error bounds the straight parts; where the handles'
    // whole pixels move the bend path off the tube's own by some tenths of a
    // millimetre, the bend's outlines are cut a little obliquely, by at most
    // about half the largest centre drift.
    const double edge = 2 * kPi * tube.r / 64 + 2.5, chordal = edge * edge / (8 * tube.r);
    EXPECT_LT(worst, 5 * chordal + 0.05 + offset / 2);
    EXPECT_LT(offset, 2.0);
    std::printf("[ measured ] OP3 road: %zu slices, worst distance from r %.4f mm, slice centres off by %.3f mm "
                "at most\n",
                slices, worst, offset);
}

}  // namespace
