#pragma once

#include "calibration/CalibrationProcedure.h"
#include "calibration/CalibrationResult.h"
#include "calibration/RingingModel.h"
#include "diagnostics/DiagnosticSession.h"
#include "diagnostics/SessionHeaders.h"
#include "diagnostics/StrikeCapture.h"
#include "engine/EngineClock.h"
#include "engine/HitDetector.h"
#include "engine/HitQueue.h"
#include "engine/OutputGuard.h"
#include "engine/ProcessorState.h"
#include "engine/VelocityCurve.h"
#include "engine/VoiceEngine.h"
#include "packs/PackLoadProgress.h"
#include "packs/SamplePack.h"
#include "sensor/SensorReader.h"
#include "sensor/platform/SensorPlatform.h"
#include "state/StateRecord.h"

#include <juce_audio_formats/juce_audio_formats.h>
#include <juce_audio_processors/juce_audio_processors.h>

#include <atomic>
#include <mutex>
#include <optional>

namespace bopwell
{

// A hit as the detector fired it, before Power, the cooldown or the queue decide whether it
// plays.
struct FiredHit
{
    std::uint64_t onsetNs = 0;
    double strength = 0.0;
    double input = 0.0;
    double level = 0.0;
};

// Told of every hit that fires, on the thread that feeds the samples. Used by tools that replay a
// stream on their own thread; an observer of the live sensor thread must not block or allocate.
class HitObserver
{
public:
    virtual ~HitObserver() = default;
    virtual void hitFired (const FiredHit& hit) noexcept = 0;
};

} // namespace bopwell

// The one object the sensor thread, the audio thread and the message thread all touch: it owns
// the shared settings and telemetry, the locks, and the meeting points between the threads, and
// wires the engine's units together.
class SensorMidiProcessor final : public juce::AudioProcessor, private juce::AsyncUpdater, private juce::Timer
{
public:
    explicit SensorMidiProcessor (bopwell::EngineClock& clock = bopwell::EngineClock::steady(),
                                  bopwell::platform::SensorPlatform& sensorPlatform = bopwell::platform::SensorPlatform::detached());
    ~SensorMidiProcessor() override;

    // Sensor thread: runs the detector on one sample and queues the hit it may fire.
    void handleSensorSample (const SensorReader::Sample& sample) noexcept;

    // Settings (message thread)
    void setVolumePercent (double percent);
    void setCooldownMs (double value);
    void setSensitivityPercent (double percent);
    void setChoke (bool shouldChoke);
    void setCurve (const bopwell::VelocityCurve& curve);
    bopwell::VelocityCurve getCurve() const;

    // Commands (message thread)
    bool setPower (bool on);
    bool applyFactoryProfile (bool powerOnAfter);
    // The Restore Factory Calibration command; false when it could not be done right now.
    bool restoreFactoryCalibration();
    // Installs the finished user calibration waiting to be applied.
    void applyCalibrationResult();

    // Calibration (message thread). beginCalibration returns "" or why it cannot start.
    juce::String beginCalibration();
    void pauseCalibration() { calibration.pause(); }
    void resumeCalibration() { calibration.resume(); }
    void cancelCalibration() { calibration.cancel(); }
    bool undoLastCalibrationStep() { return calibration.undoLastStep(); }
    // Analyses a finished capture and applies an accepted result; the editor's status loop calls it.
    void runPendingCalibrationAnalysis();
    const bopwell::CalibrationProcedure& getCalibration() const noexcept { return calibration; }
    const bopwell::CalibrationResult& getCalibrationResult() const noexcept { return calibrationResult; }
    bool isCalibrationResultReady() const noexcept { return calibrationResultReady.load(); }
    bool isCalibrationFailureShown() const noexcept { return calibrationFailureShown.load(); }
    void stopAllVoices() noexcept;
    void retrySensor();
    void powerOffAndSilence();

    // The 33 ms supervision: the sensor watch. Public so that tests can run a tick.
    void timerCallback() override;

    // Packs. installPack leaves the previous samples in the record for the caller to destroy.
    bool loadBuiltInPack (int index);
    // The pack menu's choice: nothing happens while a session records or a custom pack loads.
    bool chooseBuiltInPack (int index);
    void installPack (bopwell::samplepack::Data& data, const juce::String& label, int index);
    void clearPack (const juce::String& label, const juce::StringArray& paths);
    juce::String getPackLabel() const;
    int getBuiltInPack() const;
    float getPanSpread() const;
    juce::StringArray getSamplePaths() const;
    int getSampleCount() const;

    // Custom packs. Loads run on the loader pool; their outcome is published as a status.
    bool startCustomPackLoad (const juce::String& path);
    void requestPackLoadCancel() noexcept;
    PackLoadResult prepareCustomPack (const juce::File& source, bopwell::samplepack::Data& pack);
    PackLoadResult loadSamplesInternal (const juce::Array<juce::File>& files, const juce::String& label);
    bool isPackLoadBusy() const noexcept { return packLoadBusy.load(); }
    double getPackLoadProgress() const noexcept { return packLoadProgress.load(); }
    int getPackStatusGeneration() const noexcept { return packStatusGeneration.load(); }
    PackLoadResult getPackLoadStatus() const;

    // Diagnostic sessions (message thread). A start is refused (false) while a session or a
    // calibration is under way, when the sensor is not delivering, or when the file cannot be written.
    bool startScriptedSession (const juce::File& file);
    bool startFreeRunSession (const juce::File& file, const juce::String& scenario);
    // The user's stop of the running session.
    void stopSession();
    const bopwell::DiagnosticSession& getSession() const noexcept { return session; }

    // Copies the last strike capture once it is complete (message thread).
    bool takeStrikeCapture (bopwell::StrikeCaptureSnapshot& snapshot) noexcept { return strikeCapture.takeOver (snapshot); }

    // Fixes the shuffle's generator, for reproducible renders.
    void seedRandom (std::uint32_t seed) noexcept;

    const bopwell::ProcessorState& state() const noexcept { return shared; }
    double takeEnvelopePeak() noexcept { return shared.envelopePeak.exchange (0.0); }
    const bopwell::HitQueue& pendingHits() const noexcept { return hitQueue; }
    SensorReader& getSensorReader() noexcept { return sensorReader; }
    const SensorReader& getSensorReader() const noexcept { return sensorReader; }

    // Set before samples flow; the observer must outlive the processor's use of it.
    void setHitObserver (bopwell::HitObserver* observer) noexcept { hitObserver.store (observer); }

    // juce::AudioProcessor
    const juce::String getName() const override { return "Bopwell"; }
    void prepareToPlay (double sampleRate, int maximumExpectedSamplesPerBlock) override;
    void releaseResources() override {}
    void processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi) override;
    using juce::AudioProcessor::processBlock;
    double getTailLengthSeconds() const override { return 0.0; }
    bool acceptsMidi() const override { return false; }
    bool producesMidi() const override { return false; }
    bool isMidiEffect() const override { return false; }
    bool hasEditor() const override { return false; }
    juce::AudioProcessorEditor* createEditor() override { return nullptr; }
    int getNumPrograms() override { return 1; }
    int getCurrentProgram() override { return 0; }
    void setCurrentProgram (int) override {}
    const juce::String getProgramName (int) override { return {}; }
    void changeProgramName (int, const juce::String&) override {}
    // Saved state: the setup container of the current state, or nothing when it cannot be encoded.
    void getStateInformation (juce::MemoryBlock& destination) override;
    // Decodes the bytes and parks the record; the message thread applies it in handleAsyncUpdate.
    void setStateInformation (const void* data, int sizeInBytes) override;

    // State (message thread unless said otherwise)
    bopwell::StateRecord captureState() const;
    // The decoding half of setStateInformation, any thread: "" and the record, or why not.
    juce::String decodeState (const void* data, std::size_t size, bopwell::StateRecord& record) const;
    // Applies the pending restore, if any; public so that tools without a message loop can run it.
    void handleAsyncUpdate() override;
    juce::String getRestoreMessage() const;

private:
    void applyReportedRate (double reportedRateHz) noexcept;
    void noteSampleTime (std::uint64_t nowNs, double reportedRateHz) noexcept;
    void adoptPendingModelIfChanged() noexcept;
    void publishTelemetry (const bopwell::HitDetector::Frame& frame) noexcept;
    void publishHit (std::uint64_t nowNs) noexcept;
    bool cooldownRejects (std::uint64_t onsetNs) const noexcept;
    void publishModel (const bopwell::RingingModel& model);
    void discardCalibrationResult();
    void publishCalibrationFailure (int code);
    void superviseCalibration();
    void powerOnWhenSensorReady();
    void setDetectionThreshold (double thresholdK, double background) noexcept;

    struct BlockTiming
    {
        std::uint64_t startNs = 0;
        double nsPerSample = 0.0;
    };
    BlockTiming timeBlock (int numSamples) const noexcept;
    void startQueuedHits (const juce::AudioBuffer<float>& buffer, const BlockTiming& timing, bool choke) noexcept;
    void guardOutput (juce::AudioBuffer<float>& buffer, const bopwell::VoiceEngine::Voices& atBlockStart, const bopwell::GainRamp& gain,
                      const BlockTiming& timing) noexcept;
    void finishBlock (juce::AudioBuffer<float>& buffer, const bopwell::GainRamp& gain) noexcept;
    void resetPlayback() noexcept;
    friend class CustomPackLoadJob;
    void runCustomPackLoad (const juce::String& path);
    PackLoadResult loadAndInstallCustomPack (const juce::String& path, bopwell::samplepack::Data& pack);
    void publishPackStatus (const PackLoadResult& result);
    bopwell::samplepack::PackLoadProgress packProgress();

    void startSensor();

    bool startSession (const juce::File& file, const std::optional<juce::String>& scenario);
    bopwell::SessionHeaderValues sessionHeaderValues();
    bool sensorIsLost() const noexcept;

    juce::String restorePack (const bopwell::StateRecord& record);
    void applyRestoredSettings (const bopwell::StateRecord& record);

    bopwell::EngineClock& clock;
    bopwell::ProcessorState shared;

    // Restore hand-over from setStateInformation to handleAsyncUpdate
    mutable std::mutex restoreMutex;
    std::optional<bopwell::StateRecord> pendingRestore;
    std::uint64_t restoreGeneration = 0;
    std::uint64_t pendingRestoreGeneration = 0;
    juce::String restoreMessage;

    bopwell::DiagnosticSession session;
    SensorReader sensorReader;

    mutable std::mutex profileLock;
    std::mutex powerLock;
    std::mutex curveTableLock;
    std::mutex modelLock;

    bopwell::VelocityCurve curve;            // profileLock
    bopwell::RingingModel profileModel;      // profileLock
    bopwell::VelocityTable velocityTable {}; // curveTableLock
    bopwell::RingingModel pendingModel;      // modelLock

    bopwell::CalibrationProcedure calibration;

    // The last calibration's outcome, waiting to be applied (message thread)
    bopwell::CalibrationResult calibrationResult;
    std::atomic<bool> calibrationResultReady { false };
    std::atomic<bool> calibrationFailureShown { false };

    // Sensor thread only
    bopwell::HitDetector detector;
    bopwell::StrikeCapture strikeCapture;
    std::int32_t seenModelGeneration = 0;
    std::atomic<bool> stallFlag { false };
    std::atomic<bopwell::HitObserver*> hitObserver { nullptr };

    bopwell::HitQueue hitQueue;

    // Sample set, under sampleSetLock; the audio thread only ever tries the lock.
    juce::SpinLock sampleSetLock;
    std::mutex packLoadMutex;
    juce::AudioFormatManager formatManager;
    bopwell::VoiceEngine::Samples samples;
    juce::StringArray samplePaths;
    int builtInPack = 0;
    float panSpread = 0.0f;
    juce::String packLabel { "(no sample)" };

    // Custom pack loading
    std::atomic<bool> packLoadBusy { false };
    std::atomic<bool> packLoadCancel { false };
    std::atomic<double> packLoadProgress { 0.0 };
    mutable std::mutex packStatusMutex;
    PackLoadResult packLoadStatus;
    std::atomic<int> packStatusGeneration { 0 };
    juce::ThreadPool loaderPool;

    // Audio thread
    bopwell::VoiceEngine voiceEngine;
    bopwell::OutputGuard outputGuard;
    bool prepared = false;

    // Lets tests create states no public operation can: a busy sample set, a guard mid-trip.
    friend struct SensorMidiProcessorTestAccess;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SensorMidiProcessor)
};
