#pragma once

#include "cli/CliArgs.h"
#include "sensor/SampleStreamCsv.h"

#include <iosfwd>

class SensorMidiProcessor;
#include <string>
#include <vector>

namespace bopwell::cli
{

struct Command
{
    const char* name;
    const char* summary;
    const char* help; // the full --help text
    std::vector<std::string> options;
    int (*run) (const CliArgs& args, std::ostream& out, std::ostream& err);
    std::vector<std::string> flags {};
};

const std::vector<Command>& commands();

int runDetect (const CliArgs& args, std::ostream& out, std::ostream& err);
int runSimulate (const CliArgs& args, std::ostream& out, std::ostream& err);
int runRender (const CliArgs& args, std::ostream& out, std::ostream& err);
int runLive (const CliArgs& args, std::ostream& out, std::ostream& err);
int runCalibrate (const CliArgs& args, std::ostream& out, std::ostream& err);
int runPack (const CliArgs& args, std::ostream& out, std::ostream& err);
int runCapture (const CliArgs& args, std::ostream& out, std::ostream& err);
int runSetup (const CliArgs& args, std::ostream& out, std::ostream& err);
int runRecord (const CliArgs& args, std::ostream& out, std::ostream& err);

// Restores a setup file (binary or JSON) into the processor as the app would at start-up; on a
// refused file prints why and returns false. Notes of the restore (a missing pack) are printed too.
bool applySetupFile (const std::string& path, SensorMidiProcessor& processor, std::ostream& err);

// Reads a sample stream file; on failure prints the reason and returns false.
bool readStream (const std::string& path, SampleStream& stream, std::ostream& err);

// Prints "bopwell-cli NAME: problem" and the hint to --help; returns exitUsage.
int reportUsageError (const std::string& command, const UsageError& error, std::ostream& err);

} // namespace bopwell::cli
