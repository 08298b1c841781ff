#include "cli/Commands.h"
#include "cli/StreamReplay.h"

#include <ostream>

namespace bopwell::cli
{

int runCapture (const CliArgs& args, std::ostream& out, std::ostream& err)
{
    if (args.positionals().size() != 1)
        return reportUsageError ("capture", { "expects one stream file" }, err);
    const auto outPath = args.text ("out");
    if (! outPath || outPath->empty())
        return reportUsageError ("capture", { "--out FILE.csv is required" }, err);
    double rateHz = HitDetector::nominalRateHz;
    if (auto problem = args.number ("rate", 1.0, 100000.0, rateHz))
        return reportUsageError ("capture", *problem, err);

    SampleStream stream;
    if (! readStream (args.positionals().front(), stream, err))
        return exitFailure;

    ReplayedEngine engine (stream, rateHz);

    StrikeCaptureSnapshot capture;
    bool captured = false;
    for (size_t row = 0; row < engine.replay.rowCount() && ! captured; ++row)
    {
        engine.feed (row);
        captured = engine.processor.takeStrikeCapture (capture);
    }
    if (! captured)
    {
        err << "Nothing to export - capture a strike first\n";
        return exitFailure;
    }

    const auto target = juce::File::getCurrentWorkingDirectory().getChildFile (juce::String (*outPath));
    if (! writeCaptureCsv (target, capture))
    {
        err << "Capture export failed: " << target.getFullPathName() << "\n";
        return exitFailure;
    }
    out << "Wrote the first strike capture to " << *outPath << ".\n";
    return exitSuccess;
}

} // namespace bopwell::cli
