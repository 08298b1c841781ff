#include "engine/SensorMidiProcessor.h"

#include "calibration/CalibrationTexts.h"
#include "calibration/FactoryProfile.h"
#include "engine/SensorWatch.h"
#include "packs/BuiltInPacks.h"
#include "packs/PackContainerReader.h"
#include "packs/SourceImport.h"
#include "packs/SourceScan.h"

#include <algorithm>
#include <cmath>

using namespace bopwell;

namespace
{
constexpr double minimumThreshold = 1e-9;
constexpr double stallGapMs = 25.0;
constexpr double minimumUsableRateHz = 50.0;
constexpr double minimumTrustedRateHz = 100.0;
constexpr double rateChangeTolerance = 0.02;

// Raises an atomic running maximum without a lock; the editor drains it by exchanging it with 0.
void raiseToAtLeast (std::atomic<double>& target, double value) noexcept
{
    double seen = target.load();
    while (seen < value && ! target.compare_exchange_weak (seen, value))
    {
    }
}

// The background tracker follows falls quickly and rises slowly, so it settles near the quiet
// level and is barely moved by taps.
double trackBackground (double background, double envelope) noexcept
{
    if (background <= 0.0)
        return envelope;
    const double rate = envelope >= background ? 0.00002 : 0.01;
    return background + rate * (envelope - background);
}
} // namespace

SensorMidiProcessor::SensorMidiProcessor (EngineClock& engineClock, platform::SensorPlatform& sensorPlatform) :
    juce::AudioProcessor (BusesProperties().withOutput ("Output", juce::AudioChannelSet::stereo(), true)), clock (engineClock),
    session (engineClock), sensorReader (sensorPlatform)
{
    formatManager.registerBasicFormats();

    const auto addressBits = static_cast<std::uint32_t> (reinterpret_cast<std::uintptr_t> (this));
    const auto clockBits = static_cast<std::uint32_t> (clock.nowNs());
    voiceEngine.random.seed (addressBits != clockBits ? addressBits ^ clockBits : XorshiftRandom::zeroReplacement);

    setCurve (VelocityCurve::identity());
    {
        const std::lock_guard lock (profileLock);
        loadBuiltInPack (0);
    }
    detector.setRate (HitDetector::nominalRateHz);
    shared.appliedRateHz.store (HitDetector::nominalRateHz);
    applyFactoryProfile (false);

    shared.sensorWatchStartNs.store (clock.nowNs());
    startSensor();
    startTimer (33);
}

SensorMidiProcessor::~SensorMidiProcessor()
{
    // No sample may arrive while the rest is torn down, and no load may outlive the processor.
    sensorReader.stop();
    stopTimer();
    packLoadCancel.store (true);
    loaderPool.removeAllJobs (true, -1);
    cancelPendingUpdate();
    // A script that already ended keeps its complete file; anything still recording is cut short.
    if (session.isFinishing())
        session.supervise (false);
    else if (session.isRunning())
        session.abandon (sensorIsLost());
}

void SensorMidiProcessor::startSensor()
{
    sensorReader.start ([this] (const SensorReader::Sample& sample) { handleSensorSample (sample); });
}

//==============================================================================
// Sensor thread

void SensorMidiProcessor::handleSensorSample (const SensorReader::Sample& sample) noexcept
{
    const double reportedRateHz = sensorReader.getSampleRateHz();
    applyReportedRate (reportedRateHz);

    const auto nowNs = clock.nowNs();
    noteSampleTime (nowNs, reportedRateHz);
    adoptPendingModelIfChanged();

    if (stallFlag.exchange (false))
        detector.reset();

    const bool windowClosed = detector.process (sample.accelX, sample.accelY, sample.accelZ, shared.detectionThreshold.load());
    bool fired = false;
    if (windowClosed)
    {
        const std::lock_guard lock (modelLock);
        fired = detector.confirmFire();
    }

    const auto& frame = detector.frame();
    publishTelemetry (frame);
    calibration.captureStep (frame.highPass, frame.motion);
    const SensorFrame observed { static_cast<float> (frame.motion),         static_cast<float> (frame.envelope),
                                 static_cast<float> (frame.highPass[0]),    static_cast<float> (frame.highPass[1]),
                                 static_cast<float> (frame.highPass[2]),    static_cast<float> (sample.gyroX),
                                 static_cast<float> (sample.gyroY),         static_cast<float> (sample.gyroZ),
                                 static_cast<std::uint8_t> (fired ? 1 : 0), static_cast<std::uint8_t> (sample.gyroFresh ? 1 : 0) };
    strikeCapture.captureStep (observed, reportedRateHz, shared.detectionThreshold.load(), sensorReader.hasGyro());
    session.recordSample (observed, shared.appliedRateHz.load());

    if (fired)
        publishHit (nowNs);
}

void SensorMidiProcessor::applyReportedRate (double reportedRateHz) noexcept
{
    const double applied = shared.appliedRateHz.load();
    if (reportedRateHz > minimumTrustedRateHz && std::abs (reportedRateHz - applied) > rateChangeTolerance * applied)
    {
        detector.setRate (reportedRateHz);
        shared.appliedRateHz.store (reportedRateHz);
    }
}

void SensorMidiProcessor::noteSampleTime (std::uint64_t nowNs, double reportedRateHz) noexcept
{
    const auto previousNs = shared.lastSampleNs.exchange (nowNs);
    shared.sensorOk.store (reportedRateHz >= minimumUsableRateHz);
    if (previousNs != 0 && nowNs > previousNs && static_cast<double> (nowNs - previousNs) / 1'000'000.0 > stallGapMs)
        stallFlag.store (true);
}

void SensorMidiProcessor::adoptPendingModelIfChanged() noexcept
{
    const auto generation = shared.modelGeneration.load();
    if (generation == seenModelGeneration)
        return;

    const std::lock_guard lock (modelLock);
    detector.installModel (pendingModel);
    seenModelGeneration = generation;
}

void SensorMidiProcessor::publishTelemetry (const HitDetector::Frame& frame) noexcept
{
    shared.envelope.store (frame.envelope);
    raiseToAtLeast (shared.envelopePeak, frame.envelope);
    shared.liveBackground.store (trackBackground (shared.liveBackground.load(), frame.envelope));
    shared.residualLevel.store (frame.residual);
}

void SensorMidiProcessor::publishHit (std::uint64_t nowNs) noexcept
{
    const double strength = detector.peak();
    const double input = std::clamp (strength / shared.inputMax.load(), 0.0, 1.0);
    double level = 0.0;
    {
        const std::lock_guard lock (curveTableLock);
        level = lookUpVelocity (velocityTable, input);
    }
    shared.lastHitStrength.store (strength);
    shared.lastHitInput.store (input);
    shared.lastHitLevel.store (level);

    const double applied = shared.appliedRateHz.load();
    const double rate = applied > minimumUsableRateHz ? applied : HitDetector::nominalRateHz;
    const auto onsetOffsetNs = static_cast<std::uint64_t> (detector.peakWindow() * 1'000'000'000.0 / rate);
    const auto onsetNs = nowNs > onsetOffsetNs ? nowNs - onsetOffsetNs : 0;

    if (auto* observer = hitObserver.load())
        observer->hitFired ({ onsetNs, strength, input, level });

    if (! shared.powerOn.load() || cooldownRejects (onsetNs))
        return;

    if (hitQueue.tryPush ({ onsetNs, shared.playbackGeneration.load() }))
    {
        shared.lastHitOnsetNs.store (onsetNs);
        shared.hitsAccepted.fetch_add (1);
    }
    else
    {
        shared.hitsDropped.fetch_add (1);
    }
}

bool SensorMidiProcessor::cooldownRejects (std::uint64_t onsetNs) const noexcept
{
    const auto cooldown = shared.cooldownMs.load();
    const auto lastOnsetNs = shared.lastHitOnsetNs.load();
    return cooldown >= 1 && lastOnsetNs != 0 && lastOnsetNs <= onsetNs
           && onsetNs - lastOnsetNs < static_cast<std::uint64_t> (cooldown) * 1'000'000u;
}

//==============================================================================
// Settings

void SensorMidiProcessor::setVolumePercent (double percent)
{
    const double gain = std::clamp (percent / 100.0, 0.0, 1.0);
    if (std::isfinite (gain))
        shared.masterGain.store (static_cast<float> (gain));
}

void SensorMidiProcessor::setCooldownMs (double value)
{
    if (! std::isfinite (value))
        return;

    // Ties go to even, as the control's own rounding does.
    const double whole = std::clamp (std::nearbyint (value), 0.0, 150.0);
    const auto stepped = static_cast<std::int32_t> (std::clamp (std::nearbyint (whole / 5.0) * 5.0, 0.0, 150.0));
    if (shared.cooldownMs.exchange (stepped) != stepped)
        shared.lastHitOnsetNs.store (0);
}

void SensorMidiProcessor::setSensitivityPercent (double percent)
{
    if (std::isnan (percent))
        return;

    const double clampedPercent = std::clamp (percent, 0.0, 100.0);
    const double k = std::clamp (10.0 - 9.0 * clampedPercent / 100.0, 1.0, 10.0);

    const std::lock_guard sessionGuard (session.lock());
    if (session.isRunning())
        return;
    const std::lock_guard lock (profileLock);
    shared.thresholdK.store (k);
    const double background = shared.calBackground.load();
    if (background > 0.0)
        setDetectionThreshold (k, background);
}

void SensorMidiProcessor::setChoke (bool shouldChoke)
{
    const std::lock_guard sessionGuard (session.lock());
    if (session.isRunning())
        return;
    const std::lock_guard lock (profileLock);
    shared.choke.store (shouldChoke);
}

void SensorMidiProcessor::setCurve (const VelocityCurve& newCurve)
{
    const std::lock_guard sessionGuard (session.lock());
    if (session.isRunning())
        return;
    const auto table = buildVelocityTable (newCurve);
    {
        const std::lock_guard lock (profileLock);
        if (&newCurve != &curve)
            curve = newCurve;
    }
    const std::lock_guard lock (curveTableLock);
    velocityTable = table;
}

VelocityCurve SensorMidiProcessor::getCurve() const
{
    const std::lock_guard lock (profileLock);
    return curve;
}

void SensorMidiProcessor::setDetectionThreshold (double thresholdK, double background) noexcept
{
    shared.detectionThreshold.store (std::max (thresholdK * background, minimumThreshold));
}

//==============================================================================
// Commands

bool SensorMidiProcessor::setPower (bool on)
{
    if (! on)
    {
        const std::lock_guard lock (powerLock);
        shared.powerOnPending.store (false);
        shared.powerOn.store (false);
        shared.lastHitOnsetNs.store (0);
        return true;
    }

    if (! shared.modelValid.load() || ! (shared.calBackground.load() > 0.0) || ! shared.sensorOk.load()
        || calibration.isRequestedOrRunning() || (session.isRunning() && ! session.allowsPower()))
        return false;
    if (shared.powerOn.load())
        return true;

    // The output guard makes guardSequence odd while it trips; a power-on that overlaps a trip
    // must not survive it.
    const auto sequenceBefore = shared.guardSequence.load();
    if ((sequenceBefore & 1) != 0)
        return false;

    shared.guardTripped.store (false);
    shared.lastHitOnsetNs.store (0);
    shared.powerSerial.fetch_add (1);
    shared.powerOn.store (true);

    if (shared.guardSequence.load() != sequenceBefore)
    {
        shared.powerOn.store (false);
        shared.guardTripped.store (true);
        return false;
    }
    return true;
}

bool SensorMidiProcessor::applyFactoryProfile (bool powerOnAfter)
{
    {
        const std::lock_guard sessionGuard (session.lock());
        if (session.isRunning() || calibration.isRequestedOrRunning())
            return false;

        const std::lock_guard lock (profileLock);
        profileModel = factory::ringingModel();
        shared.calBackground.store (factory::calBackground);
        shared.calLiveRef.store (factory::calLiveRef);
        shared.thresholdK.store (factory::thresholdK);
        shared.modelValid.store (true);
        shared.profileIsFactory.store (true);
    }

    publishModel (factory::ringingModel());
    shared.detectionThreshold.store (factory::detectionThreshold);
    shared.playbackGeneration.fetch_add (1);
    discardCalibrationResult();

    if (! powerOnAfter)
        return true;

    powerOnWhenSensorReady();
    shared.stateRevision.fetch_add (1);
    return true;
}

void SensorMidiProcessor::powerOnWhenSensorReady()
{
    const std::lock_guard lock (powerLock);
    if (shared.sensorOk.load())
    {
        shared.powerOnPending.store (false);
        setPower (true);
    }
    else if (! sensorReader.hasFailed())
    {
        // The sensor watch completes the power-on once the sensor is ready.
        shared.powerOnPending.store (true);
    }
}

void SensorMidiProcessor::publishModel (const RingingModel& model)
{
    const std::lock_guard lock (modelLock);
    pendingModel = model;
    shared.modelGeneration.fetch_add (1);
}

void SensorMidiProcessor::discardCalibrationResult()
{
    calibrationResultReady.store (false);
    calibrationFailureShown.store (false);
    calibrationResult = CalibrationResult {};
}

void SensorMidiProcessor::applyCalibrationResult()
{
    std::unique_lock sessionGuard (session.lock());
    if (session.isRunning() || ! calibrationResultReady.load() || ! calibrationResult.modelValid)
        return;

    const double background = calibrationResult.background;
    const double reference = calibrationResult.liveReference;
    const double multiplier = calibrationResult.thresholdMultiplier;
    if (! std::isfinite (background) || ! std::isfinite (reference) || ! std::isfinite (multiplier) || ! (background > 0.0)
        || reference < 0.0)
        return;

    const double k = std::clamp (multiplier, 1.0, 10.0);
    const auto model = calibrationResult.model();
    {
        const std::lock_guard lock (profileLock);
        profileModel = model;
        shared.modelValid.store (model.modelValid);
        shared.profileIsFactory.store (false);
        shared.calBackground.store (background);
        shared.calLiveRef.store (reference);
        shared.thresholdK.store (k);
    }

    sessionGuard.unlock();
    publishModel (model);
    setDetectionThreshold (k, background);
    shared.playbackGeneration.fetch_add (1);
    calibrationResultReady.store (false);

    powerOnWhenSensorReady();
    shared.calibrationRevision.fetch_add (1);
    shared.stateRevision.fetch_add (1);
}

juce::String SensorMidiProcessor::beginCalibration()
{
    const std::lock_guard sessionGuard (session.lock());
    if (sensorReader.hasFailed())
        return "Motion sensor could not open. Press Retry sensor.";
    if (! sensorReader.isRunning())
        return "Motion sensor is starting. Wait a moment, then try again.";
    if (! shared.sensorOk.load() || shared.sensorStalled.load())
        return "Motion sensor is not sending data. Allow Bopwell in macOS Privacy & Security, then press Retry sensor.";
    if (session.isRunning())
        return "Calibration cannot start right now. Please try again.";

    powerOffAndSilence();
    calibrationResultReady.store (false);
    calibrationFailureShown.store (false);
    const double applied = shared.appliedRateHz.load();
    // Not the detector's 802.5: a capture that never saw a measured rate says so in its durations.
    calibration.request (applied > 50.0 ? applied : 802.45);
    return {};
}

void SensorMidiProcessor::publishCalibrationFailure (int code)
{
    calibrationResult = CalibrationResult {};
    calibrationResult.shakeRatio = 1.0;
    calibrationResult.segmentRatio = 1.0;
    calibrationResult.calibrationResultCode = code;
    calibrationResult.detail = calibrationDetailFor (code);
    calibrationResultReady.store (false);
    calibrationFailureShown.store (true);
}

void SensorMidiProcessor::superviseCalibration()
{
    const bool sensorLost = sensorReader.hasFailed() || ! sensorReader.isRunning() || shared.sensorStalled.load();
    if (sensorLost && calibration.abortForLostSensor())
        publishCalibrationFailure (9);

    if (const int code = calibration.takeFailureCode(); code != 0)
        publishCalibrationFailure (code);
}

void SensorMidiProcessor::runPendingCalibrationAnalysis()
{
    // A capture that finished during a session waits for the session to end.
    if (session.isRunning())
        return;
    auto result = calibration.analyseFinishedCapture();
    if (! result)
        return;

    calibrationResult = std::move (*result);
    const auto& r = calibrationResult;
    const bool usable = r.succeeded && r.modelValid && std::isfinite (r.background) && std::isfinite (r.liveReference)
                        && std::isfinite (r.thresholdMultiplier) && r.background > 0.0 && r.liveReference >= 0.0 && r.thresholdLevel > 0.0;
    const bool ready = usable && calibration.phase() == CalibrationPhase::accepted;
    calibrationResultReady.store (ready);
    calibrationFailureShown.store (! ready);
    if (ready)
        applyCalibrationResult();
}

bool SensorMidiProcessor::restoreFactoryCalibration()
{
    setPower (false);
    return applyFactoryProfile (true);
}

void SensorMidiProcessor::retrySensor()
{
    if (session.isRunning())
        return;
    setPower (false);
    sensorReader.stop();
    shared.lastSampleNs.store (0);
    shared.sensorOk.store (false);
    shared.sensorStalled.store (false);
    shared.sensorWatchStartNs.store (clock.nowNs());
    startSensor();
}

void SensorMidiProcessor::powerOffAndSilence()
{
    setPower (false);
    shared.flushHitsRequest.store (true);
    shared.stopAllRequest.store (true);
}

void SensorMidiProcessor::timerCallback()
{
    const bool running = sensorReader.isRunning();
    const bool failed = sensorReader.hasFailed();
    const auto verdict = assessSensor (
        { clock.nowNs(), shared.lastSampleNs.load(), shared.sensorWatchStartNs.load(), running, failed, sensorReader.getSampleRateHz() });
    shared.sensorStalled.store (verdict.stalled);
    shared.sensorOk.store (verdict.ok);

    {
        const std::lock_guard lock (powerLock);
        if (failed)
        {
            shared.powerOnPending.store (false);
            shared.powerOn.store (false);
            shared.lastHitOnsetNs.store (0);
        }
        else if (verdict.ok && shared.powerOnPending.exchange (false))
        {
            setPower (true);
        }
    }

    // A stall turns Power off but keeps a pending power-on for when the sensor recovers.
    if (shared.powerOn.load() && (failed || ! running || verdict.stalled))
        shared.powerOn.store (false);

    session.supervise (failed || ! running);
    superviseCalibration();
}

void SensorMidiProcessor::stopAllVoices() noexcept
{
    shared.playbackGeneration.fetch_add (1);
    shared.stopAllRequest.store (true);
}

void SensorMidiProcessor::seedRandom (std::uint32_t seed) noexcept
{
    const juce::SpinLock::ScopedLockType lock (sampleSetLock);
    voiceEngine.random.seed (seed);
}

//==============================================================================
// Packs

bool SensorMidiProcessor::loadBuiltInPack (int index)
{
    if (index < 0 || index >= samplepack::builtInPackCount)
        return false;

    const std::lock_guard lock (packLoadMutex);
    samplepack::Data pack;
    if (! samplepack::decodeBuiltInPack (index, formatManager, pack))
        return false;
    installPack (pack, pack.name, index);
    return true;
}

bool SensorMidiProcessor::chooseBuiltInPack (int index)
{
    const std::lock_guard sessionGuard (session.lock());
    if (session.isRunning() || packLoadBusy.load())
        return false;
    const std::lock_guard lock (profileLock);
    return loadBuiltInPack (index);
}

void SensorMidiProcessor::resetPlayback() noexcept
{
    voiceEngine.resetVoices();
    voiceEngine.shuffle.reset();
}

void SensorMidiProcessor::installPack (samplepack::Data& data, const juce::String& label, int index)
{
    const juce::SpinLock::ScopedLockType lock (sampleSetLock);
    std::swap (samples, data.samples);
    samplePaths = data.sourcePaths;
    resetPlayback();

    if (label.isNotEmpty())
        packLabel = label;
    else if (samples.size() == 1)
        packLabel = samples.front().name;
    else
        packLabel = juce::String (static_cast<int> (samples.size())) + " samples (shuffle)";

    builtInPack = index;
    panSpread = index >= 0 && index < samplepack::builtInPackCount
                    ? std::clamp (samplepack::builtInPackTable[static_cast<size_t> (index)].panSpread, 0.0f, 1.0f)
                    : 0.0f;
    shared.playbackGeneration.fetch_add (1);
}

void SensorMidiProcessor::clearPack (const juce::String& label, const juce::StringArray& paths)
{
    VoiceEngine::Samples old;
    {
        const juce::SpinLock::ScopedLockType lock (sampleSetLock);
        std::swap (samples, old);
        samplePaths = paths;
        builtInPack = -1;
        panSpread = 0.0f;
        resetPlayback();
        packLabel = label;
    }
    shared.playbackGeneration.fetch_add (1);
}

juce::String SensorMidiProcessor::getPackLabel() const
{
    const juce::SpinLock::ScopedLockType lock (sampleSetLock);
    return packLabel;
}

int SensorMidiProcessor::getBuiltInPack() const
{
    const juce::SpinLock::ScopedLockType lock (sampleSetLock);
    return builtInPack;
}

float SensorMidiProcessor::getPanSpread() const
{
    const juce::SpinLock::ScopedLockType lock (sampleSetLock);
    return panSpread;
}

juce::StringArray SensorMidiProcessor::getSamplePaths() const
{
    const juce::SpinLock::ScopedLockType lock (sampleSetLock);
    return samplePaths;
}

int SensorMidiProcessor::getSampleCount() const
{
    const juce::SpinLock::ScopedLockType lock (sampleSetLock);
    return static_cast<int> (samples.size());
}

//==============================================================================
// Custom pack loading

// Runs one custom pack load on the loader pool; the pool deletes it when it returns.
class CustomPackLoadJob final : public juce::ThreadPoolJob
{
public:
    CustomPackLoadJob (SensorMidiProcessor& owner, juce::String pathToLoad) :
        juce::ThreadPoolJob ("Bopwell sample pack loader"), processor (owner), path (std::move (pathToLoad))
    {
    }

    JobStatus runJob() override
    {
        processor.runCustomPackLoad (path);
        return jobHasFinished;
    }

private:
    SensorMidiProcessor& processor;
    juce::String path;
};

samplepack::PackLoadProgress SensorMidiProcessor::packProgress()
{
    return samplepack::PackLoadProgress (packLoadCancel, [this] (int done, int total)
                                         { packLoadProgress.store (total < 1 ? 0.0 : static_cast<double> (done) / total); });
}

void SensorMidiProcessor::publishPackStatus (const PackLoadResult& result)
{
    {
        const std::lock_guard lock (packStatusMutex);
        packLoadStatus = result;
    }
    packStatusGeneration.fetch_add (1);
}

PackLoadResult SensorMidiProcessor::getPackLoadStatus() const
{
    const std::lock_guard lock (packStatusMutex);
    return packLoadStatus;
}

bool SensorMidiProcessor::startCustomPackLoad (const juce::String& path)
{
    bool idle = false;
    if (! packLoadBusy.compare_exchange_strong (idle, true))
    {
        publishPackStatus ({ false, packLoadAlreadyRunning, "Another sample pack is already loading.", 0 });
        return false;
    }

    packLoadCancel.store (false);
    packLoadProgress.store (0.0);
    try
    {
        loaderPool.addJob (new CustomPackLoadJob (*this, path), true);
    }
    catch (const std::bad_alloc&)
    {
        packLoadBusy.store (false);
        publishPackStatus ({ false, packLoadOutOfMemory, "Bopwell could not start the sample loader.", 0 });
        return false;
    }
    return true;
}

void SensorMidiProcessor::requestPackLoadCancel() noexcept
{
    if (packLoadBusy.load())
        packLoadCancel.store (true);
}

PackLoadResult SensorMidiProcessor::prepareCustomPack (const juce::File& source, samplepack::Data& pack)
{
    const std::lock_guard lock (packLoadMutex);
    const auto progress = packProgress();

    if (source.getFullPathName().isNotEmpty() && source.isDirectory())
    {
        if (! source.isDirectory())
            return { false, packLoadUnsupportedPath, "Choose a folder or a .bopwellpack file.", 0 };
        return samplepack::importFolder (source, formatManager, progress, pack);
    }
    if (source.getFileExtension().equalsIgnoreCase (".bopwellpack"))
        return samplepack::readPackContainer (source, progress, pack);
    if (samplepack::isSupportedAudioFile (source))
        return samplepack::importFile (source, formatManager, progress, pack);
    return { false, packLoadUnsupportedPath, "Choose one supported audio sample, folder, or .bopwellpack file.", 0 };
}

void SensorMidiProcessor::runCustomPackLoad (const juce::String& path)
{
    samplepack::Data pack;
    const auto result = loadAndInstallCustomPack (path, pack);

    publishPackStatus (result);
    if (result.ok)
    {
        {
            const std::lock_guard lock (restoreMutex);
            restoreMessage.clear();
            shared.stateRevision.fetch_add (1);
        }
        packLoadProgress.store (1.0);
    }
    packLoadBusy.store (false);
}

PackLoadResult SensorMidiProcessor::loadAndInstallCustomPack (const juce::String& path, samplepack::Data& pack)
{
    if (session.isRunning())
        return { false, packLoadBlockedBySession, "Sample changes are blocked while recording.", 0 };

    auto result = prepareCustomPack (juce::File (path), pack);
    if (! result.ok)
        return result;
    // A cancel that came after the last progress report still wins.
    if (packLoadCancel.load())
        return { false, packLoadCancelled, "Sample pack loading was cancelled.", 0 };

    const std::lock_guard sessionGuard (session.lock());
    if (session.isRunning())
        return { false, packLoadBlockedBySession, "Sample loading finished, but a recording session started. The previous pack was kept.",
                 0 };
    const std::lock_guard lock (profileLock);
    installPack (pack, pack.name, -1);
    return result;
}

PackLoadResult SensorMidiProcessor::loadSamplesInternal (const juce::Array<juce::File>& files, const juce::String& label)
{
    const std::lock_guard lock (packLoadMutex);
    samplepack::Data pack;
    auto result = samplepack::importFileList (files, label, formatManager, packProgress(), pack);
    if (result.ok)
        installPack (pack, label, -1);
    return result;
}

//==============================================================================
// Audio thread

void SensorMidiProcessor::prepareToPlay (double sampleRate, int)
{
    const bool firstCall = ! prepared;
    prepared = true;

    setPower (false);
    {
        const juce::SpinLock::ScopedLockType lock (sampleSetLock);
        shared.sampleRate.store (sampleRate);
        voiceEngine.prepare (sampleRate);
        shared.activeVoiceCount.store (0);
        shared.flushHitsRequest.store (true);
    }

    if (! firstCall)
        return;

    bool modelValid = false;
    {
        const std::lock_guard lock (profileLock);
        modelValid = profileModel.modelValid;
    }
    if (modelValid)
        powerOnWhenSensorReady();
}

SensorMidiProcessor::BlockTiming SensorMidiProcessor::timeBlock (int numSamples) const noexcept
{
    const auto nowNs = clock.nowNs();
    const double rate = voiceEngine.sampleRate();
    const double nsPerSample = rate > 0.0 ? 1e9 / rate : 0.0;
    const auto blockNs = static_cast<std::uint64_t> (nsPerSample * numSamples);
    return { nowNs > blockNs ? nowNs - blockNs : 0, nsPerSample };
}

void SensorMidiProcessor::startQueuedHits (const juce::AudioBuffer<float>& buffer, const BlockTiming& timing, bool choke) noexcept
{
    const auto generation = shared.playbackGeneration.load();
    const bool powered = shared.powerOn.load();
    const int numSamples = buffer.getNumSamples();
    const bool stereo = buffer.getNumChannels() >= 2;

    hitQueue.drain (
        [&] (const HitRecord& hit)
        {
            if (hit.generation != generation || ! powered)
                return;

            int offset = 0;
            if (timing.nsPerSample > 0.0 && hit.onsetNs > timing.startNs)
                offset = std::clamp (static_cast<int> (static_cast<double> (hit.onsetNs - timing.startNs) / timing.nsPerSample), 0,
                                     std::max (numSamples, 1) - 1);

            const int pick = voiceEngine.shuffle.pick (static_cast<int> (samples.size()), voiceEngine.random);
            if (pick < 0 || pick >= static_cast<int> (samples.size()) || samples[static_cast<size_t> (pick)].audio.getNumSamples() < 1)
                return;

            if (choke)
                voiceEngine.fadeOutActiveVoices (offset);

            auto& voice = voiceEngine.startVoice (pick, offset);
            if (stereo && panSpread > 0.0f)
                spreadPan (voice, panSpread, voiceEngine.random);
            shared.voicesStarted.fetch_add (1);
        });
}

void SensorMidiProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    const juce::ScopedNoDenormals noDenormals;

    if (! buffer.hasBeenCleared())
        buffer.clear();
    const bool choke = shared.choke.load();

    const juce::SpinLock::ScopedTryLockType lock (sampleSetLock);
    if (! lock.isLocked())
        return;

    const auto timing = timeBlock (buffer.getNumSamples());
    outputGuard.followPowerSerial (shared.powerSerial.load());

    if (shared.flushHitsRequest.exchange (false))
        hitQueue.discardAll();
    if (shared.stopAllRequest.exchange (false))
        voiceEngine.fadeOutActiveVoices (0);

    startQueuedHits (buffer, timing, choke);

    const auto atBlockStart = voiceEngine.voices();
    voiceEngine.render (buffer, samples);
    const auto gain = voiceEngine.takeGainRamp (shared.masterGain.load(), buffer.getNumSamples());
    finishBlock (buffer, gain);
    guardOutput (buffer, atBlockStart, gain, timing);

    shared.activeVoiceCount.store (voiceEngine.activeCount());
}

void SensorMidiProcessor::finishBlock (juce::AudioBuffer<float>& buffer, const GainRamp& gain) noexcept
{
    applyGain (buffer, gain);
    softClip (buffer);
}

void SensorMidiProcessor::guardOutput (juce::AudioBuffer<float>& buffer, const VoiceEngine::Voices& atBlockStart, const GainRamp& gain,
                                       const BlockTiming& timing) noexcept
{
    const auto onsets = OutputGuard::findOnsets (voiceEngine, atBlockStart, samples, buffer, gain);
    if (onsets.count == 0)
        return;

    const int tripAt = outputGuard.log (onsets, timing.startNs, timing.nsPerSample, shared.powerSerial.load());
    const int logged = tripAt < 0 ? onsets.count : tripAt + 1;

    std::uint16_t heard = 0;
    for (int e = 0; e < logged; ++e)
        heard |= onsets.events[static_cast<size_t> (e)].voices;

    auto markHeard = [heard] (VoiceEngine::Voices& voices)
    {
        for (int i = 0; i < VoiceEngine::voiceCount; ++i)
            if ((heard & (1u << i)) != 0)
                voices[static_cast<size_t> (i)].onsetPending = false;
    };

    if (tripAt < 0)
    {
        markHeard (voiceEngine.voices());
        return;
    }

    shared.guardSequence.fetch_add (1);
    shared.guardTripped.store (true);
    shared.powerOn.store (false);
    shared.guardSequence.fetch_add (1);

    // Play the block again as it would have sounded had the guard stopped at the tripping onset:
    // the voices heard so far stay, the ones that would have followed are dropped.
    auto& voices = voiceEngine.voices();
    voices = atBlockStart;
    markHeard (voices);
    buffer.clear();
    voiceEngine.render (buffer, samples,
                        [&atBlockStart, &voices] (int i)
                        { return ! atBlockStart[static_cast<size_t> (i)].onsetPending || ! voices[static_cast<size_t> (i)].onsetPending; });
    finishBlock (buffer, gain);

    for (auto& voice : voices)
        if (voice.onsetPending)
            voice = Voice {};
}
