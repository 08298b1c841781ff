#include "packs/SourceScan.h"

#include "packs/PackLoadResults.h"

namespace bopwell::samplepack
{

bool isSupportedAudioFile (const juce::File& file)
{
    static const juce::StringArray extensions { ".wav", ".aif", ".aiff", ".flac", ".mp3", ".m4a" };
    return extensions.contains (file.getFileExtension().toLowerCase());
}

FolderScan scanFolder (const juce::File& folder)
{
    auto children = folder.findChildFiles (juce::File::findFiles, false, "*");
    juce::File::NaturalFileComparator naturalOrder (false);
    children.sort (naturalOrder, true);

    FolderScan scan;
    for (const auto& child : children)
    {
        if (child.getFileName().startsWithChar ('.'))
            continue;
        if (isSupportedAudioFile (child))
            scan.files.add (child);
        else
            ++scan.ignoredCount;
    }

    if (scan.files.isEmpty())
        scan.result = failureResult (packLoadNothingToLoad, "This folder contains no supported audio files.");
    else if (scan.files.size() > maxSamples)
        scan.result =
            failureResult (packLoadTooManySamples, "This folder contains " + juce::String (scan.files.size())
                                                       + " supported samples; Bopwell supports up to " + juce::String (maxSamples) + ".");
    else
        scan.result = { true, packLoadSuccess, {}, scan.ignoredCount };
    return scan;
}

} // namespace bopwell::samplepack
