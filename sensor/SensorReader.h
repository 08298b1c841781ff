#pragma once

#include "sensor/SensorOwnershipLock.h"
#include "sensor/platform/SensorPlatform.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

// The motion sensor as a stream of samples, one per accelerometer report, delivered to a callback
// on a thread of its own. Its public state is readable from any thread without locks.
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

    using Callback = std::function<void (const Sample&)>;

    explicit SensorReader (bopwell::platform::SensorPlatform& platform) noexcept;
    ~SensorReader();

    // Both run on the message thread, never from inside the callback.
    void start (Callback callback);
    void stop();

    bool isRunning() const noexcept { return running.load(); }
    bool hasFailed() const noexcept { return failed.load(); }
    bool hasGyro() const noexcept { return gyroAvailable.load(); }
    // Measured accelerometer report rate in Hz, 0 until first measured; kept across runs.
    double getSampleRateHz() const noexcept { return sampleRateHz.load (std::memory_order_relaxed); }
    const char* getErrorMessage() const noexcept { return errorMessage.load(); }

    // A stream replayed into the processor by its caller stands in for the sensor: any run of the
    // sensor thread is stopped, and the reader reads as running at the stream's rate.
    void replayAt (double rateHz);

private:
    class Run;

    void runThread();
    void fail (const char* message) noexcept;

    bopwell::platform::SensorPlatform& platform;
    Callback onSample;
    std::thread thread;
    bopwell::SensorOwnershipLock ownershipLock;

    std::atomic<bool> running { false };
    std::atomic<bool> failed { false };
    std::atomic<bool> gyroAvailable { false };
    std::atomic<bool> stopRequested { false };
    std::atomic<double> sampleRateHz { 0.0 };
    std::atomic<const char*> errorMessage { "" };

    std::mutex runLoopMutex;
    bopwell::platform::HidManager* runLoop = nullptr; // the sensor thread's, under runLoopMutex
};
