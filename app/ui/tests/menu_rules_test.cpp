#include "app/locale/locale_keys.h"
#include "app/ui/menu_separators.h"
#include "app/ui/menu_states.h"
#include "app/ui/menu_table.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

// ---- The table --------------------------------------------------------------

TEST(MenuTable, PopupsNestAndEveryKeyIsDeclared) {
    const std::set<std::string>& declared = Locale_DeclaredKeys();
    int depth = 0;
    std::vector<int32_t> topPopups;
    std::set<int32_t> ids;
    size_t i = 0;
    for (; i < kMainMenuTableSize && kMainMenuTable[i].id != kMenuTableEnd; ++i) {
        const MenuTableRow& row = kMainMenuTable[i];
        for (const char* key : {row.textKey, row.infoKey})
            if (key) {
                EXPECT_TRUE(declared.count(key)) << key;
            }
        if (row.textKey && row.infoKey) {
            EXPECT_EQ(std::string(row.infoKey), std::string(row.textKey) + "Info");
        }
        // Rows without a key have a fixed text, except separators and ends.
        if (row.id >= 0 || row.id == kMenuPopup) {
            EXPECT_TRUE(row.textKey || row.text) << i;
        }
        if (row.id == kMenuPopup) {
            if (depth == 0) topPopups.push_back(row.popupId);
            ++depth;
        } else if (row.id == kMenuPopupEnd) {
            --depth;
            ASSERT_GE(depth, 0) << i;
        } else if (row.id > 0) {
            EXPECT_TRUE(ids.insert(row.id).second) << "duplicate " << row.id;
            EXPECT_GE(row.id, 40004);
            EXPECT_LE(row.id, 40413);
        }
    }
    EXPECT_EQ(depth, 0);
    EXPECT_EQ(i, kMainMenuTableSize - 1);
    EXPECT_EQ(topPopups, (std::vector<int32_t>{40001, 40266, 40002, 40003, 40149, 40007, 40404, 40090}));
    // Only these two keyed rows have no info key.
    for (size_t r = 0; r < kMainMenuTableSize; ++r) {
        const MenuTableRow& row = kMainMenuTable[r];
        if (row.textKey && !row.infoKey) {
            const std::string key = row.textKey;
            EXPECT_TRUE(key == "MenuFileSaveSnapshot" || key == "MenuEditCastInversionMode") << key;
        }
        if (row.textKey && std::strcmp(row.textKey, "MenuViewMovement") == 0) {
            EXPECT_EQ(row.popupId, 401);
        }
    }
}

TEST(MenuTable, AcceleratorLabelsMatchTheirBindings) {
    // Every labelled command of the ordinary menus has a binding raising it,
    // except the pointer labels and the factory's Pemmler items, whose keys
    // raise the ordinary commands.
    std::set<int32_t> bound;
    for (size_t i = 0; i < kKorvBindingCount; ++i) bound.insert(kKorvBindings[i].command);
    const std::set<int32_t> unbound = {40243, 40181, 40101, 40219, 40224, 40221, 40227, 40232, 40228, 40229, 40230};
    for (size_t i = 0; i < kMainMenuTableSize; ++i) {
        const MenuTableRow& row = kMainMenuTable[i];
        if (!row.acceleratorLabel || row.id <= 0) continue;
        EXPECT_EQ(bound.count(row.id) == 1, unbound.count(row.id) == 0) << row.id;
    }
}

// ---- Separators -------------------------------------------------------------

// A live menu: the entry indices it shows, in order.
struct LiveLevel {
    std::vector<size_t> shown;
    MenuLevelOps Ops() {
        MenuLevelOps ops;
        ops.remove = [this](int p) {
            if (p < 0 || p >= static_cast<int>(shown.size())) return false;
            shown.erase(shown.begin() + p);
            return true;
        };
        ops.insert = [this](int p, size_t e) {
            if (p < 0 || p > static_cast<int>(shown.size())) return false;
            shown.insert(shown.begin() + p, e);
            return true;
        };
        return ops;
    }
};

// What the level should show: the wanted items in table order, one separator
// between two of them when the table has one or more between them.
std::vector<size_t> Reference(const std::vector<MenuLevelEntry>& level, const std::vector<bool>& wanted) {
    std::vector<size_t> out;
    size_t pendingSeparator = SIZE_MAX;
    for (size_t i = 0; i < level.size(); ++i) {
        if (level[i].separator) {
            if (!out.empty() && pendingSeparator == SIZE_MAX) pendingSeparator = i;
        } else if (wanted[i]) {
            if (pendingSeparator != SIZE_MAX) out.push_back(pendingSeparator);
            pendingSeparator = SIZE_MAX;
            out.push_back(i);
        }
    }
    return out;
}

TEST(MenuSeparators, RandomRemovesAndInsertsMatchTheReference) {
    std::mt19937 random(1104);
    for (int round = 0; round < 300; ++round) {
        const size_t n = 1 + random() % 14;
        std::vector<MenuLevelEntry> level(n);
        for (MenuLevelEntry& e : level) e.separator = random() % 3 == 0;
        LiveLevel live;
        for (size_t i = 0; i < n; ++i) live.shown.push_back(i);
        std::vector<bool> wanted(n, true);
        const MenuLevelOps ops = live.Ops();
        for (int step = 0; step < 40; ++step) {
            size_t e = random() % n;
            if (level[e].separator) continue;
            const int result = wanted[e] ? MenuLevel_Remove(level, e, ops) : MenuLevel_Insert(level, e, ops);
            EXPECT_EQ(result, 1);
            wanted[e] = !wanted[e];
            ASSERT_EQ(live.shown, Reference(level, wanted)) << "round " << round << " step " << step;
            // The flags describe the live menu.
            std::vector<size_t> flagged;
            for (size_t i = 0; i < n; ++i)
                if (level[i].present) flagged.push_back(i);
            ASSERT_EQ(flagged, live.shown);
        }
    }
}

TEST(MenuSeparators, RemoveAndInsertRestoreTheFormerSequence) {
    // a | b | c: removing b (alone between two separators) and putting it back.
    std::vector<MenuLevelEntry> level = {{false, true}, {true, true}, {false, true}, {true, true}, {false, true}};
    LiveLevel live;
    live.shown = {0, 1, 2, 3, 4};
    const MenuLevelOps ops = live.Ops();
    ASSERT_EQ(MenuLevel_Remove(level, 2, ops), 1);
    EXPECT_EQ(live.shown, (std::vector<size_t>{0, 1, 4}));
    EXPECT_EQ(MenuLevel_Remove(level, 2, ops), 0);  // already absent
    ASSERT_EQ(MenuLevel_Insert(level, 2, ops), 1);
    EXPECT_EQ(live.shown, (std::vector<size_t>{0, 1, 2, 3, 4}));
    EXPECT_EQ(MenuLevel_Insert(level, 2, ops), 0);  // already present
    EXPECT_EQ(MenuLevel_Insert(level, 9, ops), 0);  // unknown
    // Removing the last item leaves no trailing separator.
    ASSERT_EQ(MenuLevel_Remove(level, 4, ops), 1);
    EXPECT_EQ(live.shown, (std::vector<size_t>{0, 1, 2}));
}

// ---- Menu states ------------------------------------------------------------

struct StateFixture {
    std::unique_ptr<GeneralSettings> settings = std::make_unique<GeneralSettings>();
    ViewSettings view{};
    MenuStateInput in;
    StateFixture() {
        std::memset(settings.get(), 0, sizeof(GeneralSettings));
        in.settings = settings.get();
        in.view = &view;
    }
};

TEST(MenuStates, RulesAsOneTable) {
    struct Case {
        const char* name;
        std::function<void(StateFixture&)> set;
        int32_t id;
        int enabled;  // -1 not checked here
        int checked;
    };
    const Case cases[] = {
        {"open greyed in camera view", [](StateFixture& f) { f.in.mode = 0; }, 40265, 0, -1},
        {"open in surface view", [](StateFixture& f) { f.in.mode = 2; }, 40265, 1, -1},
        {"save greyed without profiles", [](StateFixture&) {}, 40089, 0, -1},
        {"save with a profile", [](StateFixture& f) { f.in.profiles = 1; }, 40089, 1, -1},
        {"export basic needs the surface", [](StateFixture&) {}, 40267, 0, -1},
        {"export basic", [](StateFixture& f) { f.in.basicPresent = true; }, 40267, 1, -1},
        {"AAOP needs the RBF surface", [](StateFixture& f) { f.in.basicPresent = true; }, 40171, 0, -1},
        {"transfer needs the sibling", [](StateFixture& f) { f.in.mode = 1; }, 40240, 0, -1},
        {"transfer", [](StateFixture& f) { f.in.siblingKnown = true; }, 40240, 1, -1},
        {"stylus undo without groups", [](StateFixture&) {}, 40200, 0, -1},
        {"stylus redo with all visible", [](StateFixture& f) { f.in.stylusGroups = 2; }, 40335, 0, -1},
        {"stylus redo", [](StateFixture& f) { f.in.allStylusVisible = false; }, 40335, 1, -1},
        {"properties need a point", [](StateFixture& f) { f.in.profiles = 3; }, 40296, 0, -1},
        {"camera view needs the scanner", [](StateFixture&) {}, 40064, 0, -1},
        {"sweeps checked in mode 1", [](StateFixture&) {}, 40262, -1, 1},
        {"RBF checked when shown", [](StateFixture& f) { f.in.mode = 2, f.in.showsRbf = true; }, 40264, -1, 1},
        {"basic unchecked when RBF shown", [](StateFixture& f) { f.in.mode = 2, f.in.showsRbf = true; }, 40263, -1, 0},
        {"none checked in mode 0", [](StateFixture& f) { f.in.mode = 0; }, 40262, -1, 0},
        {"movement radio", [](StateFixture& f) { f.settings->Movement = 2; }, 40121, -1, 1},
        {"points greyed in mode 0", [](StateFixture& f) { f.in.mode = 0; }, 40011, 0, -1},
        {"solid with edges by option value 2", [](StateFixture& f) { f.view.Options = 2, f.view.DisplayType = 1; }, 40015,
         -1, 1},
        {"wireframe by display type", [](StateFixture& f) { f.view.DisplayType = 1; }, 40013, -1, 1},
        {"normals", [](StateFixture& f) { f.view.Options = 1; }, 40078, -1, 1},
        {"colour off only in mode 1", [](StateFixture& f) { f.in.mode = 2; }, 40281, -1, 0},
        {"pseudo greyscale in any mode", [](StateFixture& f) { f.in.mode = 2, f.view.ColourMode = 1; }, 40245, -1, 1},
        {"wand range", [](StateFixture& f) { f.view.ColourMode = 5; }, 40287, -1, 1},
        {"wand position in mode 1", [](StateFixture& f) { f.settings->ViewWandPosition = 1; }, 40334, -1, 1},
        {"no receiver greys and unchecks",
         [](StateFixture& f) { f.in.noReceiver = true, f.in.running = true, f.settings->ReceiverEnabled = 1; }, 40098,
         0, 0},
        {"rx is ref checked", [](StateFixture& f) { f.in.running = true, f.settings->ReceiverEnabled = 1; }, 40098, 1,
         1},
        {"tx is ref greyed while frozen", [](StateFixture& f) { f.in.running = true, f.in.receiverFrozen = true; },
         40097, 0, 1},
        {"freeze needs the receiver", [](StateFixture& f) { f.in.running = true; }, 40067, 0, 0},
        {"freeze checked while frozen", [](StateFixture& f) { f.in.receiverFrozen = true; }, 40067, 0, 1},
        {"move reference greyed while frozen", [](StateFixture& f) { f.in.receiverFrozen = true; }, 40349, 0, -1},
        {"undo sweep greyed in mode 2", [](StateFixture& f) { f.in.mode = 2, f.in.sweeps = 2; }, 40055, 0, -1},
        {"undo sweep", [](StateFixture& f) { f.in.sweeps = 2; }, 40055, 1, -1},
        {"redo sweep at the stored count", [](StateFixture& f) { f.in.sweeps = 2, f.in.storedSweeps = 2; }, 40056, 0,
         -1},
        {"redo sweep", [](StateFixture& f) { f.in.sweeps = 1, f.in.storedSweeps = 2; }, 40056, 1, -1},
        {"alignment needs scanner kind 2", [](StateFixture& f) { f.in.running = true; }, 40082, 0, -1},
        {"alignment", [](StateFixture& f) { f.in.running = true, f.in.scannerKind = 2; }, 40082, 1, -1},
        {"calibration correction not in mode 3", [](StateFixture& f) { f.in.running = true, f.in.mode = 3; }, 40100, 0,
         -1},
        {"properties always", [](StateFixture& f) { f.in.mode = 0; }, 40099, 1, -1},
        {"old toolbar greys sizes", [](StateFixture& f) { f.settings->UseOldToolbar = 1; }, 40356, 0, -1},
        {"old toolbar checked", [](StateFixture& f) { f.settings->UseOldToolbar = 1; }, 40383, -1, 1},
        {"icon size 0 is large", [](StateFixture&) {}, 40357, 1, 1},
        {"icon size 2 is small", [](StateFixture& f) { f.settings->ToolbarIconSize = 2; }, 40355, -1, 1},
        {"inches", [](StateFixture& f) { f.settings->UseImperialUnits = 1; }, 40390, -1, 1},
        {"hardware acceleration checked when not disabled", [](StateFixture&) {}, 40201, -1, 1},
        {"double click checked when not disabled", [](StateFixture& f) { f.settings->DisableDoubleTriggerClick = 1; },
         40208, -1, 0},
        {"calibration mode", [](StateFixture& f) { f.in.mode = 3; }, 40103, -1, 1},
        {"generate facets", [](StateFixture& f) { f.settings->BasicParams.GenerateFacets = 1; }, 40107, -1, 1},
        {"show point resolutions", [](StateFixture& f) { f.view.Options = 0x400; }, 40380, -1, 1},
        {"quad surfacing", [](StateFixture& f) { f.in.switches.quadSurfacing = true; }, 40353, -1, 1},
        {"edit undo greyed at level 0", [](StateFixture&) {}, 40273, 0, -1},
        {"edit undo with an erase level", [](StateFixture& f) { f.in.eraseLevel = 1; }, 40273, 1, -1},
        {"edit redo below the top", [](StateFixture& f) { f.in.selectTop = 1; }, 40276, 1, -1},
        {"delete needs a selection", [](StateFixture& f) { f.in.eraseLevel = 1; }, 40275, 0, -1},
        {"bumps need the RBF surface view", [](StateFixture& f) { f.in.mode = 2, f.settings->CombineSweeps = 2; },
         40336, 1, -1},
        {"register needs two sweeps", [](StateFixture& f) { f.in.unhiddenSweeps = 1; }, 40297, 0, -1},
        {"unregister needs a pending transform", [](StateFixture& f) { f.in.pendingTransform = true; }, 40300, 1, -1},
        {"cast inversion", [](StateFixture& f) { f.settings->CastInversionMode = 1; }, 40373, -1, 1},
        {"sweeps panel", [](StateFixture& f) { f.in.sweepsPanelVisible = true; }, 40135, 1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        StateFixture f;
        c.set(f);
        const auto states = Menu_ComputeStates(f.in);
        const auto it = states.find(c.id);
        ASSERT_NE(it, states.end());
        if (c.enabled >= 0) {
            EXPECT_EQ(it->second.enabled, c.enabled);
        }
        if (c.checked >= 0) {
            EXPECT_EQ(it->second.checked, c.checked);
        }
    }
}

}  // namespace
