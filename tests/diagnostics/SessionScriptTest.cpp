#include "diagnostics/SessionScript.h"
#include "support/AllocationCounter.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

using namespace bopwell;

namespace
{
// A stretch of consecutive samples that the timeline put in the same step.
struct Stretch
{
    int status;
    int cue;
    int phase;
    int lastWindow;
    int samples;
};

// Runs a whole script at the given applied rate; returns its stretches and the finishing tick.
std::vector<Stretch> runScript (double appliedRateHz, SessionTick& finish)
{
    SessionTimeline timeline;
    timeline.startScript();
    std::vector<Stretch> stretches;
    for (int i = 0; i < 100'000; ++i)
    {
        const auto tick = timeline.advance (appliedRateHz);
        if (tick.finished)
        {
            finish = tick;
            break;
        }
        if (stretches.empty() || stretches.back().status != tick.status || stretches.back().cue != tick.cue)
            stretches.push_back ({ tick.status, tick.cue, tick.phase, tick.lastWindow, 0 });
        ++stretches.back().samples;
    }
    return stretches;
}
} // namespace

TEST (SessionTimeline, RunsTheScriptStepByStepAndFinishes)
{
    SessionTick finish;
    const auto stretches = runScript (800.0, finish);

    // A step of d seconds holds about d x 800 samples: each step starts whole on the sample that
    // enters it, and subtracting 1/800 again and again leaves some steps a sliver above zero that
    // costs them one more sample. 37.45 s in all.
    const std::vector<std::vector<int>> expected {
        // status, cue, phase, lastWindow, samples
        { 1, -1, 0, -1, 1'600 }, { 2, 0, 0, 1, 2'400 },  { 3, 0, 1, 1, 4'120 }, { 4, -1, 0, 1, 1'601 }, { 2, 1, 0, 2, 2'400 },
        { 3, 1, 2, 2, 4'120 },   { 4, -1, 0, 2, 1'601 }, { 2, 2, 0, 3, 2'400 }, { 3, 2, 3, 3, 8'120 },  { 5, -1, 0, 3, 1'601 },
    };
    ASSERT_EQ (stretches.size(), expected.size());
    int total = 0;
    for (size_t i = 0; i < expected.size(); ++i)
    {
        SCOPED_TRACE (i);
        EXPECT_EQ (stretches[i].status, expected[i][0]);
        EXPECT_EQ (stretches[i].cue, expected[i][1]);
        EXPECT_EQ (stretches[i].phase, expected[i][2]);
        EXPECT_EQ (stretches[i].lastWindow, expected[i][3]);
        EXPECT_EQ (stretches[i].samples, expected[i][4]);
        total += stretches[i].samples;
    }
    EXPECT_EQ (total, 29'963);

    EXPECT_EQ (finish.status, SessionStatus::finished);
    EXPECT_EQ (finish.cue, -1);
    EXPECT_EQ (finish.cueSeconds, 0.0);
    EXPECT_EQ (finish.lastWindow, 3);
}

TEST (SessionTimeline, CueSecondsCountDownFromEachStepsFullLength)
{
    SessionTimeline timeline;
    const auto first = timeline.startScript();
    EXPECT_EQ (first.status, SessionStatus::leadIn);
    EXPECT_EQ (first.cueSeconds, 2.0);
    EXPECT_DOUBLE_EQ (timeline.advance (800.0).cueSeconds, 2.0 - 1.0 / 800.0);

    SessionTick tick;
    do
        tick = timeline.advance (800.0);
    while (tick.status == SessionStatus::leadIn);
    EXPECT_EQ (tick.status, SessionStatus::countIn);
    EXPECT_EQ (tick.cueSeconds, 3.0); // the lead-in's overshoot is not carried over
}

TEST (SessionTimeline, CountsTimeAtTheNominalRateUntilTheSensorRateIsPlausible)
{
    struct Case
    {
        double appliedRateHz;
        double countedRateHz;
    };
    for (const auto& c : { Case { 0.0, 802.5 }, Case { 50.0, 802.5 }, Case { 50.5, 50.5 }, Case { 800.0, 800.0 } })
    {
        SCOPED_TRACE (c.appliedRateHz);
        EXPECT_EQ (sessionRateHz (c.appliedRateHz), c.countedRateHz);

        SessionTimeline timeline;
        const auto start = timeline.startFreeRun();
        EXPECT_EQ (start.status, SessionStatus::freeRun);
        EXPECT_EQ (start.cueSeconds, 0.0);
        SessionTick tick;
        for (int i = 0; i < 3; ++i)
            tick = timeline.advance (c.appliedRateHz);
        EXPECT_DOUBLE_EQ (tick.cueSeconds, 3.0 / c.countedRateHz);
        EXPECT_EQ (tick.status, SessionStatus::freeRun);
        EXPECT_EQ (tick.phase, 0);
        EXPECT_EQ (tick.cue, -1);
        EXPECT_FALSE (tick.finished);
    }
}

TEST (SessionTimeline, AdvancingAllocatesNothing)
{
    SessionTimeline timeline;
    timeline.startScript();
    const test::AllocationCounter counter;
    for (int i = 0; i < 40'000; ++i)
        timeline.advance (800.0);
    EXPECT_EQ (counter.allocations(), 0u);
}

TEST (SessionScenarios, BoxItemsSelectTheScriptOrAScenario)
{
    EXPECT_EQ (scenarioForItemId (scriptedItemId), nullptr);
    EXPECT_EQ (scenarioForItemId (0), nullptr);
    EXPECT_STREQ (scenarioForItemId (2), "single");
    EXPECT_STREQ (scenarioForItemId (9), "typing");
    EXPECT_STREQ (scenarioForItemId (15), "other");
    EXPECT_EQ (scenarioForItemId (16), nullptr);

    std::set<std::string> armed;
    for (const auto* scenario : sessionScenarios)
        if (isArmedScenario (scenario))
            armed.insert (scenario);
    EXPECT_EQ (armed, (std::set<std::string> { "self-feedback", "long-run" }));
}

TEST (SessionScenarios, HeaderNamesCannotBreakTheHeader)
{
    struct Case
    {
        juce::String scenario;
        juce::String headerName;
    };
    for (const auto& c : {
             Case { "typing", "typing" },
             Case { " desk,\r\n#knock ", "desk----knock" },
             Case { " \t ", "other" },
             Case { "", "other" },
             Case { juce::String::repeatedString ("x", 70), juce::String::repeatedString ("x", 64) },
         })
        EXPECT_EQ (headerScenarioName (c.scenario), c.headerName);
}
