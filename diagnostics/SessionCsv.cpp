#include "diagnostics/SessionCsv.h"

#include <cstdio>
#include <cstring>

namespace bopwell
{

int formatSessionRow (const SessionRow& row, std::uint64_t startMicros, char (&line)[256]) noexcept
{
    const double tMs = row.timeMicros < startMicros ? 0.0 : static_cast<double> (row.timeMicros - startMicros) / 1000.0;
    return std::snprintf (line, sizeof (line), "%llu,%.3f,%.6f,%.6f,%.6f,%.6f,%.6f,%.4f,%.4f,%.4f,%d,%d,%d\n",
                          static_cast<unsigned long long> (row.sample), tMs, static_cast<double> (row.frame.raw),
                          static_cast<double> (row.frame.env), static_cast<double> (row.frame.dx), static_cast<double> (row.frame.dy),
                          static_cast<double> (row.frame.dz), static_cast<double> (row.frame.gx), static_cast<double> (row.frame.gy),
                          static_cast<double> (row.frame.gz), static_cast<int> (row.frame.gyroFresh), static_cast<int> (row.frame.fired),
                          static_cast<int> (row.phase));
}

juce::String sessionFooterLine (std::uint32_t rows, std::uint32_t dropped, int completed, int lastPhase, std::int64_t durationUs)
{
    return "# END,rows," + juce::String (rows) + ",dropped," + juce::String (dropped) + ",completed," + juce::String (completed)
           + ",lastPhase," + juce::String (lastPhase) + ",durationUs," + juce::String (durationUs) + "\n";
}

SessionBlockWriter::SessionBlockWriter (juce::OutputStream& out, std::uint64_t start) :
    stream (out), startMicros (start), block (blockBytes)
{
}

SessionBlockWriter::Outcome SessionBlockWriter::add (const SessionRow& row)
{
    char line[256];
    const int length = formatSessionRow (row, startMicros, line);
    if (length <= 0 || length > maxSessionRowLength)
        return Outcome::rowTooLong;

    const auto size = static_cast<std::size_t> (length);
    if (used + size > blockBytes && used > 0 && ! writeBlock())
        return Outcome::writeFailed;

    std::memcpy (block.get() + used, line, size);
    used += size;
    ++pending;
    return Outcome::added;
}

bool SessionBlockWriter::finish() { return used == 0 || writeBlock(); }

bool SessionBlockWriter::writeBlock()
{
    if (! stream.write (block.get(), used))
        return false;
    written += pending;
    used = 0;
    pending = 0;
    return true;
}

} // namespace bopwell
