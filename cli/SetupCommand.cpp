#include "cli/Commands.h"
#include "cli/PackChoice.h"

#include "engine/SensorMidiProcessor.h"
#include "state/SetupFiles.h"
#include "state/StateJson.h"

#include <ostream>

namespace bopwell::cli
{

namespace
{
    // A processor whose sensor is stood in for, as the offline commands run it.
    struct OfflineProcessor
    {
        OfflineProcessor() { processor.getSensorReader().replayAt (HitDetector::nominalRateHz); }

        ManualEngineClock clock;
        SensorMidiProcessor processor { clock };
    };

    juce::File fileArgument (const std::string& path)
    {
        return juce::File::getCurrentWorkingDirectory().getChildFile (juce::String (path));
    }

    void printJson (std::ostream& out, juce::DynamicObject* object) { out << juce::JSON::toString (juce::var (object), true) << "\n"; }

    int printFailure (std::ostream& out, const juce::String& message, const juce::String& title = {})
    {
        auto* object = new juce::DynamicObject();
        object->setProperty ("ok", false);
        if (title.isNotEmpty())
            object->setProperty ("title", title);
        object->setProperty ("message", message);
        printJson (out, object);
        return exitFailure;
    }

    bool readSetupFile (const juce::File& file, juce::MemoryBlock& bytes, std::ostream& err)
    {
        if (SetupFiles::readSetupBytes (file, bytes))
            return true;
        err << "Could not read \"" << file.getFullPathName() << "\".\n";
        return false;
    }

    int runDecode (const std::string& path, std::ostream& out, std::ostream& err)
    {
        juce::MemoryBlock bytes;
        if (! readSetupFile (fileArgument (path), bytes, err))
            return exitFailure;

        OfflineProcessor offline;
        StateRecord record;
        if (const auto error = offline.processor.decodeState (bytes.getData(), bytes.getSize(), record); error.isNotEmpty())
            return printFailure (out, error);

        auto* object = new juce::DynamicObject();
        object->setProperty ("ok", true);
        object->setProperty ("state", stateToJson (record));
        object->setProperty ("importNotice", record.importNotice);
        printJson (out, object);
        return exitSuccess;
    }

    // The controls an export may set before the state is taken; unset ones keep a fresh setup's.
    struct ExportControls
    {
        std::optional<double> volume;
        std::optional<double> cooldown;
        std::optional<double> sensitivity;
        std::optional<bool> choke;
        std::optional<PackChoice> pack;
    };

    std::optional<UsageError> readOptionalNumber (const CliArgs& args, const char* name, double minimum, double maximum,
                                                  std::optional<double>& value)
    {
        double number = 0.0;
        auto problem = args.number (name, minimum, maximum, number);
        if (! problem && args.has (name))
            value = number;
        return problem;
    }

    std::optional<UsageError> readExportControls (const CliArgs& args, ExportControls& controls)
    {
        for (auto problem : { readOptionalNumber (args, "volume", 0.0, 100.0, controls.volume),
                              readOptionalNumber (args, "cooldown", 0.0, 150.0, controls.cooldown),
                              readOptionalNumber (args, "sensitivity", 0.0, 100.0, controls.sensitivity) })
            if (problem)
                return problem;

        if (const auto choke = args.text ("choke"))
        {
            if (*choke != "on" && *choke != "off")
                return UsageError { "--choke takes on or off, not \"" + *choke + "\"" };
            controls.choke = *choke == "on";
        }
        if (const auto pack = args.text ("pack"))
        {
            controls.pack.emplace();
            return parsePackChoice (*pack, *controls.pack);
        }
        return std::nullopt;
    }

    bool applyExportControls (const ExportControls& controls, SensorMidiProcessor& processor, std::ostream& err)
    {
        if (controls.volume)
            processor.setVolumePercent (*controls.volume);
        if (controls.cooldown)
            processor.setCooldownMs (*controls.cooldown);
        if (controls.sensitivity)
            processor.setSensitivityPercent (*controls.sensitivity);
        if (controls.choke)
            processor.setChoke (*controls.choke);
        return ! controls.pack || installPackChoice (*controls.pack, processor, err);
    }

    int runExport (const std::string& path, const CliArgs& args, std::ostream& out, std::ostream& err)
    {
        ExportControls controls;
        if (auto problem = readExportControls (args, controls))
            return reportUsageError ("setup", *problem, err);

        OfflineProcessor offline;
        if (! applyExportControls (controls, offline.processor, err))
            return exitFailure;

        juce::PropertySet settings;
        SetupFiles files (settings);
        juce::MemoryBlock bytes;
        auto alert = SetupFiles::takeExportBytes (offline.processor, bytes);
        if (! alert)
            alert = files.writeExport (fileArgument (path), bytes);
        if (alert)
            return printFailure (out, alert->message, alert->title);

        auto* object = new juce::DynamicObject();
        object->setProperty ("ok", true);
        object->setProperty ("path", settings.getValue (SetupFiles::lastFileKey));
        object->setProperty ("bytes", static_cast<juce::int64> (bytes.getSize()));
        printJson (out, object);
        return exitSuccess;
    }

    int runImport (const std::string& path, std::ostream& out)
    {
        OfflineProcessor offline;
        auto& processor = offline.processor;
        juce::PropertySet settings;
        if (const auto alert = SetupFiles (settings).importFile (&processor, fileArgument (path)))
            return printFailure (out, alert->message, alert->title);

        processor.handleAsyncUpdate();
        auto* object = new juce::DynamicObject();
        object->setProperty ("ok", true);
        object->setProperty ("state", stateToJson (processor.captureState()));
        object->setProperty ("packLabel", processor.getPackLabel());
        object->setProperty ("restoreMessage", processor.getRestoreMessage());
        printJson (out, object);
        return exitSuccess;
    }
} // namespace

int runSetup (const CliArgs& args, std::ostream& out, std::ostream& err)
{
    const auto& words = args.positionals();
    if (words.size() != 2 || (words[0] != "decode" && words[0] != "export" && words[0] != "import"))
        return reportUsageError ("setup", { "expects decode, export or import, and one file" }, err);
    const bool takesControls = words[0] == "export";
    if (! takesControls)
        for (const char* option : { "volume", "cooldown", "sensitivity", "choke", "pack" })
            if (args.has (option))
                return reportUsageError ("setup", { "--" + std::string (option) + " belongs to setup export" }, err);

    if (words[0] == "decode")
        return runDecode (words[1], out, err);
    if (words[0] == "export")
        return runExport (words[1], args, out, err);
    return runImport (words[1], out);
}

bool applySetupFile (const std::string& path, SensorMidiProcessor& processor, std::ostream& err)
{
    juce::MemoryBlock bytes;
    if (! readSetupFile (fileArgument (path), bytes, err))
        return false;

    processor.setStateInformation (bytes.getData(), static_cast<int> (bytes.getSize()));
    if (const auto refusal = processor.getRestoreMessage(); refusal.isNotEmpty())
    {
        err << refusal << "\n";
        return false;
    }
    processor.handleAsyncUpdate();
    if (const auto note = processor.getRestoreMessage(); note.isNotEmpty())
        err << note << "\n";
    return true;
}

} // namespace bopwell::cli
