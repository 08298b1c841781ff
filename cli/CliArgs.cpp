#include "cli/CliArgs.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace bopwell::cli
{

namespace
{
    std::string formatNumber (double value)
    {
        char buffer[32];
        std::snprintf (buffer, sizeof (buffer), "%g", value);
        return buffer;
    }
} // namespace

std::optional<double> parseFiniteNumber (const std::string& text)
{
    double value = 0.0;
    const auto* begin = text.data() + (text.starts_with ('+') ? 1 : 0);
    const auto* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars (begin, end, value);
    if (begin == end || error != std::errc() || stop != end || ! std::isfinite (value))
        return std::nullopt;
    return value;
}

std::optional<UsageError> CliArgs::parse (const std::vector<std::string>& words, const std::vector<std::string>& knownOptions,
                                          CliArgs& parsed, const std::vector<std::string>& knownFlags)
{
    for (size_t i = 0; i < words.size(); ++i)
    {
        const auto& word = words[i];
        if (word == "--help" || word == "-h")
        {
            parsed.help = true;
            continue;
        }
        if (! word.starts_with ("--") || word == "--")
        {
            parsed.positional.push_back (word);
            continue;
        }

        auto name = word.substr (2);
        std::optional<std::string> value;
        if (const auto equals = name.find ('='); equals != std::string::npos)
        {
            value = name.substr (equals + 1);
            name.resize (equals);
        }

        if (std::find (knownFlags.begin(), knownFlags.end(), name) != knownFlags.end())
        {
            if (value)
                return UsageError { "--" + name + " takes no value" };
            parsed.flags.insert (name);
            continue;
        }
        if (std::find (knownOptions.begin(), knownOptions.end(), name) == knownOptions.end())
            return UsageError { "unknown option --" + name };

        if (! value)
        {
            if (i + 1 >= words.size())
                return UsageError { "--" + name + " needs a value" };
            value = words[++i];
        }
        if (parsed.options.count (name) != 0)
            return UsageError { "--" + name + " is given twice" };
        parsed.options[name] = *value;
    }
    return std::nullopt;
}

std::optional<std::string> CliArgs::text (const std::string& name) const
{
    const auto found = options.find (name);
    if (found == options.end())
        return std::nullopt;
    return found->second;
}

std::optional<UsageError> CliArgs::number (const std::string& name, double minimum, double maximum, double& value) const
{
    const auto raw = text (name);
    if (! raw)
        return std::nullopt;
    const auto parsedValue = parseFiniteNumber (*raw);
    if (! parsedValue || *parsedValue < minimum || *parsedValue > maximum)
        return UsageError { "--" + name + " takes a number from " + formatNumber (minimum) + " to " + formatNumber (maximum) + ", not \""
                            + *raw + "\"" };
    value = *parsedValue;
    return std::nullopt;
}

std::optional<UsageError> CliArgs::wholeNumber (const std::string& name, long long minimum, long long maximum, long long& value) const
{
    const auto raw = text (name);
    if (! raw)
        return std::nullopt;
    long long parsedValue = 0;
    const auto [stop, error] = std::from_chars (raw->data(), raw->data() + raw->size(), parsedValue);
    if (raw->empty() || error != std::errc() || stop != raw->data() + raw->size() || parsedValue < minimum || parsedValue > maximum)
        return UsageError { "--" + name + " takes a whole number from " + std::to_string (minimum) + " to " + std::to_string (maximum)
                            + ", not \"" + *raw + "\"" };
    value = parsedValue;
    return std::nullopt;
}

} // namespace bopwell::cli
