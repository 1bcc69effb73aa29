// Every tracked-memory test starts without a registry, with both counters at
// 0 and without injected failures, and leaves no registry behind.
#ifndef SURFACE_FRAME_TESTS_TRACKED_MEMORY_FIXTURE_H
#define SURFACE_FRAME_TESTS_TRACKED_MEMORY_FIXTURE_H

#include "surface/frame/tracked_memory.h"

#include <gtest/gtest.h>

class TrackedMemoryTest : public ::testing::Test {
  protected:
    void SetUp() override { Reset(); }
    void TearDown() override {
        while (Mem_TrackDepth() >= 0) Mem_TrackEndFreeAll();
        Reset();
    }

  private:
    static void Reset() {
        Mem_FailAllocationsAfterForTesting(-1);
        while (Mem_TrackDepth() >= 0) Mem_TrackEndFreeAll();
        Mem_SetCurrentBytes(0);
        Mem_SetPeakBytes(0);
    }
};

#endif
