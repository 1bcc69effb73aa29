// The program's scan document set up for the document tests: the scan record
// with the program's blocks, default settings, scripted answers to the
// question box, a recorded Save As and export, and recorded message boxes.
#pragma once

#include "app/base/app_messages.h"
#include "app/files/tests/keyed_scratch_folder.h"
#include "app/scan/profile_processing.h"
#include "app/scan/tests/scan_record_fixture.h"
#include "app/ui/app_state.h"
#include "app/ui/scan_document.h"
#include "app/ui/shell_hooks.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

class ScanDocumentTest : public ::testing::Test {
  protected:
    void SetUp() override {
        AppState& app = App();
        app.raw = static_cast<RawData*>(std::calloc(1, sizeof(RawData)));
        ScanBlocks_Init(app.blocks);
        RawData_AttachBlocks(*app.raw, app.blocks);
        std::memset(&app.basic, 0, sizeof app.basic);
        std::memset(&app.rbf, 0, sizeof app.rbf);
        app.shownSurface = &app.basic;
        GeneralSettings_SetDefaults(app.settings, 0x00FFFFFF, 0);
        ViewSettings_SetDefaults(app.view);
        app.mode = kModeScan;
        app.scanPath.clear();
        app.documentName = "Untitled";
        ScanDoc_State() = ScanDocState();
        App_SetMessageSink([this](const AppMessage& m) { messages.push_back(m.text); });
        ScanDocServices& services = ScanDoc_Services();
        services = ScanDocServices();
        services.ask = [this](const std::string& text) {
            questions.push_back(text);
            if (answers.empty()) return kAnswerCancel;
            const int answer = answers.front();
            answers.pop_front();
            return answer;
        };
        services.saveAsDialog = [this] {
            ++saveDialogs;
            return !saveAsPath.empty() && ScanDoc_Save(saveAsPath, 0);
        };
        services.exportSurface = [this](int32_t kind) {
            exports.push_back(kind);
            return exportSucceeds;
        };
        services.applyReceiverOption = [this](bool receiver) { receiverApplied.push_back(receiver); };
        Shell_Hooks().updateTitle = [this] { ++titleUpdates; };
    }
    void TearDown() override {
        AppState& app = App();
        ItemMeta_Free(app.documentMetadata);
        app.documentMetadata = nullptr;
        Surface_Free(app.basic);
        Surface_Free(app.rbf);
        RawData_FreeArrays(*app.raw);
        ScanBlocks_Free(app.blocks);
        std::free(app.raw);
        app.raw = nullptr;
        ScanDoc_State() = ScanDocState();
        ScanDoc_Services() = ScanDocServices();
        Shell_Hooks().updateTitle = nullptr;
        App_SetMessageSink(nullptr);
    }

    RawData& Raw() { return *App().raw; }

    // Appends a closed sweep of `count` plane profiles from y0 and processes it.
    void AddSweep(int count, float y0, int points = 40, int32_t referenceEnabled = 0) {
        RawData& r = Raw();
        for (int p = 0; p < count; ++p) {
            scan_test::OwnedProfile owned = scan_test::PlaneProfile(y0 + p, points);
            Profile profile = owned.Get();
            profile.ReferenceEnabled = referenceEnabled;
            ASSERT_TRUE(RawData_GrowProfiles(r, 500));
            Profile copy = profile;
            copy.Points = static_cast<Vec3*>(std::malloc(sizeof(Vec3) * points));
            copy.PointValues = static_cast<int32_t*>(std::malloc(sizeof(int32_t) * points));
            std::memcpy(copy.Points, profile.Points, sizeof(Vec3) * points);
            std::memcpy(copy.PointValues, profile.PointValues, sizeof(int32_t) * points);
            r.Profiles[r.TotalProfiles++] = copy;
            r.NumProfiles = r.TotalProfiles;
        }
        ASSERT_TRUE(RawData_GrowSweeps(r));
        ++r.TotalSweeps;
        r.NumSweeps = r.TotalSweeps;
        ASSERT_TRUE(RawData_GrowSweeps(r));
        r.SweepStartingProfileNo[r.TotalSweeps] = r.TotalProfiles;
        ASSERT_EQ(Scan_ProcessNewProfiles(r, 0, 4.0f), kScanProcessOk);
        // A built scan counts as saved until a test marks it.
        r.ProcessedChanged = r.Edited = 0;
    }

    // A small surface of three points and one facet, made now, after the scan.
    static void FillSurface(SurfaceRecord& s) {
        Surface_MarkChanged(s);
        s.NumPoints = s.MaxPoints = 3;
        s.Points = static_cast<Vec3*>(std::calloc(3, sizeof(Vec3)));
        s.PointNormals = static_cast<Vec3*>(std::calloc(3, sizeof(Vec3)));
        s.Points[1] = Vec3{1, 0, 0};
        s.Points[2] = Vec3{0, 1, 0};
        s.NumFacets = s.MaxFacets = 1;
        s.Facets = static_cast<int32_t*>(std::calloc(3, sizeof(int32_t)));
        s.Facets[1] = 1;
        s.Facets[2] = 2;
        s.FacetNormals = static_cast<Vec3*>(std::calloc(1, sizeof(Vec3)));
    }

    ScratchFolder folder;
    std::vector<std::string> messages;
    std::vector<std::string> questions;
    std::deque<int> answers;
    std::string saveAsPath;
    int saveDialogs = 0;
    std::vector<int32_t> exports;
    bool exportSucceeds = true;
    std::vector<bool> receiverApplied;
    int titleUpdates = 0;
};
