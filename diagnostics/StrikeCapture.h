#pragma once

#include "diagnostics/SensorFrame.h"

#include <juce_core/juce_core.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

namespace bopwell
{

// A cut capture: 32 samples before the trigger, the trigger, and 511 after it.
struct StrikeCaptureSnapshot
{
    static constexpr int preSamples = 32;
    static constexpr int frameCount = 544;

    std::array<SensorFrame, frameCount> frames {};
    double rateHz = 0.0;
    double threshold = 0.0;
    bool gyroPresent = false;
};

// Records the waveform of one strike, triggered by the raw motion level rather than the detector,
// so that it also shows strikes the detector did not accept. The sensor thread writes a ring and
// cuts the capture; the message thread takes it over. Nothing here blocks or allocates.
class StrikeCapture
{
public:
    static constexpr int ringSize = 1024;
    static constexpr int postSamples = 512;
    static constexpr float triggerLevel = 0.01f;
    static constexpr float rearmLevel = 0.006f;

    // Sensor thread, every sample; the rate, threshold and gyroscope flag are kept at a trigger.
    void captureStep (const SensorFrame& frame, double rateHz, double threshold, bool gyroPresent) noexcept;

    // Message thread: copies a finished capture and frees the way for the next one.
    bool takeOver (StrikeCaptureSnapshot& snapshot) noexcept;

private:
    std::array<SensorFrame, ringSize> ring {};
    int writeIndex = 0;
    bool armed = true;
    int postCountdown = -1;
    int triggerIndex = 0;
    StrikeCaptureSnapshot cut;
    std::atomic<bool> captureReady { false };
};

// The capture as "capture.csv": a commented header, then one row per frame.
std::string captureCsvText (const StrikeCaptureSnapshot& snapshot);

// Writes the text through a temporary file next to the target, then replaces the target.
bool writeCaptureCsv (const juce::File& target, const StrikeCaptureSnapshot& snapshot);

} // namespace bopwell
