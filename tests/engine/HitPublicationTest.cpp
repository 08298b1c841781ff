#include "support/AllocationCounter.h"
#include "support/ProcessorHarness.h"

#include <gtest/gtest.h>

using namespace bopwell;
using test::ProcessorHarness;

namespace
{
constexpr double deskRate = 800.0;

DeskModel deskWithTaps (std::initializer_list<double> times, double strength = DeskTap::ordinaryStrengthG)
{
    DeskModel desk;
    for (double t : times)
        desk.addTap ({ t, strength });
    return desk;
}

int samplesFor (double seconds) { return static_cast<int> (seconds * deskRate); }

// Onset relative to the harness's first sample, in ms (the clock starts one period before it).
double onsetMs (const ProcessorHarness& h, const FiredHit& hit)
{
    const auto firstSampleNs = ManualEngineClock().nowNs() + h.periodNs;
    return static_cast<double> (static_cast<std::int64_t> (hit.onsetNs - firstSampleNs)) / 1e6;
}
} // namespace

TEST (HitPublication, EachTapFiresOnceWithItsOnsetAndDisplayLevel)
{
    ProcessorHarness h;
    auto desk = deskWithTaps ({ 0.5, 1.0, 1.5, 2.0 });
    h.feed (desk, samplesFor (2.5));

    ASSERT_EQ (h.fired.size(), 4u);
    for (size_t i = 0; i < h.fired.size(); ++i)
    {
        EXPECT_NEAR (onsetMs (h, h.fired[i]), 500.0 * static_cast<double> (i + 1), 1.5) << i;
        // The envelope peaks over the push and the first rebound sample: 2.5 of 4 samples.
        EXPECT_NEAR (h.fired[i].strength, DeskTap::ordinaryStrengthG * 0.625, 0.0005);
        EXPECT_DOUBLE_EQ (h.fired[i].input, h.fired[i].strength / 0.08);
        EXPECT_NEAR (h.fired[i].level, h.fired[i].input, 1e-6); // identity curve
    }
    const auto& s = h.processor.state();
    EXPECT_EQ (s.lastHitStrength.load(), h.fired.back().strength);
    EXPECT_EQ (s.lastHitInput.load(), h.fired.back().input);
    EXPECT_EQ (s.lastHitLevel.load(), h.fired.back().level);
}

TEST (HitPublication, PowerOffUpdatesTheLastHitButQueuesNothing)
{
    ProcessorHarness h;
    auto desk = deskWithTaps ({ 0.5 }, 0.5);
    h.feed (desk, samplesFor (1.0));

    ASSERT_EQ (h.fired.size(), 1u);
    const auto& s = h.processor.state();
    EXPECT_EQ (s.lastHitInput.load(), 1.0); // a strong tap saturates the curve's input
    EXPECT_EQ (s.lastHitLevel.load(), 1.0);
    EXPECT_EQ (s.hitsAccepted.load(), 0);
    EXPECT_EQ (s.lastHitOnsetNs.load(), 0u);
    EXPECT_EQ (h.processor.pendingHits().size(), 0u);
}

TEST (HitPublication, PowerOnQueuesHitsWithTheCurrentGeneration)
{
    ProcessorHarness h;
    auto desk = deskWithTaps ({ 0.5, 1.0 });
    ASSERT_TRUE (h.powerOn (desk));
    h.feed (desk, samplesFor (1.5));

    const auto& s = h.processor.state();
    EXPECT_EQ (s.hitsAccepted.load(), 2);
    EXPECT_EQ (s.lastHitOnsetNs.load(), h.fired.back().onsetNs);
    EXPECT_EQ (h.processor.pendingHits().size(), 2u);
}

TEST (HitPublication, CooldownDropsCloseHitsSilently)
{
    // 19 samples at 800 Hz is 23.75 ms, under the 25 ms cooldown; 40 samples is 50 ms.
    ProcessorHarness h;
    auto desk = deskWithTaps ({ 0.5, 0.5 + 19 / deskRate, 0.5 + 59 / deskRate });
    ASSERT_TRUE (h.powerOn (desk));
    h.feed (desk, samplesFor (1.0));

    ASSERT_EQ (h.fired.size(), 3u);
    const auto& s = h.processor.state();
    EXPECT_EQ (s.hitsAccepted.load(), 2);
    EXPECT_EQ (s.hitsDropped.load(), 0);
    EXPECT_EQ (s.lastHitOnsetNs.load(), h.fired[2].onsetNs);
}

TEST (HitPublication, AHitWhoseOnsetIsBeforeTheLastOneIsAccepted)
{
    ProcessorHarness h;
    auto desk = deskWithTaps ({ 0.5, 0.75 });
    ASSERT_TRUE (h.powerOn (desk));
    h.feed (desk, samplesFor (0.6));
    h.clock.setNs (h.clock.nowNs() - 500'000'000); // the clock steps back half a second
    h.feed (desk, samplesFor (0.3));

    ASSERT_EQ (h.fired.size(), 2u);
    EXPECT_LT (h.fired[1].onsetNs, h.fired[0].onsetNs);
    EXPECT_EQ (h.processor.state().hitsAccepted.load(), 2);
}

TEST (HitPublication, TheSixtyFifthWaitingHitIsDropped)
{
    ProcessorHarness h;
    DeskModel desk;
    for (int i = 0; i < 65; ++i)
        desk.addTap ({ 0.5 + 0.2 * i });
    h.processor.setCooldownMs (0);
    ASSERT_TRUE (h.powerOn (desk));
    h.feed (desk, samplesFor (0.5 + 0.2 * 65));

    const auto& s = h.processor.state();
    EXPECT_EQ (h.fired.size(), 65u);
    EXPECT_EQ (s.hitsAccepted.load(), 64);
    EXPECT_EQ (s.hitsDropped.load(), 1);
    EXPECT_EQ (s.lastHitOnsetNs.load(), h.fired[63].onsetNs);
}

TEST (HitPublication, AGapOver25MsRestartsTheDetector)
{
    struct Case
    {
        std::uint64_t gapNs;
        size_t fires;
    };
    // A tap in the first sample after the gap falls inside the holdoff when the gap is a stall.
    for (const auto& c : { Case { 25'000'000, 1 }, Case { 25'000'001, 0 } })
    {
        ProcessorHarness h;
        DeskModel desk;
        h.feed (desk, samplesFor (0.5));
        desk.addTap ({ static_cast<double> (desk.samplesProduced()) / deskRate });
        h.feed (desk.nextSample(), c.gapNs);
        h.feed (desk, samplesFor (0.5));
        EXPECT_EQ (h.fired.size(), c.fires) << c.gapNs;
    }
}

TEST (HitPublication, AReportedRateMoreThanTwoPercentAwayReshapesTheDetector)
{
    struct Case
    {
        double reported;
        double applied;
        int peakWindow;
    };
    // The onset lies the peak window before the firing sample: 3 samples at 802.5 Hz, 2 at 700.
    for (const auto& c : { Case { 700.0, 700.0, 2 }, Case { 810.0, 802.5, 3 }, Case { 90.0, 802.5, 3 } })
    {
        ProcessorHarness h (c.reported);
        auto desk = deskWithTaps ({ 0.5 });
        h.feed (desk, samplesFor (1.0));
        EXPECT_EQ (h.processor.state().appliedRateHz.load(), c.applied) << c.reported;
        ASSERT_EQ (h.fired.size(), 1u) << c.reported;
        const auto firedAtNs = ManualEngineClock().nowNs() + h.periodNs * static_cast<std::uint64_t> (0.5 * deskRate + c.peakWindow + 1);
        EXPECT_EQ (h.fired[0].onsetNs, firedAtNs - static_cast<std::uint64_t> (c.peakWindow * 1e9 / c.applied)) << c.reported;
    }
}

TEST (HitPublication, SensorOkFollowsTheReportedRate)
{
    for (double rate : { 0.0, 49.9, 50.0 })
    {
        ProcessorHarness h (rate);
        DeskModel desk;
        h.feed (desk, 1);
        EXPECT_EQ (h.processor.state().sensorOk.load(), rate >= 50.0) << rate;
        EXPECT_EQ (h.processor.setPower (true), rate >= 50.0) << rate;
    }
}

TEST (HitPublication, QuietDeskTracksItsBackgroundWellUnderTheThreshold)
{
    ProcessorHarness h;
    DeskModel desk;
    h.feed (desk, samplesFor (3.0));
    const auto& s = h.processor.state();
    EXPECT_TRUE (h.fired.empty());
    EXPECT_GT (s.liveBackground.load(), 0.0);
    EXPECT_LT (s.liveBackground.load(), s.detectionThreshold.load() / 4);
    EXPECT_LT (h.processor.takeEnvelopePeak(), s.detectionThreshold.load() / 2);
    EXPECT_EQ (h.processor.takeEnvelopePeak(), 0.0);
}

TEST (HitPublication, HandlingASampleAllocatesNothing)
{
    ProcessorHarness h;
    DeskModel desk;
    for (int i = 0; i < 8; ++i)
        desk.addTap ({ 0.3 + 0.25 * i });
    h.fired.reserve (16);
    ASSERT_TRUE (h.powerOn (desk));

    std::vector<SensorReader::Sample> samples;
    for (int i = 0; i < samplesFor (2.5); ++i)
        samples.push_back (desk.nextSample());

    const test::AllocationCounter counter;
    for (const auto& sample : samples)
        h.feed (sample, h.periodNs);
    EXPECT_EQ (counter.allocations(), 0u);
    EXPECT_EQ (h.processor.state().hitsAccepted.load(), 8);
}
