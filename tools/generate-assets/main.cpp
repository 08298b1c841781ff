#include "AssetFiles.h"
#include "BuiltInPacks.h"
#include "ClipFinishing.h"
#include "CrayonLettering.h"
#include "HeaderBurst.h"
#include "SweatMark.h"

#include <iostream>
#include <stdexcept>

using namespace bopwell::assetgen;

namespace
{
juce::Result writeSamples (const juce::File& folder)
{
    for (const auto& pack : builtInPacks())
        for (int index = 0; index < pack.count; ++index)
        {
            const auto name = sampleName (pack, index);
            Random random (name);
            const auto clip = finishClip (pack.voice ({ index, pack.count }, random), random);
            if (const auto written = writeWav (folder.getChildFile (name + ".wav"), clip); written.failed())
                return written;
        }
    return juce::Result::ok();
}

juce::Result writeImages (const juce::File& folder)
{
    for (const auto* caption : { "VOLUME", "SENSITIVITY", "GUARD" })
    {
        const auto fileName = juce::String (caption).toLowerCase() + "_crayon.png";
        if (const auto written = writePng (folder.getChildFile (fileName), crayonCaption (caption)); written.failed())
            return written;
    }
    if (const auto written = writePng (folder.getChildFile ("sweat_mark.png"), sweatMark()); written.failed())
        return written;
    return writeText (folder.getChildFile ("bopwell_header_burst.svg"), headerBurstSvg());
}

juce::Result createFolder (const juce::File& folder)
{
    const auto created = folder.createDirectory();
    return created.wasOk() ? created : juce::Result::fail ("Cannot create " + folder.getFullPathName() + ": " + created.getErrorMessage());
}
} // namespace

// Synthesises every sample and image Bopwell embeds, the same bytes on every run.
int main (int argc, char* argv[])
{
    if (argc != 2)
    {
        std::cerr << "Usage: bopwell-generate-assets OUTPUT_FOLDER\n";
        return 2;
    }

    const auto folder = juce::File::getCurrentWorkingDirectory().getChildFile (argv[1]);
    try
    {
        auto result = createFolder (folder);
        if (result.wasOk())
            result = writeSamples (folder);
        if (result.wasOk())
            result = writeImages (folder);
        if (result.failed())
        {
            std::cerr << result.getErrorMessage() << "\n";
            return 1;
        }
    }
    catch (const std::exception& error)
    {
        std::cerr << error.what() << "\n";
        return 1;
    }
    return 0;
}
