#include "sensor/SampleStreamCsv.h"

#include <array>
#include <charconv>
#include <cmath>
#include <fstream>
#include <istream>
#include <ostream>

namespace bopwell
{

namespace
{
    enum Column
    {
        ax,
        ay,
        az,
        gx,
        gy,
        gz,
        tMs,
        columnCount
    };

    constexpr std::array<const char*, columnCount> columnNames { "ax", "ay", "az", "gx", "gy", "gz", "t_ms" };
    constexpr int requiredColumns = 3;

    std::string_view trim (std::string_view s) noexcept
    {
        while (! s.empty() && (s.front() == ' ' || s.front() == '\t'))
            s.remove_prefix (1);
        while (! s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
            s.remove_suffix (1);
        return s;
    }

    std::vector<std::string_view> splitFields (std::string_view line)
    {
        std::vector<std::string_view> fields;
        for (;;)
        {
            const auto comma = line.find (',');
            fields.push_back (trim (line.substr (0, comma)));
            if (comma == std::string_view::npos)
                return fields;
            line.remove_prefix (comma + 1);
        }
    }

    std::optional<double> parseNumber (std::string_view text) noexcept
    {
        if (! text.empty() && text.front() == '+')
            text.remove_prefix (1);
        double value = 0.0;
        const auto [end, error] = std::from_chars (text.data(), text.data() + text.size(), value);
        if (text.empty() || error != std::errc() || end != text.data() + text.size() || ! std::isfinite (value))
            return std::nullopt;
        return value;
    }

    std::string lineLabel (int lineNumber) { return "Line " + std::to_string (lineNumber); }

    struct Header
    {
        std::array<int, columnCount> fieldOf {}; // field index of each known column, -1 if absent
        size_t fieldCount = 0;
    };

    std::optional<std::string> parseHeader (std::string_view line, Header& header)
    {
        header.fieldOf.fill (-1);
        const auto names = splitFields (line);
        header.fieldCount = names.size();
        for (size_t field = 0; field < names.size(); ++field)
            for (int column = 0; column < columnCount; ++column)
                if (names[field] == columnNames[static_cast<size_t> (column)])
                {
                    if (header.fieldOf[static_cast<size_t> (column)] >= 0)
                        return "The header names the column \"" + std::string (names[field]) + "\" twice.";
                    header.fieldOf[static_cast<size_t> (column)] = static_cast<int> (field);
                }

        for (int column = 0; column < requiredColumns; ++column)
            if (header.fieldOf[static_cast<size_t> (column)] < 0)
                return "The header has no \"" + std::string (columnNames[static_cast<size_t> (column)]) + "\" column.";
        return std::nullopt;
    }

    SampleStreamReadResult failure (std::string message) { return { false, std::move (message), {} }; }
} // namespace

std::uint64_t SampleStream::arrivalOffsetNs (size_t index, double rateHz) const noexcept
{
    if (hasArrivalTimes())
        return static_cast<std::uint64_t> (std::llround ((arrivalMs[index] - arrivalMs.front()) * 1'000'000.0));
    return static_cast<std::uint64_t> (std::llround (static_cast<double> (index) * 1'000'000'000.0 / rateHz));
}

SampleStreamReadResult readSampleStream (std::istream& in)
{
    SampleStreamReadResult result;
    std::optional<Header> header;
    std::string line;
    int lineNumber = 0;

    while (std::getline (in, line))
    {
        ++lineNumber;
        const auto text = trim (line);
        if (text.empty() || text.front() == '#')
            continue;

        if (! header)
        {
            header.emplace();
            if (auto problem = parseHeader (text, *header))
                return failure (*problem);
            continue;
        }

        const auto fields = splitFields (text);
        if (fields.size() != header->fieldCount)
            return failure (lineLabel (lineNumber) + " has " + std::to_string (fields.size()) + " values where the header names "
                            + std::to_string (header->fieldCount) + ".");

        std::array<double, columnCount> values {};
        for (int column = 0; column < columnCount; ++column)
        {
            const int field = header->fieldOf[static_cast<size_t> (column)];
            if (field < 0)
                continue;
            const auto raw = fields[static_cast<size_t> (field)];
            const auto value = parseNumber (raw);
            if (! value)
                return failure (lineLabel (lineNumber) + ": \"" + std::string (raw) + "\" in column \""
                                + columnNames[static_cast<size_t> (column)] + "\" is not a finite number.");
            values[static_cast<size_t> (column)] = *value;
        }

        if (header->fieldOf[tMs] >= 0)
        {
            if (! result.stream.arrivalMs.empty() && values[tMs] < result.stream.arrivalMs.back())
                return failure (lineLabel (lineNumber) + ": t_ms goes back in time.");
            result.stream.arrivalMs.push_back (values[tMs]);
        }

        result.stream.samples.push_back ({ values[ax], values[ay], values[az], values[gx], values[gy], values[gz], false });
    }

    if (! header)
        return failure ("The stream has no header line.");

    result.ok = true;
    return result;
}

SampleStreamReadResult readSampleStreamFile (const std::string& path)
{
    std::ifstream in (path);
    if (! in)
        return failure ("Could not open the stream file \"" + path + "\".");
    auto result = readSampleStream (in);
    if (in.bad())
        return failure ("Could not read the stream file \"" + path + "\".");
    return result;
}

void writeSampleStream (std::ostream& out, const SampleStream& stream)
{
    const bool timed = stream.hasArrivalTimes();
    out << (timed ? "t_ms,ax,ay,az\n" : "ax,ay,az\n");

    std::array<char, 32> buffer {};
    auto put = [&] (double value, bool last)
    {
        const auto end = std::to_chars (buffer.data(), buffer.data() + buffer.size(), value).ptr;
        out.write (buffer.data(), end - buffer.data());
        out.put (last ? '\n' : ',');
    };

    for (size_t i = 0; i < stream.samples.size(); ++i)
    {
        const auto& s = stream.samples[i];
        if (timed)
            put (stream.arrivalMs[i], false);
        put (s.accelX, false);
        put (s.accelY, false);
        put (s.accelZ, true);
    }
}

} // namespace bopwell
