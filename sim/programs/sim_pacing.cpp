// Measures the simulator's pacing through the stand-in library, loaded by
// name as the program loads it: one trigger press of N seconds (default 60)
// is read field by field; the tool reports how many fields came, whether any
// was dropped, and whether any came before its time (field n of the press
// is complete (n + 1) / 60 s after the clock's start).
//
//   sim_pacing [--seconds N]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "sim/chip_library.h"
#include "sim/processing_unit.h"

using namespace usb_chip;

namespace {

constexpr int kFieldBytes = 2384;

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 60;
  if (argc == 3 && std::string(argv[1]) == "--seconds") seconds = std::atof(argv[2]);
  if (argc != 1 && argc != 3) {
    std::fprintf(stderr, "usage: sim_pacing [--seconds N]\n");
    return 2;
  }
  if (!(seconds > 0 && seconds <= 3600)) {
    std::fprintf(stderr, "sim_pacing: seconds must lie in (0, 3600]\n");
    return 2;
  }
  // The press starts with the clock, so field n is the press's n-th field.
  const std::filesystem::path scenario = std::filesystem::temp_directory_path() / "sim_pacing.scenario";
  std::ofstream(scenario) << "hardware 2.2.1\nplane 0 0 700 0 0 -1\nwand 0 0 0 400 0 0 700\n"
                          << "press 0 " << seconds << "\n";
  sim::SetScenarioPath(scenario.string());

  FunctionTable ft{};
  std::string error;
  if (!sim::LoadChipLibrary(&ft, &error)) {
    std::fprintf(stderr, "sim_pacing: %s\n", error.c_str());
    return 1;
  }
  Handle handle = nullptr;
  char name[] = "Tolvaran USB";
  sim::ArrivalEvent arrival;
  if (ft.OpenEx(name, kOpenByDescription, &handle) != kOk || ft.SetTimeouts(handle, 65, 250) != kOk ||
      ft.SetEventNotification(handle, kEventRxChar, arrival.Handle()) != kOk) {
    std::fprintf(stderr, "sim_pacing: cannot open the stand-in device\n");
    return 1;
  }

  // Starting the tracker starts the scenario's clock.
  const auto start = std::chrono::steady_clock::now();
  char start_command[] = "C";
  Count written = 0;
  ft.Write(handle, start_command, 1, &written);

  std::vector<std::uint8_t> field(kFieldBytes);
  long received = 0, dropped = 0, early = 0;
  std::int64_t last = -1;
  double smallestLead = 1e9;
  if (!arrival.Wait(5000)) std::fprintf(stderr, "sim_pacing: no arrival signalled\n");
  for (;;) {
    Count got = 0;
    if (ft.Read(handle, field.data(), kFieldBytes, &got) != kOk) break;
    const double at = Seconds(start);
    if (got < static_cast<Count>(kFieldBytes)) {
      if (at > seconds) break;  // the short read after the press
      continue;
    }
    const std::int64_t n = sim::ProcessingUnit::FieldNumber(field.data());
    if (last >= 0 && n != last + 1) dropped += n - last - 1;
    last = n;
    ++received;
    const double lead = at - (static_cast<double>(n) + 1) / sim::kFieldsPerSecond;
    if (lead < smallestLead) smallestLead = lead;
    if (lead < 0) ++early;
  }
  ft.Close(handle);
  sim::UnloadChipLibrary();
  std::filesystem::remove(scenario);

  const long expected = static_cast<long>(seconds * sim::kFieldsPerSecond + 0.5);
  const bool ok = std::labs(received - expected) <= 2 && dropped == 0 && early == 0;
  std::printf("press of %g s: %ld fields (expected %ld +- 2), %ld dropped, %ld before their time\n",
              seconds, received, expected, dropped, early);
  std::printf("earliest read: %.2f ms after its field was complete\n", smallestLead * 1000);
  std::printf("%s\n", ok ? "pacing ok" : "pacing FAILED");
  return ok ? 0 : 1;
}
