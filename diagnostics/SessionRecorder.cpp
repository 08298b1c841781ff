#include "diagnostics/SessionRecorder.h"

#include <chrono>

namespace bopwell
{

SessionRecorder::SessionRecorder (EngineClock& engineClock) : clock (engineClock), pacing (ownPacing) {}

SessionRecorder::SessionRecorder (EngineClock& engineClock, SessionWriterPacing& writerPacing) : clock (engineClock), pacing (writerPacing)
{
}

SessionRecorder::~SessionRecorder() { stop (0, -1); }

bool SessionRecorder::start (const juce::File& file, const juce::String& headerText)
{
    stop (0, -1);
    {
        const std::lock_guard<std::mutex> lock (errorLock);
        ioStatus.store (ioOk);
        errorText.clear();
    }

    if (! file.getParentDirectory().hasWriteAccess())
    {
        fail (outputNotOpened, "Output directory is not writable");
        return false;
    }
    if (! file.replaceWithText (headerText, false, false, "\n"))
    {
        fail (headerNotWritten, "Could not write the CSV header");
        return false;
    }
    if (! openStream (file))
        return false;

    writeIndex.store (0);
    readIndex.store (0);
    droppedRows.store (0);
    rowsWritten.store (0);
    producersInFlight.store (0);
    drainRequested.store (false);
    startMicros = nowMicros();
    accepting.store (true);
    writer = std::thread ([this] { runWriter(); });
    return true;
}

bool SessionRecorder::openStream (const juce::File& file)
{
    stream = std::make_unique<juce::FileOutputStream> (file, streamBufferBytes);
    const auto status = stream->getStatus();
    if (status.wasOk())
        return true;

    fail (outputNotOpened, status.getErrorMessage().isNotEmpty() ? status.getErrorMessage() : juce::String ("Could not open output file"));
    stream.reset();
    return false;
}

void SessionRecorder::push (const SessionRow& row) noexcept
{
    if (! accepting.load())
        return;

    producersInFlight.fetch_add (1);
    // stop() clears accepting before it counts the pushes in flight, so a push that still sees
    // accepting here is one that stop() waits for.
    if (accepting.load())
    {
        const auto next = writeIndex.load (std::memory_order_relaxed);
        if (next - readIndex.load (std::memory_order_acquire) < ringSize)
        {
            ring[next % ringSize] = row;
            writeIndex.store (next + 1, std::memory_order_release);
        }
        else
        {
            droppedRows.fetch_add (1, std::memory_order_relaxed);
        }
    }
    producersInFlight.fetch_sub (1);
}

void SessionRecorder::stop (int completed, int lastPhase)
{
    accepting.store (false);
    if (! writer.joinable())
    {
        stream.reset();
        return;
    }

    while (producersInFlight.load() > 0)
        std::this_thread::sleep_for (std::chrono::microseconds (200));
    drainRequested.store (true);
    pacing.wakeForDrain();
    writer.join();

    if (stream != nullptr && ioStatus.load() == ioOk)
    {
        const auto durationUs = static_cast<std::int64_t> (nowMicros()) - static_cast<std::int64_t> (startMicros);
        const auto footer = sessionFooterLine (rowsWritten.load(), droppedRows.load(), completed, lastPhase, durationUs);
        if (! stream->write (footer.toRawUTF8(), footer.getNumBytesAsUTF8()))
            fail (footerNotWritten, "Could not write the CSV footer");
        flushStream (footerNotWritten, "Could not write the CSV footer");
    }
    stream.reset();
}

juce::String SessionRecorder::getErrorText() const
{
    const std::lock_guard<std::mutex> lock (errorLock);
    return errorText;
}

void SessionRecorder::fail (int code, const juce::String& text)
{
    // Under the lock, so that whoever sees the code and then asks for the text gets it.
    const std::lock_guard<std::mutex> lock (errorLock);
    int expected = ioOk;
    if (ioStatus.compare_exchange_strong (expected, code))
        errorText = text;
}

void SessionRecorder::runWriter()
{
    SessionBlockWriter out (*stream, startMicros);
    if (! consumeUntilDrained (out))
        return;

    if (! out.finish())
    {
        fail (dataNotWritten, "Could not write CSV data");
        return;
    }
    rowsWritten.store (out.rowsWritten());
    flushStream (dataNotWritten, "Could not write CSV data");
}

bool SessionRecorder::consumeUntilDrained (SessionBlockWriter& out)
{
    auto next = readIndex.load (std::memory_order_relaxed);
    for (;;)
    {
        auto outcome = SessionBlockWriter::Outcome::added;
        while (next != writeIndex.load (std::memory_order_acquire))
        {
            outcome = out.add (ring[next % ringSize]);
            if (outcome != SessionBlockWriter::Outcome::added)
                break;
            ++next;
            rowsWritten.store (out.rowsWritten(), std::memory_order_relaxed);
        }
        // Only now may the producer reuse the slots just formatted.
        readIndex.store (next, std::memory_order_release);

        if (outcome != SessionBlockWriter::Outcome::added)
        {
            fail (dataNotWritten,
                  outcome == SessionBlockWriter::Outcome::rowTooLong ? "CSV row formatting overflow" : "Could not write CSV data");
            accepting.store (false);
            return false;
        }
        // No push can follow the drain request, so the write index read after it is the last one.
        if (drainRequested.load() && next == writeIndex.load (std::memory_order_acquire))
            return true;
        pacing.waitBetweenPasses();
    }
}

void SessionRecorder::flushStream (int shortWriteCode, const char* shortWriteText)
{
    stream->flush();
    // flush() drops the result of writing out the stream's buffer: a write cut short by a full
    // disk leaves the status clean. The file's size shows whether all that was handed over arrived.
    if (stream->getStatus().failed())
        fail (flushFailed, stream->getStatus().getErrorMessage());
    else if (stream->getFile().getSize() < stream->getPosition())
        fail (shortWriteCode, shortWriteText);
}

} // namespace bopwell
