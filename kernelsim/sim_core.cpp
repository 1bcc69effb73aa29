// The simulation's core: the record of problems, interrupt levels, spin
// locks, pool, dispatcher objects and waits, DPCs and timers.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kernelsim/sim_internal.h"

namespace kernelsim {

State* g = nullptr;

void Problem(const std::string& text) {
    if (g) g->problems.push_back(text);
}

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return text;
}

std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

std::wstring FromUnicode(PCUNICODE_STRING text) {
    if (!text || !text->Buffer) return std::wstring();
    return std::wstring(text->Buffer, text->Length / sizeof(WCHAR));
}

std::string Describe(const void* object) {
    char text[160];
    const uintptr_t address = reinterpret_cast<uintptr_t>(object);
    for (auto& [device, info] : g->devices) {
        const uintptr_t start = reinterpret_cast<uintptr_t>(device);
        if (address >= start && address < start + info.memory->size()) {
            std::snprintf(text, sizeof text, "%s+0x%zx",
                          info.name.empty() ? "unnamed device" : Narrow(info.name).c_str(),
                          static_cast<size_t>(address - start));
            return text;
        }
    }
    for (auto& [block, info] : g->pool) {
        const uintptr_t start = reinterpret_cast<uintptr_t>(block);
        if (address >= start && address < start + info.bytes) {
            char tag[5];
            std::memcpy(tag, &info.tag, 4);
            tag[4] = 0;
            std::snprintf(text, sizeof text, "pool block '%s' of %zu bytes+0x%zx", tag, info.bytes,
                          static_cast<size_t>(address - start));
            return text;
        }
    }
    std::snprintf(text, sizeof text, "object at %p", object);
    return text;
}

KIRQL Raise(KIRQL level) {
    Cpu& cpu = ThisCpu();
    const KIRQL old = cpu.irql;
    if (level < old) Problem("raise to a lower level " + std::to_string(level));
    cpu.irql = level;
    return old;
}

void Lower(KIRQL level) {
    Cpu& cpu = ThisCpu();
    if (level > cpu.irql) Problem("lower to a higher level " + std::to_string(level));
    cpu.irql = level;
    if (level < DISPATCH_LEVEL) MaybeRunDpcs();
}

void RunOneDpc() {
    Cpu& cpu = ThisCpu();
    if (g->dpcs.empty()) return;
    PKDPC dpc = g->dpcs.front();
    g->dpcs.erase(g->dpcs.begin());
    dpc->DpcData = nullptr;
    const KIRQL old = cpu.irql;
    const bool running = cpu.runningDpcs;
    cpu.runningDpcs = true;
    cpu.irql = DISPATCH_LEVEL;
    dpc->DeferredRoutine(dpc, dpc->DeferredContext, dpc->SystemArgument1, dpc->SystemArgument2);
    if (cpu.irql != DISPATCH_LEVEL) Problem("a DPC returned at level " + std::to_string(cpu.irql));
    cpu.irql = old;
    cpu.runningDpcs = running;
}

void MaybeRunDpcs() {
    Cpu& cpu = ThisCpu();
    if (g->holdDpcs || cpu.runningDpcs || cpu.irql >= DISPATCH_LEVEL) return;
    while (!g->dpcs.empty()) RunOneDpc();
}

namespace {

bool Signalled(DISPATCHER_HEADER* header) { return header->SignalState > 0; }

const char* TypeName(UCHAR type) {
    switch (type) {
        case NotificationEvent:
            return "notification event";
        case SynchronizationEvent:
            return "synchronization event";
        case 2:
            return "mutex";
        default:
            return "timer";
    }
}

// A held lock records its holder's processor (+1). Another processor spins
// until the holder lets go; the holder itself would spin for ever.
void Acquire(PKSPIN_LOCK lock) {
    Preempt(true);
    const KSPIN_LOCK me = static_cast<KSPIN_LOCK>(ThisCpu().id + 1);
    if (*lock == me || (*lock && !BlockUntil([lock] { return *lock == 0; })))
        Problem("spin lock " + Describe(lock) + " acquired twice: a deadlock");
    *lock = me;
}

// A mutex records its holder's processor in its owner field.
PKTHREAD OwnerMark() { return reinterpret_cast<PKTHREAD>(static_cast<ULONG_PTR>(ThisCpu().id + 1)); }

void Release(PKSPIN_LOCK lock) {
    if (!*lock) Problem("spin lock " + Describe(lock) + " released while free");
    *lock = 0;
    Preempt(true);
}

}  // namespace

}  // namespace kernelsim

using namespace kernelsim;

extern "C" {

BOOLEAN KdDebuggerEnabled = FALSE;
BOOLEAN KdDebuggerNotPresent = TRUE;

KIRQL SimKernelCurrentIrql(void) { return ThisCpu().irql; }
KIRQL SimKernelRaiseIrql(KIRQL level) { return Raise(level); }
void SimKernelLowerIrql(KIRQL level) { Lower(level); }
void SimKernelBreakPoint(void) { ++g->breaks; }

// Spin locks.
#if defined(__i386__)
KIRQL FASTCALL KfAcquireSpinLock(PKSPIN_LOCK lock) {
    const KIRQL old = Raise(DISPATCH_LEVEL);
    Acquire(lock);
    return old;
}
VOID FASTCALL KfReleaseSpinLock(PKSPIN_LOCK lock, KIRQL old) {
    Release(lock);
    Lower(old);
}
VOID FASTCALL KefAcquireSpinLockAtDpcLevel(PKSPIN_LOCK lock) {
    if (ThisCpu().irql < DISPATCH_LEVEL) Problem("spin lock taken at dpc level from below it");
    Acquire(lock);
}
VOID FASTCALL KefReleaseSpinLockFromDpcLevel(PKSPIN_LOCK lock) { Release(lock); }
KIRQL NTAPI KeGetCurrentIrql(VOID) { return ThisCpu().irql; }
KIRQL FASTCALL KfRaiseIrql(KIRQL level) { return Raise(level); }
VOID FASTCALL KfLowerIrql(KIRQL level) { Lower(level); }
LONG FASTCALL InterlockedIncrement(IN OUT LONG volatile* value) {
    Preempt();
    return ++*value;
}
LONG FASTCALL InterlockedDecrement(IN OUT LONG volatile* value) {
    Preempt();
    return --*value;
}
LONG FASTCALL InterlockedExchange(IN OUT LONG volatile* target, IN LONG value) {
    Preempt();
    const LONG old = *target;
    *target = value;
    return old;
}
#else
KIRQL NTAPI KeAcquireSpinLockRaiseToDpc(PKSPIN_LOCK lock) {
    const KIRQL old = Raise(DISPATCH_LEVEL);
    Acquire(lock);
    return old;
}
VOID NTAPI KeReleaseSpinLock(PKSPIN_LOCK lock, KIRQL old) {
    Release(lock);
    Lower(old);
}
VOID NTAPI KeAcquireSpinLockAtDpcLevel(PKSPIN_LOCK lock) {
    if (ThisCpu().irql < DISPATCH_LEVEL) Problem("spin lock taken at dpc level from below it");
    Acquire(lock);
}
VOID NTAPI KeReleaseSpinLockFromDpcLevel(PKSPIN_LOCK lock) { Release(lock); }
#endif

#if defined(__i386__)
VOID NTAPI KeInitializeSpinLock(PKSPIN_LOCK lock) { *lock = 0; }
#endif

VOID NTAPI IoAcquireCancelSpinLock(PKIRQL irql) {
    Preempt(true);
    const KIRQL old = Raise(DISPATCH_LEVEL);
    const int me = ThisCpu().id;
    if (g->cancelLockOwner == me || (g->cancelLockOwner >= 0 && !BlockUntil([] { return g->cancelLockOwner < 0; })))
        Problem("cancel spin lock acquired twice: a deadlock");
    g->cancelLockOwner = me;
    *irql = old;
}

VOID NTAPI IoReleaseCancelSpinLock(KIRQL irql) {
    if (g->cancelLockOwner != ThisCpu().id) Problem("cancel spin lock released by a processor that does not hold it");
    g->cancelLockOwner = -1;
    Lower(irql);
    Preempt(true);
}

// Pool.
PVOID NTAPI ExAllocatePoolWithTag(POOL_TYPE type, SIZE_T bytes, ULONG tag) {
    Preempt();
    if ((type & 1) == PagedPool && ThisCpu().irql >= DISPATCH_LEVEL) Problem("paged pool allocated at dispatch level");
    if (g->faults.failAllocationAt > 0 && --g->faults.failAllocationAt == 0) return nullptr;
    void* block = std::calloc(1, bytes ? bytes : 1);
    g->pool[block] = PoolBlock{bytes, tag, type};
    return block;
}

VOID NTAPI ExFreePoolWithTag(PVOID block, ULONG tag) {
    auto found = g->pool.find(block);
    if (found == g->pool.end()) {
        Problem("freeing " + Describe(block) + ", which is no pool block");
        return;
    }
    if (found->second.tag != tag) Problem("pool block freed with another tag");
    g->pool.erase(found);
    std::free(block);
}

// Dispatcher objects.
VOID NTAPI KeInitializeEvent(PRKEVENT event, EVENT_TYPE type, BOOLEAN state) {
    std::memset(event, 0, sizeof *event);
    event->Header.Type = static_cast<UCHAR>(type);
    event->Header.SignalState = state ? 1 : 0;
    InitializeListHead(&event->Header.WaitListHead);
}

LONG NTAPI KeSetEvent(PRKEVENT event, KPRIORITY, BOOLEAN) {
    const LONG old = event->Header.SignalState;
    event->Header.SignalState = 1;
    Preempt();
    return old;
}

VOID NTAPI KeClearEvent(PRKEVENT event) { event->Header.SignalState = 0; }

VOID NTAPI KeInitializeMutex(PRKMUTEX mutex, ULONG) {
    std::memset(mutex, 0, sizeof *mutex);
    mutex->Header.Type = 2;
    mutex->Header.SignalState = 1;
    InitializeListHead(&mutex->Header.WaitListHead);
}

LONG NTAPI KeReleaseMutex(PRKMUTEX mutex, BOOLEAN) {
    if (mutex->Header.SignalState > 0 || mutex->OwnerThread != OwnerMark())
        Problem("mutex " + Describe(mutex) + " released while not held");
    const LONG state = ++mutex->Header.SignalState;
    if (state > 0) mutex->OwnerThread = nullptr;
    Preempt();
    return state;
}

NTSTATUS NTAPI KeWaitForSingleObject(PVOID object, KWAIT_REASON, KPROCESSOR_MODE, BOOLEAN, PLARGE_INTEGER timeout) {
    DISPATCHER_HEADER* header = static_cast<DISPATCHER_HEADER*>(object);
    const bool poll = timeout && timeout->QuadPart == 0;
    if (!poll && ThisCpu().irql > APC_LEVEL)
        Problem(std::string("wait on ") + TypeName(header->Type) + " " + Describe(object) + " at level " +
                std::to_string(ThisCpu().irql));
    Preempt();
    // A mutex is its holder's again; another processor waits for it.
    if (header->Type == 2) {
        PRKMUTEX mutex = static_cast<PRKMUTEX>(object);
        if (mutex->Header.SignalState <= 0 && mutex->OwnerThread != OwnerMark() &&
            !BlockUntil([mutex] { return mutex->Header.SignalState > 0; }))
            Problem("wait on mutex " + Describe(object) + " that nothing can satisfy: a deadlock");
        --mutex->Header.SignalState;
        mutex->OwnerThread = OwnerMark();
        return STATUS_SUCCESS;
    }
    if (!Signalled(header)) MaybeRunDpcs();
    // Requests the root bus left pending complete meanwhile, as its
    // interrupts and DPCs would, and the platform grants the DMA channel to
    // the requests that wait for it.
    while (!Signalled(header) && !Concurrent() && (CompleteOnePended() || GrantWaitingChannel())) MaybeRunDpcs();
    if (!Signalled(header) && !BlockUntil([header] { return Signalled(header); }, timeout != nullptr)) {
        if (!timeout)
            Problem(std::string("wait on ") + TypeName(header->Type) + " " + Describe(object) +
                    " that nothing can satisfy: a deadlock");
        return STATUS_TIMEOUT;
    }
    if (header->Type == SynchronizationEvent) header->SignalState = 0;
    return STATUS_SUCCESS;
}

}  // extern "C"

namespace kernelsim {
bool QueueDpc(PKDPC dpc, PVOID argument1, PVOID argument2) {
    if (dpc->DpcData) return false;
    dpc->SystemArgument1 = argument1;
    dpc->SystemArgument2 = argument2;
    dpc->DpcData = dpc;
    g->dpcs.push_back(dpc);
    return true;
}
}  // namespace kernelsim

extern "C" {

// DPCs.
VOID NTAPI KeInitializeDpc(PRKDPC dpc, PKDEFERRED_ROUTINE routine, PVOID context) {
    std::memset(dpc, 0, sizeof *dpc);
    dpc->Type = 0x13;  // a DPC object
    dpc->DeferredRoutine = routine;
    dpc->DeferredContext = context;
}

BOOLEAN NTAPI KeInsertQueueDpc(PRKDPC dpc, PVOID argument1, PVOID argument2) {
    Preempt();
    return QueueDpc(dpc, argument1, argument2);
}

BOOLEAN NTAPI KeRemoveQueueDpc(PRKDPC dpc) {
    Preempt();
    auto found = std::find(g->dpcs.begin(), g->dpcs.end(), dpc);
    if (found == g->dpcs.end()) return FALSE;
    g->dpcs.erase(found);
    dpc->DpcData = nullptr;
    return TRUE;
}

// Timers.
VOID NTAPI KeInitializeTimer(PKTIMER timer) {
    std::memset(timer, 0, sizeof *timer);
    timer->Header.Type = 8;
    InitializeListHead(&timer->Header.WaitListHead);
}

BOOLEAN NTAPI KeCancelTimer(PKTIMER timer) {
    Preempt();
    for (auto it = g->timers.begin(); it != g->timers.end(); ++it)
        if (it->timer == timer) {
            g->timers.erase(it);
            return TRUE;
        }
    return FALSE;
}

BOOLEAN NTAPI KeSetTimer(PKTIMER timer, LARGE_INTEGER due, PKDPC dpc) {
    const BOOLEAN wasSet = KeCancelTimer(timer);
    timer->Header.SignalState = 0;
    const uint64_t at = due.QuadPart < 0 ? g->now100ns + static_cast<uint64_t>(-due.QuadPart)
                                         : std::max<uint64_t>(g->now100ns, static_cast<uint64_t>(due.QuadPart));
    g->timers.push_back(Timer{timer, dpc, at});
    return wasSet;
}

VOID NTAPI RtlInitUnicodeString(PUNICODE_STRING target, PCWSTR source) {
    const size_t length = source ? std::wcslen(source) : 0;
    target->Buffer = const_cast<PWSTR>(source);
    target->Length = static_cast<USHORT>(length * sizeof(WCHAR));
    target->MaximumLength = static_cast<USHORT>(source ? target->Length + sizeof(WCHAR) : 0);
}

}  // extern "C"

namespace kernelsim {

Kernel::Kernel() {
    if (g) std::abort();  // one simulated machine at a time
    g = new State;
    SetDebuggerEnabled(false);
    SetUpRoot();
    SetUpPorts();
}

Kernel::~Kernel() {
    for (auto& [block, info] : g->pool) std::free(block);
    for (auto& [irp, info] : g->irps) std::free(irp);
    for (PMDL mdl : g->mdls) std::free(mdl);
    for (auto& [file, info] : g->files) std::free(file);
    for (void* entry : g->errorEntries) std::free(entry);
    delete g;
    g = nullptr;
}

FaultPlan& Kernel::Faults() { return g->faults; }

void Kernel::HoldDpcs(bool hold) {
    g->holdDpcs = hold;
    if (!hold) MaybeRunDpcs();
}

void Kernel::RunDpcs() {
    const bool held = g->holdDpcs;
    g->holdDpcs = false;
    MaybeRunDpcs();
    g->holdDpcs = held;
}

bool Kernel::RunNextDpc() {
    if (g->dpcs.empty()) return false;
    RunOneDpc();
    return true;
}

size_t Kernel::QueuedDpcs() const { return g->dpcs.size(); }

void Kernel::AdvanceMs(uint64_t ms) {
    const uint64_t end = g->now100ns + ms * 10000;
    for (;;) {
        auto next = std::min_element(g->timers.begin(), g->timers.end(),
                                     [](const Timer& a, const Timer& b) { return a.due100ns < b.due100ns; });
        if (next == g->timers.end() || next->due100ns > end) break;
        const Timer timer = *next;
        g->timers.erase(next);
        g->now100ns = std::max(g->now100ns, timer.due100ns);
        timer.timer->Header.SignalState = 1;
        // The expiry takes the timer out and queues its DPC in one step, as
        // the kernel does under its dispatcher lock.
        if (timer.dpc) QueueDpc(timer.dpc, nullptr, nullptr);
        MaybeRunDpcs();
    }
    g->now100ns = end;
}

uint64_t Kernel::NowMs() const { return g->now100ns / 10000; }

void Kernel::Settle() {
    for (int round = 0; round < 100000; ++round) {
        const size_t before = g->dpcs.size();
        MaybeRunDpcs();
        const bool moved = StepHardware();
        if (!moved && (g->holdDpcs || g->dpcs.empty()) && before == g->dpcs.size()) return;
    }
    Problem("the hardware never came to rest");
}

std::vector<std::string> Kernel::Problems() const { return g->problems; }

std::vector<std::string> Kernel::Leftovers() const {
    std::vector<std::string> left;
    std::map<ULONG, std::pair<int, size_t>> byTag;
    for (auto& [block, info] : g->pool) {
        ++byTag[info.tag].first;
        byTag[info.tag].second += info.bytes;
    }
    for (auto& [tag, count] : byTag) {
        char name[5];
        std::memcpy(name, &tag, 4);
        name[4] = 0;
        left.push_back("pool tag '" + std::string(name) + "': " + std::to_string(count.first) + " blocks, " +
                       std::to_string(count.second) + " bytes");
    }
    for (auto& [device, info] : g->devices)
        if (device->DriverObject == &g->driver)
            left.push_back("device object " + (info.name.empty() ? std::string("(unnamed)") : Narrow(info.name)) +
                           (info.deleted ? " deleted but still referenced" : ""));
    for (auto& [link, target] : g->links) left.push_back("symbolic link " + Narrow(link));
    for (auto& [file, info] : g->files) left.push_back("file object " + info.what);
    for (auto& [key, path] : g->keys) left.push_back("registry handle " + Narrow(path));
    for (auto& adapter : g->adapters) {
        left.push_back("DMA adapter not put back");
        if (adapter->channelHeld) left.push_back("DMA adapter channel held");
        if (adapter->registersHeld) left.push_back("map registers held");
        if (!adapter->waiting.empty()) left.push_back("adapter channel request waiting");
    }
    for (int i = 0; i < 4; ++i) {
        const Port& port = g->ports[i];
        if (port.owner == Port::Owner::Driver) left.push_back("ParallelPort" + std::to_string(i) + " allocated");
        for (const Interrupt& interrupt : port.chain)
            if (interrupt.context != &g->ports[i])
                left.push_back("interrupt of ParallelPort" + std::to_string(i) + " connected");
    }
    for (const Timer& timer : g->timers) left.push_back("timer " + Describe(timer.timer) + " set");
    for (PKDPC dpc : g->dpcs) left.push_back("DPC " + Describe(dpc) + " queued");
    for (void* entry : g->errorEntries) left.push_back("error-log entry " + Describe(entry) + " never written");
    for (auto& [irp, info] : g->irps)
        if (!info.finalized && !info.freed) left.push_back("request never completed: " + info.what);
    for (PMDL mdl : g->mdls) left.push_back("MDL " + Describe(mdl) + " not freed");
    return left;
}

}  // namespace kernelsim
