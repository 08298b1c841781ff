#pragma once

#include "calibration/CalibrationCapture.h"

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

// Judges the two seconds of quiet background: enough of it, nothing moved, and it stayed as steady
// from quarter to quarter as a calibration needs. Its levels then tell taps from the quiet.
QuietCheckResult quietCheck (const CalibrationCapture& capture, double rateHz);

} // namespace bopwell
