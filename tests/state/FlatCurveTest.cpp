#include "state/FlatCurve.h"

#include <gtest/gtest.h>

#include <limits>

using namespace bopwell;

namespace
{
constexpr auto notANumber = std::numeric_limits<double>::quiet_NaN();
constexpr auto infinity = std::numeric_limits<double>::infinity();

VelocityCurve threePoints() { return { { { 0.0, 0.1 }, { 0.4, 0.6 }, { 1.0, 0.9 } }, { 0.3, 0.7 } }; }

// A flat curve of n points along the diagonal with straight segments.
std::vector<double> diagonal (int n)
{
    std::vector<double> flat { static_cast<double> (n) };
    for (int i = 0; i < n; ++i)
    {
        const auto t = static_cast<double> (i) / (n - 1);
        flat.insert (flat.end(), { t, t });
    }
    flat.insert (flat.end(), static_cast<size_t> (n - 1), 0.5);
    return flat;
}
} // namespace

TEST (FlatCurve, FlattensCountPointsThenShapes)
{
    EXPECT_EQ (flattenCurve (VelocityCurve::identity()), (std::vector<double> { 2, 0, 0, 1, 1, 0.5 }));
    EXPECT_EQ (flattenCurve (threePoints()), (std::vector<double> { 3, 0, 0.1, 0.4, 0.6, 1, 0.9, 0.3, 0.7 }));
}

TEST (FlatCurve, ReadsBackWhatItFlattens)
{
    VelocityCurve curve;
    ASSERT_TRUE (readFlatCurve (flattenCurve (threePoints()), curve));
    EXPECT_EQ (curve, threePoints());
    ASSERT_TRUE (readFlatCurve (diagonal (1024), curve));
    EXPECT_EQ (curve.points.size(), 1024u);
    EXPECT_EQ (curve.shapes.size(), 1023u);
}

TEST (FlatCurve, AppliesTheCurveRule)
{
    struct Case
    {
        const char* name;
        std::vector<double> flat;
        bool valid;
    };
    const Case cases[] = {
        { "identity", { 2, 0, 0, 1, 1, 0.5 }, true },
        { "empty", {}, false },
        { "one point", { 1, 0, 0 }, false },
        { "1025 points", diagonal (1025), false },
        { "fractional count", { 2.5, 0, 0, 1, 1, 0.5 }, false },
        { "NaN count", { notANumber, 0, 0, 1, 1, 0.5 }, false },
        { "infinite count", { infinity, 0, 0, 1, 1, 0.5 }, false },
        { "negative count", { -2, 0, 0, 1, 1, 0.5 }, false },
        { "one value short", { 2, 0, 0, 1, 1 }, false },
        { "one value over", { 2, 0, 0, 1, 1, 0.5, 0.5 }, false },
        { "count only", { 2 }, false },
        { "first on the left edge", { 2, 0, 0.2, 1, 1, 0.5 }, true },
        { "first on the bottom edge", { 2, 0.2, 0, 1, 1, 0.5 }, true },
        { "first off both edges", { 2, 0.1, 0.2, 1, 1, 0.5 }, false },
        { "last on the right edge", { 2, 0, 0, 1, 0.5, 0.5 }, true },
        { "last on the top edge", { 2, 0, 0, 0.8, 1, 0.5 }, true },
        { "last off both edges", { 2, 0, 0, 0.9, 0.9, 0.5 }, false },
        { "x above 1", { 2, 0, 0, 1.5, 1, 0.5 }, false },
        { "y below 0", { 3, 0, 0, 0.5, -0.1, 1, 1, 0.5, 0.5 }, false },
        { "NaN x", { 3, 0, 0, notANumber, 0.5, 1, 1, 0.5, 0.5 }, false },
        { "infinite y", { 3, 0, 0, 0.5, infinity, 1, 1, 0.5, 0.5 }, false },
        { "x decreases", { 3, 0, 0, 0.6, 0.5, 0.5, 0.6, 1, 1 }, false },
        { "x repeats", { 4, 0, 0, 0.5, 0.2, 0.5, 0.8, 1, 1, 0.5, 0.5, 0.5 }, true },
        { "y decreases", { 3, 0, 0.5, 0.5, 0.2, 1, 1, 0.5, 0.5 }, true },
        { "shape 0.001", { 2, 0, 0, 1, 1, 0.001 }, true },
        { "shape 0.999", { 2, 0, 0, 1, 1, 0.999 }, true },
        { "shape below 0.001", { 2, 0, 0, 1, 1, 0.0009 }, false },
        { "shape above 0.999", { 2, 0, 0, 1, 1, 0.9991 }, false },
        { "NaN shape", { 2, 0, 0, 1, 1, notANumber }, false },
    };
    for (const auto& c : cases)
    {
        VelocityCurve curve = threePoints();
        EXPECT_EQ (readFlatCurve (c.flat, curve), c.valid) << c.name;
        if (! c.valid)
        {
            EXPECT_EQ (curve, threePoints()) << c.name << ": a refused list leaves the curve alone";
        }
    }
}
