#include "engine/FileReplacement.h"

namespace bopwell
{

bool replaceFileWith (const juce::File& target, const void* data, std::size_t size)
{
    juce::TemporaryFile temporary (target);
    {
        juce::FileOutputStream stream (temporary.getFile());
        if (! stream.openedOk() || ! stream.write (data, size))
            return false;
        stream.flush();
        if (stream.getStatus().failed())
            return false;
    }
    // The stream's flush does not report a write the disk cut short; the file's size does.
    if (temporary.getFile().getSize() != static_cast<juce::int64> (size))
        return false;
    return temporary.overwriteTargetFileWithTemporary();
}

} // namespace bopwell
