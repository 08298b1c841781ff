#pragma once

#include <atomic>
#include <functional>

namespace bopwell::samplepack
{

// How a pack load tells its caller how far it got and learns that the user gave up. Loads consult
// it only between samples, so a cancelled load never stops inside a decode.
class PackLoadProgress
{
public:
    using Report = std::function<void (int done, int total)>;

    explicit PackLoadProgress (std::atomic<bool>& cancelRequested, Report report = {});

    // Reports (done, total) and returns false when the load should stop.
    bool proceed (int done, int total) const;

private:
    std::atomic<bool>& cancelRequested;
    Report report;
};

} // namespace bopwell::samplepack
