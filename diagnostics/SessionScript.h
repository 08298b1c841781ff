#pragma once

#include <juce_core/juce_core.h>

#include <array>
#include <cstdint>

namespace bopwell
{

// The rate a session counts time with: the applied sensor rate once it is plausible, else the
// nominal one. Headers and the per-sample step must agree, so both come through here.
double sessionRateHz (double appliedRateHz) noexcept;

// What the editor's cue view shows (sessionStatus).
namespace SessionStatus
{
    constexpr int stoppedByUser = 0;
    constexpr int leadIn = 1;
    constexpr int countIn = 2;
    constexpr int measuring = 3;
    constexpr int gap = 4;
    constexpr int tail = 5;
    constexpr int finished = 6;
    constexpr int failed = 7;
    constexpr int freeRun = 8;
} // namespace SessionStatus

struct SessionWindow
{
    double seconds;
    int target;
    const char* label;
};

inline constexpr std::array<SessionWindow, 3> sessionWindows { {
    { 5.0, 3, "3 hits" },
    { 5.0, 10, "10 hits" },
    { 10.0, 24, "flam x6 (4 each)" },
} };

namespace ScriptTiming
{
    constexpr double leadInSeconds = 2.0;
    constexpr double countInSeconds = 3.0;
    constexpr double gapSeconds = 2.0;
    constexpr double tailSeconds = 2.0;
    // A strike made right on the cue's end still belongs to its window.
    constexpr double guardSeconds = 0.15;
} // namespace ScriptTiming

struct ScriptStep
{
    int status;
    int cue; // window index 0 to 2, or -1
    std::uint8_t phase;
    double seconds;
};

namespace detail
{
    constexpr ScriptStep countInTo (int window) { return { SessionStatus::countIn, window, 0, ScriptTiming::countInSeconds }; }

    constexpr ScriptStep measure (int window)
    {
        return { SessionStatus::measuring, window, static_cast<std::uint8_t> (window + 1),
                 sessionWindows[static_cast<size_t> (window)].seconds + ScriptTiming::guardSeconds };
    }

    constexpr ScriptStep gap { SessionStatus::gap, -1, 0, ScriptTiming::gapSeconds };
} // namespace detail

inline constexpr std::array<ScriptStep, 10> scriptSteps { {
    { SessionStatus::leadIn, -1, 0, ScriptTiming::leadInSeconds },
    detail::countInTo (0),
    detail::measure (0),
    detail::gap,
    detail::countInTo (1),
    detail::measure (1),
    detail::gap,
    detail::countInTo (2),
    detail::measure (2),
    { SessionStatus::tail, -1, 0, ScriptTiming::tailSeconds },
} };

// The free-run scenarios in the order of the scenario box; item 1 there is the script.
inline constexpr std::array<const char*, 14> sessionScenarios {
    "single",   "repeat",        "fast-pairs",         "flam",          "soft-to-hard", "hard-to-soft", "quiet", "typing",
    "trackpad", "speaker-music", "external-vibration", "self-feedback", "long-run",     "other"
};

constexpr int scriptedItemId = 1;
constexpr int firstScenarioItemId = 2;

// The scenario a box item selects, or nullptr when it selects the script.
const char* scenarioForItemId (int itemId) noexcept;

// Scenarios that record with Power allowed on ("armed"), because their point is playback itself.
bool isArmedScenario (const juce::String& scenario);

// The scenario as it may appear in a header field: no separators, line breaks or comment marks.
juce::String headerScenarioName (const juce::String& scenario);

// Where the session stands after one sensor sample.
struct SessionTick
{
    int status = SessionStatus::stoppedByUser;
    int cue = -1;
    double cueSeconds = 0.0;
    std::uint8_t phase = 0;
    int lastWindow = -1;
    bool finished = false; // the script ended at this sample: it records no row
};

// The per-sample bookkeeping of a running session, on the sensor thread: pure state, no
// allocation, no locks. The caller publishes the tick and builds the row.
class SessionTimeline
{
public:
    // Both return what to publish before the first sample.
    SessionTick startScript() noexcept;
    SessionTick startFreeRun() noexcept;

    SessionTick advance (double appliedRateHz) noexcept;

private:
    SessionTick advanceScript (double seconds) noexcept;

    bool freeRun = false;
    int stepIndex = 0;
    double stepRemaining = 0.0;
    double elapsed = 0.0;
    int lastWindow = -1;
};

} // namespace bopwell
