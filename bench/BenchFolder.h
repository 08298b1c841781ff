#pragma once

#include <juce_core/juce_core.h>

#include <string>

namespace bopwell::bench
{

// A folder under the temp folder that holds a benchmark's files for one run.
class BenchFolder
{
public:
    explicit BenchFolder (const juce::String& name);
    ~BenchFolder();
    BenchFolder (const BenchFolder&) = delete;
    BenchFolder& operator= (const BenchFolder&) = delete;

    const juce::File& get() const { return folder; }

private:
    juce::File folder;
};

// Runs a shell command and returns whether it succeeded; its output goes nowhere.
bool runQuietly (const std::string& command);

// A path quoted for the shell.
std::string shellQuoted (const juce::File& file);

} // namespace bopwell::bench
