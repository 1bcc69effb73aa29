// Shared by the benchmark programs that compare runs with each other: a
// console reporter that keeps the time per iteration of each run so that the
// ratio of two runs can be printed once all have run.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>
#include <vector>

namespace bench {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  enum class Clock { kReal, kCpu };

  explicit RatioReporter(Clock clock = Clock::kReal) : clock_(clock) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    // Aggregates (mean, median, deviation) share the run's name; only the
    // iterations themselves are kept, each under its function's name (the
    // last argument's run wins) and under its full name ("Library/500").
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Iteration && run.iterations > 0) {
        const double t = clock_ == Clock::kCpu ? run.GetAdjustedCPUTime() : run.GetAdjustedRealTime();
        times_[run.run_name.function_name] = t;
        times_[run.run_name.str()] = t;
      }
    ConsoleReporter::ReportRuns(runs);
  }

  // The time of the function `ours` over that of `theirs`; false when either
  // did not run or `theirs` took no time.
  bool Ratio(const std::string& ours, const std::string& theirs, double* ratio) const {
    const auto a = times_.find(ours);
    const auto b = times_.find(theirs);
    if (a == times_.end() || b == times_.end() || !(b->second > 0)) return false;
    *ratio = a->second / b->second;
    return true;
  }

 private:
  Clock clock_;
  std::map<std::string, double> times_;
};

}  // namespace bench
