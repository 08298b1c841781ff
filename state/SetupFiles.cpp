#include "state/SetupFiles.h"

#include "engine/FileReplacement.h"
#include "engine/SensorMidiProcessor.h"
#include "state/SetupContainer.h"

namespace bopwell
{

namespace
{
    constexpr auto setupFileLimit = static_cast<juce::int64> (setupcontainer::maxContainerBytes);

    SetupAlert unavailable (const char* message) { return { "Setup unavailable", message }; }
    SetupAlert exportFailed (const juce::String& message) { return { "Setup export failed", message }; }
    SetupAlert importFailed (const juce::String& message) { return { "Setup import failed", message }; }

    juce::File withSetupExtension (const juce::File& file)
    {
        return file.hasFileExtension (SetupFiles::extension) ? file : file.withFileExtension (SetupFiles::extension);
    }
} // namespace

juce::File SetupFiles::initialFile() const
{
    const auto last = settings.getValue (lastFileKey);
    const auto file = juce::File::isAbsolutePath (last)
                          ? juce::File (last)
                          : juce::File::getSpecialLocation (juce::File::userDesktopDirectory).getChildFile ("Bopwell Setup.bopwellsetup");
    return withSetupExtension (file);
}

std::optional<SetupAlert> SetupFiles::checkAvailable (const SensorMidiProcessor* processor)
{
    if (processor == nullptr)
        return unavailable ("Bopwell is not ready.");
    if (processor->getSession().isRunning())
        return unavailable ("Finish the current recording session before importing or exporting a setup.");
    if (processor->isPackLoadBusy())
        return unavailable ("Finish or cancel the current sample-pack load before importing or exporting a setup.");
    return std::nullopt;
}

std::optional<SetupAlert> SetupFiles::takeExportBytes (SensorMidiProcessor& processor, juce::MemoryBlock& bytes)
{
    processor.getStateInformation (bytes);
    if (bytes.getSize() == 0 || static_cast<juce::int64> (bytes.getSize()) > setupFileLimit)
        return exportFailed ("Bopwell could not encode the current setup.");
    return std::nullopt;
}

std::optional<SetupAlert> SetupFiles::writeExport (const juce::File& chosen, const juce::MemoryBlock& bytes)
{
    const auto target = withSetupExtension (chosen);
    if (! replaceFileWith (target, bytes.getData(), bytes.getSize()))
        return exportFailed ("Bopwell could not safely write:\n" + target.getFullPathName() + "\n\nThe existing file was left unchanged.");
    settings.setValue (lastFileKey, target.getFullPathName());
    return std::nullopt;
}

bool SetupFiles::readSetupBytes (const juce::File& file, juce::MemoryBlock& bytes)
{
    juce::FileInputStream stream (file);
    if (! stream.openedOk())
        return false;
    // One byte past the limit is enough to tell an oversized file.
    bytes.reset();
    stream.readIntoMemoryBlock (bytes, setupFileLimit + 1);
    return stream.getStatus().wasOk();
}

std::optional<SetupAlert> SetupFiles::readImport (const juce::File& file, juce::MemoryBlock& bytes)
{
    if (! file.existsAsFile())
        return importFailed ("The selected setup file no longer exists:\n" + file.getFullPathName());
    const bool binaryName = file.hasFileExtension (extension);
    if (! binaryName && ! file.hasFileExtension (".json"))
        return importFailed ("Choose a .bopwellsetup file or a legacy .json setup.");

    if (! readSetupBytes (file, bytes))
        return importFailed ("Bopwell could not read the selected setup file:\n" + file.getFullPathName());

    if (bytes.getSize() == 0)
        return importFailed ("The selected setup file is empty.");
    if (static_cast<juce::int64> (bytes.getSize()) > setupFileLimit)
        return importFailed ("Bopwell setup files must be 1 MiB or smaller.");
    if (looksLikeSetupContainer (bytes.getData(), bytes.getSize()) != binaryName)
        return importFailed ("The setup contents do not match the file extension. Use .bopwellsetup for binary setups and .json only for "
                             "legacy JSON setups.");
    return std::nullopt;
}

std::optional<SetupAlert> SetupFiles::importFile (SensorMidiProcessor* processor, const juce::File& chosen)
{
    if (auto refusal = checkAvailable (processor))
        return refusal;

    juce::MemoryBlock bytes;
    if (auto failure = readImport (chosen, bytes))
        return failure;

    processor->setStateInformation (bytes.getData(), static_cast<int> (bytes.getSize()));
    settings.setValue (lastFileKey, chosen.getFullPathName());
    if (const auto message = processor->getRestoreMessage(); message.isNotEmpty())
        return SetupAlert { "Setup import warning", message };
    return std::nullopt;
}

} // namespace bopwell
