#pragma once

#include "calibration/RingingModel.h"

#include <array>

namespace bopwell
{

// The sensor thread's tap detector: removes gravity, subtracts the surface's predicted ringing,
// averages the residual's magnitude over 5 ms and opens a 4 ms peak window when that envelope
// crosses the threshold. Pure state, no locks and no allocation; the processor supplies the
// threshold, the model and the rate, and publishes what it finds.
class HitDetector
{
public:
    static constexpr double nominalRateHz = 802.5;
    static constexpr int maxEnvelopeWindow = 16;
    static constexpr int sinceTriggerLimit = 1'073'741'824;

    // What one sample left behind, for telemetry and the capture and recording feeds.
    struct Frame
    {
        std::array<double, 3> highPass {};
        double motion = 0.0;
        double residual = 0.0;
        double envelope = 0.0;
    };

    HitDetector() noexcept;

    // Derives the window lengths from a sensor rate and starts afresh.
    void setRate (double rateHz) noexcept;
    double rateHz() const noexcept { return rate; }

    // Adopts a ringing model; without a valid one the detector never triggers.
    void installModel (const RingingModel& model) noexcept;
    bool isEnabled() const noexcept { return activeModel.modelValid; }

    // Forgets everything learnt from earlier samples (after a rate change, a model change or a
    // gap in the stream) and ignores the next W + 10 samples, so a resumed stream cannot fire on
    // the step in its first samples.
    void reset() noexcept;

    // Runs one acceleration sample (g, gravity included) through the filters and the trigger.
    // Returns true when an open peak window closed at this sample: the caller then decides with
    // confirmFire() whether the hit fires.
    bool process (double accelX, double accelY, double accelZ, double threshold) noexcept;

    // The hit fires only if the detector is still enabled; otherwise the peak is discarded.
    bool confirmFire() noexcept;

    const Frame& frame() const noexcept { return current; }
    double peak() const noexcept { return peakValue; }
    int peakWindow() const noexcept { return peakWindowLength; }

    int envelopeWindow() const noexcept { return windowW; }
    int minimumSpacing() const noexcept { return spacingR; }
    int rearmTimeout() const noexcept { return timeoutT; }
    int holdoffRemaining() const noexcept { return holdoff; }

private:
    double residualOf (const std::array<double, 3>& highPass) const noexcept;
    void pushHistory (const std::array<double, 3>& highPass) noexcept;
    double updateEnvelope (double residual) noexcept;
    bool stepTrigger (double envelope, double threshold) noexcept;

    double rate = nominalRateHz;
    double alpha = 0.0;
    int windowW = 1;
    int spacingR = 0;
    int timeoutT = 0;

    bool filterReady = false;
    std::array<double, 3> gravity {};
    std::array<std::array<double, RingingModel::order>, 3> history {};
    std::array<double, maxEnvelopeWindow> ring {};
    int ringIndex = 0;
    int ringCount = 0;
    double ringSum = 0.0;

    bool armed = true;
    int sinceTrigger = 0;
    int holdoff = 0;
    int peakCountdown = 0;
    int peakWindowLength = 0;
    double peakValue = 0.0;

    RingingModel activeModel;
    Frame current;
};

} // namespace bopwell
