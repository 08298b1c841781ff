#include "calibration/QuietCheck.h"

#include "calibration/RobustStatistics.h"

#include <algorithm>
#include <cmath>

namespace bopwell
{

QuietCheckResult quietCheck (const CalibrationCapture& capture, double rateHz)
{
    QuietCheckResult result;

    std::vector<double> motion;
    for (size_t i = 0; i < capture.label.size(); ++i)
        if (capture.label[i] == CalibrationCapture::quietLabel)
            motion.push_back (std::sqrt (static_cast<double> (capture.x[i]) * capture.x[i]
                                         + static_cast<double> (capture.y[i]) * capture.y[i]
                                         + static_cast<double> (capture.z[i]) * capture.z[i]));

    const auto expected = std::max<std::int64_t> (1, static_cast<std::int64_t> (2.0 * rateHz));
    std::array<std::vector<double>, 4> quarters;
    for (size_t k = 0; k < motion.size(); ++k)
        quarters[static_cast<size_t> (std::min<std::int64_t> (3, static_cast<std::int64_t> (4 * k) / expected))].push_back (motion[k]);

    if (static_cast<std::int64_t> (motion.size()) < static_cast<std::int64_t> (rateHz))
    {
        result.failureCode = 1;
        return result;
    }

    result.quietMedian = lowerMedian (motion);
    result.quietSigma = robustSigma (motion, result.quietMedian);
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
    for (size_t q = 0; q < quarters.size(); ++q)
    {
        if (quarters[q].empty())
        {
            result.failureCode = 1;
            return result;
        }
        const double level = std::max (lowerMedian (quarters[q]), floor);
        lowest = q == 0 ? level : std::min (lowest, level);
        highest = q == 0 ? level : std::max (highest, level);
    }
    result.segmentRatio = highest / lowest;
    if (result.segmentRatio > 1.5)
        result.failureCode = 12;
    return result;
}

} // namespace bopwell
