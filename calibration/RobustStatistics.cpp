#include "calibration/RobustStatistics.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace bopwell
{

namespace
{
    // A NaN counts as larger than every number. Plain < would hand the sort an ordering it is not
    // allowed to rely on (and it may then read past the ends of the array); this way a stray NaN
    // only ever ends up at the top of the list.
    bool ascendingWithNanLast (double a, double b) noexcept { return std::isnan (b) ? ! std::isnan (a) : a < b; }

    double sortedElement (std::vector<double> values, double rankOfLast)
    {
        if (values.empty())
            return 0.0;

        std::sort (values.begin(), values.end(), ascendingWithNanLast);
        const auto index = static_cast<size_t> (std::floor (static_cast<double> (values.size() - 1) * rankOfLast));
        return values[index];
    }
} // namespace

double lowerMedianInPlace (std::span<double> values) noexcept
{
    if (values.empty())
        return 0.0;
    const auto middle = values.begin() + static_cast<std::ptrdiff_t> ((values.size() - 1) / 2);
    std::nth_element (values.begin(), middle, values.end(), ascendingWithNanLast);
    return *middle;
}

double lowerMedian (std::span<const double> values)
{
    std::vector<double> copy (values.begin(), values.end());
    return lowerMedianInPlace (copy);
}

double robustSigmaInPlace (std::span<const double> values, double centre, std::vector<double>& deviations) noexcept
{
    deviations.clear();
    for (double v : values)
        deviations.push_back (std::abs (v - centre));
    return 1.4826 * lowerMedianInPlace (deviations);
}

double robustSigma (std::span<const double> values, double centre)
{
    std::vector<double> deviations;
    deviations.reserve (values.size());
    return robustSigmaInPlace (values, centre, deviations);
}

double percentile999 (std::span<const double> values) { return sortedElement ({ values.begin(), values.end() }, 0.999); }

} // namespace bopwell
