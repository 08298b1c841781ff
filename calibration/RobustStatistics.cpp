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

double lowerMedian (std::span<const double> values) { return sortedElement ({ values.begin(), values.end() }, 0.5); }

double robustSigma (std::span<const double> values, double centre)
{
    std::vector<double> deviations;
    deviations.reserve (values.size());
    for (double v : values)
        deviations.push_back (std::abs (v - centre));
    return 1.4826 * sortedElement (std::move (deviations), 0.5);
}

double percentile999 (std::span<const double> values) { return sortedElement ({ values.begin(), values.end() }, 0.999); }

} // namespace bopwell
