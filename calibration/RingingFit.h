#pragma once

#include "calibration/RingingModel.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace bopwell
{

// Samples [start, end) of a capture.
struct SampleWindow
{
    std::int64_t start = 0;
    std::int64_t end = 0;
};

using AxisCoefficients = std::array<double, RingingModel::order>;

inline constexpr int minimumFitRows = 160;

// Least-squares fit of one axis's predictor to the ringing inside the windows: the coefficients
// (lag 1 first) that best predict each sample from the eight before it. Fails when the windows
// hold fewer than minimumFitRows predictable samples or the data does not determine a finite model.
std::optional<AxisCoefficients> fitRingingAxis (std::span<const float> signal, std::span<const SampleWindow> windows);

} // namespace bopwell
