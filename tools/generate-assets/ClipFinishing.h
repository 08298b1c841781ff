#pragma once

#include "Synthesis.h"

#include <juce_audio_basics/juce_audio_basics.h>

namespace bopwell::assetgen
{

inline constexpr double longestClipSeconds = 1.0;
// -3 dBFS: leaves the player headroom when hits overlap.
inline constexpr double clipPeak = 0.70794578438413791;

// Turns a voice into a playable stereo clip: cut where it has died away (and never past a
// second), sounding from its very first frame, fading to exact silence over its last few
// milliseconds, and peaking at clipPeak.
juce::AudioBuffer<float> finishClip (Signal voice, Random& random);

} // namespace bopwell::assetgen
