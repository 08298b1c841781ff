#include "sensor/platform/DeskModel.h"

#include "calibration/FactoryProfile.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace bopwell
{

namespace
{
    // Push 0.5, 1, 0.5 of the tap's strength, then rebound -0.5, -1, -0.5.
    double contactShape (std::int64_t offset) noexcept
    {
        constexpr int half = DeskModel::contactSamples / 2;
        const double s = std::sin (std::numbers::pi * static_cast<double> (offset % half + 1) / (half + 1));
        return offset < half ? s * s : -s * s;
    }

    double quantise (double g) noexcept { return std::round (g / DeskModel::sensorResolutionG) * DeskModel::sensorResolutionG; }
} // namespace

DeskSurface DeskSurface::factoryFitted()
{
    // The factory profile's quiet envelope sits near 3e-5 g, which this noise reproduces.
    return { factory::ringingModel(), 1.0e-5 };
}

DeskSurface DeskSurface::slowlyRinging (double rateHz)
{
    struct Mode
    {
        double hz;
        double decaySeconds; // time to fall to 1/e
    };
    const std::array<std::array<Mode, 4>, 3> modes { {
        { { { 40, 0.15 }, { 95, 0.11 }, { 170, 0.08 }, { 260, 0.06 } } },
        { { { 48, 0.14 }, { 110, 0.10 }, { 190, 0.08 }, { 300, 0.06 } } },
        { { { 55, 0.13 }, { 125, 0.10 }, { 215, 0.07 }, { 330, 0.06 } } },
    } };

    DeskSurface surface { {}, 1.0e-5 };
    for (size_t axis = 0; axis < modes.size(); ++axis)
    {
        // Each mode is a pair of poles: the predictor's characteristic polynomial in one sample
        // back, q, is the product of 1 - 2 r cos(theta) q + r^2 q^2 over the modes.
        std::vector<double> polynomial { 1.0 };
        for (const auto& mode : modes[axis])
        {
            const double r = std::exp (-1.0 / (mode.decaySeconds * rateHz));
            const double q1 = -2.0 * r * std::cos (2.0 * std::numbers::pi * mode.hz / rateHz);
            const double q2 = r * r;
            std::vector<double> product (polynomial.size() + 2, 0.0);
            for (size_t k = 0; k < polynomial.size(); ++k)
            {
                product[k] += polynomial[k];
                product[k + 1] += q1 * polynomial[k];
                product[k + 2] += q2 * polynomial[k];
            }
            polynomial = product;
        }
        for (size_t lag = 1; lag <= RingingModel::order; ++lag)
            surface.ringing.coefs[axis * RingingModel::order + lag - 1] = -polynomial[lag];
    }
    surface.ringing.modelValid = true;
    return surface;
}

double DeskModel::performCalibration (double startSeconds)
{
    constexpr double settleAndQuietSeconds = 3.0;
    constexpr double firstTapAfterQuietSeconds = 0.3;
    // A firm tap rings for over a second; the procedure waits for the desk to fall quiet first.
    constexpr double tapSpacingSeconds = 2.0;
    constexpr int calibrationTaps = 15;
    const double firstTap = startSeconds + settleAndQuietSeconds + firstTapAfterQuietSeconds;
    for (int i = 0; i < calibrationTaps; ++i)
        addTap ({ firstTap + i * tapSpacingSeconds, calibrationTapStrengthsG[static_cast<size_t> (i % 3)] });
    return firstTap + (calibrationTaps - 1) * tapSpacingSeconds + 1.5;
}

DeskModel::DeskModel() : DeskModel (Options {}) {}

DeskModel::DeskModel (Options options) : opts (std::move (options))
{
    const auto& d = opts.tapDirection;
    const double length = std::sqrt (d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    for (size_t axis = 0; axis < 3; ++axis)
        direction[axis] = length > 0.0 ? d[axis] / length : 0.0;

    trackedGravity = opts.gravityG;
    gravityAlpha = 1.0 / (0.2 * opts.rateHz);

    // splitmix-style scrambling so that small neighbouring seeds give unrelated noise.
    rngState = opts.seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull;
    if (rngState == 0)
        rngState = 1;
}

void DeskModel::addTap (const DeskTap& tap)
{
    const auto start = static_cast<std::int64_t> (std::llround (tap.timeSeconds * opts.rateHz));
    const ScheduledTap scheduled { start, tap.strengthG };
    const auto at =
        std::upper_bound (taps.begin(), taps.end(), scheduled, [] (const auto& a, const auto& b) { return a.startSample < b.startSample; });
    const auto position = static_cast<size_t> (at - taps.begin());
    taps.insert (at, scheduled);
    firstLiveTap = std::min (firstLiveTap, position);
}

double DeskModel::contactAt (std::int64_t sample) const noexcept
{
    double contact = 0.0;
    for (size_t i = firstLiveTap; i < taps.size() && taps[i].startSample <= sample; ++i)
    {
        const auto offset = sample - taps[i].startSample;
        if (offset < contactSamples)
            contact += taps[i].strengthG * contactShape (offset);
    }
    return contact;
}

SensorReader::Sample DeskModel::nextSample() noexcept
{
    const double contact = contactAt (sampleIndex);
    while (firstLiveTap < taps.size() && taps[firstLiveTap].startSample + contactSamples <= sampleIndex)
        ++firstLiveTap;

    std::array<double, 3> accel {};
    for (int axis = 0; axis < 3; ++axis)
    {
        auto& past = ringHistory[static_cast<size_t> (axis)];
        double ring = contact * direction[static_cast<size_t> (axis)];
        for (int lag = 1; lag <= RingingModel::order; ++lag)
            ring += opts.surface.ringing.coefficient (axis, lag) * past[static_cast<size_t> (lag - 1)];
        std::copy_backward (past.begin(), past.end() - 1, past.end());
        past[0] = ring;

        // Undo a gravity tracker like the detector's, so that once gravity is removed the ringing
        // is exactly the predictor's: the surface the factory profile describes.
        auto& gravity = trackedGravity[static_cast<size_t> (axis)];
        const double motion = gravity + ring / (1.0 - gravityAlpha);
        gravity += gravityAlpha * (motion - gravity);

        const double noise = opts.surface.noiseG * gaussian();
        accel[static_cast<size_t> (axis)] = quantise (motion + noise);
    }

    ++sampleIndex;
    return { accel[0], accel[1], accel[2], 0.0, 0.0, 0.0, false };
}

std::uint64_t DeskModel::nextRandom() noexcept
{
    rngState ^= rngState << 13;
    rngState ^= rngState >> 7;
    rngState ^= rngState << 17;
    return rngState;
}

double DeskModel::gaussian() noexcept
{
    // Box-Muller on our own generator keeps streams identical across standard libraries.
    const double u1 = (static_cast<double> (nextRandom() >> 11) + 1.0) / 9007199254740993.0;
    const double u2 = static_cast<double> (nextRandom() >> 11) / 9007199254740992.0;
    return std::sqrt (-2.0 * std::log (u1)) * std::cos (2.0 * std::numbers::pi * u2);
}

} // namespace bopwell
