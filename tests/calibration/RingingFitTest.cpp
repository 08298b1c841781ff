#include "calibration/RingingFit.h"
#include "EvenNoise.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

using namespace bopwell;

namespace
{
std::vector<float> noise (size_t length, double amplitude)
{
    test::EvenNoise source (amplitude);
    std::vector<float> values;
    for (size_t i = 0; i < length; ++i)
        values.push_back (static_cast<float> (source.next()));
    return values;
}

// A ring that starts at `start` and decays by 1 % per sample, as a surface's does.
void addRing (std::vector<float>& signal, size_t start, size_t end, double amplitude)
{
    const double omega = 2.0 * std::numbers::pi * 60.0 / 800.0;
    for (size_t n = start; n < end; ++n)
    {
        const auto t = static_cast<double> (n - start);
        signal[n] = static_cast<float> (amplitude * std::exp (-0.01 * t) * std::sin (omega * t + 0.3));
    }
}

// Root mean square of what the coefficients fail to predict, relative to the signal's, over the
// samples the fit used.
double unexplainedShare (const std::vector<float>& signal, const std::vector<SampleWindow>& windows, const AxisCoefficients& a)
{
    double residualEnergy = 0.0, signalEnergy = 0.0;
    for (const auto& w : windows)
    {
        for (auto n = static_cast<size_t> (w.start) + 8; n < static_cast<size_t> (w.end); ++n)
        {
            double prediction = 0.0;
            for (size_t lag = 1; lag <= 8; ++lag)
                prediction += a[lag - 1] * signal[n - lag];
            const double e = signal[n] - prediction;
            residualEnergy += e * e;
            signalEnergy += static_cast<double> (signal[n]) * signal[n];
        }
    }
    return std::sqrt (residualEnergy / signalEnergy);
}
} // namespace

TEST (RingingFit, PredictsADecayingSineFromTheWindowsAlone)
{
    // Wild values everywhere except inside the windows: a row that reached back past its window's
    // start would spoil the fit.
    auto signal = noise (9000, 1.0);
    std::vector<SampleWindow> windows;
    for (int tap = 0; tap < 15; ++tap)
    {
        const auto start = static_cast<size_t> (100 + 600 * tap);
        addRing (signal, start, start + 240, 0.01 * (1 + tap % 3));
        windows.push_back ({ static_cast<std::int64_t> (start), static_cast<std::int64_t> (start + 240) });
    }

    const auto coefficients = fitRingingAxis (signal, windows);
    ASSERT_TRUE (coefficients.has_value());
    EXPECT_LT (unexplainedShare (signal, windows, *coefficients), 1e-3);
}

TEST (RingingFit, SilenceFitsToZeroCoefficients)
{
    // The first pivot is then only the ridge, 1e-18, which is still well above the 1e-24 floor.
    const std::vector<float> silence (1000, 0.0f);
    const auto coefficients = fitRingingAxis (silence, std::vector<SampleWindow> { { 0, 1000 } });
    ASSERT_TRUE (coefficients.has_value());
    for (double a : *coefficients)
        EXPECT_EQ (a, 0.0);
}

TEST (RingingFit, NeedsAtLeast160PredictableSamples)
{
    // A sample is predictable when its eight predecessors lie inside its window and the signal.
    const auto signal = noise (1000, 0.01);
    struct Case
    {
        const char* name;
        std::vector<SampleWindow> windows;
        bool fits;
    };
    const Case cases[] = {
        { "no windows", {}, false },
        { "one window of 167 samples", { { 0, 167 } }, false },
        { "one window of 168 samples", { { 0, 168 } }, true },
        { "two windows of 87 and 88", { { 0, 87 }, { 500, 588 } }, false },
        { "two windows of 88", { { 0, 88 }, { 500, 588 } }, true },
        { "running past the end: 159 inside", { { 833, 5000 } }, false },
        { "running past the end: 160 inside", { { 832, 5000 } }, true },
        { "starting before the signal", { { -100, 168 } }, true },
        { "reversed", { { 900, 100 } }, false },
    };
    for (const auto& c : cases)
        EXPECT_EQ (fitRingingAxis (signal, c.windows).has_value(), c.fits) << c.name;
}

TEST (RingingFit, FailsOnValuesThatAreNotNumbers)
{
    struct Case
    {
        const char* name;
        size_t at;
        float value;
        bool fits;
    };
    const Case cases[] = {
        { "NaN in the window", 300, std::numeric_limits<float>::quiet_NaN(), false },
        { "infinity in the window", 300, std::numeric_limits<float>::infinity(), false },
        { "NaN outside the window", 700, std::numeric_limits<float>::quiet_NaN(), true },
    };
    for (const auto& c : cases)
    {
        auto signal = noise (1000, 0.01);
        signal[c.at] = c.value;
        EXPECT_EQ (fitRingingAxis (signal, std::vector<SampleWindow> { { 0, 600 } }).has_value(), c.fits) << c.name;
    }
}
