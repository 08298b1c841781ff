// Any bytes as a JSON state, read the way the processor reads one: first-generation settings are
// converted (against a record with a valid model, paths and a factory profile), then the text is
// validated. Neither step may crash, overflow the stack or read out of bounds, whatever the
// nesting, escapes or numbers. An accepted record that the container can hold must come back
// from the container unchanged.
#include "FuzzFile.h"

#include "state/SetupContainer.h"
#include "state/StateJson.h"

namespace
{
bopwell::StateRecord currentState()
{
    bopwell::StateRecord record;
    record.coefs.fill (0.5);
    record.modelValid = true;
    record.calBackground = 0.001;
    record.samplePaths = { "/samples/kick.wav" };
    record.builtInPack = -1;
    record.profileIsFactory = true;
    record.factoryProfileId = "factory-mag-2026-08-04-r1";
    return record;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, std::size_t size)
{
    using namespace bopwell;
    static const auto current = currentState();

    // The bytes as they are, ill-formed or not, as setStateInformation would pass them.
    const auto* chars = reinterpret_cast<const char*> (data);
    const juce::String text (juce::CharPointer_UTF8 (chars), juce::CharPointer_UTF8 (chars + size));

    StateRecord record;
    juce::String error;
    if (! stateFromJson (convertFirstGenerationSettings (text, current), record, error))
    {
        if (error.isEmpty())
            __builtin_trap();
        return 0;
    }

    juce::MemoryBlock container;
    if (encodeSetupContainer (record, container).isNotEmpty())
        return 0; // e.g. a path longer than a container holds
    StateRecord reread;
    record.importNotice = {};
    if (decodeSetupContainer (container.getData(), container.getSize(), reread).isNotEmpty() || ! (reread == record))
        __builtin_trap();
    return 0;
}
