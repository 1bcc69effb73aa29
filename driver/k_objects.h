// Small wrappers over kernel objects: intrusive lists, spin locks, events,
// mutexes, timers, the device queue and the request. Each holds its object
// inline and gives back what it owns in its destructor.
#pragma once

#include "driver/kernel_seam.h"

class KPnpDevice;

// A doubly linked list whose link lies at a fixed offset inside each element.
class _listcore {
  public:
    explicit _listcore(ULONG linkOffset) : m_offset(linkOffset) { InitializeListHead(&m_head); }
    PVOID _head() const { return IsListEmpty(&m_head) ? nullptr : Element(m_head.Flink); }
    PVOID _next(PVOID element) const {
        PLIST_ENTRY link = Link(element)->Flink;
        return link == &m_head ? nullptr : Element(link);
    }
    void _insertTail(PVOID element) { InsertTailList(&m_head, Link(element)); }
    void _remove(PVOID element) { RemoveEntryList(Link(element)); }
    PVOID _removeHead() { return IsListEmpty(&m_head) ? nullptr : Element(RemoveHeadList(&m_head)); }
    BOOLEAN _isEmpty() const { return IsListEmpty(&m_head); }

  private:
    PLIST_ENTRY Link(PVOID element) const {
        return reinterpret_cast<PLIST_ENTRY>(static_cast<PUCHAR>(element) + m_offset);
    }
    PVOID Element(PLIST_ENTRY link) const { return reinterpret_cast<PUCHAR>(link) - m_offset; }
    LIST_ENTRY m_head;
    ULONG m_offset;
};

template <class T>
class KList : public _listcore {
  public:
    explicit KList(ULONG linkOffset) : _listcore(linkOffset) {}
    T* Head() const { return static_cast<T*>(_head()); }
    T* Next(T* element) const { return static_cast<T*>(_next(element)); }
    void InsertTail(T* element) { _insertTail(element); }
    void Remove(T* element) { _remove(element); }
    T* RemoveHead() { return static_cast<T*>(_removeHead()); }
    BOOLEAN IsEmpty() const { return _isEmpty(); }
};

class KSpinLock {
  public:
    KSpinLock() : m_irql(PASSIVE_LEVEL) { KeInitializeSpinLock(&m_lock); }
    void _lock() { KeAcquireSpinLock(&m_lock, &m_irql); }
    void _unlock() { KeReleaseSpinLock(&m_lock, m_irql); }
    // For callers already at dispatch level.
    void _lockAtDpc() { KeAcquireSpinLockAtDpcLevel(&m_lock); }
    void _unlockFromDpc() { KeReleaseSpinLockFromDpcLevel(&m_lock); }

  private:
    KSPIN_LOCK m_lock;
    KIRQL m_irql;
};

// The same list, every operation under its own spin lock.
template <class T>
class KInterlockedList {
  public:
    explicit KInterlockedList(ULONG linkOffset) : m_list(linkOffset) {}
    void InsertTail(T* element) {
        m_lock._lock();
        m_list.InsertTail(element);
        m_lock._unlock();
    }
    T* RemoveHead() {
        m_lock._lock();
        T* element = m_list.RemoveHead();
        m_lock._unlock();
        return element;
    }
    void Remove(T* element) {
        m_lock._lock();
        m_list.Remove(element);
        m_lock._unlock();
    }
    BOOLEAN IsEmpty() {
        m_lock._lock();
        BOOLEAN empty = m_list.IsEmpty();
        m_lock._unlock();
        return empty;
    }
    // Unlocked walk for callers that hold the guarding lock themselves.
    KList<T>& Unlocked() { return m_list; }

  private:
    KList<T> m_list;
    KSpinLock m_lock;
};

class KEvent {
  public:
    KEvent(EVENT_TYPE type = SynchronizationEvent, BOOLEAN signalled = FALSE) {
        KeInitializeEvent(&m_event, type, signalled);
    }
    void Set() { KeSetEvent(&m_event, IO_NO_INCREMENT, FALSE); }
    void Clear() { KeClearEvent(&m_event); }
    // Passive level only; a zero time-out waits without limit.
    NTSTATUS Wait(LONGLONG timeout100ns = 0);
    PKEVENT Object() { return &m_event; }

  private:
    KEVENT m_event;
};

class KMutex {
  public:
    explicit KMutex(ULONG level = 1) { KeInitializeMutex(&m_mutex, level); }
    NTSTATUS Lock() { return KeWaitForSingleObject(&m_mutex, Executive, KernelMode, FALSE, nullptr); }
    void Unlock() { KeReleaseMutex(&m_mutex, FALSE); }

  private:
    KMUTEX m_mutex;
};

class KTimer {
  public:
    KTimer() { KeInitializeTimer(&m_timer); }
    ~KTimer() { Cancel(); }
    // A negative due time is relative, in 100-nanosecond units.
    BOOLEAN Set(LONGLONG dueTime) {
        LARGE_INTEGER due;
        due.QuadPart = dueTime;
        return KeSetTimer(&m_timer, due, nullptr);
    }
    BOOLEAN Cancel() { return KeCancelTimer(&m_timer); }

  protected:
    KTIMER m_timer;
};

// A timer with a routine. Each arming is numbered, and the routine gets
// its arming's number as its context: on a multiprocessor an expiry may
// already run elsewhere when Cancel or the next Set comes, and only the
// number tells it that it is stale (IsCurrent, under the lock that guards
// the arming).
class KTimedCallback : public KTimer {
  public:
    KTimedCallback() : m_armings(0), m_arming(0), m_dpcInitialised(FALSE) { m_dpc.owner = nullptr; }
    ~KTimedCallback() { Cancel(); }
    // `owner` is what Owner() gives the routine back.
    BOOLEAN Set(LONGLONG dueTime, PKDEFERRED_ROUTINE routine, PVOID owner);
    // Stops the timer and takes back its routine when only queued; one that
    // already runs finds its arming no longer current.
    BOOLEAN Cancel();
    // Within the routine: the owner given to Set, and whether the expiry is
    // of the arming still in force.
    static PVOID Owner(PKDPC dpc) { return reinterpret_cast<OwnedDpc*>(dpc)->owner; }
    BOOLEAN IsCurrent(PVOID arming) const { return m_arming != 0 && reinterpret_cast<ULONG_PTR>(arming) == m_arming; }

  private:
    struct OwnedDpc {
        KDPC dpc;  // first: the routine's DPC pointer is this record's
        PVOID owner;
    };
    OwnedDpc m_dpc;
    ULONG_PTR m_armings;  // armings so far: the next one's number
    ULONG_PTR m_arming;   // the one in force; 0: none
    BOOLEAN m_dpcInitialised;
};

// A device object's queue of requests waiting for StartIo.
class KDeviceQueue {
  public:
    explicit KDeviceQueue(PDEVICE_OBJECT device) : m_queue(&device->DeviceQueue), m_locked(FALSE) {}
    PKDEVICE_QUEUE_ENTRY Next(PKDEVICE_QUEUE_ENTRY entry);
    static PIRP Container(PKDEVICE_QUEUE_ENTRY entry) {
        return CONTAINING_RECORD(entry, IRP, Tail.Overlay.DeviceQueueEntry);
    }
    // Completes as cancelled every queued request of the file object (all
    // when none); requests of other file objects stay queued in order.
    void PnpCleanUp(KPnpDevice* device, PFILE_OBJECT file);

  private:
    PKDEVICE_QUEUE m_queue;
    BOOLEAN m_locked;
};

class KIrp {
  public:
    explicit KIrp(PIRP irp) : m_irp(irp) {}
    PIO_STACK_LOCATION Current() const { return IoGetCurrentIrpStackLocation(m_irp); }
    void CopyParametersDown(BOOLEAN clearCompletion = TRUE);
    void SetCompletionRoutine(PIO_COMPLETION_ROUTINE routine, PVOID context, BOOLEAN onSuccess = TRUE,
                              BOOLEAN onError = TRUE, BOOLEAN onCancel = TRUE) {
        IoSetCompletionRoutine(m_irp, routine, context, onSuccess, onError, onCancel);
    }
    BOOLEAN WasCanceled(BOOLEAN takeLock = FALSE);
    NTSTATUS PnpComplete(KPnpDevice* device, NTSTATUS status, CCHAR boost = IO_NO_INCREMENT);
    NTSTATUS& Status() { return m_irp->IoStatus.Status; }
    ULONG_PTR& Information() { return m_irp->IoStatus.Information; }
    operator PIRP() const { return m_irp; }

  private:
    PIRP m_irp;
};
