#include "app/acquisition/error_dump.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <chrono>
#include <thread>

#include "acquisition_test_support.h"
#include "app/acquisition/acquisition_state.h"
#include "app/acquisition/acquisition_thread.h"
#include "app/acquisition/process_field.h"
#include "hardware_doubles.h"

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

std::vector<std::uint8_t> ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A field told apart from the others by its every byte.
std::vector<std::uint8_t> Marked(int mark) { return std::vector<std::uint8_t>(64, static_cast<std::uint8_t>(mark)); }

class ErrorDump : public AcquisitionFixture {};

// Each test with a temporary folder of its own and the dumps closed before
// and after.
class ErrorDumpQueue : public AcquisitionFixture {
  protected:
    void SetUp() override {
        AcquisitionFixture::SetUp();
        folder_ = fs::temp_directory_path() / "tolvaran_dump_queue_test";
        fs::remove_all(folder_);
        fs::create_directories(folder_);
        SetTemp(folder_.string());
        CloseErrorDumps();
    }
    void TearDown() override {
        CloseErrorDumps();
        fs::remove_all(folder_);
        AcquisitionFixture::TearDown();
    }
    fs::path File(const char* kind) const { return folder_ / (std::string("Tolvaran_") + kind + "Error.dat"); }

    fs::path folder_;
};

TEST_F(ErrorDumpQueue, DumpingOnlyQueuesTheFieldAndClosingWritesIt) {
    const std::vector<std::uint8_t> field = Marked(7);
    DumpErrorField(FieldDumpKind::PUVersion, field.data(), field.size());
    // No file is made or written on the dumping thread.
    EXPECT_FALSE(fs::exists(File("PUVersion")));
    CloseErrorDumps();
    EXPECT_EQ(ReadFile(File("PUVersion")), field);
}

TEST_F(ErrorDumpQueue, AFullQueueDropsAndCountsTheFieldsItCannotHold) {
    std::vector<std::uint8_t> expected;
    for (int i = 0; i < kErrorDumpQueueLength + 3; ++i) {
        const std::vector<std::uint8_t> field = Marked(i);
        DumpErrorField(FieldDumpKind::FieldFraming, field.data(), field.size());
        if (i < kErrorDumpQueueLength) expected.insert(expected.end(), field.begin(), field.end());
    }
    EXPECT_EQ(ErrorDumpsDropped(), 3);
    CloseErrorDumps();
    EXPECT_EQ(ReadFile(File("FieldFraming")), expected) << "the queued fields, in their order";
    EXPECT_EQ(ErrorDumpsDropped(), 0) << "counted afresh after closing";
    EXPECT_TRUE(TraceHas("ErrorDump: 3 bad field(s) not dumped, the writer fell behind\n"));
}

TEST_F(ErrorDumpQueue, TheWriterEmptiesTheQueueWhileDumpsGoOn) {
    StartErrorDumpWriter();
    std::vector<std::uint8_t> expected;
    // Three times the queue's length, each field handed over only once the
    // writer has room: the writer keeps up without a close.
    for (int i = 0; i < 3 * kErrorDumpQueueLength; ++i) {
        const std::vector<std::uint8_t> field = Marked(i);
        expected.insert(expected.end(), field.begin(), field.end());
        DumpErrorField(FieldDumpKind::SerialNumber, field.data(), field.size());
        ASSERT_EQ(ErrorDumpsDropped(), 0);
        if (i % kErrorDumpQueueLength == kErrorDumpQueueLength - 1) {
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (ReadFile(File("SerialNumber")).size() < expected.size() && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    CloseErrorDumps();
    EXPECT_EQ(ReadFile(File("SerialNumber")), expected);
}

TEST_F(ErrorDumpQueue, TheAcquisitionThreadClosesItsDumpsWhenItEndsAndARestartAddsToThem) {
    ResetAcquisitionState();
    SetHardwareTransport(Transport_PARALLEL);
    SetExpectedSerialNumber(345);
    SetHemisphereSetting(4);
    FieldParameters broken = WandField(345);
    broken.breakStartOfStatus = true;
    const std::vector<std::uint8_t> bad = GenerateField(broken);
    EcpDeviceDouble device;
    device.portOpen = true;
    device.reads = {EcpDeviceDouble::FullField(GenerateField(WandField(345))), EcpDeviceDouble::FullField(bad),
                    EcpDeviceDouble::ShortRead()};
    VirtualSignals signals;
    device.whenReadsRunOut = [&] { signals.stop = true; };
    ASSERT_EQ(RunAcquisitionThread(signals, &device, 0), 1);
    EXPECT_EQ(ReadFile(File("FieldFraming")), bad);

    // The thread started again (after a version mismatch, say) adds to the
    // run's dumps instead of starting them anew.
    const std::vector<std::uint8_t> later = Marked(9);
    ASSERT_EQ(RunAcquisitionThread(signals, &device, 0), 1);
    DumpErrorField(FieldDumpKind::FieldFraming, later.data(), later.size());
    CloseErrorDumps();
    std::vector<std::uint8_t> both = bad;
    both.insert(both.end(), later.begin(), later.end());
    EXPECT_EQ(ReadFile(File("FieldFraming")), both);
}

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
