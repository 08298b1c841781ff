#pragma once

#include <span>
#include <vector>

namespace bopwell
{

// Order statistics that shrug off the odd outlier, shared by the quiet check and the calibration
// analysis. Each works on a sorted copy of its input; an empty input gives 0.

// Element floor((n - 1) / 2) of the sorted values: the lower of the two middle values when n is even.
double lowerMedian (std::span<const double> values);

// 1.4826 times the lower median of |v - centre|: a standard deviation that a few wild values cannot
// inflate (the factor makes it match the ordinary one for normally distributed values).
double robustSigma (std::span<const double> values, double centre);

// The same, for the sensor thread: they reorder the given values (or fill the given scratch, whose
// capacity should already hold them all) instead of copying.
double lowerMedianInPlace (std::span<double> values) noexcept;
double robustSigmaInPlace (std::span<const double> values, double centre, std::vector<double>& deviations) noexcept;

// Element floor((n - 1) * 0.999) of the sorted values.
double percentile999 (std::span<const double> values);

} // namespace bopwell
