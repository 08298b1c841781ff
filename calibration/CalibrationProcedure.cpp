#include "calibration/CalibrationProcedure.h"

#include "calibration/CalibrationAnalysis.h"
#include "calibration/QuietCheck.h"

#include <algorithm>
#include <cmath>

namespace bopwell
{

namespace
{
    constexpr int taps = CalibrationCapture::tapsPerCalibration;
    constexpr int noTapYet = -1'000'000;
    // The detector's envelope and predictor look this far back: kept before the quiet samples, they
    // let the analysis see every quiet envelope value exactly as it was captured.
    constexpr int detectorMemorySamples = 24;
} // namespace

void compactCapture (CalibrationCapture& capture, double rate, CaptureMarks& marks) noexcept
{
    const int n = static_cast<int> (capture.x.size());
    struct Interval
    {
        int start;
        int end;
    };
    std::array<Interval, CalibrationCapture::tapsPerCalibration + 2> intervals {};
    int count = 0;

    const auto firstQuiet = std::find (capture.label.begin(), capture.label.end(), CalibrationCapture::quietLabel);
    if (firstQuiet != capture.label.end())
    {
        const auto lastQuiet = std::find (capture.label.rbegin(), capture.label.rend(), CalibrationCapture::quietLabel);
        const int first = static_cast<int> (firstQuiet - capture.label.begin());
        const int last = n - 1 - static_cast<int> (lastQuiet - capture.label.rbegin());
        intervals[static_cast<size_t> (count++)] = { std::max (0, first - detectorMemorySamples), last + 1 };
    }
    for (int t = 0; t < capture.tapCount; ++t)
    {
        const int onset = capture.tapOnsets[static_cast<size_t> (t)];
        intervals[static_cast<size_t> (count++)] = { std::max (0, onset - static_cast<int> (0.05 * rate)),
                                                     std::min (onset + static_cast<int> (0.65 * rate), n) };
    }
    intervals[static_cast<size_t> (count++)] = { std::max (0, n - static_cast<int> (rate)), n };

    std::sort (intervals.begin(), intervals.begin() + count, [] (const Interval& a, const Interval& b) { return a.start < b.start; });

    // Intervals ascend, so the kept samples can be moved down in place; an index maps to where it
    // lands, or to -1 when it was dropped.
    std::array<int, CalibrationCapture::tapsPerCalibration + 2> keptStart {};
    std::array<int, CalibrationCapture::tapsPerCalibration + 2> keptEnd {};
    int merged = 0;
    for (int i = 0; i < count; ++i)
    {
        const auto interval = intervals[static_cast<size_t> (i)];
        if (interval.end <= interval.start)
            continue;
        if (merged > 0 && interval.start <= keptEnd[static_cast<size_t> (merged - 1)])
            keptEnd[static_cast<size_t> (merged - 1)] = std::max (keptEnd[static_cast<size_t> (merged - 1)], interval.end);
        else
        {
            keptStart[static_cast<size_t> (merged)] = interval.start;
            keptEnd[static_cast<size_t> (merged++)] = interval.end;
        }
    }

    auto mapIndex = [&] (int old)
    {
        int offset = 0;
        for (int k = 0; k < merged; ++k)
        {
            const int start = keptStart[static_cast<size_t> (k)];
            const int end = keptEnd[static_cast<size_t> (k)];
            if (old >= start && old < end)
                return offset + old - start;
            offset += end - start;
        }
        return -1;
    };

    for (int t = 0; t < capture.tapCount; ++t)
        capture.tapOnsets[static_cast<size_t> (t)] = mapIndex (capture.tapOnsets[static_cast<size_t> (t)]);
    if (marks.captureOnset >= 0)
        marks.captureOnset = mapIndex (marks.captureOnset);

    int write = 0;
    for (int k = 0; k < merged; ++k)
        for (int read = keptStart[static_cast<size_t> (k)]; read < keptEnd[static_cast<size_t> (k)]; ++read, ++write)
        {
            const auto from = static_cast<size_t> (read);
            const auto to = static_cast<size_t> (write);
            capture.x[to] = capture.x[from];
            capture.y[to] = capture.y[from];
            capture.z[to] = capture.z[from];
            capture.label[to] = capture.label[from];
        }

    const int newN = write;
    marks.lastTapIndex = newN - std::min (static_cast<int> (0.6 * rate) + 1, std::max (0, n - marks.lastTapIndex));
    for (auto* axis : { &capture.x, &capture.y, &capture.z })
        axis->resize (static_cast<size_t> (newN));
    capture.label.resize (static_cast<size_t> (newN));
}

int CalibrationProcedure::samplesFor (double seconds) const noexcept { return static_cast<int> (std::ceil (seconds * rate)); }

void CalibrationProcedure::setPhase (CalibrationPhase next, double remaining) noexcept
{
    phaseValue.store (static_cast<int> (next));
    phaseRemaining = remaining;
    progressValue.store (remaining);
}

void CalibrationProcedure::setTapCount (int count) noexcept
{
    capture.tapCount = count;
    tapCountValue.store (count);
}

//==============================================================================
// Message thread

void CalibrationProcedure::request (double rateHz)
{
    const std::lock_guard guard (lock);
    for (auto* axis : { &capture.x, &capture.y, &capture.z })
        axis->reserve (reservedSamples);
    capture.label.reserve (reservedSamples);
    quietScratch.reserveFor (rateHz);
    startRate.store (rateHz);
    analysisRequested.store (false);
    failureCode.store (0);
    paused.store (false);
    requested.store (true);
}

void CalibrationProcedure::pause()
{
    const std::lock_guard guard (lock);
    if (! running.load() && ! requested.load())
        return;
    if (capturing)
        truncateAt (dropTapInCapture());
    paused.store (true);
    readyForTap.store (false);
}

void CalibrationProcedure::resume()
{
    const std::lock_guard guard (lock);
    if (paused.exchange (false) && phase() == CalibrationPhase::taps)
    {
        // The next tap needs a fresh quiet stretch and 0.6 s, as after any other tap.
        armed = false;
        readyForTap.store (false);
        quietCount = 0;
        lastTapIndex = static_cast<int> (capture.x.size());
    }
}

void CalibrationProcedure::endIn (CalibrationPhase phaseToEndIn) noexcept
{
    requested.store (false);
    running.store (false);
    paused.store (false);
    analysisRequested.store (false);
    setPhase (phaseToEndIn, 0.0);
    capturing = false;
    tapInProgress.store (false);
}

void CalibrationProcedure::cancel()
{
    const std::lock_guard guard (lock);
    endIn (CalibrationPhase::idle);
}

void CalibrationProcedure::reset()
{
    const std::lock_guard guard (lock);
    endIn (CalibrationPhase::idle);
    failureCode.store (0);
}

bool CalibrationProcedure::undoLastStep()
{
    const std::lock_guard guard (lock);
    const auto current = phase();
    if (! running.load() || (current != CalibrationPhase::taps && current != CalibrationPhase::tail) || analysisRequested.load())
        return false;

    int onset = captureOnset;
    if (! capturing)
    {
        if (capture.tapCount < 1)
            return false;
        const int last = capture.tapCount - 1;
        onset = capture.tapOnsets[static_cast<size_t> (last)];
        capture.tapOnsets[static_cast<size_t> (last)] = -1;
        tapPeaks[static_cast<size_t> (last)] = 0.0;
        setTapCount (last);
    }

    dropTapInCapture();
    armed = false;
    readyForTap.store (false);
    quietCount = 0;
    truncateAt (onset);
    lastTapIndex = static_cast<int> (capture.x.size());
    setPhase (CalibrationPhase::taps, 0.0);
    running.store (true);
    return true;
}

bool CalibrationProcedure::abortForLostSensor()
{
    if (! isRequestedOrRunning())
        return false;
    const std::lock_guard guard (lock);
    endIn (CalibrationPhase::failed);
    return true;
}

std::optional<CalibrationResult> CalibrationProcedure::analyseFinishedCapture()
{
    if (! analysisRequested.load())
        return std::nullopt;
    const std::lock_guard guard (lock);
    if (! analysisRequested.exchange (false))
        return std::nullopt;

    auto result = analyseCalibration (capture, rate);
    setPhase (result.succeeded ? CalibrationPhase::accepted : CalibrationPhase::failed, 0.0);
    return result;
}

CalibrationCapture CalibrationProcedure::captureSnapshot() const
{
    const std::lock_guard guard (lock);
    return capture;
}

//==============================================================================
// Sensor thread

void CalibrationProcedure::captureStep (const std::array<double, 3>& highPass, double motion) noexcept
{
    if (! isRequestedOrRunning())
        return;

    const std::lock_guard guard (lock);
    if (requested.exchange (false))
        startCapture();
    if (! running.load() || paused.load())
        return;

    appendSample (highPass);
    const int index = static_cast<int> (capture.x.size()) - 1;

    if (phase() == CalibrationPhase::taps)
        detectTap (index, motion);
    else
        advanceTimedPhase();

    if (phase() == CalibrationPhase::taps && capture.x.size() >= compactAt)
    {
        CaptureMarks marks { lastTapIndex, capturing ? captureOnset : -1 };
        compactCapture (capture, rate, marks);
        lastTapIndex = marks.lastTapIndex;
        if (capturing)
            captureOnset = marks.captureOnset;
        sampleCountValue.store (static_cast<int> (capture.x.size()));
    }
}

void CalibrationProcedure::startCapture() noexcept
{
    rate = startRate.load();
    capture.x.clear();
    capture.y.clear();
    capture.z.clear();
    capture.label.clear();
    sampleCountValue.store (0);
    setTapCount (0);
    capture.tapOnsets = CalibrationCapture::noTaps();
    tapPeaks.fill (0.0);
    tapTriggerLevel = 0.0;
    capture.motionLimit = 0.0;
    capture.quietMedian = 0.0;
    capture.quietSigma = 0.0;
    capture.segmentRatio = 1.0;
    armed = true;
    readyForTap.store (false);
    quietCount = 0;
    lastTapIndex = noTapYet;
    capturing = false;
    captureOnset = -1;
    captureCountdown = 0;
    captureCount = 0;
    capturePeak = 0.0;
    tapInProgress.store (false);
    failureCode.store (0);
    setPhase (CalibrationPhase::settle, 1.0);
    running.store (true);
}

void CalibrationProcedure::appendSample (const std::array<double, 3>& highPass) noexcept
{
    // Capacity was reserved by request() and compaction keeps within it: no allocation here.
    capture.x.push_back (static_cast<float> (highPass[0]));
    capture.y.push_back (static_cast<float> (highPass[1]));
    capture.z.push_back (static_cast<float> (highPass[2]));
    capture.label.push_back (static_cast<std::uint8_t> (phaseValue.load()));
    sampleCountValue.store (static_cast<int> (capture.x.size()));
}

void CalibrationProcedure::advanceTimedPhase() noexcept
{
    phaseRemaining -= 1.0 / rate;
    progressValue.store (std::max (phaseRemaining, 0.0));
    if (phaseRemaining > 1e-12)
        return;

    switch (phase())
    {
        case CalibrationPhase::settle: setPhase (CalibrationPhase::quietCheck, 2.0); break;

        case CalibrationPhase::quietCheck:
        {
            const auto check = quietCheck (capture, rate, quietScratch);
            if (check.failureCode != 0)
            {
                failureCode.store (check.failureCode);
                failurePhase = static_cast<int> (CalibrationPhase::quietCheck);
                setPhase (CalibrationPhase::failed, 0.0);
                running.store (false);
                analysisRequested.store (false);
                return;
            }
            capture.quietMedian = check.quietMedian;
            capture.quietSigma = check.quietSigma;
            capture.motionLimit = check.motionLimit;
            capture.segmentRatio = check.segmentRatio;
            tapTriggerLevel = check.tapTriggerLevel;
            setPhase (CalibrationPhase::taps, 0.0);
            armed = true;
            readyForTap.store (true);
            quietCount = 0;
            lastTapIndex = noTapYet;
            break;
        }

        case CalibrationPhase::tail:
            setPhase (CalibrationPhase::captured, 0.0);
            running.store (false);
            analysisRequested.store (true);
            break;

        case CalibrationPhase::idle:
        case CalibrationPhase::taps:
        case CalibrationPhase::captured:
        case CalibrationPhase::accepted:
        case CalibrationPhase::failed: break;
    }
}

void CalibrationProcedure::detectTap (int index, double motion) noexcept
{
    if (capturing)
    {
        if (captureCount < samplesFor (0.03))
            capturePeak = std::max (capturePeak, motion);
        ++captureCount;
        if (--captureCountdown > 0)
            return;
        completeTap();
        return;
    }

    const bool spacedOut = index - lastTapIndex >= samplesFor (0.6);
    if (! armed)
    {
        const double quiet = std::max (capture.quietMedian + 3.0 * capture.quietSigma, 0.5 * tapTriggerLevel);
        if (motion <= quiet + std::max (std::abs (quiet) * 1e-6, 1e-12))
            ++quietCount;
        else
            quietCount = std::max (0, quietCount - 8);

        if (! (spacedOut && quietCount >= samplesFor (0.1)))
            return;
        armed = true;
        readyForTap.store (true);
    }

    if (spacedOut && motion > tapTriggerLevel)
    {
        capturing = true;
        readyForTap.store (false);
        captureOnset = index;
        capturePeak = motion;
        captureCount = 0;
        tapInProgress.store (true);
        captureCountdown = std::max (1, samplesFor (0.4));
    }
}

void CalibrationProcedure::completeTap() noexcept
{
    const int before = capture.tapCount;
    if (before <= taps - 1)
    {
        capture.tapOnsets[static_cast<size_t> (before)] = captureOnset;
        tapPeaks[static_cast<size_t> (before)] = capturePeak;
        setTapCount (before + 1);
    }
    capturing = false;
    tapInProgress.store (false);
    armed = false;
    readyForTap.store (false);
    quietCount = 0;
    lastTapIndex = captureOnset;
    if (before >= taps - 1)
        setPhase (CalibrationPhase::tail, 0.6);
}

int CalibrationProcedure::dropTapInCapture() noexcept
{
    const int onset = captureOnset;
    capturing = false;
    tapInProgress.store (false);
    captureOnset = -1;
    captureCount = 0;
    capturePeak = 0.0;
    return onset;
}

void CalibrationProcedure::truncateAt (int index) noexcept
{
    if (index < 0 || index >= static_cast<int> (capture.x.size()))
        return;
    const auto n = static_cast<size_t> (index);
    capture.x.resize (n);
    capture.y.resize (n);
    capture.z.resize (n);
    capture.label.resize (n);
    sampleCountValue.store (index);
}

} // namespace bopwell
