#pragma once

#include "calibration/CalibrationResult.h"

#include <span>

namespace bopwell
{

struct BackgroundLevels
{
    double raw = 0.0;        // the 99.9th percentile of every quiet envelope value
    double background = 0.0; // the same after dropping the values a bump or a shake produced
    double shakeRatio = 1.0; // raw / background, 1 when that cannot be formed
    double liveReference = 0.0;
};

// Measures the quiet surface from its detector envelope, in sample order. liveReference is where
// the detector's slowly rising, quickly falling background tracker ends up over the same values, so
// that the live tracker can later be compared with it to notice a changed surface.
BackgroundLevels measureBackground (std::span<const double> quietEnvelope);

// Sets margin, thresholdMultiplier and thresholdLevel from background and weakLevel: the detection
// level is the geometric mean of the quiet background and the light-tap level, kept between 1 and
// 10 times the background.
void deriveDetectionLevel (CalibrationResult& result) noexcept;

} // namespace bopwell
