#pragma once

#include "cli/StreamReplay.h"

#include <juce_audio_basics/juce_audio_basics.h>

namespace bopwell::cli
{

// Plays a sensor stream through the whole engine offline: sensor rows and audio blocks are
// interleaved on the manual clock exactly as the two threads would meet in real time, and each
// block is called at the instant its last sample would leave the device.
class StreamRender
{
public:
    struct Settings
    {
        double sampleRate = 48000.0;
        int blockSize = 512;
        // After the stream ends, blocks go on until the voices fall silent, at most this long.
        double maxTailSeconds = 10.0;
    };

    StreamRender (const StreamReplay& replay, SensorMidiProcessor& processor, ManualEngineClock& clock, Settings settings);

    // Renders from the given row on into a stereo buffer; the processor must be prepared and
    // powered as wanted, with the rows before that one already fed.
    juce::AudioBuffer<float> renderAll (size_t firstRow = 0);

private:
    const StreamReplay& replay;
    SensorMidiProcessor& processor;
    ManualEngineClock& clock;
    Settings settings;
};

} // namespace bopwell::cli
