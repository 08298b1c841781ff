#pragma once

#include "diagnostics/SessionCsv.h"
#include "engine/EngineClock.h"

#include <juce_core/juce_core.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

namespace bopwell
{

// How the writer thread waits between its passes over the ring.
class SessionWriterPacing
{
public:
    virtual ~SessionWriterPacing() = default;

    // Writer thread, after each pass that did not end the session.
    virtual void waitBetweenPasses() = 0;

    // Message thread: the session is draining, so a wait may end early.
    virtual void wakeForDrain() = 0;
};

// Wakes the writer every 20 ms: at 800 rows per second that is 16 rows a pass, far from the
// ring's 4,096, while the thread stays asleep nearly all the time.
class SleepingWriterPacing final : public SessionWriterPacing
{
public:
    void waitBetweenPasses() override { wake.wait (20); }
    void wakeForDrain() override { wake.signal(); }

private:
    juce::WaitableEvent wake;
};

// Writes a diagnostic session to a CSV file. The sensor thread only copies rows into a
// lock-free ring; a writer thread formats them and writes 64 KiB blocks; stop() drains the ring
// and ends the file with the footer that marks it complete. The first I/O error ends the writing
// and is kept, with its code and text, until the next start.
class SessionRecorder
{
public:
    static constexpr std::uint32_t ringSize = 4'096;
    static constexpr std::size_t streamBufferBytes = 65'536;

    enum IoStatus
    {
        ioOk = 0,
        outputNotOpened = 1,
        headerNotWritten = 2,
        dataNotWritten = 3,
        footerNotWritten = 4,
        flushFailed = 5
    };

    explicit SessionRecorder (EngineClock& clock = EngineClock::steady());
    SessionRecorder (EngineClock& clock, SessionWriterPacing& pacing);
    ~SessionRecorder();

    SessionRecorder (const SessionRecorder&) = delete;
    SessionRecorder& operator= (const SessionRecorder&) = delete;

    // Message thread. Ends any previous file, writes the header as the file's whole content and
    // starts the writer. False, with the reason in the I/O status, when the file cannot be written.
    bool start (const juce::File& file, const juce::String& headerText);

    // Sensor thread. Never waits and never allocates: a row that finds the ring full is dropped
    // and counted.
    void push (const SessionRow& row) noexcept;

    // Message thread. Refuses further rows, drains the ring and, when no error occurred, writes
    // the footer. completed is 0 or 1; lastPhase is the last window entered, or what the caller gives.
    void stop (int completed, int lastPhase);

    bool isAccepting() const noexcept { return accepting.load(); }
    int getIoStatus() const noexcept { return ioStatus.load(); }
    juce::String getErrorText() const;
    std::uint32_t getDroppedRows() const noexcept { return droppedRows.load (std::memory_order_relaxed); }
    std::uint32_t getRowsWritten() const noexcept { return rowsWritten.load (std::memory_order_relaxed); }
    std::uint64_t getStartMicros() const noexcept { return startMicros; }
    // Rows pushed but not yet taken by the writer: lets an offline feed, which outruns any sensor,
    // wait for the writer instead of overflowing the ring.
    std::uint32_t backlog() const noexcept { return writeIndex.load() - readIndex.load(); }

private:
    std::uint64_t nowMicros() const noexcept { return clock.nowNs() / 1000; }
    void fail (int code, const juce::String& text);
    bool openStream (const juce::File& file);
    void runWriter();
    bool consumeUntilDrained (SessionBlockWriter& out);
    void flushStream (int shortWriteCode, const char* shortWriteText);

    EngineClock& clock;
    SleepingWriterPacing ownPacing;
    SessionWriterPacing& pacing;

    std::array<SessionRow, ringSize> ring {};
    std::atomic<std::uint32_t> writeIndex { 0 };
    std::atomic<std::uint32_t> readIndex { 0 };
    std::atomic<std::int32_t> producersInFlight { 0 };
    std::atomic<bool> accepting { false };
    std::atomic<bool> drainRequested { false };
    std::atomic<int> ioStatus { ioOk };
    mutable std::mutex errorLock;
    juce::String errorText;
    std::atomic<std::uint32_t> droppedRows { 0 };
    std::atomic<std::uint32_t> rowsWritten { 0 };
    std::thread writer;
    std::unique_ptr<juce::FileOutputStream> stream;
    std::uint64_t startMicros = 0;
};

} // namespace bopwell
