#include "state/FlatCurve.h"

#include <cmath>
#include <cstddef>

namespace bopwell
{

namespace
{
    // Comparisons with NaN are false, so these also refuse non-finite values.
    bool isWithin (double value, double low, double high) { return value >= low && value <= high; }
} // namespace

std::vector<double> flattenCurve (const VelocityCurve& curve)
{
    std::vector<double> flat;
    flat.reserve (1 + 2 * curve.points.size() + curve.shapes.size());
    flat.push_back (static_cast<double> (curve.points.size()));
    for (const auto& point : curve.points)
    {
        flat.push_back (point.x);
        flat.push_back (point.y);
    }
    flat.insert (flat.end(), curve.shapes.begin(), curve.shapes.end());
    return flat;
}

bool readFlatCurve (std::span<const double> flat, VelocityCurve& curve)
{
    if (flat.empty())
        return false;
    const auto count = flat[0];
    if (! isWithin (count, minFlatCurvePoints, maxFlatCurvePoints) || count != std::floor (count))
        return false;
    const auto n = static_cast<std::size_t> (count);
    if (flat.size() != 3 * n)
        return false;

    VelocityCurve read;
    read.points.reserve (n);
    for (std::size_t i = 0; i < n; ++i)
    {
        const CurvePoint point { flat[1 + 2 * i], flat[2 + 2 * i] };
        if (! isWithin (point.x, 0.0, 1.0) || ! isWithin (point.y, 0.0, 1.0))
            return false;
        if (! read.points.empty() && point.x < read.points.back().x)
            return false;
        read.points.push_back (point);
    }

    const auto& first = read.points.front();
    const auto& last = read.points.back();
    if (! (first.x == 0.0 || first.y == 0.0) || ! (last.x == 1.0 || last.y == 1.0))
        return false;

    read.shapes.assign (flat.begin() + static_cast<std::ptrdiff_t> (1 + 2 * n), flat.end());
    for (const auto shape : read.shapes)
        if (! isWithin (shape, 0.001, 0.999))
            return false;

    curve = std::move (read);
    return true;
}

} // namespace bopwell
