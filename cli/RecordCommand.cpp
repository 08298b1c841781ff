#include "cli/Commands.h"
#include "cli/StreamReplay.h"

#include <ostream>
#include <thread>

namespace bopwell::cli
{

namespace
{
    // The stream is fed far faster than a sensor delivers it; holding back while the writer
    // catches up keeps the ring from overflowing, so the file holds every row as it would live.
    void waitForWriter (const SessionRecorder& recorder)
    {
        while (recorder.isAccepting() && recorder.backlog() > SessionRecorder::ringSize / 2)
            std::this_thread::sleep_for (std::chrono::milliseconds (1));
    }

    // Ends the session as the app would once the stream stops: a finished script is closed by the
    // processor's timer; anything still running is stopped as the user would stop it.
    void endSession (SensorMidiProcessor& processor)
    {
        const auto& session = processor.getSession();
        if (session.isFinishing())
            processor.timerCallback();
        if (session.isRunning())
            processor.stopSession();
    }
} // namespace

int runRecord (const CliArgs& args, std::ostream& out, std::ostream& err)
{
    if (args.positionals().size() != 1)
        return reportUsageError ("record", { "expects one stream file" }, err);
    const auto outPath = args.text ("out");
    if (! outPath || outPath->empty())
        return reportUsageError ("record", { "--out FILE.csv is required" }, err);
    const auto scenario = args.text ("scenario");
    if (scenario && args.flag ("script"))
        return reportUsageError ("record", { "choose --scenario NAME or --script, not both" }, err);

    double rateHz = HitDetector::nominalRateHz;
    if (auto problem = args.number ("rate", 1.0, 100000.0, rateHz))
        return reportUsageError ("record", *problem, err);

    SampleStream stream;
    if (! readStream (args.positionals().front(), stream, err))
        return exitFailure;

    ReplayedEngine engine (stream, rateHz);
    auto& processor = engine.processor;
    const auto target = juce::File::getCurrentWorkingDirectory().getChildFile (juce::String (*outPath));
    const bool started =
        scenario ? processor.startFreeRunSession (target, juce::String (*scenario)) : processor.startScriptedSession (target);
    const auto& session = processor.getSession();
    if (! started)
    {
        err << "Session cannot start; check sensor/calibration/output";
        if (const auto reason = session.recorder().getErrorText(); reason.isNotEmpty())
            err << ": " << reason;
        err << "\n";
        return exitFailure;
    }

    for (size_t row = 0; row < engine.replay.rowCount() && session.isRunning(); ++row)
    {
        waitForWriter (session.recorder());
        engine.feed (row);
    }
    endSession (processor);

    const auto& recorder = session.recorder();
    auto* summary = new juce::DynamicObject();
    summary->setProperty ("status", static_cast<int> (session.status()));
    summary->setProperty ("rowsWritten", static_cast<juce::int64> (recorder.getRowsWritten()));
    summary->setProperty ("droppedRows", static_cast<juce::int64> (recorder.getDroppedRows()));
    summary->setProperty ("ioStatus", recorder.getIoStatus());
    summary->setProperty ("errorText", recorder.getErrorText());
    out << juce::JSON::toString (juce::var (summary), true) << "\n";
    return session.status() == SessionStatus::failed ? exitFailure : exitSuccess;
}

} // namespace bopwell::cli
