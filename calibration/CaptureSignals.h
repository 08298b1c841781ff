#pragma once

#include "calibration/CalibrationCapture.h"
#include "calibration/RingingModel.h"

#include <span>
#include <vector>

namespace bopwell
{

// The quantities the live detector derives from each sample, recomputed over a whole capture so
// that what calibration measures is what the detector will later compare with its threshold.
// Each returns one value per sample of the shortest of the capture's three axes.

// |(x, y, z)| of every sample, in double.
std::vector<double> motionMagnitudes (const CalibrationCapture& capture);

// The magnitude of what the model fails to predict on the three axes. The first eight samples have
// no full history and count as 0. The model's valid flag is not consulted: the analysis judges a
// freshly fitted model by exactly these residuals.
std::vector<double> residualMagnitudes (const CalibrationCapture& capture, const RingingModel& model);

// The detector's envelope length at a rate: 5 ms of samples, halves rounded away from zero, 1 to 16.
int envelopeWindowSamples (double rateHz) noexcept;

// The mean of the last `window` residuals at every sample; the mean of those present while fewer
// exist.
std::vector<double> envelopeOf (std::span<const double> residuals, int window);

} // namespace bopwell
