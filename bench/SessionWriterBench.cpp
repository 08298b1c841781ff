#include "BenchFolder.h"
#include "PeerReport.h"

#include "diagnostics/SessionCsv.h"
#include "diagnostics/SessionRecorder.h"

#include <benchmark/benchmark.h>

#include <vector>

namespace
{
constexpr double sensorRateHz = 800.0;
constexpr std::uint64_t periodMicros = 1'250;

// Rows with the spread of digits a real session has: small motion values, gyroscope values in the
// tens of degrees per second, occasional fires.
std::vector<bopwell::SessionRow> deskRows()
{
    juce::Random random (17);
    std::vector<bopwell::SessionRow> rows (1'024);
    for (auto& row : rows)
    {
        row.frame.raw = random.nextFloat() * 0.05f;
        row.frame.env = random.nextFloat() * 0.01f;
        row.frame.dx = random.nextFloat() * 0.1f - 0.05f;
        row.frame.dy = random.nextFloat() * 0.1f - 0.05f;
        row.frame.dz = random.nextFloat() * 0.1f - 0.05f;
        row.frame.gx = random.nextFloat() * 60.0f - 30.0f;
        row.frame.gy = random.nextFloat() * 60.0f - 30.0f;
        row.frame.gz = random.nextFloat() * 60.0f - 30.0f;
        row.frame.gyroFresh = static_cast<std::uint8_t> (random.nextInt (2));
        row.frame.fired = random.nextInt (200) == 0 ? 1 : 0;
    }
    return rows;
}

// The writer thread's work for one row: format it into the block and, when the block is full,
// write it to a real file through a stream buffered as the recorder's is.
void formatAndWriteRow (benchmark::State& state)
{
    const auto rows = deskRows();
    const bopwell::bench::BenchFolder folder ("bopwell-session-writer");
    juce::FileOutputStream stream (folder.get().getChildFile ("session.csv"), bopwell::SessionRecorder::streamBufferBytes);
    const std::uint64_t startMicros = 1'000'000;
    bopwell::SessionBlockWriter writer (stream, startMicros);

    std::uint64_t sample = 0;
    for (auto _ : state)
    {
        auto row = rows[sample % rows.size()];
        row.sample = sample;
        row.timeMicros = startMicros + sample * periodMicros;
        if (writer.add (row) != bopwell::SessionBlockWriter::Outcome::added)
        {
            state.SkipWithError ("the session file could not be written");
            break;
        }
        ++sample;
    }
    writer.finish();
    stream.flush();
    state.SetItemsProcessed (state.iterations());
}
BENCHMARK (formatAndWriteRow);
} // namespace

int main (int argc, char** argv)
{
    return bopwell::bench::runAndCompare (argc, argv, "session-writer", "formatAndWriteRow",
                                          { "the sensor's 800 rows per second", {}, 1e9 / sensorRateHz }, "ns per row");
}
