#include "sensor/SampleStreamCsv.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace bopwell;

namespace
{
SampleStreamReadResult read (const std::string& text)
{
    std::istringstream in (text);
    return readSampleStream (in);
}
} // namespace

TEST (SampleStreamCsv, ReadsColumnsInAnyOrderAndSkipsComments)
{
    const auto result = read ("# recorded on a desk\n"
                              "\n"
                              "t_ms, az ,ay,ax,gz,extra\r\n"
                              "0,-1.0,0.5,0.25,3,x\n"
                              "# midway\n"
                              "1.25,-0.99,0,1e-3,-2,y\n");
    ASSERT_TRUE (result.ok) << result.message;
    ASSERT_EQ (result.stream.samples.size(), 2u);
    const auto& s = result.stream.samples[1];
    EXPECT_EQ (s.accelX, 1e-3);
    EXPECT_EQ (s.accelZ, -0.99);
    EXPECT_EQ (s.gyroZ, -2.0);
    EXPECT_EQ (s.gyroX, 0.0);
    EXPECT_EQ (result.stream.arrivalOffsetNs (1, 802.5), 1'250'000u);
}

TEST (SampleStreamCsv, WithoutArrivalTimesSamplesAreEvenlySpaced)
{
    const auto result = read ("ax,ay,az\n0,0,-1\n0,0,-1\n0,0,-1\n");
    ASSERT_TRUE (result.ok);
    EXPECT_FALSE (result.stream.hasArrivalTimes());
    EXPECT_EQ (result.stream.arrivalOffsetNs (2, 800.0), 2'500'000u);
}

TEST (SampleStreamCsv, RefusesMalformedStreamsWithTheReason)
{
    struct Case
    {
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        { "", "The stream has no header line." },
        { "# only a comment\n", "The stream has no header line." },
        { "ax,ay\n", "The header has no \"az\" column." },
        { "ax,ay,az,ax\n", "The header names the column \"ax\" twice." },
        { "ax,ay,az\n0,0\n", "Line 2 has 2 values where the header names 3." },
        { "ax,ay,az\n0,0,-1\n0,zero,-1\n", "Line 3: \"zero\" in column \"ay\" is not a finite number." },
        { "ax,ay,az\n0,0,nan\n", "Line 2: \"nan\" in column \"az\" is not a finite number." },
        { "ax,ay,az\n0,0,1e999\n", "Line 2: \"1e999\" in column \"az\" is not a finite number." },
        { "ax,ay,az\n0,,-1\n", "Line 2: \"\" in column \"ay\" is not a finite number." },
        { "t_ms,ax,ay,az\n5,0,0,-1\n4,0,0,-1\n", "Line 3: t_ms goes back in time." },
    };
    for (const auto& c : cases)
    {
        const auto result = read (c.text);
        EXPECT_FALSE (result.ok) << c.text;
        EXPECT_EQ (result.message, c.message) << c.text;
        EXPECT_TRUE (result.stream.samples.empty());
    }
}

TEST (SampleStreamCsv, WrittenStreamsReadBackExactly)
{
    SampleStream stream;
    stream.samples = { { 0.1, -0.2, -1.0 / 3.0 }, { 1e-7, 0.0, -0.99999 } };
    stream.arrivalMs = { 0.0, 1.2461059190031152 };

    std::stringstream text;
    writeSampleStream (text, stream);
    const auto result = readSampleStream (text);
    ASSERT_TRUE (result.ok);
    ASSERT_EQ (result.stream.samples.size(), 2u);
    EXPECT_EQ (result.stream.samples[0].accelZ, -1.0 / 3.0);
    EXPECT_EQ (result.stream.samples[1].accelX, 1e-7);
    EXPECT_EQ (result.stream.arrivalMs, stream.arrivalMs);
}

TEST (SampleStreamCsv, AMissingFileIsReported)
{
    const auto result = readSampleStreamFile ("/nonexistent/stream.csv");
    EXPECT_FALSE (result.ok);
    EXPECT_EQ (result.message, "Could not open the stream file \"/nonexistent/stream.csv\".");
}
