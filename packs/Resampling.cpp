#include "packs/Resampling.h"

#include "packs/SamplePack.h"

#include <cmath>

namespace bopwell::samplepack
{

bool isSourceRate (double rate) { return std::abs (rate / sourceRate - 1.0) < 1e-9; }

double normalisedLength (juce::int64 frames, double rate)
{
    // Kept exact for the source rate: a rate a hair below it would otherwise add a frame that
    // the untouched clip does not have.
    if (isSourceRate (rate))
        return static_cast<double> (frames);
    return std::ceil (static_cast<double> (frames) * sourceRate / rate);
}

juce::AudioBuffer<float> toSourceRate (juce::AudioBuffer<float>&& clip, double rate, int length)
{
    if (isSourceRate (rate))
        return std::move (clip);

    juce::AudioBuffer<float> resampled (clip.getNumChannels(), length);
    for (int channel = 0; channel < clip.getNumChannels(); ++channel)
    {
        juce::LagrangeInterpolator interpolator;
        interpolator.process (rate / sourceRate, clip.getReadPointer (channel), resampled.getWritePointer (channel), length,
                              clip.getNumSamples(), 0);
    }
    return resampled;
}

} // namespace bopwell::samplepack
