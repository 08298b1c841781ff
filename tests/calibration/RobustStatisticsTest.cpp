#include "calibration/RobustStatistics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

using namespace bopwell;

namespace
{
// 1, 2, ..., count in a scrambled order, so that the helpers have to sort.
std::vector<double> scrambledOneTo (int count)
{
    std::vector<double> values;
    for (int i = 0; i < count; ++i)
        values.push_back (static_cast<double> ((i * 7919) % count + 1));
    return values;
}
} // namespace

TEST (RobustStatistics, LowerMedianTakesTheLowerOfTheTwoMiddleValues)
{
    struct Case
    {
        std::vector<double> values;
        double median;
    };
    const Case cases[] = {
        { {}, 0.0 },
        { { 5.0 }, 5.0 },
        { { 1.0, 2.0, 3.0, 4.0 }, 2.0 },
        { { 4.0, 1.0, 3.0, 2.0 }, 2.0 },
        { { 3.0, -1.0, 2.0 }, 2.0 },
        { scrambledOneTo (1000), 500.0 },
    };
    for (const auto& c : cases)
        EXPECT_EQ (lowerMedian (c.values), c.median) << c.values.size() << " values";
}

TEST (RobustStatistics, RobustSigmaScalesTheMedianDeviationFromTheCentre)
{
    struct Case
    {
        std::vector<double> values;
        double centre;
        double sigma;
    };
    const Case cases[] = {
        { {}, 0.0, 0.0 },
        { { 2.0, 2.0, 2.0 }, 2.0, 0.0 },
        // Deviations 2, 1, 0, 1, 97: the wild value does not count.
        { { 1.0, 2.0, 3.0, 4.0, 100.0 }, 3.0, 1.4826 },
        // Deviations are taken from the centre given, not from the values' own median.
        { { 1.0, 2.0, 3.0 }, 10.0, 1.4826 * 8.0 },
    };
    for (const auto& c : cases)
        EXPECT_DOUBLE_EQ (robustSigma (c.values, c.centre), c.sigma) << c.values.size() << " values around " << c.centre;
}

TEST (RobustStatistics, Percentile999TakesElementFloorOfNMinusOneTimes0999)
{
    std::vector<double> quietWithOneSpike (1000, 0.001);
    quietWithOneSpike.push_back (1.0);

    struct Case
    {
        const char* name;
        std::vector<double> values;
        double percentile;
    };
    const Case cases[] = {
        { "empty", {}, 0.0 },
        { "one value", { 7.0 }, 7.0 },
        { "ten values: index floor(8.991) = 8", scrambledOneTo (10), 9.0 },
        { "1000 values: index 998", scrambledOneTo (1000), 999.0 },
        { "1000 quiet values and a spike: index 999 is still quiet", quietWithOneSpike, 0.001 },
    };
    for (const auto& c : cases)
        EXPECT_EQ (percentile999 (c.values), c.percentile) << c.name;
}

TEST (RobustStatistics, ANanSortsAboveEveryNumber)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<double> values { nan, 3.0, 1.0, nan, 2.0, 4.0 };

    EXPECT_EQ (lowerMedian (values), 3.0);
    EXPECT_TRUE (std::isnan (percentile999 (values)));
    EXPECT_EQ (robustSigma (values, 2.0), 1.4826); // deviations 0, 1, 1, 2, NaN, NaN
}
