#include "app/acquisition/error_dump.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "acquisition_test_support.h"
#include "app/acquisition/process_field.h"

using namespace acquisition_test;
namespace fs = std::filesystem;

namespace {

void SetTemp(const std::string& folder) {
#ifdef _WIN32
    _putenv_s("temp", folder.c_str());
#else
    setenv("temp", folder.c_str(), 1);
#endif
}

class ErrorDump : public AcquisitionFixture {};

TEST_F(ErrorDump, BadFieldsAreAppendedRawPerKind) {
    const fs::path folder = fs::temp_directory_path() / "tolvaran_dump_test";
    fs::remove_all(folder);
    fs::create_directories(folder);
    SetTemp(folder.string());
    CloseErrorDumps();

    SetExpectedSerialNumber(345);
    SetHemisphereSetting(0);
    FieldParameters bad = WandField(345);
    bad.breakStartOfStatus = true;
    const std::vector<std::uint8_t> badBytes = GenerateField(bad);
    FieldCheckContext context;
    FieldCheckContext_Init(context, 0);
    for (int i = 0; i < 2; ++i) {
        LoadFieldIntoSlot(badBytes, RingSlotAddress(Ring_WriteCount()));
        EXPECT_EQ(ProcessField(1, 1, context), 0);
    }
    // A later field with another serial number goes to its own file.
    const std::vector<std::uint8_t> good = GenerateField(WandField(345));
    const std::vector<std::uint8_t> otherSerial = GenerateField(WandField(9));
    FieldCheckContext_StartCapture(context);
    LoadFieldIntoSlot(good, RingSlotAddress(Ring_WriteCount()));
    EXPECT_EQ(ProcessField(1, 1, context), 1);
    LoadFieldIntoSlot(otherSerial, RingSlotAddress(Ring_WriteCount()));
    EXPECT_EQ(ProcessField(1, 0, context), 0);
    CloseErrorDumps();

    const auto read = [](const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    std::vector<std::uint8_t> twice = badBytes;
    twice.insert(twice.end(), badBytes.begin(), badBytes.end());
    EXPECT_EQ(read(folder / "Tolvaran_FieldFramingError.dat"), twice);
    EXPECT_EQ(read(folder / "Tolvaran_SerialNumberError.dat"), otherSerial);
    EXPECT_FALSE(fs::exists(folder / "Tolvaran_PUVersionError.dat"));
    fs::remove_all(folder);
}

TEST_F(ErrorDump, AMissingFolderWritesNothing) {
    SetTemp((fs::temp_directory_path() / "tolvaran_no_such_folder" / "x").string());
    CloseErrorDumps();
    const std::vector<std::uint8_t> field(16, 1);
    DumpErrorField(FieldDumpKind::PUVersion, field.data(), field.size());
    CloseErrorDumps();
    EXPECT_FALSE(fs::exists(fs::temp_directory_path() / "tolvaran_no_such_folder"));
}

}  // namespace
