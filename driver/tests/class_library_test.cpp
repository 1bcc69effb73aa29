// The class library's utilities on the simulated kernel: unit-numbered
// names, the event-log entry limit, map-register arithmetic, typed registry
// reads, and the device-queue clean-up per file object.
#include <cstring>
#include <string>

#include "driver/k_dma.h"
#include "driver/k_error_log.h"
#include "driver/k_pnp_device.h"
#include "driver/k_registry.h"
#include "driver/k_strings.h"
#include "driver/tests/simulated_machine.h"

namespace ombrix_test {
namespace {

using ClassLibrary = SimulatedMachine;

std::wstring Text(PUNICODE_STRING text) { return std::wstring(text->Buffer, text->Length / sizeof(WCHAR)); }

TEST_F(ClassLibrary, UnitizedNames) {
    struct Case {
        const wchar_t* base;
        ULONG unit;
        ULONG radix;
        const wchar_t* name;  // "": not formed
        const wchar_t* next;
    };
    const Case cases[] = {
        {L"\\Device\\ParallelPort", 0, 10, L"\\Device\\ParallelPort0", L"\\Device\\ParallelPort1"},
        {L"\\Device\\ParallelPort", 9, 10, L"\\Device\\ParallelPort9", L"\\Device\\ParallelPort10"},
        {L"Unit", 255, 16, L"UnitFF", L"Unit100"},
        {L"Unit", 9999, 10, L"Unit9999", L""},  // a fifth digit does not fit
        {L"Unit", 3, 8, L"", L""},              // only radix 10 and 16
        {L"", 42, 10, L"42", L"43"},
    };
    // A name that is not formed says so, and its buffer (which callers pass
    // on as a terminated string) holds the base alone.
    auto check = [](KUnitizedName& name, const wchar_t* base, const wchar_t* expected) {
        EXPECT_EQ(Text(name.Get()), expected);
        EXPECT_EQ(name.IsValid(), *expected != 0);
        EXPECT_EQ(std::wstring(name.Buffer()), *expected ? std::wstring(expected) : std::wstring(base));
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(testing::Message() << test.unit << " radix " << test.radix);
        KUnitizedName name(test.base, test.unit, test.radix);
        check(name, test.base, test.name);
        name.NextUnit();
        check(name, test.base, test.next);
    }
}

TEST_F(ClassLibrary, EventLogEntriesAboveTheLimitAreNotWritten) {
    struct Case {
        size_t characters;  // one insertion string, no dump data
        NTSTATUS status;
    };
    // 48 bytes of header, then the string and its terminating zero.
    for (const Case test : {Case{120, STATUS_BUFFER_TOO_SMALL}, Case{52, STATUS_BUFFER_TOO_SMALL},
                            Case{51, STATUS_SUCCESS}, Case{0, STATUS_SUCCESS}}) {
        SCOPED_TRACE(test.characters);
        kernel.ClearEvents();
        const std::wstring text(test.characters, L'x');
        KErrorLogEntry entry;
        entry.SetCodes(static_cast<NTSTATUS>(0xC0070001), 7, STATUS_INSUFFICIENT_RESOURCES);
        ASSERT_EQ(entry.InsertString(text.c_str()), STATUS_SUCCESS);
        EXPECT_EQ(entry.Post(), test.status);
        if (test.status == STATUS_SUCCESS) {
            ASSERT_EQ(kernel.Events().size(), 1u);
            EXPECT_EQ(kernel.Events()[0].code, 0xC0070001u);
            EXPECT_EQ(kernel.Events()[0].unique, 7u);
            EXPECT_EQ(kernel.Events()[0].strings, std::vector<std::wstring>{text});
        } else {
            EXPECT_TRUE(kernel.Events().empty());
        }
    }
    // Dump data counts too, and lies before the strings.
    kernel.ClearEvents();
    ULONG dump[2] = {1, 2};
    KErrorLogEntry entry;
    entry.SetDumpData(dump, sizeof dump);
    const std::wstring text(47, L'y');  // 8 + 48 + 96 = 152
    entry.InsertString(text.c_str());
    EXPECT_EQ(entry.Post(), STATUS_SUCCESS);
    ASSERT_EQ(kernel.Events().size(), 1u);
    EXPECT_EQ(kernel.Events()[0].strings, std::vector<std::wstring>{text});
}

TEST_F(ClassLibrary, MapRegisterArithmetic) {
    struct Case {
        ULONG_PTR address;
        ULONG length;
        ULONG granted;
        ULONG registers;  // MapRegistersFor
        ULONG segment;    // SegmentBytes with that many registers
    };
    const Case cases[] = {
        {0x10000, 1, 17, 1, 1},           {0x10FFF, 2, 17, 2, 2},          {0x10000, 4096, 17, 1, 4096},
        {0x10001, 4096, 17, 2, 4096},     {0x10000, 65536, 17, 16, 65536}, {0x10001, 65536, 17, 17, 65536},
        {0x10001, 200000, 17, 17, 69631}, {0x10FFF, 200000, 1, 1, 1},      {0x10800, 10000, 2, 2, 6144},
        {0x10000, 0, 17, 0, 0},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << test.address << " " << std::dec << test.length);
        const ULONG registers = MapRegistersFor(test.address, test.length, test.granted);
        EXPECT_EQ(registers, test.registers);
        EXPECT_EQ(SegmentBytes(test.address, test.length, registers), test.segment);
    }
}

TEST_F(ClassLibrary, TypedRegistryReads) {
    const std::string key = "System\\CurrentControlSet\\Services\\Probe";
    kernel.SetDword(key, "Number", 17);
    kernel.SetString(key, "Text", "a string longer than four bytes");
    KRegistryKey probe(L"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\", L"\\Probe");
    ASSERT_EQ(probe.LastError(), STATUS_SUCCESS);

    ULONG value = 0xAAAAAAAA;
    EXPECT_EQ(probe.QueryValue(L"Number", &value), STATUS_SUCCESS);
    EXPECT_EQ(value, 17u);
    value = 0xAAAAAAAA;
    EXPECT_EQ(probe.QueryValue(L"Text", &value), STATUS_OBJECT_TYPE_MISMATCH);
    EXPECT_EQ(value, 0xAAAAAAAAu) << "nothing written";
    EXPECT_EQ(probe.QueryValue(L"Missing", &value), STATUS_OBJECT_NAME_NOT_FOUND);

    // A value longer than the caller's buffer: refused, the buffer untouched
    // (guard bytes after it included), the size needed reported.
    unsigned char buffer[12];
    std::memset(buffer, 0x5A, sizeof buffer);
    ULONG type = 0;
    ULONG size = 8;
    EXPECT_EQ(probe.QueryValue(L"Text", &type, &size, buffer), STATUS_BUFFER_OVERFLOW);
    EXPECT_EQ(type, static_cast<ULONG>(REG_SZ));
    EXPECT_EQ(size, (31u + 1) * 2);
    for (unsigned char byte : buffer) EXPECT_EQ(byte, 0x5A);
}

// A bare device of the library, to queue requests of two file objects.
class ProbeDevice : public KPnpDevice {
  public:
    explicit ProbeDevice(PDEVICE_OBJECT physical) : KPnpDevice(physical) {}
    VOID StartIo(PIRP) override {}
};

VOID NTAPI ProbeCancel(PDEVICE_OBJECT, PIRP irp) { IoReleaseCancelSpinLock(irp->CancelIrql); }

TEST_F(ClassLibrary, QueueCleanUpTakesOnlyTheFileObjectsRequests) {
    NTSTATUS status = STATUS_SUCCESS;
    ProbeDevice* device = new (L"Probe", FILE_DEVICE_UNKNOWN, nullptr, 0, 0, status) ProbeDevice(nullptr);
    ASSERT_NE(device, nullptr);
    FILE_OBJECT mine{}, theirs{};
    PFILE_OBJECT owners[] = {&mine, &theirs, &mine, &theirs, &mine};
    PIRP irps[5];
    KIRQL irql = RaiseIrql(DISPATCH_LEVEL);
    for (int i = 0; i < 5; ++i) {
        irps[i] = IoAllocateIrp(1, FALSE);
        IoSetNextIrpStackLocation(irps[i]);
        IoGetCurrentIrpStackLocation(irps[i])->FileObject = owners[i];
        IoGetCurrentIrpStackLocation(irps[i])->DeviceObject = device->DeviceObject();
        irps[i]->IoStatus.Status = STATUS_PENDING;
        device->IncrementOutstandingRequestCount();
        IoStartPacket(device->DeviceObject(), irps[i], nullptr, ProbeCancel);
    }
    LowerIrql(irql);
    // The first is in StartIo; the other four wait.
    KDeviceQueue(device->DeviceObject()).PnpCleanUp(device, &mine);
    KDeviceQueue queue(device->DeviceObject());
    std::vector<PIRP> left;
    for (PKDEVICE_QUEUE_ENTRY entry = queue.Next(nullptr); entry; entry = queue.Next(entry))
        left.push_back(KDeviceQueue::Container(entry));
    EXPECT_EQ(left, (std::vector<PIRP>{irps[1], irps[3]}));
    for (int i : {2, 4}) {
        EXPECT_EQ(irps[i]->IoStatus.Status, STATUS_CANCELLED);
        EXPECT_EQ(irps[i]->IoStatus.Information, 0u);
    }
    KDeviceQueue(device->DeviceObject()).PnpCleanUp(device, nullptr);
    EXPECT_EQ(queue.Next(nullptr), nullptr);
    // The one in StartIo is the test's to end.
    irql = RaiseIrql(DISPATCH_LEVEL);
    IoSetCancelRoutine(irps[0], nullptr);
    irps[0]->IoStatus.Status = STATUS_SUCCESS;
    IoStartNextPacket(device->DeviceObject(), TRUE);
    IoCompleteRequest(irps[0], IO_NO_INCREMENT);
    LowerIrql(irql);
    for (PIRP irp : irps) IoFreeIrp(irp);
    device->_self_delete();
}

// A request of a major function the device does not serve completes with
// STATUS_NOT_IMPLEMENTED and leaves the outstanding count: a remove after
// it does not wait for it.
TEST_F(ClassLibrary, AnUnservedRequestIsNotWaitedFor) {
    NTSTATUS status = STATUS_SUCCESS;
    ProbeDevice* device = new (L"Probe", FILE_DEVICE_UNKNOWN, nullptr, 0, 0, status) ProbeDevice(nullptr);
    ASSERT_NE(device, nullptr);
    PIRP irp = IoAllocateIrp(1, FALSE);
    IoSetNextIrpStackLocation(irp);
    IoGetCurrentIrpStackLocation(irp)->MajorFunction = IRP_MJ_FLUSH_BUFFERS;
    IoGetCurrentIrpStackLocation(irp)->DeviceObject = device->DeviceObject();
    device->IncrementOutstandingRequestCount();
    EXPECT_EQ(device->FlushBuffers(irp), STATUS_NOT_IMPLEMENTED);
    EXPECT_EQ(irp->IoStatus.Status, STATUS_NOT_IMPLEMENTED);
    EXPECT_EQ(device->WaitStop(10000), STATUS_SUCCESS) << "the request still counts as outstanding";
    IoFreeIrp(irp);
    device->_self_delete();
}

}  // namespace
}  // namespace ombrix_test
