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

    // A sonic boom's pressure wave: a steep push, then a pull that eases back to rest.
    void addShockWave (Signal& signal)
    {
        const auto push = static_cast<size_t> (framesFor (0.0003));
        const auto pull = static_cast<size_t> (framesFor (0.0006));
        for (size_t i = 0; i < std::min (push + pull, signal.size()); ++i)
            signal[i] += i < push ? 1.0 : -0.75 * (1.0 - static_cast<double> (i - push) / static_cast<double> (pull));
    }
} // namespace

Signal nailgunShot (const Variant& variant, Random& random)
{
    const double spread = variant.spread();
    Signal signal (static_cast<size_t> (framesFor (std::lerp (0.35, 0.6, spread) + random.between (0.0, 0.03))));

    // The piston firing: a hard, wide blast...
    addNoiseBurst (signal, 0.0, { 1.0, random.between (0.003, 0.006), Biquad::highPass (300.0, 0.7) }, random);
    // ...and the spent air leaving the exhaust.
    addNoiseBurst (signal, 0.0, { 0.35, random.between (0.06, 0.12), Biquad::highPass (random.between (3000.0, 5000.0), 0.7) }, random);

    // The steel housing ringing, inharmonic like any struck metal.
    const double ringHz = std::lerp (1600.0, 900.0, spread) * random.between (0.95, 1.05);
    const double ratios[] = { 1.0, 2.32, 3.87, 5.1, 6.9 };
    for (int i = 0; i < 5; ++i)
    {
        const double hz = ringHz * ratios[i];
        addPartial (signal, 0.0,
                    { .startHz = hz,
                      .endHz = hz,
                      .gain = 0.3 / (1.0 + 0.8 * i),
                      .decaySeconds = random.between (0.06, 0.18) * (1.0 - 0.1 * i),
                      .phase = anyPhase (random) });
    }

    // The nail driving into the wood...
    const double thumpHz = std::lerp (110.0, 70.0, spread);
    addPartial (signal, 0.0,
                { .startHz = thumpHz,
                  .endHz = 55.0,
                  .glideSeconds = 0.03,
                  .gain = 0.8,
                  .decaySeconds = random.between (0.05, 0.09),
                  .phase = halfPi });
    addNoiseBurst (signal, 0.0, { 0.5, 0.02, Biquad::lowPass (400.0, 0.7) }, random);

    // ...its head seating a moment later...
    const double seatAt = random.between (0.008, 0.015);
    const double woodHz = random.between (600.0, 900.0);
    addPartial (signal, seatAt, { .startHz = woodHz, .endHz = woodHz, .gain = 0.35, .decaySeconds = 0.02 });
    addNoiseBurst (signal, seatAt, { 0.3, 0.002, Biquad::bandPass (2.0 * woodHz, 1.0) }, random);

    // ...and the workshop walls.
    addEcho (signal, random.between (0.025, 0.045), 0.25, 3000.0);
    return signal;
}

Signal driverThwack (const Variant& variant, Random& random)
{
    const double spread = variant.spread();
    Signal signal (static_cast<size_t> (framesFor (std::lerp (0.35, 0.62, spread) + random.between (0.0, 0.03))));

    // The face meeting the ball: a dry crack...
    addNoiseBurst (signal, 0.0, { 1.0, random.between (0.0015, 0.003), Biquad::highPass (1500.0, 0.7) }, random);

    // ...the hollow titanium head pinging, its modes in near pairs that beat like real metal...
    const double pingHz = std::lerp (5200.0, 3200.0, spread) * random.between (0.96, 1.04);
    const double ratios[] = { 1.0, 1.006, 0.52, 0.523, 1.71 };
    const double gains[] = { 0.45, 0.3, 0.35, 0.25, 0.15 };
    for (int i = 0; i < 5; ++i)
    {
        const double hz = pingHz * ratios[i];
        addPartial (
            signal, 0.0,
            { .startHz = hz, .endHz = hz, .gain = gains[i], .decaySeconds = random.between (0.06, 0.14), .phase = anyPhase (random) });
    }

    // ...the body of the club head...
    const double bodyHz = std::lerp (900.0, 500.0, spread);
    addPartial (signal, 0.0,
                { .startHz = bodyHz,
                  .endHz = 0.95 * bodyHz,
                  .glideSeconds = 0.02,
                  .gain = 0.45,
                  .decaySeconds = random.between (0.025, 0.04),
                  .phase = halfPi });

    // ...and the ball tearing away through the air.
    addNoiseBurst (signal, 0.004, { 0.15, random.between (0.12, 0.2), Biquad::bandPass (random.between (1000.0, 2000.0), 0.8) }, random);
    return signal;
}

Signal whipCrack (const Variant&, Random& random)
{
    Signal signal (static_cast<size_t> (framesFor (0.45)));

    // The tip outrunning sound...
    addShockWave (signal);
    addNoiseBurst (signal, 0.0, { 0.9, 0.004, Biquad::highPass (2000.0, 0.7) }, random);
    // ...the frayed cracker flapping...
    addCrackle (signal, 0.001, { 0.08, 2500.0, 1.6, Biquad::bandPass (4000.0, 0.9) }, random);
    // ...the air dragged behind the lash...
    addNoiseBurst (signal, 0.002, { 0.3, 0.1, Biquad::bandPass (800.0, 0.7) }, random);
    // ...and the yard answering twice.
    addEcho (signal, 0.047, 0.3, 2500.0);
    addEcho (signal, 0.11, 0.15, 1500.0);
    return signal;
}

} // namespace bopwell::assetgen
