#include "sensor/SensorDriverControl.h"

#include <ostream>
#include <string>

namespace bopwell
{

namespace
{
    constexpr std::int64_t sensorUsagePage = 0xFF00;
    constexpr int accelerometerUsage = 3;
    constexpr int gyroscopeUsage = 9;
    constexpr std::uint64_t millisecond = 1'000'000;

    bool isPair (const std::vector<SensorDriverEntry>& drivers)
    {
        return drivers.size() == 2
               && ((drivers[0].usage == accelerometerUsage && drivers[1].usage == gyroscopeUsage)
                   || (drivers[0].usage == gyroscopeUsage && drivers[1].usage == accelerometerUsage));
    }
} // namespace

SensorDriverControl::SensorDriverControl (platform::Registry& registryToUse, platform::Sleeper& sleeperToUse, EngineClock& engineClock,
                                          int ownProcessId) noexcept :
    registry (registryToUse),
    sleeper (sleeperToUse), clock (engineClock), processId (ownProcessId)
{
}

std::optional<std::int64_t> SensorDriverControl::numberProperty (platform::EntryId entry, std::string_view key)
{
    const auto value = registry.property (entry, key);
    if (! value || value->kind != platform::PropertyValue::Kind::number)
        return std::nullopt;
    return value->number;
}

std::vector<SensorDriverEntry> SensorDriverControl::findSensorDrivers()
{
    std::vector<SensorDriverEntry> drivers;
    const auto services = registry.servicesOfClass ("AppleSPUHIDDriver");
    if (! services)
        return drivers;

    using Kind = platform::PropertyValue::Kind;
    for (const auto service : *services)
    {
        const auto page = registry.property (service, "PrimaryUsagePage");
        const auto usage = registry.property (service, "PrimaryUsage");
        const auto builtIn = registry.property (service, "Built-In");
        const auto restricted = registry.property (service, "motionRestrictedService");
        const auto transport = registry.property (service, "Transport");
        if (! page || page->kind != Kind::number || ! usage || usage->kind != Kind::number || ! builtIn || builtIn->kind != Kind::boolean
            || ! restricted || restricted->kind != Kind::boolean || ! transport || transport->kind != Kind::text)
            continue;

        if (page->number == sensorUsagePage && builtIn->boolean && restricted->boolean
            && (usage->number == accelerometerUsage || usage->number == gyroscopeUsage) && transport->text == "SPU")
            drivers.push_back ({ service, static_cast<int> (usage->number) });
    }
    return drivers;
}

std::optional<EventCounters> SensorDriverControl::readEventCounters (const std::vector<SensorDriverEntry>& drivers)
{
    EventCounters counters;
    bool sawAccelerometer = false;
    bool sawGyroscope = false;
    for (const auto& driver : drivers)
    {
        const auto state = registry.property (driver.entry, "DebugState");
        if (! state || state->kind != platform::PropertyValue::Kind::dictionary)
            return std::nullopt;
        const auto events = state->dictionary.find ("_num_events");
        if (events == state->dictionary.end() || events->second < 0)
            return std::nullopt;

        if (driver.usage == accelerometerUsage)
        {
            counters.accelerometer = events->second;
            sawAccelerometer = true;
        }
        else
        {
            counters.gyroscope = events->second;
            sawGyroscope = sawGyroscope || driver.usage == gyroscopeUsage;
        }
    }
    if (! sawAccelerometer || ! sawGyroscope)
        return std::nullopt;
    return counters;
}

bool SensorDriverControl::setDriverProperty (const std::vector<SensorDriverEntry>& drivers, std::string_view key, std::int32_t value)
{
    for (const auto& driver : drivers)
        if (! registry.setIntegerProperty (driver.entry, key, value))
            return false;
    return true;
}

bool SensorDriverControl::waitForStreamStart (const std::vector<SensorDriverEntry>& drivers)
{
    sleeper.sleepNs (100 * millisecond);
    auto baseline = readEventCounters (drivers);
    if (! baseline)
        return false;

    const auto deadline = clock.nowNs() + 2000 * millisecond;
    auto reference = *baseline;
    std::optional<std::uint64_t> armedAt;

    for (;;)
    {
        sleeper.sleepNs (25 * millisecond);
        const auto current = readEventCounters (drivers);
        if (! current)
            return false;

        if (current->accelerometer < baseline->accelerometer || current->gyroscope < baseline->gyroscope)
        {
            // The driver restarted its count: measure from where it is now.
            baseline->accelerometer = std::min (baseline->accelerometer, current->accelerometer);
            baseline->gyroscope = std::min (baseline->gyroscope, current->gyroscope);
            reference = *baseline;
            armedAt.reset();
        }
        else if (armedAt)
        {
            if (clock.nowNs() - *armedAt >= 250 * millisecond && current->accelerometer > reference.accelerometer
                && current->gyroscope > reference.gyroscope)
                return true;
        }
        else if (current->accelerometer > baseline->accelerometer && current->gyroscope > baseline->gyroscope)
        {
            armedAt = clock.nowNs();
            reference = *current;
        }

        if (clock.nowNs() >= deadline)
            return false;
    }
}

ClientScanResult SensorDriverControl::classifyClients (platform::EntryId entry)
{
    const auto children = registry.children (entry);
    if (! children)
        return ClientScanResult::unexpected;

    const auto ownPrefix = "pid " + std::to_string (processId) + ",";
    bool sawOwn = false;
    for (const auto child : children->entries)
    {
        if (! registry.conformsTo (child, "IOHIDLibUserClient"))
            continue;
        const auto creator = registry.property (child, "IOUserClientCreator");
        if (! creator || creator->kind != platform::PropertyValue::Kind::text || ! creator->text.starts_with (ownPrefix))
            return ClientScanResult::foreign;
        sawOwn = true;
    }
    if (! children->stillValid)
        return ClientScanResult::unexpected;
    return sawOwn ? ClientScanResult::ownOnly : ClientScanResult::none;
}

bool SensorDriverControl::isExpectedDevice (platform::EntryId device, int usage)
{
    const auto builtIn = registry.property (device, "Built-In");
    const auto transport = registry.property (device, "Transport");
    return registry.conformsTo (device, "AppleSPUHIDDevice") && numberProperty (device, "PrimaryUsagePage") == sensorUsagePage
           && numberProperty (device, "PrimaryUsage") == usage && numberProperty (device, "MaxInputReportSize") == 22 && builtIn
           && builtIn->kind == platform::PropertyValue::Kind::boolean && builtIn->boolean && transport
           && transport->kind == platform::PropertyValue::Kind::text && transport->text == "SPU";
}

ClientScanResult SensorDriverControl::scanSensorClients (const std::vector<SensorDriverEntry>& drivers)
{
    bool sawOwn = false;
    // Each driver, its HID interface and the HID device above it may carry user clients.
    auto classify = [&] (platform::EntryId entry)
    {
        const auto result = classifyClients (entry);
        sawOwn = sawOwn || result == ClientScanResult::ownOnly;
        return result == ClientScanResult::foreign || result == ClientScanResult::unexpected ? std::optional (result) : std::nullopt;
    };

    for (const auto& driver : drivers)
    {
        if (auto stop = classify (driver.entry))
            return *stop;

        const auto interface = registry.parent (driver.entry);
        if (! interface || ! registry.conformsTo (*interface, "IOHIDInterface"))
            return ClientScanResult::unexpected;
        if (auto stop = classify (*interface))
            return *stop;

        const auto device = registry.parent (*interface);
        if (! device || ! isExpectedDevice (*device, driver.usage))
            return ClientScanResult::unexpected;
        if (auto stop = classify (*device))
            return *stop;
    }
    return sawOwn ? ClientScanResult::ownOnly : ClientScanResult::none;
}

const char* SensorDriverControl::prepareSensorDrivers (bool& needsRestore)
{
    const auto drivers = findSensorDrivers();
    if (! isPair (drivers))
        return "Built-in motion sensor drivers are unavailable";

    const auto before = readEventCounters (drivers);
    if (! before)
        return "Cannot read the motion sensor driver state";

    sleeper.sleepNs (1000 * millisecond);
    const auto after = readEventCounters (drivers);
    if (! after)
        return "Cannot verify the motion sensor driver state";

    if (after->accelerometer > before->accelerometer && after->gyroscope > before->gyroscope)
    {
        // Already streaming: ours to stop later only if nobody is using it.
        needsRestore = scanSensorClients (drivers) == ClientScanResult::none;
        return nullptr;
    }

    if (after->accelerometer != before->accelerometer || after->gyroscope != before->gyroscope)
        return "Motion sensor drivers are in an inconsistent state";

    needsRestore = true;
    if (after->accelerometer == 0 && after->gyroscope == 0
        && ! (setDriverProperty (drivers, "SensorPropertyReportingState", 1) && setDriverProperty (drivers, "SensorPropertyPowerState", 1)))
        return "Could not power on the motion sensor";

    if (! setDriverProperty (drivers, "ReportInterval", 1000))
        return "Could not start the motion sensor stream";

    if (! waitForStreamStart (drivers))
        return "Motion sensor did not begin sending data";
    return nullptr;
}

void SensorDriverControl::restoreSensorDrivers (bool& needsRestore, std::ostream& errorStream)
{
    if (! needsRestore)
        return;

    const auto drivers = findSensorDrivers();
    if (! isPair (drivers))
        return;

    const auto deadline = clock.nowNs() + 3000 * millisecond;
    for (;;)
    {
        const auto clients = scanSensorClients (drivers);
        if (clients == ClientScanResult::none)
        {
            for (const auto& driver : drivers)
                if (! registry.setIntegerProperty (driver.entry, "ReportInterval", 0))
                {
                    errorStream << "Bopwell: failed to stop the private motion sensor stream; a reboot may be required.\n";
                    break;
                }
            needsRestore = false;
            return;
        }
        if (clients == ClientScanResult::foreign)
            return;

        // Our own clients are still closing, or the registry is in flux: give it a moment.
        sleeper.sleepNs (25 * millisecond);
        if (clock.nowNs() >= deadline)
            return;
    }
}

void DriverRestoreGuard::restore()
{
    if (done)
        return;
    done = true;
    control.restoreSensorDrivers (needsRestore, errorStream);
}

} // namespace bopwell
