#include "calibration/DetectorLevel.h"

#include "calibration/RobustStatistics.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace bopwell
{

namespace
{
    // Anything this many robust deviations above the median is a disturbance, not the surface.
    constexpr double outlierSigmas = 24.0;

    // The detector's own rates: quick to follow the background down, very slow to follow it up, so
    // that taps barely lift it.
    constexpr double fallingRate = 0.01;
    constexpr double risingRate = 0.00002;

    double trackLiveBackground (std::span<const double> envelope) noexcept
    {
        double tracked = 0.0;
        for (double v : envelope)
        {
            if (tracked <= 0.0)
                tracked = v;
            else
                tracked += (v - tracked) * (tracked > v ? fallingRate : risingRate);
        }
        return tracked;
    }

    std::vector<double> withoutOutliers (std::span<const double> values)
    {
        const double centre = lowerMedian (values);
        const double sigma = robustSigma (values, centre);
        std::vector<double> kept;
        for (double v : values)
            if (sigma <= 0.0 || v < centre + outlierSigmas * sigma)
                kept.push_back (v);
        return kept;
    }
} // namespace

BackgroundLevels measureBackground (std::span<const double> quietEnvelope)
{
    BackgroundLevels levels;
    levels.raw = percentile999 (quietEnvelope);

    const auto kept = withoutOutliers (quietEnvelope);
    levels.background = kept.empty() ? levels.raw : percentile999 (kept);
    if (! (levels.background > 0.0))
        levels.background = levels.raw;

    levels.shakeRatio = levels.background > 0.0 ? levels.raw / levels.background : 1.0;
    levels.liveReference = trackLiveBackground (quietEnvelope);
    return levels;
}

void deriveDetectionLevel (CalibrationResult& result) noexcept
{
    result.margin = result.weakLevel / result.background;
    result.thresholdMultiplier = std::clamp (std::sqrt (std::max (result.margin, 0.0)), 1.0, 10.0);
    result.thresholdLevel = result.background * result.thresholdMultiplier;
}

} // namespace bopwell
