#pragma once

#include "calibration/RingingModel.h"
#include "sensor/SensorReader.h"

#include <array>
#include <cstdint>
#include <vector>

namespace bopwell
{

// What the laptop stands on: how it rings when tapped, and how noisy the sensor is at rest.
struct DeskSurface
{
    // Each axis rings as this predictor driven by the tap's contact pulse, as seen after the
    // detector's gravity removal (the domain the predictor is fitted in).
    RingingModel ringing;
    // Standard deviation of the sensor's own noise on each axis, in g.
    double noiseG = 0.0;

    // The surface the built-in profile was fitted to: a factory-profile detector sees each of its
    // taps once, and its quiet noise stays well under the factory threshold.
    static DeskSurface factoryFitted();

    // A desk whose modes (four per axis, 40 to 330 Hz) all still ring 0.1 s after a tap, where a
    // calibration starts learning the ringing; the factory profile does not predict it.
    static DeskSurface slowlyRinging (double rateHz = 800.0);
};

struct DeskTap
{
    // Gives the detector a strength near 0.02, a quarter of the velocity curve's input range.
    static constexpr double ordinaryStrengthG = 0.032;

    double timeSeconds = 0.0;
    // Peak acceleration of the contact pulse, in g.
    double strengthG = ordinaryStrengthG;
};

// A synthetic desk under the motion sensor: gravity, sensor noise, and taps that excite the
// surface's ringing. Deterministic for a given seed, and quantised to the sensor's resolution.
class DeskModel
{
public:
    static constexpr double sensorResolutionG = 1.0 / 65536.0;
    // A tap pushes for three samples and the desk springs back for three (7.5 ms at 800 Hz); the
    // push and the rebound cancel, so the desk comes back to rest where it was.
    static constexpr int contactSamples = 6;

    struct Options
    {
        double rateHz = 800.0;
        std::uint64_t seed = 1;
        DeskSurface surface = DeskSurface::factoryFitted();
        std::array<double, 3> gravityG { 0.0, 0.0, -1.0 };
        // The direction the contact pushes the sensor in; normalised by the model.
        std::array<double, 3> tapDirection { 0.3, 0.2, 0.93 };
    };

    DeskModel();
    explicit DeskModel (Options options);

    // Taps may be added in any order before the samples they start at are produced.
    void addTap (const DeskTap& tap);

    // The taps a user makes during a calibration that starts at the given time: after the settle
    // second and two quiet seconds, fifteen taps, light, medium and firm five times, far enough
    // apart for the desk to fall quiet in between. Returns when the calibration has surely ended.
    static constexpr std::array<double, 3> calibrationTapStrengthsG { 0.008, DeskTap::ordinaryStrengthG, 0.12 };
    double performCalibration (double startSeconds);

    SensorReader::Sample nextSample() noexcept;

    double rateHz() const noexcept { return opts.rateHz; }
    std::int64_t samplesProduced() const noexcept { return sampleIndex; }

private:
    struct ScheduledTap
    {
        std::int64_t startSample = 0;
        double strengthG = 0.0;
    };

    double contactAt (std::int64_t sample) const noexcept;
    double gaussian() noexcept;
    std::uint64_t nextRandom() noexcept;

    Options opts;
    std::array<double, 3> direction {};
    std::vector<ScheduledTap> taps; // sorted by start
    size_t firstLiveTap = 0;
    std::int64_t sampleIndex = 0;
    std::array<std::array<double, RingingModel::order>, 3> ringHistory {};
    std::array<double, 3> trackedGravity {};
    double gravityAlpha = 0.0;
    std::uint64_t rngState = 0;
};

} // namespace bopwell
