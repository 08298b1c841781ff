#include "cli/PackChoice.h"

#include "engine/SensorMidiProcessor.h"
#include "packs/BuiltInPacks.h"

#include <cmath>
#include <ostream>

namespace bopwell::cli
{

std::optional<UsageError> parsePackChoice (const std::string& choice, PackChoice& pack)
{
    const auto index = parseFiniteNumber (choice);
    if (! index)
    {
        pack.custom = juce::File::getCurrentWorkingDirectory().getChildFile (juce::String (choice));
        return std::nullopt;
    }
    if (*index != std::floor (*index) || *index < 0 || *index >= samplepack::builtInPackCount)
        return UsageError { "--pack takes a built-in pack from 0 to 8, or a path, not \"" + choice + "\"" };
    pack.builtIn = static_cast<int> (*index);
    return std::nullopt;
}

bool installPackChoice (const PackChoice& choice, SensorMidiProcessor& processor, std::ostream& err)
{
    if (choice.builtIn)
    {
        if (processor.loadBuiltInPack (*choice.builtIn))
            return true;
        err << "Could not load the built-in pack " << *choice.builtIn << ".\n";
        return false;
    }

    samplepack::Data pack;
    const auto result = processor.prepareCustomPack (choice.custom, pack);
    if (! result.ok)
    {
        err << result.message << "\n";
        return false;
    }
    processor.installPack (pack, pack.name, -1);
    return true;
}

} // namespace bopwell::cli
