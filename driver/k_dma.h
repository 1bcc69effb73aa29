// System (slave) DMA over the platform's adapter interface: the adapter and
// a transfer that runs a buffer as segments of what the map registers reach.
#pragma once

#include "driver/k_objects.h"
#include "driver/kernel_seam.h"

class KDevice;
class KDmaTransfer;

constexpr ULONG kDmaPageBytes = 4096;

// Pages a buffer spans from `address`, at most `granted`.
ULONG MapRegistersFor(ULONG_PTR address, ULONG length, ULONG granted);
// Bytes the next segment may hold: the remaining bytes cut to what
// `registers` map registers reach from the page offset of `address`.
ULONG SegmentBytes(ULONG_PTR address, ULONG remaining, ULONG registers);

class KDmaAdapter {
  public:
    KDmaAdapter() : m_adapter(nullptr), m_mapRegisters(0) { RtlZeroMemory(&m_description, sizeof m_description); }
    // Obtains an adapter for `physical`; false when the platform gives none.
    BOOLEAN Acquire(PDEVICE_OBJECT physical, ULONG mapRegistersWanted);
    // Gives the adapter back to the platform.
    void Release();
    NTSTATUS QueueSynchRequest(PDEVICE_OBJECT device, ULONG mapRegisters, PDRIVER_CONTROL routine, PVOID context);
    void FreeChannel();
    PDMA_ADAPTER Adapter() const { return m_adapter; }
    ULONG MapRegisters() const { return m_mapRegisters; }
    DEVICE_DESCRIPTION& Description() { return m_description; }

  private:
    PDMA_ADAPTER m_adapter;
    ULONG m_mapRegisters;
    DEVICE_DESCRIPTION m_description;
};

class KMemory {
  public:
    KMemory() : m_mdl(nullptr), m_owned(FALSE) {}
    explicit KMemory(PMDL mdl) : m_mdl(mdl), m_owned(FALSE) {}
    KMemory(PVOID address, ULONG length);
    ~KMemory() { Invalidate(); }
    void Attach(PMDL mdl) {
        Invalidate();
        m_mdl = mdl;
    }
    PVOID MapToSystemSpace();
    PVOID VirtualAddress() const { return MmGetMdlVirtualAddress(m_mdl); }
    ULONG Size() const { return MmGetMdlByteCount(m_mdl); }
    PMDL Mdl() const { return m_mdl; }
    void Invalidate();

  private:
    PMDL m_mdl;
    BOOLEAN m_owned;
};

enum KDmaCountType : ULONG { DMA_SEGMENT_WHOLE = 0, DMA_SEGMENT_LESS_RESIDUAL = 1, DMA_SEGMENT_GIVEN = 2 };

// Called each time a segment has been mapped, and when none is left.
typedef VOID (*KDmaCallback)(KDevice* device, PIRP irp, KDmaTransfer* transfer);

// The platform grants the channel from any processor, whenever the channel
// comes free: the grant's execution routine and each step of the transfer
// (Initiate, Continue, Terminate) run under the transfer's own lock, so
// that a grant and a Terminate never both act on one transfer. A grant
// that comes after Terminate finds the transfer ended and gives the channel
// back; a Terminate after the grant frees it.
class KDmaTransfer {
  public:
    enum State : ULONG { Idle = 1, Waiting = 2, Granted = 3, Running = 4 };
    KDmaTransfer();

    NTSTATUS Initiate(KDevice* device, KDmaAdapter* adapter, PMDL mdl, ULONG toDevice, KDmaCallback callback,
                      PVOID commonBuffer, PVOID context, BOOLEAN keepAdapter);
    void Continue(KDmaCountType type, ULONG count = 0);
    void Terminate();
    // Passive level, the transfer ended: waits until the platform has
    // answered the transfer's channel requests and returned from their
    // execution routines, so that the adapter can be given back (a grant
    // after that would call into a driver that has let the adapter go).
    void QuiesceChannel();

    ULONG BytesRemaining() const { return m_remaining; }
    ULONG SegmentBytesNow() const { return m_segmentBytes; }
    ULONG StateNow() const { return m_state; }
    PVOID Context() const { return m_context; }

  private:
    static IO_ALLOCATION_ACTION NTAPI OnChannelGranted(PDEVICE_OBJECT device, PIRP irp, PVOID mapRegisterBase,
                                                       PVOID context);
    IO_ALLOCATION_ACTION TakeGrant(PIRP irp, PVOID mapRegisterBase);
    static IO_ALLOCATION_ACTION NTAPI OnLastGrantReturned(PDEVICE_OBJECT device, PIRP irp, PVOID mapRegisterBase,
                                                          PVOID context);
    NTSTATUS AskForChannel();
    void SetUpSegment();
    void EndSegment(ULONG done);

    KDmaAdapter* m_adapter;
    PVOID m_commonBuffer;
    KDevice* m_device;
    KMemory m_memory;
    ULONG m_toDevice;
    KDmaCallback m_callback;
    PVOID m_context;
    PUCHAR m_current;
    ULONG m_state;
    KSpinLock m_lock;
    // A channel request is with the platform, its grant still to come. A
    // transfer ended meanwhile leaves it to the next one: the platform takes
    // one request per device until the grant.
    BOOLEAN m_channelRequested;
    KEvent m_noChannelRequest;  // set while no request is with the platform
    // A grant came after its transfer ended and was given back: the
    // platform goes on with the channel after the routine has returned.
    BOOLEAN m_gaveBack;
    ULONG m_mapRegistersRequested;
    ULONG m_remaining;
    PVOID m_scatterGather;
    ULONG m_segmentCount;
    PHYSICAL_ADDRESS m_segmentAddress;
    ULONG m_segmentLength;
    ULONG m_segmentsSetUp;
    PVOID m_mapRegisterBase;
    ULONG m_mapRegistersNeeded;
    ULONG m_segmentBytes;
    BOOLEAN m_busMaster;
    BOOLEAN m_channelHeld;
    BOOLEAN m_mapRegistersHeld;
    BOOLEAN m_isScatterGather;
    BOOLEAN m_keepAdapter;
};
