#include "calibration/CaptureSignals.h"

#include "engine/HitDetector.h"

#include <algorithm>
#include <cmath>

namespace bopwell
{

namespace
{
    size_t samplesIn (const CalibrationCapture& capture) noexcept
    {
        return std::min ({ capture.x.size(), capture.y.size(), capture.z.size() });
    }

    const std::vector<float>& axisSamples (const CalibrationCapture& capture, int axis) noexcept
    {
        return axis == 0 ? capture.x : axis == 1 ? capture.y : capture.z;
    }
} // namespace

std::vector<double> motionMagnitudes (const CalibrationCapture& capture)
{
    std::vector<double> motion (samplesIn (capture));
    for (size_t n = 0; n < motion.size(); ++n)
    {
        const double x = capture.x[n], y = capture.y[n], z = capture.z[n];
        motion[n] = std::sqrt (x * x + y * y + z * z);
    }
    return motion;
}

std::vector<double> residualMagnitudes (const CalibrationCapture& capture, const RingingModel& model)
{
    constexpr size_t order = RingingModel::order;
    std::vector<double> residuals (samplesIn (capture));
    for (size_t n = order; n < residuals.size(); ++n)
    {
        double sumOfSquares = 0.0;
        for (int axis = 0; axis < RingingModel::axes; ++axis)
        {
            const auto& h = axisSamples (capture, axis);
            double prediction = 0.0;
            for (int lag = 1; lag <= RingingModel::order; ++lag)
                prediction += model.coefficient (axis, lag) * static_cast<double> (h[n - static_cast<size_t> (lag)]);

            const double e = static_cast<double> (h[n]) - prediction;
            sumOfSquares += e * e;
        }
        residuals[n] = std::sqrt (sumOfSquares);
    }
    return residuals;
}

int envelopeWindowSamples (double rateHz) noexcept
{
    const double samples = std::round (0.005 * rateHz);
    // Also keeps a rate that is not a number at one sample rather than converting it.
    if (! (samples >= 1.0))
        return 1;
    return static_cast<int> (std::min (samples, static_cast<double> (HitDetector::maxEnvelopeWindow)));
}

std::vector<double> envelopeOf (std::span<const double> residuals, int window)
{
    const auto width = static_cast<size_t> (std::max (window, 1));
    std::vector<double> envelope (residuals.size());
    for (size_t n = 0; n < residuals.size(); ++n)
    {
        // Summed afresh at every sample (at most 16 values) so that no rounding or stray NaN
        // lingers the way it would in a running sum.
        const size_t first = n + 1 >= width ? n + 1 - width : 0;
        double sum = 0.0;
        for (size_t i = first; i <= n; ++i)
            sum += residuals[i];
        envelope[n] = sum / static_cast<double> (n + 1 - first);
    }
    return envelope;
}

} // namespace bopwell
