#include "FuzzFile.h"

#include <cstdio>
#include <unistd.h>

namespace bopwell::fuzz
{

juce::File writeInput (const juce::String& extension, const std::uint8_t* data, std::size_t size)
{
    // One folder per process, removed when the fuzzer exits.
    static const struct InputFolder
    {
        InputFolder() { folder.createDirectory(); }
        ~InputFolder() { folder.deleteRecursively(); }
        juce::File folder = juce::File::getSpecialLocation (juce::File::tempDirectory)
                                .getChildFile ("bopwell-fuzz-" + juce::String (static_cast<int> (getpid())));
    } inputs;

    const auto file = inputs.folder.getChildFile ("input" + extension);
    // Plain stdio: JUCE's stream would sync every input to disk.
    if (auto* out = std::fopen (file.getFullPathName().toRawUTF8(), "wb"))
    {
        std::fwrite (data, 1, size, out);
        std::fclose (out);
    }
    return file;
}

} // namespace bopwell::fuzz
