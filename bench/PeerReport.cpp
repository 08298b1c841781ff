#include "PeerReport.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>

namespace bopwell::bench
{

namespace
{
    // Prints the usual console table and keeps each benchmark's mean time per iteration.
    class CapturingReporter final : public benchmark::ConsoleReporter
    {
    public:
        CapturingReporter() : ConsoleReporter (OO_Tabular) {}

        void ReportRuns (const std::vector<Run>& runs) override
        {
            ConsoleReporter::ReportRuns (runs);
            for (const auto& run : runs)
                if (run.run_type == Run::RT_Iteration && run.iterations > 0)
                    nsPerIteration[run.benchmark_name()] = run.GetAdjustedRealTime() * toNs (run.time_unit);
        }

        std::map<std::string, double> nsPerIteration;

    private:
        static double toNs (benchmark::TimeUnit unit)
        {
            switch (unit)
            {
                case benchmark::kNanosecond: return 1.0;
                case benchmark::kMicrosecond: return 1e3;
                case benchmark::kMillisecond: return 1e6;
                case benchmark::kSecond: return 1e9;
            }
            return 1.0;
        }
    };

    std::string jsonString (const std::string& text)
    {
        std::string quoted = "\"";
        for (char c : text)
        {
            if (c == '"' || c == '\\')
                quoted += '\\';
            quoted += c;
        }
        return quoted + "\"";
    }
} // namespace

int runAndCompare (int argc, char** argv, const std::string& name, const std::string& ourBenchmark, const Peer& peer,
                   const std::string& unit)
{
    benchmark::Initialize (&argc, argv);
    if (benchmark::ReportUnrecognizedArguments (argc, argv))
        return 2;

    CapturingReporter reporter;
    benchmark::RunSpecifiedBenchmarks (&reporter);
    benchmark::Shutdown();

    const auto ours = reporter.nsPerIteration.find (ourBenchmark);
    const double peerNs = peer.benchmark.empty() ? peer.fixedNs : reporter.nsPerIteration[peer.benchmark];
    if (ours == reporter.nsPerIteration.end() || ours->second <= 0.0 || peerNs <= 0.0)
    {
        std::fprintf (stderr, "bench %s: the benchmarks to compare did not run\n", name.c_str());
        return 1;
    }

    std::printf ("{\"name\":%s,\"ours\":%.6g,\"peer\":%s,\"peerNs\":%.6g,\"unit\":%s,\"ratio\":%.6g}\n", jsonString (name).c_str(),
                 ours->second, jsonString (peer.description).c_str(), peerNs, jsonString (unit).c_str(), peerNs / ours->second);
    return 0;
}

} // namespace bopwell::bench
