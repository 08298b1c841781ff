#include "PeerReport.h"

#include "calibration/CalibrationAnalysis.h"
#include "tests/calibration/DeskCalibrationCapture.h"

#include <benchmark/benchmark.h>

namespace
{
constexpr double captureSamples = 100'000.0;
constexpr double statusTickNs = 33'000'000.0;

// The longest capture the procedure keeps: 100,000 samples of the desk at 800 Hz with the fifteen
// taps spread over it.
bopwell::CalibrationCapture longestCapture()
{
    bopwell::test::DeskCalibration session;
    // Three seconds of settling and quiet come before the first tap, and one second (the last tap's
    // own 0.4 s and the 0.6 s tail) after the last.
    session.tapSpacingSeconds = (captureSamples / session.rateHz - 3.0 - session.firstTapAfterQuietSeconds - 1.0) / 14.0;
    return session.record();
}

void analyseLongestCapture (benchmark::State& state)
{
    const auto capture = longestCapture();
    for (auto _ : state)
        benchmark::DoNotOptimize (bopwell::analyseCalibration (capture, 800.0));
    state.counters["samples"] = static_cast<double> (capture.x.size());
}
BENCHMARK (analyseLongestCapture)->Unit (benchmark::kMillisecond);
} // namespace

int main (int argc, char** argv)
{
    // The analysis runs inside one tick of the editor's status loop, so that tick is its budget.
    return bopwell::bench::runAndCompare (argc, argv, "calibration-analysis", "analyseLongestCapture",
                                          { "one 33 ms tick of the editor's status loop", {}, statusTickNs }, "ns per analysis");
}
