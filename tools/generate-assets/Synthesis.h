#pragma once

#include "Random.h"

#include <vector>

namespace bopwell::assetgen
{

inline constexpr double sampleRate = 48000.0;

// One mono voice, built up by adding layers; the clip finisher makes it stereo.
using Signal = std::vector<double>;

int framesFor (double seconds) noexcept;

// RBJ biquads. Retuning keeps the filter's state, so a formant can move while a voice speaks.
class Biquad
{
public:
    static Biquad lowPass (double hz, double q);
    static Biquad highPass (double hz, double q);
    // Unity gain at the centre frequency.
    static Biquad bandPass (double hz, double q);

    void retuneBandPass (double hz, double q);
    double process (double x) noexcept;

private:
    enum class Shape
    {
        lowPass,
        highPass,
        bandPass
    };

    Biquad (Shape shape, double hz, double q);
    void tune (Shape shape, double hz, double q);

    double b0 = 0.0, b1 = 0.0, b2 = 0.0, a1 = 0.0, a2 = 0.0;
    double z1 = 0.0, z2 = 0.0;
};

// A sinusoid that starts at full level and dies away exponentially, its pitch gliding
// exponentially from startHz towards endHz: the ring of a struck body.
struct Partial
{
    double startHz = 440.0;
    double endHz = 440.0;
    double glideSeconds = 0.05;
    double gain = 1.0;
    double decaySeconds = 0.05;
    double phase = 0.0;
};

// Coloured noise that starts at full level and dies away exponentially: clicks, cracks, hiss.
struct NoiseBurst
{
    double gain = 1.0;
    double decaySeconds = 0.005;
    Biquad colour;
};

// Sparse random impulses through a filter, their rate and level falling over the span: the
// splintering after a snap, or a key peeling off something sticky.
struct Crackle
{
    double seconds = 0.05;
    double clicksPerSecond = 400.0;
    double gain = 0.5;
    Biquad colour;
};

void addPartial (Signal& signal, double startSeconds, const Partial& partial);
void addNoiseBurst (Signal& signal, double startSeconds, NoiseBurst burst, Random& random);
void addCrackle (Signal& signal, double startSeconds, Crackle crackle, Random& random);

// Mixes a delayed, softened copy of the whole signal back in: a wall or a desk answering.
void addEcho (Signal& signal, double delaySeconds, double gain, double lowPassHz);

} // namespace bopwell::assetgen
