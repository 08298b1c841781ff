#include "calibration/FactoryProfile.h"
#include "support/ProcessorHarness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace bopwell;

namespace
{
constexpr double notANumber = std::numeric_limits<double>::quiet_NaN();
constexpr double infinity = std::numeric_limits<double>::infinity();
} // namespace

TEST (ProcessorSettings, ConstructionInstallsTheDefaultsAndTheFactoryProfile)
{
    ManualEngineClock clock;
    SensorMidiProcessor processor (clock);
    const auto& s = processor.state();

    EXPECT_EQ (processor.getName(), "Bopwell");
    EXPECT_EQ (processor.getTotalNumInputChannels(), 0);
    EXPECT_EQ (processor.getTotalNumOutputChannels(), 2);
    EXPECT_EQ (processor.getBus (false, 0)->getName(), "Output");

    EXPECT_EQ (s.masterGain.load(), 0.7f);
    EXPECT_EQ (s.cooldownMs.load(), 25);
    EXPECT_TRUE (s.choke.load());
    EXPECT_EQ (s.inputMax.load(), 0.08);
    EXPECT_EQ (processor.getCurve(), VelocityCurve::identity());

    EXPECT_EQ (s.thresholdK.load(), 1.18);
    EXPECT_EQ (s.calBackground.load(), 0.000382724490646);
    EXPECT_EQ (s.calLiveRef.load(), 3.3266398203e-05);
    EXPECT_EQ (s.detectionThreshold.load(), 0.00045161489896227997);
    EXPECT_TRUE (s.modelValid.load());
    EXPECT_TRUE (s.profileIsFactory.load());
    EXPECT_EQ (s.modelGeneration.load(), 1);

    EXPECT_FALSE (s.powerOn.load());
    EXPECT_FALSE (s.powerOnPending.load());
    EXPECT_EQ (s.appliedRateHz.load(), 802.5);
    EXPECT_EQ (s.stateRevision.load(), 0);
}

TEST (ProcessorSettings, VolumeClampsToUnityAndIgnoresNonFinite)
{
    struct Case
    {
        double percent;
        float stored;
    };
    for (const auto& c :
         { Case { 150, 1.0f }, Case { -10, 0.0f }, Case { 55, 0.55f }, Case { notANumber, 0.55f }, Case { infinity, 1.0f } })
    {
        ManualEngineClock clock;
        SensorMidiProcessor processor (clock);
        processor.setVolumePercent (55);
        processor.setVolumePercent (c.percent);
        EXPECT_EQ (processor.state().masterGain.load(), c.stored) << c.percent;
    }
}

TEST (ProcessorSettings, CooldownRoundsToStepsOfFive)
{
    struct Case
    {
        double input;
        int stored;
    };
    const Case cases[] = { { 37, 35 },  { 38, 40 }, { 500, 150 }, { -4, 0 },          { 12.5, 10 },     { 13.5, 15 },
                           { 7.5, 10 }, { 2.5, 0 }, { 150, 150 }, { notANumber, 25 }, { -infinity, 25 } };
    for (const auto& c : cases)
    {
        ManualEngineClock clock;
        SensorMidiProcessor processor (clock);
        processor.setCooldownMs (c.input);
        EXPECT_EQ (processor.state().cooldownMs.load(), c.stored) << c.input;
    }
}

TEST (ProcessorSettings, SensitivityMapsToTheThresholdMultiplier)
{
    struct Case
    {
        double percent;
        double k;
    };
    for (const auto& c : { Case { 0, 10.0 }, Case { 50, 5.5 }, Case { 100, 1.0 }, Case { -20, 10.0 }, Case { 180, 1.0 } })
    {
        ManualEngineClock clock;
        SensorMidiProcessor processor (clock);
        processor.setSensitivityPercent (c.percent);
        EXPECT_DOUBLE_EQ (processor.state().thresholdK.load(), c.k) << c.percent;
        EXPECT_DOUBLE_EQ (processor.state().detectionThreshold.load(), c.k * factory::calBackground) << c.percent;
    }

    ManualEngineClock clock;
    SensorMidiProcessor processor (clock);
    processor.setSensitivityPercent (notANumber);
    EXPECT_EQ (processor.state().thresholdK.load(), factory::thresholdK);
}

TEST (ProcessorSettings, ChokeAndCurve)
{
    ManualEngineClock clock;
    SensorMidiProcessor processor (clock);
    processor.setChoke (false);
    EXPECT_FALSE (processor.state().choke.load());

    const VelocityCurve bent { { { 0.0, 0.1 }, { 0.4, 0.8 }, { 1.0, 1.0 } }, { 0.3, 0.7 } };
    processor.setCurve (bent);
    EXPECT_EQ (processor.getCurve(), bent);
}

TEST (ProcessorSettings, CooldownChangeClearsTheLastOnsetOnlyWhenTheValueChanges)
{
    test::ProcessorHarness harness;
    DeskModel desk;
    desk.addTap ({ 0.5 });
    ASSERT_TRUE (harness.powerOn (desk));
    harness.feed (desk, 800);
    const auto onset = harness.processor.state().lastHitOnsetNs.load();
    ASSERT_NE (onset, 0u);

    harness.processor.setCooldownMs (25);
    harness.processor.setCooldownMs (26); // rounds to 25 again
    EXPECT_EQ (harness.processor.state().lastHitOnsetNs.load(), onset);

    harness.processor.setCooldownMs (30);
    EXPECT_EQ (harness.processor.state().lastHitOnsetNs.load(), 0u);
}
