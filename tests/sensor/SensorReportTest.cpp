#include "sensor/SensorReport.h"

#include <gtest/gtest.h>

#include <vector>

using namespace bopwell;

namespace
{
std::array<std::uint8_t, 22> reportWithX (std::array<std::uint8_t, 4> x)
{
    std::array<std::uint8_t, 22> report {};
    std::copy (x.begin(), x.end(), report.begin() + 6);
    report[10] = 0x00; // Y = 0.5: 0x8000
    report[11] = 0x80;
    report[14] = 0x00; // Z = -1.0: 0xFFFF0000
    report[15] = 0x00;
    report[16] = 0xFF;
    report[17] = 0xFF;
    return report;
}
} // namespace

TEST (SensorReport, DecodesSixteenFractionalBitsPerAxis)
{
    struct Case
    {
        std::array<std::uint8_t, 4> bytes;
        double x;
    };
    for (const auto& c : { Case { { 0x00, 0x00, 0x01, 0x00 }, 1.0 }, Case { { 0xFF, 0xFF, 0xFF, 0xFF }, -0.0000152587890625 },
                           Case { { 0x00, 0x00, 0x00, 0x80 }, -32768.0 } })
    {
        const auto report = reportWithX (c.bytes);
        const auto axes = decodeSensorReport (report.data(), report.size());
        ASSERT_TRUE (axes);
        EXPECT_EQ ((*axes)[0], c.x);
        EXPECT_EQ ((*axes)[1], 0.5);
        EXPECT_EQ ((*axes)[2], -1.0);
    }
}

TEST (SensorReport, OnlyTwentyTwoByteReportsCount)
{
    const std::array<std::uint8_t, 23> bytes {};
    EXPECT_FALSE (decodeSensorReport (bytes.data(), 21));
    EXPECT_FALSE (decodeSensorReport (bytes.data(), 23));
    EXPECT_FALSE (decodeSensorReport (nullptr, 22));
}

TEST (SampleAssembler, CarriesTheLatestGyroscopeValuesAndWhetherTheyAreNew)
{
    SampleAssembler assembler;
    std::vector<SensorReader::Sample> samples;
    auto deliver = [&] (const SensorReader::Sample& s) { samples.push_back (s); };

    assembler.accelerometerReport ({ 0.1, 0.2, -1.0 }, deliver);
    assembler.gyroscopeReport ({ 1.0, 2.0, 3.0 });
    assembler.gyroscopeReport ({ 4.0, 5.0, 6.0 });
    assembler.accelerometerReport ({ 0.0, 0.0, -1.0 }, deliver);
    assembler.accelerometerReport ({ 0.0, 0.0, -1.0 }, deliver);

    ASSERT_EQ (samples.size(), 3u);
    EXPECT_EQ (samples[0].accelX, 0.1);
    EXPECT_EQ (samples[0].gyroX, 0.0);
    EXPECT_FALSE (samples[0].gyroFresh);
    EXPECT_EQ (samples[1].gyroX, 4.0);
    EXPECT_EQ (samples[1].gyroZ, 6.0);
    EXPECT_TRUE (samples[1].gyroFresh);
    EXPECT_EQ (samples[2].gyroY, 5.0);
    EXPECT_FALSE (samples[2].gyroFresh);
    EXPECT_EQ (assembler.accelerometerReports(), 3u);
}

TEST (SensorRateEstimator, MeasuresOverWindowsOfHalfASecond)
{
    SensorRateEstimator estimator;
    estimator.start (1'000'000'000, 0);
    EXPECT_FALSE (estimator.update (1'499'999'999, 399)); // too short a window: nothing changes
    EXPECT_EQ (estimator.update (1'500'000'000, 400), 800.0);
    EXPECT_FALSE (estimator.update (1'700'000'000, 560));
    EXPECT_EQ (estimator.update (2'500'000'000, 1200), 800.0);
}
