// Concurrency on demand: the test's actors, a processor that runs DPCs and
// one that plays the hardware, each on a thread of its own, of which exactly
// one runs at a time. The running one hands over at every preemption point
// (every kernel call the driver makes) to the one the schedule picks, so a
// run is repeatable from its seed.
//
// The schedule gives each processor a random priority and always runs the
// highest that can run; at a few random steps the running one drops to the
// lowest. That finds orderings where one processor stops at a chosen point
// for as long as the others need, which is what most races between an
// interrupt, a DPC, a cancel and a dispatch routine take.
#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <random>
#include <thread>

#include "kernelsim/sim_internal.h"

namespace kernelsim {

namespace {

struct Actor {
    int id = 0;
    bool helper = false;  // the DPC or hardware processor: ends when the actors have
    Cpu cpu;
    std::function<void()> body;
    std::thread thread;
    bool done = false;
    bool blocked = false;
    bool forced = false;
    bool timed = false;  // its wait ends by a time-out when nothing else comes
    bool inInterrupt = false;
    std::function<bool()> ready;
    int priority = 0;
};

struct Schedule {
    std::mutex mutex;
    std::condition_variable turn;
    std::vector<std::unique_ptr<Actor>> actors;
    int running = -1;
    std::mt19937 random;
    std::vector<uint64_t> changePoints;
    uint64_t steps = 0;
    int lowest = 0;
    int edgeDrops = 4;  // priority drops still to give at lock edges
    bool actorsDone = false;
    int otherInterrupts = 0;
};

Schedule* g_schedule = nullptr;
// About the length of a run, over which the priority changes spread.
constexpr uint64_t kRunSteps = 800;
thread_local Actor* t_actor = nullptr;

bool CanRun(Actor& actor) {
    if (actor.done) return false;
    return !actor.blocked || actor.ready();
}

// Picks who runs next, the caller included; the schedule's lock is held.
Actor* PickNext(Actor* self) {
    Schedule& s = *g_schedule;
    ++s.steps;
    if (self && std::binary_search(s.changePoints.begin(), s.changePoints.end(), s.steps)) self->priority = --s.lowest;
    Actor* best = nullptr;
    for (auto& actor : s.actors)
        if (CanRun(*actor) && (!best || actor->priority > best->priority)) best = actor.get();
    if (best) return best;
    // Nothing can run. A wait with a time-out ends by it first, as its time
    // passes with nothing else to do; otherwise a processor waits for what
    // will never come, goes on and reports that itself (an actor first: it
    // names what it awaited).
    auto force = [](Actor& actor) {
        actor.forced = true;
        return &actor;
    };
    for (auto& actor : s.actors)
        if (!actor->done && actor->blocked && actor->timed) return force(*actor);
    for (int helpers = 0; helpers < 2; ++helpers)
        for (auto& actor : s.actors)
            if (!actor->done && actor->helper == (helpers == 1)) return force(*actor);
    return nullptr;
}

void HandOver(std::unique_lock<std::mutex>& lock, Actor* self, Actor* next) {
    Schedule& s = *g_schedule;
    s.running = next ? next->id : -1;
    s.turn.notify_all();
    if (self && !self->done) s.turn.wait(lock, [&] { return s.running == self->id; });
}

void Switch(bool lockEdge = false) {
    Schedule& s = *g_schedule;
    std::unique_lock<std::mutex> lock(s.mutex);
    Actor* self = t_actor;
    if (lockEdge && s.edgeDrops > 0 && s.random() % 8 == 0) {
        --s.edgeDrops;
        self->priority = --s.lowest;
    }
    Actor* next = PickNext(self);
    if (next == self) return;
    HandOver(lock, self, next);
}

void Finish(Actor* self) {
    Schedule& s = *g_schedule;
    std::unique_lock<std::mutex> lock(s.mutex);
    self->done = true;
    if (!self->helper) {
        s.actorsDone = std::all_of(s.actors.begin(), s.actors.end(),
                                   [](const std::unique_ptr<Actor>& a) { return a->helper || a->done; });
    }
    HandOver(lock, self, PickNext(nullptr));
}

void RunActor(Actor* self) {
    {
        std::unique_lock<std::mutex> lock(g_schedule->mutex);
        g_schedule->turn.wait(lock, [&] { return g_schedule->running == self->id; });
    }
    t_actor = self;
    self->body();
    Finish(self);
}

// The processor that runs whatever DPC is queued, as an idle processor does.
void DpcProcessor() {
    for (;;) {
        BlockUntil([] { return !g->dpcs.empty() || g_schedule->actorsDone; });
        if (g->dpcs.empty()) return;
        RunOneDpc();
    }
}

// The hardware and the platform around the driver: DMA, the port's and the
// other client's interrupts, late channel grants and the lower drivers'
// completions, one piece of work at a time in an order the seed picks.
void HardwareProcessor() {
    for (;;) {
        auto work = [] { return HardwareCanStep() || ChannelRequestWaiting() || !g->pended.empty(); };
        BlockUntil([&] { return work() || g_schedule->actorsDone; });
        if (!work()) return;
        std::vector<int> choices;
        if (HardwareCanStep()) choices.push_back(0);
        if (ChannelRequestWaiting()) choices.push_back(1);
        if (!g->pended.empty()) choices.push_back(2);
        switch (choices[g_schedule->random() % choices.size()]) {
            case 0:
                StepHardware();
                break;
            case 1:
                GrantWaitingChannel();
                break;
            default:
                CompleteOnePended();
                break;
        }
    }
}

}  // namespace

Cpu& ThisCpu() { return t_actor ? t_actor->cpu : g->mainCpu; }

bool Concurrent() { return t_actor != nullptr; }

// The other client's device interrupts whichever processor runs below the
// device's level, at moments the schedule picks.
void MaybeInterrupt(Actor* self) {
    Schedule& s = *g_schedule;
    if (self->inInterrupt || s.otherInterrupts <= 0 || self->cpu.irql >= kDeviceIrql || s.random() % 16 != 0) return;
    --s.otherInterrupts;
    self->inInterrupt = true;
    RaiseOtherClientInterrupt(0);
    self->inInterrupt = false;
}

void Preempt(bool lockEdge) {
    if (!t_actor) return;
    MaybeInterrupt(t_actor);
    Switch(lockEdge);
}

bool BlockUntil(const std::function<bool()>& ready, bool timed) {
    Actor* self = t_actor;
    if (!self) return ready();
    if (ready()) {
        Switch();
        if (ready()) return true;
    }
    {
        std::lock_guard<std::mutex> lock(g_schedule->mutex);
        self->blocked = true;
        self->timed = timed;
        self->ready = ready;
    }
    Switch();
    std::lock_guard<std::mutex> lock(g_schedule->mutex);
    self->blocked = false;
    self->timed = false;
    self->ready = nullptr;
    if (self->forced) {
        self->forced = false;
        return false;
    }
    return true;
}

void Kernel::RunConcurrently(uint32_t seed, const std::vector<std::function<void()>>& bodies, int otherInterrupts) {
    if (g_schedule || t_actor) std::abort();  // one concurrent run at a time, from the test's thread
    Schedule schedule;
    g_schedule = &schedule;
    schedule.random.seed(seed);
    schedule.otherInterrupts = otherInterrupts;
    const bool pendBefore = g->faults.pendLowerRequests;
    g->faults.pendLowerRequests = true;
    for (int i = 0; i < 3; ++i) schedule.changePoints.push_back(1 + schedule.random() % kRunSteps);
    std::sort(schedule.changePoints.begin(), schedule.changePoints.end());
    std::vector<std::function<void()>> all = bodies;
    all.push_back(DpcProcessor);
    all.push_back(HardwareProcessor);
    for (size_t i = 0; i < all.size(); ++i) {
        auto actor = std::make_unique<Actor>();
        actor->id = static_cast<int>(i);
        actor->helper = i >= bodies.size();
        actor->cpu.id = static_cast<int>(i) + 1;
        actor->body = all[i];
        actor->priority = static_cast<int>(schedule.random() % 1000) + 1;
        schedule.actors.push_back(std::move(actor));
    }
    for (auto& actor : schedule.actors) actor->thread = std::thread(RunActor, actor.get());
    {
        std::unique_lock<std::mutex> lock(schedule.mutex);
        Actor* first = PickNext(nullptr);
        schedule.running = first->id;
        schedule.turn.notify_all();
        schedule.turn.wait(lock, [&] {
            return std::all_of(schedule.actors.begin(), schedule.actors.end(),
                               [](const std::unique_ptr<Actor>& a) { return a->done; });
        });
    }
    for (auto& actor : schedule.actors) actor->thread.join();
    for (auto& actor : schedule.actors)
        if (actor->cpu.irql != PASSIVE_LEVEL) Problem("a processor ended at level " + std::to_string(actor->cpu.irql));
    g->faults.pendLowerRequests = pendBefore;
    g_schedule = nullptr;
}

bool Kernel::WaitUntil(const std::function<bool()>& condition, const std::string& what) {
    if (BlockUntil(condition)) return true;
    Problem("waited for " + what + ", which never came: a deadlock");
    return false;
}

}  // namespace kernelsim
