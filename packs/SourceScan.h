#pragma once

#include "packs/SamplePack.h"

#include <juce_core/juce_core.h>

namespace bopwell::samplepack
{

// True for the audio extensions Bopwell imports (".wav", ".aif", ".aiff", ".flac", ".mp3",
// ".m4a"), in any letter case.
bool isSupportedAudioFile (const juce::File& file);

struct FolderScan
{
    PackLoadResult result;
    juce::Array<juce::File> files; // the audio files to import, in natural order
    int ignoredCount = 0;          // other visible files, which the success message mentions
};

// Lists the audio files directly inside a folder. Dot files (".DS_Store", "._x.wav" and the
// like) are skipped without being counted.
FolderScan scanFolder (const juce::File& folder);

} // namespace bopwell::samplepack
