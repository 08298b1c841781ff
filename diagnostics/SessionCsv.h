#pragma once

#include "diagnostics/SensorFrame.h"

#include <juce_core/juce_core.h>

#include <cstddef>
#include <cstdint>

namespace bopwell
{

// One sensor sample of a recording session: what the detector saw and decided.
struct SessionRow
{
    std::uint64_t sample = 0;     // running number within the session, from 0
    std::uint64_t timeMicros = 0; // steady clock
    SensorFrame frame;
    std::uint8_t phase = 0; // 0, or the measurement window 1 to 3
};

constexpr int maxSessionRowLength = 255;

// Formats one CSV line, line end included. Returns the length the line needs: above
// maxSessionRowLength it did not fit (only absurd values get there), 0 or less it failed.
int formatSessionRow (const SessionRow& row, std::uint64_t startMicros, char (&line)[256]) noexcept;

// The line that marks a session file as complete.
juce::String sessionFooterLine (std::uint32_t rows, std::uint32_t dropped, int completed, int lastPhase, std::int64_t durationUs);

// Formats rows into blocks and hands each block to the stream in one write, so the disk sees
// few large writes however many rows arrive.
class SessionBlockWriter
{
public:
    static constexpr std::size_t blockBytes = 65'536;

    enum class Outcome
    {
        added,
        rowTooLong,
        writeFailed
    };

    SessionBlockWriter (juce::OutputStream& stream, std::uint64_t startMicros);

    // Writes the block first when the row does not fit in it. A row that fails is not added.
    Outcome add (const SessionRow& row);

    // Writes the rows still in the block.
    bool finish();

    // Rows whose block the stream accepted.
    std::uint32_t rowsWritten() const noexcept { return written; }

private:
    bool writeBlock();

    juce::OutputStream& stream;
    const std::uint64_t startMicros;
    juce::HeapBlock<char> block;
    std::size_t used = 0;
    std::uint32_t pending = 0;
    std::uint32_t written = 0;
};

} // namespace bopwell
