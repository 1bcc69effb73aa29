// Checks the program's outbound pipe as a listener sees it: every capture
// must come whole (capture start, then per sweep a sweep start, its profile
// records and a sweep end, then capture end), and every profile point must
// lie on the scenario's scene. A listener that joins in the middle of a
// capture starts checking at the next capture start.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/acquisition/scan_pipe_record.h"
#include "sim/scenario.h"

namespace sim {

struct PipeCheckCounts {
    int captures = 0;      // whole captures seen
    int sweeps = 0;        // sweeps of whole captures
    int profiles = 0;      // profile records
    long long points = 0;  // points checked
    double worstDistance = 0;
    int skipped = 0;                      // records before the first capture start
    std::vector<std::string> errors;      // the first few faults, in order
    std::vector<int> profilesPerCapture;  // of each whole capture
  std::vector<double> rmsPerCapture;    // the RMS distance of its points from the scene (0 without points)
};

class PipeRecordChecker {
  public:
    // `receiverFrame`: the program sends points relative to the reference
    // receiver, which the record's reference matrix places in the
    // transmitter's frame, where the scene is.
    PipeRecordChecker(const Scenario& scenario, bool receiverFrame, double tolerance);

    void Add(const ScanPipeRecord& record);
    const PipeCheckCounts& Counts() const { return counts_; }
    // Whether a capture is open (begun and not ended).
    bool InCapture() const { return state_ != kOutside && state_ != kWaiting; }

  private:
    enum State { kWaiting, kOutside, kInCapture, kInSweep };
    void Fault(const std::string& text);
    void CheckPoints(const ScanPipeRecord& record);

    const Scenario& scenario_;
    bool receiverFrame_;
    double tolerance_;
    State state_ = kWaiting;
    int sweepsOfCapture_ = 0;
    int profilesOfSweep_ = 0;
    int profilesOfCapture_ = 0;
  double squaresOfCapture_ = 0;  // squared distances of the capture's points
  long long pointsOfCapture_ = 0;
    PipeCheckCounts counts_;
};

}  // namespace sim
