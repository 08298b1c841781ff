#include "diagnostics/SessionScript.h"

#include "engine/HitDetector.h"

namespace bopwell
{

double sessionRateHz (double appliedRateHz) noexcept { return appliedRateHz > 50.0 ? appliedRateHz : HitDetector::nominalRateHz; }

const char* scenarioForItemId (int itemId) noexcept
{
    const int index = itemId - firstScenarioItemId;
    if (index < 0 || index >= static_cast<int> (sessionScenarios.size()))
        return nullptr;
    return sessionScenarios[static_cast<size_t> (index)];
}

bool isArmedScenario (const juce::String& scenario) { return scenario == "self-feedback" || scenario == "long-run"; }

juce::String headerScenarioName (const juce::String& scenario)
{
    constexpr int maxLength = 64;
    const auto cleaned = scenario.replaceCharacters (",\r\n#", "----").trim().substring (0, maxLength);
    return cleaned.isEmpty() ? juce::String ("other") : cleaned;
}

namespace
{
    SessionTick tickFor (const ScriptStep& step, double remaining, int lastWindow) noexcept
    {
        SessionTick tick;
        tick.status = step.status;
        tick.cue = step.cue;
        tick.cueSeconds = remaining;
        tick.phase = step.phase;
        tick.lastWindow = lastWindow;
        return tick;
    }
} // namespace

SessionTick SessionTimeline::startScript() noexcept
{
    freeRun = false;
    stepIndex = 0;
    stepRemaining = scriptSteps[0].seconds;
    lastWindow = -1;
    return tickFor (scriptSteps[0], stepRemaining, lastWindow);
}

SessionTick SessionTimeline::startFreeRun() noexcept
{
    freeRun = true;
    elapsed = 0.0;
    lastWindow = -1;
    SessionTick tick;
    tick.status = SessionStatus::freeRun;
    return tick;
}

SessionTick SessionTimeline::advance (double appliedRateHz) noexcept
{
    const double seconds = 1.0 / sessionRateHz (appliedRateHz);
    if (! freeRun)
        return advanceScript (seconds);

    elapsed += seconds;
    SessionTick tick;
    tick.status = SessionStatus::freeRun;
    tick.cueSeconds = elapsed;
    return tick;
}

SessionTick SessionTimeline::advanceScript (double seconds) noexcept
{
    stepRemaining -= seconds;
    if (stepRemaining <= 0.0)
    {
        if (stepIndex == static_cast<int> (scriptSteps.size()) - 1)
        {
            SessionTick tick;
            tick.status = SessionStatus::finished;
            tick.lastWindow = lastWindow;
            tick.finished = true;
            return tick;
        }
        // The overshoot is dropped: each step starts whole on the sample that enters it.
        ++stepIndex;
        stepRemaining = scriptSteps[static_cast<size_t> (stepIndex)].seconds;
    }

    const auto& step = scriptSteps[static_cast<size_t> (stepIndex)];
    if (step.status == SessionStatus::countIn || step.status == SessionStatus::measuring)
        lastWindow = step.cue + 1;
    return tickFor (step, stepRemaining, lastWindow);
}

} // namespace bopwell
