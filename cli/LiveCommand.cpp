#include "cli/Commands.h"

#include "engine/SensorMidiProcessor.h"
#include "sensor/platform/SimulatedSensorHub.h"

#include <juce_audio_devices/juce_audio_devices.h>
#include <juce_audio_utils/juce_audio_utils.h>

#include <ostream>
#include <thread>
#include <unistd.h>

namespace bopwell::cli
{

namespace
{
    // The simulated user taps once Bopwell is ready (Power on), spreading the taps over the rest of
    // the run and leaving the last one time to sound.
    constexpr double lastTapBeforeEndSeconds = 0.3;
    constexpr int messageSliceMs = 20;

    struct HitCounter final : HitObserver
    {
        void hitFired (const FiredHit&) noexcept override { count.fetch_add (1); }
        std::atomic<int> count { 0 };
    };

    // Plays the processor through a real audio device when there is one (a running JACK server
    // first, then ALSA), or else through a block loop of our own that keeps device time.
    class LiveAudio
    {
    public:
        explicit LiveAudio (SensorMidiProcessor& processorToPlay) : processor (processorToPlay)
        {
            player.setProcessor (&processor);
            // Only the device types worth trying are registered: asking the JACK client library for
            // a server that is not there fills standard error with complaints.
            if (jackServerRunning())
                devices.addAudioDeviceType (
                    std::unique_ptr<juce::AudioIODeviceType> (juce::AudioIODeviceType::createAudioIODeviceType_JACK()));
            devices.addAudioDeviceType (std::unique_ptr<juce::AudioIODeviceType> (juce::AudioIODeviceType::createAudioIODeviceType_ALSA()));

            for (auto* type : devices.getAvailableDeviceTypes())
                if (openDevice (*type))
                    return;
            startBlockLoop();
        }

        ~LiveAudio()
        {
            devices.removeAudioCallback (&player);
            devices.closeAudioDevice();
            player.setProcessor (nullptr);
            if (blockLoop.joinable())
            {
                loopRunning.store (false);
                blockLoop.join();
            }
        }

        juce::String outputName() const { return deviceName.isEmpty() ? juce::String ("no audio device (timed block loop)") : deviceName; }

    private:
        // A running JACK server (jack2) has its socket in /dev/shm.
        static bool jackServerRunning()
        {
            return juce::File ("/dev/shm").getChildFile ("jack_default_" + juce::String (static_cast<int> (::getuid())) + "_0").exists();
        }

        bool openDevice (juce::AudioIODeviceType& type)
        {
            devices.setCurrentAudioDeviceType (type.getTypeName(), true);
            const auto outputs = type.getDeviceNames (false);
            if (outputs.isEmpty())
                return false;

            auto setup = devices.getAudioDeviceSetup();
            setup.outputDeviceName = outputs[std::max (0, type.getDefaultDeviceIndex (false))];
            setup.inputDeviceName = {};
            setup.useDefaultInputChannels = false;
            setup.inputChannels.clear();
            setup.useDefaultOutputChannels = true;
            if (devices.setAudioDeviceSetup (setup, true).isNotEmpty() || devices.getCurrentAudioDevice() == nullptr)
                return false;

            devices.addAudioCallback (&player);
            deviceName = type.getTypeName() + ": " + devices.getCurrentAudioDevice()->getName();
            return true;
        }

        void startBlockLoop()
        {
            constexpr double rate = 48000.0;
            constexpr int blockSize = 512;
            processor.setPlayConfigDetails (0, 2, rate, blockSize);
            processor.prepareToPlay (rate, blockSize);
            loopRunning.store (true);
            blockLoop = std::thread (
                [this]
                {
                    juce::AudioBuffer<float> block (2, blockSize);
                    juce::MidiBuffer midi;
                    const auto period = std::chrono::nanoseconds (static_cast<std::int64_t> (blockSize * 1e9 / rate));
                    auto due = std::chrono::steady_clock::now() + period;
                    while (loopRunning.load())
                    {
                        std::this_thread::sleep_until (due);
                        processor.processBlock (block, midi);
                        due += period;
                    }
                });
        }

        SensorMidiProcessor& processor;
        juce::AudioDeviceManager devices;
        juce::AudioProcessorPlayer player;
        juce::String deviceName;
        std::thread blockLoop;
        std::atomic<bool> loopRunning { false };
    };

    std::string jsonText (const juce::String& text) { return juce::JSON::toString (juce::var (text)).toStdString(); }
} // namespace

int runLive (const CliArgs& args, std::ostream& out, std::ostream& err)
{
    if (! args.positionals().empty())
        return reportUsageError ("live", { "takes no positional arguments" }, err);

    double seconds = 5.0;
    long long taps = 5;
    long long seed = 1;
    for (auto problem : { args.number ("seconds", 3.0, 3600.0, seconds), args.wholeNumber ("taps", 0, 1000, taps),
                          args.wholeNumber ("seed", 0, 1LL << 53, seed) })
        if (problem)
            return reportUsageError ("live", *problem, err);

    platform::RealTimeline timeline;
    DeskModel::Options desk;
    desk.seed = static_cast<std::uint64_t> (seed);
    platform::SimulatedSensorHub hub (timeline, desk, {});

    auto sensor = hub.platform (EngineClock::steady(), SensorOwnershipLock::defaultLockFile(), static_cast<int> (::getpid()));
    HitCounter hits;
    {
        SensorMidiProcessor processor (EngineClock::steady(), sensor);
        processor.setHitObserver (&hits);
        {
            LiveAudio audio (processor);
            err << "Playing through " << audio.outputName() << " for " << seconds << " s...\n";
            // The processor's own timer (sensor watch, pending power-on) runs on this message loop.
            const auto startMs = juce::Time::getMillisecondCounterHiRes();
            bool tapping = false;
            for (double elapsed = 0.0; elapsed < seconds; elapsed = (juce::Time::getMillisecondCounterHiRes() - startMs) / 1000.0)
            {
                if (! tapping && processor.state().powerOn.load())
                {
                    tapping = true;
                    const double from = hub.deskSeconds();
                    const double window = std::max (0.0, seconds - elapsed - lastTapBeforeEndSeconds);
                    for (long long i = 0; i < taps; ++i)
                        hub.addTap ({ from + (static_cast<double> (i) + 0.5) * window / static_cast<double> (taps) });
                }
                juce::MessageManager::getInstance()->runDispatchLoopUntil (messageSliceMs);
            }
        }

        const auto& s = processor.state();
        const auto& reader = processor.getSensorReader();
        out << "{\"hits\":" << hits.count.load() << ",\"hitsAccepted\":" << s.hitsAccepted.load()
            << ",\"voicesStarted\":" << s.voicesStarted.load() << ",\"sensorRateHz\":" << juce::String (reader.getSampleRateHz(), 1)
            << ",\"sensorFailed\":" << (reader.hasFailed() ? "true" : "false")
            << ",\"errorMessage\":" << jsonText (reader.getErrorMessage()) << "}\n";
        processor.setHitObserver (nullptr);
        return reader.hasFailed() ? exitFailure : exitSuccess;
    }
}

} // namespace bopwell::cli
