// The scan document: the save-or-discard prompt, closing, saving in each
// format, loading a file as the document, and the names and marks that
// follow from them.
#include "app/ui/tests/scan_document_fixture.h"

#include "app/locale/locale_lookup.h"
#include "app/scan/basic_surface.h"
#include "app/ui/app_title.h"
#include "app/ui/scan_edit.h"
#include "app/ui/scan_document_names.h"
#include "app/ui/scan_merge.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace {

bool Exists(const std::string& path) { return std::filesystem::exists(path); }

// ---- The prompt ---------------------------------------------------------------

TEST_F(ScanDocumentTest, PromptAsksBySavesAndSurfacesAndAnswers) {
    const std::string scanQ = Locale_GetString("SaveDiscardScan");
    const std::string basicQ = Locale_GetString("SaveDiscardBasicSurf");
    const std::string rbfQ = Locale_GetString("SaveDiscardRBFSurf");
    struct Case {
        const char* name;
        bool scan, basic, rbf;
        std::vector<int> answers;
        int32_t result;
        std::vector<std::string> asked;
        bool fileWritten;
        std::vector<int32_t> exported;
    } cases[] = {
        {"nothing unsaved", false, false, false, {}, 1, {}, false, {}},
        {"scan: Yes saves", true, false, false, {kAnswerYes}, 1, {scanQ}, true, {}},
        {"scan: No discards", true, false, false, {kAnswerNo}, 1, {scanQ}, false, {}},
        {"scan: Cancel keeps", true, false, false, {kAnswerCancel}, 0, {scanQ}, false, {}},
        {"only RBF: No asks nothing more", false, false, true, {kAnswerNo}, 1, {scanQ}, false, {}},
        {"only RBF: Yes then export",
         false,
         false,
         true,
         {kAnswerYes, kAnswerYes},
         1,
         {scanQ, rbfQ},
         true,
         {kSurfaceRbf}},
        {"basic: Yes, then No to the surface",
         true,
         true,
         false,
         {kAnswerYes, kAnswerNo},
         1,
         {scanQ, basicQ},
         true,
         {}},
        {"basic: Yes, then Cancel at the surface",
         true,
         true,
         false,
         {kAnswerYes, kAnswerCancel},
         0,
         {scanQ, basicQ},
         true,
         {}},
        {"all three: Yes to everything",
         true,
         true,
         true,
         {kAnswerYes, kAnswerYes, kAnswerYes},
         1,
         {scanQ, basicQ, rbfQ},
         true,
         {kSurfaceBasic, kSurfaceRbf}},
        {"all three: Cancel", true, true, true, {kAnswerCancel}, 0, {scanQ}, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScanDoc_ClearRecord();
        Surface_Free(App().basic);
        Surface_Free(App().rbf);
        std::memset(&App().basic, 0, sizeof(SurfaceRecord));
        std::memset(&App().rbf, 0, sizeof(SurfaceRecord));
        if (c.scan) {
            AddSweep(3, 0.0f);
            Raw().ProcessedChanged = 1;
        }
        if (c.basic) FillSurface(App().basic);
        if (c.rbf) FillSurface(App().rbf);
        // The export stands for the surface export; a saved scan file only
        // marks a surface saved when the save carried it.
        App().settings.DoSaveBasic = 0;
        questions.clear();
        exports.clear();
        answers.assign(c.answers.begin(), c.answers.end());
        saveAsPath = folder.File(std::string("prompt-") + std::to_string(&c - cases) + ".tvn");
        EXPECT_EQ(ScanDoc_PromptSaveOrDiscard(), c.result);
        EXPECT_EQ(questions, c.asked);
        EXPECT_EQ(Exists(saveAsPath), c.fileWritten);
        EXPECT_EQ(exports, c.exported);
    }
}

TEST_F(ScanDocumentTest, WithoutTheExportYesOnASurfaceActsAsCancel) {
    FillSurface(App().basic);
    ScanDoc_Services().exportSurface = nullptr;
    App().settings.DoSaveBasic = 0;
    saveAsPath = folder.File("scan.tvn");
    answers = {kAnswerYes, kAnswerYes};
    EXPECT_EQ(ScanDoc_PromptSaveOrDiscard(), 0);
    // Closing was refused: the surface is still there.
    EXPECT_EQ(ScanDoc_Unload(1), 0);
    EXPECT_EQ(App().basic.NumPoints, 3);
}

TEST_F(ScanDocumentTest, ACancelledSaveDialogCancelsTheClose) {
    AddSweep(3, 0.0f);
    Raw().Edited = 1;
    answers = {kAnswerYes};
    saveAsPath.clear();  // the dialog is cancelled
    EXPECT_EQ(ScanDoc_Unload(1), 0);
    EXPECT_EQ(saveDialogs, 1);
    EXPECT_EQ(Raw().NumSweeps, 1);
}

// ---- Saving, loading and closing: names and marks -------------------------------

TEST_F(ScanDocumentTest, MarksAndNamesFollowSaveLoadAndClose) {
    AddSweep(4, 0.0f);
    FillSurface(App().basic);
    ScanDoc_FormatCreatorString("New Scan");
    Raw().ProcessedChanged = 1;
    Raw().Edited = 1;
    const std::string path = folder.File("Foot.TVN");

    // A keep-document save: the copy's name in the title, but path and marks stay.
    const std::string copy = folder.File("copy.tvn");
    ASSERT_TRUE(ScanDoc_Save(copy, 1));
    EXPECT_TRUE(Exists(copy));
    EXPECT_EQ(Raw().ProcessedChanged, 1);
    EXPECT_EQ(Raw().Edited, 1);
    EXPECT_EQ(App().scanPath, "");
    EXPECT_EQ(ScanDoc_State().lastFilePath, "");
    EXPECT_EQ(App().documentName, "copy.tvn");

    // A save: marks cleared, the document named; upper-case ".TVN" is a scan file.
    App().settings.DoSaveBasic = 1;
    App().settings.DoSaveRbf = 0;
    ASSERT_TRUE(ScanDoc_Save(path, 0));
    EXPECT_EQ(Raw().ProcessedChanged, 0);
    EXPECT_EQ(Raw().Edited, 0);
    EXPECT_EQ(App().basic.Saved, 1);
    EXPECT_EQ(App().rbf.Saved, 0);
    EXPECT_EQ(App().scanPath, path);
    EXPECT_EQ(App().documentName, "Foot.TVN");

    // Close: unnamed, but the last file is still proposed.
    ASSERT_EQ(ScanDoc_Unload(1), 1);
    EXPECT_TRUE(questions.empty());
    EXPECT_EQ(App().scanPath, "");
    EXPECT_EQ(App().documentName, Locale_GetString("TitleBarUnnamedFile"));
    EXPECT_EQ(ScanDoc_State().lastFilePath, path);
    EXPECT_EQ(ScanDoc_GetFileBaseName(), "Foot");
    EXPECT_EQ(Raw().NumProfiles, 0);
    EXPECT_EQ(App().documentMetadata, nullptr);

    // Load: the file saved as "Foot.TVN" opens again, unmodified, with its history.
    ASSERT_TRUE(ScanDoc_Reload(path));
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(Raw().NumProfiles, 4);
    EXPECT_EQ(Raw().ProcessedChanged, 0);
    EXPECT_EQ(Raw().Edited, 0);
    EXPECT_EQ(App().scanPath, path);
    EXPECT_EQ(App().documentName, "Foot.TVN");
    ASSERT_NE(App().documentMetadata, nullptr);
    EXPECT_EQ(App().documentMetadata->create.program_text.value_or(""), "New Scan");
    ASSERT_FALSE(App().documentMetadata->edits.empty());
    EXPECT_EQ(App().documentMetadata->edits.back().program_text.value_or(""), "Loaded from " + path);
    EXPECT_EQ(App().documentMetadata->create.program.value_or(""), "Tolvaran 4.0.7");
}

// A scan opened with both its surfaces is as its file: nothing to save and
// no question on closing; a surface built again after that is new, and the
// close asks about it.
TEST_F(ScanDocumentTest, AnOpenedScanIsUnchangedUntilASurfaceIsBuiltAgain) {
    AddSweep(6, 0.0f);
    FillSurface(App().basic);
    FillSurface(App().rbf);
    App().rbf.ChangeTime = App().basic.ChangeTime + 1;  // made from it
    App().settings.DoSaveBasic = App().settings.DoSaveRbf = 1;
    const std::string path = folder.File("limb.tvn");
    ASSERT_TRUE(ScanDoc_Save(path, 0));
    ASSERT_EQ(ScanDoc_Unload(1), 1);
    ASSERT_TRUE(ScanDoc_Reload(path));
    ASSERT_GT(App().rbf.NumPoints, 0);
    EXPECT_FALSE(App_DocumentModified(Raw(), App().basic, App().rbf));
    EXPECT_EQ(ScanDoc_Unload(1), 1);
    EXPECT_TRUE(questions.empty());

    ASSERT_TRUE(ScanDoc_Reload(path));
    const int32_t built = BasicSurf_Build(App().settings, Raw(), 3, App().basic, nullptr, nullptr);
    ASSERT_TRUE(built == kBasicSurfDone || built == kBasicSurfBadFacets) << built;
    EXPECT_TRUE(App_DocumentModified(Raw(), App().basic, App().rbf));
    answers = {kAnswerCancel};
    EXPECT_EQ(ScanDoc_Unload(1), 0);
    EXPECT_EQ(questions.size(), 1u);
}

// Points deleted, or the deletion undone, after the basic surface was built:
// the surface no longer shows the scan, so neither the save nor a reopen
// hands it on as current.
TEST_F(ScanDocumentTest, ASurfaceBuiltBeforeAnEditIsNotSavedWithTheEditedScan) {
    AddSweep(6, 0.0f);
    App().settings.DoSaveBasic = 1;
    const std::string path = folder.File("edited.tvn");
    for (const bool undo : {false, true}) {
        SCOPED_TRACE(undo);
        const int32_t built = BasicSurf_Build(App().settings, Raw(), 3, App().basic, nullptr, nullptr);
        ASSERT_TRUE(built == kBasicSurfDone || built == kBasicSurfBadFacets) << built;
        ASSERT_GT(App().basic.NumPoints, 0) << built;
        if (!undo) {
            // The profiles run from x = -50 to -30.5: the first half goes.
            ASSERT_TRUE(ScanEdit_SelectInRecord(Raw(), [](const ScanPoint& p) { return p.Vertex.x < -40.0f; }));
            ScanEdit_DeleteSelection();
        } else {
            ScanEdit_UndoCommand();  // the surface just built has the hole
        }
        ASSERT_EQ(Raw().EditLimit, undo ? 0u : 1u);
        ASSERT_TRUE(ScanDoc_Save(path, 0));
        ASSERT_TRUE(ScanDoc_Reload(path));
        EXPECT_EQ(App().basic.NumPoints, 0);
    }
}

TEST_F(ScanDocumentTest, SavingWithoutTheBasicSurfaceLeavesItUnsaved) {
    AddSweep(3, 0.0f);
    FillSurface(App().basic);
    FillSurface(App().rbf);
    App().settings.DoSaveBasic = 0;
    App().settings.DoSaveRbf = 1;
    ASSERT_TRUE(ScanDoc_Save(folder.File("scan.tvn"), 0));
    EXPECT_TRUE(ScanDoc_SurfaceUnsaved(App().basic));
    EXPECT_TRUE(ScanDoc_SurfaceUnsaved(App().rbf));
}

TEST_F(ScanDocumentTest, SaveFormatsByExtension) {
    AddSweep(3, 0.0f);
    struct Case {
        const char* name;
        int32_t mode;
        bool saved;
        const char* message;
    } cases[] = {
        {"scan.krv", kModeScan, true, nullptr},
        {"scan.KRV", kModeScan, true, nullptr},
        {"Wand_007_.vid", kModeCalibration, true, nullptr},
        {"scan.txt", kModeScan, false, "ErrorFileTypeUnknown"},
        {"no-extension", kModeScan, false, "ErrorFileTypeUnknown"},
        {"missing-folder/scan.krv", kModeScan, false, "ErrorFileWriteGeneric"},
        {"missing-folder/scan.vid", kModeScan, false, "ErrorFileWriteGeneric"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        messages.clear();
        App().mode = c.mode;
        Raw().Edited = 1;
        const std::string path = folder.File(c.name);
        EXPECT_EQ(ScanDoc_Save(path, 0), c.saved);
        EXPECT_EQ(Exists(path), c.saved);
        EXPECT_EQ(Raw().Edited, c.saved ? 0 : 1);
        if (c.message) {
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_EQ(messages[0], Locale_GetString(c.message));
        } else {
            EXPECT_TRUE(messages.empty());
        }
    }
    App().mode = kModeScan;
}

TEST_F(ScanDocumentTest, ReloadOfBothFormatsGivesModeAndReceiverOption) {
    struct Case {
        const char* name;
        int32_t modeBefore;
        int32_t referenceEnabled;
        int32_t receiverBefore;
        std::vector<bool> applied;
    } cases[] = {
        {"scan.tvn", kModeScan, 1, 0, {true}},
        {"scan.krv", kModeSurface, 1, 0, {true}},
        {"scan.krv.tvn", kModePreview, 0, 0, {}},  // holds ".krv": read as an older file
        {"older.KRV", kModeScan, 0, 1, {false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScanDoc_Unload(0);
        AddSweep(3, 0.0f, 40, c.referenceEnabled);
        AddSweep(2, 10.0f, 40, c.referenceEnabled);
        const std::string path = folder.File(c.name);
        // A ".krv.tvn" name is written as a scan file but read as an older one.
        ASSERT_TRUE(c.name == std::string("scan.krv.tvn")
                        ? ScanDoc_Save(folder.File("scan.krv"), 0) &&
                              std::filesystem::copy_file(folder.File("scan.krv"), path)
                        : ScanDoc_Save(path, 0));
        ScanDoc_Unload(0);
        App().mode = c.modeBefore;
        App().settings.ReceiverEnabled = c.receiverBefore;
        receiverApplied.clear();
        ASSERT_TRUE(ScanDoc_Reload(path));
        EXPECT_TRUE(messages.empty());
        EXPECT_EQ(Raw().NumProfiles, 5);
        EXPECT_EQ(Raw().NumSweeps, 2);
        EXPECT_GT(Raw().NumPoints, 0);
        EXPECT_EQ(App().mode, ScanDoc_LoadKind(path) == ScanFileKind::Krv ? kModeScan : c.modeBefore);
        EXPECT_EQ(App().settings.ReceiverEnabled, c.referenceEnabled);
        EXPECT_EQ(receiverApplied, c.applied);
        EXPECT_EQ(App().scanPath, path);
        ASSERT_NE(App().documentMetadata, nullptr);
        if (ScanDoc_LoadKind(path) == ScanFileKind::Krv) {
            EXPECT_EQ(App().documentMetadata->create.program_text.value_or(""), "Converted from .krv file");
        }
    }
}

TEST_F(ScanDocumentTest, AFailedLoadLeavesAnUnnamedEmptyDocumentAndOneMessage) {
    const std::string damaged = folder.File("damaged.tvn");
    const std::string notKrv = folder.File("text.krv");
    {
        std::ofstream(damaged, std::ios::binary) << "not a scan file at all";
        std::ofstream(notKrv, std::ios::binary) << "not an older scan file either";
    }
    struct Case {
        std::string path;
        bool message;
    } cases[] = {{damaged, true}, {notKrv, true}, {folder.File("missing.krv"), true}, {folder.File("x.txt"), false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        AddSweep(2, 0.0f);
        App().scanPath = "C:\\previous.tvn";
        App().documentName = "previous.tvn";
        messages.clear();
        EXPECT_FALSE(ScanDoc_Reload(c.path));
        EXPECT_EQ(messages.size(), c.message ? 1u : 0u);
        EXPECT_EQ(Raw().NumProfiles, 0);
        EXPECT_EQ(App().scanPath, "");
        EXPECT_EQ(App().documentName, Locale_GetString("TitleBarUnnamedFile"));
    }
}

TEST_F(ScanDocumentTest, NewKeepsTheLastFileForTheDialogs) {
    AddSweep(2, 0.0f);
    const std::string path = folder.File("left foot.tvn");
    ASSERT_TRUE(ScanDoc_Save(path, 0));
    ASSERT_EQ(ScanDoc_Unload(1), 1);
    EXPECT_EQ(App().documentName, Locale_GetString("TitleBarUnnamedFile"));
    EXPECT_EQ(ScanDoc_GetFileBaseName(), "left foot");
    EXPECT_GT(titleUpdates, 0);
}

TEST_F(ScanDocumentTest, HistoryTextsAreCutAndFormatted) {
    ScanDocEnvironment e;
    e.userName = std::string(300, 'u');
    e.computerName = "WORKSHOP-PC-NUMBER-SEVEN";
    e.major = 5, e.minor = 1, e.build = 2600, e.platformId = 2;
    e.servicePack = "Service Pack 2";
    const ScanDocEntryTexts texts = ScanDoc_EntryTexts(e);
    EXPECT_EQ(texts.program, "Tolvaran 4.0.7");
    EXPECT_EQ(texts.user.size(), 199u);  // 200 user characters and the computer are cut to 199
    EXPECT_EQ(texts.platform, "5.1.2600, 2, Service Pack 2");
    e.userName = "anna";
    EXPECT_EQ(ScanDoc_EntryTexts(e).user, "anna@WORKSHOP-PC-NUM");
}

// ---- Joining and comparing with a file ------------------------------------------

TEST_F(ScanDocumentTest, JoiningAFileAppendsItsSweepsAndMarksTheScanChanged) {
    AddSweep(3, 0.0f);
    const std::string other = folder.File("other.krv");
    ASSERT_TRUE(ScanDoc_Save(other, 1));
    ScanDoc_ClearRecord();
    AddSweep(2, 0.0f);
    AddSweep(2, 5.0f);
    const int32_t pointsBefore = Raw().NumPoints;
    ASSERT_TRUE(ScanDoc_ConcatenateFile(other));
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(Raw().NumSweeps, 3);
    EXPECT_EQ(Raw().NumProfiles, 7);
    EXPECT_GT(Raw().NumPoints, pointsBefore);
    EXPECT_TRUE(RawData_PointsMatchProfiles(Raw()));
    EXPECT_EQ(Raw().ProcessedChanged, 1);
}

TEST_F(ScanDocumentTest, AJoinThatFailsLeavesTheScanAsItWasWithOneMessage) {
    AddSweep(3, 0.0f);
    const std::string good = folder.File("good.tvn");
    ASSERT_TRUE(ScanDoc_Save(good, 1));
    const std::string damaged = folder.File("damaged.tvn");
    std::ofstream(damaged, std::ios::binary) << "not a scan";
    AddSweep(2, 10.0f);
    Raw().Edited = 1;
    struct Case {
        std::string path;
        int failingGrowth;
    } cases[] = {{damaged, 0}, {folder.File("missing.krv"), 0}, {good, 1}, {good, 2}, {good, 3}, {good, 4}, {good, 5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path + " growth " + std::to_string(c.failingGrowth));
        messages.clear();
        const int32_t sweeps = Raw().NumSweeps, points = Raw().NumPoints, facets = Raw().NumFacets;
        const std::vector<unsigned char> pointBytes(reinterpret_cast<unsigned char*>(Raw().Points),
                                                    reinterpret_cast<unsigned char*>(Raw().Points + points));
        ScanMerge_FailGrowthForTest(c.failingGrowth);
        EXPECT_FALSE(ScanDoc_ConcatenateFile(c.path));
        ScanMerge_FailGrowthForTest(0);
        EXPECT_EQ(messages.size(), 1u);
        if (c.failingGrowth) {
            EXPECT_EQ(messages[0], Locale_GetString("ErrorOutOfMemory"));
        }
        EXPECT_EQ(Raw().NumSweeps, sweeps);
        EXPECT_EQ(Raw().NumFacets, facets);
        ASSERT_EQ(Raw().NumPoints, points);
        EXPECT_TRUE(std::equal(pointBytes.begin(), pointBytes.end(), reinterpret_cast<unsigned char*>(Raw().Points)));
        EXPECT_EQ(Raw().Edited, 1);
        EXPECT_EQ(Raw().ProcessedChanged, 0);
    }
}

TEST_F(ScanDocumentTest, ComparingWithTheSavedFileFindsOnlyWhatChanged) {
    AddSweep(3, 0.0f);
    const std::string path = folder.File("same.tvn");
    ASSERT_TRUE(ScanDoc_Save(path, 0));
    Raw().Points[4].Normal.x += 1.0f;
    const std::vector<std::string> lines = ScanDoc_CompareFile(path);
    // The point arrays differ only in the changed normal (the facets come back
    // from the facet coder with their corners possibly turned).
    std::vector<std::string> pointLines;
    for (size_t k = 0; k + 1 < lines.size(); ++k)
        if (lines[k].find("RawData.Points[i]") == 0) pointLines = {lines[k], lines[k + 1]};
    ASSERT_EQ(pointLines.size(), 2u) << ::testing::PrintToString(lines);
    EXPECT_EQ(pointLines[0], "RawData.Points[i].Normal[j] differs (1.000000 0.000000) \n");
    EXPECT_EQ(pointLines[1], "i == 4 j == 0\n");
    EXPECT_TRUE(ScanDoc_CompareFile(folder.File("missing.tvn")).empty());
    EXPECT_EQ(messages.size(), 1u);
}

}  // namespace
