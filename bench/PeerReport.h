#pragma once

#include <string>

namespace bopwell::bench
{

// What a benchmark is compared with: another benchmark of the same run, or a fixed budget such as
// a sensor's sample period.
struct Peer
{
    std::string description; // names what was measured beside us
    std::string benchmark;   // a benchmark of this program, or empty for a fixed budget
    double fixedNs = 0.0;    // the budget when there is no peer benchmark
};

// Runs the registered benchmarks, then prints as the last line one JSON object
// {"name", "ours", "peer", "peerNs", "unit", "ratio"} with ratio = peer time / our time, so that
// above 1 means we are faster. Returns the process exit status.
int runAndCompare (int argc, char** argv, const std::string& name, const std::string& ourBenchmark, const Peer& peer,
                   const std::string& unit);

} // namespace bopwell::bench
