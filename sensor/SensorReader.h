#pragma once

#include <atomic>

// The motion sensor as the processor sees it: samples arrive through the processor's
// handleSensorSample, and its public state is readable from any thread without locks.
class SensorReader
{
public:
    // One reading, delivered once per accelerometer report.
    struct Sample
    {
        double accelX = 0.0; // g
        double accelY = 0.0;
        double accelZ = 0.0;
        double gyroX = 0.0; // degrees per second; the latest gyroscope report, 0 before the first
        double gyroY = 0.0;
        double gyroZ = 0.0;
        bool gyroFresh = false; // a gyroscope report arrived since the previous sample
    };

    // Measured accelerometer report rate in Hz, 0 until measured.
    double getSampleRateHz() const noexcept { return sampleRateHz.load (std::memory_order_relaxed); }
    bool hasFailed() const noexcept { return failed.load (std::memory_order_relaxed); }

    // The stream's rate estimator publishes here; a replayed stream states the rate it was
    // recorded at.
    void publishSampleRateHz (double hz) noexcept { sampleRateHz.store (hz, std::memory_order_relaxed); }

private:
    std::atomic<double> sampleRateHz { 0.0 };
    std::atomic<bool> failed { false };
};
