#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

namespace bopwell::samplepack
{

// True when a rate is close enough to the source rate for a clip to be kept as it is.
bool isSourceRate (double rate);

// The number of frames a clip of `frames` at `rate` has once at the source rate:
// ceil (frames × 48000 ÷ rate), or `frames` itself when the rate already is the source rate.
double normalisedLength (juce::int64 frames, double rate);

// The clip at the source rate, `length` frames long. A clip already at the source rate is handed
// back untouched; any other is resampled channel by channel with 5-point Lagrange interpolation,
// with silence once the source runs out.
juce::AudioBuffer<float> toSourceRate (juce::AudioBuffer<float>&& clip, double rate, int length);

} // namespace bopwell::samplepack
