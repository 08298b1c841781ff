#pragma once

#include "calibration/CalibrationCapture.h"
#include "calibration/CalibrationResult.h"
#include "calibration/QuietCheck.h"

#include <array>
#include <atomic>
#include <mutex>
#include <optional>

namespace bopwell
{

// Where the tap detector stands in a capture, moved along when the capture is compacted.
struct CaptureMarks
{
    int lastTapIndex = -1'000'000;
    int captureOnset = -1; // the tap being captured, or -1
};

// Keeps a long tap phase bounded: keeps the quiet background (with the detector's 24 samples of
// memory before it, so every quiet envelope value stays what it was), each completed tap from 50 ms
// before to 650 ms after its onset, and the latest second; drops the rest in place and moves the
// onsets and marks to their new indices. Allocates nothing.
void compactCapture (CalibrationCapture& capture, double rateHz, CaptureMarks& marks) noexcept;

enum class CalibrationPhase
{
    idle = 0,
    settle = 1,
    quietCheck = 2,
    taps = 3,
    tail = 4,
    captured = 5,
    accepted = 6,
    failed = 7,
};

// The guided calibration as it runs on the incoming samples: one second to settle, two seconds of
// quiet background, fifteen taps (light, medium, firm, five times), 0.6 s of tail. The sensor thread
// records and advances it; the message thread starts, pauses, resumes, cancels, undoes and analyses
// it. Everything that changes the capture happens under one lock; what the editor reads is atomic.
class CalibrationProcedure
{
public:
    // Room for the longest capture, reserved before the sensor thread starts appending, so that it
    // never allocates: the tap phase is compacted at compactAt samples, and the tail adds at most a
    // few hundred more.
    static constexpr std::size_t compactAt = 100'000;
    static constexpr std::size_t reservedSamples = compactAt + 2'400;

    // Message thread
    void request (double startRate);
    void pause();
    void resume();
    void cancel();
    // Back to idle as if no calibration had run: a run in progress, a capture waiting for analysis
    // and an unpublished failure are all dropped.
    void reset();
    // False when there was nothing to undo.
    bool undoLastStep();
    // Ends a running or requested calibration because the sensor is gone; true when it did.
    bool abortForLostSensor();
    // The quiet check's failure code waiting for publication, or 0.
    int takeFailureCode() noexcept { return failureCode.exchange (0); }
    // Analyses a finished capture, once; nothing when none waits.
    std::optional<CalibrationResult> analyseFinishedCapture();

    // Sensor thread: one sample's gravity-removed acceleration and its magnitude.
    void captureStep (const std::array<double, 3>& highPass, double motion) noexcept;

    bool isRequestedOrRunning() const noexcept { return requested.load() || running.load(); }
    bool isRunning() const noexcept { return running.load(); }
    bool isPaused() const noexcept { return paused.load(); }
    bool isAnalysisRequested() const noexcept { return analysisRequested.load(); }
    CalibrationPhase phase() const noexcept { return static_cast<CalibrationPhase> (phaseValue.load()); }
    double progress() const noexcept { return progressValue.load(); }
    int tapCount() const noexcept { return tapCountValue.load(); }
    int sampleCount() const noexcept { return sampleCountValue.load(); }
    bool isReadyForTap() const noexcept { return readyForTap.load(); }
    bool isTapInProgress() const noexcept { return tapInProgress.load(); }

    // A copy of the capture, for tests and tools.
    CalibrationCapture captureSnapshot() const;

private:
    void startCapture() noexcept;
    void endIn (CalibrationPhase phaseToEndIn) noexcept;
    void appendSample (const std::array<double, 3>& highPass) noexcept;
    void advanceTimedPhase() noexcept;
    void detectTap (int index, double motion) noexcept;
    void completeTap() noexcept;
    int dropTapInCapture() noexcept;
    void truncateAt (int index) noexcept;
    void setPhase (CalibrationPhase next, double remaining) noexcept;
    void setTapCount (int count) noexcept;
    int samplesFor (double seconds) const noexcept;

    mutable std::mutex lock;

    std::atomic<bool> requested { false };
    std::atomic<bool> running { false };
    std::atomic<bool> paused { false };
    std::atomic<bool> analysisRequested { false };
    std::atomic<int> phaseValue { 0 };
    std::atomic<double> progressValue { 0.0 };
    std::atomic<double> startRate { 0.0 };
    std::atomic<int> failureCode { 0 };
    std::atomic<int> tapCountValue { 0 };
    std::atomic<int> sampleCountValue { 0 };
    std::atomic<bool> readyForTap { false };
    std::atomic<bool> tapInProgress { false };

    // Under lock
    CalibrationCapture capture;
    QuietCheckScratch quietScratch;
    double rate = 0.0;
    double phaseRemaining = 0.0;
    std::array<double, CalibrationCapture::tapsPerCalibration> tapPeaks {};
    double tapTriggerLevel = 0.0;
    bool armed = true;
    int quietCount = 0;
    int lastTapIndex = -1'000'000;
    bool capturing = false;
    int captureOnset = -1;
    int captureCountdown = 0;
    int captureCount = 0;
    double capturePeak = 0.0;
    int failurePhase = 0;
};

} // namespace bopwell
