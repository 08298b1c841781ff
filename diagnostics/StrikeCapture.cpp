#include "diagnostics/StrikeCapture.h"

#include "engine/FileReplacement.h"

namespace bopwell
{

void StrikeCapture::captureStep (const SensorFrame& frame, double rateHz, double threshold, bool gyroPresent) noexcept
{
    const int written = writeIndex;
    ring[static_cast<size_t> (written)] = frame;
    writeIndex = (writeIndex + 1) % ringSize;

    if (postCountdown > 0)
    {
        if (--postCountdown == 0)
        {
            const int first = (triggerIndex - StrikeCaptureSnapshot::preSamples + ringSize) % ringSize;
            for (int i = 0; i < StrikeCaptureSnapshot::frameCount; ++i)
                cut.frames[static_cast<size_t> (i)] = ring[static_cast<size_t> ((first + i) % ringSize)];
            captureReady.store (true, std::memory_order_release);
        }
        return;
    }

    if (captureReady.load (std::memory_order_acquire))
        return;

    if (armed && frame.raw > triggerLevel)
    {
        triggerIndex = written;
        cut.rateHz = rateHz;
        cut.threshold = threshold;
        cut.gyroPresent = gyroPresent;
        postCountdown = postSamples;
        armed = false;
    }
    else if (! armed && frame.raw < rearmLevel)
    {
        armed = true;
    }
}

bool StrikeCapture::takeOver (StrikeCaptureSnapshot& snapshot) noexcept
{
    if (! captureReady.load (std::memory_order_acquire))
        return false;
    snapshot = cut;
    captureReady.store (false, std::memory_order_release);
    return true;
}

std::string captureCsvText (const StrikeCaptureSnapshot& snapshot)
{
    const double rate = snapshot.rateHz > 50.0 ? snapshot.rateHz : 802.5;
    juce::String text;
    text << "# sensorRateHz," << juce::String (rate) << "\n"
         << "# preSamplesBeforeTrigger," << StrikeCaptureSnapshot::preSamples << "\n"
         << "# note,t=0 is the scope trigger (raw level crossing), NOT a detector fire\n"
         << "# note,the 'fired' column marks detector fires independently\n"
         << "# residualThreshold," << juce::String (snapshot.threshold) << "\n"
         << "# gyroPresent," << (snapshot.gyroPresent ? 1 : 0) << "\n"
         << "# axisMode,0\n"
         << "sample,t_ms,raw_g,env_g,dx_g,dy_g,dz_g,gx_dps,gy_dps,gz_dps,gyro_fresh,fired\n";

    for (int i = 0; i < StrikeCaptureSnapshot::frameCount; ++i)
    {
        const auto& f = snapshot.frames[static_cast<size_t> (i)];
        const double tMs = (i - StrikeCaptureSnapshot::preSamples) * 1000.0 / rate;
        text << i << "," << juce::String (tMs, 3) << "," << juce::String (static_cast<double> (f.raw), 6) << ","
             << juce::String (static_cast<double> (f.env), 6) << "," << juce::String (static_cast<double> (f.dx), 6) << ","
             << juce::String (static_cast<double> (f.dy), 6) << "," << juce::String (static_cast<double> (f.dz), 6) << ","
             << juce::String (static_cast<double> (f.gx), 4) << "," << juce::String (static_cast<double> (f.gy), 4) << ","
             << juce::String (static_cast<double> (f.gz), 4) << "," << static_cast<int> (f.gyroFresh) << "," << static_cast<int> (f.fired)
             << "\n";
    }
    return text.toStdString();
}

bool writeCaptureCsv (const juce::File& target, const StrikeCaptureSnapshot& snapshot)
{
    const auto text = captureCsvText (snapshot);
    return replaceFileWith (target, text.data(), text.size());
}

} // namespace bopwell
