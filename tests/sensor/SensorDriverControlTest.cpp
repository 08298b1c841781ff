#include "sensor/SensorDriverControl.h"
#include "sensor/platform/SimulatedSensorHub.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace bopwell;
using platform::SimulatedSensorHub;

namespace
{
using Writes = std::vector<std::string>;

// A simulated hub on a manual clock: every wait of the driver control takes no real time.
struct DriverRig
{
    explicit DriverRig (SimulatedSensorHub::Knobs knobs = {}, int processId = 812) :
        hub (timeline, {}, knobs), control (hub, timeline, clock, processId)
    {
    }

    std::pair<const char*, bool> prepare()
    {
        bool needsRestore = false;
        const auto* problem = control.prepareSensorDrivers (needsRestore);
        return { problem, needsRestore };
    }

    ManualEngineClock clock;
    platform::VirtualTimeline timeline { clock };
    SimulatedSensorHub hub;
    SensorDriverControl control;
};

const Writes startFromCold { "3:SensorPropertyReportingState=1",
                             "9:SensorPropertyReportingState=1",
                             "3:SensorPropertyPowerState=1",
                             "9:SensorPropertyPowerState=1",
                             "3:ReportInterval=1000",
                             "9:ReportInterval=1000" };
const Writes startPowered { "3:ReportInterval=1000", "9:ReportInterval=1000" };
} // namespace

TEST (SensorDriverControl, PreparationDecidesFromTheEventCounters)
{
    struct Case
    {
        const char* what;
        SimulatedSensorHub::Knobs knobs;
        const char* problem;
        bool needsRestore;
        Writes writes;
    };
    const Case cases[] = {
        { "idle and never powered: (0, 0)", {}, nullptr, true, startFromCold },
        { "idle but powered before: (500, 300)", { .poweredBefore = true }, nullptr, true, startPowered },
        { "already running, nobody on it", { .alreadyStreaming = true }, nullptr, true, {} },
        { "already running for another process", { .alreadyStreaming = true, .foreignClient = true }, nullptr, false, {} },
        { "(500, 300) then (900, 300)",
          { .gyroCounterStuck = true, .alreadyStreaming = true },
          "Motion sensor drivers are in an inconsistent state",
          false,
          {} },
        { "three drivers", { .thirdDriver = true }, "Built-in motion sensor drivers are unavailable", false, {} },
        { "power cannot be set", { .propertyWritesFail = true }, "Could not power on the motion sensor", true, {} },
        { "the stream never starts",
          { .gyroCounterStuck = true, .poweredBefore = true },
          "Motion sensor did not begin sending data",
          true,
          startPowered },
    };
    for (const auto& c : cases)
    {
        DriverRig rig (c.knobs);
        const auto [problem, needsRestore] = rig.prepare();
        EXPECT_STREQ (problem == nullptr ? "" : problem, c.problem == nullptr ? "" : c.problem) << c.what;
        EXPECT_EQ (needsRestore, c.needsRestore) << c.what;
        EXPECT_EQ (rig.hub.propertyWrites(), c.writes) << c.what;
    }
}

TEST (SensorDriverControl, ACounterResetDuringTheWaitRebasesIt)
{
    // The stream starts at 2.0 s, the wait arms at 2.125 s, and the counters restart at 2.2 s, before
    // the 250 ms that would confirm the start: the wait starts over from the new counts.
    DriverRig rig ({ .counterResetAtNs = 2'200'000'000 });
    EXPECT_EQ (rig.prepare().first, nullptr);
    EXPECT_GT (rig.hub.eventCount (3), 0);
}

TEST (SensorDriverControl, OnlyClientsOfThisProcessCountAsOwn)
{
    // The creator text must carry this process's id followed directly by a comma.
    DriverRig own ({ .alreadyStreaming = true }, 8120);
    auto platform = own.hub.platform (own.clock, {}, 8120);
    auto manager = own.hub.createManager (0xFF00);
    ASSERT_TRUE (manager->open());
    const auto drivers = own.control.findSensorDrivers();
    EXPECT_EQ (own.control.scanSensorClients (drivers), ClientScanResult::ownOnly);

    SensorDriverControl asProcess812 (own.hub, own.timeline, own.clock, 812);
    EXPECT_EQ (asProcess812.scanSensorClients (drivers), ClientScanResult::foreign);

    manager.reset();
    EXPECT_EQ (own.control.scanSensorClients (drivers), ClientScanResult::none);
}

TEST (SensorDriverControl, RestoreStopsTheStreamOnlyWhenNobodyUsesIt)
{
    struct Case
    {
        const char* what;
        bool foreignClient;
        bool ownClientLingers;
        std::int32_t reportInterval;
        bool needsRestoreAfter;
    };
    for (const auto& c : { Case { "nobody left", false, false, 0, false }, Case { "another process on it", true, false, 1000, true },
                           Case { "our own client never goes", false, true, 1000, true } })
    {
        DriverRig rig ({ .foreignClient = c.foreignClient }, 8120);
        auto platform = rig.hub.platform (rig.clock, {}, 8120);
        bool needsRestore = false;
        ASSERT_EQ (rig.control.prepareSensorDrivers (needsRestore), nullptr) << c.what;
        ASSERT_TRUE (needsRestore) << c.what;

        auto manager = rig.hub.createManager (0xFF00);
        if (c.ownClientLingers)
        {
            ASSERT_TRUE (manager->open());
        }

        const auto before = rig.clock.nowNs();
        std::ostringstream errors;
        rig.control.restoreSensorDrivers (needsRestore, errors);
        EXPECT_EQ (rig.hub.driverProperty (3, "ReportInterval"), c.reportInterval) << c.what;
        EXPECT_EQ (rig.hub.driverProperty (9, "ReportInterval"), c.reportInterval) << c.what;
        EXPECT_EQ (needsRestore, c.needsRestoreAfter) << c.what;
        EXPECT_TRUE (errors.str().empty()) << c.what;
        if (c.ownClientLingers)
        {
            EXPECT_GE (rig.clock.nowNs() - before, 3'000'000'000u); // waited the full three seconds
        }
    }
}

TEST (SensorDriverControl, AStreamThatCannotBeStoppedIsReportedOnce)
{
    DriverRig rig;
    bool needsRestore = false;
    ASSERT_EQ (rig.control.prepareSensorDrivers (needsRestore), nullptr);
    rig.hub.failPropertyWrites (true);

    std::ostringstream errors;
    {
        DriverRestoreGuard guard (rig.control, errors);
        guard.needsRestore = needsRestore;
        guard.restore();
    } // the guard's own restore at scope exit does nothing more
    EXPECT_EQ (errors.str(), "Bopwell: failed to stop the private motion sensor stream; a reboot may be required.\n");
}
