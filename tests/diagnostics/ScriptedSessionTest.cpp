#include "SessionFixtures.h"
#include "diagnostics/SessionHeaders.h"
#include "diagnostics/SessionRecorder.h"
#include "diagnostics/SessionScript.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace bopwell;

// The scripted session end to end, as the processor runs it: timeline, rows, recorder, file.
TEST (ScriptedSession, RecordsThePhaseColumnAndEndsCompleted)
{
    test::TempFolder folder;
    const auto file = folder.file ("session.csv");
    ManualEngineClock clock;
    test::HeldWriterPacing pacing;
    SessionRecorder recorder (clock, pacing);
    ASSERT_TRUE (recorder.start (file, scriptedSessionHeader ({})));
    ASSERT_TRUE (pacing.awaitHold (1));

    SessionTimeline timeline;
    timeline.startScript();
    std::uint64_t sample = 0;
    SessionTick tick;
    for (;;)
    {
        clock.advanceNs (1'250'000);
        tick = timeline.advance (800.0);
        if (tick.finished)
            break;
        SessionRow row;
        row.sample = sample++;
        row.timeMicros = clock.nowNs() / 1000;
        row.phase = tick.phase;
        recorder.push (row);
        if (sample % 4'000 == 0)
        {
            ASSERT_TRUE (pacing.runOnePass());
        }
    }
    recorder.stop (1, tick.lastWindow);

    const auto lines = test::fileLines (file);
    ASSERT_EQ (sample, 29'963u);
    ASSERT_EQ (lines.size(), 22u + sample + 1u);
    std::vector<std::pair<char, int>> phaseRuns; // phase digit, rows
    for (size_t i = 22; i + 1 < lines.size(); ++i)
    {
        const char phase = lines[i].back();
        if (phaseRuns.empty() || phaseRuns.back().first != phase)
            phaseRuns.push_back ({ phase, 0 });
        ++phaseRuns.back().second;
    }
    ASSERT_EQ (phaseRuns.size(), 7u);
    EXPECT_EQ (phaseRuns[1].first, '1');
    EXPECT_EQ (phaseRuns[1].second, 4'120);
    EXPECT_EQ (phaseRuns[3].first, '2');
    EXPECT_EQ (phaseRuns[3].second, 4'120);
    EXPECT_EQ (phaseRuns[5].first, '3');
    EXPECT_EQ (phaseRuns[5].second, 8'120);
    EXPECT_EQ (phaseRuns[6].first, '0');
    EXPECT_EQ (lines.back(), "# END,rows," + std::to_string (sample) + ",dropped,0,completed,1,lastPhase,3,durationUs,"
                                 + std::to_string ((sample + 1) * 1'250));
}
