#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace bopwell::cli
{

// Exit statuses every command keeps to.
enum ExitStatus
{
    exitSuccess = 0,
    exitFailure = 1,
    exitUsage = 2,
};

struct UsageError
{
    std::string message;
};

// A command's words after its name: positionals, "--name value" or "--name=value" options, bare
// "--name" flags, and whether help was asked for. Options and flags are checked against the names
// the command knows.
class CliArgs
{
public:
    static std::optional<UsageError> parse (const std::vector<std::string>& words, const std::vector<std::string>& knownOptions,
                                            CliArgs& parsed, const std::vector<std::string>& knownFlags = {});

    bool helpRequested() const noexcept { return help; }
    const std::vector<std::string>& positionals() const noexcept { return positional; }
    bool has (const std::string& name) const { return options.count (name) != 0; }
    bool flag (const std::string& name) const { return flags.count (name) != 0; }
    std::optional<std::string> text (const std::string& name) const;

    // A finite number, checked against an inclusive range.
    std::optional<UsageError> number (const std::string& name, double minimum, double maximum, double& value) const;
    std::optional<UsageError> wholeNumber (const std::string& name, long long minimum, long long maximum, long long& value) const;

private:
    bool help = false;
    std::vector<std::string> positional;
    std::map<std::string, std::string> options;
    std::set<std::string> flags;
};

std::optional<double> parseFiniteNumber (const std::string& text);

} // namespace bopwell::cli
