#include "cli/Commands.h"

#include "engine/FileReplacement.h"
#include "sensor/SampleStreamCsv.h"
#include "sensor/platform/DeskModel.h"

#include <juce_core/juce_core.h>

#include <cmath>
#include <ostream>
#include <sstream>

namespace bopwell::cli
{

namespace
{
    constexpr double maximumTapStrengthG = 8.0;

    std::vector<DeskTap> evenlySpacedTaps (double seconds)
    {
        std::vector<DeskTap> taps;
        for (double t = 0.5; t < seconds; t += 1.0)
            taps.push_back ({ t, DeskTap::ordinaryStrengthG });
        return taps;
    }

    std::optional<UsageError> parseTaps (const std::string& text, double seconds, std::vector<DeskTap>& taps)
    {
        taps.clear();
        if (text.empty() || text == "none")
            return std::nullopt;

        std::istringstream list (text);
        std::string item;
        while (std::getline (list, item, ','))
        {
            const auto colon = item.find (':');
            const auto time = parseFiniteNumber (item.substr (0, colon));
            if (! time || *time < 0.0 || *time >= seconds)
                return UsageError { "--taps: \"" + item + "\" is not a time within the stream's " + juce::String (seconds).toStdString()
                                    + " s" };

            DeskTap tap { *time, DeskTap::ordinaryStrengthG };
            if (colon != std::string::npos)
            {
                const auto strength = parseFiniteNumber (item.substr (colon + 1));
                if (! strength || *strength <= 0.0 || *strength > maximumTapStrengthG)
                    return UsageError { "--taps: \"" + item + "\" needs a strength above 0 and at most 8 g" };
                tap.strengthG = *strength;
            }
            taps.push_back (tap);
        }
        return std::nullopt;
    }
} // namespace

int runSimulate (const CliArgs& args, std::ostream& out, std::ostream& err)
{
    if (! args.positionals().empty())
        return reportUsageError ("simulate", { "takes no positional arguments" }, err);

    const auto outPath = args.text ("out");
    if (! outPath || outPath->empty())
        return reportUsageError ("simulate", { "--out FILE is required" }, err);

    double seconds = 5.0;
    double rateHz = 800.0;
    long long seed = 1;
    for (auto problem : { args.number ("seconds", 0.001, 3600.0, seconds), args.number ("rate", 1.0, 100000.0, rateHz),
                          args.wholeNumber ("seed", 0, 1LL << 53, seed) })
        if (problem)
            return reportUsageError ("simulate", *problem, err);

    auto taps = evenlySpacedTaps (seconds);
    if (const auto tapText = args.text ("taps"))
        if (auto problem = parseTaps (*tapText, seconds, taps))
            return reportUsageError ("simulate", *problem, err);

    DeskModel::Options options;
    options.rateHz = rateHz;
    options.seed = static_cast<std::uint64_t> (seed);
    if (const auto surface = args.text ("surface"); surface && *surface != "factory")
    {
        if (*surface != "ringing")
            return reportUsageError ("simulate", { "--surface is \"factory\" or \"ringing\", not \"" + *surface + "\"" }, err);
        options.surface = DeskSurface::slowlyRinging (rateHz);
    }
    DeskModel desk (options);
    for (const auto& tap : taps)
        desk.addTap (tap);

    if (args.has ("calibration"))
    {
        double start = 0.0;
        if (auto problem = args.number ("calibration", 0.0, seconds, start))
            return reportUsageError ("simulate", *problem, err);
        const double end = desk.performCalibration (start);
        if (end > seconds)
            return reportUsageError ("simulate",
                                     { "a calibration from " + juce::String (start).toStdString() + " s needs --seconds "
                                       + juce::String (std::ceil (end)).toStdString() + " or more" },
                                     err);
    }

    SampleStream stream;
    const auto sampleCount = static_cast<size_t> (std::llround (seconds * rateHz));
    stream.samples.reserve (sampleCount);
    stream.arrivalMs.reserve (sampleCount);
    for (size_t i = 0; i < sampleCount; ++i)
    {
        stream.arrivalMs.push_back (static_cast<double> (i) * 1000.0 / rateHz);
        stream.samples.push_back (desk.nextSample());
    }

    std::ostringstream text;
    text << "# Bopwell simulated desk: " << taps.size() << " taps, seed " << seed << ", " << rateHz << " Hz\n";
    writeSampleStream (text, stream);

    const auto target = juce::File::getCurrentWorkingDirectory().getChildFile (juce::String (*outPath));
    const auto contents = text.str();
    if (! replaceFileWith (target, contents.data(), contents.size()))
    {
        err << "Could not write the stream file \"" << *outPath << "\".\n";
        return exitFailure;
    }

    out << "Wrote " << sampleCount << " samples with " << taps.size() << (taps.size() == 1 ? " tap" : " taps") << " to " << *outPath
        << ".\n";
    return exitSuccess;
}

} // namespace bopwell::cli
