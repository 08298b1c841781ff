#pragma once

#include <juce_core/juce_core.h>

#include <optional>

class SensorMidiProcessor;

namespace bopwell
{

// What the window shows when a setup command stops: a warning with one OK button.
struct SetupAlert
{
    juce::String title;
    juce::String message;

    bool operator== (const SetupAlert&) const = default;
};

// The file side of exporting and importing .bopwellsetup files, everything but the choosers and the
// alert windows, so that the window and the command-line tool behave alike. The last file used is
// remembered in the given settings.
class SetupFiles
{
public:
    static constexpr const char* lastFileKey = "lastBopwellSetupFile";
    static constexpr const char* extension = ".bopwellsetup";

    explicit SetupFiles (juce::PropertySet& settingsToUse) : settings (settingsToUse) {}

    // Where both choosers open: the last setup file, or one on the desktop, as a .bopwellsetup.
    juce::File initialFile() const;

    // Refuses while nothing can be saved or loaded consistently: no processor, a recording session
    // or a pack load under way.
    static std::optional<SetupAlert> checkAvailable (const SensorMidiProcessor* processor);

    // The state to export, taken now, before the chooser opens.
    static std::optional<SetupAlert> takeExportBytes (SensorMidiProcessor& processor, juce::MemoryBlock& bytes);

    // Writes the bytes to the chosen file (given the setup extension when it has another) through a
    // temporary file, so a failed export leaves an existing file as it was.
    std::optional<SetupAlert> writeExport (const juce::File& chosen, const juce::MemoryBlock& bytes);

    // Reads the chosen file and hands it to the processor. The alert is a failure that changed
    // nothing, or the warning the restore left.
    std::optional<SetupAlert> importFile (SensorMidiProcessor* processor, const juce::File& chosen);

    // Reads a setup file's bytes, one past the 1 MiB limit at most; false when it cannot be read.
    static bool readSetupBytes (const juce::File& file, juce::MemoryBlock& bytes);

private:
    static std::optional<SetupAlert> readImport (const juce::File& file, juce::MemoryBlock& bytes);

    juce::PropertySet& settings;
};

} // namespace bopwell
