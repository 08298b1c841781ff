#pragma once

#include "packs/SamplePack.h"

#include <juce_audio_basics/juce_audio_basics.h>

#include <array>
#include <cstdint>
#include <vector>

namespace bopwell
{

struct Voice
{
    bool active = false;
    std::int32_t sampleIndex = -1;
    double position = 0.0;        // source frames at 48 kHz
    std::int32_t startOffset = 0; // output sample of this block where the voice begins
    float gain = 1.0f;
    float panLeft = 1.0f;
    float panRight = 1.0f;
    std::int32_t fadeRemaining = 0;
    std::int32_t fadeLength = 0;
    std::int32_t fadeStart = 0;
    bool onsetPending = false;
};

// The 32-bit xorshift generator behind the shuffle and the pan spread.
class XorshiftRandom
{
public:
    static constexpr std::uint32_t zeroReplacement = 0x6D2B79F5u;

    explicit XorshiftRandom (std::uint32_t seed = zeroReplacement) noexcept : state (seed) {}

    std::uint32_t next() noexcept
    {
        if (state == 0)
            state = zeroReplacement;
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }

    void seed (std::uint32_t value) noexcept { state = value; }

private:
    std::uint32_t state;
};

// Plays every sample of a pack once per round in random order, never the same sample twice in a
// row, not even across rounds.
class ShuffleBag
{
public:
    void reset() noexcept;
    // -1 for an empty set.
    int pick (int setSize, XorshiftRandom& random) noexcept;

private:
    std::array<int, samplepack::maxSamples> bag {};
    int size = 0;
    int position = 0;
    int lastPlayed = -1;
};

// The master gain as it applies across one block: a linear ramp from the last block's gain when
// the setting moved, else that gain throughout.
struct GainRamp
{
    float from = 1.0f;
    float to = 1.0f;
    int length = 1;
    bool ramping = false;

    float at (int sample) const noexcept
    {
        return ramping ? from + static_cast<float> (sample) * (to - from) / static_cast<float> (length) : from;
    }
};

// The sixteen voices and how they render: linear interpolation from 48 kHz sources, per-voice
// fades, pan gains. No allocation, no locks: the processor calls it under its sample-set lock.
class VoiceEngine
{
public:
    static constexpr int voiceCount = 16;
    using Samples = std::vector<samplepack::PackSample>;
    using Voices = std::array<Voice, voiceCount>;

    void prepare (double sampleRate) noexcept;
    double sampleRate() const noexcept { return rate; }
    double step() const noexcept { return sourceStep; }
    int fadeSamples() const noexcept { return fadeLengthSamples; }

    void resetVoices() noexcept;
    void fadeOutActiveVoices (int fadeStart) noexcept;
    // Starts a voice at the given block offset, stealing the furthest-played voice when all are busy.
    Voice& startVoice (int sampleIndex, int offset) noexcept;

    // Adds every active voice (or only those the filter lets through) to the buffer and advances
    // them; voices that finish go idle.
    void render (juce::AudioBuffer<float>& buffer, const Samples& samples) noexcept;
    template <typename Filter>
    void render (juce::AudioBuffer<float>& buffer, const Samples& samples, Filter&& include) noexcept;

    // One voice's contribution at output sample k of this block, as render would add it.
    float contributionAt (const Voice& voice, const Samples& samples, int channel, int numChannels, int numSamples, int k) const noexcept;

    GainRamp takeGainRamp (float masterGain, int numSamples) noexcept;

    Voices& voices() noexcept { return voiceSlots; }
    const Voices& voices() const noexcept { return voiceSlots; }
    int activeCount() const noexcept;

    XorshiftRandom random;
    ShuffleBag shuffle;

private:
    // Where in the block a voice plays this time, and how much of that is fading.
    struct Span
    {
        int start = 0;
        int count = 0;
        int steady = 0;
        int faded = 0;
    };

    bool hasPlayableSample (const Voice& voice, const Samples& samples) const noexcept;
    Span spanOf (const Voice& voice, const samplepack::PackSample& sample, int numSamples) const noexcept;
    void renderVoice (Voice& voice, juce::AudioBuffer<float>& buffer, const Samples& samples) noexcept;
    static float channelGain (const Voice& voice, int channel, int numChannels) noexcept;
    float sourceValue (const juce::AudioBuffer<float>& audio, int channel, double p) const noexcept;

    Voices voiceSlots {};
    double rate = 0.0;
    double sourceStep = 1.0;
    int fadeLengthSamples = 1;
    float smoothedGain = -1.0f;
};

template <typename Filter>
void VoiceEngine::render (juce::AudioBuffer<float>& buffer, const Samples& samples, Filter&& include) noexcept
{
    for (int i = 0; i < voiceCount; ++i)
    {
        auto& voice = voiceSlots[static_cast<size_t> (i)];
        if (voice.active && include (i))
            renderVoice (voice, buffer, samples);
    }
}

inline void VoiceEngine::render (juce::AudioBuffer<float>& buffer, const Samples& samples) noexcept
{
    render (buffer, samples, [] (int) { return true; });
}

// Places a voice at random within the pack's stereo spread (0: centre, 1: anywhere).
void spreadPan (Voice& voice, float panSpread, XorshiftRandom& random) noexcept;

// Applies the block's gain ramp, or the steady gain.
void applyGain (juce::AudioBuffer<float>& buffer, const GainRamp& gain) noexcept;

// Bends samples above 0.8 towards, never past, 0.98.
float softClip (float x) noexcept;
void softClip (juce::AudioBuffer<float>& buffer) noexcept;

} // namespace bopwell
