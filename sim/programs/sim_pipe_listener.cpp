// Listens to a running Tolvaran's outbound pipe and checks what arrives
// against the simulator's scenario: whole captures, and every profile point
// on the scene. For the run command's headless check.
//
//   sim_pipe_listener [--scenario FILE] [--captures N] [--seconds S]
//                     [--stall-after N --hold S] [--tolerance MM] [--receiver-frame]
//                     [--sweepless]
//
// It connects as soon as the pipe is there and reads until N captures
// (default: the scenario's presses) have ended whole, or S seconds (default
// 90) have passed. With --stall-after it stops reading after N whole
// captures, holds the pipe S seconds without reading, and leaves. Exit code
// 0 when every check held. Points are taken as sent, in the transmitter's
// frame; --receiver-frame places them by each record's reference matrix
// first (a program that scans with the receiver as reference). --sweepless
// lets captures come without sweeps (the calibration modes keep their
// profiles to themselves). The RMS distance of each capture's points from
// the scene is printed, for runs that compare captures.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sim/pipe_record_check.h"

namespace {

constexpr const char* kPipeName = "\\\\.\\pipe\\TolvaranPipe";

struct Options {
    std::string scenario;
    int captures = -1;
    double seconds = 90;
    int stallAfter = -1;
    double hold = 0;
    double tolerance = 0.26;
    bool receiverFrame = false;
    bool sweepless = false;
};

bool ParseOptions(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool value = i + 1 < argc;
        if (a == "--scenario" && value)
            o.scenario = argv[++i];
        else if (a == "--captures" && value)
            o.captures = std::atoi(argv[++i]);
        else if (a == "--seconds" && value)
            o.seconds = std::atof(argv[++i]);
        else if (a == "--stall-after" && value)
            o.stallAfter = std::atoi(argv[++i]);
        else if (a == "--hold" && value)
            o.hold = std::atof(argv[++i]);
        else if (a == "--tolerance" && value)
            o.tolerance = std::atof(argv[++i]);
        else if (a == "--receiver-frame")
            o.receiverFrame = true;
        else if (a == "--sweepless")
            o.sweepless = true;
        else
            return false;
    }
    return true;
}

double Since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

HANDLE Connect(std::chrono::steady_clock::time_point start, double seconds) {
    while (Since(start) < seconds) {
        if (WaitNamedPipeA(kPipeName, 200)) {
            HANDLE pipe = CreateFileA(kPipeName, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            if (pipe != INVALID_HANDLE_VALUE) return pipe;
        }
        Sleep(50);
    }
    return INVALID_HANDLE_VALUE;
}

// One whole record; false when the pipe broke.
bool ReadRecord(HANDLE pipe, ScanPipeRecord& record) {
    unsigned char bytes[sizeof(ScanPipeRecord)];
    DWORD got = 0;
    if (!ReadFile(pipe, bytes, sizeof bytes, &got, nullptr) || got != sizeof bytes) return false;
    std::memcpy(&record, bytes, sizeof bytes);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!ParseOptions(argc, argv, o)) {
        std::fprintf(stderr,
                     "usage: sim_pipe_listener [--scenario FILE] [--captures N] [--seconds S] "
                     "[--stall-after N --hold S] [--tolerance MM] [--receiver-frame] [--sweepless]\n");
        return 2;
    }
    sim::Scenario scenario;
    sim::ScenarioError error;
    const bool parsed = o.scenario.empty() ? sim::ParseScenario(sim::DefaultScenarioText(), &scenario, &error)
                                           : sim::LoadScenarioFile(o.scenario, &scenario, &error);
    if (!parsed) {
        std::fprintf(stderr, "sim_pipe_listener: scenario line %d: %s\n", error.line, error.message.c_str());
        return 2;
    }
    if (o.captures < 0) o.captures = static_cast<int>(scenario.presses.size());
    const auto start = std::chrono::steady_clock::now();
    HANDLE pipe = Connect(start, o.seconds);
    if (pipe == INVALID_HANDLE_VALUE) {
        std::printf("listener: the pipe did not come within %.0f s\n", o.seconds);
        return 1;
    }
    std::printf("listener: connected after %.1f s\n", Since(start));
    std::fflush(stdout);
    sim::PipeRecordChecker checker(scenario, o.receiverFrame, o.tolerance);
    const int wanted = o.stallAfter >= 0 ? o.stallAfter : o.captures;
    ScanPipeRecord record;
    bool broken = false;
    while (checker.Counts().captures < wanted && Since(start) < o.seconds) {
        DWORD available = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) {
            broken = true;
            break;
        }
        if (available == 0) {
            Sleep(5);
            continue;
        }
        if (!ReadRecord(pipe, record)) {
            broken = true;
            break;
        }
        checker.Add(record);
    }
    if (o.stallAfter >= 0) {
        std::printf("listener: stops reading after %d captures for %.1f s\n", checker.Counts().captures, o.hold);
        std::fflush(stdout);
        Sleep(static_cast<DWORD>(o.hold * 1000));
    }
    CloseHandle(pipe);
    const sim::PipeCheckCounts& c = checker.Counts();
    std::printf(
        "listener: %d captures, %d sweeps, %d profile records, %lld points, worst %.3f mm from the scene, "
        "%d records before the first capture\n",
        c.captures, c.sweeps, c.profiles, c.points, c.worstDistance, c.skipped);
    std::printf("listener: profile records of each capture:");
    for (int n : c.profilesPerCapture) std::printf(" %d", n);
    std::printf("\n");
    std::printf("listener: RMS distance of each capture's points from the scene (mm):");
    for (double d : c.rmsPerCapture) std::printf(" %.3f", d);
    std::printf("\n");
    for (const std::string& e : c.errors) std::printf("listener: %s\n", e.c_str());
    bool ok = c.errors.empty() && !broken && c.captures >= wanted;
    if (broken) std::printf("listener: the pipe broke\n");
    if (c.captures < wanted) std::printf("listener: expected %d captures\n", wanted);
    if (o.stallAfter < 0 && !o.sweepless && c.sweeps < c.captures) {
        std::printf("listener: fewer sweeps than captures\n");
        ok = false;
    }
    std::printf(ok ? "listener: every check held\n" : "listener: not as expected\n");
    return ok ? 0 : 1;
}
