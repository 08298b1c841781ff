#include "state/StateJson.h"

#include "packs/PackContainerFormat.h"
#include "state/FlatCurve.h"

#include <cmath>
#include <cstddef>
#include <vector>

namespace bopwell
{

namespace
{
    const juce::String notAnObject = "State is not a JSON object";
    const juce::String invalidNumber = "State contains an invalid numeric value";
    const juce::String pathsNotAbsolute = "State sample paths must be non-empty absolute paths";
    const juce::String duplicatePath = "State samplePaths contains a duplicate path";
    const juce::String builtInPackMismatch = "State builtInPack does not match its sample paths";
    const juce::String firstGenerationKeys[] = { "thresholdK", "inputMax", "choke", "curve" };

    bool isDigit (char c) { return c >= '0' && c <= '9'; }
    bool isAsciiSpace (char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

    // Skips the digits at `at`, returning how many of them follow the leading zeros.
    std::size_t skipDigits (const char* text, std::size_t size, std::size_t& at)
    {
        std::size_t significant = 0;
        for (; at < size && isDigit (text[at]); ++at)
            if (significant > 0 || text[at] != '0')
                ++significant;
        return significant;
    }

    // A number at `at` in the grammar that juce::JSON reads: '-' and optional white space,
    // digits, an optional fraction and an optional exponent. Moves `at` past it; false when JUCE
    // would misread it (see isSafeForJuceParser).
    bool skipNumber (const char* text, std::size_t size, std::size_t& at)
    {
        if (text[at] == '-')
            for (++at; at < size && isAsciiSpace (text[at]);)
                ++at;
        if (at == size || ! isDigit (text[at]) || skipDigits (text, size, at) > 18)
            return false;
        if (at < size && text[at] == '.')
            skipDigits (text, size, ++at);
        if (at < size && (text[at] == 'e' || text[at] == 'E'))
        {
            if (++at < size && (text[at] == '+' || text[at] == '-'))
                ++at;
            if (skipDigits (text, size, at) > 9)
                return false;
        }
        return true;
    }

    // juce::JSON::parse (JUCE 7.0.5) has faults that outside text can reach, so the text is
    // scanned first, in the same tokens as the parser (strings in either quote with their
    // escapes, numbers, brackets), up to the end of the top-level value, where the parser stops.
    // Refused: nesting deeper than maxStateJsonDepth, because the parser recurses once per level
    // (two frames each, and releasing the result recurses again) and a megabyte of "[" would
    // overflow the stack of any thread; 64 is far beyond the two levels a state has and far below
    // what even a small worker stack holds. A '-' not followed by a digit, on which the parser
    // reads past the end of the text. An integer part of more than 18 significant digits or an
    // exponent of more than 9, which the parser accumulates in integers that overflow, so that
    // 18446744073709551641 would read as 25.
    // The text must be well-formed UTF-8 (checked before), otherwise the parser would decode
    // stray bytes as quotes, digits or '-' that this byte scanner does not see.
    bool isSafeForJuceParser (const char* text, std::size_t size)
    {
        int depth = 0;
        for (std::size_t at = 0; at < size;)
        {
            const auto c = text[at];
            if (c == '"' || c == '\'')
            {
                for (++at; at < size && text[at] != c; ++at)
                    if (text[at] == '\\')
                        ++at;
                ++at;
            }
            else if (c == '[' || c == '{')
            {
                if (++depth > maxStateJsonDepth)
                    return false;
                ++at;
            }
            else if (c == ']' || c == '}')
            {
                if (--depth <= 0)
                    return true;
                ++at;
            }
            else if (c == '-' || isDigit (c))
            {
                if (! skipNumber (text, size, at))
                    return false;
            }
            else
                ++at;
        }
        return true;
    }

    // juce::JSON::parse behind the checks above; a void var when the text is refused.
    juce::var parseJson (const juce::String& text)
    {
        const auto* bytes = text.toRawUTF8();
        const auto size = text.getNumBytesAsUTF8();
        if (! samplepack::container::isValidText (bytes, size) || ! isSafeForJuceParser (bytes, size))
            return {};
        return juce::JSON::parse (text);
    }

    // JUCE's parser turns a \u escape of a surrogate into the three bytes of that surrogate, so
    // a character beyond U+FFFF, which JSON (and JUCE's own writer) escapes as a pair, comes out
    // as six bytes of ill-formed UTF-8 that names no file and that no container may hold. Pairs
    // become their character again; a lone surrogate becomes U+FFFD.
    juce::String joinSurrogates (const juce::String& text)
    {
        if (text.getNumBytesAsUTF8() == static_cast<size_t> (text.length()))
            return text; // all ASCII
        juce::MemoryOutputStream joined;
        for (auto p = text.getCharPointer(); ! p.isEmpty();)
        {
            auto c = p.getAndAdvance();
            if (c >= 0xd800 && c <= 0xdfff)
            {
                auto next = p;
                const auto low = next.getAndAdvance();
                if (c <= 0xdbff && low >= 0xdc00 && low <= 0xdfff)
                {
                    c = 0x10000 + ((c - 0xd800) << 10) + (low - 0xdc00);
                    p = next;
                }
                else
                    c = 0xfffd;
            }
            joined.appendUTF8Char (c);
        }
        return joined.toUTF8();
    }

    // The text of a string value, with surrogates joined.
    juce::String textOf (const juce::var& value) { return joinSurrogates (value.toString()); }

    // In JUCE 7.0.5 var::isObject() is also true for arrays.
    juce::DynamicObject* objectOf (const juce::var& value) { return value.isArray() ? nullptr : value.getDynamicObject(); }

    bool isNumeric (const juce::var& value) { return value.isInt() || value.isInt64() || value.isDouble(); }

    bool isWholeNumber (double value) { return std::isfinite (value) && value == std::floor (value); }

    bool isAbsolutePath (const juce::String& path) { return path.isNotEmpty() && juce::File::isAbsolutePath (path); }

    juce::var numberArray (const double* values, std::size_t count)
    {
        juce::Array<juce::var> array;
        array.ensureStorageAllocated (static_cast<int> (count));
        for (std::size_t i = 0; i < count; ++i)
            array.add (values[i]);
        return array;
    }

    // The checks of one state text, in their order, as members so that each step reads as one.
    class JsonStateReader
    {
    public:
        JsonStateReader (const juce::DynamicObject& o, StateRecord& r) : object (o), record (r) {}

        juce::String read()
        {
            for (auto step : { &JsonStateReader::readOrigin, &JsonStateReader::readVersion, &JsonStateReader::checkPresence,
                               &JsonStateReader::checkTypes, &JsonStateReader::readVersionTwoKeys, &JsonStateReader::readCooldown,
                               &JsonStateReader::readSampleSource, &JsonStateReader::readProfileValues, &JsonStateReader::readCurve,
                               &JsonStateReader::readModel })
            {
                const auto error = (this->*step)();
                if (error.isNotEmpty())
                    return error;
            }
            return {};
        }

    private:
        bool has (const char* key) const { return object.hasProperty (key); }
        juce::var get (const char* key) const { return object.getProperty (key); }

        juce::String readOrigin()
        {
            if (! has ("profileOrigin"))
                return {};
            const auto origin = get ("profileOrigin");
            if (! origin.isString())
                return "State profileOrigin is not a string";
            if (origin.toString() == "user")
                return {};
            if (origin.toString() != "factory")
                return "Unsupported calibration profile origin";
            const auto id = get ("factoryProfileId");
            if (! id.isString() || id.toString().isEmpty())
                return "Factory calibration state is missing its profile id";
            record.profileIsFactory = true;
            record.factoryProfileId = textOf (id);
            return {};
        }

        juce::String readVersion()
        {
            if (! has ("stateVersion"))
                return {};
            const auto value = get ("stateVersion");
            const auto number = static_cast<double> (value);
            if (! isNumeric (value) || ! (number == 1.0 || number == 2.0 || number == 3.0 || number == 4.0))
                return "Unsupported state version";
            version = static_cast<int> (number);
            return {};
        }

        juce::String checkPresence()
        {
            for (auto key : { "thresholdK", "calBackground", "calLiveRef", "inputMax", "choke", "modelValid", "curve" })
                if (! has (key))
                    return juce::String ("State is missing ") + key;
            return {};
        }

        juce::String checkTypes()
        {
            for (auto key : { "thresholdK", "calBackground", "calLiveRef", "inputMax" })
                if (! isNumeric (get (key)))
                    return juce::String ("State property is not numeric: ") + key;
            if (! get ("choke").isBool() || ! get ("modelValid").isBool())
                return "State boolean property has the wrong type";
            return {};
        }

        juce::String readVersionTwoKeys()
        {
            if (version < 2)
                return {};
            for (auto key : { "playbackMode", "axisMode", "backgroundStat", "masterGain" })
                if (! has (key))
                    return juce::String ("State is missing ") + key;
            if (get ("playbackMode").toString() != StateRecord::playbackMode)
                return "Unsupported playback mode";
            const auto axis = get ("axisMode");
            if (! isNumeric (axis) || static_cast<double> (axis) != StateRecord::axisMode)
                return "State axis mode does not match this build (mag/z)";
            if (get ("backgroundStat").toString() != StateRecord::backgroundStat)
                return "Unsupported background statistic";
            const auto gain = get ("masterGain");
            if (! isNumeric (gain) || ! (static_cast<double> (gain) >= 0.0 && static_cast<double> (gain) <= 1.0))
                return invalidNumber;
            record.masterGain = static_cast<double> (gain);
            return {};
        }

        juce::String readCooldown()
        {
            if (! has ("cooldownMs"))
                return {};
            const auto value = get ("cooldownMs");
            const auto number = static_cast<double> (value);
            if (! isNumeric (value) || ! isWholeNumber (number) || number < 0.0 || number > StateRecord::maxCooldownMs
                || static_cast<int> (number) % StateRecord::cooldownStepMs != 0)
                return "State contains an invalid Cooldown value";
            record.cooldownMs = static_cast<int> (number);
            return {};
        }

        juce::String readSampleSource()
        {
            record.thresholdK = get ("thresholdK");
            record.calBackground = get ("calBackground");
            record.calLiveRef = get ("calLiveRef");
            record.inputMax = get ("inputMax");
            record.choke = get ("choke");

            if (version <= 2)
            {
                if (has ("samplePath"))
                {
                    const auto value = get ("samplePath");
                    if (! value.isString())
                        return "State samplePath is not a string";
                    const auto path = textOf (value);
                    if (path.isNotEmpty() && ! isAbsolutePath (path))
                        return "State samplePath must be absolute";
                    if (path.isNotEmpty())
                        record.samplePaths.add (path);
                }
                record.builtInPack = record.samplePaths.isEmpty() ? 0 : -1;
                return {};
            }

            const auto selection = get ("sampleSelection");
            if (! selection.isString() || selection.toString() != StateRecord::sampleSelection)
                return "Unsupported sample selection mode";
            const auto* paths = get ("samplePaths").getArray();
            if (paths == nullptr)
                return "State samplePaths is not an array";
            if (paths->size() > StateRecord::maxSamplePaths)
                return "State samplePaths exceeds the slot limit";
            for (const auto& entry : *paths)
            {
                if (! entry.isString())
                    return "State samplePaths contains a non-string value";
                const auto path = textOf (entry);
                if (! isAbsolutePath (path))
                    return pathsNotAbsolute;
                if (record.samplePaths.contains (path, true))
                    return duplicatePath;
                record.samplePaths.add (path);
            }

            if (version == 3)
            {
                record.builtInPack = record.samplePaths.isEmpty() ? 0 : -1;
                return {};
            }
            const auto pack = get ("builtInPack");
            if (! isNumeric (pack))
                return "State builtInPack is missing or not numeric";
            const auto number = static_cast<double> (pack);
            if (! isWholeNumber (number) || number < -1.0 || number > StateRecord::maxBuiltInPack
                || (number == -1.0) != ! record.samplePaths.isEmpty())
                return builtInPackMismatch;
            record.builtInPack = static_cast<int> (number);
            return {};
        }

        juce::String readProfileValues()
        {
            const auto finite = std::isfinite (record.thresholdK) && std::isfinite (record.calBackground)
                                && std::isfinite (record.calLiveRef) && std::isfinite (record.inputMax);
            if (! finite || record.thresholdK < 0.0 || record.thresholdK > 10.0 || record.calBackground < 0.0 || record.calLiveRef < 0.0
                || record.inputMax <= 0.0)
                return invalidNumber;
            return {};
        }

        juce::String readCurve()
        {
            const auto* values = get ("curve").getArray();
            if (values == nullptr)
                return "State curve is not an array";
            std::vector<double> flat;
            flat.reserve (static_cast<std::size_t> (values->size()));
            for (const auto& value : *values)
            {
                if (! isNumeric (value))
                    return "State curve contains a non-numeric value";
                flat.push_back (value);
            }
            if (! readFlatCurve (flat, record.curve))
                return "State curve is invalid";
            return {};
        }

        juce::String readModel()
        {
            if (version == 1)
            {
                record.modelValid = false;
                record.calBackground = 0.0;
                record.calLiveRef = 0.0;
                record.masterGain = 0.7;
                record.importNotice = "Imported v1 settings - detection profile requires recalibration";
                return {};
            }
            if (! static_cast<bool> (get ("modelValid")))
                return {};

            const auto* coefs = get ("coefs").getArray();
            if (coefs == nullptr || coefs->size() != static_cast<int> (record.coefs.size()) || ! (record.calBackground > 0.0))
                return "Valid model state is incomplete";
            for (std::size_t i = 0; i < record.coefs.size(); ++i)
            {
                const auto& value = coefs->getReference (static_cast<int> (i));
                if (! isNumeric (value) || ! std::isfinite (static_cast<double> (value)))
                    return "State model contains a non-finite coefficient";
                record.coefs[i] = value;
            }
            record.modelValid = true;
            return {};
        }

        const juce::DynamicObject& object;
        StateRecord& record;
        int version = 1;
    };
} // namespace

juce::var stateToJson (const StateRecord& record)
{
    auto* object = new juce::DynamicObject();
    juce::var json (object);
    object->setProperty ("stateVersion", StateRecord::stateVersion);
    object->setProperty ("playbackMode", StateRecord::playbackMode);
    object->setProperty ("sampleSelection", StateRecord::sampleSelection);
    object->setProperty ("axisMode", StateRecord::axisMode);
    object->setProperty ("backgroundStat", StateRecord::backgroundStat);
    object->setProperty ("masterGain", record.masterGain);
    object->setProperty ("cooldownMs", record.cooldownMs);
    object->setProperty ("thresholdK", record.thresholdK);
    object->setProperty ("calBackground", record.calBackground);
    object->setProperty ("calLiveRef", record.calLiveRef);
    object->setProperty ("inputMax", record.inputMax);
    object->setProperty ("choke", record.choke);
    object->setProperty ("modelValid", record.modelValid);
    object->setProperty ("profileOrigin", record.profileIsFactory ? "factory" : "user");
    if (record.profileIsFactory)
        object->setProperty ("factoryProfileId", record.factoryProfileId);

    juce::Array<juce::var> paths;
    for (const auto& path : record.samplePaths)
        paths.add (path);
    object->setProperty ("samplePaths", paths);
    object->setProperty ("builtInPack", record.builtInPack);
    if (record.modelValid)
        object->setProperty ("coefs", numberArray (record.coefs.data(), record.coefs.size()));
    const auto curve = flattenCurve (record.curve);
    object->setProperty ("curve", numberArray (curve.data(), curve.size()));
    return json;
}

bool stateFromJson (const juce::String& utf8Text, StateRecord& record, juce::String& error)
{
    record = StateRecord {};
    const auto parsed = parseJson (utf8Text);
    const auto* object = objectOf (parsed);
    error = object == nullptr ? notAnObject : JsonStateReader (*object, record).read();
    return error.isEmpty();
}

juce::String convertFirstGenerationSettings (const juce::String& text, const StateRecord& current)
{
    const auto parsed = parseJson (text);
    const auto* file = objectOf (parsed);
    if (file == nullptr || file->hasProperty ("stateVersion") || file->hasProperty ("modelValid"))
        return text;
    for (const auto& key : firstGenerationKeys)
        if (! file->hasProperty (key))
            return text;

    auto converted = stateToJson (current);
    for (const auto& key : firstGenerationKeys)
        converted.getDynamicObject()->setProperty (key, file->getProperty (key));
    return juce::JSON::toString (converted);
}

} // namespace bopwell
