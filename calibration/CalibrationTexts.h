#pragma once

#include "calibration/CalibrationResult.h"

#include <string>

namespace bopwell
{

// The user's message for a calibration result code.
std::string calibrationMessageFor (int code);

// The technical detail a failure code is published with.
std::string calibrationDetailFor (int code);

// What the calibration screens show of a result.
std::string acceptedCalibrationText (const CalibrationResult& result);
std::string failedCalibrationText (const CalibrationResult& result);
std::string technicalCalibrationText (const CalibrationResult& result);
std::string failedTechnicalCalibrationText (const CalibrationResult& result);

// "Light Tap", "Medium Tap" or "Firm Tap": what the next tap should be.
std::string tapInstruction (int tapCount);
std::string calibrationProgressText (int tapCount, const std::string& instruction);

} // namespace bopwell
