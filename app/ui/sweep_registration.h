// The sweep registration as the shell runs it: its parameter block, the
// seam through which the registration itself is installed, and the message
// that each of its results gives.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

struct SweepRegParams {
    float first = 0.0f;
    int32_t second = 5;
    float third = 5.0f;
    float fourth = 2.0f;
    int32_t fifth = 400;
    float* initialError = nullptr;
    float* finalError = nullptr;
};

// The progress report the registration calls (process name, fraction 0..1);
// false: stop.
using SweepRegReport = bool (*)(const char* process, float fraction);

// Registers the visible sweeps: 0 success (both errors written), 1 aborted,
// 2 bad parameters, 3 and 4 not enough sweeps, 5 out of memory, 6 failure.
using SweepRegRunner = std::function<int(SweepRegParams& params, SweepRegReport report)>;
void SweepReg_SetRunner(SweepRegRunner runner);
bool SweepReg_HasRunner();
int SweepReg_Run(SweepRegParams& params, SweepRegReport report);

// Installs the registration of the program's scan (App().raw): the block's
// five values are its parameters in order, its step texts are looked up in
// the locale. Without a scan the result is 4.
void SweepReg_InstallScanRunner();

// The message of a result; `success` is set for result 0.
std::string SweepReg_ResultMessage(int result, float initialError, float finalError, bool& success);
