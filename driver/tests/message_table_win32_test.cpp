// The event texts of the built image as the system's event viewer reads
// them: through FormatMessage from the image's message table.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

struct Event {
    DWORD code;
    const char* text;
};

const Event kEvents[] = {
    {0xC0070001, "OMBRIX: Device load failed: %2."},
    {0xC0070002, "OMBRIX: ECP Device Open failed. Ensure ECP is enabled in BIOS and Registry Parameters are correct."},
    {0xC0070003, "OMBRIX: Error connecting to associated Parallel Port Device\t(\\Device\\Parallelx)"},
    {0xC0070004, "OMBRIX: Parport.sys won't allocate SPP port to device - parallel port probably in use."},
    {0xC0070005, "OMBRIX: Parport.sys won't connect interrupt for ECP device - parallel port probably in use."},
    {0xC0070006, "Error allocating resources (i/o ports and DMA channel) to ECP device."},
    {0xC0070007, "OMBRIX: Error initializing resources (io/ports or DMA channel) of ECP device."},
    {0xC0070008, "OMBRIX: \\OMBRIX\\Devices\\ECPx\\LPTPort:DWORD out of range. Valid range: [1..4]"},
    {0xC0070009, "OMBRIX: \\OMBRIX\\Devices\\ECPx\\DMAChannel:DWORD out of range Valid range: [1,2,3,5,6,7]"},
    {0xC007000A, "OMBRIX: ECP (Extended Capabilities Port) enabled parallel port not detected - check BIOS settings"},
    {0xC007000B, "OMBRIX: Error reading ECP Port configuration"},
    {0xC007000C, "OMBRIX: DMA Channel does not match chip implementation"},
    {0xC007000D, "OMBRIX: Error disconnecting parallel port interrupt from parport.sys"},
    {0xC007000E, "OMBRIX: Error releasing resources claimed by ECP device"},
    {0xC007000F,
     "OMBRIX: Parallel Port hardware requires DMA channel to be set by jumper on board - ensure this "
     "matches ECP\\0\\DMAChannel Registry entry"},
};

TEST(MessageTable, EveryEventTextReadsBackAsWritten) {
    HMODULE image = LoadLibraryExA(OMBRIX_IMAGE, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(image, nullptr) << OMBRIX_IMAGE << " error " << GetLastError();
    for (const Event& event : kEvents) {
        char text[512] = {};
        const DWORD length =
            FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, image, event.code,
                           MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), text, sizeof text, nullptr);
        EXPECT_EQ(std::string(text, length), std::string(event.text) + "\r\n") << std::hex << event.code;
    }
    // An id outside the table has no text.
    char text[64];
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, image, 0xC0070010u,
                             MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), text, sizeof text, nullptr),
              0u);
    FreeLibrary(image);
}

}  // namespace
