#include "PeerReport.h"

#include "engine/VoiceEngine.h"

#include <benchmark/benchmark.h>
#include <juce_audio_formats/juce_audio_formats.h>
#include <juce_events/juce_events.h>

namespace
{
constexpr double sampleRate = 48000.0;
constexpr int blockSize = 512;
constexpr int voices = 16;
constexpr int clipFrames = 480000; // 10 s, so voices rarely need restarting

// A stereo clip with some movement in it, so neither engine can skip work on silence.
juce::AudioBuffer<float> makeClip()
{
    juce::AudioBuffer<float> clip (2, clipFrames);
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < clipFrames; ++i)
            clip.setSample (c, i, 0.05f * std::sin (0.01f * static_cast<float> (i) * static_cast<float> (c + 1)));
    return clip;
}

void bopwellVoiceEngine (benchmark::State& state)
{
    bopwell::VoiceEngine engine;
    engine.prepare (sampleRate);
    bopwell::VoiceEngine::Samples samples (1);
    samples[0].audio = makeClip();

    juce::AudioBuffer<float> buffer (2, blockSize);
    const float masterGain = 0.7f;
    for (auto _ : state)
    {
        // Staggered restarts keep sixteen voices sounding at all times.
        for (int missing = voices - engine.activeCount(); missing > 0; --missing)
            engine.startVoice (0, 0).position = 1000.0 * missing;

        buffer.clear();
        engine.render (buffer, samples);
        bopwell::applyGain (buffer, engine.takeGainRamp (masterGain, blockSize));
        bopwell::softClip (buffer);
        benchmark::DoNotOptimize (buffer.getReadPointer (0));
    }
}
BENCHMARK (bopwellVoiceEngine);

void juceSampler (benchmark::State& state)
{
    // The same clip as a 48 kHz WAV, played at its root note so the sampler's pitch ratio is 1.
    juce::MemoryBlock wavBytes;
    juce::WavAudioFormat wav;
    {
        const auto clip = makeClip();
        std::unique_ptr<juce::AudioFormatWriter> writer (
            wav.createWriterFor (new juce::MemoryOutputStream (wavBytes, false), sampleRate, 2, 32, {}, 0));
        writer->writeFromAudioSampleBuffer (clip, 0, clip.getNumSamples());
    }
    std::unique_ptr<juce::AudioFormatReader> reader (wav.createReaderFor (new juce::MemoryInputStream (wavBytes, false), true));

    juce::Synthesiser synth;
    synth.setCurrentPlaybackSampleRate (sampleRate);
    for (int i = 0; i < voices; ++i)
        synth.addVoice (new juce::SamplerVoice());
    juce::BigInteger allNotes;
    allNotes.setRange (0, 128, true);
    synth.addSound (new juce::SamplerSound ("clip", *reader, allNotes, 60, 0.0, 0.0, 10.0));

    juce::AudioBuffer<float> buffer (2, blockSize);
    juce::MidiBuffer noMidi;
    for (auto _ : state)
    {
        // One MIDI channel per voice: the synthesiser cuts a note that is struck again on its channel.
        for (int channel = 1; channel <= voices; ++channel)
        {
            bool sounding = false;
            for (int v = 0; v < synth.getNumVoices(); ++v)
                sounding = sounding || (synth.getVoice (v)->isVoiceActive() && synth.getVoice (v)->isPlayingChannel (channel));
            if (! sounding)
                synth.noteOn (channel, 60, 0.8f);
        }

        buffer.clear();
        synth.renderNextBlock (buffer, noMidi, 0, blockSize);
        buffer.applyGain (0.7f);
        benchmark::DoNotOptimize (buffer.getReadPointer (0));
    }
}
BENCHMARK (juceSampler);
} // namespace

int main (int argc, char** argv)
{
    const juce::ScopedJuceInitialiser_GUI juce;
    return bopwell::bench::runAndCompare (argc, argv, "voices", "bopwellVoiceEngine",
                                          { "juce::Synthesiser, 16 SamplerVoice, same clip", "juceSampler", 0.0 },
                                          "ns per 512-frame stereo block, 16 voices");
}
