#include "calibration/CalibrationAnalysis.h"

#include "calibration/CaptureSignals.h"
#include "calibration/DetectorLevel.h"
#include "calibration/RingingFit.h"
#include "calibration/RobustStatistics.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>
#include <optional>
#include <span>
#include <vector>

namespace bopwell
{

namespace
{
    constexpr int tapsPerCalibration = CalibrationCapture::tapsPerCalibration;

    // The procedure asks for light, medium and firm taps in turn.
    constexpr int strengthGroups = 3;
    enum StrengthGroup
    {
        light,
        medium,
        firm
    };

    // The ringing is learnt from 0.1 s to 0.4 s after each onset: past the contact itself, and
    // before the procedure could have let the next tap start.
    constexpr double tailStartSeconds = 0.1;
    constexpr double tailEndSeconds = 0.4;

    // A tap's level is the envelope's peak from just before its onset to 30 ms after.
    constexpr double peakLeadSeconds = 0.01;
    constexpr double peakSpanSeconds = 0.03;

    constexpr double minimumRemoval = 0.8;

    // trunc(seconds * rate). A rate that is not a positive number gives no samples instead of an
    // undefined conversion, and an absurdly high one saturates far beyond any capture.
    std::int64_t samplesFor (double seconds, double rateHz) noexcept
    {
        const double samples = std::trunc (seconds * rateHz);
        if (! (samples > 0.0))
            return 0;
        return static_cast<std::int64_t> (std::min (samples, 1.0e15));
    }

    const CalibrationResult& markFailed (CalibrationResult& result, std::int32_t code, const char* detail)
    {
        result.calibrationResultCode = code;
        result.detail = detail;
        return result;
    }

    bool hasOneEntryPerSample (const CalibrationCapture& capture) noexcept
    {
        const auto n = capture.x.size();
        return capture.y.size() == n && capture.z.size() == n && capture.label.size() == n;
    }

    void countStrengthGroups (const CalibrationCapture& capture, CalibrationResult& result) noexcept
    {
        std::array<std::int32_t, strengthGroups> sizes {};
        for (int tap = 0; tap < capture.tapCount; ++tap)
            ++sizes[static_cast<size_t> (tap % strengthGroups)];
        result.lightCount = sizes[light];
        result.mediumCount = sizes[medium];
        result.firmCount = sizes[firm];
    }

    // Group by group, then in tap order within a group; a tap whose tail runs past the end of the
    // capture gets no window.
    std::vector<SampleWindow> tailWindows (const CalibrationCapture& capture, std::int64_t samples, double rateHz)
    {
        std::vector<SampleWindow> windows;
        for (int group = light; group <= firm; ++group)
        {
            for (int tap = group; tap < tapsPerCalibration; tap += strengthGroups)
            {
                const std::int64_t onset = capture.tapOnsets[static_cast<size_t> (tap)];
                if (onset < 0)
                    continue;
                const auto end = onset + samplesFor (tailEndSeconds, rateHz);
                if (end < samples)
                    windows.push_back ({ onset + samplesFor (tailStartSeconds, rateHz), end });
            }
        }
        return windows;
    }

    std::optional<RingingModel> fitRingingModel (const CalibrationCapture& capture, std::span<const SampleWindow> windows)
    {
        RingingModel model;
        auto next = model.coefs.begin();
        for (const auto* axis : { &capture.x, &capture.y, &capture.z })
        {
            const auto coefficients = fitRingingAxis (*axis, windows);
            if (! coefficients)
                return std::nullopt;
            next = std::copy (coefficients->begin(), coefficients->end(), next);
        }
        return model;
    }

    // The share of the tails' energy that the model predicts away.
    double ringingRemoval (std::span<const double> motion, std::span<const double> residuals, std::span<const SampleWindow> windows)
    {
        double signalEnergy = 0.0;
        double residualEnergy = 0.0;
        for (const auto& window : windows)
        {
            for (auto n = static_cast<size_t> (window.start); n < static_cast<size_t> (window.end); ++n)
            {
                signalEnergy += motion[n] * motion[n];
                residualEnergy += residuals[n] * residuals[n];
            }
        }
        return signalEnergy > 0.0 ? 1.0 - std::sqrt (residualEnergy / signalEnergy) : 0.0;
    }

    std::vector<double> quietEnvelope (const CalibrationCapture& capture, std::span<const double> envelope)
    {
        std::vector<double> quiet;
        for (size_t n = RingingModel::order; n < envelope.size(); ++n)
            if (capture.label[n] == CalibrationCapture::quietLabel)
                quiet.push_back (envelope[n]);
        return quiet;
    }

    double tapPeak (std::span<const double> envelope, std::int64_t onset, double rateHz)
    {
        const auto samples = static_cast<std::int64_t> (envelope.size());
        const auto first = std::max (onset - samplesFor (peakLeadSeconds, rateHz), std::int64_t { 0 });
        const auto end = std::min (onset + samplesFor (peakSpanSeconds, rateHz), samples);
        double peak = 0.0;
        for (auto n = first; n < end; ++n)
            peak = std::max (peak, envelope[static_cast<size_t> (n)]);
        return peak;
    }

    double groupLevel (const CalibrationCapture& capture, std::span<const double> envelope, int group, double rateHz)
    {
        std::vector<double> peaks;
        for (int tap = group; tap < tapsPerCalibration; tap += strengthGroups)
            peaks.push_back (tapPeak (envelope, capture.tapOnsets[static_cast<size_t> (tap)], rateHz));
        return lowerMedian (peaks);
    }
} // namespace

CalibrationResult analyseCalibration (const CalibrationCapture& capture, double rateHz)
{
    CalibrationResult result;
    result.quietMedian = capture.quietMedian;
    result.quietSigma = capture.quietSigma;
    result.motionLimit = capture.motionLimit;
    result.segmentRatio = capture.segmentRatio;

    // Arrays of different lengths cannot come from one finished capture; refuse them rather than
    // read past the shortest.
    if (capture.tapCount != tapsPerCalibration || ! hasOneEntryPerSample (capture))
        return markFailed (result, CalibrationResult::captureIncomplete, "Capture incomplete");

    const auto motion = motionMagnitudes (capture);
    countStrengthGroups (capture, result);

    const auto windows = tailWindows (capture, static_cast<std::int64_t> (motion.size()), rateHz);
    if (windows.size() != tapsPerCalibration)
        return markFailed (result, CalibrationResult::incompleteRingingTail, "A captured stroke did not include a complete ringing tail");

    const auto model = fitRingingModel (capture, windows);
    if (! model)
        return markFailed (result, CalibrationResult::modelFitFailed, "Could not fit the ringing model");

    const auto residuals = residualMagnitudes (capture, *model);
    const auto envelope = envelopeOf (residuals, envelopeWindowSamples (rateHz));
    result.removal = ringingRemoval (motion, residuals, windows);

    const auto quiet = quietEnvelope (capture, envelope);
    if (quiet.empty())
        return markFailed (result, CalibrationResult::unusableLevel, "Background could not be measured");

    const auto levels = measureBackground (quiet);
    result.backgroundRaw = levels.raw;
    result.background = levels.background;
    result.shakeRatio = levels.shakeRatio;
    result.liveReference = levels.liveReference;

    result.weakLevel = groupLevel (capture, envelope, light, rateHz);
    result.mediumLevel = groupLevel (capture, envelope, medium, rateHz);
    result.firmLevel = groupLevel (capture, envelope, firm, rateHz);

    if (result.background <= 0.0 || result.weakLevel <= 0.0)
        return markFailed (result, CalibrationResult::unusableLevel, "Background or Soft-stroke level could not be measured");

    deriveDetectionLevel (result);

    if (validateCalibrationResult (result))
    {
        result.coefs = model->coefs;
        result.modelValid = true;
        result.succeeded = true;
        result.detail = "OK";
    }
    return result;
}

bool validateCalibrationResult (CalibrationResult& result)
{
    const double levels[] = {
        result.removal,     result.background, result.backgroundRaw, result.liveReference,       result.weakLevel,
        result.mediumLevel, result.firmLevel,  result.margin,        result.thresholdMultiplier, result.thresholdLevel
    };
    const bool allFinite = std::all_of (std::begin (levels), std::end (levels), [] (double v) { return std::isfinite (v); });

    const bool usable = allFinite && result.thresholdMultiplier >= 1.0 && result.thresholdMultiplier <= 10.0 && result.thresholdLevel > 0.0
                        && result.background > 0.0 && result.weakLevel > 0.0 && result.liveReference >= 0.0;
    if (! usable)
    {
        markFailed (result, CalibrationResult::unusableLevel, "Calibration produced an invalid detector level");
        return false;
    }

    if (result.removal < minimumRemoval)
    {
        markFailed (result, CalibrationResult::weakRingingRemoval, "Ringing removal was below 0.80");
        return false;
    }
    return true;
}

} // namespace bopwell
