#include "sensor/platform/SimulatedSensorHub.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>
#include <unistd.h>

namespace bopwell::platform
{

namespace
{
    constexpr int accelerometerUsage = 3;
    constexpr int gyroscopeUsage = 9;
    constexpr std::int64_t sensorUsagePage = 0xFF00;
    constexpr std::size_t reportLength = 22;

    std::uint64_t periodNs (double rateHz) { return static_cast<std::uint64_t> (1e9 / rateHz); }

    void putFixedPoint (std::uint8_t* at, double value)
    {
        const auto raw = static_cast<std::uint32_t> (static_cast<std::int32_t> (std::lround (value * 65536.0)));
        for (int i = 0; i < 4; ++i)
            at[i] = static_cast<std::uint8_t> (raw >> (8 * i));
    }
} // namespace

void RealTimeline::sleepUntilNs (std::uint64_t instant)
{
    std::this_thread::sleep_until (std::chrono::steady_clock::time_point (std::chrono::nanoseconds (instant)));
}

void VirtualTimeline::sleepUntilNs (std::uint64_t instant)
{
    std::unique_lock lock (gate);
    while (instant > limit)
    {
        if (limit > clock.nowNs())
            clock.setNs (limit);
        someoneWaiting = true;
        moved.notify_all();
        moved.wait (lock);
        someoneWaiting = false;
    }
    if (instant > clock.nowNs())
        clock.setNs (instant);
}

void VirtualTimeline::release()
{
    const std::lock_guard lock (gate);
    limit = std::numeric_limits<std::uint64_t>::max();
    moved.notify_all();
}

bool VirtualTimeline::runUntil (std::uint64_t instant)
{
    std::unique_lock lock (gate);
    limit = instant;
    someoneWaiting = false;
    moved.notify_all();
    return moved.wait_for (lock, std::chrono::seconds (5), [this, instant] { return someoneWaiting && clock.nowNs() >= instant; });
}

//==============================================================================
// The HID side: a manager that, while its run loop runs, sends each device's reports at their
// instants on the timeline.
class SimulatedSensorHub::Manager final : public HidManager
{
public:
    Manager (SimulatedSensorHub& owner, std::string creatorText) : hub (owner), creator (std::move (creatorText)) {}

    ~Manager() override
    {
        if (! opened)
            return;
        hub.removeClients (creator);
        --hub.managersOpen;
    }

    bool open() override
    {
        if (hub.knobs.hidOpenFails)
            return false;
        opened = true;
        ++hub.managersOpen;
        const std::lock_guard guard (hub.lock);
        for (const int usage : { accelerometerUsage, gyroscopeUsage })
            if (const auto driver = hub.driverFor (usage))
                hub.addClient (hub.entries.at (hub.entries.at (driver).parent).parent, creator);
        return true;
    }

    std::optional<std::vector<HidDeviceInfo>> devices() override
    {
        if (hub.knobs.noDevices)
            return std::vector<HidDeviceInfo> {};
        // A device of the same page with a larger report is not one of ours and must be skipped.
        std::vector<HidDeviceInfo> found { { 90, accelerometerUsage, 64 }, { accelerometerUsage, accelerometerUsage, reportLength } };
        if (! hub.knobs.noGyroscope)
            found.push_back ({ gyroscopeUsage, gyroscopeUsage, reportLength });
        return found;
    }

    void setReportSink (HidDeviceId device, ReportSink* sink) override
    {
        if (device == accelerometerUsage)
            accelerometerSink = sink;
        else if (device == gyroscopeUsage)
            gyroscopeSink = sink;
    }

    RunResult runFor (std::uint64_t nanoseconds) override;

    void stop() override { stopRequested.store (true); }

private:
    struct Schedule
    {
        ReportSink* sink = nullptr;
        std::uint64_t nextNs = 0;
        std::uint64_t periodNs = 0;
        bool started = false;
    };

    bool streamGone (std::uint64_t now) const;
    bool stalled (std::uint64_t now) const;
    bool prepare (Schedule& schedule, int usage, std::uint64_t now);
    void send (int usage, std::uint64_t instant);

    SimulatedSensorHub& hub;
    std::string creator;
    bool opened = false;
    ReportSink* accelerometerSink = nullptr;
    ReportSink* gyroscopeSink = nullptr;
    Schedule accelerometer;
    Schedule gyroscope;
    std::uint64_t reportsSent = 0;
    std::atomic<bool> stopRequested { false };
};

bool SimulatedSensorHub::Manager::streamGone (std::uint64_t now) const
{
    const std::lock_guard guard (hub.lock);
    const auto& stream = hub.streams.at (accelerometerUsage);
    return hub.knobs.disappearAfterNs != 0 && stream.on && now >= stream.sinceNs + hub.knobs.disappearAfterNs;
}

bool SimulatedSensorHub::Manager::stalled (std::uint64_t now) const
{
    const std::lock_guard guard (hub.lock);
    const auto since = hub.streams.at (accelerometerUsage).sinceNs;
    return hub.knobs.stallUntilNs > hub.knobs.stallFromNs && now >= since + hub.knobs.stallFromNs && now < since + hub.knobs.stallUntilNs;
}

bool SimulatedSensorHub::Manager::prepare (Schedule& schedule, int usage, std::uint64_t now)
{
    const std::lock_guard guard (hub.lock);
    if (! hub.streaming (usage) || schedule.sink == nullptr)
    {
        schedule.started = false;
        return false;
    }
    if (! schedule.started)
    {
        // Reports sent before this manager listened are gone; the next one is due on the grid.
        const auto& stream = hub.streams.at (usage);
        schedule.periodNs = periodNs (stream.rateHz);
        const auto elapsed = now > stream.sinceNs ? now - stream.sinceNs : 0;
        schedule.nextNs = stream.sinceNs + (elapsed / schedule.periodNs + 1) * schedule.periodNs;
        schedule.started = true;
    }
    return true;
}

void SimulatedSensorHub::Manager::send (int usage, std::uint64_t instant)
{
    std::array<std::uint8_t, reportLength> report {};
    report[0] = static_cast<std::uint8_t> (usage);
    std::array<double, 3> axes {};
    if (usage == accelerometerUsage)
    {
        const auto sample = [this]
        {
            const std::lock_guard guard (hub.lock);
            return hub.desk.nextSample();
        }();
        axes = { sample.accelX, sample.accelY, sample.accelZ };
    }
    else
    {
        // A laptop resting on a desk barely turns: a slow sway of half a degree per second.
        axes = { 0.5 * std::sin (static_cast<double> (instant) * 1e-9 * juce::MathConstants<double>::pi), 0.0, 0.0 };
    }
    for (size_t axis = 0; axis < 3; ++axis)
        putFixedPoint (report.data() + 6 + 4 * axis, axes[axis]);

    ++reportsSent;
    const bool truncated = hub.knobs.wrongLengthEvery > 0 && reportsSent % static_cast<std::uint64_t> (hub.knobs.wrongLengthEvery) == 0;
    auto* sink = usage == accelerometerUsage ? accelerometer.sink : gyroscope.sink;
    sink->handleReport (report.data(), truncated ? reportLength - 1 : reportLength);
}

HidManager::RunResult SimulatedSensorHub::Manager::runFor (std::uint64_t nanoseconds)
{
    auto& timeline = hub.timeline;
    const auto sliceEnd = timeline.nowNs() + nanoseconds;
    accelerometer.sink = accelerometerSink;
    gyroscope.sink = gyroscopeSink;

    for (;;)
    {
        if (stopRequested.exchange (false))
            return RunResult::stopped;

        const auto now = timeline.nowNs();
        if (streamGone (now) || (accelerometer.sink == nullptr && gyroscope.sink == nullptr))
            return RunResult::finished;

        const bool accelDue = prepare (accelerometer, accelerometerUsage, now);
        const bool gyroDue = prepare (gyroscope, gyroscopeUsage, now);
        auto* next = accelDue && (! gyroDue || accelerometer.nextNs <= gyroscope.nextNs) ? &accelerometer : gyroDue ? &gyroscope : nullptr;
        if (next == nullptr || next->nextNs > sliceEnd)
        {
            timeline.sleepUntilNs (sliceEnd);
            return RunResult::timedOut;
        }

        timeline.sleepUntilNs (next->nextNs);
        if (! stalled (next->nextNs))
            send (next == &accelerometer ? accelerometerUsage : gyroscopeUsage, next->nextNs);
        next->nextNs += next->periodNs;
    }
}

//==============================================================================
SimulatedSensorHub::SimulatedSensorHub (Timeline& hubTimeline) : SimulatedSensorHub (hubTimeline, DeskModel::Options {}, Knobs {}) {}

SimulatedSensorHub::SimulatedSensorHub (Timeline& hubTimeline, DeskModel::Options deskOptions, Knobs hubKnobs) :
    timeline (hubTimeline), knobs (hubKnobs), desk (std::move (deskOptions))
{
    addSensor (accelerometerUsage);
    addSensor (gyroscopeUsage);
    if (knobs.thirdDriver)
        addSensor (accelerometerUsage);

    streams[accelerometerUsage].rateHz = accelerometerRateHz;
    streams[gyroscopeUsage].rateHz = gyroscopeRateHz;
    if (knobs.alreadyStreaming || knobs.poweredBefore)
    {
        for (auto& [usage, stream] : streams)
        {
            stream.baseCount = usage == accelerometerUsage ? 500 : 300;
            stream.sinceNs = timeline.nowNs();
            stream.on = knobs.alreadyStreaming;
        }
        for (const int usage : { accelerometerUsage, gyroscopeUsage })
        {
            auto& properties = entries.at (driverFor (usage)).properties;
            properties["SensorPropertyReportingState"] = PropertyValue::ofNumber (1);
            properties["SensorPropertyPowerState"] = PropertyValue::ofNumber (1);
            properties["ReportInterval"] = PropertyValue::ofNumber (knobs.alreadyStreaming ? 1000 : 0);
        }
    }
    if (knobs.foreignClient)
        addClient (driverFor (accelerometerUsage), "pid 4242, another-app");
}

void SimulatedSensorHub::addTap (const DeskTap& tap)
{
    const std::lock_guard guard (lock);
    desk.addTap (tap);
}

double SimulatedSensorHub::performCalibration (double startSeconds)
{
    const std::lock_guard guard (lock);
    return desk.performCalibration (startSeconds);
}

double SimulatedSensorHub::deskSeconds() const
{
    const std::lock_guard guard (lock);
    return static_cast<double> (desk.samplesProduced()) / desk.rateHz();
}

SensorPlatform SimulatedSensorHub::platform (EngineClock& clock, juce::File lockFile, int ownProcessId)
{
    processId = ownProcessId;
    return { *this, *this, timeline, clock, std::move (lockFile), ownProcessId };
}

EntryId SimulatedSensorHub::addEntry (std::string className, EntryId parentEntry,
                                      std::map<std::string, PropertyValue, std::less<>> properties)
{
    const auto id = nextId++;
    entries[id] = { std::move (className), parentEntry, std::move (properties), {} };
    if (parentEntry != 0)
        entries.at (parentEntry).children.push_back (id);
    return id;
}

void SimulatedSensorHub::addSensor (int usage)
{
    const auto identity = [usage]
    {
        return std::map<std::string, PropertyValue, std::less<>> {
            { "PrimaryUsagePage", PropertyValue::ofNumber (sensorUsagePage) },
            { "PrimaryUsage", PropertyValue::ofNumber (usage) },
            { "Built-In", PropertyValue::ofBoolean (true) },
            { "Transport", PropertyValue::ofText ("SPU") },
        };
    };
    auto deviceProperties = identity();
    deviceProperties["MaxInputReportSize"] = PropertyValue::ofNumber (static_cast<std::int64_t> (reportLength));
    const auto device = addEntry ("AppleSPUHIDDevice", 0, deviceProperties);
    const auto interface = addEntry ("IOHIDInterface", device, {});

    auto driverProperties = identity();
    driverProperties["motionRestrictedService"] = PropertyValue::ofBoolean (true);
    driverProperties["SensorPropertyReportingState"] = PropertyValue::ofNumber (0);
    driverProperties["SensorPropertyPowerState"] = PropertyValue::ofNumber (0);
    driverProperties["ReportInterval"] = PropertyValue::ofNumber (0);
    addEntry ("AppleSPUHIDDriver", interface, driverProperties);
}

void SimulatedSensorHub::addClient (EntryId owner, const std::string& creator)
{
    addEntry ("IOHIDLibUserClient", owner, { { "IOUserClientCreator", PropertyValue::ofText (creator) } });
}

void SimulatedSensorHub::removeClients (const std::string& creator)
{
    const std::lock_guard guard (lock);
    for (auto it = entries.begin(); it != entries.end();)
    {
        const auto creatorText = it->second.properties.find ("IOUserClientCreator");
        if (creatorText != it->second.properties.end() && creatorText->second.text == creator)
        {
            auto& siblings = entries.at (it->second.parent).children;
            siblings.erase (std::remove (siblings.begin(), siblings.end(), it->first), siblings.end());
            it = entries.erase (it);
        }
        else
        {
            ++it;
        }
    }
}

EntryId SimulatedSensorHub::driverFor (int usage) const
{
    for (const auto& [id, entry] : entries)
        if (entry.className == "AppleSPUHIDDriver" && entry.properties.at ("PrimaryUsage").number == usage)
            return id;
    return 0;
}

bool SimulatedSensorHub::streaming (int usage) const { return streams.at (usage).on; }

std::int64_t SimulatedSensorHub::countNow (int usage) const
{
    const auto& stream = streams.at (usage);
    auto sinceNs = stream.sinceNs;
    auto base = stream.baseCount;
    const auto now = timeline.nowNs();
    if (knobs.counterResetAtNs != 0 && now >= knobs.counterResetAtNs && sinceNs < knobs.counterResetAtNs)
    {
        sinceNs = knobs.counterResetAtNs;
        base = 0;
    }
    if (! stream.on || (usage == gyroscopeUsage && knobs.gyroCounterStuck) || now < sinceNs)
        return base;
    return base + static_cast<std::int64_t> (static_cast<double> (now - sinceNs) * stream.rateHz / 1e9);
}

// The stream runs while the driver is powered and has a report interval.
void SimulatedSensorHub::updateStream (int usage)
{
    const auto& properties = entries.at (driverFor (usage)).properties;
    const bool shouldRun = properties.at ("SensorPropertyPowerState").number == 1 && properties.at ("ReportInterval").number > 0;
    auto& stream = streams.at (usage);
    if (shouldRun == stream.on)
        return;
    stream.baseCount = countNow (usage);
    stream.sinceNs = timeline.nowNs();
    stream.on = shouldRun;
}

std::int32_t SimulatedSensorHub::driverProperty (int usage, std::string_view key) const
{
    const std::lock_guard guard (lock);
    return static_cast<std::int32_t> (entries.at (driverFor (usage)).properties.find (key)->second.number);
}

std::vector<std::string> SimulatedSensorHub::propertyWrites() const
{
    const std::lock_guard guard (lock);
    return writes;
}

void SimulatedSensorHub::failPropertyWrites (bool shouldFail)
{
    const std::lock_guard guard (lock);
    knobs.propertyWritesFail = shouldFail;
}

std::int64_t SimulatedSensorHub::eventCount (int usage) const
{
    const std::lock_guard guard (lock);
    return countNow (usage);
}

std::optional<std::vector<EntryId>> SimulatedSensorHub::servicesOfClass (std::string_view className)
{
    const std::lock_guard guard (lock);
    std::vector<EntryId> found;
    for (const auto& [id, entry] : entries)
        if (entry.className == className)
            found.push_back (id);
    return found;
}

std::optional<PropertyValue> SimulatedSensorHub::property (EntryId id, std::string_view key)
{
    const std::lock_guard guard (lock);
    const auto entry = entries.find (id);
    if (entry == entries.end())
        return std::nullopt;
    if (key == "DebugState" && entry->second.className == "AppleSPUHIDDriver")
        return PropertyValue::ofDictionary (
            { { "_num_events", countNow (static_cast<int> (entry->second.properties.at ("PrimaryUsage").number)) } });
    const auto value = entry->second.properties.find (key);
    if (value == entry->second.properties.end())
        return std::nullopt;
    return value->second;
}

bool SimulatedSensorHub::setIntegerProperty (EntryId id, std::string_view key, std::int32_t value)
{
    const std::lock_guard guard (lock);
    const auto entry = entries.find (id);
    if (knobs.propertyWritesFail || entry == entries.end() || entry->second.className != "AppleSPUHIDDriver")
        return false;
    entry->second.properties[std::string (key)] = PropertyValue::ofNumber (value);
    const auto usage = static_cast<int> (entry->second.properties.at ("PrimaryUsage").number);
    writes.push_back (std::to_string (usage) + ":" + std::string (key) + "=" + std::to_string (value));
    if (driverFor (usage) == id)
        updateStream (usage);
    return true;
}

std::optional<EntryId> SimulatedSensorHub::parent (EntryId id)
{
    const std::lock_guard guard (lock);
    const auto entry = entries.find (id);
    if (entry == entries.end() || entry->second.parent == 0)
        return std::nullopt;
    return entry->second.parent;
}

std::optional<Registry::Children> SimulatedSensorHub::children (EntryId id)
{
    const std::lock_guard guard (lock);
    const auto entry = entries.find (id);
    if (entry == entries.end())
        return std::nullopt;
    return Children { entry->second.children, true };
}

bool SimulatedSensorHub::conformsTo (EntryId id, std::string_view className)
{
    const std::lock_guard guard (lock);
    const auto entry = entries.find (id);
    return entry != entries.end() && entry->second.className == className;
}

std::unique_ptr<HidManager> SimulatedSensorHub::createManager (std::int64_t primaryUsagePage)
{
    if (knobs.hidCreateFails || primaryUsagePage != sensorUsagePage)
        return nullptr;
    return std::make_unique<Manager> (*this, "pid " + std::to_string (processId) + ", bopwell");
}

} // namespace bopwell::platform
