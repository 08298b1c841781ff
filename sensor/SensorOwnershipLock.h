#pragma once

#include <juce_core/juce_core.h>

namespace bopwell
{

enum class LockStatus
{
    acquired = 0,
    heldElsewhere = 1,
    failed = 2,
    unsafe = 3,
};

// One instance per user drives the motion sensor: a second one switching the sensor's stream on
// and off would fight the first. An advisory flock on a per-user file says who owns it; the
// operating system drops it with the process, so a file left by a crash never blocks anyone.
class SensorOwnershipLock
{
public:
    SensorOwnershipLock() = default;
    ~SensorOwnershipLock();
    SensorOwnershipLock (SensorOwnershipLock&& other) noexcept;
    SensorOwnershipLock& operator= (SensorOwnershipLock&& other) noexcept;
    SensorOwnershipLock (const SensorOwnershipLock&) = delete;
    SensorOwnershipLock& operator= (const SensorOwnershipLock&) = delete;

    // Where the lock lives: "Caches/Bopwell/motion-sensor.lock" in the user's application data.
    static juce::File defaultLockFile();

    static SensorOwnershipLock acquire (const juce::File& lockFile);

    LockStatus status() const noexcept { return lockStatus; }
    const char* message() const noexcept { return text; }
    bool isHeld() const noexcept { return lockStatus == LockStatus::acquired; }

    // Unlocks and closes; the file stays on disk.
    void release() noexcept;

private:
    int fd = -1;
    LockStatus lockStatus = LockStatus::failed;
    const char* text = "Cannot acquire the Bopwell sensor ownership lock";
};

} // namespace bopwell
