#include "Voices.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <iterator>

namespace bopwell::assetgen
{

namespace
{
    using Formants = std::array<double, 4>;

    // One shouted syllable: an optional breathy "h", then a vowel that may glide to another.
    struct Syllable
    {
        Formants from;
        Formants to;
        double breathSeconds = 0.0;
        double voicedSeconds = 0.2;
        double peakPitchHz = 150.0;
        // Ends on closed lips ("hup!") rather than trailing off.
        bool clipped = false;
    };

    // Formant frequencies of an adult man's vowels.
    const Syllable syllables[] = {
        // "hey!"
        { { 530.0, 1840.0, 2480.0, 3500.0 }, { 300.0, 2200.0, 2900.0, 3600.0 }, 0.035, 0.26, 165.0, false },
        // "ho!"
        { { 570.0, 840.0, 2410.0, 3400.0 }, { 450.0, 750.0, 2400.0, 3400.0 }, 0.04, 0.24, 150.0, false },
        // "ha!"
        { { 750.0, 1200.0, 2500.0, 3500.0 }, { 700.0, 1150.0, 2500.0, 3500.0 }, 0.035, 0.22, 175.0, false },
        // "hup!"
        { { 640.0, 1190.0, 2390.0, 3400.0 }, { 600.0, 1100.0, 2400.0, 3400.0 }, 0.03, 0.14, 155.0, true },
        // "yo!"
        { { 300.0, 2150.0, 2900.0, 3600.0 }, { 520.0, 880.0, 2500.0, 3400.0 }, 0.0, 0.26, 140.0, false },
    };

    constexpr Formants formantGains { 1.0, 0.55, 0.3, 0.18 };
    constexpr Formants formantWidthsHz { 90.0, 110.0, 160.0, 220.0 };
    // Formants move slowly next to the pitch; retuning every few frames is plenty.
    constexpr int retuneFrames = 32;

    double smoothStep (double x)
    {
        const double t = std::clamp (x, 0.0, 1.0);
        return t * t * (3.0 - 2.0 * t);
    }

    // A shout's pitch jumps up from where it starts and then falls away.
    double pitchAt (const Syllable& syllable, double seconds)
    {
        const double x = seconds / (syllable.breathSeconds + syllable.voicedSeconds);
        const double shape = x < 0.25 ? std::lerp (0.85, 1.0, x / 0.25) : std::lerp (1.0, 0.7, std::min ((x - 0.25) / 0.75, 1.0));
        return syllable.peakPitchHz * shape;
    }

    double voicingAt (const Syllable& syllable, double seconds)
    {
        // The vocal folds close partway through the "h"; without one they start the syllable.
        const double onsetStart = 0.4 * syllable.breathSeconds;
        const double onsetEnd = syllable.breathSeconds + 0.025;
        const double offset = syllable.breathSeconds + syllable.voicedSeconds;
        if (seconds < onsetEnd)
        {
            const double startLevel = syllable.breathSeconds > 0.0 ? 0.0 : 0.5;
            return std::lerp (startLevel, 1.0, std::max (seconds - onsetStart, 0.0) / (onsetEnd - onsetStart));
        }
        if (seconds < offset)
            return 1.0;
        return std::exp (-(seconds - offset) / (syllable.clipped ? 0.004 : 0.03));
    }

    double breathAt (const Syllable& syllable, double seconds)
    {
        const double aspiration = syllable.breathSeconds > 0.0 ? std::exp (-seconds / syllable.breathSeconds) : 0.0;
        return aspiration + 0.06;
    }

    // A sawtooth with its jump smoothed over one sample, so high harmonics do not fold back.
    double smoothedSaw (double phase, double step)
    {
        double value = 2.0 * phase - 1.0;
        if (phase < step)
        {
            const double t = phase / step;
            value -= t + t - t * t - 1.0;
        }
        else if (phase > 1.0 - step)
        {
            const double t = (phase - 1.0) / step;
            value -= t * t + t + t + 1.0;
        }
        return value;
    }
} // namespace

Signal vocalHit (const Variant& variant, Random& random)
{
    const Syllable& syllable = syllables[variant.index % static_cast<int> (std::size (syllables))];
    const double tailSeconds = syllable.clipped ? 0.02 : 0.1;
    Signal signal (static_cast<size_t> (framesFor (syllable.breathSeconds + syllable.voicedSeconds + tailSeconds)));

    const double pitchScale = random.between (0.95, 1.05);
    std::array<Biquad, 4> formants { Biquad::bandPass (500.0, 5.0), Biquad::bandPass (1500.0, 10.0), Biquad::bandPass (2500.0, 15.0),
                                     Biquad::bandPass (3500.0, 15.0) };
    // The glottis puts out far less top than a sawtooth; this leans the source over.
    auto glottalTilt = Biquad::lowPass (900.0, 0.6);
    double phase = random.unit();
    double jitter = 0.0;

    for (size_t i = 0; i < signal.size(); ++i)
    {
        const double t = static_cast<double> (i) / sampleRate;
        if (i % retuneFrames == 0)
        {
            const double glide = smoothStep ((t - syllable.breathSeconds) / syllable.voicedSeconds);
            for (size_t f = 0; f < formants.size(); ++f)
            {
                const double hz = std::lerp (syllable.from[f], syllable.to[f], glide);
                formants[f].retuneBandPass (hz, hz / formantWidthsHz[f]);
            }
        }

        // A voice never holds its pitch perfectly still.
        jitter += 0.002 * random.bipolar() - 0.01 * jitter;
        const double step = pitchAt (syllable, t) * pitchScale * (1.0 + jitter) / sampleRate;
        const double voiced = glottalTilt.process (-smoothedSaw (phase, step));
        phase += step;
        phase -= std::floor (phase);

        const double excitation = voicingAt (syllable, t) * voiced + 0.6 * breathAt (syllable, t) * random.bipolar();
        for (size_t f = 0; f < formants.size(); ++f)
            signal[i] += formantGains[f] * formants[f].process (excitation);
    }

    return signal;
}

} // namespace bopwell::assetgen
