#include "engine/VelocityCurve.h"

#include <algorithm>
#include <cmath>

namespace bopwell
{

namespace
{
    double evaluateCurve (const VelocityCurve& curve, double c)
    {
        const auto& pts = curve.points;
        if (pts.size() < 2)
            return pts.front().y;

        if (c <= pts.front().x)
            return pts.front().y;
        if (c >= pts.back().x)
            return pts.back().y;

        for (size_t j = 0; j + 1 < pts.size(); ++j)
        {
            const auto& a = pts[j];
            const auto& b = pts[j + 1];
            if (! (a.x <= c && c <= b.x))
                continue;

            const double span = b.x - a.x;
            if (span <= 1e-9)
                return b.y;

            const double t = (c - a.x) / span;
            const double exponent = std::log (curve.shapes[j]) / -std::log (2.0);
            return a.y + (b.y - a.y) * std::pow (t, exponent);
        }

        return pts.back().y;
    }
} // namespace

VelocityTable buildVelocityTable (const VelocityCurve& curve)
{
    VelocityTable table {};
    for (int i = 0; i < velocityTableSize; ++i)
    {
        const double c = std::min (1.0, static_cast<double> (i) / (velocityTableSize - 1));
        table[static_cast<size_t> (i)] = static_cast<float> (evaluateCurve (curve, c));
    }
    return table;
}

double lookUpVelocity (const VelocityTable& table, double input) noexcept
{
    const double f = input * (velocityTableSize - 1);
    const int i = static_cast<int> (f);
    const int j = std::min (i, velocityTableSize - 2) + 1;
    const double frac = f - i;
    return table[static_cast<size_t> (i)] * (1.0 - frac) + table[static_cast<size_t> (j)] * frac;
}

} // namespace bopwell
