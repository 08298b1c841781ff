#include "cli/Commands.h"
#include "cli/StreamReplay.h"

#include <ostream>

namespace bopwell::cli
{

namespace
{
    juce::var resultAsJson (const CalibrationResult& r, CalibrationPhase phase)
    {
        auto* object = new juce::DynamicObject();
        juce::Array<juce::var> coefs;
        for (const double c : r.coefs)
            coefs.add (c);
        object->setProperty ("coefs", coefs);
        object->setProperty ("modelValid", r.modelValid);
        object->setProperty ("background", r.background);
        object->setProperty ("weakLevel", r.weakLevel);
        object->setProperty ("mediumLevel", r.mediumLevel);
        object->setProperty ("firmLevel", r.firmLevel);
        object->setProperty ("removal", r.removal);
        object->setProperty ("thresholdLevel", r.thresholdLevel);
        object->setProperty ("thresholdMultiplier", r.thresholdMultiplier);
        object->setProperty ("backgroundRaw", r.backgroundRaw);
        object->setProperty ("shakeRatio", r.shakeRatio);
        object->setProperty ("margin", r.margin);
        object->setProperty ("liveReference", r.liveReference);
        object->setProperty ("quietMedian", r.quietMedian);
        object->setProperty ("quietSigma", r.quietSigma);
        object->setProperty ("motionLimit", r.motionLimit);
        object->setProperty ("segmentRatio", r.segmentRatio);
        object->setProperty ("firmCount", r.firmCount);
        object->setProperty ("mediumCount", r.mediumCount);
        object->setProperty ("lightCount", r.lightCount);
        object->setProperty ("succeeded", r.succeeded);
        object->setProperty ("calibrationResultCode", r.calibrationResultCode);
        object->setProperty ("detail", juce::String (r.detail));
        object->setProperty ("phase", static_cast<int> (phase));
        return juce::var (object);
    }
} // namespace

int runCalibrate (const CliArgs& args, std::ostream& out, std::ostream& err)
{
    if (args.positionals().size() != 1)
        return reportUsageError ("calibrate", { "expects one stream file" }, err);
    double rateHz = HitDetector::nominalRateHz;
    if (auto problem = args.number ("rate", 1.0, 100000.0, rateHz))
        return reportUsageError ("calibrate", *problem, err);

    SampleStream stream;
    if (! readStream (args.positionals().front(), stream, err))
        return exitFailure;
    if (stream.samples.empty())
    {
        err << "The stream has no samples to calibrate with.\n";
        return exitFailure;
    }

    ReplayedEngine engine (stream, rateHz);
    auto& processor = engine.processor;

    // The first row lets the processor apply the reported rate, as the running app would have
    // long before anyone presses Calibrate; the capture starts with the row after it.
    engine.feed (0);
    if (const auto refusal = processor.beginCalibration(); refusal.isNotEmpty())
    {
        err << refusal << "\n";
        return exitFailure;
    }

    const auto& calibration = processor.getCalibration();
    for (size_t row = 1; row < engine.replay.rowCount() && calibration.phase() != CalibrationPhase::captured; ++row)
        engine.feed (row);
    processor.runPendingCalibrationAnalysis();

    const auto& result = processor.getCalibrationResult();
    out << juce::JSON::toString (resultAsJson (result, calibration.phase()), true) << "\n";
    return calibration.phase() == CalibrationPhase::accepted ? exitSuccess : exitFailure;
}

} // namespace bopwell::cli
