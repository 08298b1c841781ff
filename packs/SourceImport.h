#pragma once

#include "packs/PackLoadProgress.h"
#include "packs/SamplePack.h"

#include <juce_audio_formats/juce_audio_formats.h>

namespace bopwell::samplepack
{

// What an import turns into a pack.
struct ImportRequest
{
    juce::Array<juce::File> files; // one sample per file, in this order
    juce::String label;            // the pack name; "Custom Pack" when empty
    juce::StringArray sourcePaths; // where the pack came from, recorded in it
    int ignoredCount = 0;          // non-audio files that a folder scan skipped
};

// Decodes every file of the request through the given formats and normalises it to 48 kHz float.
// Every file passes the cheap size checks before any is decoded. On failure `pack` is untouched.
PackLoadResult importSources (const ImportRequest& request, juce::AudioFormatManager& formats, const PackLoadProgress& progress,
                              Data& pack);

// The audio files directly inside a folder, as a pack named after the folder.
PackLoadResult importFolder (const juce::File& folder, juce::AudioFormatManager& formats, const PackLoadProgress& progress, Data& pack);

// One audio file as a one-sample pack named after the file.
PackLoadResult importFile (const juce::File& file, juce::AudioFormatManager& formats, const PackLoadProgress& progress, Data& pack);

// A saved list of audio files, as state restore brings them back.
PackLoadResult importFileList (const juce::Array<juce::File>& files, const juce::String& label, juce::AudioFormatManager& formats,
                               const PackLoadProgress& progress, Data& pack);

} // namespace bopwell::samplepack
