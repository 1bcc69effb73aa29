// Batch processing without its window: a list of scan files (one cut short,
// one of no known type) exported as sweeps and as a basic surface, with the
// log each step writes, the summary, the beep and the warning box; an abort
// in a surface build; the open scan processed in place; the rules of new
// items and their output paths.
#include "app/scan/basic_surface.h"
#include "app/ui/batch_process.h"
#include "app/ui/tests/batch_scans.h"

#include "app/files/tests/keyed_scratch_folder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

// Triangles of a binary STL file, -1 when it is not one.
int64_t StlTriangles(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return -1;
    const int64_t size = in.tellg();
    if (size < 84) return -1;
    in.seekg(80);
    uint32_t count = 0;
    in.read(reinterpret_cast<char*>(&count), 4);
    return size == 84 + 50 * static_cast<int64_t>(count) ? count : -1;
}

// "element face N" of a PLY header, -1 when missing.
int64_t PlyFaces(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (std::getline(in, line) && line.rfind("end_header", 0) != 0)
        if (line.rfind("element face ", 0) == 0) return std::stoll(line.substr(13));
    return -1;
}

class BatchProcess : public ::testing::Test {
  protected:
    void SetUp() override {
        Batch_AbortFlag() = 0;
        BatchLog_ResetStage();
        GeneralSettings_SetDefaults(settings, 0x00FFFFFF, 0);
        ViewSettings_SetDefaults(view);
        BatchLog_Sink() = BatchLogSink();
        BatchLog_Sink().append = [this](const ProcLogLine& line) { lines.push_back(line.text); };
        BatchLog_Sink().sound = [this](ProcLogSound sound) { sounds.push_back(sound); };
        BatchLog_Sink().threadSeconds = [] { return 0.5; };
        host.successBeep = [this] { ++beeps; };
        host.warningBox = [this] { ++boxes; };
        host.itemStarts = [this](int32_t index) { started.push_back(index); };
        host.runningChanged = [this](bool running) { runningStates.push_back(running); };
    }
    void TearDown() override {
        BatchLog_Sink() = BatchLogSink();
        Batch_AbortFlag() = 0;
    }

    // An item for a file, exporting as the choice says (0 sweeps, 1 basic)
    // in the format given.
    BatchItem* Add(const std::string& scan, int32_t choice, int32_t type) {
        BatchProgram program{&settings, &view, nullptr, ""};
        owned.push_back(Batch_NewItem(program, owned.empty() ? nullptr : owned.back().get()));
        BatchItem* item = owned.back().get();
        item->scanPath = scan;
        Batch_SetItemChoice(*item, choice);
        item->settings.ExportFileType = type;
        item->settings.ExportOptions[type].ExportDataType = 1;
        item->settings.ExportOptions[type].ExportCoordinateSystem = 0;
        item->settings.ExportOptions[type].ExportAsText = type == kExportPly ? 1 : 0;
        item->outputPath = Batch_OutputPathFor(scan, type);
        items.push_back(item);
        return item;
    }

    bool HasLine(const std::string& text) const {
        for (const std::string& line : lines)
            if (line == text) return true;
        return false;
    }
    bool HasLineContaining(const std::string& text) const {
        for (const std::string& line : lines)
            if (line.find(text) != std::string::npos) return true;
        return false;
    }

    ScratchFolder folder;
    GeneralSettings settings{};
    ViewSettings view{};
    BatchRunHost host;
    std::vector<std::unique_ptr<BatchItem>> owned;
    std::vector<BatchItem*> items;
    std::vector<std::string> lines;
    std::vector<ProcLogSound> sounds;
    std::vector<int32_t> started;
    std::vector<bool> runningStates;
    int beeps = 0;
    int boxes = 0;
};

TEST_F(BatchProcess, AFolderWithABadFileEndsWithErrorsAndExportsTheOthers) {
    const std::string a = folder.File("a.tvn"), b = folder.File("b.tvn"), cut = folder.File("cut.tvn");
    const int32_t facets = batch_test::WriteDomeScan(a);
    ASSERT_GT(facets, 0);
    ASSERT_GT(batch_test::WriteDomeScan(b, 3), 0);
    ASSERT_TRUE(batch_test::WriteTruncatedCopy(a, cut, 700));
    Add(a, 0, kExportStl);
    Add(cut, 0, kExportStl);
    Add(folder.File("notes.txt"), 0, kExportStl);
    Add(b, 1, kExportPly);
    EXPECT_EQ(Batch_Run(items, BatchEnvironment{}, host), 0);

    EXPECT_EQ(started, (std::vector<int32_t>{0, 1, 2, 3}));
    EXPECT_EQ(runningStates, (std::vector<bool>{true, false}));
    EXPECT_EQ(StlTriangles(folder.File("a.stl")), facets);
    EXPECT_GT(PlyFaces(folder.File("b.ply")), 0);
    EXPECT_EQ(StlTriangles(folder.File("cut.stl")), -1);  // nothing written for the bad item
    EXPECT_TRUE(HasLine(cut));
    EXPECT_TRUE(HasLineContaining("(0.50s) ERROR: "));
    EXPECT_TRUE(HasLine("(0.50s) Loading File"));
    EXPECT_TRUE(HasLine("(0.50s) Saving: " + folder.File("a.stl")));
    EXPECT_TRUE(HasLine("  Coordinates: tracker, Data: triangles, End of line: n/a"));
    EXPECT_TRUE(HasLine("(0.50s) Basic Export"));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "(0.50s) WARNING: Batch processing completed with errors");
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(beeps, 0);
    // Two items completed, two failed.
    int complete = 0, errors = 0;
    for (const std::string& line : lines) {
        complete += line == "(0.50s) Complete";
        errors += line.find("ERROR: ") != std::string::npos;
    }
    EXPECT_EQ(complete, 2);
    EXPECT_EQ(errors, 2);
}

TEST_F(BatchProcess, AllGoodGivesTheSuccessLineAndOneBeep) {
    const std::string a = folder.File("a.tvn");
    ASSERT_GT(batch_test::WriteDomeScan(a), 0);
    Add(a, 0, kExportStl);
    Add(a, 1, kExportPly);
    EXPECT_EQ(Batch_Run(items, BatchEnvironment{}, host), 1);
    EXPECT_EQ(beeps, 1);
    EXPECT_EQ(boxes, 0);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "Batch processing completed successfully");
    EXPECT_TRUE(sounds.empty());
}

TEST_F(BatchProcess, AScanFileNamedInCapitalsIsAScanFile) {
    // As File > Open takes it: file names carry no case.
    const std::string a = folder.File("DOME.TVN");
    ASSERT_GT(batch_test::WriteDomeScan(a), 0);
    Add(a, 0, kExportStl);
    EXPECT_EQ(Batch_Run(items, BatchEnvironment{}, host), 1);
    EXPECT_FALSE(HasLineContaining("Unknown file type"));
    EXPECT_GT(StlTriangles(items[0]->outputPath), 0);
}

TEST_F(BatchProcess, AbortInASurfaceBuildFailsTheItemAndEndsWithoutSummary) {
    const std::string a = folder.File("a.tvn");
    ASSERT_GT(batch_test::WriteDomeScan(a), 0);
    Add(a, 1, kExportPly);
    Add(a, 0, kExportStl);
    // The user presses Abort as the build reports its first stage.
    BatchLog_Sink().barPosition = [](int32_t) {};
    BatchLog_Sink().append = [this](const ProcLogLine& line) {
        lines.push_back(line.text);
        if (line.text.find("Basic Export") != std::string::npos) Batch_AbortFlag() = 1;
    };
    EXPECT_EQ(Batch_Run(items, BatchEnvironment{}, host), 0);
    EXPECT_EQ(started, (std::vector<int32_t>{0}));
    EXPECT_TRUE(HasLine("(0.50s) ERROR: User abort"));
    EXPECT_FALSE(HasLineContaining("completed"));
    EXPECT_EQ(beeps + boxes, 0);
    EXPECT_EQ(PlyFaces(folder.File("a.ply")), -1);
    // A progress call after Abort says stop.
    EXPECT_EQ(ProcLog_Progress("Facets", 0.5f, nullptr), 0);
}

TEST_F(BatchProcess, TheOpenScanIsProcessedInPlaceAndKept) {
    const std::string path = folder.File("open.tvn");
    ASSERT_GT(batch_test::WriteDomeScan(path), 0);
    char error[kScanFileErrorTextSize] = "";
    ScanBlocks blocks;
    ScanBlocks_Init(blocks);
    RawData* raw = static_cast<RawData*>(std::calloc(1, sizeof(RawData)));
    ASSERT_TRUE(
        TVNFile_Load(path.c_str(), raw, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &blocks, error, nullptr))
        << error;
    RawData before;
    std::memcpy(static_cast<void*>(&before), raw, sizeof before);

    BatchProgram program{&settings, &view, raw, path};
    owned.push_back(Batch_CurrentScanItem(program));
    BatchItem& item = *owned.back();
    EXPECT_EQ(item.currentScan, 1);
    EXPECT_EQ(item.outputPath, Batch_OutputPathFor(path, settings.ExportFileType));
    Batch_SetItemChoice(item, 1);
    item.settings.ExportFileType = kExportStl;
    item.outputPath = folder.File("open.stl");
    items.push_back(&item);
    BatchEnvironment environment;
    environment.programScan = raw;
    EXPECT_EQ(Batch_Run(items, environment, host), 1);
    EXPECT_TRUE(HasLine(path + " (Current Scan)"));
    EXPECT_FALSE(HasLine("(0.50s) Loading File"));
    EXPECT_GT(StlTriangles(folder.File("open.stl")), 0);
    // The program's record and its arrays are as they were.
    EXPECT_EQ(std::memcmp(&before, raw, sizeof before), 0);
    EXPECT_EQ(raw->Points, before.Points);
    EXPECT_GT(raw->NumPoints, 0);
    RawData_FreeArrays(*raw);
    std::free(raw);
    ScanBlocks_Free(blocks);
}

TEST(BatchItems, NewItemsTakeTheLastItemsChoicesAndTheProgramsView) {
    GeneralSettings settings{};
    GeneralSettings_SetDefaults(settings, 0x00FFFFFF, 0);
    ViewSettings view{};
    ViewSettings_SetDefaults(view);
    view.ZoomFactor = 3.5f;
    BatchProgram program{&settings, &view, nullptr, ""};
    auto first = Batch_NewItem(program, nullptr);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->buildSurface, 1);
    EXPECT_EQ(first->current, &first->basic);
    EXPECT_EQ(first->view.ZoomFactor, 3.5f);
    Batch_SetItemChoice(*first, 2);
    first->settings.ExportFileType = kExportWavefront;
    first->current = &first->rbf;
    view.ZoomFactor = 1.0f;
    auto second = Batch_NewItem(program, first.get());
    EXPECT_EQ(Batch_ItemChoice(*second), 2);
    EXPECT_EQ(second->settings.ExportFileType, kExportWavefront);
    EXPECT_EQ(second->current, &second->rbf);
    EXPECT_EQ(second->view.ZoomFactor, 1.0f);
    Batch_SetItemChoice(*second, 0);
    EXPECT_EQ(Batch_ItemChoice(*second), 0);
    auto third = Batch_NewItem(program, second.get());
    EXPECT_EQ(third->buildSurface, 0);

    std::vector<BatchItem*> list{first.get(), second.get()};
    first->outputPath = "x.obj";
    EXPECT_EQ(Batch_FirstItemWithoutOutput(list), 1);
    second->outputPath = "y.obj";
    EXPECT_EQ(Batch_FirstItemWithoutOutput(list), -1);
}

TEST(BatchItems, PathsAndLabels) {
    const struct {
        const char* path;
        const char* output;
        const char* current;
        const char* file;
    } rows[] = {
        {"C:\\scans\\foot.tvn", "C:\\scans\\foot.stl", "foot.tvn", "foot"},
        {"C:\\scans.v2\\foot", "C:\\scans.v2\\foot.stl", "foot", "foot"},
        {"/data/leg.scan.krv", "/data/leg.scan.stl", "leg.scan.krv", "leg.scan"},
        {"hand.tvn", "hand.stl", "hand.tvn", "hand"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(Batch_OutputPathFor(row.path, kExportStl), row.output);
        EXPECT_EQ(Batch_CurrentScanLabel(row.path), row.current);
        EXPECT_EQ(Batch_FileLabel(row.path), row.file);
    }
    EXPECT_EQ(Batch_OutputPathFor("a.tvn", 99), "a.err");
}

}  // namespace
