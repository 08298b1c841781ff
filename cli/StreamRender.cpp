#include "cli/StreamRender.h"

#include <cmath>

namespace bopwell::cli
{

StreamRender::StreamRender (const StreamReplay& streamReplay, SensorMidiProcessor& engine, ManualEngineClock& engineClock,
                            Settings renderSettings) :
    replay (streamReplay),
    processor (engine), clock (engineClock), settings (renderSettings)
{
}

juce::AudioBuffer<float> StreamRender::renderAll (size_t firstRow)
{
    const int n = settings.blockSize;
    const double nsPerSample = 1e9 / settings.sampleRate;
    const auto streamEndNs = replay.rowCount() > 0 ? replay.arrivalNs (replay.rowCount() - 1) : StreamReplay::originNs;
    const auto tailEndNs = streamEndNs + static_cast<std::uint64_t> (settings.maxTailSeconds * 1e9);

    std::vector<juce::AudioBuffer<float>> blocks;
    juce::AudioBuffer<float> block (2, n);
    juce::MidiBuffer midi;
    size_t row = firstRow;

    for (std::int64_t b = 0;; ++b)
    {
        const auto blockEndNs =
            StreamReplay::originNs + static_cast<std::uint64_t> (std::llround (nsPerSample * n * static_cast<double> (b + 1)));
        for (; row < replay.rowCount() && replay.arrivalNs (row) <= blockEndNs; ++row)
            replay.feed (row, processor);

        clock.setNs (blockEndNs);
        processor.processBlock (block, midi);
        blocks.push_back (block);

        const bool streamDone = row >= replay.rowCount();
        if (streamDone && (processor.state().activeVoiceCount.load() == 0 || blockEndNs >= tailEndNs))
            break;
    }

    juce::AudioBuffer<float> output (2, static_cast<int> (blocks.size()) * n);
    for (size_t b = 0; b < blocks.size(); ++b)
        for (int c = 0; c < 2; ++c)
            output.copyFrom (c, static_cast<int> (b) * n, blocks[b], c, 0, n);
    return output;
}

} // namespace bopwell::cli
