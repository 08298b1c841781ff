#include "diagnostics/SessionHeaders.h"

#include <gtest/gtest.h>

using namespace bopwell;

namespace
{
SessionHeaderValues calibratedValues()
{
    SessionHeaderValues values;
    values.appliedRateHz = 799.87654; // six significant digits
    values.gyroPresent = true;
    values.thresholdK = 4.5;
    values.calBackground = 0.000123456789;
    values.effThreshold = 1e-7; // general notation switches to an exponent
    values.modelValid = false;
    values.inputMax = 2.0;
    return values;
}
} // namespace

TEST (SessionHeaders, ScriptedHeaderRecordsTheDetectorAndTheScript)
{
    EXPECT_EQ (scriptedSessionHeader (calibratedValues()),
               "# sensorRateHz,799.877\n"
               "# gyroPresent,1\n"
               "# thresholdK,4.5\n"
               "# calBackground,0.000123457\n"
               "# effThreshold,1e-07\n"
               "# modelValid,0\n"
               "# leadIn_s,2\n"
               "# countIn_s,3\n"
               "# gap_s,2\n"
               "# tail_s,2\n"
               "# window1_seconds,5,target,3,label,3 hits\n"
               "# window2_seconds,5,target,10,label,10 hits\n"
               "# window3_seconds,10,target,24,label,flam x6 (4 each)\n"
               "# note,phase column: 0 = outside any window, 1/2/3 = measurement windows\n"
               "# axisMode,0,0=vector magnitude 1=z only\n"
               "# inputMax,2\n"
               "# guardSec,0.15,labelled window extends this much past the visible cue\n"
               "# note,fired marks the sample a few ms after onset (peak window)\n"
               "# note,the cue is drawn by a 30 Hz timer so it can lag the phase flip by ~33 ms\n"
               "# note,the guard band exists so a strike made on the cue stays inside its label\n"
               "# note,trust only files that end with an END footer line\n"
               "sample,t_ms,raw_g,env_g,dx_g,dy_g,dz_g,gx_dps,gy_dps,gz_dps,gyro_fresh,fired,phase\n");
}

TEST (SessionHeaders, FreeRunHeaderNamesTheScenarioAndWhetherPlaybackIsArmed)
{
    EXPECT_EQ (freeRunSessionHeader (calibratedValues(), "typing", false),
               "# sensorRateHz,799.877\n"
               "# gyroPresent,1\n"
               "# thresholdK,4.5\n"
               "# calBackground,0.000123457\n"
               "# effThreshold,1e-07\n"
               "# modelValid,0\n"
               "# axisMode,0,0=vector magnitude 1=z only\n"
               "# inputMax,2\n"
               "# mode,free\n"
               "# scenario,typing\n"
               "# playback,suppressed\n"
               "# note,free-run session (S1-7a): no scripted windows; the phase column is always 0\n"
               "# note,scoring attributes fires to real strike onsets (CRITERIA section 2), not window labels\n"
               "# note,playback=armed files are excluded from recall/false scoring (option (a))\n"
               "# note,fired marks the sample a few ms after onset (peak window)\n"
               "# note,trust only files that end with an END footer line\n"
               "sample,t_ms,raw_g,env_g,dx_g,dy_g,dz_g,gx_dps,gy_dps,gz_dps,gyro_fresh,fired,phase\n");

    SessionHeaderValues unmeasured;
    unmeasured.modelValid = true;
    const auto longRun = freeRunSessionHeader (unmeasured, "long-run", true);
    EXPECT_TRUE (longRun.startsWith ("# sensorRateHz,802.5\n# gyroPresent,0\n# thresholdK,0\n"));
    EXPECT_TRUE (longRun.contains ("\n# modelValid,1\n"));
    EXPECT_TRUE (longRun.contains ("\n# scenario,long-run\n# playback,armed\n"));
    EXPECT_TRUE (freeRunSessionHeader (unmeasured, "desk,#1", false).contains ("\n# scenario,desk--1\n"));
}
