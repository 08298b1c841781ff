#pragma once

#include "calibration/CalibrationCapture.h"
#include "calibration/CalibrationResult.h"

namespace bopwell
{

// Learns the surface from a finished capture taken at rateHz: fits the ringing model to the tails
// of the taps, measures the quiet background and the light, medium and firm tap levels through that
// model the way the detector will see them, and derives the detection level. Every failure comes
// back as a result code with its detail text.
CalibrationResult analyseCalibration (const CalibrationCapture& capture, double rateHz);

// Accepts a result whose detector level is usable and whose model removes enough of the ringing;
// otherwise sets its code and detail and returns false.
bool validateCalibrationResult (CalibrationResult& result);

} // namespace bopwell
