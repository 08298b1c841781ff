#include "calibration/CalibrationTexts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace bopwell
{

namespace
{
    template <typename... Args>
    std::string format (const char* pattern, Args... args)
    {
        const int length = std::snprintf (nullptr, 0, pattern, args...);
        std::string text (static_cast<size_t> (std::max (length, 0)), '\0');
        std::snprintf (text.data(), text.size() + 1, pattern, args...);
        return text;
    }
} // namespace

std::string calibrationMessageFor (int code)
{
    switch (code)
    {
        case 1: return "Not enough sensor data. Try again.";
        case 2: return "Calibration was interrupted. Try again.";
        case 3: return "A tap wasn't captured clearly. Try again.";
        case 4: return "Couldn't learn the vibration pattern. Try again.";
        case 5: return "A tap wasn't captured clearly. Try again.";
        case 6: return "Couldn't measure a reliable result. Try again.";
        case 7: return "The surface response wasn't clear. Tap the same spot firmly.";
        case 8: return "The surface response wasn't clear. Tap the same spot firmly.";
        case 9: return "The sensor stopped. Retry the sensor, then try again.";
        case 10: return "Calibration was interrupted. Try again.";
        case 11: return "Keep the MacBook still and try again.";
        case 12: return "Move to a steadier surface and try again.";
        default: return "Calibration was interrupted. Try again.";
    }
}

std::string calibrationDetailFor (int code)
{
    switch (code)
    {
        case 1: return "The background measurement did not receive enough sensor data";
        case 9: return "Sensor stopped during calibration";
        case 11: return "Movement was detected during the quiet background check";
        case 12: return "Background vibration changed too much during measurement";
        default: return "Calibration capture failed";
    }
}

std::string acceptedCalibrationText (const CalibrationResult& result)
{
    if (result.shakeRatio > 1.5)
        return format (
            "Calibration OK - margin %.1fx.  Press Apply.  (Background shook during capture - if detection feels off, recalibrate in "
            "a stiller moment.)",
            result.margin);
    return format ("Calibration OK - margin %.1fx.  Press Apply.", result.margin);
}

std::string failedCalibrationText (const CalibrationResult& result)
{
    return calibrationMessageFor (result.calibrationResultCode) + "\nPress Power to use your previous calibration.";
}

std::string technicalCalibrationText (const CalibrationResult& result)
{
    return format ("removal %.1f%%  bg %.6f (raw %.6f x%.1f)  weak %.5f  margin %.1fx  thr %.5f  [%s]", result.removal * 100.0,
                   result.background, result.backgroundRaw, result.shakeRatio, result.weakLevel, result.margin, result.thresholdLevel,
                   result.detail.c_str());
}

std::string failedTechnicalCalibrationText (const CalibrationResult& result)
{
    return "CALIBRATION FAILED - " + result.detail + format ("   margin %.2fx (gate 2.0x)", result.margin);
}

std::string tapInstruction (int tapCount)
{
    switch (((tapCount % 3) + 3) % 3)
    {
        case 0: return "Light Tap";
        case 1: return "Medium Tap";
        default: return "Firm Tap";
    }
}

std::string calibrationProgressText (int tapCount, const std::string& instruction)
{
    const int done = std::clamp (tapCount, 0, 15);
    const auto percent = static_cast<int> (std::lround (done * 100.0 / 15.0));
    return format ("%d of %d steps, %d percent\n%s", done, 15, percent, instruction.c_str());
}

} // namespace bopwell
