#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace bopwell
{

// A finished calibration capture, as the procedure hands it to the analysis: the detector's
// gravity-removed acceleration of every captured sample, the phase each sample was captured in,
// where the taps began, and what the quiet check measured.
struct CalibrationCapture
{
    static constexpr int tapsPerCalibration = 15;
    // The phase of the samples the quiet surface's background is measured over.
    static constexpr std::uint8_t quietLabel = 2;

    // One entry per captured sample, in g; all four arrays have the same length.
    std::vector<float> x, y, z;
    std::vector<std::uint8_t> label;

    // Sample index of each tap's onset, in tap order; -1 where no tap was recorded.
    std::array<std::int32_t, tapsPerCalibration> tapOnsets = noTaps();
    std::int32_t tapCount = 0;

    double quietMedian = 0.0;
    double quietSigma = 0.0;
    double motionLimit = 0.0;
    double segmentRatio = 1.0;

    static constexpr std::array<std::int32_t, tapsPerCalibration> noTaps() noexcept
    {
        std::array<std::int32_t, tapsPerCalibration> onsets {};
        onsets.fill (-1);
        return onsets;
    }
};

} // namespace bopwell
