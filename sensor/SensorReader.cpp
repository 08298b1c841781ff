#include "sensor/SensorReader.h"

#include "sensor/SensorDriverControl.h"
#include "sensor/SensorReport.h"

#include <iostream>
#include <vector>

using namespace bopwell;

namespace
{
constexpr std::int64_t sensorUsagePage = 0xFF00;
constexpr std::uint64_t runLoopSliceNs = 250'000'000;
} // namespace

// Feeds one device's reports into the run's sample assembly.
class SensorReader::Run final : public platform::ReportSink
{
public:
    Run (SensorReader& owner, SampleAssembler& sharedAssembler, bool accelerometer) noexcept :
        reader (owner), assembler (sharedAssembler), isAccelerometer (accelerometer)
    {
    }

    void handleReport (const std::uint8_t* report, std::size_t length) noexcept override
    {
        const auto axes = decodeSensorReport (report, length);
        if (! axes)
            return;
        if (! isAccelerometer)
        {
            assembler.gyroscopeReport (*axes);
            return;
        }
        assembler.accelerometerReport (*axes,
                                       [this] (const Sample& sample)
                                       {
                                           if (reader.onSample)
                                               reader.onSample (sample);
                                       });
    }

private:
    SensorReader& reader;
    SampleAssembler& assembler;
    bool isAccelerometer;
};

SensorReader::SensorReader (platform::SensorPlatform& sensorPlatform) noexcept : platform (sensorPlatform) {}

SensorReader::~SensorReader() { stop(); }

void SensorReader::fail (const char* message) noexcept
{
    errorMessage.store (message);
    failed.store (true);
}

void SensorReader::start (Callback callback)
{
    if (thread.joinable())
        stop();

    auto lock = SensorOwnershipLock::acquire (platform.lockFile);
    if (! lock.isHeld())
    {
        onSample = nullptr;
        running.store (false);
        gyroAvailable.store (false);
        fail (lock.message());
        return;
    }

    ownershipLock = std::move (lock);
    onSample = std::move (callback);
    stopRequested.store (false);
    failed.store (false);
    gyroAvailable.store (false);
    errorMessage.store ("");

    try
    {
        thread = std::thread ([this] { runThread(); });
    }
    catch (...)
    {
        onSample = nullptr;
        running.store (false);
        gyroAvailable.store (false);
        fail ("Could not create the sensor thread");
        ownershipLock.release();
    }
}

void SensorReader::stop()
{
    stopRequested.store (true);
    {
        const std::lock_guard lock (runLoopMutex);
        if (runLoop != nullptr)
            runLoop->stop();
    }
    if (thread.joinable())
        thread.join();
    running.store (false);
    onSample = nullptr;
    ownershipLock.release();
}

void SensorReader::replayAt (double rateHz)
{
    stop();
    failed.store (false);
    gyroAvailable.store (false);
    errorMessage.store ("");
    sampleRateHz.store (rateHz, std::memory_order_relaxed);
    running.store (true);
}

void SensorReader::runThread()
{
    SensorDriverControl drivers (platform.registry, platform.sleeper, platform.clock, platform.processId);
    DriverRestoreGuard restoreGuard (drivers, std::cerr); // leaves with the thread, on every path

    if (const auto problem = drivers.prepareSensorDrivers (restoreGuard.needsRestore))
        return fail (problem);

    auto manager = platform.hid.createManager (sensorUsagePage);
    if (manager == nullptr)
        return fail ("IOHIDManagerCreate failed");

    auto publishRunLoop = [this] (platform::HidManager* loop)
    {
        const std::lock_guard lock (runLoopMutex);
        runLoop = loop;
    };
    publishRunLoop (manager.get());

    if (! manager->open())
    {
        publishRunLoop (nullptr);
        return fail ("IOHIDManagerOpen failed - cannot access the motion sensors");
    }

    const auto devices = manager->devices();
    if (! devices || devices->empty())
    {
        publishRunLoop (nullptr);
        return fail ("No motion sensor found (requires M1 Pro or newer)");
    }

    struct TakenDevice
    {
        platform::HidDeviceId id;
        bool isAccelerometer;
    };
    std::vector<TakenDevice> taken;
    bool haveAccelerometer = false;
    for (const auto& device : *devices)
    {
        if (device.maxInputReportSize != static_cast<std::int64_t> (sensorReportLength) || ! device.primaryUsage)
            continue;
        if (*device.primaryUsage == 3 && ! haveAccelerometer)
        {
            taken.push_back ({ device.id, true });
            haveAccelerometer = true;
        }
        else if (*device.primaryUsage == 9)
        {
            taken.push_back ({ device.id, false });
            gyroAvailable.store (true);
        }
    }
    if (! haveAccelerometer)
    {
        gyroAvailable.store (false);
        publishRunLoop (nullptr);
        return fail ("Accelerometer not found (requires M1 Pro or newer)");
    }

    SampleAssembler assembler;
    Run accelerometerRun (*this, assembler, true);
    Run gyroscopeRun (*this, assembler, false);
    for (const auto& device : taken)
        manager->setReportSink (device.id, device.isAccelerometer ? static_cast<platform::ReportSink*> (&accelerometerRun) : &gyroscopeRun);

    running.store (true);
    SensorRateEstimator rate;
    rate.start (platform.clock.nowNs(), 0);
    while (! stopRequested.load())
    {
        if (manager->runFor (runLoopSliceNs) == platform::HidManager::RunResult::finished)
        {
            fail ("Motion sensor disappeared (device removed?)");
            break;
        }
        if (const auto measured = rate.update (platform.clock.nowNs(), assembler.accelerometerReports()))
            sampleRateHz.store (*measured, std::memory_order_relaxed);
    }

    for (const auto& device : taken)
        manager->setReportSink (device.id, nullptr);
    publishRunLoop (nullptr);
    manager.reset();
    running.store (false);
}
