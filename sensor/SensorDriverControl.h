#pragma once

#include "sensor/platform/SensorPlatform.h"

#include <iosfwd>
#include <optional>
#include <vector>

namespace bopwell
{

// One built-in sensor driver service: usage 3 is the accelerometer, 9 the gyroscope.
struct SensorDriverEntry
{
    platform::EntryId entry = 0;
    int usage = 0;
};

struct EventCounters
{
    std::int64_t accelerometer = 0;
    std::int64_t gyroscope = 0;
};

enum class ClientScanResult
{
    none = 0,
    ownOnly = 1,
    foreign = 2,
    unexpected = 3,
};

// The sensor hub streams only while its drivers are told to, and nothing tells them to stop when
// a reader goes away: this is the registry-level control around a run of the sensor thread.
class SensorDriverControl
{
public:
    SensorDriverControl (platform::Registry& registry, platform::Sleeper& sleeper, EngineClock& clock, int processId) noexcept;

    std::vector<SensorDriverEntry> findSensorDrivers();
    std::optional<EventCounters> readEventCounters (const std::vector<SensorDriverEntry>& drivers);
    bool setDriverProperty (const std::vector<SensorDriverEntry>& drivers, std::string_view key, std::int32_t value);
    bool waitForStreamStart (const std::vector<SensorDriverEntry>& drivers);
    ClientScanResult scanSensorClients (const std::vector<SensorDriverEntry>& drivers);

    // Gets the stream running. Returns nothing on success, else the failure text; sets
    // needsRestore when this run becomes responsible for stopping the stream again.
    const char* prepareSensorDrivers (bool& needsRestore);

    // Stops the stream again when this run started it (or adopted an unused one) and no other
    // process uses it. Reports trouble only through one line on the error stream.
    void restoreSensorDrivers (bool& needsRestore, std::ostream& errorStream);

private:
    ClientScanResult classifyClients (platform::EntryId entry);
    bool isExpectedDevice (platform::EntryId device, int usage);
    std::optional<std::int64_t> numberProperty (platform::EntryId entry, std::string_view key);

    platform::Registry& registry;
    platform::Sleeper& sleeper;
    EngineClock& clock;
    int processId;
};

// Runs the restore step once, when the sensor thread function leaves by any path.
class DriverRestoreGuard
{
public:
    DriverRestoreGuard (SensorDriverControl& driverControl, std::ostream& stream) noexcept : control (driverControl), errorStream (stream)
    {
    }
    ~DriverRestoreGuard() { restore(); }

    void restore();

    bool needsRestore = false;

private:
    SensorDriverControl& control;
    std::ostream& errorStream;
    bool done = false;
};

} // namespace bopwell
