#include "cli/Commands.h"
#include "cli/PackChoice.h"
#include "cli/StreamRender.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <ostream>

namespace bopwell::cli
{

namespace
{
    // Counts every hit that fires, before Power, the cooldown or the queue decide.
    struct HitCounter final : HitObserver
    {
        void hitFired (const FiredHit&) noexcept override { ++count; }
        int count = 0;
    };

    bool writeWav (const juce::File& target, const juce::AudioBuffer<float>& audio, double sampleRate)
    {
        juce::TemporaryFile temporary (target);
        {
            auto stream = std::make_unique<juce::FileOutputStream> (temporary.getFile());
            if (! stream->openedOk())
                return false;
            juce::WavAudioFormat wav;
            std::unique_ptr<juce::AudioFormatWriter> writer (wav.createWriterFor (stream.get(), sampleRate, 2, 32, {}, 0));
            if (writer == nullptr)
                return false;
            stream.release(); // the writer owns the stream now
            if (! writer->writeFromAudioSampleBuffer (audio, 0, audio.getNumSamples()))
                return false;
        }
        return temporary.overwriteTargetFileWithTemporary();
    }
} // namespace

int runRender (const CliArgs& args, std::ostream& out, std::ostream& err)
{
    if (args.positionals().size() != 1)
        return reportUsageError ("render", { "expects one stream file" }, err);
    const auto outPath = args.text ("out");
    if (! outPath || outPath->empty())
        return reportUsageError ("render", { "--out FILE.wav is required" }, err);

    double rateHz = HitDetector::nominalRateHz;
    double sampleRate = 48000.0;
    long long blockSize = 512;
    long long seed = 1;
    PackChoice pack;
    for (auto problem : { args.number ("rate", 1.0, 100000.0, rateHz), args.number ("sample-rate", 8000.0, 384000.0, sampleRate),
                          args.wholeNumber ("block", 1, 8192, blockSize), args.wholeNumber ("seed", 0, 0xFFFFFFFFLL, seed),
                          parsePackChoice (args.text ("pack").value_or ("0"), pack) })
        if (problem)
            return reportUsageError ("render", *problem, err);

    SampleStream stream;
    if (! readStream (args.positionals().front(), stream, err))
        return exitFailure;

    ReplayedEngine engine (stream, rateHz);
    auto& processor = engine.processor;
    if (! installPackChoice (pack, processor, err))
        return exitFailure;
    processor.seedRandom (static_cast<std::uint32_t> (seed));

    HitCounter hits;
    processor.setHitObserver (&hits);

    // The device starts once the sensor has delivered its first sample, so that the first
    // prepareToPlay finds the sensor ready and turns Power on, as it does in the app.
    if (engine.replay.rowCount() > 0)
        engine.feed (0);
    processor.setPlayConfigDetails (0, 2, sampleRate, static_cast<int> (blockSize));
    processor.prepareToPlay (sampleRate, static_cast<int> (blockSize));
    const auto audio =
        StreamRender (engine.replay, processor, engine.clock, { sampleRate, static_cast<int> (blockSize), 10.0 }).renderAll (1);
    processor.setHitObserver (nullptr);

    const auto target = juce::File::getCurrentWorkingDirectory().getChildFile (juce::String (*outPath));
    if (! writeWav (target, audio, sampleRate))
    {
        err << "Could not write the audio file \"" << *outPath << "\".\n";
        return exitFailure;
    }

    const auto& s = processor.state();
    out << "{\"hits\":" << hits.count << ",\"hitsAccepted\":" << s.hitsAccepted.load() << ",\"hitsDropped\":" << s.hitsDropped.load()
        << ",\"voicesStarted\":" << s.voicesStarted.load() << ",\"frames\":" << audio.getNumSamples()
        << ",\"guardTripped\":" << (s.guardTripped.load() ? "true" : "false") << "}\n";
    return exitSuccess;
}

} // namespace bopwell::cli
