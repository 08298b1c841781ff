#pragma once

#include "diagnostics/SensorFrame.h"
#include "diagnostics/SessionRecorder.h"
#include "diagnostics/SessionScript.h"
#include "engine/EngineClock.h"

#include <juce_core/juce_core.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>

namespace bopwell
{

// A diagnostic recording session: its state, shared by the sensor thread (which steps it sample by
// sample and feeds the recorder) and the message thread (which starts, stops and supervises it).
// Every change of the running, finishing, free-run and allows-power flags happens under lock();
// the processor also holds lock() around every change that a running session refuses.
class DiagnosticSession
{
public:
    explicit DiagnosticSession (EngineClock& clock);

    std::mutex& lock() noexcept { return sessionLock; }

    // Message thread, with lock() held and the start conditions checked: opens the file and starts
    // the script, or a free run when a scenario is given. False when the file could not be started.
    bool begin (const juce::File& file, const juce::String& header, const std::optional<juce::String>& scenario);

    // Message thread. sensorLost: the sensor has failed or is not running.
    void stopByUser (bool sensorLost);
    // Ends whatever runs as a stopped script would end: used when the processor goes away.
    void abandon (bool sensorLost);
    // The timer's step: ends a session whose file or sensor failed, and closes a finished script.
    void supervise (bool sensorLost);

    // Sensor thread: steps the script and records the sample while a session runs.
    void recordSample (const SensorFrame& frame, double appliedRateHz) noexcept;

    bool isRunning() const noexcept { return running.load(); }
    bool isFinishing() const noexcept { return finishing.load(); }
    bool allowsPower() const noexcept { return powerAllowed.load(); }
    // One of the SessionStatus values.
    int status() const noexcept { return statusValue.load(); }
    int cue() const noexcept { return cueValue.load(); }
    double cueSeconds() const noexcept { return cueSecondsValue.load(); }
    const SessionRecorder& recorder() const noexcept { return sessionRecorder; }

private:
    void clearRunningFlags() noexcept;
    void stopRecorder (int completed, int lastPhase);
    void publish (const SessionTick& tick) noexcept;
    // What a completed session ends as: finished, unless its file failed.
    int completedStatus() const noexcept;

    EngineClock& clock;
    std::mutex sessionLock;

    std::atomic<bool> running { false };
    std::atomic<bool> finishing { false };
    std::atomic<bool> freeRun { false };
    std::atomic<bool> powerAllowed { false };
    std::atomic<std::int32_t> statusValue { 0 };
    std::atomic<std::int32_t> cueValue { -1 };
    std::atomic<double> cueSecondsValue { 0.0 };
    std::atomic<std::int32_t> lastWindowValue { -1 };

    // Under sessionLock
    SessionTimeline timeline;
    std::uint64_t sampleCounter = 0;

    SessionRecorder sessionRecorder;
};

} // namespace bopwell
