#include "diagnostics/SessionHeaders.h"

#include "diagnostics/SessionScript.h"

namespace bopwell
{

namespace
{
    constexpr const char* columnLine = "sample,t_ms,raw_g,env_g,dx_g,dy_g,dz_g,gx_dps,gy_dps,gz_dps,gyro_fresh,fired,phase\n";

    // juce::String (double) writes six significant digits in general notation, like "%g".
    juce::String number (double value) { return juce::String (value); }

    void appendDetectorLines (juce::String& text, const SessionHeaderValues& values)
    {
        text << "# sensorRateHz," << number (sessionRateHz (values.appliedRateHz)) << "\n"
             << "# gyroPresent," << (values.gyroPresent ? 1 : 0) << "\n"
             << "# thresholdK," << number (values.thresholdK) << "\n"
             << "# calBackground," << number (values.calBackground) << "\n"
             << "# effThreshold," << number (values.effThreshold) << "\n"
             << "# modelValid," << (values.modelValid ? 1 : 0) << "\n";
    }

    void appendInputLines (juce::String& text, const SessionHeaderValues& values)
    {
        text << "# axisMode,0,0=vector magnitude 1=z only\n"
             << "# inputMax," << number (values.inputMax) << "\n";
    }

    void appendWindowLines (juce::String& text)
    {
        for (size_t n = 0; n < sessionWindows.size(); ++n)
        {
            const auto& window = sessionWindows[n];
            text << "# window" << static_cast<int> (n + 1) << "_seconds," << number (window.seconds) << ",target," << window.target
                 << ",label," << window.label << "\n";
        }
    }
} // namespace

juce::String scriptedSessionHeader (const SessionHeaderValues& values)
{
    juce::String text;
    appendDetectorLines (text, values);
    text << "# leadIn_s," << number (ScriptTiming::leadInSeconds) << "\n"
         << "# countIn_s," << number (ScriptTiming::countInSeconds) << "\n"
         << "# gap_s," << number (ScriptTiming::gapSeconds) << "\n"
         << "# tail_s," << number (ScriptTiming::tailSeconds) << "\n";
    appendWindowLines (text);
    text << "# note,phase column: 0 = outside any window, 1/2/3 = measurement windows\n";
    appendInputLines (text, values);
    text << "# guardSec," << number (ScriptTiming::guardSeconds) << ",labelled window extends this much past the visible cue\n"
         << "# note,fired marks the sample a few ms after onset (peak window)\n"
         << "# note,the cue is drawn by a 30 Hz timer so it can lag the phase flip by ~33 ms\n"
         << "# note,the guard band exists so a strike made on the cue stays inside its label\n"
         << "# note,trust only files that end with an END footer line\n"
         << columnLine;
    return text;
}

juce::String freeRunSessionHeader (const SessionHeaderValues& values, const juce::String& scenario, bool armed)
{
    juce::String text;
    appendDetectorLines (text, values);
    appendInputLines (text, values);
    text << "# mode,free\n"
         << "# scenario," << headerScenarioName (scenario) << "\n"
         << "# playback," << (armed ? "armed" : "suppressed") << "\n"
         << "# note,free-run session (S1-7a): no scripted windows; the phase column is always 0\n"
         << "# note,scoring attributes fires to real strike onsets (CRITERIA section 2), not window labels\n"
         << "# note,playback=armed files are excluded from recall/false scoring (option (a))\n"
         << "# note,fired marks the sample a few ms after onset (peak window)\n"
         << "# note,trust only files that end with an END footer line\n"
         << columnLine;
    return text;
}

} // namespace bopwell
