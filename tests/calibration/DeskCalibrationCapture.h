#pragma once

#include "calibration/CalibrationCapture.h"
#include "calibration/CaptureSignals.h"
#include "calibration/RobustStatistics.h"
#include "engine/HitDetector.h"
#include "sensor/platform/DeskModel.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <span>
#include <vector>

namespace bopwell::test
{

// A calibration taken on the simulated desk the way the procedure takes it: one second to settle,
// two seconds of quiet, fifteen taps (light, medium, firm, five times) and 0.6 s of tail. The
// capture holds the detector's gravity-removed values, the phase of every sample, each tap's onset
// (the first sample whose motion rises above the quiet check's trigger level) and the quiet
// check's statistics.
struct DeskCalibration
{
    double rateHz = 800.0;
    std::uint64_t seed = 1;
    DeskSurface surface = DeskSurface::factoryFitted();
    std::array<double, 3> tapStrengthsG = DeskModel::calibrationTapStrengthsG;
    double firstTapAfterQuietSeconds = 0.3;
    // Long enough for the desk to fall quiet again, as the procedure waits for before each tap.
    double tapSpacingSeconds = 1.2;

    CalibrationCapture record() const
    {
        constexpr int taps = CalibrationCapture::tapsPerCalibration;
        const auto settleEnd = samples (1.0);
        const auto quietEnd = settleEnd + samples (2.0);
        const double tapPhaseSeconds = static_cast<double> (quietEnd) / rateHz;

        DeskModel::Options options;
        options.rateHz = rateHz;
        options.seed = seed;
        options.surface = surface;
        DeskModel desk (options);
        std::vector<double> scheduled;
        for (int i = 0; i < taps; ++i)
        {
            scheduled.push_back (tapPhaseSeconds + firstTapAfterQuietSeconds + i * tapSpacingSeconds);
            desk.addTap ({ scheduled.back(), tapStrengthsG[static_cast<size_t> (i % 3)] });
        }

        CalibrationCapture capture;
        HitDetector detector;
        detector.setRate (rateHz);
        const auto available = static_cast<size_t> (std::ceil ((scheduled.back() + 2.0) * rateHz));
        for (size_t i = 0; i < available; ++i)
        {
            const auto sample = desk.nextSample();
            detector.process (sample.accelX, sample.accelY, sample.accelZ, 1.0);
            const auto& highPass = detector.frame().highPass;
            capture.x.push_back (static_cast<float> (highPass[0]));
            capture.y.push_back (static_cast<float> (highPass[1]));
            capture.z.push_back (static_cast<float> (highPass[2]));
        }

        const auto motion = motionMagnitudes (capture);
        const std::span<const double> quietMotion (motion.data() + settleEnd, quietEnd - settleEnd);
        capture.quietMedian = lowerMedian (quietMotion);
        capture.quietSigma = robustSigma (quietMotion, capture.quietMedian);
        capture.motionLimit = capture.quietMedian + 8.0 * capture.quietSigma;
        const double triggerLevel = std::max ({ 1.01 * capture.quietMedian, capture.motionLimit, 1e-9 });

        for (int i = 0; i < taps; ++i)
        {
            auto onset = static_cast<size_t> (std::llround (scheduled[static_cast<size_t> (i)] * rateHz));
            while (onset + 1 < motion.size() && motion[onset] <= triggerLevel)
                ++onset;
            capture.tapOnsets[static_cast<size_t> (i)] = static_cast<std::int32_t> (onset);
        }
        capture.tapCount = taps;

        // The last tap completes ceil(0.4 s) after its onset; the tail phase follows it.
        const auto tapPhaseEnd = static_cast<size_t> (capture.tapOnsets.back()) + ceilSamples (0.4) + 1;
        const auto captureEnd = tapPhaseEnd + samples (0.6);
        for (auto* axis : { &capture.x, &capture.y, &capture.z })
            axis->resize (captureEnd);
        for (size_t i = 0; i < captureEnd; ++i)
            capture.label.push_back (i < settleEnd ? 1 : i < quietEnd ? 2 : i < tapPhaseEnd ? 3 : 4);
        return capture;
    }

private:
    size_t samples (double seconds) const { return static_cast<size_t> (std::llround (seconds * rateHz)); }
    size_t ceilSamples (double seconds) const { return static_cast<size_t> (std::ceil (seconds * rateHz)); }
};

} // namespace bopwell::test
