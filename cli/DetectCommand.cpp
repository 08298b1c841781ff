#include "cli/Commands.h"
#include "cli/StreamReplay.h"

#include <cinttypes>
#include <cstdio>
#include <ostream>

namespace bopwell::cli
{

namespace
{
    // Prints each hit as it fires; replay runs on this thread, so writing here is fine.
    class HitPrinter final : public HitObserver
    {
    public:
        explicit HitPrinter (std::ostream& destination) : out (destination) {}

        void hitFired (const FiredHit& hit) noexcept override
        {
            const double onsetMs = static_cast<double> (static_cast<std::int64_t> (hit.onsetNs - StreamReplay::originNs)) / 1'000'000.0;
            char row[160];
            std::snprintf (row, sizeof (row), "%zu,%.3f,%.9g,%.6f,%.6f\n", currentRow, onsetMs, hit.strength, hit.input, hit.level);
            out << row;
        }

        size_t currentRow = 0;

    private:
        std::ostream& out;
    };
} // namespace

int runDetect (const CliArgs& args, std::ostream& out, std::ostream& err)
{
    if (args.positionals().size() != 1)
        return reportUsageError ("detect", { "expects one stream file" }, err);

    double rateHz = HitDetector::nominalRateHz;
    double sensitivity = 0.0;
    double cooldown = 0.0;
    for (auto problem : { args.number ("rate", 1.0, 100000.0, rateHz), args.number ("sensitivity", 0.0, 100.0, sensitivity),
                          args.number ("cooldown", 0.0, 150.0, cooldown) })
        if (problem)
            return reportUsageError ("detect", *problem, err);

    SampleStream stream;
    if (! readStream (args.positionals().front(), stream, err))
        return exitFailure;

    ReplayedEngine engine (stream, rateHz);
    auto& processor = engine.processor;
    if (const auto setup = args.text ("setup"); setup && ! applySetupFile (*setup, processor, err))
        return exitFailure;
    if (args.has ("sensitivity"))
        processor.setSensitivityPercent (sensitivity);
    if (args.has ("cooldown"))
        processor.setCooldownMs (cooldown);

    HitPrinter printer (out);
    processor.setHitObserver (&printer);

    out << "sample,onset_ms,strength,input,level\n";
    for (size_t row = 0; row < engine.replay.rowCount(); ++row)
    {
        printer.currentRow = row;
        engine.feed (row);
    }
    processor.setHitObserver (nullptr);
    return exitSuccess;
}

} // namespace bopwell::cli
