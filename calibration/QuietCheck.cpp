#include "calibration/QuietCheck.h"

#include "calibration/RobustStatistics.h"

#include <algorithm>
#include <cmath>

namespace bopwell
{

void QuietCheckScratch::reserveFor (double rateHz)
{
    const auto quietSamples = static_cast<size_t> (std::max (0.0, 2.0 * rateHz)) + 16;
    motion.reserve (quietSamples);
    work.reserve (quietSamples);
    for (auto& quarter : quarters)
        quarter.reserve (quietSamples / 4 + 16);
}

QuietCheckResult quietCheck (const CalibrationCapture& capture, double rateHz)
{
    QuietCheckScratch scratch;
    scratch.reserveFor (rateHz);
    return quietCheck (capture, rateHz, scratch);
}

QuietCheckResult quietCheck (const CalibrationCapture& capture, double rateHz, QuietCheckScratch& scratch)
{
    QuietCheckResult result;

    auto& motion = scratch.motion;
    motion.clear();
    for (size_t i = 0; i < capture.label.size(); ++i)
        if (capture.label[i] == CalibrationCapture::quietLabel)
            motion.push_back (std::sqrt (static_cast<double> (capture.x[i]) * capture.x[i]
                                         + static_cast<double> (capture.y[i]) * capture.y[i]
                                         + static_cast<double> (capture.z[i]) * capture.z[i]));

    const auto expected = std::max<std::int64_t> (1, static_cast<std::int64_t> (2.0 * rateHz));
    for (auto& quarter : scratch.quarters)
        quarter.clear();
    for (size_t k = 0; k < motion.size(); ++k)
        scratch.quarters[static_cast<size_t> (std::min<std::int64_t> (3, static_cast<std::int64_t> (4 * k) / expected))].push_back (
            motion[k]);

    if (static_cast<std::int64_t> (motion.size()) < static_cast<std::int64_t> (rateHz))
    {
        result.failureCode = 1;
        return result;
    }

    scratch.work.assign (motion.begin(), motion.end());
    result.quietMedian = lowerMedianInPlace (scratch.work);
    result.quietSigma = robustSigmaInPlace (motion, result.quietMedian, scratch.work);
    result.motionLimit = result.quietMedian + 8.0 * result.quietSigma;
    result.tapTriggerLevel = std::max ({ 1.01 * result.quietMedian, result.motionLimit, 1e-9 });

    const auto movementRun = std::max<std::int64_t> (1, static_cast<std::int64_t> (std::ceil (0.005 * rateHz)));
    std::int64_t run = 0;
    for (const double m : motion)
    {
        run = m > result.motionLimit ? run + 1 : 0;
        if (run >= movementRun)
        {
            result.failureCode = 11;
            return result;
        }
    }

    const double floor = std::max (0.25 * result.quietMedian, 1e-9);
    double lowest = 0.0;
    double highest = 0.0;
    for (size_t q = 0; q < scratch.quarters.size(); ++q)
    {
        auto& quarter = scratch.quarters[q];
        if (quarter.empty())
        {
            result.failureCode = 1;
            return result;
        }
        const double level = std::max (lowerMedianInPlace (quarter), floor);
        lowest = q == 0 ? level : std::min (lowest, level);
        highest = q == 0 ? level : std::max (highest, level);
    }
    result.segmentRatio = highest / lowest;
    if (result.segmentRatio > 1.5)
        result.failureCode = 12;
    return result;
}

} // namespace bopwell
