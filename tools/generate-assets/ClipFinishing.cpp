#include "ClipFinishing.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace bopwell::assetgen
{

namespace
{
    using Stereo = std::array<Signal, 2>;

    // A tail this far under the peak (-60 dB) is silence for any listener at any sane volume.
    constexpr double audibleFloor = 1e-3;
    // Long enough to take the click out of the start without blunting the hit.
    constexpr double attackSeconds = 0.0003;
    constexpr double fadeOutSeconds = 0.006;

    double peakOf (const Signal& signal)
    {
        double peak = 0.0;
        for (const double x : signal)
            peak = std::max (peak, std::abs (x));
        return peak;
    }

    // Offsets in the synthesis would thump on every trigger and eat headroom.
    void removeOffset (Signal& signal)
    {
        auto blocker = Biquad::highPass (25.0, 0.7);
        for (auto& x : signal)
            x = blocker.process (x);
    }

    void trimToAudible (Signal& signal)
    {
        const double floor = audibleFloor * peakOf (signal);
        const auto lastAudible = std::find_if (signal.rbegin(), signal.rend(), [floor] (double x) { return std::abs (x) > floor; });
        const auto audibleFrames = static_cast<size_t> (signal.rend() - lastAudible);
        signal.resize (std::min (audibleFrames, static_cast<size_t> (framesFor (longestClipSeconds))));
    }

    // Sits the voice a little off centre, with a faint early reflection on each side at
    // different delays, so the clip has width without smearing its attack.
    Stereo placeInStereo (const Signal& voice, Random& random)
    {
        const double angle = (random.between (-0.25, 0.25) + 1.0) * std::numbers::pi / 4.0;
        const std::array<double, 2> gains { std::cos (angle), std::sin (angle) };
        const std::array<size_t, 2> reflectionDelays { static_cast<size_t> (framesFor (random.between (0.0004, 0.0012))),
                                                       static_cast<size_t> (framesFor (random.between (0.0006, 0.0016))) };
        constexpr double reflectionGain = 0.2;

        Stereo stereo { Signal (voice.size()), Signal (voice.size()) };
        for (size_t channel = 0; channel < 2; ++channel)
            for (size_t i = 0; i < voice.size(); ++i)
            {
                const double reflection = i >= reflectionDelays[channel] ? reflectionGain * voice[i - reflectionDelays[channel]] : 0.0;
                stereo[channel][i] = gains[channel] * (voice[i] + reflection);
            }
        return stereo;
    }

    void shapeEdges (Signal& channel)
    {
        const size_t attack = std::min (static_cast<size_t> (framesFor (attackSeconds)), channel.size());
        for (size_t i = 0; i < attack; ++i)
            channel[i] *= std::sin (std::numbers::pi / 2.0 * static_cast<double> (i + 1) / static_cast<double> (attack));

        const size_t fade = std::min (static_cast<size_t> (framesFor (fadeOutSeconds)), channel.size() / 4);
        const size_t fadeStart = channel.size() - fade;
        for (size_t k = 0; k < fade; ++k)
        {
            // Reaches exactly zero on the last frame.
            const double t = static_cast<double> (fade - 1 - k) / static_cast<double> (fade - 1);
            channel[fadeStart + k] *= t * t * (3.0 - 2.0 * t);
        }
    }

    juce::AudioBuffer<float> toNormalisedBuffer (const Stereo& stereo)
    {
        const double gain = clipPeak / std::max (peakOf (stereo[0]), peakOf (stereo[1]));
        juce::AudioBuffer<float> buffer (2, static_cast<int> (stereo[0].size()));
        for (int channel = 0; channel < 2; ++channel)
        {
            const auto& source = stereo[static_cast<size_t> (channel)];
            for (size_t i = 0; i < source.size(); ++i)
                buffer.setSample (channel, static_cast<int> (i), static_cast<float> (gain * source[i]));
        }
        return buffer;
    }
} // namespace

juce::AudioBuffer<float> finishClip (Signal voice, Random& random)
{
    removeOffset (voice);
    trimToAudible (voice);
    auto stereo = placeInStereo (voice, random);
    for (auto& channel : stereo)
        shapeEdges (channel);
    return toNormalisedBuffer (stereo);
}

} // namespace bopwell::assetgen
