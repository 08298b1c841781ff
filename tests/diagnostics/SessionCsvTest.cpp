#include "diagnostics/SessionCsv.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <string>
#include <vector>

using namespace bopwell;

namespace
{
std::string formatted (const SessionRow& row, std::uint64_t startMicros)
{
    char line[256];
    const int length = formatSessionRow (row, startMicros, line);
    return std::string (line, static_cast<size_t> (length));
}

// Remembers every write the block writer makes; can be told to refuse writes from some point on.
class RecordingStream final : public juce::MemoryOutputStream
{
public:
    bool write (const void* data, size_t bytes) override
    {
        if (static_cast<int> (writeSizes.size()) == refuseFromWrite)
            return false;
        writeSizes.push_back (bytes);
        return juce::MemoryOutputStream::write (data, bytes);
    }

    std::vector<size_t> writeSizes;
    int refuseFromWrite = -1;
};

SessionRow typicalRow (std::uint64_t sample)
{
    SessionRow row;
    row.sample = sample;
    row.timeMicros = 1'000'000 + sample * 1'250;
    row.frame.raw = 0.0123456f;
    row.frame.env = 0.00456f;
    row.frame.dx = -0.5f;
    row.frame.gx = -123.456f;
    return row;
}
} // namespace

TEST (SessionCsv, FormatsRowsWithFixedDecimalsAndTimeFromTheStart)
{
    struct Case
    {
        SessionRow row;
        std::uint64_t startMicros;
        const char* line;
    };
    SessionRow measured;
    measured.sample = 29'959;
    measured.timeMicros = 5'001'234'567;
    measured.frame.raw = 0.0123456f;
    measured.frame.env = 0.004f;
    measured.frame.dx = -0.0000004f;
    measured.frame.dy = 0.5f;
    measured.frame.dz = -1.25f;
    measured.frame.gx = 1.23456f;
    measured.frame.gz = -2.0f;
    measured.frame.gyroFresh = 1;
    measured.frame.fired = 1;
    measured.phase = 3;
    SessionRow early = measured;
    early.timeMicros = 4'999'999'999;

    for (const auto& c : {
             Case { SessionRow {}, 0, "0,0.000,0.000000,0.000000,0.000000,0.000000,0.000000,0.0000,0.0000,0.0000,0,0,0\n" },
             Case { measured, 5'000'000'000,
                    "29959,1234.567,0.012346,0.004000,-0.000000,0.500000,-1.250000,1.2346,0.0000,-2.0000,1,1,3\n" },
             Case { early, 5'000'000'000, "29959,0.000,0.012346,0.004000,-0.000000,0.500000,-1.250000,1.2346,0.0000,-2.0000,1,1,3\n" },
         })
        EXPECT_EQ (formatted (c.row, c.startMicros), c.line);
}

TEST (SessionCsv, OnlyAbsurdValuesMakeARowTooLong)
{
    SessionRow row;
    row.frame.raw = row.frame.env = row.frame.dx = row.frame.dy = row.frame.dz = row.frame.gx = row.frame.gy = row.frame.gz = -FLT_MAX;
    char line[256];
    EXPECT_GT (formatSessionRow (row, 0, line), maxSessionRowLength);
}

TEST (SessionCsv, FooterCarriesTheCountsAndTheDuration)
{
    EXPECT_EQ (sessionFooterLine (1000, 0, 1, 3, 1'250'000), "# END,rows,1000,dropped,0,completed,1,lastPhase,3,durationUs,1250000\n");
    EXPECT_EQ (sessionFooterLine (4096, 904, 0, -1, 0), "# END,rows,4096,dropped,904,completed,0,lastPhase,-1,durationUs,0\n");
}

TEST (SessionBlockWriter, WritesWholeRowsInBlocksOfAtMost64KiB)
{
    RecordingStream stream;
    SessionBlockWriter writer (stream, 1'000'000);
    std::string expected;
    for (std::uint64_t i = 0; i < 3'000; ++i)
    {
        ASSERT_EQ (writer.add (typicalRow (i)), SessionBlockWriter::Outcome::added);
        expected += formatted (typicalRow (i), 1'000'000);
    }
    ASSERT_TRUE (writer.finish());

    EXPECT_EQ (stream.toString().toStdString(), expected);
    EXPECT_EQ (writer.rowsWritten(), 3'000u);
    ASSERT_GE (stream.writeSizes.size(), 3u);
    const auto rowBytes = expected.size() / 3'000;
    for (size_t i = 0; i + 1 < stream.writeSizes.size(); ++i)
    {
        EXPECT_LE (stream.writeSizes[i], SessionBlockWriter::blockBytes);
        EXPECT_GT (stream.writeSizes[i] + rowBytes, SessionBlockWriter::blockBytes); // full: the next row did not fit
    }
}

TEST (SessionBlockWriter, CountsOnlyRowsTheStreamAccepted)
{
    RecordingStream stream;
    stream.refuseFromWrite = 1;
    SessionBlockWriter writer (stream, 0);

    auto outcome = SessionBlockWriter::Outcome::added;
    std::uint64_t sample = 0;
    while (outcome == SessionBlockWriter::Outcome::added && sample < 10'000)
        outcome = writer.add (typicalRow (sample++));

    EXPECT_EQ (outcome, SessionBlockWriter::Outcome::writeFailed);
    ASSERT_EQ (stream.writeSizes.size(), 1u);
    EXPECT_EQ (writer.rowsWritten(), static_cast<std::uint32_t> (stream.toString().retainCharacters ("\n").length()));
    EXPECT_GT (writer.rowsWritten(), 0u);
    EXPECT_FALSE (writer.finish());
}

TEST (SessionBlockWriter, RefusesARowTooLongToFormat)
{
    RecordingStream stream;
    SessionBlockWriter writer (stream, 0);
    SessionRow absurd;
    absurd.frame.raw = absurd.frame.env = absurd.frame.dx = absurd.frame.dy = absurd.frame.dz = absurd.frame.gx = absurd.frame.gy =
        absurd.frame.gz = FLT_MAX;
    EXPECT_EQ (writer.add (absurd), SessionBlockWriter::Outcome::rowTooLong);
    EXPECT_TRUE (writer.finish());
    EXPECT_EQ (stream.getDataSize(), 0u);
}
