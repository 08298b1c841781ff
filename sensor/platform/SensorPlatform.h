#pragma once

#include "engine/EngineClock.h"

#include <juce_core/juce_core.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// What the sensor code needs from the operating system, in our own terms: a registry of driver
// services with properties, parents and children; HID devices that deliver input reports on a run
// loop; and a way to wait. The motion sensor exists only behind one platform's interfaces, so
// everything above this seam is written once and driven here by a simulated sensor hub.
namespace bopwell::platform
{

using EntryId = std::uint64_t;

struct PropertyValue
{
    enum class Kind
    {
        number,
        boolean,
        text,
        dictionary,
    };

    Kind kind = Kind::number;
    std::int64_t number = 0;
    bool boolean = false;
    std::string text;
    std::map<std::string, std::int64_t> dictionary;

    static PropertyValue ofNumber (std::int64_t value) { return { Kind::number, value, false, {}, {} }; }
    static PropertyValue ofBoolean (bool value) { return { Kind::boolean, 0, value, {}, {} }; }
    static PropertyValue ofText (std::string value) { return { Kind::text, 0, false, std::move (value), {} }; }
    static PropertyValue ofDictionary (std::map<std::string, std::int64_t> value)
    {
        return { Kind::dictionary, 0, false, {}, std::move (value) };
    }
};

class Registry
{
public:
    virtual ~Registry() = default;

    struct Children
    {
        std::vector<EntryId> entries;
        bool stillValid = true; // false when the registry changed while they were listed
    };

    // Services of a driver class, in registry order; nothing when the lookup fails.
    virtual std::optional<std::vector<EntryId>> servicesOfClass (std::string_view className) = 0;
    virtual std::optional<PropertyValue> property (EntryId entry, std::string_view key) = 0;
    virtual bool setIntegerProperty (EntryId entry, std::string_view key, std::int32_t value) = 0;
    virtual std::optional<EntryId> parent (EntryId entry) = 0;
    virtual std::optional<Children> children (EntryId entry) = 0;
    virtual bool conformsTo (EntryId entry, std::string_view className) = 0;
};

using HidDeviceId = std::uint64_t;

struct HidDeviceInfo
{
    HidDeviceId id = 0;
    std::optional<std::int64_t> primaryUsage;
    std::optional<std::int64_t> maxInputReportSize;
};

// Receives a device's input reports on the run loop's thread.
class ReportSink
{
public:
    virtual ~ReportSink() = default;
    virtual void handleReport (const std::uint8_t* report, std::size_t length) noexcept = 0;
};

// A HID manager scheduled on the sensor thread's run loop.
class HidManager
{
public:
    virtual ~HidManager() = default;

    enum class RunResult
    {
        timedOut,
        stopped,
        finished, // no sources left: the devices are gone
    };

    virtual bool open() = 0;
    // The matching devices; nothing when there is no device set at all.
    virtual std::optional<std::vector<HidDeviceInfo>> devices() = 0;
    // Schedules a device's reports to the sink, or unschedules it with a null sink.
    virtual void setReportSink (HidDeviceId device, ReportSink* sink) = 0;
    // Runs the run loop on the calling thread for at most the given time.
    virtual RunResult runFor (std::uint64_t nanoseconds) = 0;
    // Makes a running runFor return at once; callable from any thread.
    virtual void stop() = 0;
};

class HidSystem
{
public:
    virtual ~HidSystem() = default;
    // A manager matching devices of the usage page; null when none can be created.
    virtual std::unique_ptr<HidManager> createManager (std::int64_t primaryUsagePage) = 0;
};

class Sleeper
{
public:
    virtual ~Sleeper() = default;
    virtual void sleepNs (std::uint64_t nanoseconds) = 0;
};

// Everything the sensor reader runs against.
struct SensorPlatform
{
    Registry& registry;
    HidSystem& hid;
    Sleeper& sleeper;
    EngineClock& clock;
    juce::File lockFile;
    int processId = 0;

    // A platform without a motion sensor: starting fails at once. For tools and tests that feed
    // the processor samples themselves.
    static SensorPlatform& detached();
};

} // namespace bopwell::platform
