#include "cli/Cli.h"

#include "cli/Commands.h"

#include <ostream>

namespace bopwell::cli
{

namespace
{
    void printOverview (std::ostream& out)
    {
        out << "Usage: bopwell-cli COMMAND [ARGS...]\n"
               "\n"
               "The headless face of Bopwell's tap engine.\n"
               "\n"
               "Commands:\n";
        for (const auto& command : commands())
            out << "  " << command.name << std::string (12 - std::string (command.name).size(), ' ') << command.summary << "\n";
        out << "\nRun 'bopwell-cli COMMAND --help' for a command's arguments.\n";
    }
} // namespace

const std::vector<Command>& commands()
{
    static const std::vector<Command> table {
        { "detect",
          "run a sensor stream through the hit detector and list the hits",
          "Usage: bopwell-cli detect STREAM.csv [--rate HZ] [--setup FILE] [--sensitivity PERCENT] [--cooldown MS]\n"
          "\n"
          "Runs every row of a sensor stream through the processor's hit detector with the factory\n"
          "calibration, or a saved setup's, and prints one CSV row per hit that fires, whether or not\n"
          "Power, the cooldown or the queue would then let it play:\n"
          "  sample,onset_ms,strength,input,level\n"
          "sample is the 0-based row the hit fired at, onset_ms its onset after row 0's arrival.\n"
          "\n"
          "Options:\n"
          "  --rate HZ              the sensor's measured report rate (default 802.5); rows without\n"
          "                         a t_ms column arrive at this rate\n"
          "  --setup FILE           a .bopwellsetup or JSON setup whose calibration, curve and controls\n"
          "                         to use; --sensitivity and --cooldown then change its values\n"
          "  --sensitivity PERCENT  the Sensitivity control, 0 to 100 (changes the threshold)\n"
          "  --cooldown MS          the Cooldown control, 0 to 150 ms in steps of 5\n",
          { "rate", "setup", "sensitivity", "cooldown" },
          runDetect },
        { "simulate",
          "write a sensor stream of taps on a simulated desk",
          "Usage: bopwell-cli simulate --out STREAM.csv [--seconds S] [--taps T[:G],...] [--seed N] [--rate HZ]\n"
          "                            [--surface factory|ringing] [--calibration T]\n"
          "\n"
          "Writes what the motion sensor would report from a desk: gravity, sensor noise, and taps that\n"
          "make the surface ring. The stream has the columns t_ms,ax,ay,az.\n"
          "\n"
          "Options:\n"
          "  --out FILE        where to write the stream (required)\n"
          "  --seconds S       length of the stream (default 5)\n"
          "  --taps T[:G],...  tap times in seconds, each optionally with its strength in g\n"
          "                    (default: one ordinary tap each second from 0.5 s; \"none\" for a\n"
          "                    quiet desk)\n"
          "  --seed N          seed of the sensor noise (default 1)\n"
          "  --rate HZ         sensor report rate (default 800)\n"
          "  --surface NAME    factory: rings as the built-in calibration expects (default);\n"
          "                    ringing: slow modes the built-in calibration does not predict\n"
          "  --calibration T   the user calibrates from T seconds: settle, quiet, then fifteen taps,\n"
          "                    light, medium and firm, two seconds apart (takes about 34 s)\n",
          { "out", "seconds", "taps", "seed", "rate", "surface", "calibration" },
          runSimulate },
        { "render",
          "play a sensor stream through the whole engine into a WAV file",
          "Usage: bopwell-cli render STREAM.csv --out OUT.wav [--rate HZ] [--pack INDEX|PATH] [--sample-rate HZ]\n"
          "                          [--block N] [--seed N]\n"
          "\n"
          "Drives the hit detector, the hit queue and the voice engine with Power on, interleaving the\n"
          "stream's rows and audio blocks as the sensor and audio threads would, and writes a 32-bit float\n"
          "stereo WAV. The same stream and seed give the same file, bit for bit. Prints one JSON line:\n"
          "  {\"hits\", \"hitsAccepted\", \"hitsDropped\", \"voicesStarted\", \"frames\", \"guardTripped\"}\n"
          "where hits counts the hits that fired, before Power, the cooldown and the queue.\n"
          "\n"
          "Options:\n"
          "  --out FILE        where to write the audio (required)\n"
          "  --rate HZ         the sensor's measured report rate (default 802.5)\n"
          "  --pack INDEX|PATH built-in pack 0 to 8 (default 0, Chocolate), or a folder, audio file or\n"
          "                    .bopwellpack loaded as a custom pack\n"
          "  --sample-rate HZ  output sample rate (default 48000)\n"
          "  --block N         audio block size in frames (default 512)\n"
          "  --seed N          seed of the shuffle's generator (default 1)\n",
          { "out", "rate", "pack", "sample-rate", "block", "seed" },
          runRender },
        { "live",
          "run the engine in real time against a simulated sensor hub",
          "Usage: bopwell-cli live [--seconds S] [--taps N] [--seed N]\n"
          "\n"
          "Runs the real processor in real time: its sensor thread streams a simulated sensor hub whose\n"
          "desk is tapped N times, evenly spread once Power is on, and its audio plays through\n"
          "a running JACK server, else ALSA's default device, else a timed block loop when there is no\n"
          "audio device at all. Prints one JSON line:\n"
          "  {\"hits\", \"hitsAccepted\", \"voicesStarted\", \"sensorRateHz\", \"sensorFailed\", \"errorMessage\"}\n"
          "Exit status 1 when the sensor failed.\n"
          "\n"
          "Options:\n"
          "  --seconds S  how long to run, at least 3 (default 5); the sensor takes about 1.5 s to start\n"
          "  --taps N     taps on the desk (default 5)\n"
          "  --seed N     seed of the desk's sensor noise (default 1)\n",
          { "seconds", "taps", "seed" },
          runLive },
        { "calibrate",
          "calibrate on a recorded or simulated stream and print the result",
          "Usage: bopwell-cli calibrate STREAM.csv [--rate HZ]\n"
          "\n"
          "Begins a calibration at the stream's first row (by then the processor has applied the\n"
          "reported rate, so the capture rate follows the detector's: 700 gives 700, 800 stays 802.5),\n"
          "feeds the stream, analyses the capture once it is complete and prints the result as one\n"
          "JSON object, with \"phase\" the calibration phase reached (6 accepted, 7 failed, 1 to 5\n"
          "when the stream ended first). Exit status 0 when the result was accepted, else 1.\n"
          "\n"
          "Options:\n"
          "  --rate HZ  the sensor's measured report rate (default 802.5)\n",
          { "rate" },
          runCalibrate },
        { "pack",
          "check, describe or build custom sample packs",
          "Usage: bopwell-cli pack verify PATH\n"
          "       bopwell-cli pack info PATH\n"
          "       bopwell-cli pack build SOURCES... --out FILE.bopwellpack [--name NAME]\n"
          "\n"
          "verify loads a folder, an audio file or a .bopwellpack exactly as Bopwell would and prints\n"
          "one JSON object: {\"ok\", \"code\", \"message\", \"ignoredCount\"} and, when ok, \"name\"\n"
          "and \"samples\" [{\"name\", \"channels\", \"frames\"}]. Exit status 1 when it was refused.\n"
          "info prints the same load as a readable summary.\n"
          "build imports one folder, or one or more audio files, through the same import (so it refuses\n"
          "what loading refuses) and writes a .bopwellpack; the file is written whole or not at all.\n"
          "\n"
          "Options:\n"
          "  --out FILE   the pack file to write (build)\n"
          "  --name NAME  the pack's name (build; default: the folder's or file's name)\n",
          { "out", "name" },
          runPack },
        { "capture",
          "export the first strike captured from a stream",
          "Usage: bopwell-cli capture STREAM.csv --out capture.csv [--rate HZ]\n"
          "\n"
          "Runs the stream through the processor and writes its first strike capture as the app's\n"
          "capture.csv: 32 samples before the first sample whose motion passes 0.01 g and 511 after it,\n"
          "with the detector's envelope and fires alongside. Exit status 1 when no strike was captured.\n"
          "\n"
          "Options:\n"
          "  --out FILE  where to write the capture (required)\n"
          "  --rate HZ   the sensor's measured report rate (default 802.5)\n",
          { "out", "rate" },
          runCapture },
        { "setup",
          "decode, export or import .bopwellsetup files",
          "Usage: bopwell-cli setup decode FILE\n"
          "       bopwell-cli setup export FILE [--volume PERCENT] [--cooldown MS] [--sensitivity PERCENT]\n"
          "                                     [--choke on|off] [--pack INDEX|PATH]\n"
          "       bopwell-cli setup import FILE\n"
          "\n"
          "decode reads a .bopwellsetup or a JSON state exactly as Bopwell restores one (a first-generation\n"
          "settings file is completed from a fresh setup) and prints one JSON object:\n"
          "  {\"ok\":true, \"state\":{...}, \"importNotice\"} or {\"ok\":false, \"message\"}\n"
          "export writes the setup of a fresh Bopwell, changed by the options below, as the Export\n"
          "command does: whole or not at all, with the .bopwellsetup extension. Prints\n"
          "  {\"ok\":true, \"path\", \"bytes\"}\n"
          "import checks the file as the Import command does, restores it and prints the resulting state:\n"
          "  {\"ok\":true, \"state\":{...}, \"packLabel\", \"restoreMessage\"}\n"
          "A refused file prints {\"ok\":false, \"title\", \"message\"} with the alert Bopwell would show,\n"
          "and the exit status is 1.\n"
          "\n"
          "Options (export):\n"
          "  --volume PERCENT       the Volume control, 0 to 100 (default 70)\n"
          "  --cooldown MS          the Cooldown control, 0 to 150 ms in steps of 5 (default 25)\n"
          "  --sensitivity PERCENT  the Sensitivity control, 0 to 100\n"
          "  --choke on|off         Choke (on, the default) or Overlap (off)\n"
          "  --pack INDEX|PATH      built-in pack 0 to 8 (default 0), or a folder, audio file or\n"
          "                         .bopwellpack\n",
          { "volume", "cooldown", "sensitivity", "choke", "pack" },
          runSetup },
        { "record",
          "record a diagnostic session over a stream",
          "Usage: bopwell-cli record STREAM.csv --out FILE.csv [--scenario NAME | --script] [--rate HZ]\n"
          "\n"
          "Runs a diagnostic session over the stream on the stream's own clock and writes the session\n"
          "CSV exactly as Bopwell records it: the scripted session (3 hits, 10 hits, flams; the default)\n"
          "or a free run labelled with a scenario such as typing or long-run. A script that the stream\n"
          "outlasts finishes with its END footer; a stream that ends first stops the session as the user\n"
          "would. Prints one JSON line:\n"
          "  {\"status\", \"rowsWritten\", \"droppedRows\", \"ioStatus\", \"errorText\"}\n"
          "with status 6 finished, 0 a script stopped early, 7 failed. Exit status 1 when the session\n"
          "could not start or failed.\n"
          "\n"
          "Options:\n"
          "  --out FILE       the session file to write (required)\n"
          "  --scenario NAME  a free run with this scenario\n"
          "  --script         the scripted session (the default)\n"
          "  --rate HZ        the sensor's measured report rate (default 802.5)\n",
          { "out", "scenario", "rate" },
          runRecord,
          { "script" } },
    };
    return table;
}

int reportUsageError (const std::string& command, const UsageError& error, std::ostream& err)
{
    err << "bopwell-cli " << command << ": " << error.message << "\n"
        << "Try 'bopwell-cli " << command << " --help'.\n";
    return exitUsage;
}

bool readStream (const std::string& path, SampleStream& stream, std::ostream& err)
{
    auto read = readSampleStreamFile (path);
    if (! read.ok)
    {
        err << read.message << "\n";
        return false;
    }
    stream = std::move (read.stream);
    return true;
}

int run (const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    if (args.empty())
    {
        printOverview (err);
        return exitUsage;
    }
    if (args.front() == "--help" || args.front() == "-h" || args.front() == "help")
    {
        printOverview (out);
        return exitSuccess;
    }

    for (const auto& command : commands())
    {
        if (args.front() != command.name)
            continue;

        CliArgs parsed;
        if (auto problem = CliArgs::parse ({ args.begin() + 1, args.end() }, command.options, parsed, command.flags))
            return reportUsageError (command.name, *problem, err);
        if (parsed.helpRequested())
        {
            out << command.help;
            return exitSuccess;
        }
        return command.run (parsed, out, err);
    }

    err << "bopwell-cli: unknown command \"" << args.front() << "\"\n"
        << "Try 'bopwell-cli --help'.\n";
    return exitUsage;
}

} // namespace bopwell::cli
