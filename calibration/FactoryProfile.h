#pragma once

#include "calibration/RingingModel.h"

namespace bopwell::factory
{

// The built-in profile a fresh installation detects taps with until the user calibrates.
inline constexpr const char* profileId = "factory-mag-2026-08-04-r1";
inline constexpr double thresholdK = 1.18;
inline constexpr double calBackground = 0.000382724490646;
inline constexpr double calLiveRef = 3.3266398203e-05;
inline constexpr double detectionThreshold = 0.00045161489896227997;

const RingingModel& ringingModel() noexcept;

} // namespace bopwell::factory
