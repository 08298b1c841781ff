#include "Synthesis.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace bopwell::assetgen
{

namespace
{
    constexpr double twoPi = 2.0 * std::numbers::pi;

    // Layers may start anywhere but never grow the signal: each voice decides its own length.
    size_t firstFrame (const Signal& signal, double startSeconds) noexcept
    {
        return std::min (static_cast<size_t> (framesFor (startSeconds)), signal.size());
    }
} // namespace

int framesFor (double seconds) noexcept { return static_cast<int> (std::lround (seconds * sampleRate)); }

Biquad::Biquad (Shape shape, double hz, double q) { tune (shape, hz, q); }

Biquad Biquad::lowPass (double hz, double q) { return { Shape::lowPass, hz, q }; }

Biquad Biquad::highPass (double hz, double q) { return { Shape::highPass, hz, q }; }

Biquad Biquad::bandPass (double hz, double q) { return { Shape::bandPass, hz, q }; }

void Biquad::retuneBandPass (double hz, double q) { tune (Shape::bandPass, hz, q); }

void Biquad::tune (Shape shape, double hz, double q)
{
    const double w = twoPi * std::min (hz, 0.45 * sampleRate) / sampleRate;
    const double cosW = std::cos (w);
    const double alpha = std::sin (w) / (2.0 * q);
    const double a0 = 1.0 + alpha;

    switch (shape)
    {
        case Shape::lowPass:
            b0 = (1.0 - cosW) / 2.0;
            b1 = 1.0 - cosW;
            b2 = b0;
            break;
        case Shape::highPass:
            b0 = (1.0 + cosW) / 2.0;
            b1 = -(1.0 + cosW);
            b2 = b0;
            break;
        case Shape::bandPass:
            b0 = alpha;
            b1 = 0.0;
            b2 = -alpha;
            break;
    }

    b0 /= a0;
    b1 /= a0;
    b2 /= a0;
    a1 = -2.0 * cosW / a0;
    a2 = (1.0 - alpha) / a0;
}

double Biquad::process (double x) noexcept
{
    const double y = b0 * x + z1;
    z1 = b1 * x - a1 * y + z2;
    z2 = b2 * x - a2 * y;
    return y;
}

void addPartial (Signal& signal, double startSeconds, const Partial& partial)
{
    const double glideRate = 1.0 / (partial.glideSeconds * sampleRate);
    const double fall = std::exp (-1.0 / (partial.decaySeconds * sampleRate));
    double level = partial.gain;
    double hz = partial.startHz;
    double phase = partial.phase;

    for (auto i = firstFrame (signal, startSeconds); i < signal.size(); ++i)
    {
        signal[i] += level * std::sin (phase);
        phase += twoPi * hz / sampleRate;
        hz += (partial.endHz - hz) * glideRate;
        level *= fall;
    }
}

void addNoiseBurst (Signal& signal, double startSeconds, NoiseBurst burst, Random& random)
{
    const double fall = std::exp (-1.0 / (burst.decaySeconds * sampleRate));
    double level = burst.gain;

    for (auto i = firstFrame (signal, startSeconds); i < signal.size(); ++i)
    {
        signal[i] += level * burst.colour.process (random.bipolar());
        level *= fall;
    }
}

void addCrackle (Signal& signal, double startSeconds, Crackle crackle, Random& random)
{
    const auto start = firstFrame (signal, startSeconds);
    const auto span = static_cast<size_t> (framesFor (crackle.seconds));
    const double chancePerFrame = crackle.clicksPerSecond / sampleRate;

    for (size_t i = start; i < signal.size(); ++i)
    {
        const double remaining = i - start < span ? 1.0 - static_cast<double> (i - start) / static_cast<double> (span) : 0.0;
        double impulse = 0.0;
        if (random.unit() < chancePerFrame * remaining)
        {
            const double size = crackle.gain * remaining * random.between (0.3, 1.0);
            impulse = random.unit() < 0.5 ? -size : size;
        }
        signal[i] += crackle.colour.process (impulse);
    }
}

void addEcho (Signal& signal, double delaySeconds, double gain, double lowPassHz)
{
    const auto delay = static_cast<size_t> (framesFor (delaySeconds));
    if (delay >= signal.size())
        return;

    auto softened = Biquad::lowPass (lowPassHz, 0.7);
    Signal echo (signal.size() - delay);
    for (size_t i = 0; i < echo.size(); ++i)
        echo[i] = gain * softened.process (signal[i]);
    for (size_t i = 0; i < echo.size(); ++i)
        signal[i + delay] += echo[i];
}

} // namespace bopwell::assetgen
