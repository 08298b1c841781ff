#include "engine/HitDetector.h"

#include <algorithm>
#include <cmath>

namespace bopwell
{

HitDetector::HitDetector() noexcept { setRate (nominalRateHz); }

void HitDetector::setRate (double rateHz) noexcept
{
    rate = rateHz;
    alpha = 1.0 / (0.2 * rate);
    windowW = std::clamp (static_cast<int> (std::round (0.005 * rate)), 1, maxEnvelopeWindow);
    spacingR = static_cast<int> (0.008 * rate);
    timeoutT = static_cast<int> (0.15 * rate);
    reset();
}

void HitDetector::installModel (const RingingModel& model) noexcept
{
    activeModel = model;
    reset();
}

void HitDetector::reset() noexcept
{
    filterReady = false;
    gravity = {};
    history = {};
    ring = {};
    ringIndex = 0;
    ringCount = 0;
    ringSum = 0.0;
    current = {};
    armed = true;
    sinceTrigger = spacingR;
    holdoff = windowW + 10;
    peakValue = 0.0;
    peakCountdown = 0;
    peakWindowLength = 0;
}

bool HitDetector::process (double accelX, double accelY, double accelZ, double threshold) noexcept
{
    const std::array<double, 3> accel { accelX, accelY, accelZ };

    if (! filterReady)
    {
        filterReady = true;
        gravity = accel;
    }

    for (size_t axis = 0; axis < 3; ++axis)
    {
        gravity[axis] += alpha * (accel[axis] - gravity[axis]);
        current.highPass[axis] = accel[axis] - gravity[axis];
    }

    const auto& hp = current.highPass;
    current.motion = std::sqrt (hp[0] * hp[0] + hp[1] * hp[1] + hp[2] * hp[2]);
    current.residual = residualOf (hp);
    pushHistory (hp);
    current.envelope = updateEnvelope (current.residual);

    return stepTrigger (current.envelope, threshold);
}

double HitDetector::residualOf (const std::array<double, 3>& highPass) const noexcept
{
    if (! activeModel.modelValid)
        return 0.0;

    double sumOfSquares = 0.0;
    for (int axis = 0; axis < 3; ++axis)
    {
        const auto& past = history[static_cast<size_t> (axis)];
        double prediction = 0.0;
        for (int lag = 1; lag <= RingingModel::order; ++lag)
            prediction += activeModel.coefficient (axis, lag) * past[static_cast<size_t> (lag - 1)];

        const double r = highPass[static_cast<size_t> (axis)] - prediction;
        sumOfSquares += r * r;
    }
    return std::sqrt (sumOfSquares);
}

void HitDetector::pushHistory (const std::array<double, 3>& highPass) noexcept
{
    for (size_t axis = 0; axis < 3; ++axis)
    {
        auto& past = history[axis];
        std::copy_backward (past.begin(), past.end() - 1, past.end());
        past[0] = highPass[axis];
    }
}

double HitDetector::updateEnvelope (double residual) noexcept
{
    auto& slot = ring[static_cast<size_t> (ringIndex)];
    ringSum = ringSum - slot + residual;
    slot = residual;
    ringIndex = (ringIndex + 1) % windowW;
    if (ringCount < windowW)
        ++ringCount;
    return ringSum / ringCount;
}

bool HitDetector::stepTrigger (double envelope, double threshold) noexcept
{
    if (holdoff > 0)
    {
        --holdoff;
        return false;
    }

    if (! activeModel.modelValid)
        return false;

    if (sinceTrigger <= sinceTriggerLimit - 1)
        ++sinceTrigger;

    if (peakCountdown >= 1)
    {
        peakValue = std::max (peakValue, envelope);
        return --peakCountdown == 0;
    }

    if (armed)
    {
        if (envelope > threshold && sinceTrigger >= spacingR)
        {
            armed = false;
            sinceTrigger = 0;
            peakValue = envelope;
            peakWindowLength = std::max (1, static_cast<int> (0.004 * rate));
            peakCountdown = peakWindowLength;
        }
        return false;
    }

    if (envelope < 0.5 * threshold || sinceTrigger >= timeoutT)
        armed = true;
    return false;
}

bool HitDetector::confirmFire() noexcept
{
    if (isEnabled())
        return true;
    peakValue = 0.0;
    return false;
}

} // namespace bopwell
