#include "engine/VoiceEngine.h"

#include <algorithm>
#include <cmath>

namespace bopwell
{

//==============================================================================
void ShuffleBag::reset() noexcept
{
    size = 0;
    position = 0;
    lastPlayed = -1;
}

int ShuffleBag::pick (int setSize, XorshiftRandom& random) noexcept
{
    const int n = std::min (setSize, samplepack::maxSamples);
    if (n <= 0)
        return -1;
    if (n == 1)
        return lastPlayed = 0;

    if (size != n || position >= n)
    {
        for (int i = 0; i < n; ++i)
            bag[static_cast<size_t> (i)] = i;
        for (int m = n; m >= 2; --m)
            std::swap (bag[static_cast<size_t> (m - 1)], bag[random.next() % static_cast<std::uint32_t> (m)]);
        if (bag[0] == lastPlayed)
            std::swap (bag[0], bag[random.next() % static_cast<std::uint32_t> (n - 1) + 1]);
        size = n;
        position = 0;
    }
    return lastPlayed = bag[static_cast<size_t> (position++)];
}

//==============================================================================
void VoiceEngine::prepare (double sampleRate) noexcept
{
    rate = sampleRate;
    sourceStep = sampleRate > 0.0 && std::isfinite (sampleRate) ? samplepack::sourceRate / sampleRate : 1.0;
    fadeLengthSamples = std::max (1, static_cast<int> (sampleRate * 0.003));
    resetVoices();
}

void VoiceEngine::resetVoices() noexcept { voiceSlots.fill (Voice {}); }

int VoiceEngine::activeCount() const noexcept
{
    return static_cast<int> (std::count_if (voiceSlots.begin(), voiceSlots.end(), [] (const Voice& v) { return v.active; }));
}

void VoiceEngine::fadeOutActiveVoices (int fadeStart) noexcept
{
    for (auto& voice : voiceSlots)
        if (voice.active && voice.fadeRemaining == 0)
        {
            voice.fadeRemaining = voice.fadeLength = fadeLengthSamples;
            voice.fadeStart = fadeStart;
        }
}

Voice& VoiceEngine::startVoice (int sampleIndex, int offset) noexcept
{
    auto slot = std::find_if (voiceSlots.begin(), voiceSlots.end(), [] (const Voice& v) { return ! v.active; });
    if (slot == voiceSlots.end())
        slot = std::max_element (voiceSlots.begin(), voiceSlots.end(),
                                 [] (const Voice& a, const Voice& b) { return a.position < b.position; });

    *slot = Voice {};
    slot->active = true;
    slot->sampleIndex = sampleIndex;
    slot->startOffset = offset;
    slot->onsetPending = true;
    return *slot;
}

bool VoiceEngine::hasPlayableSample (const Voice& voice, const Samples& samples) const noexcept
{
    if (voice.sampleIndex < 0 || voice.sampleIndex >= static_cast<int> (samples.size()))
        return false;
    const auto& audio = samples[static_cast<size_t> (voice.sampleIndex)].audio;
    return audio.getNumChannels() > 0 && audio.getNumSamples() > 0;
}

VoiceEngine::Span VoiceEngine::spanOf (const Voice& voice, const samplepack::PackSample& sample, int numSamples) const noexcept
{
    Span span;
    span.start = std::clamp (voice.startOffset, 0, numSamples);
    const double remaining = std::ceil ((sample.audio.getNumSamples() - voice.position) / sourceStep);
    span.count = static_cast<int> (std::min (remaining, static_cast<double> (numSamples - span.start)));
    if (span.count < 1)
        return { span.start, 0, 0, 0 };

    if (voice.fadeRemaining >= 1)
    {
        span.steady = std::min (span.count, std::max (voice.fadeStart - span.start, 0));
        span.faded = std::min (voice.fadeRemaining, span.count - span.steady);
        span.count = span.steady + span.faded;
    }
    else
    {
        span.steady = span.count;
    }
    return span;
}

float VoiceEngine::channelGain (const Voice& voice, int channel, int numChannels) noexcept
{
    if (numChannels == 1)
        return 1.0f;
    return channel == 0 ? voice.panLeft : channel == 1 ? voice.panRight : 1.0f;
}

float VoiceEngine::sourceValue (const juce::AudioBuffer<float>& audio, int channel, double p) const noexcept
{
    const int frames = audio.getNumSamples();
    if (! (p >= 0.0) || ! std::isfinite (p) || p >= frames)
        return 0.0f;
    const auto* data = audio.getReadPointer (channel);
    const int i = static_cast<int> (p);
    const int j = std::min (i + 1, frames - 1);
    const auto frac = static_cast<float> (p - i);
    return data[i] + (data[j] - data[i]) * frac;
}

void VoiceEngine::renderVoice (Voice& voice, juce::AudioBuffer<float>& buffer, const Samples& samples) noexcept
{
    const int numSamples = buffer.getNumSamples();
    const int numChannels = buffer.getNumChannels();
    if (! hasPlayableSample (voice, samples))
    {
        voice = Voice {};
        return;
    }

    const auto& audio = samples[static_cast<size_t> (voice.sampleIndex)].audio;
    const auto span = spanOf (voice, samples[static_cast<size_t> (voice.sampleIndex)], numSamples);
    voice.startOffset = 0;
    if (span.count < 1)
    {
        voice = Voice {};
        return;
    }

    // At the device's own 48 kHz a voice reads whole frames: its steady part is a plain scaled add.
    const bool wholeFrames =
        sourceStep == 1.0 && voice.position == std::floor (voice.position) && voice.position + span.steady <= audio.getNumSamples();

    for (int c = 0; c < numChannels; ++c)
    {
        const int sourceChannel = std::min (c, audio.getNumChannels() - 1);
        const float g = voice.gain * channelGain (voice, c, numChannels);
        auto* out = buffer.getWritePointer (c, span.start);

        int k = 0;
        if (wholeFrames)
        {
            juce::FloatVectorOperations::addWithMultiply (out, audio.getReadPointer (sourceChannel, static_cast<int> (voice.position)), g,
                                                          span.steady);
            k = span.steady;
        }
        for (; k < span.count; ++k)
        {
            const float fade = k < span.steady
                                   ? 1.0f
                                   : static_cast<float> (voice.fadeRemaining - (k - span.steady)) / static_cast<float> (voice.fadeLength);
            out[k] += sourceValue (audio, sourceChannel, voice.position + sourceStep * k) * g * fade;
        }
    }

    voice.position += sourceStep * span.count;

    if (voice.fadeRemaining >= 1)
    {
        const bool fadeDone = span.faded >= voice.fadeRemaining;
        voice.fadeStart = 0;
        voice.fadeRemaining -= span.faded;
        if (fadeDone)
        {
            voice = Voice {};
            return;
        }
    }

    if (voice.position >= audio.getNumSamples())
        voice = Voice {};
}

float VoiceEngine::contributionAt (const Voice& voice, const Samples& samples, int channel, int numChannels, int numSamples,
                                   int k) const noexcept
{
    if (! voice.active || ! hasPlayableSample (voice, samples))
        return 0.0f;

    const auto& sample = samples[static_cast<size_t> (voice.sampleIndex)];
    const auto span = spanOf (voice, sample, numSamples);
    const int i = k - span.start;
    if (i < 0 || i >= span.count)
        return 0.0f;

    const float fade =
        i < span.steady ? 1.0f : static_cast<float> (voice.fadeRemaining - (i - span.steady)) / static_cast<float> (voice.fadeLength);
    const int sourceChannel = std::min (channel, sample.audio.getNumChannels() - 1);
    return sourceValue (sample.audio, sourceChannel, voice.position + sourceStep * i) * voice.gain * fade
           * channelGain (voice, channel, numChannels);
}

GainRamp VoiceEngine::takeGainRamp (float masterGain, int numSamples) noexcept
{
    if (smoothedGain < 0.0f)
        smoothedGain = masterGain;

    GainRamp ramp { smoothedGain, masterGain, std::max (numSamples, 1), std::abs (masterGain - smoothedGain) > 1e-6f };
    if (ramp.ramping)
        smoothedGain = masterGain;
    return ramp;
}

//==============================================================================
void spreadPan (Voice& voice, float panSpread, XorshiftRandom& random) noexcept
{
    const double u = random.next() / 4294967296.0;
    const double x = panSpread * (2.0 * u - 1.0);
    const double theta = x < -1.0 ? 0.0 : (std::min (x, 1.0) + 1.0) * juce::MathConstants<double>::pi / 4.0;
    voice.panLeft = static_cast<float> (juce::MathConstants<double>::sqrt2 * std::cos (theta));
    voice.panRight = static_cast<float> (juce::MathConstants<double>::sqrt2 * std::sin (theta));
}

void applyGain (juce::AudioBuffer<float>& buffer, const GainRamp& gain) noexcept
{
    const int n = buffer.getNumSamples();
    for (int c = 0; c < buffer.getNumChannels(); ++c)
    {
        auto* data = buffer.getWritePointer (c);
        if (gain.ramping)
            for (int k = 0; k < n; ++k)
                data[k] *= gain.at (k);
        else if (gain.from != 1.0f)
            juce::FloatVectorOperations::multiply (data, gain.from, n);
    }
}

float softClip (float x) noexcept
{
    const float magnitude = std::abs (x);
    if (magnitude <= 0.8f)
        return x;
    return std::copysign (0.8f + 0.18f * std::tanh ((magnitude - 0.8f) / 0.18f), x);
}

void softClip (juce::AudioBuffer<float>& buffer) noexcept
{
    for (int c = 0; c < buffer.getNumChannels(); ++c)
    {
        auto* data = buffer.getWritePointer (c);
        for (int k = 0; k < buffer.getNumSamples(); ++k)
            data[k] = softClip (data[k]);
    }
}

} // namespace bopwell
