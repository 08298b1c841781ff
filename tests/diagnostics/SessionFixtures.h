#pragma once

#include "diagnostics/SessionRecorder.h"

#include <juce_core/juce_core.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

namespace bopwell::test
{

// Holds the recorder's writer between its passes until the test lets it make another, so a test
// decides exactly when the ring is consumed. Once the recorder asks for a drain it runs free.
class HeldWriterPacing final : public SessionWriterPacing
{
public:
    void waitBetweenPasses() override
    {
        std::unique_lock<std::mutex> lock (mutex);
        ++holds;
        changed.notify_all();
        changed.wait (lock, [this] { return passesAllowed > 0 || draining; });
        if (passesAllowed > 0)
            --passesAllowed;
    }

    void wakeForDrain() override
    {
        const std::lock_guard<std::mutex> lock (mutex);
        draining = true;
        changed.notify_all();
    }

    // Waits until the writer has been held `count` times since it started; false if it never is.
    bool awaitHold (int count)
    {
        std::unique_lock<std::mutex> lock (mutex);
        return changed.wait_for (lock, std::chrono::seconds (5), [&] { return holds >= count; });
    }

    // Lets the writer make one more pass over the ring and waits until it is held again.
    bool runOnePass()
    {
        int next = 0;
        {
            const std::lock_guard<std::mutex> lock (mutex);
            ++passesAllowed;
            next = holds + 1;
            changed.notify_all();
        }
        return awaitHold (next);
    }

private:
    std::mutex mutex;
    std::condition_variable changed;
    int holds = 0;
    int passesAllowed = 0;
    bool draining = false;
};

// A fresh folder under the temp folder, removed with everything in it.
class TempFolder
{
public:
    TempFolder() :
        folder (juce::File::getSpecialLocation (juce::File::tempDirectory).getNonexistentChildFile ("bopwell-session", {}, false))
    {
        folder.createDirectory();
    }
    ~TempFolder()
    {
        folder.setReadOnly (false);
        folder.deleteRecursively();
    }
    TempFolder (const TempFolder&) = delete;
    TempFolder& operator= (const TempFolder&) = delete;

    juce::File file (const char* name) const { return folder.getChildFile (name); }
    const juce::File& get() const { return folder; }

private:
    juce::File folder;
};

inline std::vector<std::string> fileLines (const juce::File& file)
{
    std::istringstream text (file.loadFileAsString().toStdString());
    std::vector<std::string> lines;
    for (std::string line; std::getline (text, line);)
        lines.push_back (line);
    return lines;
}

// A row whose sample number identifies it in the file.
inline SessionRow numberedRow (std::uint64_t sample, std::uint64_t timeMicros)
{
    SessionRow row;
    row.sample = sample;
    row.timeMicros = timeMicros;
    row.frame.raw = 0.001f * static_cast<float> (sample % 100);
    return row;
}

} // namespace bopwell::test
