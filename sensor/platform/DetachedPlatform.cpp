#include "sensor/platform/SensorPlatform.h"

#include <unistd.h>

namespace bopwell::platform
{

namespace
{
    // No sensor hub at all: no driver services, no HID manager.
    class NoSensorHub final : public Registry, public HidSystem, public Sleeper
    {
    public:
        std::optional<std::vector<EntryId>> servicesOfClass (std::string_view) override { return std::vector<EntryId> {}; }
        std::optional<PropertyValue> property (EntryId, std::string_view) override { return std::nullopt; }
        bool setIntegerProperty (EntryId, std::string_view, std::int32_t) override { return false; }
        std::optional<EntryId> parent (EntryId) override { return std::nullopt; }
        std::optional<Children> children (EntryId) override { return std::nullopt; }
        bool conformsTo (EntryId, std::string_view) override { return false; }
        std::unique_ptr<HidManager> createManager (std::int64_t) override { return nullptr; }
        void sleepNs (std::uint64_t) override {}
    };
} // namespace

SensorPlatform& SensorPlatform::detached()
{
    static NoSensorHub hub;
    // A lock file of its own, so that tools never contend with a running Bopwell for the real one.
    static SensorPlatform platform {
        hub,
        hub,
        hub,
        EngineClock::steady(),
        juce::File::getSpecialLocation (juce::File::tempDirectory).getChildFile ("bopwell-detached-sensor.lock"),
        static_cast<int> (::getpid())
    };
    return platform;
}

} // namespace bopwell::platform
