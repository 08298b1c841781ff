#include "Voices.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace bopwell::assetgen
{

namespace
{
    constexpr double halfPi = std::numbers::pi / 2.0;

    double anyPhase (Random& random) { return random.between (0.0, 2.0 * std::numbers::pi); }

    // Stick-slip: a rubbing tone whose level flutters as the surface grabs and lets go.
    struct Squeak
    {
        double hz = 1000.0;
        // How far the pitch has moved, as a fraction, by the end of the squeak.
        double bend = 0.0;
        double flutterHz = 30.0;
        double gain = 0.5;
        double seconds = 0.2;
    };

    void addSqueak (Signal& signal, double startSeconds, const Squeak& squeak)
    {
        const auto start = static_cast<size_t> (framesFor (startSeconds));
        double phase = 0.0;
        for (size_t i = start; i < signal.size(); ++i)
        {
            const double t = static_cast<double> (i - start) / sampleRate;
            const double hz = squeak.hz * (1.0 + squeak.bend * std::min (t / squeak.seconds, 1.0));
            const double envelope = (1.0 - std::exp (-t / 0.006)) * std::exp (-t / (0.35 * squeak.seconds));
            const double flutter = 0.55 + 0.45 * std::sin (2.0 * std::numbers::pi * squeak.flutterHz * t);
            const double tone = std::sin (phase) + 0.45 * std::sin (2.0 * phase) + 0.2 * std::sin (3.0 * phase);
            signal[i] += squeak.gain * envelope * flutter * tone;
            phase += 2.0 * std::numbers::pi * hz / sampleRate;
        }
    }
} // namespace

Signal chocolateSnap (const Variant& variant, Random& random)
{
    const double spread = variant.spread();
    Signal signal (static_cast<size_t> (framesFor (std::lerp (0.13, 0.3, spread) + random.between (0.0, 0.02))));

    // The break: a dry, bright crack.
    addNoiseBurst (signal, 0.0, { 1.0, random.between (0.002, 0.005), Biquad::highPass (random.between (1800.0, 3500.0), 0.7) }, random);

    // The bar's brittle ring; thicker bars, later in the pack, ring lower.
    const double ringHz = std::lerp (4200.0, 2100.0, spread) * random.between (0.92, 1.08);
    const double ratios[] = { 1.0, 1.47, 2.09, 2.56 };
    for (int i = 0; i < 4; ++i)
    {
        const double hz = ringHz * ratios[i] * random.between (0.97, 1.03);
        addPartial (signal, 0.0,
                    { .startHz = hz,
                      .endHz = hz,
                      .gain = 0.35 / (1 + i),
                      .decaySeconds = random.between (0.012, 0.035),
                      .phase = anyPhase (random) });
    }

    // The dull core of the bar giving way, felt more than heard.
    const double coreHz = std::lerp (650.0, 380.0, spread);
    addPartial (signal, 0.0,
                { .startHz = coreHz,
                  .endHz = 0.85 * coreHz,
                  .glideSeconds = 0.03,
                  .gain = 0.3,
                  .decaySeconds = random.between (0.02, 0.04),
                  .phase = halfPi });

    // Splinters as the halves part.
    const double splintersAt = random.between (0.003, 0.01);
    addCrackle (signal, splintersAt,
                { random.between (0.03, 0.09) + 0.05 * spread, random.between (250.0, 700.0), 0.9,
                  Biquad::bandPass (random.between (3000.0, 6500.0), 1.2) },
                random);

    // Some bars give in two goes.
    if (variant.kind (3) == 1)
        addNoiseBurst (signal, random.between (0.015, 0.04), { 0.5, 0.003, Biquad::highPass (2500.0, 0.7) }, random);

    return signal;
}

Signal waxThud (const Variant& variant, Random& random)
{
    const double spread = variant.spread();
    const double seconds = std::lerp (0.18, 0.42, spread) + random.between (0.0, 0.03);
    Signal signal (static_cast<size_t> (framesFor (seconds)));

    // A soft lump landing: a low thump that sags in pitch...
    const double thumpHz = std::lerp (240.0, 110.0, spread) * random.between (0.9, 1.1);
    addPartial (signal, 0.0,
                { .startHz = thumpHz,
                  .endHz = 0.7 * thumpHz,
                  .glideSeconds = 0.04,
                  .gain = 1.0,
                  .decaySeconds = random.between (0.04, 0.09),
                  .phase = halfPi });

    // ...with the smack of a soft, tacky surface.
    addNoiseBurst (signal, 0.0, { 0.7, random.between (0.015, 0.035), Biquad::lowPass (random.between (500.0, 1300.0), 0.8) }, random);

    // Every other lump drags across the surface and squeaks; the rest barely do.
    const bool drags = variant.kind (2) == 1;
    const double squeakAt = random.between (0.005, 0.02);
    addSqueak (signal, squeakAt,
               { .hz = random.between (700.0, 1600.0),
                 .bend = random.between (-0.3, 0.4),
                 .flutterHz = random.between (18.0, 45.0),
                 .gain = drags ? 0.6 : 0.12,
                 .seconds = 0.6 * seconds });

    return signal;
}

Signal stickyKey (const Variant& variant, Random& random)
{
    const double spread = variant.spread();
    // Long enough for the slowest peel; the finisher cuts the silence after the key comes free.
    Signal signal (static_cast<size_t> (framesFor (0.55)));

    // The press: a key cap muffled by whatever was spilt on it...
    addNoiseBurst (signal, 0.0, { 1.0, random.between (0.0015, 0.003), Biquad::bandPass (random.between (1500.0, 3000.0), 0.9) }, random);
    const double capHz = random.between (900.0, 1700.0);
    addPartial (signal, 0.0,
                { .startHz = capHz, .endHz = capHz, .gain = 0.4, .decaySeconds = random.between (0.01, 0.02), .phase = anyPhase (random) });
    const double thockHz = std::lerp (320.0, 180.0, spread);
    addPartial (signal, 0.0,
                { .startHz = thockHz, .endHz = 0.9 * thockHz, .glideSeconds = 0.02, .gain = 0.5, .decaySeconds = 0.025, .phase = halfPi });

    // ...which clings to the cap until it tears free: slowly, in one quick rip, or in two goes...
    enum Peel
    {
        slowPeel,
        quickRip,
        twoGoes
    };
    constexpr int peelKinds = twoGoes + 1;
    const auto peelColour = Biquad::bandPass (std::lerp (5000.0, 2500.0, spread) * random.between (0.9, 1.1), 0.9);
    double releaseAt = std::lerp (0.05, 0.12, spread) + random.between (0.0, 0.03);
    struct Tear
    {
        double seconds;
        double clicksPerSecond;
    };
    const auto tear = [&] (Tear how)
    {
        addCrackle (signal, releaseAt, { how.seconds, how.clicksPerSecond, 0.8, peelColour }, random);
        releaseAt += how.seconds;
    };
    switch (static_cast<Peel> (variant.kind (peelKinds)))
    {
        case slowPeel: tear ({ random.between (0.1, 0.16), random.between (400.0, 800.0) }); break;
        case quickRip: tear ({ random.between (0.03, 0.06), random.between (1500.0, 2500.0) }); break;
        case twoGoes:
            tear ({ random.between (0.04, 0.06), random.between (900.0, 1400.0) });
            releaseAt += random.between (0.02, 0.04);
            tear ({ random.between (0.04, 0.06), random.between (900.0, 1400.0) });
            break;
    }

    // ...and the cap springs back up.
    addNoiseBurst (signal, releaseAt, { 0.6, 0.002, Biquad::bandPass (capHz * random.between (1.2, 1.6), 1.0) }, random);
    addPartial (signal, releaseAt, { .startHz = 1.1 * capHz, .endHz = 1.1 * capHz, .gain = 0.3, .decaySeconds = 0.015 });

    return signal;
}

Signal keyClick (const Variant& variant, Random& random)
{
    enum Switch
    {
        clicky,
        tactile,
        linear,
        spaceBar
    };
    constexpr int switchKinds = spaceBar + 1;
    const auto kind = static_cast<Switch> (variant.kind (switchKinds));
    const double spread = variant.spread();
    const double seconds = std::lerp (0.11, 0.2, spread) + (kind == spaceBar ? 0.05 : 0.0) + random.between (0.0, 0.02);
    Signal signal (static_cast<size_t> (framesFor (seconds)));

    // The cap hitting bottom: a short click whose colour is the switch's character...
    const double clickHz = kind == clicky ? 5000.0 : kind == tactile ? 3500.0 : kind == linear ? 2500.0 : 2000.0;
    addNoiseBurst (signal, 0.0, { 1.0, random.between (0.0008, 0.0018), Biquad::bandPass (clickHz * random.between (0.9, 1.1), 0.8) },
                   random);
    if (kind == clicky)
        addNoiseBurst (signal, 0.004, { 0.7, 0.0006, Biquad::bandPass (6000.0, 0.8) }, random);

    // ...the plastic ringing...
    const double capHz = std::lerp (3400.0, 1500.0, spread) * random.between (0.95, 1.05);
    const double ratios[] = { 1.0, 1.83, 2.71 };
    const double gains[] = { 0.3, 0.16, 0.08 };
    for (int i = 0; i < 3; ++i)
        addPartial (signal, 0.0,
                    { .startHz = capHz * ratios[i],
                      .endHz = capHz * ratios[i],
                      .gain = gains[i],
                      .decaySeconds = random.between (0.008, 0.018),
                      .phase = anyPhase (random) });

    // ...and the board underneath.
    const double thockHz = kind == spaceBar ? 150.0 : std::lerp (420.0, 190.0, spread);
    addPartial (signal, 0.0,
                { .startHz = thockHz,
                  .endHz = 0.92 * thockHz,
                  .glideSeconds = 0.02,
                  .gain = 0.45,
                  .decaySeconds = random.between (0.012, 0.03),
                  .phase = halfPi });
    if (kind == spaceBar)
        addCrackle (signal, 0.002, { 0.04, 500.0, 0.4, Biquad::bandPass (1800.0, 1.5) }, random);

    // Letting go: a smaller click as the cap returns.
    const double releaseAt = random.between (0.045, 0.09);
    addNoiseBurst (signal, releaseAt, { random.between (0.25, 0.45), 0.0012, Biquad::bandPass (1.2 * clickHz, 0.9) }, random);
    addPartial (signal, releaseAt, { .startHz = 1.05 * capHz, .endHz = 1.05 * capHz, .gain = 0.15, .decaySeconds = 0.01 });

    return signal;
}

Signal bubblePop (const Variant& variant, Random& random)
{
    const double spread = variant.spread();
    Signal signal (static_cast<size_t> (framesFor (std::lerp (0.14, 0.24, spread) + random.between (0.0, 0.02))));

    // The film tearing: one very short, very hard click...
    addNoiseBurst (signal, 0.0, { 1.0, random.between (0.0005, 0.0011), Biquad::highPass (1200.0, 0.7) }, random);

    // ...the trapped air ringing down as the bubble collapses (bigger bubbles ring lower)...
    const double popHz = std::lerp (3200.0, 1300.0, spread) * random.between (0.9, 1.1);
    addPartial (signal, 0.0,
                { .startHz = popHz,
                  .endHz = popHz * random.between (0.55, 0.75),
                  .glideSeconds = random.between (0.006, 0.015),
                  .gain = 0.7,
                  .decaySeconds = random.between (0.012, 0.03),
                  .phase = halfPi });

    // ...and the puff of air let out.
    addNoiseBurst (signal, 0.0, { 0.4, random.between (0.018, 0.04), Biquad::lowPass (random.between (700.0, 1600.0), 0.7) }, random);

    // Some pops burst a neighbour a moment later.
    if (variant.kind (3) == 2)
    {
        const double at = random.between (0.03, 0.07);
        const double neighbourHz = popHz * random.between (1.1, 1.4);
        addNoiseBurst (signal, at, { 0.6, 0.0008, Biquad::highPass (1200.0, 0.7) }, random);
        addPartial (signal, at,
                    { .startHz = neighbourHz, .endHz = 0.65 * neighbourHz, .glideSeconds = 0.01, .gain = 0.45, .decaySeconds = 0.012 });
    }

    return signal;
}

} // namespace bopwell::assetgen
