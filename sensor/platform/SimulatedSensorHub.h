#pragma once

#include "sensor/platform/DeskModel.h"
#include "sensor/platform/SensorPlatform.h"

#include <atomic>
#include <condition_variable>
#include <limits>
#include <mutex>

namespace bopwell::platform
{

// How the hub's time passes: with the wall clock (the app, live runs) or with a manual clock that
// jumps straight to the next event (tests), so that a second of streaming takes no time at all.
class Timeline : public Sleeper
{
public:
    virtual std::uint64_t nowNs() = 0;
    virtual void sleepUntilNs (std::uint64_t instant) = 0;
    void sleepNs (std::uint64_t nanoseconds) override { sleepUntilNs (nowNs() + nanoseconds); }
};

class RealTimeline final : public Timeline
{
public:
    std::uint64_t nowNs() override { return EngineClock::steady().nowNs(); }
    void sleepUntilNs (std::uint64_t instant) override;
};

class VirtualTimeline final : public Timeline
{
public:
    enum class Start
    {
        running,
        held, // no thread gets past the clock's present instant until runUntil lets it
    };

    explicit VirtualTimeline (ManualEngineClock& clockToDrive, Start start = Start::running) noexcept :
        clock (clockToDrive), limit (start == Start::held ? clockToDrive.nowNs() : std::numeric_limits<std::uint64_t>::max())
    {
    }
    std::uint64_t nowNs() override { return clock.nowNs(); }
    void sleepUntilNs (std::uint64_t instant) override;

    // Holds time back: a thread sleeping past the instant waits there until allowed further. Returns
    // once such a thread has everything before the instant done and is waiting, or false after a
    // few seconds of real time when no thread came (it ended, or never slept).
    bool runUntil (std::uint64_t instant);
    // Lets time run freely again; needed before a held sensor thread can be stopped.
    void release();

private:
    ManualEngineClock& clock;
    std::mutex gate;
    std::condition_variable moved;
    std::uint64_t limit;
    bool someoneWaiting = false;
};

// A stand-in for the laptop's sensor hub: two driver services (accelerometer and gyroscope) with
// the properties the sensor code reads and writes, their HID interfaces and devices, event counters
// that move only while the stream is switched on, user clients, and two HID devices that send
// 22-byte reports carrying a desk model's motion. Knobs reproduce the ways real hardware fails.
class SimulatedSensorHub final : public Registry, public HidSystem
{
public:
    static constexpr double accelerometerRateHz = 800.0;
    static constexpr double gyroscopeRateHz = 100.0;

    struct Knobs
    {
        bool thirdDriver = false;           // a second accelerometer driver shows up
        bool gyroCounterStuck = false;      // the gyroscope's counter never moves
        std::uint64_t counterResetAtNs = 0; // both counters restart from 0 at this instant (0: never)
        bool alreadyStreaming = false;      // someone left the stream on before we came
        bool poweredBefore = false;         // idle, but powered by an earlier run
        bool foreignClient = false;         // another process has the accelerometer open
        bool hidCreateFails = false;
        bool hidOpenFails = false;
        bool noDevices = false;
        bool noGyroscope = false;
        bool propertyWritesFail = false;
        std::uint64_t disappearAfterNs = 0; // the devices vanish this long after streaming starts (0: never)
        std::uint64_t stallFromNs = 0;      // no reports between these two instants after streaming starts
        std::uint64_t stallUntilNs = 0;
        int wrongLengthEvery = 0; // every n-th report is 21 bytes long (0: never)
    };

    explicit SimulatedSensorHub (Timeline& timeline);
    SimulatedSensorHub (Timeline& timeline, DeskModel::Options desk, Knobs knobs);

    // Taps for the desk, in seconds from the first accelerometer report; add each before the
    // samples it starts at are sent.
    void addTap (const DeskTap& tap);
    // A calibration's taps (DeskModel::performCalibration) from the given desk time on.
    double performCalibration (double startSeconds);
    // How far into the stream the desk is, in seconds of samples sent.
    double deskSeconds() const;

    // The platform the sensor reader runs against, with its own lock file.
    SensorPlatform platform (EngineClock& clock, juce::File lockFile, int processId);

    // What the drivers were told, for tests: "usage:key=value" in the order written.
    std::vector<std::string> propertyWrites() const;
    std::int32_t driverProperty (int usage, std::string_view key) const;
    void failPropertyWrites (bool shouldFail);
    std::int64_t eventCount (int usage) const;
    int openManagers() const { return managersOpen.load(); }

    // Registry
    std::optional<std::vector<EntryId>> servicesOfClass (std::string_view className) override;
    std::optional<PropertyValue> property (EntryId entry, std::string_view key) override;
    bool setIntegerProperty (EntryId entry, std::string_view key, std::int32_t value) override;
    std::optional<EntryId> parent (EntryId entry) override;
    std::optional<Children> children (EntryId entry) override;
    bool conformsTo (EntryId entry, std::string_view className) override;

    // HidSystem
    std::unique_ptr<HidManager> createManager (std::int64_t primaryUsagePage) override;

private:
    class Manager;
    friend class Manager;

    struct Entry
    {
        std::string className;
        EntryId parent = 0;
        std::map<std::string, PropertyValue, std::less<>> properties;
        std::vector<EntryId> children;
    };

    struct Stream
    {
        bool on = false;
        std::int64_t baseCount = 0;
        std::uint64_t sinceNs = 0;
        double rateHz = 0.0;
    };

    EntryId addEntry (std::string className, EntryId parentEntry, std::map<std::string, PropertyValue, std::less<>> properties);
    void addSensor (int usage);
    void addClient (EntryId owner, const std::string& creator);
    void removeClients (const std::string& creator);
    std::int64_t countNow (int usage) const;
    void updateStream (int usage);
    EntryId driverFor (int usage) const;
    bool streaming (int usage) const;

    Timeline& timeline;
    Knobs knobs;
    DeskModel desk;
    mutable std::recursive_mutex lock;
    std::map<EntryId, Entry> entries;
    std::map<int, Stream> streams; // by usage
    EntryId nextId = 1;
    std::atomic<int> managersOpen { 0 };
    int processId = 0;
    std::vector<std::string> writes;
};

} // namespace bopwell::platform
