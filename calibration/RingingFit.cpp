#include "calibration/RingingFit.h"

#include <algorithm>
#include <cmath>

namespace bopwell
{

namespace
{
    constexpr int order = RingingModel::order;

    using Matrix = std::array<std::array<double, order>, order>;

    struct NormalEquations
    {
        Matrix a {};
        AxisCoefficients b {};
        int rows = 0;
    };

    NormalEquations accumulateRows (std::span<const float> signal, std::span<const SampleWindow> windows)
    {
        NormalEquations eq;
        const auto n = static_cast<std::int64_t> (signal.size());
        for (const auto& window : windows)
        {
            // A row needs its eight predecessors, inside the window and inside the signal.
            const auto first = std::max (window.start, std::int64_t { 0 }) + order;
            const auto end = std::min (window.end, n);
            for (auto i = first; i < end; ++i)
            {
                AxisCoefficients phi {};
                for (int lag = 1; lag <= order; ++lag)
                    phi[static_cast<size_t> (lag - 1)] = static_cast<double> (signal[static_cast<size_t> (i - lag)]);

                const auto target = static_cast<double> (signal[static_cast<size_t> (i)]);
                for (size_t r = 0; r < order; ++r)
                {
                    for (size_t c = 0; c < order; ++c)
                        eq.a[r][c] += phi[r] * phi[c];
                    eq.b[r] += phi[r] * target;
                }
                ++eq.rows;
            }
        }
        return eq;
    }

    // Gaussian elimination with partial pivoting (the first of equal candidates wins).
    std::optional<AxisCoefficients> solve (Matrix a, AxisCoefficients b)
    {
        for (size_t col = 0; col < order; ++col)
        {
            size_t pivot = col;
            for (size_t row = col + 1; row < order; ++row)
                if (std::abs (a[row][col]) > std::abs (a[pivot][col]))
                    pivot = row;

            // Written so that a NaN pivot fails here too.
            if (! (std::abs (a[pivot][col]) >= 1e-24))
                return std::nullopt;

            std::swap (a[pivot], a[col]);
            std::swap (b[pivot], b[col]);

            for (size_t row = col + 1; row < order; ++row)
            {
                const double factor = a[row][col] / a[col][col];
                for (size_t c = col; c < order; ++c)
                    a[row][c] -= factor * a[col][c];
                b[row] -= factor * b[col];
            }
        }

        AxisCoefficients x {};
        for (size_t row = order; row-- > 0;)
        {
            double sum = b[row];
            for (size_t c = row + 1; c < order; ++c)
                sum -= a[row][c] * x[c];
            x[row] = sum / a[row][row];
            if (! std::isfinite (x[row]))
                return std::nullopt;
        }
        return x;
    }
} // namespace

std::optional<AxisCoefficients> fitRingingAxis (std::span<const float> signal, std::span<const SampleWindow> windows)
{
    auto eq = accumulateRows (signal, windows);
    if (eq.rows < minimumFitRows)
        return std::nullopt;

    // A whisker of ridge keeps silent or perfectly periodic data solvable without moving a real fit.
    for (size_t k = 0; k < order; ++k)
        eq.a[k][k] = eq.a[k][k] * 1.000001 + 1e-18;

    return solve (eq.a, eq.b);
}

} // namespace bopwell
