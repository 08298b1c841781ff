#pragma once

#include "calibration/CalibrationCapture.h"

#include <array>
#include <vector>

namespace bopwell
{

struct QuietCheckResult
{
    int failureCode = 0; // 0 passed, 1 too little data, 11 movement, 12 unsteady background
    double quietMedian = 0.0;
    double quietSigma = 0.0;
    double motionLimit = 0.0;
    double tapTriggerLevel = 0.0;
    double segmentRatio = 1.0;
};

// Working room for the quiet check, reserved ahead so that it runs on the sensor thread without
// allocating.
struct QuietCheckScratch
{
    std::vector<double> motion;
    std::vector<double> work;
    std::array<std::vector<double>, 4> quarters;

    void reserveFor (double rateHz);
};

// Judges the two seconds of quiet background: enough of it, nothing moved, and it stayed as steady
// from quarter to quarter as a calibration needs. Its levels then tell taps from the quiet.
QuietCheckResult quietCheck (const CalibrationCapture& capture, double rateHz, QuietCheckScratch& scratch);
QuietCheckResult quietCheck (const CalibrationCapture& capture, double rateHz);

} // namespace bopwell
