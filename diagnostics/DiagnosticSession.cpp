#include "diagnostics/DiagnosticSession.h"

namespace bopwell
{

DiagnosticSession::DiagnosticSession (EngineClock& engineClock) : clock (engineClock), sessionRecorder (engineClock) {}

bool DiagnosticSession::begin (const juce::File& file, const juce::String& header, const std::optional<juce::String>& scenario)
{
    if (! sessionRecorder.start (file, header))
        return false;

    sampleCounter = 0;
    finishing.store (false);
    freeRun.store (scenario.has_value());
    powerAllowed.store (scenario && isArmedScenario (*scenario));
    publish (scenario ? timeline.startFreeRun() : timeline.startScript());
    running.store (true);
    return true;
}

void DiagnosticSession::clearRunningFlags() noexcept
{
    running.store (false);
    finishing.store (false);
    freeRun.store (false);
    powerAllowed.store (false);
}

// The recorder stops outside the lock: draining the writer can take a wake-up period, and the
// sensor thread may be waiting for the lock meanwhile.
void DiagnosticSession::stopRecorder (int completed, int lastPhase)
{
    sessionRecorder.stop (completed, lastPhase);
    cueValue.store (-1);
    cueSecondsValue.store (0.0);
}

void DiagnosticSession::publish (const SessionTick& tick) noexcept
{
    statusValue.store (tick.status);
    cueValue.store (tick.cue);
    cueSecondsValue.store (tick.cueSeconds);
    lastWindowValue.store (tick.lastWindow);
}

int DiagnosticSession::completedStatus() const noexcept
{
    return sessionRecorder.getIoStatus() != 0 ? SessionStatus::failed : SessionStatus::finished;
}

void DiagnosticSession::stopByUser (bool sensorLost)
{
    if (! freeRun.load())
    {
        abandon (sensorLost);
        return;
    }

    {
        const std::lock_guard guard (sessionLock);
        if (freeRun.load())
            clearRunningFlags();
    }
    stopRecorder (1, 0);
    statusValue.store (completedStatus());
}

void DiagnosticSession::abandon (bool sensorLost)
{
    const bool failed = sessionRecorder.getIoStatus() != 0 || sensorLost;
    {
        const std::lock_guard guard (sessionLock);
        clearRunningFlags();
    }
    stopRecorder (0, lastWindowValue.load());
    statusValue.store (failed ? SessionStatus::failed : SessionStatus::stoppedByUser);
}

void DiagnosticSession::supervise (bool sensorLost)
{
    if (running.load() && (sessionRecorder.getIoStatus() != 0 || sensorLost))
    {
        {
            const std::lock_guard guard (sessionLock);
            clearRunningFlags();
        }
        stopRecorder (0, lastWindowValue.load());
        statusValue.store (SessionStatus::failed);
        return;
    }

    if (! finishing.load())
        return;

    bool scriptEnded = false;
    {
        const std::lock_guard guard (sessionLock);
        bool expected = true;
        scriptEnded = finishing.compare_exchange_strong (expected, false);
        if (scriptEnded)
            running.store (false);
    }
    if (scriptEnded)
    {
        stopRecorder (1, lastWindowValue.load());
        statusValue.store (completedStatus());
    }
}

void DiagnosticSession::recordSample (const SensorFrame& frame, double appliedRateHz) noexcept
{
    if (! running.load())
        return;

    const std::lock_guard guard (sessionLock);
    if (! running.load())
        return;

    const auto tick = timeline.advance (appliedRateHz);
    publish (tick);
    if (tick.finished)
    {
        running.store (false);
        finishing.store (true);
        return;
    }

    SessionRow row;
    row.sample = sampleCounter++;
    row.timeMicros = clock.nowNs() / 1000;
    row.frame = frame;
    row.phase = tick.phase;
    sessionRecorder.push (row);
}

} // namespace bopwell
