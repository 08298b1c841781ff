#pragma once

#include "calibration/RingingModel.h"

#include <array>
#include <cstdint>
#include <string>

namespace bopwell
{

// The outcome of one calibration. A failed result keeps whatever was measured before the step
// that failed, so that the technical line can show how far it got.
struct CalibrationResult
{
    // calibrationResultCode values the analysis produces.
    static constexpr std::int32_t ok = 0;
    static constexpr std::int32_t captureIncomplete = 2;
    static constexpr std::int32_t incompleteRingingTail = 3;
    static constexpr std::int32_t modelFitFailed = 4;
    static constexpr std::int32_t unusableLevel = 6;
    static constexpr std::int32_t weakRingingRemoval = 7;

    // Filled in only for an accepted result.
    std::array<double, RingingModel::coefficientCount> coefs {};
    bool modelValid = false;

    double background = 0.0;
    double weakLevel = 0.0;
    double mediumLevel = 0.0;
    double firmLevel = 0.0;
    double removal = 0.0;
    double thresholdLevel = 0.0;
    double thresholdMultiplier = 0.0;
    double backgroundRaw = 0.0;
    double shakeRatio = 1.0;
    double margin = 0.0;
    double liveReference = 0.0;
    double quietMedian = 0.0;
    double quietSigma = 0.0;
    double motionLimit = 0.0;
    double segmentRatio = 0.0;

    std::int32_t firmCount = 0;
    std::int32_t mediumCount = 0;
    std::int32_t lightCount = 0;

    bool succeeded = false;
    std::int32_t calibrationResultCode = ok;
    std::string detail;

    RingingModel model() const noexcept { return { coefs, modelValid }; }
};

} // namespace bopwell
