#include "diagnostics/SessionRecorder.h"
#include "SessionFixtures.h"
#include "support/AllocationCounter.h"
#include "support/Eventually.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <csignal>
#include <string>

#include <sys/resource.h>
#include <unistd.h>

using namespace bopwell;
using test::numberedRow;

namespace
{
constexpr std::uint64_t periodNs = 1'250'000; // 800 Hz
constexpr const char* header = "# test header\nsample,t_ms,raw_g,env_g,dx_g,dy_g,dz_g,gx_dps,gy_dps,gz_dps,gyro_fresh,fired,phase\n";

// Pushes rows numbered from `first`, one sensor period apart on the clock.
void pushRows (SessionRecorder& recorder, ManualEngineClock& clock, std::uint64_t first, int count)
{
    for (int i = 0; i < count; ++i)
    {
        recorder.push (numberedRow (first + static_cast<std::uint64_t> (i), clock.nowNs() / 1000));
        clock.advanceNs (periodNs);
    }
}

// The bytes pushRows' rows take in the file.
size_t rowBytes (int count)
{
    size_t bytes = 0;
    for (int i = 0; i < count; ++i)
    {
        char line[256];
        bytes += static_cast<size_t> (
            formatSessionRow (numberedRow (static_cast<std::uint64_t> (i), static_cast<std::uint64_t> (i) * periodNs / 1000), 0, line));
    }
    return bytes;
}

bool containsFooter (const juce::File& file) { return file.loadFileAsString().contains ("# END,rows,"); }

// Makes every file of this process stop growing at `bytes`, as a full disk would: writes past it
// come back short, then fail. Restores the limit and the signal it raises when it ends.
class FileSizeLimit
{
public:
    explicit FileSizeLimit (rlim_t bytes)
    {
        getrlimit (RLIMIT_FSIZE, &previous);
        previousHandler = std::signal (SIGXFSZ, SIG_IGN);
        const rlimit limited { bytes, previous.rlim_max };
        setrlimit (RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit()
    {
        setrlimit (RLIMIT_FSIZE, &previous);
        std::signal (SIGXFSZ, previousHandler);
    }
    FileSizeLimit (const FileSizeLimit&) = delete;
    FileSizeLimit& operator= (const FileSizeLimit&) = delete;

private:
    rlimit previous {};
    void (*previousHandler) (int) = nullptr;
};

// Root passes every write-permission check, so permission checks are made as an ordinary user.
class OrdinaryUser
{
public:
    OrdinaryUser() : wasRoot (geteuid() == 0)
    {
        if (wasRoot)
            switched = setresgid (nobody, nobody, 0) == 0 && setresuid (nobody, nobody, 0) == 0;
    }
    ~OrdinaryUser()
    {
        if (wasRoot)
        {
            [[maybe_unused]] const int uid = setresuid (0, 0, 0);
            [[maybe_unused]] const int gid = setresgid (0, 0, 0);
        }
    }
    OrdinaryUser (const OrdinaryUser&) = delete;
    OrdinaryUser& operator= (const OrdinaryUser&) = delete;

    bool ready() const { return switched || ! wasRoot; }

private:
    static constexpr uid_t nobody = 65534;
    const bool wasRoot;
    bool switched = false;
};
} // namespace

TEST (SessionRecorder, EndsACompletedSessionWithItsFooter)
{
    test::TempFolder folder;
    const auto file = folder.file ("session.csv");
    ManualEngineClock clock (5'000'000'000);
    {
        SessionRecorder recorder (clock);
        ASSERT_TRUE (recorder.start (file, header));
        EXPECT_EQ (recorder.getStartMicros(), 5'000'000u);
        pushRows (recorder, clock, 0, 1'000);
        recorder.stop (1, 3);
        EXPECT_EQ (recorder.getRowsWritten(), 1'000u);
        EXPECT_EQ (recorder.getIoStatus(), 0);
        EXPECT_FALSE (recorder.isAccepting());
    }

    const auto lines = test::fileLines (file);
    ASSERT_EQ (lines.size(), 2u + 1'000u + 1u);
    EXPECT_EQ (lines[0], "# test header");
    EXPECT_EQ (lines[2], "0,0.000,0.000000,0.000000,0.000000,0.000000,0.000000,0.0000,0.0000,0.0000,0,0,0");
    EXPECT_EQ (lines[3].substr (0, 17), "1,1.250,0.001000,");
    EXPECT_EQ (lines[1'001].substr (0, 21), "999,1248.750,0.099000");
    EXPECT_EQ (lines.back(), "# END,rows,1000,dropped,0,completed,1,lastPhase,3,durationUs,1250000");
    EXPECT_TRUE (file.loadFileAsString().endsWith ("durationUs,1250000\n"));
}

TEST (SessionRecorder, AFullRingDropsTheRowAndTheFooterCountsEveryMissingRow)
{
    test::TempFolder folder;
    const auto file = folder.file ("session.csv");
    ManualEngineClock clock;
    test::HeldWriterPacing pacing;
    SessionRecorder recorder (clock, pacing);
    ASSERT_TRUE (recorder.start (file, header));
    ASSERT_TRUE (pacing.awaitHold (1));

    pushRows (recorder, clock, 0, 4'096);
    EXPECT_EQ (recorder.getDroppedRows(), 0u);
    pushRows (recorder, clock, 4'096, 10);
    EXPECT_EQ (recorder.getDroppedRows(), 10u);
    recorder.stop (0, -1);

    const auto lines = test::fileLines (file);
    ASSERT_EQ (lines.size(), 2u + 4'096u + 1u);
    EXPECT_EQ (lines[2 + 4'095].substr (0, 5), "4095,");
    EXPECT_EQ (lines.back().substr (0, 36), "# END,rows,4096,dropped,10,completed");
}

TEST (SessionRecorder, EachWriterPassFreesTheRingForTheSensor)
{
    test::TempFolder folder;
    ManualEngineClock clock;
    test::HeldWriterPacing pacing;
    SessionRecorder recorder (clock, pacing);
    ASSERT_TRUE (recorder.start (folder.file ("session.csv"), header));
    ASSERT_TRUE (pacing.awaitHold (1));

    pushRows (recorder, clock, 0, 4'096);
    ASSERT_TRUE (pacing.runOnePass());
    pushRows (recorder, clock, 4'096, 4'096);
    EXPECT_EQ (recorder.getDroppedRows(), 0u);
    pushRows (recorder, clock, 8'192, 1);
    EXPECT_EQ (recorder.getDroppedRows(), 1u);
    recorder.stop (0, -1);
    EXPECT_EQ (recorder.getRowsWritten(), 8'192u);
}

TEST (SessionRecorder, PushingAllocatesNothing)
{
    test::TempFolder folder;
    ManualEngineClock clock;
    SessionRecorder recorder (clock);
    ASSERT_TRUE (recorder.start (folder.file ("session.csv"), header));
    {
        const test::AllocationCounter counter;
        pushRows (recorder, clock, 0, 5'000);
        EXPECT_EQ (counter.allocations(), 0u);
    }
    recorder.stop (0, -1);
}

TEST (SessionRecorder, StartingAgainClosesThePreviousFileAsIncomplete)
{
    test::TempFolder folder;
    ManualEngineClock clock;
    SessionRecorder recorder (clock);
    ASSERT_TRUE (recorder.start (folder.file ("first.csv"), header));
    pushRows (recorder, clock, 0, 5);
    ASSERT_TRUE (recorder.start (folder.file ("second.csv"), header));
    EXPECT_EQ (test::fileLines (folder.file ("first.csv")).back(), "# END,rows,5,dropped,0,completed,0,lastPhase,-1,durationUs,6250");
    EXPECT_EQ (recorder.getRowsWritten(), 0u);
    recorder.stop (1, 0);
    EXPECT_EQ (test::fileLines (folder.file ("second.csv")).size(), 3u);
}

TEST (SessionRecorder, AReadOnlyDirectoryRefusesTheStartAndGetsNoFile)
{
    test::TempFolder folder;
    ASSERT_TRUE (folder.get().setReadOnly (true));
    const auto file = folder.file ("session.csv");
    ManualEngineClock clock;
    SessionRecorder recorder (clock);
    {
        const OrdinaryUser user;
        ASSERT_TRUE (user.ready());
        EXPECT_FALSE (recorder.start (file, header));
    }
    EXPECT_EQ (recorder.getIoStatus(), 1);
    EXPECT_EQ (recorder.getErrorText(), "Output directory is not writable");
    EXPECT_FALSE (file.exists());
    EXPECT_FALSE (recorder.isAccepting());
    recorder.push (numberedRow (0, 0));
    recorder.stop (0, -1);
    EXPECT_FALSE (file.exists());
}

TEST (SessionRecorder, AHeaderThatCannotBeWrittenRefusesTheStart)
{
    test::TempFolder folder;
    ManualEngineClock clock;
    SessionRecorder recorder (clock);
    EXPECT_FALSE (recorder.start (folder.file ("missing/session.csv"), header));
    EXPECT_EQ (recorder.getIoStatus(), 2);
    EXPECT_EQ (recorder.getErrorText(), "Could not write the CSV header");
    EXPECT_FALSE (recorder.isAccepting());

    // The next start begins with a clean status.
    EXPECT_TRUE (recorder.start (folder.file ("session.csv"), header));
    EXPECT_EQ (recorder.getIoStatus(), 0);
    EXPECT_EQ (recorder.getErrorText(), "");
}

TEST (SessionRecorder, ARowTooLongToFormatEndsTheSessionAndLaterRowsAreRefused)
{
    test::TempFolder folder;
    const auto file = folder.file ("session.csv");
    ManualEngineClock clock;
    SessionRecorder recorder (clock);
    ASSERT_TRUE (recorder.start (file, header));
    pushRows (recorder, clock, 0, 3);
    auto absurd = numberedRow (3, 0);
    absurd.frame.raw = absurd.frame.env = absurd.frame.dx = absurd.frame.dy = absurd.frame.dz = absurd.frame.gx = absurd.frame.gy =
        absurd.frame.gz = FLT_MAX;
    recorder.push (absurd);

    ASSERT_TRUE (test::eventually ([&] { return ! recorder.isAccepting(); }));
    pushRows (recorder, clock, 4, 5'000); // returns at once, and nothing is counted as dropped
    EXPECT_EQ (recorder.getDroppedRows(), 0u);
    recorder.stop (1, 3);

    EXPECT_EQ (recorder.getIoStatus(), 3);
    EXPECT_EQ (recorder.getErrorText(), "CSV row formatting overflow");
    EXPECT_FALSE (containsFooter (file));
}

// A disk that fills up at different points of the file: while blocks are written, in the last
// data, inside the footer, and exactly where the footer begins. Either way the session reports
// the failure, and no complete footer vouches for the file.
TEST (SessionRecorder, AFullDiskEndsTheSessionWithTheFirstErrorAndNoFooter)
{
    struct Case
    {
        const char* where;
        int rows;
        std::int64_t limitFromEndOfData; // negative: inside the data
        int ioStatus;
        const char* errorText;
    };
    for (const auto& c : {
             Case { "while blocks are written", 3'000, -100'000, 3, "Could not write CSV data" },
             Case { "in the last data", 10, -10, 3, "Could not write CSV data" },
             Case { "inside the footer", 10, 5, 4, "Could not write the CSV footer" },
             Case { "where the footer begins", 10, 0, 5, "File too large" },
         })
    {
        SCOPED_TRACE (c.where);
        test::TempFolder folder;
        const auto file = folder.file ("session.csv");
        ManualEngineClock clock;
        const auto dataEnd = static_cast<std::int64_t> (std::string (header).size() + rowBytes (c.rows));
        {
            const FileSizeLimit limit (static_cast<rlim_t> (dataEnd + c.limitFromEndOfData));
            SessionRecorder recorder (clock);
            ASSERT_TRUE (recorder.start (file, header));
            pushRows (recorder, clock, 0, c.rows);
            recorder.stop (1, 3);
            EXPECT_EQ (recorder.getIoStatus(), c.ioStatus);
            EXPECT_EQ (recorder.getErrorText(), juce::String (c.errorText));
            EXPECT_FALSE (recorder.isAccepting());
        }
        EXPECT_FALSE (containsFooter (file));
    }
}
